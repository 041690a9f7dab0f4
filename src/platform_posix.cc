#include "platform.h"

#include <cerrno>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

bool SeekFile(FILE* file, int64_t offset) {
  static_assert(sizeof(off_t) >= 8, "build with 64-bit file offsets");
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool SyncFileToDisk(const char* path) {
  int fd = open(path, O_WRONLY);
  if (fd < 0)
    return false;
  bool synced = fsync(fd) == 0;
  return close(fd) == 0 && synced;
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
