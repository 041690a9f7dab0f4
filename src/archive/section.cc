#include <algorithm>
#include <charconv>
#include <cstring>
#include <iostream>

#include "archive.h"
#include "platform.h"

bool SectionsFixed = false;

namespace {

// The walk reads the archive through this buffer and finds each terminator
// with memchr, rather than making a library call per byte. The unread bytes
// are buffer[begin, end), the first of them at file offset `offset`; the
// stream itself stands at offset + (end - begin).
constexpr size_t kBufferSize = 64 * 1024;
char buffer[kBufferSize];
size_t begin = 0;
size_t end = 0;
int64_t offset = 0;

// The stream of the walk under way, or null between walks.
FILE* walked = nullptr;

// How many characters of a garbled section's text its report shows.
constexpr size_t kExcerptSize = 19;

// The largest text length, terminator included, that a size field can hold.
constexpr uint64_t kMaxTextSize = UINT32_MAX;

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
  size_t got = fread(buffer + end, 1, kBufferSize - end, archive);
  end += got;
  return got > 0;
}

// What the walk tells waits here and goes to the console in one write when
// the next message would not fit, and when the walk ends. A console that
// takes each write call by itself (on Windows, a character device) would be
// slow with one call per report. A message is added only once what it tells
// has happened, so a run cut short never tells of a fix it did not make.
constexpr size_t kToldSize = 4096;
constexpr size_t kLongestMessage = 256;
char told[kToldSize];
size_t told_size = 0;

// Shows what was told so far. A console write that failed loses its own text
// only: clearing the stream's failure lets the later messages through.
void ShowTold() {
  if (told_size > 0)
    std::cout.write(told, static_cast<std::streamsize>(told_size));
  told_size = 0;
  std::cout.flush();
  std::cout.clear();
}

// Starts a message, which stays whole within one write to the console.
void BeginMessage() {
  if (kToldSize - told_size < kLongestMessage)
    ShowTold();
}

void Tell(const char* text, size_t size) {
  memcpy(told + told_size, text, size);
  told_size += size;
}

template <size_t N>
void Tell(const char (&text)[N]) {
  Tell(text, N - 1);
}

// In plain decimal digits.
void TellNumber(uint64_t number) {
  told_size = static_cast<size_t>(
      std::to_chars(told + told_size, told + kToldSize, number).ptr - told);
}

// Ends the walk, which reached the end of the file.
bool EndWalk() {
  ShowTold();
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
  return StopWalk(archive);
}

bool ReadFailed(FILE* archive, int64_t section) {
  BeginMessage();
  Tell("\nCouldn't read Coalesced.ini.");
  return StopUnchecked(archive, section);
}

uint32_t ReadLittleEndian(const char* bytes) {
  const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes);
  return b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24;
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

}  // namespace

bool RepairNextSection(FILE* archive) {
  if (archive != walked) {
    // A new walk begins at the first section, wherever the stream stands.
    walked = archive;
    begin = end = 0;
    offset = FirstSectionOffset;
    clearerr(archive);
    if (!SeekFile(archive, FirstSectionOffset))
      return ReadFailed(archive, offset);
  }
  const int64_t start = offset;

  while (end - begin < 4) {
    if (!Refill(archive)) {
      if (ferror(archive))
        return ReadFailed(archive, start);
      return EndWalk();  // fewer than 4 bytes left: the end of the sections
    }
  }
  const uint32_t declared = ReadLittleEndian(buffer + begin);
  Consume(4);

  // Measure the text up to its terminator, keeping the first characters for
  // a report on the way.
  uint64_t actual = 0;
  char excerpt[kExcerptSize];
  size_t shown = 0;
  for (;;) {
    if (begin == end && !Refill(archive)) {
      if (ferror(archive))
        return ReadFailed(archive, start);
      BeginMessage();
      Tell("Incomplete section at the end of file. Strange...");
      return EndWalk();
    }
    const char* from = buffer + begin;
    const size_t scan = static_cast<size_t>(
        std::min<uint64_t>(end - begin, kMaxTextSize - actual));
    const char* zero = static_cast<const char*>(memchr(from, 0, scan));
    const size_t characters = zero ? static_cast<size_t>(zero - from) : scan;
    const size_t keep = std::min(characters, kExcerptSize - shown);
    memcpy(excerpt + shown, from, keep);
    shown += keep;
    const size_t taken = zero ? characters + 1 : scan;
    Consume(taken);
    actual += taken;
    if (zero)
      break;
    if (actual == kMaxTextSize) {
      // No terminator within the longest text a size field can describe.
      BeginMessage();
      Tell("\nSection at offset ");
      TellNumber(static_cast<uint64_t>(start));
      Tell(" is too long (4 GiB or more) to have its size fixed.");
      return StopUnchecked(archive, start);
    }
  }

  if (actual == declared)
    return true;

  const bool written = WriteSize(archive, start, static_cast<uint32_t>(actual));
  SectionsFixed = true;
  // The report, told whole once the write's outcome is known.
  BeginMessage();
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
    return StopWalk(archive);
  }
  Tell(". Fixed\n");
  // Back to where the reading stands, for the next refill.
  if (!SeekFile(archive, offset + static_cast<int64_t>(end - begin)))
    return ReadFailed(archive, offset);
  return true;
}
