#include "platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <conio.h>
#include <fcntl.h>
#include <io.h>
#include <share.h>

namespace {

// Opens `path` for no access at all, which is enough to ask about the file
// and takes no lock on it; directories open too.
HANDLE OpenForQuery(const char* path) {
  return CreateFileA(
      path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool QueryFile(const char* path, BY_HANDLE_FILE_INFORMATION* info) {
  const HANDLE file = OpenForQuery(path);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  const bool known = GetFileInformationByHandle(file, info) != 0;
  CloseHandle(file);
  return known;
}

}  // namespace

// The runtime keeps the three standard slots whether or not the process got
// handles for them: a file it opens never takes one.
bool OpenStandardStreams() {
  return true;
}

// Text mode would turn each LF into CR LF itself, converting through a small
// buffer of its own and so writing in pieces.
void SetBinaryStandardOutput() {
  _setmode(_fileno(stdout), _O_BINARY);
}

const char LineBreak[] = "\r\n";

// Windows opens a console window for a console program started without one.
HandOver HandOverToTerminal() {
  return HandOver::RunHere;
}

// A write to a pipe nobody reads fails there; no signal ends the process.
void IgnoreClosedPipes() {}

bool KeepOtherRunsOut() {
  return true;
}

FILE* OpenFileUnshared(const char* path, const char* mode) {
  return _fsopen(path, mode, _SH_DENYRW);
}

bool SeekFile(FILE* file, int64_t offset) {
  return _fseeki64(file, offset, SEEK_SET) == 0;
}

bool IsRegularFile(FILE* file) {
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  BY_HANDLE_FILE_INFORMATION info;
  return handle != INVALID_HANDLE_VALUE &&
         GetFileType(handle) == FILE_TYPE_DISK &&
         GetFileInformationByHandle(handle, &info) &&
         !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsSpecialFile(const char* path) {
  // Absent, or a link to nothing, is no harm; what cannot be looked at for
  // another reason is not taken for a plain file.
  const auto unknown = [] {
    const DWORD error = GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
  };
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return unknown();
  if (attributes & FILE_ATTRIBUTE_DIRECTORY)
    return false;
  // Anything else is opened, for no access, only to be asked what it is.
  const HANDLE file = OpenForQuery(path);
  if (file == INVALID_HANDLE_VALUE)
    return unknown();
  const bool special = GetFileType(file) != FILE_TYPE_DISK;
  CloseHandle(file);
  return special;
}

// Wine shows a symbolic link of the file system under it as a plain file.
bool IsLink(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return false;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
    return true;
  BY_HANDLE_FILE_INFORMATION info;
  return !(attributes & FILE_ATTRIBUTE_DIRECTORY) && QueryFile(path, &info) &&
         info.nNumberOfLinks > 1;
}

bool IsSameFile(const char* a, const char* b) {
  BY_HANDLE_FILE_INFORMATION first, second;
  return QueryFile(a, &first) && QueryFile(b, &second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

bool SyncFileToDisk(const char* path, int64_t length) {
  int fd = _open(path, _O_WRONLY | _O_BINARY);
  if (fd < 0)
    return false;
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  LARGE_INTEGER size;
  bool synced = _commit(fd) == 0 && handle != INVALID_HANDLE_VALUE &&
                GetFileSizeEx(handle, &size) && size.QuadPart == length;
  return _close(fd) == 0 && synced;
}

// No such step on Windows, which documents no flush of a folder's entries.
// NTFS journals them, so there a file whose data reached the disk is found
// under its name after a power cut; FAT32 and exFAT do not, and a power cut
// soon after the backup may lose its entry.
bool SyncDirectoryToDisk(const char*) {
  return true;
}

bool SyncStreamToDisk(FILE* file) {
  return fflush(file) == 0 && _commit(_fileno(file)) == 0;
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
