#!/usr/bin/env python3
"""Runs the tool under injected I/O failures and kills and checks that no
failure damages the archive or its backup, and that the console never tells
of a success that did not happen.

  fault_harness.py INIFIXER MAKE_ARCHIVE [--wine WINE64] [--calls N]
                  [--kills N] [--seed S]

First every system call that a clean run makes on the archive, the backup
and the console is failed in turn: once, from then on, and by a SIGKILL just
before it (strace -e inject); with --calls, N of them drawn at random. Then
runs over a large archive are killed at random moments. Leak checks are off:
they cannot run under ptrace.

With --wine, INIFIXER is a Windows exe, run by WINE64 in a Wine prefix and
with a Wine server of the harness's own. Its console text is compared with
CR LF line breaks taken as LF.
"""
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
from collections import namedtuple
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

ARCHIVE, BACKUP = "Coalesced.ini", "Coalesced.ini.bak"
PROMPT = b"\n\nPress any key to exit..."
MADE_BACKUP = b"Made a backup.\n"
VALID = b"File is valid. No changes were made.\n"
FIXED = b". Fixed\n"
NOT_WRITTEN = b". Couldn't write the fix to Coalesced.ini.\n"
ERRORS = {"openat": "EACCES", "write": "ENOSPC", "writev": "ENOSPC"}
ENV = dict(os.environ, ASAN_OPTIONS="detect_leaks=0", WINEDEBUG="-all",
           WINEDLLOVERRIDES="mscoree,mshtml=")
# The tool's command; under Wine, the loader comes first.
TOOL = []
WINE = False
# A system call of the clean run: its name, its number among the calls of
# that name, whether it is on the console (and its text's length, for a
# console write) or on the backup, its directory's flush included.
Call = namedtuple("Call", "name n console size backup")


def model(data):
    """The garbled sections of `data` as (offset, declared, actual, excerpt),
    and `data` with all of them fixed."""
    fixes, pos = [], 4
    while len(data) - pos >= 4:
        zero = data.find(b"\0", pos + 4)
        if zero < 0:
            break
        declared = struct.unpack_from("<I", data, pos)[0]
        actual = zero - pos - 3
        if declared != actual:
            excerpt = data[pos + 4:min(zero, pos + 23)]
            fixes.append((pos, declared, actual, excerpt))
        pos = zero + 1
    repaired = bytearray(data)
    for pos, _, actual, _ in fixes:
        struct.pack_into("<I", repaired, pos, actual)
    return fixes, bytes(repaired)


class Sample:
    def __init__(self, path):
        self.path = path
        self.original = path.read_bytes()
        self.fixes, self.repaired = model(self.original)
        assert self.fixes, "the sample has no garbled section"


def read(path):
    return path.read_bytes() if path.is_file() else None


def check(sample, out, archive, backup, killed=False):
    """What a run's console text and the files it left get wrong. A killed
    run's text may stop anywhere in its last report."""
    if WINE:
        out = out.replace(b"\r\n", b"\n")
    original, repaired = sample.original, sample.repaired
    problems = []
    if archive is None or len(archive) != len(original):
        return ["the archive is gone or changed its length"]
    # Each size field of a garbled section holds its old or its correct
    # value; no other byte may differ.
    allowed = bytearray(original)
    for pos, _, _, _ in sample.fixes:
        if archive[pos:pos + 4] == repaired[pos:pos + 4]:
            allowed[pos:pos + 4] = archive[pos:pos + 4]
    if archive != allowed:
        problems.append("bytes other than whole fixes changed in the archive")
    if archive != original and backup != original:
        problems.append("the archive changed without a complete backup")
    if MADE_BACKUP in out and backup != original:
        problems.append("told of a backup that does not hold the original")
    if VALID in out:
        problems.append("called an archive with garbled sections valid")
    fixes = {pos: fix for pos, *fix in sample.fixes}
    heads = {pos: b"%d (%s...).\nSection size is %d but it should be %d" % (
        pos, excerpt, declared, actual)
        for pos, (declared, actual, excerpt) in fixes.items()}
    whole = [(pos, head + ending) for pos, head in heads.items()
             for ending in (FIXED, NOT_WRITTEN)]
    reports = out.split(b"\nGarbled section at offset ")[1:]
    for index, report in enumerate(reports):
        if killed and index == len(reports) - 1 and \
                not any(report.startswith(text) for _, text in whole):
            # Cut short by the kill: the beginning of a whole report, which
            # claims a fix once ". Fixed" is out.
            begun = [(pos, text) for pos, text in whole
                     if text.startswith(report)]
            if not begun:
                problems.append("a report cut by the kill is wrong")
            for pos, text in begun:
                if text.endswith(FIXED) and report.startswith(text[:-1]) and \
                        archive[pos:pos + 4] != repaired[pos:pos + 4]:
                    problems.append("told 'Fixed' at %d, not written" % pos)
            continue
        pos = int(re.match(rb"\d*", report).group() or -1)
        if pos not in fixes:
            problems.append("a report names no garbled section")
            continue
        head = heads[pos]
        tail = report[len(head):]
        if not report.startswith(head):
            problems.append("the report at %d is wrong" % pos)
        elif tail.startswith(FIXED):
            if archive[pos:pos + 4] != repaired[pos:pos + 4]:
                problems.append("told 'Fixed' at %d, not written" % pos)
        elif not tail.startswith(NOT_WRITTEN):
            problems.append("the report at %d ends oddly" % pos)
    return problems


def fresh_copy(sample, work):
    """Makes `work` a directory holding just a copy of the sample."""
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir()
    shutil.copyfile(sample.path, work / ARCHIVE)


def run(sample, work, strace=(), timeout=60):
    """Runs the tool in `work` on a fresh copy of the sample."""
    fresh_copy(sample, work)
    return launch(work, strace, timeout)


def launch(work, strace=(), timeout=60):
    """Runs the tool in `work` as it is. Its output goes to a file: under
    Wine a service that inherited a pipe would keep it open."""
    with open(work / "out", "wb") as out:
        proc = subprocess.run(list(strace) + TOOL, cwd=work, env=ENV,
                              stdin=subprocess.DEVNULL, stdout=out,
                              stderr=subprocess.PIPE, timeout=timeout)
    return proc, (work / "out").read_bytes()


def strace_args(work, *more, trace="/dev/null"):
    """strace on the calls a run makes on the files, their directory and the
    console. It matches an opening by the name given, later calls by the full
    path of their descriptor."""
    paths = [ARCHIVE, work / ARCHIVE, BACKUP, work / BACKUP, work / "out",
             "/dev/null", ".", work]
    return ["strace", "-o", str(trace)] + \
        [arg for path in paths for arg in ("-P", str(path))] + list(more)


def list_calls(sample, work):
    """Every call of a clean run on the files and the console, numbered per
    system call as strace counts them, and the clean run's console text."""
    trace = work.parent / "trace"
    # -y: each descriptor with its path.
    proc, out = run(sample, work, strace_args(work, "-y", trace=trace))
    archive, backup = read(work / ARCHIVE), read(work / BACKUP)
    problems = check(sample, out, archive, backup)
    text = out.replace(b"\r\n", b"\n") if WINE else out
    if proc.returncode != 0 or not text.endswith(PROMPT) or \
            archive != sample.repaired:
        problems.append("the clean run did not repair the archive")
    calls, seen = [], {}
    for line in trace.read_text(errors="replace").splitlines():
        name = line.split("(")[0]
        if line.startswith("+++") or "(" not in line:
            continue
        seen[name] = seen.get(name, 0) + 1
        # Natively the console is descriptors 0 and 1; Wine gives the
        # tool a descriptor of its own on the same file.
        console = re.match(r"\w+\([01]<", line) is not None or \
            "<%s>" % (work / "out") in line or "</dev/null>" in line
        # A call on the directory itself: by name or path, or by a
        # descriptor of it (an opening relative to it shows it as
        # AT_FDCWD<...>).
        directory = '"."' in line or '"%s"' % work in line or re.search(
            r"\d<%s>" % re.escape(str(work)), line) is not None
        if WINE and (directory or console and name != "write"):
            # Wine's own start-up looks at its standard descriptors and
            # walks the working directory before the tool runs; a fault
            # there is Wine's, not the tool's. The tool itself makes no call
            # on the directory on Windows.
            continue
        size = int(line.rsplit("= ", 1)[1].split()[0]) \
            if console and name == "write" else None
        calls.append(Call(name, seen[name], console, size,
                          BACKUP in line or directory))
    if not calls:
        problems.append("strace saw no call on the files")
    return calls, out, problems


def fault_run(sample, clean, calls, index, mode, work):
    call = calls[index]
    if mode == "kill":
        inject = "%s:signal=KILL:when=%d" % (call.name, call.n)
    else:
        inject = "%s:error=%s:when=%d%s" % (
            call.name, ERRORS.get(call.name, "EIO"), call.n,
            "+" if mode == "from" else "")
    try:
        for attempt in range(3):
            proc, out = run(sample, work,
                            strace_args(work, "-e", "inject=" + inject))
            # Now and then strace itself loses track of the tool, or Wine
            # fails before the tool has started (no output, exit status 1);
            # such a run tells nothing of the tool and is made again.
            lost = b"strace: Unexpected wait status" in proc.stderr
            unstarted = WINE and proc.returncode != 0 and not out
            if not (lost or unstarted):
                break
    except subprocess.TimeoutExpired:
        return ["%s %s: did not end by itself" % (mode, inject)]
    archive, backup = read(work / ARCHIVE), read(work / BACKUP)
    problems = check(sample, out, archive, backup)
    if mode != "kill":
        # Where the clean run's console text stood at this call.
        start = sum(c.size for c in calls[:index] if c.size is not None)
        expected = None
        if call.name == "write" and mode == "from":
            # Every write fails from here on, the console's too.
            expected = clean[:start]
        elif call.size is not None:
            # A failed console write loses its own text and no more.
            expected = clean[:start] + clean[start + call.size:]
        elif call.console and (mode == "once" or all(
                c.console for c in calls[index:] if c.name == call.name)):
            # Only the console's calls fail: its text is all there.
            expected = clean
        text = out.replace(b"\r\n", b"\n") if WINE else out
        if proc.returncode != 0:
            problems.append("exit status %d" % proc.returncode)
        if expected is not None and out != expected:
            problems.append("console text differs from the clean run's")
        elif expected is None and not text.endswith(PROMPT):
            problems.append("the exit prompt is not last")
        if out == clean or (call.console and mode == "once"):
            if archive != sample.repaired or backup != sample.original:
                problems.append("a run that told all did not repair all")
        # A failed look at the backup's name makes nothing fail; that the
        # backup then holds the original is checked above.
        # Wine and its runtime drop the errors of the calls that carry no
        # data (a close, a look at the file's state); the writes and flushes
        # are checked, and check() has made sure that a backup told of holds
        # the original.
        absorbed = WINE and call.name not in ("write", "fsync")
        if call.backup and call.name != "newfstatat" and not absorbed and \
                MADE_BACKUP in text:
            problems.append("told of a backup whose making failed")
    shutil.rmtree(work)
    stderr = proc.stderr.decode(errors="replace")
    stderr = "".join(line for line in stderr.splitlines(True)
                     if not line.startswith("strace: Requested path"))
    return ["%s %s: %s %s" % (mode, inject, problem, stderr[-500:])
            for problem in problems]


def kill_run(sample, work, delay):
    """Kills a run after `delay` seconds; which part of the walk it reached."""
    fresh_copy(sample, work)
    with open(work / "out", "wb") as out:
        proc = subprocess.Popen(TOOL, cwd=work, env=ENV, stdout=out,
                                stdin=subprocess.DEVNULL)
        time.sleep(delay)
        proc.kill()
        proc.wait()
    archive, backup = read(work / ARCHIVE), read(work / BACKUP)
    problems = check(sample, (work / "out").read_bytes(), archive, backup,
                     killed=True)
    shutil.rmtree(work)
    if archive == sample.repaired:
        stage = "repaired"
    elif archive != sample.original:
        stage = "mid-walk"
    else:
        stage = "no backup" if backup is None else "mid-backup" \
            if backup != sample.original else "backed up"
    return stage, ["kill after %.4f s: %s" % (delay, p) for p in problems]


def server_pid(prefix):
    """The Wine server of `prefix`."""
    for proc in Path("/proc").iterdir():
        try:
            if proc.name.isdigit() and \
                    (proc / "comm").read_text().startswith("wineserver") and \
                    ("WINEPREFIX=%s\0" % prefix).encode() in \
                    (proc / "environ").read_bytes():
                return int(proc.name)
        except OSError:
            pass
    raise RuntimeError("no Wine server for %s" % prefix)


def server_faults(sample, work, pid):
    """Under Wine the backup is opened and truncated by the Wine server, which
    does not always tell the tool of a failure there. Each call that the
    server makes on the backup in a clean run, with an older, longer backup
    present, is failed once and from then on, by strace attached to the
    server: the tool must never tell of a backup that holds anything but the
    archive. Returns the number of runs, how many of them failed, and the
    problems found."""
    old = b"x" * (len(sample.original) + 13000)
    trace = work.parent / "server.trace"

    def traced(*more):
        fresh_copy(sample, work)
        (work / BACKUP).write_bytes(old)
        tracer = subprocess.Popen(
            ["strace", "-o", str(trace), "-y", "-p", str(pid),
             "-P", str(work / BACKUP)] + list(more),
            stderr=subprocess.PIPE, text=True)
        tracer.stderr.readline()  # attached
        try:
            proc, out = launch(work)
        finally:
            tracer.terminate()
            tracer.wait()
        return proc, out

    traced()
    calls, seen = [], {}
    for line in trace.read_text(errors="replace").splitlines():
        if "(" in line and not line.startswith("+++"):
            name = line.split("(")[0].split()[-1]
            seen[name] = seen.get(name, 0) + 1
            calls.append((name, seen[name]))
    problems = [] if calls else ["strace saw no call of the Wine server"]
    failed = len(problems)
    for name, n in calls:
        for when in ("%d" % n, "%d+" % n):
            inject = "inject=%s:error=EIO:when=%s" % (name, when)
            proc, out = traced("-e", inject)
            found = check(sample, out, read(work / ARCHIVE),
                          read(work / BACKUP))
            if proc.returncode != 0:
                found.append("exit status %d" % proc.returncode)
            problems += ["server %s: %s" % (inject, p) for p in found]
            failed += bool(found)
    return 2 * len(calls), failed, problems


def start_wine(wine, prefix):
    """A Wine prefix and a persistent Wine server of the harness's own, with
    the prefix's services up: a traced run that started them would follow
    them, and they outlive the run. The prefix's folder must exist first, or
    the server cannot start persistent."""
    prefix.mkdir()
    ENV["WINEPREFIX"] = str(prefix)
    server = [str(Path(wine).parent / "wineserver")]
    subprocess.run(server + ["-p"], env=ENV, check=True)
    subprocess.run([wine, "wineboot", "-i"], env=ENV, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return server


def main():
    global TOOL, WINE
    tool, make_archive = map(os.path.abspath, sys.argv[1:3])
    options = dict(zip(sys.argv[3::2], sys.argv[4::2]))
    wine = options.get("--wine")
    WINE = wine is not None
    TOOL = [wine, tool] if WINE else [tool]
    kills = int(options.get("--kills", 150))
    seed = int(options.get("--seed", time.time_ns() % 10**6))
    rng = random.Random(seed)
    shm = "/dev/shm" if os.path.isdir("/dev/shm") else None
    tmp = Path(tempfile.mkdtemp(prefix="fault_harness.", dir=shm))
    workers = os.cpu_count() or 2
    server = None
    try:
        if WINE:
            server = start_wine(wine, tmp / "prefix")
        # Larger than the backup's copy block and the walk's buffer, so that
        # both take several rounds.
        subprocess.run([make_archive, tmp / "small.ini", "--sections", "16",
                        "--min-text", "100000", "--max-text", "300000",
                        "--garbled-every", "2"], check=True)
        with open(tmp / "small.ini", "ab") as small:
            small.write(struct.pack("<I", 9) + b"unterminated")
        small = Sample(tmp / "small.ini")
        if WINE:
            run(small, tmp / "warm")  # the last services come up
        calls, clean, problems = list_calls(small, tmp / "clean")
        failed = bool(problems)
        chosen = range(len(calls))
        if "--calls" in options:
            chosen = sorted(rng.sample(chosen, min(len(calls),
                                                   int(options["--calls"]))))
        jobs = [(i, mode) for i in chosen for mode in ("once", "from", "kill")]
        with ThreadPoolExecutor(workers) as pool:
            for found in pool.map(
                    lambda job: fault_run(small, clean, calls, *job,
                                          tmp / ("w%d%s" % job)), jobs):
                problems += found
                failed += bool(found)
        print("%s: %d faulted runs over %d of %d calls of %d system calls: %s"
              % (" ".join(map(os.path.basename, TOOL)), len(jobs),
                 len(chosen), len(calls), len({c.name for c in calls}),
                 " ".join(sorted({c.name for c in calls}))))

        if WINE:
            count, bad, found = server_faults(small, tmp / "server",
                                              server_pid(tmp / "prefix"))
            print("%d faulted runs over the Wine server's calls on the "
                  "backup, an older, longer backup present" % count)
            jobs += [None] * count
            problems += found
            failed += bad

        subprocess.run([make_archive, tmp / "large.ini", "--bytes", "40000000",
                        "--max-text", "3000", "--garbled-every", "3",
                        "--seed", "5"], check=True)
        large = Sample(tmp / "large.ini")
        length = 1e9
        for _ in range(3):
            started = time.monotonic()
            run(large, tmp / "timed")
            length = min(length, time.monotonic() - started)
        stages = {}
        delays = [rng.uniform(0, 1.2 * length) for _ in range(kills)]
        with ThreadPoolExecutor(workers) as pool:
            for stage, found in pool.map(
                    lambda job: kill_run(large, tmp / ("k%d" % job[0]), job[1]),
                    enumerate(delays)):
                stages[stage] = stages.get(stage, 0) + 1
                problems += found
                failed += bool(found)
        print("%d kills (--seed %d) over runs of %.2f s on %d MiB with %d "
              "garbled sections: %s" % (kills, seed, length,
                                        len(large.original) >> 20,
                                        len(large.fixes), stages))
    finally:
        if server:
            subprocess.run(server + ["-k"], env=ENV)
            subprocess.run(server + ["-w"], env=ENV)
        shutil.rmtree(tmp, ignore_errors=True)
    for problem in problems:
        print("FAIL", problem)
    print("%d passed, %d failed" % (len(jobs) + kills - failed, failed))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
