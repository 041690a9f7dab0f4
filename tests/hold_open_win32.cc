// Holds a file open for reading and writing, sharing it as the game or an
// editor would, while a test runs the tool beside it. Creates `held` in the
// current directory once the file is open, and keeps it open until `held`
// is gone, or for a minute at most.
//
//   hold_open.exe FILE
#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 2)
    return 2;
  const HANDLE file = CreateFileA(
      argv[1], GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return 1;
  const HANDLE held =
      CreateFileA("held", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (held == INVALID_HANDLE_VALUE)
    return 1;
  CloseHandle(held);
  for (int tenths = 0; tenths < 600; ++tenths) {
    if (GetFileAttributesA("held") == INVALID_FILE_ATTRIBUTES)
      break;
    Sleep(100);
  }
  CloseHandle(file);
  return 0;
}
