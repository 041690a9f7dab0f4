#!/bin/sh
# Builds the tool, writes a sample archive with some garbled sections into a
# scratch directory and runs the tool there, as a player would.
set -e
cd "$(dirname "$0")/.."
scripts/need-packages cmake make g++
cmake --preset default -DBUILD_TESTING=OFF >/dev/null
cmake --build build -j2 >/dev/null
scratch=$(mktemp -d)
build/make_archive "$scratch/Coalesced.ini" --sections 40 --garbled-every 9
echo "Sample archive: $scratch/Coalesced.ini"
echo "----------------------------------------------------------------"
(cd "$scratch" && "$OLDPWD/build/inifixer")
echo
echo "----------------------------------------------------------------"
ls -l "$scratch"
