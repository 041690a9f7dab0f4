#include <cstdlib>

#include "console.h"
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
  StartConsole();
  RunRepair();
}
