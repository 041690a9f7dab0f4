# Sourced by the test scripts that write a command for sh: `quote WORD...`
# prints the words, each quoted for sh, separated by spaces.
quote() {
  for word in "$@"; do
    printf "'%s'" "$(printf '%s' "$word" | sed "s/'/'\\\\''/g")"
    [ $# = 1 ] || printf ' '
    shift
  done
}
