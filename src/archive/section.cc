#include <algorithm>
#include <charconv>
#include <cstring>
#include <iostream>

#include "archive.h"
#include "console.h"
#include "platform.h"

bool SectionsFixed = false;

namespace {

// The walk reads the archive through this buffer and finds each terminator
// with memchr, rather than making a library call per byte. The unread bytes
// are buffer[begin, end), the first of them at file offset `offset`; the
// stream itself stands at offset + (end - begin).
constexpr size_t BufferSize = 64 * 1024;
char buffer[BufferSize];
size_t begin = 0;
size_t end = 0;
int64_t offset = 0;

// The stream of the walk under way, or null between walks.
FILE* walked = nullptr;

// How many characters of a garbled section's text its report shows.
constexpr size_t ExcerptSize = 19;

// The largest text length, terminator included, that a size field can hold.
constexpr uint64_t MaxTextSize = UINT32_MAX;

void Consume(size_t count) {
  begin += count;
  offset += static_cast<int64_t>(count);
}

// Appends what the archive holds after the unread bytes. False when nothing
// came: the end of the file, or a read error (ferror tells which).
bool Refill(FILE* archive) {
  if (begin > 0) {
    memmove(buffer, buffer + begin, end - begin);
    end -= begin;
    begin = 0;
  }
  size_t got = fread(buffer + end, 1, BufferSize - end, archive);
  end += got;
  return got > 0;
}

// A message of the walk is composed here, then handed to the console whole,
// once what it tells has happened: a run cut short never tells of a fix it
// did not make.
char message[256];
size_t message_size = 0;

// The walk's reports reach the console several to a write, each whole, in
// writes of at most this size: on Windows the console takes each write call
// by itself, and would be slow with one call per report.
constexpr size_t BatchSize = 4096;

// Appends to the message under way. Every message of the walk is far shorter
// than its room; should one ever not fit, it is cut short there rather than
// run past the room.
void Tell(const char* text, size_t size) {
  size = std::min(size, sizeof message - message_size);
  memcpy(message + message_size, text, size);
  message_size += size;
}

template <size_t N>
void Tell(const char (&text)[N]) {
  Tell(text, N - 1);
}

// In plain decimal digits.
void TellNumber(uint64_t number) {
  char digits[20];
  const char* end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  Tell(digits, static_cast<size_t>(end - digits));
}

// Hands the message to the console, writing what waits there first when the
// message would take it past a batch.
void EndMessage() {
  if (ConsolePending() + message_size > BatchSize)
    FlushConsole();
  std::cout.write(message, static_cast<std::streamsize>(message_size));
  message_size = 0;
}

// Ends the walk: at the end of the file, or after a failure (StopWalk).
bool EndWalk() {
  FlushConsole();
  walked = nullptr;
  return false;
}

// Ends a walk that did not reach the end of the file, after its failure was
// told. Clearing the stream's indicators lets the caller tell this from a
// walk that read the whole file.
bool StopWalk(FILE* archive) {
  clearerr(archive);
  return EndWalk();
}

bool StopUnchecked(FILE* archive, int64_t section) {
  Tell(" Sections after offset ");
  TellNumber(static_cast<uint64_t>(section));
  Tell(" were not checked.\n");
  EndMessage();
  return StopWalk(archive);
}

bool ReadFailed(FILE* archive, int64_t section) {
  Tell("\nCouldn't read Coalesced.ini.");
  return StopUnchecked(archive, section);
}

uint32_t ReadLittleEndian(const char* bytes) {
  const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes);
  return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
         static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

// Writes `size` over the size field at `section`. The stream has no buffer
// of its own, so a write that succeeded is in the file. A failed seek writes
// nothing.
bool WriteSize(FILE* archive, int64_t section, uint32_t size) {
  const unsigned char field[4] = {static_cast<unsigned char>(size),
                                  static_cast<unsigned char>(size >> 8),
                                  static_cast<unsigned char>(size >> 16),
                                  static_cast<unsigned char>(size >> 24)};
  return SeekFile(archive, section) && fwrite(field, 1, 4, archive) == 4;
}

// The section that MeasureNextSection read last: its offset, its size
// field, its text's length, terminator included, and the first characters
// of its text, for a report.
int64_t start = 0;
uint32_t declared = 0;
uint64_t actual = 0;
char excerpt[ExcerptSize];
size_t shown = 0;

// Reads the next section of the walk on `archive`. True when a whole section
// was read; false when the walk is over, as RepairNextSection tells.
bool MeasureNextSection(FILE* archive) {
  if (archive != walked) {
    // A new walk begins at the first section, wherever the stream stands.
    walked = archive;
    begin = end = 0;
    offset = FirstSectionOffset;
    clearerr(archive);
    if (!SeekFile(archive, FirstSectionOffset))
      return ReadFailed(archive, offset);
  }
  start = offset;

  while (end - begin < 4) {
    if (!Refill(archive)) {
      if (ferror(archive))
        return ReadFailed(archive, start);
      return EndWalk();  // fewer than 4 bytes left: the end of the sections
    }
  }
  declared = ReadLittleEndian(buffer + begin);
  Consume(4);

  // Measure the text up to its terminator, keeping the first characters for
  // a report on the way.
  actual = 0;
  shown = 0;
  for (;;) {
    if (begin == end && !Refill(archive)) {
      if (ferror(archive))
        return ReadFailed(archive, start);
      Tell("Incomplete section at the end of file. Strange...");
      EndMessage();
      return EndWalk();
    }
    const char* from = buffer + begin;
    const size_t scan = static_cast<size_t>(
        std::min<uint64_t>(end - begin, MaxTextSize - actual));
    const char* zero = static_cast<const char*>(memchr(from, 0, scan));
    const size_t characters = zero ? static_cast<size_t>(zero - from) : scan;
    const size_t keep = std::min(characters, ExcerptSize - shown);
    memcpy(excerpt + shown, from, keep);
    shown += keep;
    const size_t taken = zero ? characters + 1 : scan;
    Consume(taken);
    actual += taken;
    if (zero)
      break;
    if (actual == MaxTextSize) {
      // No terminator within the longest text a size field can describe.
      Tell("\nSection at offset ");
      TellNumber(static_cast<uint64_t>(start));
      Tell(" is too long (4 GiB or more) to have its size fixed.");
      return StopUnchecked(archive, start);
    }
  }
  return true;
}

}  // namespace

bool RepairNextSection(FILE* archive) {
  if (!MeasureNextSection(archive))
    return false;
  if (actual == declared)
    return true;

  const bool written = WriteSize(archive, start, static_cast<uint32_t>(actual));
  SectionsFixed = true;
  // The excerpt goes to a terminal, which control characters would drive:
  // set its title, clear it, answer a query into the key wait. Beyond ASCII
  // a terminal may read them too: C1 controls as raw bytes (0x9B is CSI) or
  // in UTF-8 (C2 9B), whatever its locale or code page. So only printable
  // ASCII, tab and line break pass, and every other byte shows as one '?'.
  for (size_t i = 0; i < shown; ++i) {
    const unsigned char c = static_cast<unsigned char>(excerpt[i]);
    if ((c < 0x20 || c > 0x7E) && c != '\t' && c != '\n')
      excerpt[i] = '?';
  }
  // The report, told whole once the write's outcome is known.
  Tell("\nGarbled section at offset ");
  TellNumber(static_cast<uint64_t>(start));
  Tell(" (");
  Tell(excerpt, shown);
  Tell("...).\nSection size is ");
  TellNumber(declared);
  Tell(" but it should be ");
  TellNumber(actual);
  if (!written) {
    Tell(". Couldn't write the fix to Coalesced.ini.\n");
    EndMessage();
    return StopWalk(archive);
  }
  Tell(". Fixed\n");
  EndMessage();
  // Back to where the reading stands, for the next refill.
  if (!SeekFile(archive, offset + static_cast<int64_t>(end - begin)))
    return ReadFailed(archive, offset);
  return true;
}

bool FindGarbledSection(FILE* archive) {
  while (MeasureNextSection(archive)) {
    if (actual != declared) {
      // The walk that follows, if any, starts anew at the first section.
      walked = nullptr;
      return true;
    }
  }
  return false;
}
