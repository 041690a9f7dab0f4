#!/bin/sh
# Runs COMMAND (the tool) in the current folder as a file manager starts it
# on a double-click: no terminal, its standard streams on the null device, a
# graphical session (Xvfb) and one real terminal emulator on PATH. The tool
# must open the terminal's window and repair the archive in it; a key sent
# to the window must end the run and close the window. Exits with the tool's
# status; the end-to-end table then compares the archive and the backup.
#
#   in_window.sh TERMINAL COMMAND...   (COMMAND an absolute path)
#
# TERMINAL is one of the tool's terminals: konsole, xterm, mate-terminal
# (which always ends with status 255, and needs a D-Bus session: it gets a
# session bus of its own), ... Needs
# Xvfb (xvfb), xdotool and the terminal, and dbus-daemon for mate-terminal;
# where one is missing or cannot start here, prints "skipped: REASON" and
# exits 77. Every wait has a limit, and the X server, the bus, the terminal
# and the scratch folder go on every exit.
set -u
terminal=$1
shift
game=$PWD xvfb_pid="" bus_pid="" terminal_pid="" starter="" dir=""

skip() {
  echo "skipped: $*"
  exit 77
}
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
# Whether process $1 has ended (a zombie nobody has reaped yet has).
ended() {
  [ ! -e "/proc/$1" ] ||
    [ "$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -c1)" = Z ]
}
cleanup() {
  if [ -n "$starter" ] && ! ended "$starter"; then
    kill "$starter"
  fi
  if [ -n "$terminal_pid" ] && ! ended "$terminal_pid"; then
    kill "$terminal_pid"
  fi
  if [ -n "$bus_pid" ]; then
    kill "$bus_pid" 2>/dev/null
    wait "$bus_pid"
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    within 5 ended "$xvfb_pid" || kill -KILL "$xvfb_pid"
    wait "$xvfb_pid"
  fi
  [ -z "$dir" ] || rm -rf "$dir"
}
# Runs COMMAND until it succeeds, every 0.1 s for at most $1 seconds.
within() {
  tries=$(($1 * 10))
  shift
  until "$@"; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || return 1
    sleep 0.1
  done
}
# The terminal's visible windows. xdotool fails when a window goes while it
# looks (BadWindow): then nothing is known, and this fails.
windows() {
  found=$(xdotool search --onlyvisible --class "$terminal" \
    2>"$dir/xdotool.log")
  [ $? -le 1 ] && [ ! -s "$dir/xdotool.log" ]
}
has_window() {
  windows && [ -n "$found" ]
}
no_window() {
  windows && [ -z "$found" ]
}
has_display() {
  [ -s "$dir/display" ] || ended "$xvfb_pid"
}
has_bus() {
  [ -s "$dir/bus" ] || ended "$bus_pid"
}
# The backup is made and the archive differs from it: the walk has fixed
# something, and the tool waits for its key once it has told so.
repaired() {
  [ -f "$game/Coalesced.ini.bak" ] &&
    ! cmp -s "$game/Coalesced.ini" "$game/Coalesced.ini.bak"
}

# A terminal that needs a D-Bus session bus gets one of its own. How the
# terminal takes a command is the tool's to know (its table), not this
# script's.
bus=""
[ "$terminal" = mate-terminal ] && bus=dbus-daemon
for program in Xvfb xdotool "$terminal" $bus; do
  command -v "$program" >/dev/null || skip "$program is not installed"
done
real=$(command -v "$terminal")
timeout=$(command -v timeout) setsid=$(command -v setsid)

dir=$(mktemp -d) || fail "no scratch folder"
trap cleanup EXIT
trap 'exit 2' HUP INT TERM
# The terminal keeps its settings and runtime files here, not in $HOME.
mkdir -m 700 "$dir/home" "$dir/runtime" "$dir/bin" || fail "no folders in $dir"

# An X server on a free display, which it writes to fd 3 once it is ready.
# Without -noreset it would reset each time its last client leaves (the
# probe below, each xdotool), and a terminal that connected meanwhile
# could not open its display.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$dir/display" \
  >"$dir/xvfb.log" 2>&1 &
xvfb_pid=$!
within 10 has_display && ! ended "$xvfb_pid" ||
  skip "Xvfb cannot start here: $(tail -n 3 "$dir/xvfb.log")"
DISPLAY=:$(cat "$dir/display")
export DISPLAY

# A session bus of its own for a terminal that needs one, which it writes
# the address of to fd 3 once it is ready.
address=""
if [ -n "$bus" ]; then
  dbus-daemon --session --nofork --print-address=3 3>"$dir/bus" \
    >"$dir/bus.log" 2>&1 &
  bus_pid=$!
  within 10 has_bus && ! ended "$bus_pid" ||
    skip "dbus-daemon cannot start here: $(tail -n 3 "$dir/bus.log")"
  address=DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$dir/bus")
fi

# The terminal and the tool get a minimal session, as a file manager's
# surroundings would be: no Wayland, nothing of the caller's desktop, and no
# session bus but the one above. First the terminal once, with no command:
# it must open a window (its shell's), which then goes.
session() {
  env -i HOME="$dir/home" XDG_RUNTIME_DIR="$dir/runtime" LANG=C.UTF-8 \
    DISPLAY="$DISPLAY" $address "$@"
}
session "$timeout" 60 "$real" </dev/null >"$dir/probe.log" 2>&1 &
starter=$!
within 30 has_window ||
  skip "$terminal cannot start here: $(tail -n 3 "$dir/probe.log")"
for window in $found; do
  xdotool getwindowpid "$window"
done >"$dir/probed" 2>/dev/null
xargs kill <"$dir/probed" 2>/dev/null
kill "$starter" 2>/dev/null
within 30 no_window || fail "the first $terminal window did not close"
wait "$starter"
starter=""

# Only the named terminal on PATH: /usr/bin holds x-terminal-emulator too.
ln -s "$real" "$dir/bin/$terminal" || fail "no link to $real"
# Started as a file manager starts it: no controlling terminal (setsid),
# the streams on the null device.
session PATH="$dir/bin" "$timeout" 60 "$setsid" -w "$@" \
  </dev/null >/dev/null 2>&1 &
starter=$!

within 30 has_window || fail "no $terminal window within 30 s"
window=$(echo "$found" | head -n 1)
terminal_pid=$(xdotool getwindowpid "$window") ||
  fail "no process for window $window (closed at once?)"
within 30 repaired || fail "the archive was not repaired within 30 s"
# The copy has titled its window after the tool.
titled() {
  title=$(xdotool getwindowname "$window" 2>/dev/null) &&
    case $title in *inifixer*) true ;; *) false ;; esac
}
within 10 titled || fail "the window is titled \"${title-}\", not inifixer"
echo "$terminal: the window is titled \"$title\""
# Time for the prompt to be drawn. The copy waits for the key, and so the
# window stays.
sleep 1
ended "$terminal_pid" && fail "the window closed before the key"
"$timeout" 10 xdotool windowfocus --sync "$window" key x ||
  fail "no key sent"
within 30 ended "$terminal_pid" ||
  fail "$terminal still runs 30 s after the key"
within 30 no_window || fail "a $terminal window is still open after it ended"
wait "$starter"
status=$?
starter=""
echo "$terminal: the window opened, repaired and closed on a key"
exit "$status"
