// Loaded with LD_PRELOAD into a native run of the tool, it fails one kind of
// call on one of the files the tool works on, named by INIFIXER_FAULT as
// FILE.CALL or FILE.seek@OFFSET. Each call is found by the file it is made
// on and how far the run has come, never by its place among the run's calls,
// so that a change in the order of the tool's I/O leaves every fault aimed
// where its name says.
//
// The files, as the shim tells them apart:
//   archive  Coalesced.ini, the run's one opening of it, before the backup
//            is opened: the header's check
//   copy     the same opening while the backup is open: the backup's source
//   walk     the same opening once the backup was closed: the walk and the
//            flush of its fixes
//   backup   Coalesced.ini.bak, opened for writing
//   folder   the working directory, opened to be locked or flushed, or the
//            folder of the tool that asked for a copy, which the copy enters
// The calls: open, read, write, seek (the walk's; seek@N: only a seek to
// offset N), sync (fsync), close, and truncate: the backup's emptying
// (ftruncate) skipped, as if it had failed and nobody had said so (what
// Wine does when its server's ftruncate fails).
//
// Every matching call fails, from the first on: an open with EACCES, a write
// with ENOSPC, the others with EIO. A failed fread or fwrite sets the
// stream's error indicator, as a failed system call under it would; a failed
// close closes all the same, as the kernel does.
//
// With INIFIXER_RENAME=NAME nothing fails: right before the first matching
// call, NAME is renamed to the file's name (Coalesced.ini or
// Coalesced.ini.bak), as another program could do at that moment, and the
// call is made.
//
// Replaced here are the functions through which the native build reaches
// those files (nm -D shows them): fopen64, fread (__fread_chk where the
// hardened build knows the buffer's size), fwrite, fseeko64 and fclose for
// the archive; open64, write, ftruncate64, fsync and close for the backup and
// the folder; and a copy's chdir into /proc/PID/cwd, the call enter, failed
// with EACCES.
#undef _FILE_OFFSET_BITS
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

enum Target { kNone, kArchive, kCopy, kBackup, kFolder, kWalk };
const char* const TargetNames[] = {"",       "archive", "copy",
                                   "backup", "folder",  "walk"};

// What each open descriptor of the run was opened as: the archive's opening
// is noted as kArchive, whatever the phase.
constexpr int MaxFd = 1024;
Target opened_as[MaxFd];

// How far the backup has come, which tells the phases of the archive's one
// opening apart.
enum Stage { kBeforeBackup, kBackupOpen, kBackupClosed } stage = kBeforeBackup;

// What a call on a descriptor noted as `target` is aimed at now.
Target Phase(Target target) {
  if (target != kArchive)
    return target;
  return stage == kBeforeBackup ? kArchive
         : stage == kBackupOpen ? kCopy
                                : kWalk;
}

Target Of(int fd) {
  return fd >= 0 && fd < MaxFd ? Phase(opened_as[fd]) : kNone;
}

void Note(int fd, Target target) {
  if (fd >= 0 && fd < MaxFd)
    opened_as[fd] = target;
}

bool Named(const char* path, const char* name) {
  const size_t length = std::strlen(path), tail = std::strlen(name);
  return length >= tail && std::strcmp(path + length - tail, name) == 0 &&
         (length == tail || path[length - tail - 1] == '/');
}

Target Classify(const char* path, bool writes) {
  if (Named(path, "Coalesced.ini"))
    return kArchive;
  if (Named(path, "Coalesced.ini.bak") && writes)
    return kBackup;
  if (std::strcmp(path, ".") == 0)
    return kFolder;
  return kNone;
}

// Whether INIFIXER_FAULT aims at `call` on `target` (for a seek, to `offset`).
bool Aimed(Target target, const char* call, long long offset) {
  const char* fault = std::getenv("INIFIXER_FAULT");
  if (!fault || target == kNone)
    return false;
  const char* name = TargetNames[target];
  const size_t length = std::strlen(name), call_length = std::strlen(call);
  if (std::strncmp(fault, name, length) != 0 || fault[length] != '.' ||
      std::strncmp(fault + length + 1, call, call_length) != 0)
    return false;
  const char* rest = fault + length + 1 + call_length;
  if (*rest == '\0')
    return true;
  return *rest == '@' && offset == std::atoll(rest + 1);
}

// Whether `call` on `target` (for a seek, to `offset`) fails. Under
// INIFIXER_RENAME, the first such call has the rename made before it
// instead, and none fails.
bool Fails(Target target, const char* call, long long offset = -1) {
  if (!Aimed(target, call, offset))
    return false;
  const char* from = std::getenv("INIFIXER_RENAME");
  if (!from)
    return true;
  static bool renamed = false;
  if (!renamed) {
    renamed = true;
    const char* to = target == kBackup ? "Coalesced.ini.bak" : "Coalesced.ini";
    if (rename(from, to) != 0) {
      // The row cannot show what it is about: it must fail, not pass.
      std::perror("fault_shim: rename");
      std::_Exit(99);
    }
  }
  return false;
}

// The next definition of `symbol`: libc's, or a sanitizer's before it.
template <typename Function>
Function Next(const char* symbol) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, symbol));
}

int Failed(int error) {
  errno = error;
  return -1;
}

// Whether `call` fails on `stream`; if so, sets its error indicator, as a
// failed system call under the stream would.
bool StreamFails(FILE* stream, const char* call) {
  if (!Fails(Of(fileno(stream)), call))
    return false;
  stream->_flags |= _IO_ERR_SEEN;
  errno = EIO;
  return true;
}

}  // namespace

extern "C" {

FILE* fopen64(const char* path, const char* mode) {
  const Target target =
      Classify(path, mode[0] != 'r' || std::strchr(mode, '+') != nullptr);
  if (Fails(Phase(target), "open")) {
    errno = EACCES;
    return nullptr;
  }
  FILE* stream =
      Next<FILE* (*)(const char*, const char*)>("fopen64")(path, mode);
  if (stream)
    Note(fileno(stream), target);
  return stream;
}

int open64(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = (flags & O_CREAT) ? va_arg(args, mode_t) : 0;
  va_end(args);
  const Target target = Classify(path, (flags & O_ACCMODE) != O_RDONLY);
  if (Fails(Phase(target), "open"))
    return Failed(EACCES);
  const int fd =
      Next<int (*)(const char*, int, ...)>("open64")(path, flags, mode);
  Note(fd, target);
  if (fd >= 0 && target == kBackup)
    stage = kBackupOpen;
  return fd;
}

size_t fread(void* data, size_t size, size_t count, FILE* stream) {
  if (StreamFails(stream, "read"))
    return 0;
  return Next<size_t (*)(void*, size_t, size_t, FILE*)>("fread")(data, size,
                                                                 count, stream);
}

size_t __fread_chk(void* data, size_t room, size_t size, size_t count,
                   FILE* stream) {
  if (StreamFails(stream, "read"))
    return 0;
  return Next<size_t (*)(void*, size_t, size_t, size_t, FILE*)>("__fread_chk")(
      data, room, size, count, stream);
}

size_t fwrite(const void* data, size_t size, size_t count, FILE* stream) {
  if (StreamFails(stream, "write"))
    return 0;
  return Next<size_t (*)(const void*, size_t, size_t, FILE*)>("fwrite")(
      data, size, count, stream);
}

ssize_t write(int fd, const void* data, size_t size) {
  if (Fails(Of(fd), "write"))
    return Failed(ENOSPC);
  return Next<ssize_t (*)(int, const void*, size_t)>("write")(fd, data, size);
}

int ftruncate64(int fd, off64_t length) {
  if (Fails(Of(fd), "truncate"))
    return 0;
  return Next<int (*)(int, off64_t)>("ftruncate64")(fd, length);
}

int fseeko64(FILE* stream, off_t offset, int whence) {
  if (Fails(Of(fileno(stream)), "seek", whence == SEEK_SET ? offset : -1))
    return Failed(EIO);
  return Next<int (*)(FILE*, off_t, int)>("fseeko64")(stream, offset, whence);
}

int fsync(int fd) {
  if (Fails(Of(fd), "sync"))
    return Failed(EIO);
  return Next<int (*)(int)>("fsync")(fd);
}

int fclose(FILE* stream) {
  const Target target = Of(fileno(stream));
  Note(fileno(stream), kNone);
  const int closed = Next<int (*)(FILE*)>("fclose")(stream);
  return Fails(target, "close") ? Failed(EIO) : closed;
}

int chdir(const char* path) {
  if (std::strncmp(path, "/proc/", 6) == 0 && Named(path, "cwd") &&
      Fails(kFolder, "enter"))
    return Failed(EACCES);
  return Next<int (*)(const char*)>("chdir")(path);
}

int close(int fd) {
  const Target target = Of(fd);
  Note(fd, kNone);
  const int closed = Next<int (*)(int)>("close")(fd);
  if (target == kBackup)
    stage = kBackupClosed;
  return Fails(target, "close") ? Failed(EIO) : closed;
}

}  // extern "C"
