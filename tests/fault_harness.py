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

With --wine, INIFIXER is a Windows exe, run by WINE64 with the environment
that in_wine beside this file sets, but in a Wine prefix and with a Wine
server of the harness's own; the calls that this server makes on the backup
are failed too. Its console text is compared with CR LF line breaks taken as LF.

The tool's texts come from texts.py beside this file.
"""
import argparse
import os
import random
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
from collections import namedtuple
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))  # texts.py stands beside this file
import texts  # noqa: E402

ARCHIVE, BACKUP = "Coalesced.ini", "Coalesced.ini.bak"
PROMPT = texts.TEXTS["prompt"]
MADE_BACKUP = texts.TEXTS["backed_up"]
VALID = texts.TEXTS["valid"]
FIXED = texts.TEXTS["fixed"]
NOT_WRITTEN = texts.TEXTS["not_written"]
# What each report of a garbled section begins with, before its offset.
REPORT_OPENING = texts.TEXTS["report"].split(b"{}")[0]
ERRORS = {"openat": "EACCES", "write": "ENOSPC", "writev": "ENOSPC"}
# A system call of the clean run: its name, its number among the calls of
# that name, whether it is on the console (and its text's length, for a
# console write), whether it is on the working directory itself, and whether
# it is on the backup, its directory's flush included (not its lock).
Call = namedtuple("Call", "name n console size directory backup")
# What a phase did: how many runs it made, how many of them failed, and the
# problems it found.
Tally = namedtuple("Tally", "runs failed problems")


def wine_env():
    """The Wine variables that in_wine beside this file sets."""
    out = subprocess.run(["sh", HERE / "in_wine", "env", "-0"], check=True,
                         stdout=subprocess.PIPE).stdout.decode()
    return dict(entry.split("=", 1) for entry in out.split("\0")
                if entry.startswith("WINE"))


class Tool:
    """The tool under test: natively its executable; with a Wine loader, a
    Windows exe run by it in the prefix `tmp`/prefix, whose Wine server is
    the harness's own. Everything in which the two differ is here."""

    def __init__(self, path, wine, tmp):
        self.wine = wine
        self.command = [wine, path] if wine else [path]
        self.name = " ".join(map(os.path.basename, self.command))
        self.env = dict(os.environ, ASAN_OPTIONS="detect_leaks=0")
        self.server = None
        if wine:
            self.env.update(wine_env())
            # A prefix of the harness's own, not the tests' shared one: its
            # server is started persistent and traced here.
            self.prefix = tmp / "prefix"
            self.env["WINEPREFIX"] = str(self.prefix)

    @property
    def has_server(self):
        """Whether part of the tool's file work is done by a Wine server."""
        return self.wine is not None

    def launch(self, work, strace=(), timeout=60):
        """Runs the tool in `work` as it is. Its output goes to a file: under
        Wine a service that inherited a pipe would keep it open."""
        with open(work / "out", "wb") as out:
            proc = subprocess.run(list(strace) + self.command, cwd=work,
                                  env=self.env, stdin=subprocess.DEVNULL,
                                  stdout=out, stderr=subprocess.PIPE,
                                  timeout=timeout)
        return proc, (work / "out").read_bytes()

    def start(self, work, out):
        """Starts the tool in `work`, its output to the file `out`."""
        return subprocess.Popen(self.command, cwd=work, env=self.env,
                                stdout=out, stdin=subprocess.DEVNULL)

    def text(self, out):
        """The console text of output `out`: under Wine, CR LF taken as LF."""
        return out.replace(b"\r\n", b"\n") if self.wine else out

    def unstarted(self, proc, out):
        """Whether Wine failed before the tool started: no output, and an
        exit status other than 0. A run killed by an injection is not one:
        the calls of Wine's start-up are left out, so the tool had started,
        and a kill before its first write leaves no output."""
        return bool(self.wine) and not out and \
            proc.returncode not in (0, -signal.SIGKILL)

    def startup(self, call):
        """Whether a traced call is Wine's own start-up, left out: it looks
        at its standard descriptors and walks the working directory before
        the tool runs; a fault there is Wine's, not the tool's. The tool
        itself makes no call on the directory on Windows."""
        return bool(self.wine) and (
            call.directory or call.console and call.name != "write")

    def absorbs(self, call):
        """Whether Wine and its runtime drop a failure of `call`: they do for
        the calls that carry no data (a close, a look at the file's state),
        not for the writes and flushes."""
        return bool(self.wine) and call.name not in ("write", "fsync")

    def start_server(self):
        """A persistent Wine server of the harness's own, with the prefix's
        services up: a traced run that started them would follow them, and
        they outlive the run. The prefix's folder must exist first, or the
        server cannot start persistent."""
        self.prefix.mkdir()
        self.server = [self.env["WINESERVER"]]
        subprocess.run(self.server + ["-p"], env=self.env, check=True)
        subprocess.run([self.wine, "wineboot", "-i"], env=self.env,
                       check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    def warm_up(self, sample, work):
        """Under Wine, a run that brings the last services up."""
        if self.wine:
            run(self, sample, work)

    def stop_server(self):
        """Ends the Wine server, if one was started, and waits for it."""
        if self.server:
            subprocess.run(self.server + ["-k"], env=self.env)
            subprocess.run(self.server + ["-w"], env=self.env)

    def server_pid(self):
        """The process id of the Wine server of the prefix."""
        for proc in Path("/proc").iterdir():
            try:
                if proc.name.isdigit() and (proc / "comm").read_text(
                        ).startswith("wineserver") and \
                        ("WINEPREFIX=%s\0" % self.prefix).encode() in \
                        (proc / "environ").read_bytes():
                    return int(proc.name)
            except OSError:
                pass
        raise RuntimeError("no Wine server for %s" % self.prefix)


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


def left(work):
    """The archive and the backup that a run left in `work` (None where
    there is none)."""
    return tuple((work / name).read_bytes() if (work / name).is_file()
                 else None for name in (ARCHIVE, BACKUP))


def check(sample, console, archive, backup, killed=False):
    """What a run's console text (as Tool.text reads it) and the files it
    left get wrong. A killed run's text may stop anywhere in its last
    report."""
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
    if MADE_BACKUP in console and backup != original:
        problems.append("told of a backup that does not hold the original")
    if VALID in console:
        problems.append("called an archive with garbled sections valid")
    fixes = {pos: fix for pos, *fix in sample.fixes}
    # Each report as it follows its opening.
    heads = {pos: texts.fill("report", pos, excerpt, declared, actual)[
        len(REPORT_OPENING):]
        for pos, (declared, actual, excerpt) in fixes.items()}
    whole = [(pos, head + ending) for pos, head in heads.items()
             for ending in (FIXED, NOT_WRITTEN)]
    reports = console.split(REPORT_OPENING)[1:]
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


def run(tool, sample, work, strace=(), timeout=60):
    """Runs the tool in `work` on a fresh copy of the sample."""
    fresh_copy(sample, work)
    return tool.launch(work, strace, timeout)


def strace_args(work, *more, trace="/dev/null"):
    """strace on the calls a run makes on the files, their directory and the
    console. It matches an opening by the name given, later calls by the full
    path of their descriptor."""
    paths = [ARCHIVE, work / ARCHIVE, BACKUP, work / BACKUP, work / "out",
             "/dev/null", ".", work]
    return ["strace", "-o", str(trace)] + \
        [arg for path in paths for arg in ("-P", str(path))] + list(more)


def parse_trace(trace):
    """The system calls in strace's output file `trace`, as (name, number
    among the calls of that name, line): the numbers that `when=` of an
    injection counts. A line without "(" (a signal's, ---) is no call, nor
    is an exit's (+++)."""
    calls, seen = [], {}
    for line in trace.read_text(errors="replace").splitlines():
        if "(" in line and not line.startswith("+++"):
            # strace begins a line with the process id where it follows more
            # than one process.
            name = line.split("(")[0].split()[-1]
            seen[name] = seen.get(name, 0) + 1
            calls.append((name, seen[name], line))
    return calls


def stderr_tail(proc):
    """The end of a run's error output, without strace's notes on the paths
    it resolved."""
    stderr = proc.stderr.decode(errors="replace")
    return "".join(line for line in stderr.splitlines(True)
                   if not line.startswith("strace: Requested path"))[-500:]


def list_calls(tool, sample, work):
    """Every call of a clean run on the files and the console, numbered per
    system call as strace counts them, less those of Wine's start-up, and the
    clean run's console output; and what the clean run got wrong."""
    trace = work.parent / "trace"
    # -y: each descriptor with its path.
    proc, out = run(tool, sample, work, strace_args(work, "-y", trace=trace))
    archive, backup = left(work)
    text = tool.text(out)
    problems = check(sample, text, archive, backup)
    if proc.returncode != 0 or not text.endswith(PROMPT) or \
            archive != sample.repaired:
        problems.append("the clean run did not repair the archive")
    calls, locking = [], True
    for name, n, line in parse_trace(trace):
        locking = locking and ARCHIVE not in line
        # Natively the console is descriptors 0 and 1; Wine gives the
        # tool a descriptor of its own on the same file.
        console = re.match(r"\w+\([01]<", line) is not None or \
            "<%s>" % (work / "out") in line or "</dev/null>" in line
        # A call on the directory itself: by name or path, or by a
        # descriptor of it (an opening relative to it shows it as
        # AT_FDCWD<...>).
        directory = '"."' in line or '"%s"' % work in line or re.search(
            r"\d<%s>" % re.escape(str(work)), line) is not None
        # A console write's text length: what it returned.
        size = int(line.rsplit("= ", 1)[1].split()[0]) \
            if console and name == "write" else None
        call = Call(name, n, console, size, directory,
                    BACKUP in line or directory and not locking)
        if not tool.startup(call):
            calls.append(call)
    if not calls:
        problems.append("strace saw no call on the files")
    return calls, out, problems


def fault_run(tool, sample, clean, calls, index, mode, work):
    """Runs the tool with call `index` failed (`mode` once, from then on) or
    killed just before it (kill), and what the run got wrong; `clean` is the
    clean run's console output."""
    call = calls[index]
    if mode == "kill":
        inject = "%s:signal=KILL:when=%d" % (call.name, call.n)
    else:
        inject = "%s:error=%s:when=%d%s" % (
            call.name, ERRORS.get(call.name, "EIO"), call.n,
            "+" if mode == "from" else "")
    try:
        for _ in range(3):
            proc, out = run(tool, sample, work,
                            strace_args(work, "-e", "inject=" + inject))
            # Now and then strace itself loses track of the tool, or Wine
            # fails before the tool has started; such a run tells nothing of
            # the tool and is made again.
            if b"strace: Unexpected wait status" in proc.stderr:
                lost = "strace lost track of the tool"
            elif tool.unstarted(proc, out):
                lost = "Wine failed before the tool started"
            else:
                break
        else:
            # Not one of the three runs tells anything: a failure, not a
            # pass.
            shutil.rmtree(work)
            return ["%s %s: lost three times: %s %s" % (
                mode, inject, lost, stderr_tail(proc))]
    except subprocess.TimeoutExpired:
        return ["%s %s: did not end by itself" % (mode, inject)]
    archive, backup = left(work)
    text = tool.text(out)
    problems = check(sample, text, archive, backup)
    if mode != "kill":
        # Where the clean run's console output stood at this call (strace's
        # counts are of the bytes as written, CR LF and all).
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
        if proc.returncode != 0:
            problems.append("exit status %d" % proc.returncode)
        if expected is not None and out != expected:
            problems.append("console text differs from the clean run's")
        elif expected is None and not text.endswith(PROMPT):
            problems.append("the exit prompt is not last")
        if out == clean or (call.console and mode == "once"):
            if archive != sample.repaired or backup != sample.original:
                problems.append("a run that told all did not repair all")
        # A failed look at the backup's name makes nothing fail, nor does a
        # failure that Wine absorbs; check() has made sure that a backup told
        # of holds the original.
        if call.backup and call.name != "newfstatat" and \
                not tool.absorbs(call) and MADE_BACKUP in text:
            problems.append("told of a backup whose making failed")
    shutil.rmtree(work)
    return ["%s %s: %s %s" % (mode, inject, problem, stderr_tail(proc))
            for problem in problems]


def call_faults(tool, sample, tmp, count, rng, workers):
    """The clean run's calls (`count` of them drawn by `rng`, or all where
    it is None), each failed once, from then on, and by a kill just before
    it."""
    calls, clean, problems = list_calls(tool, sample, tmp / "clean")
    failed = bool(problems)
    chosen = range(len(calls))
    if count is not None:
        chosen = sorted(rng.sample(chosen, min(len(calls), count)))
    jobs = [(i, mode) for i in chosen for mode in ("once", "from", "kill")]
    with ThreadPoolExecutor(workers) as pool:
        for found in pool.map(
                lambda job: fault_run(tool, sample, clean, calls, *job,
                                      tmp / ("w%d%s" % job)), jobs):
            problems += found
            failed += bool(found)
    names = {c.name for c in calls}
    print("%s: %d faulted runs over %d of %d calls of %d system calls: %s"
          % (tool.name, len(jobs), len(chosen), len(calls), len(names),
             " ".join(sorted(names))))
    return Tally(len(jobs), failed, problems)


def server_faults(tool, sample, work):
    """Under Wine the backup is opened and truncated by the Wine server, which
    does not always tell the tool of a failure there. Each call that the
    server makes on the backup in a clean run, with an older, longer backup
    present, is failed once and from then on, by strace attached to the
    server: the tool must never tell of a backup that holds anything but the
    archive."""
    old = b"x" * (len(sample.original) + 13000)
    trace = work.parent / "server.trace"
    pid = tool.server_pid()

    def traced(*more):
        fresh_copy(sample, work)
        (work / BACKUP).write_bytes(old)
        tracer = subprocess.Popen(
            ["strace", "-o", str(trace), "-y", "-p", str(pid),
             "-P", str(work / BACKUP)] + list(more),
            stderr=subprocess.PIPE, text=True)
        tracer.stderr.readline()  # attached
        try:
            proc, out = tool.launch(work)
        finally:
            tracer.terminate()
            tracer.wait()
        return proc, out

    traced()
    calls = parse_trace(trace)
    problems = [] if calls else ["strace saw no call of the Wine server"]
    failed = len(problems)
    for name, n, _ in calls:
        for when in ("%d" % n, "%d+" % n):
            inject = "inject=%s:error=EIO:when=%s" % (name, when)
            proc, out = traced("-e", inject)
            found = check(sample, tool.text(out), *left(work))
            if proc.returncode != 0:
                found.append("exit status %d" % proc.returncode)
            problems += ["server %s: %s" % (inject, p) for p in found]
            failed += bool(found)
    print("%d faulted runs over the Wine server's calls on the backup, an "
          "older, longer backup present" % (2 * len(calls)))
    return Tally(2 * len(calls), failed, problems)


def kill_run(tool, sample, work, delay):
    """Kills a run after `delay` seconds; which part of the walk it reached,
    and what the run got wrong."""
    fresh_copy(sample, work)
    with open(work / "out", "wb") as out:
        proc = tool.start(work, out)
        time.sleep(delay)
        proc.kill()
        proc.wait()
    archive, backup = left(work)
    problems = check(sample, tool.text((work / "out").read_bytes()),
                     archive, backup, killed=True)
    shutil.rmtree(work)
    if archive == sample.repaired:
        stage = "repaired"
    elif archive != sample.original:
        stage = "mid-walk"
    else:
        stage = "no backup" if backup is None else "mid-backup" \
            if backup != sample.original else "backed up"
    return stage, ["kill after %.4f s: %s" % (delay, p) for p in problems]


def random_kills(tool, make_archive, tmp, count, rng, seed, workers):
    """`count` runs over a large archive, each killed at a random moment
    within 1.2 times the length of a whole run."""
    subprocess.run([make_archive, tmp / "large.ini", "--bytes", "40000000",
                    "--max-text", "3000", "--garbled-every", "3",
                    "--seed", "5"], check=True)
    large = Sample(tmp / "large.ini")
    length = 1e9
    for _ in range(3):
        started = time.monotonic()
        run(tool, large, tmp / "timed")
        length = min(length, time.monotonic() - started)
    stages, problems, failed = {}, [], 0
    delays = [rng.uniform(0, 1.2 * length) for _ in range(count)]
    with ThreadPoolExecutor(workers) as pool:
        for stage, found in pool.map(
                lambda job: kill_run(tool, large, tmp / ("k%d" % job[0]),
                                     job[1]), enumerate(delays)):
            stages[stage] = stages.get(stage, 0) + 1
            problems += found
            failed += bool(found)
    print("%d kills (--seed %d) over runs of %.2f s on %d MiB with %d "
          "garbled sections: %s" % (count, seed, length,
                                    len(large.original) >> 20,
                                    len(large.fixes), stages))
    return Tally(count, failed, problems)


def parse_args():
    parser = argparse.ArgumentParser(
        description="Runs INIFIXER under injected I/O failures and kills.")
    parser.add_argument("inifixer", metavar="INIFIXER",
                        help="the tool (with --wine, its Windows exe)")
    parser.add_argument("make_archive", metavar="MAKE_ARCHIVE",
                        help="the generator of the sample archives")
    parser.add_argument("--wine", metavar="WINE64",
                        help="run INIFIXER by this Wine loader")
    parser.add_argument("--calls", type=int, metavar="N",
                        help="fail N calls drawn at random, not all")
    parser.add_argument("--kills", type=int, default=150, metavar="N",
                        help="how many runs to kill (default: %(default)s)")
    parser.add_argument("--seed", type=int, metavar="S",
                        default=time.time_ns() % 10**6,
                        help="seed of the random draws (default: from the "
                        "clock)")
    return parser.parse_args()


def main():
    args = parse_args()
    make_archive = os.path.abspath(args.make_archive)
    rng = random.Random(args.seed)
    shm = "/dev/shm" if os.path.isdir("/dev/shm") else None
    tmp = Path(tempfile.mkdtemp(prefix="fault_harness.", dir=shm))
    workers = os.cpu_count() or 2
    tool = Tool(os.path.abspath(args.inifixer), args.wine, tmp)
    tallies = []
    try:
        if tool.has_server:
            tool.start_server()
        # Larger than the backup's copy block and the walk's buffer, so that
        # both take several rounds.
        subprocess.run([make_archive, tmp / "small.ini", "--sections", "16",
                        "--min-text", "100000", "--max-text", "300000",
                        "--garbled-every", "2"], check=True)
        with open(tmp / "small.ini", "ab") as small:
            small.write(struct.pack("<I", 9) + b"unterminated")
        small = Sample(tmp / "small.ini")
        tool.warm_up(small, tmp / "warm")
        tallies.append(call_faults(tool, small, tmp, args.calls, rng,
                                   workers))
        if tool.has_server:
            tallies.append(server_faults(tool, small, tmp / "server"))
        tallies.append(random_kills(tool, make_archive, tmp, args.kills,
                                    rng, args.seed, workers))
    finally:
        tool.stop_server()
        shutil.rmtree(tmp, ignore_errors=True)
    runs = sum(t.runs for t in tallies)
    failed = sum(t.failed for t in tallies)
    problems = [p for t in tallies for p in t.problems]
    for problem in problems:
        print("FAIL", problem)
    print("%d passed, %d failed" % (runs - failed, failed))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
