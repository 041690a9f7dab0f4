// The backup of the archive, made before the walk may change it.
#ifndef INIFIXER_RUN_BACKUP_H_
#define INIFIXER_RUN_BACKUP_H_

// Copies Coalesced.ini byte for byte to Coalesced.ini.bak and has the copy
// written to the disk. Returns only when the whole archive is in the backup;
// otherwise it tells why and ends through ExitAfterKeypress.
void MakeBackup();

#endif  // INIFIXER_RUN_BACKUP_H_
