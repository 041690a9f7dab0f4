#!/bin/sh
# Stands in for a terminal emulator in the tests of the hand-over. Linked or
# copied under a terminal's name (xterm, konsole, kitty, ...) into a folder
# put first on PATH, it checks that its arguments follow that terminal's
# convention and that the command is /bin/sh -c SCRIPT sh FOLDER EXE, then
# appends to the log one line, the name and each argument in brackets:
#   konsole [-e] [/bin/sh] [-c] [SCRIPT] [sh] [FOLDER] [EXE]
# Then, from / (as a terminal server would start it, elsewhere), it runs the
# command under a pseudo-terminal (util-linux script), with the copy's
# console text in FOLDER/out exactly as the tool wrote it, ends the copy's
# key wait with a key once the prompt is there, and appends "NAME exit N"
# with the command's exit status. Arguments of another convention, or an
# unknown name, get "NAME broken convention" and exit status 2.
#
# Environment:
#   STAND_IN_LOG     the log (default: terminal.log in the current folder,
#                    which is the tool's)
#   STAND_IN_FAIL    names that fail at once: log, "NAME exit 1", status 1,
#                    nothing run ("all": every name)
#   STAND_IN_NO_PTY  names that run the command directly, standard input
#                    on the null device and standard output FOLDER/out, no
#                    terminal at all ("all": every name)
#   STAND_IN_DELAY   seconds between the prompt and the key (default 0), to
#                    be still running when the tool stops waiting for it
set -u
# Its own tools come from the system, whatever PATH the tool was given; the
# command gets the PATH the tool gave.
path=${PATH-}
PATH=/usr/bin:/bin
name=$(basename "$0")
log=${STAND_IN_LOG:-$PWD/terminal.log}
# The last line of the tool's exit prompt.
prompt=$(python3 "$(dirname "$(readlink -f "$0")")/texts.py" prompt |
  tail -n 1) || exit 2

# $1 quoted for a shell.
quote() {
  printf "'%s'" "$(printf '%s' "$1" | sed "s/'/'\\\\''/g")"
}

# Whether this name is in the list $1.
listed() {
  case " $1 " in
    *" $name "* | *" all "*) return 0 ;;
  esac
  return 1
}

{ printf '%s' "$name" && printf ' [%s]' "$@" && echo; } >>"$log" || exit 2

# The terminal's own way of taking a command: the option before it, if any.
case $name in
  xdg-terminal-exec | kitty | foot) option="" ;;
  x-terminal-emulator | konsole | alacritty | urxvt | xterm) option=-e ;;
  gnome-terminal) option=-- ;;
  xfce4-terminal | mate-terminal | terminator) option=-x ;;
  *) option=unknown ;;
esac
if [ -n "$option" ] && [ "${1:-}" = "$option" ]; then
  shift
fi
if [ "$option" = unknown ] || [ $# -ne 6 ] || [ "$1" != /bin/sh ] ||
  [ "$2" != -c ] || [ "$4" != sh ]; then
  echo "$name broken convention" >>"$log"
  exit 2
fi
folder=$5

if listed "${STAND_IN_FAIL:-}"; then
  echo "$name exit 1" >>"$log"
  exit 1
fi
cd / || exit 2

if listed "${STAND_IN_NO_PTY:-}"; then
  PATH=$path "$@" </dev/null >"$folder/out"
  status=$?
else
  # The command once more as one line for script's shell, each word quoted.
  line="export PATH=$(quote "$path") && exec"
  for word in "$@"; do
    line="$line $(quote "$word")"
  done
  # The pseudo-terminal neither turns LF into CR LF (-onlcr) nor echoes
  # the key (-echo), which might come before the tool turns echo off. The
  # key comes once the prompt is in out (and STAND_IN_DELAY has passed), or
  # after 30 s; then script's input ends.
  {
    i=0
    until grep -qF "$prompt" "$folder/out" 2>/dev/null ||
      [ $i -ge 300 ]; do
      sleep 0.1
      i=$((i + 1))
    done
    sleep "${STAND_IN_DELAY:-0}"
    printf x
  } | script -q -e -c "stty -onlcr -echo && $line" /dev/null \
    >"$folder/out"
  status=$?
fi
echo "$name exit $status" >>"$log"
exit "$status"
