#include <cstdlib>

#include "console.h"
#include "platform.h"
#include "run.h"

namespace {

// In the window of a copy that may not run: says why, and ends after a key.
[[noreturn]] void EndRefused(HandOver way) {
  const char* words =
      way == HandOver::NoToolAnswered
          ? "No inifixer answered this window: the one that opened it has "
            "ended, or no\nlonger waits for a window. Nothing was changed "
            "from here.\n"
      : way == HandOver::CameTooLate
          ? "This window came too late: the inifixer that opened it has left "
            "the repair\nto another window, or made it without a window. "
            "Nothing was changed from here.\n"
          : "This window could not enter the folder of the inifixer that "
            "opened it, and\nleft the repair to that inifixer. Nothing was "
            "changed from here.\n";
  IgnoreClosedPipes();
  StartConsole();
  PrintFormatted("%s", words);
  ExitAfterKeypress();
}

}  // namespace

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
  const HandOver way = HandOverToTerminal();
  if (way == HandOver::HandedOver)
    std::exit(0);
  if (way != HandOver::RunHere && way != HandOver::RunUnseen)
    EndRefused(way);
  IgnoreClosedPipes();
  StartConsole();
  RunRepair(way == HandOver::RunUnseen);
}
