// The hand-over to a terminal emulator, on Linux. Started by a double-click,
// the tool has no terminal to show its report and take the key, so:
// - The tool listens on a Unix socket named by the system, and starts the
//   table's terminals in turn, each to run this executable with the marker
//   PID.NAME (its process id, the socket's name), until a copy asks for the
//   run; then it ends. At its limit it runs here, without a window.
// - The copy (the marker set) moves to its tool's folder, asks for the run.
// - The answer, a byte back, goes to the first copy that asks, to no other.
//   Whether a copy asked, not a terminal's status or timing, tells whether
//   the run was handed over. Each side deals only with processes of its own
//   user (SO_PEERCRED): any of them could do what the tool does anyway.
#include "platform.h"
#include "terminals_linux.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
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

// Set for the copy by the command a terminal runs. Not a setting.
constexpr char Marker[] = "INIFIXER_HANDED_OVER_BY";

// The tool waits WaitLimitS, from its first terminal's start, for a copy to
// ask (a first start on a slow machine takes seconds), then runs here and
// refuses a later copy; every StepMs it looks whether its terminal ended. A
// copy waits AnswerLimitS to reach its tool, then as long for the answer.
constexpr int WaitLimitS = 20, StepMs = 50, AnswerLimitS = 10;

// Whether the process has no terminal at all (no controlling terminal, and
// neither standard input nor output is one) but a graphical session.
bool NeedsAWindow() {
  const char* x = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (!(x && *x) && !(wayland && *wayland))
    return false;
  const int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (tty >= 0)
    close(tty);  // the terminal is there whether or not this succeeds
  return tty < 0 && !isatty(STDIN_FILENO) && !isatty(STDOUT_FILENO);
}

// Finds `name` as an executable regular file in the first folder on PATH
// that has one. Only absolute folders count: an empty or relative one would
// name the folder the tool was started in, the game's.
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

// A socket bound without a name gets one from the system: a 0 (abstract: no
// file), then 5 hex digits, which the marker carries as they are. The
// address and its length for such `digits`; 0 for anything else.
socklen_t AddressOf(const std::string& digits, sockaddr_un* address) {
  *address = {AF_UNIX, {}};
  if (digits.size() != 5 ||
      digits.find_first_not_of("0123456789abcdef") != digits.npos)
    return 0;
  digits.copy(address->sun_path + 1, 5);
  return sizeof(sa_family_t) + 6;
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

// The copy's side, `by` its marker: moves to the tool's folder, then asks,
// so that the tool, there meanwhile, grants only a copy that has moved. A
// byte back grants the run; the connection closed or reset unanswered
// refuses it; no tool answered when none is reached, or not in time.
HandOver AskForTheRun(const char* by) {
  char* dot;
  errno = 0;
  const long pid = std::strtol(by, &dot, 10);
  sockaddr_un address;
  const socklen_t length = *dot == '.' ? AddressOf(dot + 1, &address) : 0;
  const timeval limit = {AnswerLimitS, 0};
  const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  HandOver way = HandOver::NoToolAnswered;
  // The answer must come from the tool the marker names, not a stranger.
  if (!errno && pid > 0 && length > 0 &&
      setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) == 0 &&
      setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) == 0 &&
      connect(socket, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
      PeerOfThisUser(socket) == pid) {
    const std::string folder = "/proc/" + std::to_string(pid) + "/cwd";
    char byte = 'A';
    ssize_t got = -1;
    way = HandOver::CannotEnterFolder;
    if (chdir(folder.c_str()) == 0) {
      if (send(socket, &byte, 1, MSG_NOSIGNAL) == 1)
        while ((got = recv(socket, &byte, 1, 0)) < 0 && errno == EINTR) {
        }
      const bool late = got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
      way = got == 1 ? HandOver::RunHere
            : late   ? HandOver::CameTooLate
                     : HandOver::NoToolAnswered;
    }
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
// `deadline`: to a process of this user that sends its byte, the byte back.
// Closes whatever else connects. True once a copy has the grant.
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

// The tool's side: starts the terminals in order, each in a session of its
// own (out of reach of a hangup sent to the tool's once it ended), until a
// copy has the run (true). The terminal last started, while no copy asked:
// - fails if it cannot start, or ends with a status other than 0 or by a
//   signal: the next one is started, and its copy may still ask;
// - ends with 0, and may have handed its window to a server that starts the
//   copy later, or its end cannot be learned: no other is started;
// - its copy gets the run when it asks, whatever the terminal's status
//   (mate-terminal always ends with 255).
// False once the last one failed, or at the limit.
bool StartTerminals(int listener, const char* const* command) {
  timespec deadline;
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += WaitLimitS;
  const std::string joined =
      std::string(command[0]) + " " + command[1] + " " + command[2];
  for (const Terminal& terminal : Terminals) {
    std::string path;
    if (!FindOnPath(terminal.name, &path))
      continue;
    const char* argv[8] = {terminal.name};
    int n = 1;
    for (const char* word : terminal.before)
      if (word)
        argv[n++] = word;
    if (terminal.form == OneString)
      argv[n] = joined.c_str();
    else
      for (int i = 0; i < 3; ++i)
        argv[n + i] = command[i];
    pid_t watched = fork();
    if (watched == 0) {
      if (setsid() >= 0)
        execv(path.c_str(), const_cast<char* const*>(argv));
      _exit(127);
    }
    bool failed = watched < 0;
    while (!failed && Left(deadline) > 0) {
      pollfd ask = {listener, POLLIN, 0};
      poll(&ask, 1, Left(deadline) < StepMs ? Left(deadline) : StepMs);
      int status;
      const pid_t ended = watched > 0 ? waitpid(watched, &status, WNOHANG) : 0;
      // A copy that asked just before its terminal ended took the run.
      if (GrantToACopy(listener, deadline))
        return true;
      failed = ended > 0 && !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
      if (ended != 0)
        watched = 0;  // ended, or its end cannot be learned: watched no more
    }
    if (!failed)
      return false;
  }
  return false;
}

}  // namespace

HandOver HandOverToTerminal() {
  // A copy asks for the run before it does anything else but title its
  // window after the tool (the standard sequence; konsole, which ignores it,
  // gets a title format of its own), rather than after env or a shell.
  if (const char* by = std::getenv(Marker)) {
    static const char Title[] = "\x1B]2;inifixer\x07";
    if (isatty(STDOUT_FILENO) &&
        write(STDOUT_FILENO, Title, sizeof Title - 1) < 0) {
      // An untitled window is no reason to stop: the run goes on.
    }
    return AskForTheRun(by);
  }
  // Without a graphical session, as in scripts, no system call is made.
  if (!NeedsAWindow())
    return HandOver::RunHere;
  // The copy starts as this executable through /proc, which must be there.
  // The socket's name is picked by the system, unheld: nobody took it first.
  const std::string pid = std::to_string(getpid());
  const std::string exe = "/proc/" + pid + "/exe";
  struct stat st;
  sockaddr_un address = {AF_UNIX, {}};
  socklen_t length = sizeof address;
  auto* name = reinterpret_cast<sockaddr*>(&address);
  const int listener =
      socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  bool handed_over = false;
  // An ignored SIGCHLD, inherited from whatever started the tool, would
  // hide the terminal's exit status, and the terminal would inherit it.
  if (stat(exe.c_str(), &st) == 0 && listener >= 0 &&
      bind(listener, name, sizeof(sa_family_t)) == 0 &&
      getsockname(listener, name, &length) == 0 && listen(listener, 8) == 0 &&
      signal(SIGCHLD, SIG_DFL) != SIG_ERR) {
    const std::string digits(address.sun_path + 1, 5);
    const std::string marker = std::string(Marker) + "=" + pid + "." + digits;
    const char* const command[] = {"/usr/bin/env", marker.c_str(), exe.c_str()};
    handed_over = AddressOf(digits, &address) == length &&
                  StartTerminals(listener, command);
  }
  // Closed, the socket refuses every copy that asks from now on.
  if (listener >= 0)
    close(listener);
  return handed_over ? HandOver::HandedOver : HandOver::RunUnseen;
}
