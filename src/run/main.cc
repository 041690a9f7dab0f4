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
  // Started with no terminal, from a file manager say, the run goes on in a
  // terminal's window, where its text is seen and a key ends it. Before
  // IgnoreClosedPipes, which the terminal would inherit.
  if (HandOverToTerminal())
    std::exit(0);
  IgnoreClosedPipes();
  StartConsole();
  RunRepair();
}
