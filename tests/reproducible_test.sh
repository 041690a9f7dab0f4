#!/bin/sh
# Copies the sources into another directory, runs scripts/package.sh there
# and compares the SHA256SUMS it writes (the zip, the exe, the tarball and the
# Linux executable) with the one in DIST_DIR: a later build elsewhere must
# give the same bytes.
#
#   reproducible_test.sh SOURCE_DIR DIST_DIR SCRATCH_DIR   (absolute paths)
set -eu
source=$1 dist=$2 scratch=$3
rm -rf "$scratch"
mkdir -p "$scratch/copy"
trap 'rm -rf "$scratch"' EXIT
tar -C "$source" --exclude=./.git --exclude=./build --exclude='./build-*' \
  --exclude=./dist -cf - . | tar -C "$scratch/copy" -xf -
"$scratch/copy/scripts/package.sh" >"$scratch/package.log" 2>&1 || {
  cat "$scratch/package.log"
  exit 1
}
echo "first build:  $(tr '\n' ' ' <"$dist/SHA256SUMS")"
echo "second build: $(tr '\n' ' ' <"$scratch/copy/dist/SHA256SUMS")"
cmp "$dist/SHA256SUMS" "$scratch/copy/dist/SHA256SUMS" || {
  echo "FAIL: the second build differs from the first" >&2
  exit 1
}
