#!/bin/sh
# Installs what is missing, builds every target and runs the test suite, all
# but the archives of 4 GiB and more (label large, `ctest -L large`), with no
# graphical session (scripts/headless):
# the native build, the Windows executables under Wine (the 32-bit one and its
# release zip where this machine runs 32-bit programs, the 64-bit one
# everywhere), a static i386 build under qemu-i386, the static Linux
# executable of the release tarball, the native end-to-end table on exFAT and
# NTFS images mounted through FUSE (where this machine can mount them), a
# second build of both packages, the sanitizer build, the fault-injection
# harness, the hand-over to a terminal window under Xvfb and a bounded
# fuzzing run.
#
# INIFIXER_RUN_WIN32=0 or 1 overrides the probe of whether the 32-bit exe can
# run here; with 0, the 32-bit Wine is not even installed.
set -e
[ -n "${INIFIXER_HEADLESS:-}" ] || exec "$(dirname "$0")/headless" sh "$0" "$@"
cd "$(dirname "$0")/.."
scripts/need-packages test package fuzz
# The code follows .clang-format.
find src tests tools bench -name '*.cc' -o -name '*.h' |
  xargs clang-format --dry-run --Werror

# Some kernels run no 32-bit code at all, and some machines cannot get the
# 32-bit Wine (scripts/need-packages): there the tests that run the 32-bit
# exe are reported as skipped. CMake asks the same probe when the ci preset
# is configured.
probe=$(scripts/probe-win32)
if [ "${probe%% *}" = 1 ]; then
  echo "The 32-bit exe can run here (${probe#* })."
else
  echo "The 32-bit exe cannot run here (${probe#* }): its runs are skipped," \
    "the 64-bit exe's runs stand in for them."
fi

# The Windows executables and the packages come first: the native tests run
# them (the exes under Wine, with a helper that holds a file open) and build
# the packages once more elsewhere. The 64-bit build is for the tests only.
scripts/package.sh
for preset in win32 win64 i386; do
  cmake --preset $preset >/dev/null
  cmake --build --preset $preset -j2
done
# A new Wine prefix takes a while to set up: once here, not in a test, and
# with the 64-bit loader, which runs on every machine.
tests/in_wine /usr/lib/wine/wine64 wineboot -i
# The ci preset names the builds above; its tests are CI's.
cmake --preset ci
cmake --build --preset ci -j2
ctest --preset ci
# The Linux install: bin/inifixer.
prefix=$(mktemp -d)
cmake --install build-native --prefix "$prefix" >/dev/null
[ -x "$prefix/bin/inifixer" ]
rm -rf "$prefix"
# Unit, end-to-end and fault tests again on the sanitizer build, then the
# walk fuzzed for a minute (scripts/fuzz.sh SECONDS runs it longer).
cmake --preset asan
cmake --build --preset asan -j2
ctest --preset asan
scripts/fuzz.sh 60
