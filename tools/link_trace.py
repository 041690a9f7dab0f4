#!/usr/bin/env python3
"""Runs a link command with the linker's trace on and writes the trace to
TRACE: the link's linker launcher in the release builds (CMakeLists.txt).

  link_trace.py TRACE COMMAND...

COMMAND gets -Wl,--trace,--trace: GNU ld then prints every input file it
opens, one a line, and every archive member it takes code from, as
(ARCHIVE)MEMBER. It prints them on standard output, which holds nothing else;
its messages go to standard error, which passes through. TRACE is written
only when the link succeeds; the exit status is the link's.
"""
import os
import subprocess
import sys


def main():
    if len(sys.argv) < 3:
        sys.exit("usage: link_trace.py TRACE COMMAND...")
    trace, command = sys.argv[1], sys.argv[2:]
    link = subprocess.run(command + ["-Wl,--trace,--trace"],
                          stdout=subprocess.PIPE)
    if link.returncode == 0:
        with open(trace + ".part", "wb") as f:
            f.write(link.stdout)
        os.replace(trace + ".part", trace)
    elif os.path.exists(trace):
        os.remove(trace)
    sys.exit(link.returncode)


if __name__ == "__main__":
    main()
