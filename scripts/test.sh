#!/bin/sh
# Installs what is missing, builds every target and runs the whole test suite:
# the native build, the Windows executables under Wine (the 32-bit one and its
# release zip where this machine runs 32-bit programs, the 64-bit one
# everywhere), a static i386 build under qemu-i386, the static Linux
# executable of the release tarball, the native end-to-end table on exFAT and
# NTFS images mounted through FUSE (where this machine can mount them), a
# second build of both packages, the sanitizer build, the fault-injection
# harness and a bounded fuzzing run.
#
# INIFIXER_RUN_WIN32=0 or 1 overrides the probe of whether this machine runs
# 32-bit programs.
set -e
cd "$(dirname "$0")/.."
scripts/need-packages cmake make g++ libgtest-dev strace python3 unzip \
  g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32 \
  wine64 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 \
  clang libclang-rt-14-dev g++-i686-linux-gnu exfat-fuse exfatprogs ntfs-3g
# Without what it recommends: qemu-user-binfmt would make the kernel start
# every i386 program through qemu, and the 32-bit Wine would then seem to run.
scripts/need-packages --no-recommends qemu-user

# Some kernels run no 32-bit code at all; there the 32-bit Wine cannot start,
# and the tests that run the 32-bit exe are reported as skipped. A handler
# that starts i386 programs through an emulator (binfmt_misc) would let the
# loader start all the same, and Wine then fails after minutes: that counts
# as running no 32-bit programs.
emulated_i386() {  # prints the first enabled handler of i386 ELF programs
  for handler in /proc/sys/fs/binfmt_misc/*; do
    awk 'NR == 1 && $0 != "enabled" { exit }
      $1 == "magic" && substr($2, 1, 10) == "7f454c4601" &&
        substr($2, 37, 4) == "0300" { found = 1 }
      END { exit !found }' "$handler" 2>/dev/null && echo "$handler" && return
  done
  return 1
}
if [ -n "${INIFIXER_RUN_WIN32:-}" ]; then
  run_win32=$INIFIXER_RUN_WIN32 how="INIFIXER_RUN_WIN32=$INIFIXER_RUN_WIN32"
elif handler=$(emulated_i386); then
  run_win32=0 how="i386 programs run only by emulation: $handler"
elif /usr/lib/wine/wine --version >/dev/null 2>&1; then
  run_win32=1 how="the 32-bit Wine starts"
else
  run_win32=0 how="the 32-bit Wine does not start"
fi
case $run_win32 in
  0 | 1) ;;
  *) echo "INIFIXER_RUN_WIN32 must be 0 or 1" >&2 && exit 2 ;;
esac
if [ "$run_win32" = 1 ]; then
  echo "32-bit programs: this machine runs them ($how)."
else
  echo "32-bit programs: this machine cannot run them ($how): the runs of" \
    "the 32-bit exe are skipped, the 64-bit exe's runs stand in for them."
fi

# The Windows executables and the packages come first: the native tests run
# them (the exes under Wine, with a helper that holds a file open) and build
# the packages once more elsewhere. The 64-bit build is for the tests only.
scripts/package.sh
cmake --build build-win32 -j2
cmake --preset win64 >/dev/null
cmake --build build-win64 -j2
cmake --preset i386 >/dev/null
cmake --build build-i386 -j2
# A new Wine prefix takes a while to set up: once here, not in a test, and
# with the 64-bit loader, which runs on every machine.
WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= /usr/lib/wine/wine64 wineboot -i
cmake --preset default \
  -DINIFIXER_WIN32_EXE="$PWD/build-win32/inifixer.exe" \
  -DINIFIXER_DIST="$PWD/dist" \
  -DINIFIXER_WIN64_EXE="$PWD/build-win64/inifixer.exe" \
  -DINIFIXER_I386_EXE="$PWD/build-i386/inifixer" \
  -DINIFIXER_RUN_WIN32=$run_win32
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
