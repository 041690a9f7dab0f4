#!/bin/sh
# Checks the release's build record (DIST_DIR/inifixer-VERSION.buildinfo,
# VERSION that of the zip in SHA256SUMS): its checksums are SHA256SUMS's, and
# it names the packages of the compilers, binutils, C libraries, runtimes and
# Python with their versions, and CMake's package, or its path and version
# where no package ships it. Then copies the sources into another directory,
# whose path holds a space, an apostrophe, parentheses and a letter beyond
# ASCII, runs scripts/package.sh there, compares the build record that writes
# with the release's, telling each package whose version differs, and then
# compares the SHA256SUMS it writes (the zip, the exe, the tarball and
# the Linux executable) with the one in DIST_DIR: a later build elsewhere, in
# any folder, must give the same bytes.
#
#   reproducible_test.sh SOURCE_DIR DIST_DIR SCRATCH_DIR   (absolute paths)
set -eu
source=$1 dist=$2 scratch=$3
. "$(dirname "$0")/scratch.sh"
version=$(sed -n 's/^[0-9a-f]*  inifixer-\(.*\)-win32\.zip$/\1/p' \
  "$dist/SHA256SUMS")
record=$dist/inifixer-$version.buildinfo
[ -f "$record" ] || fail "$dist holds no build record of version $version"
compare() {
  python3 "$source/tools/build_record.py" --compare "$@"
}

sed -n 's/^ \([0-9a-f]\{64\}\) [0-9]* \(.*\)$/\1  \2/p' "$record" |
  cmp -s - "$dist/SHA256SUMS" ||
  fail "the checksums of $record are not those of SHA256SUMS"
for package in g++-12 libc6-dev libstdc++-12-dev binutils-x86-64-linux-gnu \
  g++-mingw-w64-i686-win32 gcc-mingw-w64-i686-win32 mingw-w64-i686-dev \
  binutils-mingw-w64-i686 python3.11-minimal zlib1g base-files; do
  grep -q "^ $package (= [^)]*)" "$record" ||
    fail "$record does not name $package with its version"
done
grep -q '^ cmake (= [^)]*)\|^ /.*/cmake: cmake version ' "$record" ||
  fail "$record names neither the package of cmake nor its path and version"
# A version changed in a copy of the record is told by name.
sed 's/^\( zlib1g (= \)[^)]*/\19.9/' "$record" >changed
! compare "$record" changed >told || fail "a changed version goes unnoticed"
zlib=$(sed -n 's/^ zlib1g (= \([^)]*\)).*$/\1/p' "$record")
grep -Fxq "zlib1g: $zlib in the release, 9.9 in this build" told ||
  fail "the comparison does not tell the changed version: $(cat told)"

copy="$scratch/Mes jeux (copie)/l'ini fixer ÉTÉ"
mkdir -p "$copy"
tar -C "$source" --exclude=./.git --exclude=./build --exclude='./build-*' \
  --exclude=./dist -cf - . | tar -C "$copy" -xf -
"$copy/scripts/package.sh" >package.log 2>&1 || {
  cat package.log
  exit 1
}
if compare "$record" "$copy/dist/$(basename "$record")" >versions; then
  echo "second build: the same package versions as the first"
else
  echo "second build: other package versions than the first:"
  sed 's/^/  /' versions
fi
echo "first build:  $(tr '\n' ' ' <"$dist/SHA256SUMS")"
echo "second build: $(tr '\n' ' ' <"$copy/dist/SHA256SUMS")"
cmp "$dist/SHA256SUMS" "$copy/dist/SHA256SUMS" ||
  fail "the second build differs from the first"
