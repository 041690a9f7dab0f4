// The backup of the archive, made before the walk may change it.
#ifndef INIFIXER_RUN_BACKUP_H_
#define INIFIXER_RUN_BACKUP_H_

#include <cstdio>

// Copies the archive, through `archive`, its one opening, byte for byte to
// Coalesced.ini.bak and has the copy written to the disk. Returns only when
// the whole archive is in the backup; otherwise it tells why and ends
// through ExitAfterKeypress. Where `archive` then stands is of no use.
void MakeBackup(FILE* archive);

#endif  // INIFIXER_RUN_BACKUP_H_
