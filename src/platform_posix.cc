#include "platform.h"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

bool OpenStandardStreams() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
      continue;
    // The lower descriptors are open by now, so this open takes `fd`.
    const int opened = open("/dev/null", O_RDWR);
    if (opened != fd) {
      if (opened >= 0)
        close(opened);
      return false;
    }
  }
  return true;
}

// POSIX standard output translates nothing.
void SetBinaryStandardOutput() {}

const char LineBreak[] = "\n";

void IgnoreClosedPipes() {
  signal(SIGPIPE, SIG_IGN);
}

// Runs of the tool keep out of each other's way through an advisory lock
// (flock) on their folder: it keeps out only those who take it too, and only
// the tool does; the files themselves stay open to everyone. A lock on the
// archive would not do: on SMB mounts flock on a file is a mandatory lock on
// the whole file, which would fail the backup's own second opening of the
// archive. The folder's descriptor is never closed, so the lock lasts until
// the process ends.
bool KeepOtherRunsOut() {
  const int folder = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0 || flock(folder, LOCK_EX | LOCK_NB) == 0)
    return true;
  const bool taken = errno == EWOULDBLOCK;
  // The descriptor is gone whether or not this close succeeds.
  close(folder);
  return !taken;
}

FILE* OpenFileUnshared(const char* path, const char* mode) {
  return fopen(path, mode);
}

bool SeekFile(FILE* file, int64_t offset) {
  static_assert(sizeof(off_t) >= 8, "build with 64-bit file offsets");
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool IsRegularFile(FILE* file) {
  struct stat st;
  return fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsSpecialFile(const char* path) {
  struct stat st;
  if (stat(path, &st) != 0)
    return errno != ENOENT;  // absent, or a link to nothing, is no harm
  return !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

bool IsLink(const char* path) {
  struct stat st;
  return lstat(path, &st) == 0 &&
         (S_ISLNK(st.st_mode) || (S_ISREG(st.st_mode) && st.st_nlink > 1));
}

bool IsSameFile(const char* a, const char* b) {
  struct stat first, second;
  return stat(a, &first) == 0 && stat(b, &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

namespace {

// Has the system write what `fd`, just opened, leads to to the disk, and
// closes it. False when the open, the flush or the close failed; a flush
// that fails with `unsupported` counts as done.
bool SyncAndClose(int fd, int unsupported = 0, int64_t length = -1) {
  if (fd < 0)
    return false;
  bool synced = fsync(fd) == 0 || (unsupported && errno == unsupported);
  struct stat st;
  if (length >= 0)
    synced = synced && fstat(fd, &st) == 0 && st.st_size == length;
  return close(fd) == 0 && synced;
}

}  // namespace

bool SyncFileToDisk(const char* path, int64_t length) {
  return SyncAndClose(open(path, O_WRONLY), 0, length);
}

// Some file systems cannot flush a directory at all (EINVAL): there is
// nothing to wait for there, and no failure either.
bool SyncDirectoryToDisk(const char* directory) {
  return SyncAndClose(open(directory, O_RDONLY | O_DIRECTORY), EINVAL);
}

bool SyncStreamToDisk(FILE* file) {
  return fflush(file) == 0 && fsync(fileno(file)) == 0;
}

void WaitForKeypress() {
  struct termios saved;
  if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved) != 0)
    return;
  // One key, unechoed, with no line editing and no signal keys: Ctrl+C is
  // a key like any other here.
  struct termios raw = saved;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0) {
    char key;
    while (read(STDIN_FILENO, &key, 1) < 0 && errno == EINTR) {
    }
  }
  // Put the modes back and drop the rest of a key that sent several bytes
  // (an arrow key, say), so the shell does not receive it.
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
}
