#!/bin/sh
# Unpacks a release package as a player would and checks it against the
# SHA256SUMS beside it. The zip: exactly inifixer.exe, README.txt,
# LICENSE.txt and THIRD-PARTY.txt, the texts with CR LF line breaks, and
# THIRD-PARTY.txt naming the MinGW-w64 runtime with its ZPL notice and GCC's
# runtime, libssp among it. The tarball: exactly its folder holding inifixer
# (mode 0755), README.txt, LICENSE.txt and THIRD-PARTY.txt, the texts with LF
# line breaks, THIRD-PARTY.txt naming glibc with its version, the LGPL,
# glibc's source and how to relink, and inifixer a static-pie: no program
# interpreter, no shared library, loaded at a random address, with full RELRO
# and a stack that is never executable (checksec). As the shipped file has no
# symbols, the link's unstripped copy in BUILD_DIR stands in for it:
# stripped, it must give the shipped bytes, and in it the tool's own
# functions (those of the objects in BUILD_DIR) must call the stack
# protector's __stack_chk_fail and FORTIFY's checked functions (__*_chk).
# Then it leaves the unpacked executable in DIR with DIR/run, a command that
# copies it into the current directory, beside an archive, and runs it there:
# the exe under WINE, the Linux executable as it is. The end-to-end table
# runs through DIR/run.
#
#   package_test.sh ZIP DIR WINE   (absolute paths)
#   package_test.sh TARBALL DIR BUILD_DIR
set -eu
package=$1 dir=$2 scratch=$2/check
# Nothing of an earlier run may stand in for this package's executable.
rm -rf "$dir"
. "$(dirname "$0")/scratch.sh"
export LC_ALL=C

# Every line of TEXT, the last one too, ends in CR LF (crlf) or in LF alone
# (lf).
check_breaks() {
  [ -s "$2" ] || fail "$2 is empty"
  [ "$(tail -c 1 "$2")" = "" ] || fail "$2 does not end in a line break"
  crs=$(grep -c "$(printf '\r')\$" "$2" || true)
  case $1 in
    crlf) [ "$crs" = "$(wc -l <"$2")" ] || fail "$2 has a line without CR LF" ;;
    lf) [ "$(tr -cd '\r' <"$2" | wc -c)" = 0 ] || fail "$2 has a CR" ;;
  esac
}

# THIRD-PARTY.txt holds a line matching each PATTERN (grep -E) and none
# matching the first pattern of the other package's THIRD-PARTY.txt (UNLIKE).
check_notices() {
  unlike=$1
  shift
  for pattern in "$@"; do
    grep -Eq -- "$pattern" THIRD-PARTY.txt ||
      fail "THIRD-PARTY.txt has no line matching: $pattern"
  done
  ! grep -Eq -- "$unlike" THIRD-PARTY.txt ||
    fail "THIRD-PARTY.txt names the other package's code: $unlike"
}
zip_notices='^- mingw-w64-i686-dev [0-9][^ ]*: the MinGW-w64 runtime'
tarball_notices='^- libc6-dev [0-9][^ ]*: the GNU C Library \(glibc\); LGPL-2\.1-or-later'

. "$(dirname "$0")/quote.sh"

# Leaves the executable EXE, unpacked here, in DIR with DIR/run, which copies
# it into the current directory and runs it there as COMMAND (its words). cp
# is named by its path: a run may give the tool a PATH of its own.
leave() {
  cp "$1" "$dir/" || fail "cannot copy $1 to $dir"
  line="$(quote "$(command -v cp)" "$dir/$1") . && exec"
  shift
  line="$line $(quote "$@")"
  printf '#!/bin/sh\n%s "$@"\n' "$line" >"$dir/run" && chmod +x "$dir/run" ||
    fail "cannot write $dir/run"
}

# The lines of SHA256SUMS for the NAMEs, each once, right for the files here.
check_sums() {
  for name in "$@"; do
    grep -x "[0-9a-f]\{64\}  $name" "$(dirname "$package")/SHA256SUMS" ||
      fail "SHA256SUMS has no line for $name"
  done >sums
  sha256sum --strict -c sums
}

case $package in
  *.zip) kind=zip ;;
  *.tar.gz)
    kind=tarball top=$(basename "$package" .tar.gz)
    ;;
  *) fail "$package is neither a zip nor a tarball" ;;
esac

if [ $kind = zip ]; then
  unzip -Z1 "$package" >names
  printf '%s\n' inifixer.exe README.txt LICENSE.txt THIRD-PARTY.txt |
    cmp -s - names || fail "the zip holds $(tr '\n' ' ' <names)"
  unzip -q "$package"
  check_breaks crlf README.txt
  check_breaks crlf LICENSE.txt
  check_breaks crlf THIRD-PARTY.txt
  check_notices "$tarball_notices" "$zip_notices" \
    '^License: ZPL-2\.1' '^Copyright: [0-9-]+ the mingw-w64 project' \
    'Redistributions in binary form must reproduce the accompanying' \
    '^- gcc-mingw-w64-i686-win32 [0-9][^ ]*: GCC.s runtime libraries' \
    '^Linked from: .*libssp\.a' \
    '^- g\+\+-mingw-w64-i686-win32 [0-9][^ ]*: the GNU C\+\+ Library' \
    '^GCC RUNTIME LIBRARY EXCEPTION'
  cp "$package" .
  check_sums "$(basename "$package")" inifixer.exe
  leave inifixer.exe "${3:?the zip runs under Wine}" inifixer.exe
  exit
fi

tar tzf "$package" >names
printf '%s\n' "$top/" "$top/inifixer" "$top/README.txt" "$top/LICENSE.txt" \
  "$top/THIRD-PARTY.txt" |
  cmp -s - names || fail "the tarball holds $(tr '\n' ' ' <names)"
mkdir player
tar -C player -xzf "$package"
[ "$(ls -A player)" = "$top" ] || fail "the tarball unpacks to $(ls -A player)"
cd "player/$top"
[ "$(ls -A | sort | tr '\n' ' ')" = \
  "LICENSE.txt README.txt THIRD-PARTY.txt inifixer " ] ||
  fail "the folder holds $(ls -A | tr '\n' ' ')"
[ "$(stat -c %a inifixer)" = 755 ] ||
  fail "inifixer has mode $(stat -c %a inifixer)"
check_breaks lf README.txt
check_breaks lf LICENSE.txt
check_breaks lf THIRD-PARTY.txt
# glibc's source is the very version linked.
glibc=$(sed -n 's/^libc6-dev \([^ ]*\)$/\1/p' THIRD-PARTY.txt)
check_notices "$zip_notices" "$tarball_notices" \
  "^    apt-get source glibc=$(printf '%s' "$glibc" | sed 's/[.+]/\\&/g')\$" \
  '^Relinking with a changed library$' \
  '^    cmake --preset linux -DCMAKE_EXE_LINKER_FLAGS=-L' \
  '^ +GNU LESSER GENERAL PUBLIC LICENSE$' '^ +Version 2\.1, February 1999$' \
  '^- libstdc\+\+-12-dev [0-9][^ ]*: the GNU C\+\+ Library' \
  '^- libgcc-12-dev [0-9][^ ]*: GCC.s runtime library' \
  '^GCC RUNTIME LIBRARY EXCEPTION'
readelf -h inifixer | grep -q 'Machine: *Advanced Micro Devices X86-64' ||
  fail "inifixer is no x86_64 executable"
readelf -lW inifixer >program-headers
! grep -q INTERP program-headers || fail "inifixer has a program interpreter"
grep -q 'GNU_STACK .* RW  ' program-headers ||
  fail "inifixer's stack may be executable"
readelf -hW inifixer | grep -q 'Type: *DYN' ||
  fail "inifixer is not position-independent"
! readelf -dW inifixer | grep -q NEEDED || fail "inifixer needs shared libraries"
rm program-headers
checksec --file=inifixer --output=csv >checksec.csv ||
  fail "checksec failed on inifixer"
for expected in 'Full RELRO' 'NX enabled' 'PIE enabled'; do
  tr ',' '\n' <checksec.csv | grep -qx "$expected" ||
    fail "checksec does not say $expected: $(cat checksec.csv)"
done
build=${3:?the tarball needs the build directory of its executable}
strip --strip-all -o stripped "$build/inifixer.unstripped" &&
  cmp -s stripped inifixer ||
  fail "$build/inifixer.unstripped, stripped, is not the shipped inifixer"
rm stripped checksec.csv
nm --defined-only "$build"/CMakeFiles/*.dir/src/*.o \
  "$build"/CMakeFiles/*.dir/src/*/*.o 2>/dev/null |
  awk '$2 ~ /^[tTW]$/ { print "<" $3 ">:" }' | sort -u >ours
[ -s ours ] || fail "no objects of the tool in $build"
objdump -d --no-show-raw-insn "$build/inifixer.unstripped" | awk '
  NR == FNR { ours[$1] = 1; next }
  /^[0-9a-f]+ <.*>:$/ { function_ = $2 }
  (function_ in ours) && /call.*<(__stack_chk_fail|__[a-z_]*_chk)[@>]/ {
    name = function_; gsub(/[<>:]/, "", name); print $NF, name }' ours - |
  sort -u >checked
for check in '<__stack_chk_fail>' '<__[a-z_]*_chk>'; do
  grep -q "^$check " checked ||
    fail "none of the tool's own functions calls $check"
done
echo "the tool's own functions with the stack protector or FORTIFY:"
tr -d '<>' <checked | sed 's/^/  /'
rm ours checked
cp "$package" .
check_sums "$(basename "$package")" inifixer
leave inifixer ./inifixer
