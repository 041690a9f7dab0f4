// One run of the tool, from the banner to the exit prompt.
#ifndef INIFIXER_RUN_RUN_H_
#define INIFIXER_RUN_RUN_H_

// The files the tool works on, in the current working directory.
inline constexpr char ArchiveName[] = "Coalesced.ini";
inline constexpr char BackupName[] = "Coalesced.ini.bak";

// Checks the archive's header, backs the archive up, walks and repairs every
// section, and ends through ExitAfterKeypress.
[[noreturn]] void RunRepair();

// Shows the exit prompt, waits for a key and ends the process with status 0.
[[noreturn]] void ExitAfterKeypress();

#endif  // INIFIXER_RUN_RUN_H_
