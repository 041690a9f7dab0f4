// The hand-over to a terminal emulator, on Linux. Started by a double-click
// in a file manager, the tool has no terminal: nobody would see what it
// prints, and no key could end its wait. So it starts a terminal that runs
// the tool once more, and grants the run to that copy over a Unix socket,
// to one copy at most: whether a copy asked, not a terminal's exit status
// or timing, tells whether the run was taken over. Each side deals only with
// processes of its own user (SO_PEERCRED), the boundary: any process of the
// user could do what the tool does anyway.
#include "platform.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sstream>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Set by the command a terminal runs, for the copy, to PID.NUMBER: the tool's
// process id and the number of the socket it listens on. A marked process
// asks that tool for the run, never hands over itself. Not a setting.
constexpr char Marker[] = "INIFIXER_HANDED_OVER_BY";

// The terminals tried, in this order, each as its documentation gives it a
// command: the name and up to two words before the command, whose words
// follow or, where "" stands, the command as one string. The command is
// always /usr/bin/env INIFIXER_HANDED_OVER_BY=PID.NUMBER /proc/PID/exe: no
// name, neither the folder's nor the executable's, only numbers and fixed
// paths, so it means the same however a terminal passes it on (konsole
// expands $VAR, a running terminator joins the words for a shell). env sets
// the marker in the terminal, so that the copy gets it whatever environment
// the terminal passes on (a terminal server's, say).
const char Terminals[] =
    "xdg-terminal-exec; x-terminal-emulator -e; konsole -e; "
    "gnome-terminal --; ptyxis --; kgx --; xfce4-terminal -x; "
    "mate-terminal -x; qterminal -e; lxterminal -e \"\"; "
    "io.elementary.terminal -x; deepin-terminal -e; tilix -e \"\"; "
    "terminator -x; terminology -e \"\"; alacritty -e; kitty; foot; "
    "wezterm start --; ghostty -e; sakura -x; st -e; urxvt -e; xterm -e";

// How long the tool waits, from the start of its first terminal, for a
// copy to ask. A terminal's first start on a slow machine, or its server's,
// takes seconds, and a terminal may end before its copy asks. Past it, the
// tool stops listening and runs in place, without a window: a double-click
// never ends with nothing done, and a later copy is refused: one run.
constexpr int WaitLimitS = 20;

// How often the tool looks whether the terminal it started has ended.
constexpr int StepMs = 50;

// How long a copy waits to reach its tool, then for the answer: the tool
// answers at once, a stopped tool or another listener may never.
constexpr int AnswerLimitS = 10;

// Whether the process has no terminal at all (no controlling terminal, and
// neither standard input nor output is one) but a graphical session.
bool NeedsAWindow() {
  const char* x = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (!(x && *x) && !(wayland && *wayland))
    return false;
  const int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  // The terminal is there whether or not this close succeeds.
  if (tty >= 0)
    close(tty);
  return tty < 0 && !isatty(STDIN_FILENO) && !isatty(STDOUT_FILENO);
}

// Finds `name` as an executable regular file in a folder on PATH, the
// first that has one. Only absolute folders count: an empty or relative
// one would name the folder the tool was started in, the game's.
bool FindOnPath(const char* name, std::string* found) {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path ? path : "");
  for (std::string folder; std::getline(folders, folder, ':');) {
    *found = folder + "/" + name;
    struct stat st;
    if (folder[0] == '/' && stat(found->c_str(), &st) == 0 &&
        S_ISREG(st.st_mode) && access(found->c_str(), X_OK) == 0)
      return true;
  }
  return false;
}

// A socket bound without a name gets one of NameLength bytes, 5 hex digits
// after a 0 (abstract namespace: no file); AddressOf makes socket `number`'s.
constexpr socklen_t NameLength = sizeof(sa_family_t) + 6;
socklen_t AddressOf(long number, sockaddr_un* address) {
  *address = {AF_UNIX, {}};
  std::snprintf(address->sun_path + 1, 6, "%05lx", number & 0xfffff);
  return NameLength;
}

// The process at the other end of the connected `socket`, when it belongs
// to this user; -1 otherwise. Any process may use an abstract name.
pid_t PeerOfThisUser(int socket) {
  ucred peer;
  socklen_t size = sizeof peer;
  if (getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 ||
      size != sizeof peer || peer.uid != getuid() || peer.pid <= 0)
    return -1;
  return peer.pid;
}

// For a copy, whose marker `by` names the tool that started its terminal:
// moves to that tool's folder, then asks it for the run, so that the tool,
// there while the copy moves, grants the run only to a copy that has moved.
// Each wait has a limit from the socket's first call on: the connect waits
// while the listener's queue is full, the receive until the answer.
HandOver AskForTheRun(const char* by) {
  char* end;
  errno = 0;
  const long pid = std::strtol(by, &end, 10);
  const long number = *end == '.' ? std::strtol(end + 1, &end, 10) : -1;
  sockaddr_un address;
  const socklen_t length = AddressOf(number, &address);
  const timeval limit = {AnswerLimitS, 0};
  const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  HandOver way = HandOver::NoToolAnswered;
  // The answer must come from the tool the marker names, not a stranger.
  if (!errno && pid > 0 && number >= 0 && number <= 0xfffff && !*end &&
      setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) == 0 &&
      setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) == 0 &&
      connect(socket, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
      PeerOfThisUser(socket) == pid) {
    const std::string folder = "/proc/" + std::to_string(pid) + "/cwd";
    char byte = 'A';
    ssize_t got = -1;
    way = HandOver::CannotEnterFolder;
    if (chdir(folder.c_str()) == 0) {
      way = HandOver::CameTooLate;
      if (send(socket, &byte, 1, MSG_NOSIGNAL) == 1)
        while ((got = recv(socket, &byte, 1, 0)) < 0 && errno == EINTR) {
        }
    }
    // The grant is a byte back; closed unanswered, the copy is refused.
    if (got == 1)
      way = HandOver::RunHere;
  }
  if (socket >= 0)
    close(socket);
  return way;
}

// Milliseconds left until `deadline` (CLOCK_MONOTONIC), 0 once it passed.
int Left(const timespec& deadline) {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  const long left = (deadline.tv_sec - now.tv_sec) * 1000 +
                    (deadline.tv_nsec - now.tv_nsec) / 1000000;
  return left > 0 ? static_cast<int>(left) : 0;
}

// Grants the run to the first copy that asks on `listener` before
// `deadline`: a process of this user that sends its ask. Refuses (closes)
// whatever else connects. True once a copy has the grant.
bool GrantToACopy(int listener, const timespec& deadline) {
  while (Left(deadline) > 0) {
    const int asker = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (asker < 0 && (errno == EINTR || errno == ECONNABORTED))
      continue;
    if (asker < 0)
      return false;  // nobody else waits (EAGAIN), or the socket failed
    pollfd ask = {asker, POLLIN, 0};
    char byte;
    // A copy gone meanwhile must not end this process (SIGPIPE).
    const bool granted = PeerOfThisUser(asker) > 0 &&
                         poll(&ask, 1, Left(deadline)) == 1 &&
                         recv(asker, &byte, 1, MSG_DONTWAIT) == 1 &&
                         send(asker, &byte, 1, MSG_NOSIGNAL) == 1;
    close(asker);
    if (granted)
      return true;
  }
  return false;
}

// Starts the terminal at `path` with `argv` in a session of its own, out of
// reach of what the tool's starter may send the tool's session once the tool
// ended (a hangup). Its process id; a failed exec ends it with status 127.
pid_t Start(const std::string& path, const char* const* argv) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (setsid() >= 0)
      execv(path.c_str(), const_cast<char* const*>(argv));
    _exit(127);
  }
  return pid;
}

// Tries the terminals in their order, each given the three words of
// `command`, until a copy one of them runs was granted the run over
// `listener`: true. False once the last failed, or at the wait's limit.
bool StartTerminals(int listener, const char* const* command) {
  timespec deadline;
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += WaitLimitS;
  const std::string joined =
      std::string(command[0]) + " " + command[1] + " " + command[2];
  std::istringstream list(Terminals);
  for (std::string words; std::getline(list >> std::ws, words, ';');) {
    // Its words, each ended by a 0, then the command's.
    std::replace(words.begin(), words.end(), ' ', '\0');
    const char* argv[7] = {};
    int n = 0;
    for (size_t at = 0; at < words.size(); at += std::strlen(&words[at]) + 1)
      argv[n++] = std::strcmp(&words[at], "\"\"") ? &words[at] : joined.c_str();
    if (argv[n - 1] != joined.c_str())
      std::copy(command, command + 3, argv + n);
    std::string path;
    if (!FindOnPath(argv[0], &path))
      continue;
    // One that cannot start, or ends with a failure before its copy asks,
    // leaves the run to the next; its copy may still ask meanwhile.
    pid_t watched = Start(path, argv);
    bool failed = watched < 0;
    for (int left; !failed && (left = Left(deadline)) > 0;) {
      pollfd ask = {listener, POLLIN, 0};
      poll(&ask, 1, std::min(left, StepMs));
      int status;
      const pid_t ended = watched > 0 ? waitpid(watched, &status, WNOHANG) : 0;
      // A copy that asked just before its terminal ended took the run.
      if (GrantToACopy(listener, deadline))
        return true;
      failed = ended > 0 && !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
      // One that ended with status 0 may have handed its window to a server
      // that starts the copy later, and one whose state cannot be had may be
      // running it: watched no more, it is the last terminal started.
      if (ended != 0)
        watched = 0;
    }
    if (!failed)
      return false;
  }
  return false;
}

// Has `listener` listen on a name that the system picks among those no
// socket holds (bound without one, a socket gets one), so that no other
// process can have taken it first. The name's number; -1 on failure.
long Listen(int listener) {
  sockaddr_un address = {AF_UNIX, {}};
  socklen_t length = sizeof address;
  auto* name = reinterpret_cast<sockaddr*>(&address);
  if (bind(listener, name, sizeof(sa_family_t)) != 0 ||
      getsockname(listener, name, &length) != 0 || length != NameLength ||
      listen(listener, 8) != 0)
    return -1;
  return std::strtol(address.sun_path + 1, nullptr, 16);
}

}  // namespace

HandOver HandOverToTerminal() {
  // A copy asks for the run before it does anything else.
  if (const char* by = std::getenv(Marker))
    return AskForTheRun(by);
  // Without a graphical session, as in scripts, no system call is made.
  if (!NeedsAWindow())
    return HandOver::RunHere;
  // The copy starts as this executable through /proc, which must be there.
  const std::string pid = std::to_string(getpid());
  const std::string exe = "/proc/" + pid + "/exe";
  struct stat st;
  const int listener =
      socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  const long number =
      stat(exe.c_str(), &st) == 0 && listener >= 0 ? Listen(listener) : -1;
  bool handed_over = false;
  // An ignored SIGCHLD, inherited from whatever started the tool, would
  // hide the terminal's exit status, and the terminal would inherit it.
  if (number >= 0 && signal(SIGCHLD, SIG_DFL) != SIG_ERR) {
    const std::string marker =
        std::string(Marker) + "=" + pid + "." + std::to_string(number);
    const char* const command[] = {"/usr/bin/env", marker.c_str(), exe.c_str()};
    handed_over = StartTerminals(listener, command);
  }
  // Closed, the socket refuses every copy that asks from now on.
  if (listener >= 0)
    close(listener);
  return handed_over ? HandOver::HandedOver : HandOver::RunHere;
}
