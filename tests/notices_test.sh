#!/bin/sh
# Checks THIRD-PARTY.txt of each release package against the link of its
# executable, as its build's link map (BUILD_DIR/inifixer.map) tells it: every
# file outside the build directory that the link took code from, an object
# file it read or an archive it took a member of, belongs to a Debian package
# that THIRD-PARTY.txt names with the version installed here. Then that
# tools/third_party.py stops when that link reads besides a file of a package
# it does not know, or one of no package.
#
#   notices_test.sh SCRATCH_DIR PACKAGE BUILD_DIR [PACKAGE BUILD_DIR]...
#   (absolute paths; PACKAGE a zip or a tarball of tools/package.py)
set -eu
scratch=$1
shift
command -v dpkg-query >/dev/null || {
  echo "skipped: this machine has no dpkg-query to map files to packages"
  exit 77
}
tools=$(cd "$(dirname "$0")/../tools" && pwd)
. "$(dirname "$0")/scratch.sh"
export LC_ALL=C

# The package (with its architecture) that ships FILE: by its name in the
# map or the file it leads to, each also without /usr, where /lib is a link
# to /usr/lib and dpkg knows /lib/....
owner() {
  for name in "$1" "$(realpath "$1")"; do
    for name in "$name" "${name#/usr}"; do
      dpkg-query -S "$name" 2>/dev/null | awk -v name="$name" '
        !/^diversion by / && substr($0, length($0) - length(name) - 1) == ": " name {
          sub(/, .*/, ""); sub(/: \/.*/, ""); print; found = 1; exit }
        END { exit !found }' && return
    done
  done
  return 1
}

while [ $# -ge 2 ]; do
  package=$1 build=$2
  shift 2
  case $package in
    *.zip) unzip -p "$package" THIRD-PARTY.txt | tr -d '\r' >notices ;;
    *) tar -xzOf "$package" "$(basename "$package" .tar.gz)/THIRD-PARTY.txt" \
      >notices ;;
  esac
  map=$build/inifixer.map
  [ -s "$map" ] || fail "$map is missing: scripts/package.sh writes it"
  # The object files it loaded, and the archives of the members it took (a
  # line ARCHIVE(MEMBER) under the map's first heading; a long name is alone
  # on its line).
  sed -n '/^Archive member included/,/^[A-Z]/s/^\(\/.*\)([^()/]*)$/\1/p
    s/^LOAD \(.*\.o\)$/\1/p' "$map" | sort -u >files
  checked=0
  while read -r file; do
    case $file in /*) ;; *) continue ;; esac # the build's own files
    file=$(realpath -s "$file")
    case $file in "$build"/*) continue ;; esac
    found=$(owner "$file") || fail "$file of $map is in no Debian package"
    version=$(dpkg-query -W -f='${Version}' "$found")
    grep -Fqx "${found%%:*} $version" notices ||
      fail "the link in $build took code from $file of ${found%%:*}" \
        "$version, which THIRD-PARTY.txt of $(basename "$package") does" \
        "not name"
    checked=$((checked + 1))
  done <files
  [ "$checked" -gt 0 ] || fail "$map names no file of a package"
  echo "$(basename "$package"): its THIRD-PARTY.txt names the packages of" \
    "the $checked files its link took code from"
  last_map=$map last_build=$build
done

# The last link once more as the generator sees it: as it was, with the
# system's zlib (a package it does not know) read besides, and with a file
# of no package read besides.
generate() {
  python3 "$tools/third_party.py" --map "$1" --build-dir "$last_build" \
    --program inifixer --platform test --version 0 --out out.txt 2>err
}
generate "$last_map" || fail "third_party.py fails on $last_map: $(cat err)"
zlib=$(dpkg-query -L "zlib1g:$(dpkg --print-architecture)" |
  grep '/libz\.so\.1$')
case $zlib in /usr/*) ;; *) zlib=/usr$zlib ;; esac
for extra in "$zlib" "$scratch/libextra.a"; do
  cp "$last_map" map
  echo "LOAD $extra" >>map
  printf '!<arch>\n' >libextra.a
  ! generate map || fail "third_party.py takes a link that reads $extra"
  case $extra in
    "$zlib") expected="does not know: zlib1g ($zlib)" ;;
    *) expected="read $extra, which no Debian package ships" ;;
  esac
  grep -Fq "$expected" err || fail "third_party.py on $extra: $(cat err)"
done
echo "third_party.py stops on a file of zlib1g and on one of no package"
