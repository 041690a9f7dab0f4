// The hand-over to a terminal emulator. Started by a double-click in a file
// manager or from a launcher, the tool has no terminal: nobody would see
// what it prints, and no key could end its wait. So it starts a terminal
// that runs the tool once more, in the same folder, and leaves the run to
// that copy.
#include "platform.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// Set by the command a terminal runs, for the copy it starts: a marked
// process never hands over, whatever its surroundings. Internal to the
// tool, between a run and its copy; not a setting.
#define INIFIXER_MARKER "INIFIXER_IN_TERMINAL"

namespace {

// What the terminal runs: /bin/sh with the folder as $1 and the tool as $2.
// The folder is handed over explicitly, since some terminals start their
// windows elsewhere (a terminal server, an instance already running).
const char Script[] =
    "cd -- \"$1\" && export " INIFIXER_MARKER "=1 && exec \"$2\"";

// The terminals tried, in this order, each with the option after which the
// command and its arguments follow (none: they follow the name).
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

// How long a terminal that was started may take to fail, in steps of
// 50 ms: about two seconds.
constexpr int WaitSteps = 40;

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

// Waits for `pid` to end, through interruptions.
void Reap(pid_t pid) {
  while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

// Starts the terminal at `path` with `argv`, and tells whether it took the
// run over: it is still running after about two seconds, or it ended with
// status 0 by then (as one does that hands its window to a server). One
// whose exec failed, or that ended with a failure by then, did not.
bool Start(const std::string& path, const char* const* argv) {
  // The child writes the exec's errno here; the exec closes it unwritten.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0)
    return false;
  const pid_t pid = fork();
  if (pid < 0) {
    close(report[0]);
    close(report[1]);
    return false;
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
    return false;
  }
  for (int step = 0; step < WaitSteps; ++step) {
    int status;
    const pid_t ended = waitpid(pid, &status, WNOHANG);
    if (ended == pid)
      return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    // Where the terminal's state cannot be had, it may be running the copy
    // already: no other is started.
    if (ended < 0 && errno != EINTR)
      return true;
    const timespec step_time = {0, 50 * 1000 * 1000};
    // Woken early by a signal, the step is only shorter.
    nanosleep(&step_time, nullptr);
  }
  return true;
}

}  // namespace

bool HandOverToTerminal() {
  // The environment first: without a graphical session, as in scripts and
  // the tests, the run makes no system call here.
  if (std::getenv(INIFIXER_MARKER) ||
      !(IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY")) || HasTerminal())
    return false;
  char folder[PATH_MAX];
  char exe[PATH_MAX];
  if (!getcwd(folder, sizeof folder))
    return false;
  const ssize_t length = readlink("/proc/self/exe", exe, sizeof exe);
  if (length <= 0 || length >= static_cast<ssize_t>(sizeof exe))
    return false;
  exe[length] = '\0';
  // An ignored SIGCHLD, inherited from whatever started the tool, would
  // hide the terminal's exit status, and the terminal would inherit it.
  if (signal(SIGCHLD, SIG_DFL) == SIG_ERR)
    return false;
  for (const auto& terminal : Terminals) {
    std::string path;
    if (!FindOnPath(terminal[0], &path))
      continue;
    const char* argv[9];
    int n = 0;
    argv[n++] = terminal[0];
    if (terminal[1])
      argv[n++] = terminal[1];
    for (const char* word : {"/bin/sh", "-c", Script, "sh"})
      argv[n++] = word;
    argv[n++] = folder;
    argv[n++] = exe;
    argv[n] = nullptr;
    if (Start(path, argv))
      return true;
  }
  return false;
}
