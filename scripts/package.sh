#!/bin/sh
# Builds the Windows executable and writes the release for players:
# dist/inifixer-VERSION-win32.zip (inifixer.exe, README.txt, LICENSE.txt) and
# dist/SHA256SUMS (the zip and the exe). The same commit gives the same bytes
# wherever and whenever it is built.
set -e
cd "$(dirname "$0")/.."
scripts/need-packages cmake make g++-mingw-w64-i686 binutils-mingw-w64-i686 \
  python3
cmake --preset win32 >/dev/null
cmake --build build-win32 -j2 --target dist
ls -l dist
cat dist/SHA256SUMS
