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
// archive would not do: it is closed during the key wait, and on SMB mounts
// flock on a file is a mandatory lock on the whole file, which would keep
// the game from reading it. The folder's descriptor is never closed, so the
// lock lasts until the process ends.
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

int64_t FileLength(FILE* file) {
  struct stat st;
  return fstat(fileno(file), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

namespace {

bool IsFileOf(const struct stat& st, FILE* file) {
  struct stat other;
  return file && fstat(fileno(file), &other) == 0 &&
         st.st_dev == other.st_dev && st.st_ino == other.st_ino;
}

// What a name that could not be opened is: a symbolic link (ELOOP) by what
// it leads to, and anything else there (ENXIO: a pipe that nobody reads, a
// socket) a special file. Nothing is opened to find out.
OwnFile LookAtRefused(const char* path, FILE* archive) {
  struct stat name, target;
  if (lstat(path, &name) != 0 || !S_ISLNK(name.st_mode))
    return OwnFile::Special;
  if (stat(path, &target) != 0)
    return errno == ENOENT ? OwnFile::Link : OwnFile::Special;
  if (!S_ISREG(target.st_mode) && !S_ISDIR(target.st_mode))
    return OwnFile::Special;
  return IsFileOf(target, archive) ? OwnFile::Archive : OwnFile::Link;
}

// Has the system write what `fd` leads to to the disk, and closes it. False
// when `fd` is not open (an opening that failed), the flush or the close
// failed, or, given a `length`, the flushed file is not that long; a flush
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

// O_NONBLOCK: opening a pipe for writing would wait for a reader that may
// never come; without one the open fails (ENXIO), with one it is refused
// below. On a regular file the flag changes nothing.
OwnFile OpenOwnFile(const char* path, FILE* archive, int* opened) {
  const int fd = open(
      path, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0)
    return errno == ELOOP || errno == ENXIO ? LookAtRefused(path, archive)
                                            : OwnFile::Refused;
  struct stat st;
  OwnFile found = OwnFile::Opened;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
    found = OwnFile::Special;
  else if (IsFileOf(st, archive))
    found = OwnFile::Archive;
  else if (st.st_nlink > 1)
    found = OwnFile::Link;
  else if (ftruncate(fd, 0) != 0)
    found = OwnFile::Refused;
  if (found != OwnFile::Opened) {
    // Nothing was written through it: nothing to lose if the close fails.
    close(fd);
    return found;
  }
  *opened = fd;
  return found;
}

bool WriteOwnFile(int file, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = write(file, data, size);
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0)
      return false;
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

bool SyncAndCloseOwnFile(int file, int64_t length) {
  return SyncAndClose(file, 0, length);
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
