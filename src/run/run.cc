#include "run.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "archive/archive.h"
#include "backup.h"
#include "console.h"
#include "platform.h"

namespace {

// In a run that nobody sees, what the console says goes to the report beside
// the archive too, for the player to find: from the banner on, what waits
// included, until the exit prompt. The report is never the archive's file
// (`archive`, once open); where it cannot be written (a link, a pipe, no
// rights), the run goes on without it.
void StartReport(bool unseen, FILE* archive) {
  int report = -1;
  if (unseen && OpenOwnFile(ReportName, archive, &report) == OwnFile::Opened)
    ConsoleCopiesTo(report);
  FlushConsole();
}

[[noreturn]] void CannotOpenArchive() {
  std::cout << "Couldn't open file. Please make sure that it's present in "
               "the current working directory\n";
  ExitAfterKeypress();
}

// Opens the archive for reading and writing in place, never creating it:
// the run's one opening of it, through which the header is read, the backup
// copied, and the walk made. On failure the run ends here. A pipe or a
// device is refused before anything is read from it: a read could wait for
// ever. On Windows no other program may have it open meanwhile: not the
// game, not an editor.
FILE* OpenArchive(bool unseen) {
  FILE* archive = OpenFileUnshared(ArchiveName, "r+b");
  if (!archive || !IsRegularFile(archive)) {
    StartReport(unseen, nullptr);
    CannotOpenArchive();
  }
  // Reads go through buffers of the copy's and the walk's own, and each fix
  // the walk writes must reach the file at once.
  setvbuf(archive, nullptr, _IONBF, 0);
  return archive;
}

}  // namespace

void RunRepair(bool unseen) {
  std::cout << "Vantorel ini fixer by Hesk Lombrin aka Quarrel808.\n\n"
            << "If Coalesced.ini was edited, this program fixes it so that "
               "the file\nwould not make the game crash.\n"
            << "Makes a backup of current Coalesced.ini to Coalesced.ini.bak "
               "and overwrites it\nwith the fixed version.\n\n\n";
  // A run that nobody sees keeps the banner for its report, which it opens
  // only once it has the folder: the run that has it writes its own.
  if (!unseen)
    FlushConsole();

  // A run that another run's window still shows may already have repaired
  // the archive: a backup made now would hold the repaired file, not the
  // original. So such a run keeps this one out until it ends.
  if (!KeepOtherRunsOut())
    CannotOpenArchive();
  FILE* archive = OpenArchive(unseen);
  StartReport(unseen, archive);
  // Zeroed so that no byte a short file did not fill is ever looked at; a
  // file of fewer than 2 bytes cannot hold a header.
  unsigned char header[4] = {};
  if (fread(header, 1, sizeof header, archive) < 2 || !CheckHeader(header)) {
    std::cout << "This doesn't look like a valid Coalesced.ini.\nPlease make "
                 "sure that you edit it in editor that can set line breaks "
                 "to\nUnix format.\nWindows Notepad is not such editor. Get "
                 "Notepad2 or Notepad++\n";
    ExitAfterKeypress();
  }

  // A run that nobody sees makes no backup when no section needs a repair:
  // a player who saw nothing happen double-clicks again, and that run's
  // backup would hold the file the first one repaired, not the original.
  if (!unseen || FindGarbledSection(archive)) {
    MakeBackup(archive);
    // The walk seeks to the first section itself.
    while (RepairNextSection(archive)) {
    }
  }
  // A walk that stopped on a failure has told it, and did not check the
  // whole file, so it cannot be called valid.
  const bool walked_whole_file = feof(archive) && !ferror(archive);
  if (SectionsFixed) {
    // A fix is only kept once the system has it on the disk. A walk that
    // found nothing garbled wrote nothing and needs no flush.
    const bool synced = SyncStreamToDisk(archive);
    if (fclose(archive) != 0 || !synced)
      std::cout << "\nCouldn't make sure that the fixes reached the disk. "
                   "Copy Coalesced.ini.bak over Coalesced.ini and run me "
                   "again.\n";
  } else {
    fclose(archive);
  }

  if (!SectionsFixed && walked_whole_file)
    std::cout << "File is valid. No changes were made.\n";
  ExitAfterKeypress();
}

void ExitAfterKeypress() {
  // The report ends before the prompt, which asks nothing of its reader.
  if (!EndReport())
    PrintFormatted("\nCouldn't write all of this to %s.\n", ReportName);
  std::cout << "\n\nPress any key to exit...";
  // The prompt stands on the console before the wait.
  FlushConsole();
  WaitForKeypress();
  std::exit(0);
}
