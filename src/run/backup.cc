#include "backup.h"

#include <cstdint>
#include <iostream>

#include "console.h"
#include "platform.h"
#include "run.h"

namespace {

// The copy moves the archive in blocks of this size: as fast as larger
// blocks, and small enough to keep the whole run within a few MiB.
constexpr size_t CopyBlock = 256 << 10;
char copy_block[CopyBlock];

[[noreturn]] void BackupFailed() {
  std::cout << "Couldn't write a complete backup to Coalesced.ini.bak. "
               "Coalesced.ini was not changed. I will exit now.\n";
  ExitAfterKeypress();
}

}  // namespace

void MakeBackup(FILE* archive) {
  // The archive's length, to confirm that all of it reached the backup: a
  // read error ends the copy early just as the end of the file does.
  const int64_t size = FileLength(archive);
  if (size < 0 || !SeekFile(archive, 0))
    BackupFailed();

  // The backup's name is opened once, and what it leads to is judged on that
  // opening before anything there is emptied: a pipe could make the copy wait
  // for ever, the archive's own file would be emptied, and a link would carry
  // the backup wherever it leads (a mod's archive could come with
  // Coalesced.ini.bak linked to a file of the player's).
  int backup = -1;
  switch (OpenOwnFile(BackupName, archive, &backup)) {
    case OwnFile::Opened:
      break;
    case OwnFile::Refused:
      PrintFormatted(
          "Couldn't open %s for writing. Please make sure that I have "
          "permissions to write to it. I will exit now.\n",
          BackupName);
      ExitAfterKeypress();
    case OwnFile::Special:
      BackupFailed();
    case OwnFile::Archive:
      std::cout << "Coalesced.ini.bak is the same file as Coalesced.ini, so "
                   "it can't hold a backup. Coalesced.ini was not changed. I "
                   "will exit now.\n";
      ExitAfterKeypress();
    case OwnFile::Link:
      std::cout << "Coalesced.ini.bak is a link, so a backup written to it "
                   "could change a file elsewhere. Coalesced.ini was not "
                   "changed. I will exit now.\n";
      ExitAfterKeypress();
  }

  // The archive's opening has no buffer of its own, so each read moves a
  // whole block.
  int64_t copied = 0;
  for (size_t got; (got = fread(copy_block, 1, CopyBlock, archive)) > 0;) {
    if (!WriteOwnFile(backup, copy_block, got))
      BackupFailed();
    copied += static_cast<int64_t>(got);
  }
  // The count cannot see an older backup's tail left behind a truncation
  // that failed unreported, so the file system is asked for the flushed
  // file's length too. A new backup is only safe once its name is on the
  // disk as well.
  if (ferror(archive) || copied != size || !SyncAndCloseOwnFile(backup, size) ||
      !SyncDirectoryToDisk("."))
    BackupFailed();
  std::cout << "Made a backup.\n";
  FlushConsole();
}
