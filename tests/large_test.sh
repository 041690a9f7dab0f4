#!/bin/sh
# Runs the tool on archives of 4 GiB and more: a garbled section beyond
# 4 GiB, which must be reported at its true offset and fixed there and
# nowhere else, after a backup of the whole file; the same in an archive of
# exactly 4 GiB; and a text too long for any size field, which must stop the
# walk with the archive untouched. Needs about 9 GB of disk.
#
#   large_test.sh MAKE_ARCHIVE SCRATCH_DIR TOOL [ARG...]   (absolute paths)
#
# With INIFIXER_CRLF=1 every line break is expected as CR LF, as on Windows.
# Standard error goes to a file: a Wine service that a run starts keeps it
# open, and CTest would wait on it.
set -eu
make_archive=$1 scratch=$2 texts=$(dirname "$0")/texts.py
shift 2
. "$(dirname "$0")/scratch.sh"

# Compares the tool's output with the banner, "Made a backup.", $1 and the
# exit prompt.
expect_output() {
  { python3 "$texts" banner && python3 "$texts" backed_up && printf '%s' "$1" &&
    python3 "$texts" prompt; } >expected
  if [ "${INIFIXER_CRLF:-}" = 1 ]; then
    sed -e 's/$/\r/' -e '$s/\r$//' expected >expected.crlf
    mv expected.crlf expected
  fi
  cmp expected out || fail "unexpected output: $(cat out)"
}

# Appends a garbled section: field F0 FF FF FF, text "[x]\nk=v", 8 bytes.
append_garbled() {
  printf '\360\377\377\377[x]\nk=v\000' >>Coalesced.ini
  original=$(cksum <Coalesced.ini)
}

# Checks a run on an archive whose one garbled section, the last, is at $1:
# the report, the backup, and a fix of those 4 bytes to 08 00 00 00 only.
expect_fixed_at() {
  expect_output "$(python3 "$texts" report "$1" '[x]
k=v' 4294967280 8 && python3 "$texts" fixed)
"
  [ "$(cksum <Coalesced.ini.bak)" = "$original" ] ||
    fail "the backup differs from the original"
  cmp -l Coalesced.ini.bak Coalesced.ini 2>&1 |
    awk '{print $1, $2, $3}' >changes
  printf '%s\n' "$(($1 + 1)) 360 10" "$(($1 + 2)) 377 0" \
    "$(($1 + 3)) 377 0" "$(($1 + 4)) 377 0" | cmp - changes ||
    fail "changes other than the fix: $(head changes)"
  rm -f Coalesced.ini Coalesced.ini.bak
}

# Two consistent sections of 2.2 GB, the second starting past 2 GiB, then
# the garbled one past 4 GiB.
"$make_archive" Coalesced.ini --sections 2 --min-text 2200000000 \
  --max-text 2200000000 --garbled-every 0
append_garbled
"$@" </dev/null >out 2>err || fail "exit status $?"
expect_fixed_at 4400000014

# An archive of exactly 4 GiB, which 32-bit byte counts take for empty.
"$make_archive" Coalesced.ini --sections 1 --min-text 4294967275 \
  --max-text 4294967275 --garbled-every 0
append_garbled
"$@" </dev/null >out 2>err || fail "exit status $?"
expect_fixed_at 4294967284

# A text of 2^32 bytes: no terminator within the longest text a size field
# can describe. The garbled section after it is never reached.
"$make_archive" Coalesced.ini --sections 1 --min-text 4294967295 \
  --max-text 4294967295 --garbled-every 0
append_garbled
"$@" </dev/null >out 2>err || fail "exit status $?"
expect_output "$(python3 "$texts" too_long 4 && python3 "$texts" unchecked 4)
"
[ "$(cksum <Coalesced.ini.bak)" = "$original" ] ||
  fail "the backup differs from the original"
cmp Coalesced.ini.bak Coalesced.ini || fail "the archive was changed"
echo "large archives: passed"
