#include <cstdio>
#include <fstream>
#include <iostream>

#include "backup.h"
#include "console.h"
#include "platform.h"
#include "run.h"

namespace {

// The copy moves the archive in blocks of this size: as fast as larger
// blocks, and small enough to keep the whole run within a few MiB.
constexpr std::streamsize CopyBlock = 256 << 10;
char copy_block[CopyBlock];

[[noreturn]] void BackupFailed() {
  std::cout << "Couldn't write a complete backup to Coalesced.ini.bak. "
               "Coalesced.ini was not changed. I will exit now.\n";
  ExitAfterKeypress();
}

}  // namespace

void MakeBackup() {
  std::ifstream in;
  // Set before the open: one read moves a whole block.
  in.rdbuf()->pubsetbuf(copy_block, CopyBlock);
  in.open(ArchiveName, std::ios::binary);
  if (in.fail()) {
    PrintFormatted(
        "Couldn't open %s. Please make sure that it's present in the "
        "current working directory\n",
        ArchiveName);
    ExitAfterKeypress();
  }
  // The archive's size, to confirm that all of it reached the backup: a read
  // error ends the copy early just as the end of the file does. Taken before
  // the backup is opened, whose truncation would empty an archive that some
  // link made the same file.
  const std::streamoff size = in.seekg(0, std::ios::end).tellg();
  in.seekg(0, std::ios::beg);
  if (size < 0 || in.fail())
    BackupFailed();
  // Opening a pipe for writing waits for a reader that may never come, and
  // opening a backup that is the archive itself would empty the archive.
  if (IsSpecialFile(BackupName))
    BackupFailed();
  if (IsSameFile(BackupName, ArchiveName)) {
    std::cout << "Coalesced.ini.bak is the same file as Coalesced.ini, so it "
                 "can't hold a backup. Coalesced.ini was not changed. I will "
                 "exit now.\n";
    ExitAfterKeypress();
  }
  // A link would carry the backup wherever it leads: a mod's archive could
  // come with Coalesced.ini.bak linked to a file of the player's, which the
  // copy would overwrite. Checked right before the opening, so that nothing
  // can change the name in between but another program racing this one.
  if (IsLink(BackupName)) {
    std::cout << "Coalesced.ini.bak is a link, so a backup written to it "
                 "could change a file elsewhere. Coalesced.ini was not "
                 "changed. I will exit now.\n";
    ExitAfterKeypress();
  }

  std::ofstream out(BackupName, std::ios::binary | std::ios::trunc);
  if (out.fail()) {
    PrintFormatted(
        "Couldn't open %s for writing. Please make sure that I have "
        "permissions to write to it. I will exit now.\n",
        BackupName);
    ExitAfterKeypress();
  }

  out << in.rdbuf();
  // operator<< fails the stream when it counts no byte copied, and where
  // streamsize has 32 bits (the Windows build) that count comes back as 0
  // for an archive of exactly 4 GiB. The size check below catches every
  // short copy, so that failure is not taken from it.
  out.clear(out.rdstate() & ~std::ios::failbit);
  out.flush();
  const std::streamoff written = out.tellp();
  in.close();
  out.close();
  // The stream's count cannot see an older backup's tail left behind a
  // truncation that failed unreported, so the file system is asked for the
  // flushed file's length too. A new backup is only safe once its name is
  // on the disk as well.
  if (out.fail() || written != size || !SyncFileToDisk(BackupName, size) ||
      !SyncDirectoryToDisk("."))
    BackupFailed();
  std::cout << "Made a backup.\n";
  FlushConsole();
}
