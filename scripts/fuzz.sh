#!/bin/sh
# Builds the libFuzzer target over the walk (sanitizers on) and runs it for
# SECONDS (default 60), from archives written by our generator. Inputs that
# reach new code stay in build-fuzz/corpus for later runs; a failing input is
# saved as build-fuzz/crash-*. Further arguments go to libFuzzer, e.g.
#   scripts/fuzz.sh 3600 -jobs=2 -workers=2
set -e
cd "$(dirname "$0")/.."
scripts/need-packages fuzz
cmake --preset fuzz >/dev/null
cmake --build build-fuzz -j2 --target section_fuzz make_archive
mkdir -p build-fuzz/corpus build-fuzz/seeds
for n in 1 2 3 4 5 6; do
  build-fuzz/make_archive build-fuzz/seeds/archive-$n --seed $n \
    --sections $((n * 3)) --min-text 0 --max-text $((n * 15)) \
    --garbled-every $((n % 3 + 1))
done
seconds=${1:-60}
[ $# -gt 0 ] && shift
# libFuzzer ends with a block of suggested dictionary entries; the log keeps
# its progress and final statistics only. The status of the run is kept in a
# file, as the shell has no pipefail.
status_file=$(mktemp)
trap 'rm -f "$status_file"' EXIT
{
  status=0
  build-fuzz/section_fuzz -max_total_time="$seconds" -max_len=4096 \
    -print_final_stats=1 -artifact_prefix=build-fuzz/ "$@" \
    build-fuzz/corpus build-fuzz/seeds 2>&1 || status=$?
  echo "$status" >"$status_file"
} | sed -e '/^###### Recommended dictionary/,/^###### End of recommended dictionary/d'
status=$(cat "$status_file")
[ -n "$status" ] || { echo "fuzz.sh: the fuzzer's status is missing" >&2; exit 1; }
exit "$status"
