// The hand-over to a terminal emulator. Started by a double-click in a file
// manager or from a launcher, the tool has no terminal: nobody would see
// what it prints, and no key could end its wait. So it starts a terminal
// that runs the tool once more, and leaves the run to that copy.
//
// The copy runs only once the tool that started its terminal has granted it
// the run, over a Unix socket that the two alone use. The tool grants one
// copy at most, and with the grant passes its folder as an open descriptor:
// no name, neither the folder's nor the executable's, goes into the command
// a terminal gets, which some terminals expand or hand to a shell as one
// string. Whether a copy asked, not a terminal's exit status or timing,
// tells whether the run was taken over.
#include "platform.h"

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "console.h"
#include "run/run.h"

// Set by the command a terminal runs, for the copy it starts, to the
// process id of the tool that asks for the copy: a marked process asks that
// tool for the run and never hands over itself. Internal to the tool,
// between a run and its copy; not a setting.
#define INIFIXER_MARKER "INIFIXER_HANDED_OVER_BY"

namespace {

// The terminals tried, in this order, each with the option after which the
// command and its arguments follow (none: they follow the name). The
// command is the same for all: /usr/bin/env INIFIXER_HANDED_OVER_BY=PID
// /proc/PID/exe, PID this process's id. It has nothing but numbers in it,
// so it means the same however a terminal passes it on, joined into one
// string for a shell included; the copy is this very executable, whatever
// its name. The marker is set by env, inside the terminal, so that it
// reaches the copy whatever environment the terminal passes on (a terminal
// server's, say).
const char* const Terminals[][2] = {
    {"xdg-terminal-exec", nullptr},
    {"x-terminal-emulator", "-e"},
    {"konsole", "-e"},
    {"gnome-terminal", "--"},
    {"xfce4-terminal", "-x"},
    {"mate-terminal", "-x"},
    {"terminator", "-x"},
    {"alacritty", "-e"},
    {"kitty", nullptr},
    {"foot", nullptr},
    {"urxvt", "-e"},
    {"xterm", "-e"},
};

// How long the tool waits, from the start of its first terminal, for a
// copy to ask: 20 s. A terminal's first start on a slow machine, or through
// a terminal server that has to start first, takes seconds, and a terminal
// may end before its copy asks. Past this time the tool stops listening and
// runs in place, without a window: a double-click never ends with nothing
// done, and a copy that asks later is refused, so that there is one run.
constexpr int WaitLimitS = 20;

// How often the tool looks whether the terminal it started has ended.
constexpr int StepMs = 50;

// How long a copy waits for the answer to its ask. The tool answers at
// once; this only keeps a copy whose tool was stopped from waiting for
// ever.
constexpr int AnswerLimitS = 10;

// What a copy that is refused the run says in its window.
const char Refused[] =
    "This window came too late: the inifixer that opened it has left the "
    "repair\nto another window, or made it without a window. Nothing was "
    "changed from here.\n";

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

// Whether the process has a controlling terminal, or a terminal on standard
// input or output.
bool HasTerminal() {
  const int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (tty < 0)
    return isatty(STDIN_FILENO) || isatty(STDOUT_FILENO);
  // The terminal is there whether or not this close succeeds.
  close(tty);
  return true;
}

// Finds `name` as an executable regular file in a folder on PATH, the
// first that has one. Only absolute folders count: an empty or relative
// one would name the folder the tool was started in, the game's.
bool FindOnPath(const char* name, std::string* found) {
  const char* entry = std::getenv("PATH");
  while (entry && *entry) {
    const char* end = std::strchr(entry, ':');
    if (!end)
      end = entry + std::strlen(entry);
    if (*entry == '/') {
      *found = std::string(entry, end) + "/" + name;
      struct stat st;
      if (stat(found->c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
          access(found->c_str(), X_OK) == 0)
        return true;
    }
    entry = *end ? end + 1 : end;
  }
  return false;
}

// The address the tool with process id `pid` listens on for its copy: a
// name in the abstract namespace, which leaves no file behind.
socklen_t AddressOf(long pid, sockaddr_un* address) {
  *address = {};
  address->sun_family = AF_UNIX;
  // sun_path[0] stays 0: the abstract namespace.
  const int length = std::snprintf(
      address->sun_path + 1, sizeof address->sun_path - 1, "inifixer-%ld", pid);
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 +
                                static_cast<size_t>(length));
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

// Whether process `pid` runs this very executable file.
bool RunsThisTool(pid_t pid) {
  const std::string exe = "/proc/" + std::to_string(pid) + "/exe";
  struct stat theirs, mine;
  return stat(exe.c_str(), &theirs) == 0 &&
         stat("/proc/self/exe", &mine) == 0 && theirs.st_dev == mine.st_dev &&
         theirs.st_ino == mine.st_ino;
}

// The grant, as it is sent and received: the one byte `data` holds, and in
// `control` (`room` bytes) the folder's descriptor beside it.
msghdr GrantMessage(iovec* data, char* control, size_t room) {
  msghdr message = {};
  message.msg_iov = data;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = room;
  return message;
}

// For a copy, which `by`, the marker's value, tells which tool to ask:
// asks that tool for the run, and on the grant moves to the folder the
// tool passed with it. False when the copy cannot ask, is refused or
// cannot move there: it must then touch no file.
bool AskForTheRun(const char* by) {
  char* end;
  errno = 0;
  const long pid = std::strtol(by, &end, 10);
  if (errno || end == by || *end || pid <= 0)
    return false;
  const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (socket < 0)
    return false;
  sockaddr_un address;
  const socklen_t length = AddressOf(pid, &address);
  const timeval limit = {AnswerLimitS, 0};
  int connected;
  while ((connected = connect(socket, reinterpret_cast<sockaddr*>(&address),
                              length)) != 0 &&
         errno == EINTR) {
  }
  // The answer must come from the tool that the marker names, not from
  // whatever took its name.
  bool granted =
      connected == 0 && PeerOfThisUser(socket) == pid &&
      setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) == 0;
  int folder = -1;
  if (granted) {
    char byte;
    iovec data = {&byte, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    msghdr message = GrantMessage(&data, control, sizeof control);
    ssize_t got;
    while ((got = recvmsg(socket, &message, MSG_CMSG_CLOEXEC)) < 0 &&
           errno == EINTR) {
    }
    const cmsghdr* passed = got == 1 ? CMSG_FIRSTHDR(&message) : nullptr;
    if (passed && passed->cmsg_level == SOL_SOCKET &&
        passed->cmsg_type == SCM_RIGHTS &&
        passed->cmsg_len == CMSG_LEN(sizeof(int)))
      std::memcpy(&folder, CMSG_DATA(passed), sizeof folder);
    granted =
        folder >= 0 && !(message.msg_flags & MSG_CTRUNC) && fchdir(folder) == 0;
  }
  if (folder >= 0)
    close(folder);
  close(socket);
  return granted;
}

// Grants the run to the first copy that asks on `listener`, passing it
// `folder`, and refuses (closes) whatever else asks. True once a copy has
// the grant; false when none asked, or none could be granted.
bool GrantToACopy(int listener, int folder) {
  for (;;) {
    const int asker = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (asker < 0) {
      if (errno == EINTR || errno == ECONNABORTED)
        continue;
      return false;  // nobody else waits (EAGAIN), or the socket failed
    }
    const pid_t peer = PeerOfThisUser(asker);
    bool granted = false;
    if (peer > 0 && RunsThisTool(peer)) {
      char byte = 'G';
      iovec data = {&byte, 1};
      alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
      msghdr message = GrantMessage(&data, control, sizeof control);
      cmsghdr* passed = CMSG_FIRSTHDR(&message);
      passed->cmsg_level = SOL_SOCKET;
      passed->cmsg_type = SCM_RIGHTS;
      passed->cmsg_len = CMSG_LEN(sizeof(int));
      std::memcpy(CMSG_DATA(passed), &folder, sizeof folder);
      // A copy that has gone meanwhile must not end this process
      // (SIGPIPE): the send fails, and the next copy may ask.
      ssize_t sent;
      while ((sent = sendmsg(asker, &message, MSG_NOSIGNAL)) < 0 &&
             errno == EINTR) {
      }
      granted = sent == 1;
    }
    // The copy has what it needs; closed unanswered, it is refused.
    close(asker);
    if (granted)
      return true;
  }
}

// Waits for `pid` to end, through interruptions.
void Reap(pid_t pid) {
  while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

// Starts the terminal at `path` with `argv`, in a session of its own. Its
// process id; -1 where it could not be started.
pid_t Start(const std::string& path, const char* const* argv) {
  // The child writes the exec's errno here; the exec closes it unwritten.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0)
    return -1;
  const pid_t pid = fork();
  if (pid < 0) {
    close(report[0]);
    close(report[1]);
    return -1;
  }
  if (pid == 0) {
    // A session of its own: what the tool's starter may send the tool's
    // process group or session once the tool has ended, a hangup say, does
    // not reach the terminal.
    if (setsid() >= 0)
      execv(path.c_str(), const_cast<char* const*>(argv));
    const int error = errno;
    // Should this write fail as well, the exit status tells of the failure.
    while (write(report[1], &error, sizeof error) < 0 && errno == EINTR) {
    }
    _exit(127);
  }
  close(report[1]);
  int error;
  ssize_t got;
  while ((got = read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  if (got > 0) {
    // The exec failed, and the child ends at once.
    Reap(pid);
    return -1;
  }
  return pid;
}

// Milliseconds left until `deadline` (CLOCK_MONOTONIC), 0 once it passed.
long Left(const timespec& deadline) {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  const long left = (deadline.tv_sec - now.tv_sec) * 1000 +
                    (deadline.tv_nsec - now.tv_nsec) / 1000000;
  return left > 0 ? left : 0;
}

enum class Waited { Granted, Failed, Ended, TimedOut };

// Grants the run to the first copy that asks on `listener` before
// `deadline`, while watching the terminal `terminal` (none: -1). Granted
// once a copy has it; Failed when the terminal ended with a failure before
// any copy asked, Ended when it ended with status 0; TimedOut at the
// deadline.
Waited WaitForACopy(int listener, int folder, pid_t terminal,
                    const timespec& deadline) {
  for (;;) {
    const long left = Left(deadline);
    if (left == 0)
      return Waited::TimedOut;
    pollfd ask = {listener, POLLIN, 0};
    // Woken early by a signal, the step is only shorter.
    poll(&ask, 1, static_cast<int>(left < StepMs ? left : StepMs));
    if (GrantToACopy(listener, folder))
      return Waited::Granted;
    if (terminal < 0)
      continue;
    int status;
    const pid_t ended = waitpid(terminal, &status, WNOHANG);
    if (ended == terminal) {
      // A copy that asked just before its terminal ended took the run.
      if (GrantToACopy(listener, folder))
        return Waited::Granted;
      return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? Waited::Ended
                                                           : Waited::Failed;
    }
    // Where the terminal's state cannot be had, it may be running the copy
    // already: it is taken for one still running.
    if (ended < 0 && errno != EINTR)
      terminal = -1;
  }
}

// Tries the terminals in their order, each given `argv`'s command after
// its own name and option, until a copy that one of them runs has been
// granted the run over `listener`. True then; false when no copy asked
// before the last terminal ended with a failure, or before the wait's
// limit.
bool StartTerminals(int listener, int folder, const char* const* command) {
  timespec deadline;
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += WaitLimitS;
  for (const auto& terminal : Terminals) {
    std::string path;
    if (!FindOnPath(terminal[0], &path))
      continue;
    const char* argv[6];
    int n = 0;
    argv[n++] = terminal[0];
    if (terminal[1])
      argv[n++] = terminal[1];
    for (const char* const* word = command; *word; ++word)
      argv[n++] = *word;
    argv[n] = nullptr;
    const pid_t pid = Start(path, argv);
    // One that cannot start, or ends with a failure before its copy asks,
    // leaves the run to the next; its copy may still ask meanwhile.
    if (pid < 0)
      continue;
    switch (WaitForACopy(listener, folder, pid, deadline)) {
      case Waited::Granted:
        return true;
      case Waited::Failed:
        continue;
      case Waited::Ended:
        // It may have handed its window to a server that starts the copy
        // later: no other terminal is started meanwhile.
        return WaitForACopy(listener, folder, -1, deadline) == Waited::Granted;
      case Waited::TimedOut:
        return false;
    }
  }
  return false;
}

// Tells the copy's player that this copy was refused, and ends.
[[noreturn]] void EndRefused() {
  IgnoreClosedPipes();
  StartConsole();
  std::cout << Refused;
  ExitAfterKeypress();
}

}  // namespace

bool HandOverToTerminal() {
  // A copy asks for the run before it does anything else.
  if (const char* by = std::getenv(INIFIXER_MARKER)) {
    if (!AskForTheRun(by))
      EndRefused();
    return false;
  }
  // The environment first: without a graphical session, as in scripts and
  // the tests, the run makes no system call here.
  if (!(IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY")) || HasTerminal())
    return false;
  // The copy starts as this process's executable, through /proc: without
  // it, no copy could start.
  const std::string pid = std::to_string(getpid());
  const std::string exe = "/proc/" + pid + "/exe";
  const std::string marker = INIFIXER_MARKER "=" + pid;
  struct stat st;
  if (stat(exe.c_str(), &st) != 0)
    return false;
  // The folder, for the copy; O_PATH opens one that may not be listed too.
  const int folder = open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0)
    return false;
  const int listener =
      socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  sockaddr_un address;
  const socklen_t length = AddressOf(getpid(), &address);
  bool handed_over = false;
  // An ignored SIGCHLD, inherited from whatever started the tool, would
  // hide the terminal's exit status, and the terminal would inherit it.
  if (listener >= 0 &&
      bind(listener, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
      listen(listener, 8) == 0 && signal(SIGCHLD, SIG_DFL) != SIG_ERR) {
    const char* const command[] = {"/usr/bin/env", marker.c_str(), exe.c_str(),
                                   nullptr};
    handed_over = StartTerminals(listener, folder, command);
  }
  // Closed, the socket refuses every copy that asks from now on.
  if (listener >= 0)
    close(listener);
  close(folder);
  return handed_over;
}
