#include "platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>

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

// The system's handle of the runtime's descriptor `fd`.
HANDLE HandleOf(int fd) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
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

// Runs of the tool keep out of each other's way through a named mutex of
// their folder, named by the folder's identity (its volume's serial number
// and its file index), not by its path, which other names could reach too.
// Only the tool takes it; the files stay open to everyone but while a run
// works on the archive. The mutex is never released, so it is held until
// the process ends. A run under another user or elevation in this session
// may be denied access to the mutex of the run that holds it: it is kept
// out all the same. In the session's own namespace, as the folder's other
// runs are the player's.
bool KeepOtherRunsOut() {
  const HANDLE folder = OpenForQuery(".");
  if (folder == INVALID_HANDLE_VALUE)
    return true;
  BY_HANDLE_FILE_INFORMATION info;
  const bool known = GetFileInformationByHandle(folder, &info) != 0;
  CloseHandle(folder);
  if (!known)
    return true;
  char name[64];
  snprintf(name, sizeof name, "Local\\inifixer-%08lx-%08lx%08lx",
           static_cast<unsigned long>(info.dwVolumeSerialNumber),
           static_cast<unsigned long>(info.nFileIndexHigh),
           static_cast<unsigned long>(info.nFileIndexLow));
  const HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
  if (!mutex)
    return GetLastError() != ERROR_ACCESS_DENIED;
  // Abandoned: a run that held it has ended without a word, as every run
  // does.
  return WaitForSingleObject(mutex, 0) != WAIT_TIMEOUT;
}

FILE* OpenFileUnshared(const char* path, const char* mode) {
  return _fsopen(path, mode, _SH_DENYRW);
}

bool SeekFile(FILE* file, int64_t offset) {
  return _fseeki64(file, offset, SEEK_SET) == 0;
}

bool IsRegularFile(FILE* file) {
  const HANDLE handle = HandleOf(_fileno(file));
  BY_HANDLE_FILE_INFORMATION info;
  return handle != INVALID_HANDLE_VALUE &&
         GetFileType(handle) == FILE_TYPE_DISK &&
         GetFileInformationByHandle(handle, &info) &&
         !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

int64_t FileLength(FILE* file) {
  LARGE_INTEGER size;
  return GetFileSizeEx(HandleOf(_fileno(file)), &size) ? size.QuadPart : -1;
}

namespace {

bool IsFileOf(const BY_HANDLE_FILE_INFORMATION& info, FILE* file) {
  BY_HANDLE_FILE_INFORMATION other;
  return file && GetFileInformationByHandle(HandleOf(_fileno(file)), &other) &&
         info.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
         info.nFileIndexHigh == other.nFileIndexHigh &&
         info.nFileIndexLow == other.nFileIndexLow;
}

// What the name `path` leads to, opened for no access only to be asked
// what it is: the archive, something that is not a file, or a file
// elsewhere (or nothing).
OwnFile LookThroughLink(const char* path, FILE* archive) {
  const HANDLE target = OpenForQuery(path);
  if (target == INVALID_HANDLE_VALUE)
    return OwnFile::Link;
  BY_HANDLE_FILE_INFORMATION info;
  OwnFile found = OwnFile::Link;
  if (GetFileType(target) != FILE_TYPE_DISK ||
      !GetFileInformationByHandle(target, &info))
    found = OwnFile::Special;
  else if (IsFileOf(info, archive))
    found = OwnFile::Archive;
  CloseHandle(target);
  return found;
}

}  // namespace

// The reparse point itself is opened, never what it leads to, and so is a
// pipe: Windows has no O_NONBLOCK, but an opening of a pipe with no reader
// returns at once there (under Wine too), and is refused below.
OwnFile OpenOwnFile(const char* path, FILE* archive, int* opened) {
  const HANDLE file = CreateFileA(
      path, GENERIC_WRITE | FILE_READ_ATTRIBUTES,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    // Looked at by its name, what would not open is told apart from a
    // folder or missing rights: the archive, which its own opening shares
    // with nobody, or a junction, a reparse point on a folder.
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
      return OwnFile::Refused;
    const OwnFile behind = LookThroughLink(path, archive);
    return behind == OwnFile::Archive ||
                   (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
               ? behind
               : OwnFile::Refused;
  }
  BY_HANDLE_FILE_INFORMATION info;
  OwnFile found = OwnFile::Opened;
  LARGE_INTEGER start = {};
  if (GetFileType(file) != FILE_TYPE_DISK ||
      !GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    found = OwnFile::Special;
  else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
    found = LookThroughLink(path, archive);
  else if (IsFileOf(info, archive))
    found = OwnFile::Archive;
  else if (info.nNumberOfLinks > 1)
    found = OwnFile::Link;
  else if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN) ||
           !SetEndOfFile(file))
    found = OwnFile::Refused;
  const int fd = found == OwnFile::Opened
                     ? _open_osfhandle(reinterpret_cast<intptr_t>(file),
                                       _O_WRONLY | _O_BINARY)
                     : -1;
  if (fd < 0) {
    // Nothing was written through it: nothing to lose if the close fails.
    CloseHandle(file);
    return found == OwnFile::Opened ? OwnFile::Refused : found;
  }
  *opened = fd;
  return found;
}

bool WriteOwnFile(int file, const char* data, size_t size) {
  while (size > 0) {
    // _write takes an unsigned count: at most a block at a time.
    const unsigned part =
        static_cast<unsigned>(std::min<size_t>(size, 1 << 20));
    const int written = _write(file, data, part);
    if (written <= 0)
      return false;
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

bool SyncAndCloseOwnFile(int file, int64_t length) {
  LARGE_INTEGER size;
  const bool synced = _commit(file) == 0 &&
                      GetFileSizeEx(HandleOf(file), &size) &&
                      size.QuadPart == length;
  return _close(file) == 0 && synced;
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
  const HANDLE input = HandleOf(_fileno(stdin));
  DWORD mode;
  if (input == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &mode))
    return;
  _getch();
}
