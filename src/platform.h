// The few calls that differ between the platforms the tool runs on.
// platform_posix.cc and platform_win32.cc each define all of them.
#ifndef INIFIXER_PLATFORM_H_
#define INIFIXER_PLATFORM_H_

#include <cstdint>
#include <cstdio>

// Sets the position of `file` to `offset` bytes from its start, past 2 and
// 4 GiB too. True on success.
bool SeekFile(FILE* file, int64_t offset);

// Opens the file at `path` once more and has the system write its data to
// the disk. True when the open, the flush and the close all succeeded.
bool SyncFileToDisk(const char* path);

// Waits for one key at the console: no echo, no Enter. Returns at once when
// standard input is not a console, so scripts and pipes never hang.
void WaitForKeypress();

#endif  // INIFIXER_PLATFORM_H_
