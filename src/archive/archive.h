// The archive's layout, its header test, and the check and in-place repair
// of its sections.
//
// The archive is a 4-byte header followed by sections up to the end of the
// file. A section is a 32-bit little-endian size field and a text: any bytes
// up to and including the first 0x00, the terminator. The size field should
// hold the length of the text, terminator included; a section whose field
// says otherwise is garbled, and its field is rewritten with the true length.
#ifndef INIFIXER_ARCHIVE_ARCHIVE_H_
#define INIFIXER_ARCHIVE_ARCHIVE_H_

#include <cstdint>
#include <cstdio>

// The first byte of every archive.
constexpr unsigned char HeaderMarker = 0x1E;

// Where the first section starts: right after the header.
constexpr int64_t FirstSectionOffset = 4;

// Set once a garbled section has been found, whether or not its fix could be
// written. The tool never clears it; only tests do, between walks.
extern bool SectionsFixed;

// True when the 4 header bytes begin 1E 00. Bytes 2 and 3 play no part.
bool CheckHeader(const unsigned char header[4]);

// Checks the next section of `archive`, an archive opened "r+b" with no
// buffering of its own (the walk reads through a buffer of its own); when it
// is garbled, rewrites its size field, then reports it and whether the write
// succeeded. The first call of a walk starts at the first section; each later
// call takes the section after the one before. A walk goes on until a call
// returns false.
//
// True when a whole section was consumed, consistent or fixed. False when the
// walk is over. The stream's end-of-file indicator is then set exactly when
// the walk reached the end of the file: past the last section, or inside an
// incomplete last section. When the walk stopped on a failure, told on
// standard output, that indicator is clear.
bool RepairNextSection(FILE* archive);

// Walks `archive` as RepairNextSection does, but changes nothing: it stops,
// untold, at the first garbled section. True when it found one; a walk of
// RepairNextSection's then starts at the first section. False when the walk
// is over without one, as RepairNextSection would have ended it (the stream's
// end-of-file indicator the same, what it tells the same).
bool FindGarbledSection(FILE* archive);

#endif  // INIFIXER_ARCHIVE_ARCHIVE_H_
