#include <cstdio>
#include <cstdlib>

#include "platform.h"
#include "run.h"

// The tool takes no arguments; any that are given are ignored.
int main() {
  // With a standard descriptor closed, the archive could be opened in its
  // place and receive the console text. Should even the null device fail to
  // open, the run ends here, before any file is touched.
  if (!OpenStandardStreams())
    std::exit(0);
  IgnoreClosedPipes();
  // Every message is gathered here and reaches the console in one write
  // when it is complete. Without a buffer of its own, standard output on a
  // Windows console takes a write call per byte.
  static char console_buffer[4096];
  setvbuf(stdout, console_buffer, _IOFBF, sizeof console_buffer);
  RunRepair();
}
