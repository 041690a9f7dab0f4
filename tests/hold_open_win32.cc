// Holds a file open for reading and writing, sharing it as the game or an
// editor would, while a test runs the tool beside it. Creates `held` in the
// current directory once the file is open, and keeps it open until `held`
// is gone, or for a minute at most. With `read`, reads the file once as the
// game does, for reading and sharing only reading, and writes its bytes to
// standard output: status 1 when the file could not be opened or read.
//
//   hold_open.exe FILE [read]
#include <windows.h>

#include <cstring>

namespace {

int Read(const char* path) {
  const HANDLE file =
      CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return 1;
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  static char block[64 << 10];
  for (DWORD got, written;;) {
    if (!ReadFile(file, block, sizeof block, &got, nullptr))
      return 1;
    if (got == 0)
      return 0;
    if (!WriteFile(out, block, got, &written, nullptr) || written != got)
      return 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[2], "read") == 0)
    return Read(argv[1]);
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
