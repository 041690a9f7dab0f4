#!/bin/sh
# Stands in for a terminal emulator in the tests of the hand-over. Linked
# under a terminal's name (xterm, konsole, kitty, ...) into a folder put first
# on PATH, it takes the command as a terminal of either form would: its words
# from /usr/bin/env on, or the last argument as one string (which it runs with
# sh -c), and checks that it is /usr/bin/env INIFIXER_HANDED_OVER_BY=PID.NAME
# /proc/PID/exe. It appends to the log one line, the name and each argument
# in brackets, the numbers written PID and N:
#   konsole [-e] [/usr/bin/env] [INIFIXER_HANDED_OVER_BY=PID.N] [/proc/PID/exe]
# which the tests compare with the words and the form of the tool's own table.
# Then, from a scratch folder of its own (as a terminal server would start
# it, elsewhere), it runs the command under a pseudo-terminal (util-linux
# script), writes the copy's console text, exactly as the tool wrote it, to
# out in the folder it was started in (the tool's; out.2 where out is there,
# from another window), ends the copy's key wait with a key once the prompt
# is there, and appends "NAME exit N" with the command's exit status, and
# "NAME left FILE" for each file that the command left in the scratch folder
# (a name run as a command would leave one). Another command gets "NAME
# broken convention" and exit status 2.
#
# Environment (NAMES: names separated by spaces, "all" for every name):
#   STAND_IN_LOG     the log (default: terminal.log in the current folder,
#                    which is the tool's)
#   STAND_IN_FAIL    NAMES that fail at once: log "NAME exit 1", status 1,
#                    nothing run (but see STAND_IN_LATE)
#   STAND_IN_IDLE    NAMES that end at once with status 0 and run nothing:
#                    log "NAME exit 0"
#   STAND_IN_LATE    NAMES that end at once (status 1 if they are in
#                    STAND_IN_FAIL, else 0; log "NAME exit N") and run the
#                    command 2 s later, in the background, as a terminal
#                    server would; then log "NAME late exit N"
#   STAND_IN_NO_PTY  NAMES that run the command directly, standard input
#                    on the null device, no terminal at all
#   STAND_IN_JOIN    NAMES that join the command's words with spaces into
#                    one string and run it with sh -c, as a running
#                    terminator instance does
#   STAND_IN_EXPAND  NAMES that replace each $VAR in the command's words by
#                    VAR's value where VAR is set, as konsole does
#   STAND_IN_STATUS  the status to end with after running the command
#                    (default: the command's), as mate-terminal always ends
#                    with 255
#   STAND_IN_DELAY   seconds between the prompt and the key (default 0), to
#                    be still running long after the tool has ended
set -u
# Its own tools come from the system, whatever PATH the tool was given; the
# command gets the PATH the tool gave.
path=${PATH-}
PATH=/usr/bin:/bin
name=$(basename "$0")
folder=$(pwd -P) || exit 2
log=${STAND_IN_LOG:-$folder/terminal.log}
# The last line of the tool's exit prompt.
prompt=$(python3 "$(dirname "$(readlink -f "$0")")/texts.py" prompt |
  tail -n 1) || exit 2

. "$(dirname "$(readlink -f "$0")")/quote.sh"

# Whether this name is in the list $1.
listed() {
  case " $1 " in
    *" $name "* | *" all "*) return 0 ;;
  esac
  return 1
}

# $1 with each $VAR replaced by VAR's value, where VAR is set.
expand() {
  printf '%s' "$1" | awk 'BEGIN { RS = "\001" } {
    out = ""; s = $0
    while (match(s, /\$[A-Za-z_][A-Za-z0-9_]*/)) {
      var = substr(s, RSTART + 1, RLENGTH - 1)
      out = out substr(s, 1, RSTART - 1) \
        (var in ENVIRON ? ENVIRON[var] : substr(s, RSTART, RLENGTH))
      s = substr(s, RSTART + RLENGTH)
    }
    printf "%s", out s
  }'
}

# The words before the command, then the command: its words from
# /usr/bin/env on, or the last argument as one string.
line=$name joined=""
while [ $# -gt 1 ] && [ "$1" != /usr/bin/env ]; do
  line="$line [$1]"
  shift
done
[ $# -eq 1 ] && joined=$1 && set -f && set -- $1
marker=${2-}
marker=${marker#INIFIXER_HANDED_OVER_BY=}
pid=${marker%.*} digits=${marker#*.}
case $pid in '' | *[!0-9]*) pid="" ;; esac
case $digits in [0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f]) ;; *) pid="" ;; esac
if [ $# -ne 3 ] || [ "$1" != /usr/bin/env ] || [ -z "$pid" ] ||
  [ "$2" != "INIFIXER_HANDED_OVER_BY=$pid.$digits" ] ||
  [ "$3" != "/proc/$pid/exe" ] ||
  { [ -n "$joined" ] && [ "$joined" != "$*" ]; }; then
  { printf '%s' "$line" && printf ' [%s]' "$@" && echo &&
    echo "$name broken convention"; } >>"$log"
  exit 2
fi
command="[/usr/bin/env] [INIFIXER_HANDED_OVER_BY=PID.N] [/proc/PID/exe]"
[ -n "$joined" ] && command=$(echo "$command" | sed 's/\] \[/ /g')
echo "$line $command" >>"$log" || exit 2

if listed "${STAND_IN_EXPAND:-}"; then
  set -- "$(expand "$1")" "$(expand "$2")" "$(expand "$3")"
fi
if listed "${STAND_IN_JOIN:-}" || [ -n "$joined" ]; then
  set -- /bin/sh -c "$*"
fi

# Runs the command from a scratch folder, writes its console text to out
# (out.2 after another window's) and its status to the log, after $when (""
# or "late ").
run() {
  here=$(mktemp -d) && cd "$here" || exit 2
  screen=$folder/out
  [ -e "$screen" ] && screen=$folder/out.2
  if listed "${STAND_IN_NO_PTY:-}"; then
    PATH=$path "$@" </dev/null >"$screen"
    status=$?
  else
    # The command once more as one line for script's shell, each word
    # quoted.
    line="export PATH=$(quote "$path") && exec $(quote "$@")"
    # The pseudo-terminal neither turns LF into CR LF (-onlcr) nor echoes
    # the key (-echo), which might come before the tool turns echo off. The
    # key comes once the prompt is in out (and STAND_IN_DELAY has passed),
    # or after 30 s; then script's input ends. A command that ended without
    # a prompt gets none.
    {
      i=0
      until grep -qF "$prompt" "$screen" 2>/dev/null ||
        [ -e "$here.status" ] || [ $i -ge 300 ]; do
        sleep 0.1
        i=$((i + 1))
      done
      sleep "${STAND_IN_DELAY:-0}"
      printf x
    } | {
      script -q -e -c "stty -onlcr -echo && $line" /dev/null >"$screen"
      echo $? >"$here.status"
    }
    status=$(cat "$here.status")
    rm -f "$here.status"
  fi
  {
    echo "$name ${when}exit ${STAND_IN_STATUS:-$status}"
    ls -A "$here" | sed "s/^/$name left /"
  } >>"$log"
  cd / && rm -rf "$here"
}

if listed "${STAND_IN_LATE:-}"; then
  status=0
  listed "${STAND_IN_FAIL:-}" && status=1
  echo "$name exit $status" >>"$log"
  # Apart from whatever waits for this process to end.
  (sleep 2 && when="late " run "$@") </dev/null >/dev/null 2>&1 &
  exit "$status"
fi
if listed "${STAND_IN_FAIL:-}"; then
  echo "$name exit 1" >>"$log"
  exit 1
fi
if listed "${STAND_IN_IDLE:-}"; then
  echo "$name exit 0" >>"$log"
  exit 0
fi
when="" run "$@"
exit "${STAND_IN_STATUS:-$status}"
