#!/bin/sh
# Installs what is missing, builds every target and runs the whole test suite:
# the native build, the 32-bit Windows executable and its release zip under
# Wine, a second build of the zip, the sanitizer build, the fault-injection
# harness and a bounded fuzzing run.
set -e
cd "$(dirname "$0")/.."
scripts/need-packages cmake make g++ libgtest-dev strace python3 unzip \
  g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32 \
  clang libclang-rt-14-dev
# The Windows executable and its zip come first: the native tests run them
# under Wine and build them once more elsewhere.
scripts/package.sh
# A new Wine prefix takes a while to set up: once here, not in a test.
WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= wineboot -i
cmake --preset default \
  -DINIFIXER_WIN32_EXE="$PWD/build-win32/inifixer.exe" \
  -DINIFIXER_WIN32_DIST="$PWD/dist"
cmake --build build -j2
ctest --preset default
# The Linux install: bin/inifixer.
prefix=$(mktemp -d)
cmake --install build --prefix "$prefix" >/dev/null
[ -x "$prefix/bin/inifixer" ]
rm -rf "$prefix"
# Unit, end-to-end and fault tests again on the sanitizer build, then the
# walk fuzzed for a minute (scripts/fuzz.sh SECONDS runs it longer).
cmake --preset asan
cmake --build build-asan -j2
ctest --preset asan
scripts/fuzz.sh 60
