// The few calls that differ between the platforms the tool runs on.
// platform_win32.cc defines all of them for Windows; platform_posix.cc
// defines them for POSIX but for HandOverToTerminal, which handover_linux.cc
// defines. None of them calls anything of the tool's above them.
#ifndef INIFIXER_PLATFORM_H_
#define INIFIXER_PLATFORM_H_

#include <cstdint>
#include <cstdio>

// Opens the null device on each of the standard input, output and error
// descriptors that is not open, so that no file the tool opens later takes
// one of their places and receives console text. False when one of them
// could not be opened.
bool OpenStandardStreams();

// Has standard output pass bytes on as they are given, where the runtime
// would translate line breaks (Windows text mode), so that the console's
// writes reach the system in one call each.
void SetBinaryStandardOutput();

// The line break on this platform's console, which the console puts in for
// each "\n".
extern const char LineBreak[];

// What HandOverToTerminal found, for main to act on. A refused copy says
// why, in words of its own for each way, touches no file and ends.
enum class HandOver {
  RunHere,            // the run goes on in this process
  RunUnseen,          // the same, but in no window: nobody sees it
  HandedOver,         // a copy in a terminal's window has the run: end
  NoToolAnswered,     // refused: no tool of this user answered the copy
  CameTooLate,        // refused: the tool left the run to another, or itself
  CannotEnterFolder,  // refused: the copy could not move to the tool's folder
};

// Where the process has no terminal at all (no controlling terminal, and
// neither standard input nor output is one) but a graphical session is
// there, as when a file manager or a launcher starts the tool: starts a
// terminal emulator that runs the tool once more, and tells whether that
// copy took the run over; then this process ends without opening any file.
// RunHere when the process has a terminal or there is no graphical session;
// RunUnseen when no copy took the run in time. In such a copy, asks the process
// that started it for the run: RunHere, in that process's folder, when granted;
// one of the refusals otherwise. On Windows, where a console program started
// from Explorer gets a console window of its own, it is always RunHere.
HandOver HandOverToTerminal();

// Lets a write to a pipe whose reader has gone fail like any other write,
// rather than end the process: the run must not stop halfway because nobody
// reads the console any more.
void IgnoreClosedPipes();

// Keeps every other run of the tool out of the current folder from now until
// this process ends, its key wait included, through a lock that only the tool
// takes: it stands in the way of nobody's reading or writing. False when
// another run has the folder. True otherwise, and also where the folder
// cannot be looked at or offers no such lock: the run then goes on
// unguarded.
bool KeepOtherRunsOut();

// Opens the file at `path` like fopen with `mode`, admitting no other
// program to it while it is open, where the system can enforce that; a file
// that another program has open then fails to open. POSIX has no sharing
// modes: there it is fopen.
FILE* OpenFileUnshared(const char* path, const char* mode);

// Sets the position of `file` to `offset` bytes from its start, past 2 and
// 4 GiB too. True on success.
bool SeekFile(FILE* file, int64_t offset);

// True when `file` is open on a regular file: not a pipe, a device or a
// socket, any of which could block a read or never end.
bool IsRegularFile(FILE* file);

// The length in bytes of the file that `file` is open on; -1 when the
// system cannot tell.
int64_t FileLength(FILE* file);

// What OpenOwnFile found at the name of a file the tool writes (the backup,
// the report of a run that nobody sees).
enum class OwnFile {
  Opened,   // a regular file of its own, emptied, open for writing
  Refused,  // it could not be opened for writing, nor emptied
  Special,  // a pipe, a device or a socket, or what cannot be looked at
  Archive,  // the file that the archive's opening is on, by another name
  Link,     // a symbolic link (on Windows any reparse point) that leads
            // elsewhere or nowhere, or a file with other names too
};

// Opens the file at `path` for writing, creating it when it is missing,
// once: without following a link at that name and without waiting for
// anyone (a pipe is refused, not waited on). What the opening reached is
// judged on that opening, and the file is emptied only when it is a regular
// file with no other name and not the file `archive` (when not null) is open
// on. Where the opening itself is refused for what the name is, the name is
// looked at (never opened) to tell why: a link by what it leads to. Sets
// `*opened`, a descriptor, only when the answer is Opened.
OwnFile OpenOwnFile(const char* path, FILE* archive, int* opened);

// Writes the `size` bytes at `data` to `file`, all of them. True on success.
bool WriteOwnFile(int file, const char* data, size_t size);

// Has the system write what was written to `file` to the disk, and closes
// it. True when the flush and the close succeeded and the file, as the file
// system reports it, is exactly `length` bytes long: a truncation that failed
// unreported (Wine does not report one) leaves an older, longer file's tail
// behind what was written.
bool SyncAndCloseOwnFile(int file, int64_t length);

// Has the system write `directory` to the disk, so that a file just created
// in it is found under its name after a power cut. True on success.
bool SyncDirectoryToDisk(const char* directory);

// Writes what `file` buffers and has the system write the file's data to
// the disk. True when both succeeded.
bool SyncStreamToDisk(FILE* file);

// Waits for one key at the console: no echo, no Enter. Returns at once when
// standard input is not a console, so scripts and pipes never hang.
void WaitForKeypress();

#endif  // INIFIXER_PLATFORM_H_
