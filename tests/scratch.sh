# Sourced by the test scripts, with $scratch set to an absolute path. When
# the file INIFIXER_SKIP_FILE names exists, the test cannot run here: it says
# why and exits 77 (skipped). Otherwise makes $scratch an empty directory,
# removed on exit, and enters it. `fail MESSAGE` ends the test.
if [ -n "${INIFIXER_SKIP_FILE:-}" ] && [ -e "$INIFIXER_SKIP_FILE" ]; then
  echo "skipped: $(cat "$INIFIXER_SKIP_FILE")"
  exit 77
fi
rm -rf "$scratch"
mkdir -p "$scratch"
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
