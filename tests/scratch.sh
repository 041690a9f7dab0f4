# Sourced by the test scripts, with $scratch set to an absolute path: makes it
# an empty directory, removed on exit, and enters it. `fail MESSAGE` ends the
# test.
rm -rf "$scratch"
mkdir -p "$scratch"
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
