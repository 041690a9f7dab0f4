#include "platform.h"

#include <conio.h>
#include <fcntl.h>
#include <io.h>

bool SeekFile(FILE* file, int64_t offset) {
  return _fseeki64(file, offset, SEEK_SET) == 0;
}

bool SyncFileToDisk(const char* path) {
  int fd = _open(path, _O_WRONLY | _O_BINARY);
  if (fd < 0)
    return false;
  bool synced = _commit(fd) == 0;
  return _close(fd) == 0 && synced;
}

void WaitForKeypress() {
  // _getch reads the console itself, not standard input; with standard input
  // redirected there may be nobody at the console to press a key.
  if (!_isatty(_fileno(stdin)))
    return;
  _getch();
}
