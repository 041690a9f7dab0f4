#!/bin/sh
# Builds the tool, writes a sample archive with some garbled sections into a
# scratch directory and runs the tool there, as a player would.
set -e
cd "$(dirname "$0")/.."
scripts/need-packages demo
# A build of its own, which needs no test tools (preset demo).
cmake --preset demo >/dev/null
cmake --build --preset demo -j2 >/dev/null
scratch=$(mktemp -d)
build-demo/make_archive "$scratch/Coalesced.ini" --sections 40 --garbled-every 9
echo "Sample archive: $scratch/Coalesced.ini"
echo "----------------------------------------------------------------"
(cd "$scratch" && "$OLDPWD/build-demo/inifixer")
echo
echo "----------------------------------------------------------------"
ls -l "$scratch"
