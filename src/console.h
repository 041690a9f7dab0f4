// The console: everything the tool says reaches standard output through
// here, in as few writes as it can, each message whole.
//
// Messages are put into std::cout, by stream insertion or PrintFormatted, and
// wait in memory until FlushConsole writes them in one call. On Windows a
// console, like the null device, is a character device, which the runtime
// does not buffer: without a buffer of our own it would take a write call per
// byte. And the runtime's text mode writes a batch in pieces (of at most 2,047
// bytes under Wine, less on Windows), so a message could straddle two writes:
// a failed second piece, or a kill between the two, would leave half of it on
// the console. Standard output is therefore binary there, and FlushConsole
// puts in the platform's line break for each "\n" itself.
#ifndef INIFIXER_CONSOLE_H_
#define INIFIXER_CONSOLE_H_

#include <cstddef>
#include <streambuf>

// Readies standard output for the run: binary on Windows, with a buffer
// larger than any write of ours, then ConsoleWritesTo it. Called once, first
// thing, before anything is printed.
void StartConsole();

// From now on std::cout gathers what it is given, and FlushConsole hands it to
// `sink` in one write. StartConsole gives standard output; tests give a buffer
// that notes each write.
void ConsoleWritesTo(std::streambuf* sink);

// Prints `format` with `text` in the place of its one "%s", as printf would.
// The attribute has the compiler check each caller's format, a literal.
__attribute__((format(printf, 1, 0))) void PrintFormatted(const char* format,
                                                          const char* text);

// How many bytes of text wait for the next FlushConsole.
size_t ConsolePending();

// Writes what waits, in one call, and has it leave the process's buffers. A
// write that failed loses its own text only: later messages still go out.
void FlushConsole();

// From now on FlushConsole writes what it writes to `report` too, a
// descriptor from OpenOwnFile, until EndReport.
void ConsoleCopiesTo(int report);

// Writes what waits, then has the report's copy written to the disk and
// closes it. True when every write to it, the flush and the close
// succeeded, and when there was no report.
bool EndReport();

#endif  // INIFIXER_CONSOLE_H_
