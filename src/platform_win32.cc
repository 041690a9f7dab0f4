#include "platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

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
  // _getch reads the console itself, not standard input, so it is asked for
  // a key only when standard input is that console. _isatty would not do:
  // it is true for any character device, and with "< NUL" a script would
  // wait for somebody at the console.
  const HANDLE input = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdin)));
  DWORD mode;
  if (input == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &mode))
    return;
  _getch();
}
