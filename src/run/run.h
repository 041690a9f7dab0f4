// One run of the tool, from the banner to the exit prompt.
#ifndef INIFIXER_RUN_RUN_H_
#define INIFIXER_RUN_RUN_H_

// The files the tool works on, in the current working directory.
inline constexpr char kArchiveName[] = "Coalesced.ini";
inline constexpr char kBackupName[] = "Coalesced.ini.bak";

// Checks the archive's header, backs the archive up, walks and repairs every
// section, and ends through ExitAfterKeypress.
[[noreturn]] void RunRepair();

// Copies Coalesced.ini byte for byte to Coalesced.ini.bak and has the copy
// written to the disk. Returns only when the whole archive is in the backup;
// otherwise it tells why and ends through ExitAfterKeypress.
void MakeBackup();

// Shows what was told so far in one write. A console write that failed
// loses its own text only: the later messages still go out.
void FlushConsole();

// Shows the exit prompt, waits for a key and ends the process with status 0.
[[noreturn]] void ExitAfterKeypress();

#endif  // INIFIXER_RUN_RUN_H_
