// One run of the tool, from the banner to the exit prompt.
#ifndef INIFIXER_RUN_RUN_H_
#define INIFIXER_RUN_RUN_H_

// The files the tool works on, in the current working directory.
inline constexpr char ArchiveName[] = "Coalesced.ini";
inline constexpr char BackupName[] = "Coalesced.ini.bak";
// What a run that nobody sees said, for the player to read.
inline constexpr char ReportName[] = "inifixer-report.txt";

// Checks the archive's header, backs the archive up, walks and repairs every
// section, and ends through ExitAfterKeypress. In a run that nobody sees
// (`unseen`: started from a desktop, but in no window), what it says goes to
// the report too, and it makes no backup when no section needs a repair.
[[noreturn]] void RunRepair(bool unseen);

// Shows the exit prompt, waits for a key and ends the process with status 0.
[[noreturn]] void ExitAfterKeypress();

#endif  // INIFIXER_RUN_RUN_H_
