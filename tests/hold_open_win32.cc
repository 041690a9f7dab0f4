// Holds a file open for reading and writing, sharing it as the game or an
// editor would, while a test runs the tool beside it. Creates `held` in the
// current directory once the file is open, and keeps it open until `held`
// is gone, or for a minute at most. With `read`, reads the file once as the
// game does, for reading and sharing only reading, onto standard output.
//
//   hold_open.exe FILE [read]
#include <windows.h>

#include <cstring>

int main(int argc, char** argv) {
  const bool read = argc == 3 && std::strcmp(argv[2], "read") == 0;
  if (argc != 2 && !read)
    return 2;
  const HANDLE file =
      CreateFileA(argv[1], read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE,
                  read ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return 1;
  char block[4096];
  DWORD got, written;
  // What it read is compared with the file, so a short read shows there.
  while (read && ReadFile(file, block, sizeof block, &got, nullptr) && got)
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), block, got, &written, nullptr);
  if (read)
    return 0;
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
