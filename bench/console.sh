#!/bin/bash
# Times the Windows executable under Wine on an archive of 3,000 garbled
# sections, its output once to the null device (a character device, as a
# console is, where the runtime does not buffer) and once to a pipe, and
# checks the goal: to the null device at most 1.5 times the time to a pipe
# (medians). Also counts the write calls that carry the reports, and those
# of them that begin or end inside a report.
# The 32-bit exe where this machine runs 32-bit programs (scripts/probe-win32),
# else the 64-bit one. It runs with no graphical session, in the tests' Wine
# environment (tests/in_wine).
# Usage: bench/console.sh   (RUNS=N timed runs per output, default 9)
# Exits 1 when the goal is missed.
set -eu
[ -n "${INIFIXER_HEADLESS:-}" ] || exec "$(dirname "$0")/../scripts/headless" \
  "$(dirname "$0")/../tests/in_wine" bash "$0" "$@"
export LC_ALL=C
cd "$(dirname "$0")/.."
. bench/timing.sh
texts=$PWD/tests/texts.py
runs=${RUNS:-9}

scripts/need-packages console
[ -f build-native/CMakeCache.txt ] || cmake --preset native >/dev/null
cmake --build build-native -j2 --target make_archive >/dev/null
if [ "$(scripts/probe-win32 | cut -c1)" = 1 ]; then
  build=win32 wine=/usr/lib/wine/wine
else
  build=win64 wine=/usr/lib/wine/wine64
fi
cmake --preset $build >/dev/null
cmake --build build-$build -j2 --target inifixer >/dev/null
exe=$PWD/build-$build/inifixer.exe

dir=$(mktemp -d /dev/shm/inifixer-console.XXXXXX)
trap 'rm -rf "$dir"' EXIT
trap 'exit 130' INT TERM
build-native/make_archive "$dir/garbled.ini" --sections 3000 --garbled-every 1
cd "$dir"
# The Wine server stays up between the runs, so that none pays its start;
# one that is up already (another program's) serves as well.
"$WINESERVER" -p 60 2>/dev/null || true
# This first run starts the prefix's services, which outlive it: on the null
# device, so that they hold no pipe of whoever reads this script's output.
"$wine" cmd /c exit </dev/null >/dev/null 2>&1

run() {  # null|pipe
  cp garbled.ini Coalesced.ini
  if [ "$1" = null ]; then
    "$wine" "$exe" </dev/null >/dev/null
  else
    "$wine" "$exe" </dev/null | cat >/dev/null
  fi
}

timed() {  # null|pipe: prints the wall time in microseconds
  elapsed_us run "$1"
}

null_times=() pipe_times=()
for ((i = 0; i < runs; i++)); do
  null_times+=("$(timed null)")
  pipe_times+=("$(timed pipe)")
done
null_us=$(median "${null_times[@]}")
pipe_us=$(median "${pipe_times[@]}")

# The console's write calls: those on the descriptor that took the banner.
# A write of reports should start with a whole report and end with one.
cp garbled.ini Coalesced.ini
strace -f -e trace=write -s 65536 -o trace "$wine" "$exe" </dev/null >out
read -r reports writes torn <<END
$(python3 - trace out "$texts" <<'PY'
import re, sys
sys.path.insert(0, sys.argv[3].rsplit("/", 1)[0])
from texts import TEXTS

def shown(name, escaped=True):
    """The text as the console got it, CR LF; as strace shows it, escaped."""
    text = TEXTS[name].decode().replace("\n", "\r\n")
    return text.replace("\r", r"\r").replace("\n", r"\n") if escaped else text

calls = [m.groups() for m in re.finditer(
    r'write\((\d+), "(.*)", \d+\) = ', open(sys.argv[1]).read())]
banner, backed_up, prompt = shown("banner")[:20], shown("backed_up"), shown("prompt")
report, fixed = shown("report").split("{}")[0], shown("fixed")
fd = next(fd for fd, data in calls if data.startswith(banner))
texts = [data for d, data in calls if d == fd and banner not in data
         and backed_up not in data and prompt not in data]
whole = [t for t in texts if t.startswith(report) and t.endswith(fixed)]
out = open(sys.argv[2], encoding="latin-1", newline="").read()
print(out.count(shown("report", False).split("{}")[0]), len(texts),
      len(texts) - len(whole))
PY
)
END
ratio=$(awk "BEGIN { printf \"%.2f\", $null_us / $pipe_us }")
echo "$(basename "$exe") under $(basename "$wine"), $runs runs each, medians:"
printf '  to the null device %.1f ms, to a pipe %.1f ms, ratio %s\n' \
  "$(awk "BEGIN { print $null_us / 1000 }")" \
  "$(awk "BEGIN { print $pipe_us / 1000 }")" "$ratio"
echo "  $reports reports in $writes write calls, $torn of them not whole reports"
if awk "BEGIN { exit !($ratio <= 1.5) }"; then
  echo "Goal met: PASS (null device <= 1.5 x pipe)"
else
  echo "Goal missed: FAIL (null device <= 1.5 x pipe)"
  exit 1
fi
