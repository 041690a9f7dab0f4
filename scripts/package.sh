#!/bin/sh
# Builds the 32-bit Windows exe and the static Linux executable, each with
# its THIRD-PARTY.txt, and writes the release for players into dist/: the
# zip, the tarball and SHA256SUMS (tools/package.py says what each holds),
# and the build record (tools/build_record.py), which names the Debian
# packages that made them. docs/release.md says when a build gives the same
# bytes.
set -e
cd "$(dirname "$0")/.."
scripts/need-packages package
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j2 --target inifixer third_party
# The dist target of the static Linux build packs both executables (the
# linux preset names the win32 preset's exe).
cmake --preset linux >/dev/null
cmake --build --preset linux -j2 --target dist
ls -l dist
cat dist/SHA256SUMS
