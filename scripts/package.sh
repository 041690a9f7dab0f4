#!/bin/sh
# Builds the 32-bit Windows exe and the static Linux executable, each with
# its THIRD-PARTY.txt, and writes the release for players:
# dist/inifixer-VERSION-win32.zip (inifixer.exe, README.txt, LICENSE.txt,
# THIRD-PARTY.txt), dist/inifixer-VERSION-linux-x86_64.tar.gz (a folder of
# that name with inifixer, README.txt, LICENSE.txt, THIRD-PARTY.txt),
# dist/SHA256SUMS (the zip, the exe, the tarball and the Linux executable),
# and the build record dist/inifixer-VERSION.buildinfo, which names the
# Debian packages that made them. The same commit gives the same bytes
# wherever and whenever it is built with the packages that record names.
set -e
cd "$(dirname "$0")/.."
scripts/need-packages package
cmake --preset win32 >/dev/null
cmake --build build-win32 -j2 --target inifixer third_party
# The dist target of the static Linux build packs both executables.
cmake --preset linux-static \
  -DINIFIXER_DIST_WIN32_EXE="$PWD/build-win32/inifixer.exe" >/dev/null
cmake --build build-linux -j2 --target dist
ls -l dist
cat dist/SHA256SUMS
