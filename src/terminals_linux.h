// The terminal emulators that the Linux executable tries for its hand-over
// (handover_linux.cc): one table, which the tests read too.
#ifndef INIFIXER_TERMINALS_LINUX_H_
#define INIFIXER_TERMINALS_LINUX_H_

// The terminals tried, in order: the name, the words before the command that
// its documentation gives, and the command as words or as one string. The
// command, /usr/bin/env INIFIXER_HANDED_OVER_BY=PID.NAME /proc/PID/exe, holds
// no folder or file name, so it means the same however a terminal passes it
// on (konsole expands $VAR, a running terminator joins it for a shell); env
// sets the marker whatever environment the terminal passes on.
enum Form { Words, OneString };
struct Terminal {
  const char* name;
  const char* before[3];
  Form form;
};
inline constexpr Terminal Terminals[] = {
    {"xdg-terminal-exec", {}, Words},
    {"x-terminal-emulator", {"-e"}, Words},
    {"konsole", {"-p", "LocalTabTitleFormat=inifixer", "-e"}, Words},
    {"gnome-terminal", {"--"}, Words},
    {"ptyxis", {"--"}, Words},
    {"kgx", {"--"}, Words},
    {"xfce4-terminal", {"-x"}, Words},
    {"mate-terminal", {"-x"}, Words},
    {"qterminal", {"-e"}, Words},
    {"lxterminal", {"-e"}, OneString},
    {"io.elementary.terminal", {"-x"}, Words},
    {"deepin-terminal", {"-e"}, Words},
    {"tilix", {"-e"}, OneString},
    {"terminator", {"-x"}, Words},
    {"terminology", {"-e"}, OneString},
    {"alacritty", {"-e"}, Words},
    {"kitty", {}, Words},
    {"foot", {}, Words},
    {"wezterm", {"start", "--"}, Words},
    {"ghostty", {"-e"}, Words},
    {"sakura", {"-e"}, OneString},
    {"st", {"-e"}, Words},
    {"urxvt", {"-e"}, Words},
    {"xterm", {"-e"}, Words},
};

#endif  // INIFIXER_TERMINALS_LINUX_H_
