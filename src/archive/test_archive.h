// Archive bytes built in tests (size fields, sections and the header), and
// a walk over an archive that notes what it did.
#ifndef INIFIXER_ARCHIVE_TEST_ARCHIVE_H_
#define INIFIXER_ARCHIVE_TEST_ARCHIVE_H_

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "archive/archive.h"

// A 32-bit little-endian size field.
inline std::string Field(uint32_t size) {
  return {static_cast<char>(size), static_cast<char>(size >> 8),
          static_cast<char>(size >> 16), static_cast<char>(size >> 24)};
}

// A section whose size field says `declared`; the text gets its terminator.
inline std::string Section(uint32_t declared, const std::string& characters) {
  return Field(declared) + characters + '\0';
}

// A consistent section.
inline std::string Section(const std::string& characters) {
  return Section(static_cast<uint32_t>(characters.size() + 1), characters);
}

inline const std::string kHeader("\x1E\0\0\0", 4);

// Keeps each write that reaches it apart from the others.
struct WriteLog : std::streambuf {
  std::vector<std::string> writes;
  std::streamsize xsputn(const char* text, std::streamsize size) override {
    writes.emplace_back(text, static_cast<size_t>(size));
    return size;
  }
  int overflow(int c) override {
    if (c != EOF)
      writes.emplace_back(1, static_cast<char>(c));
    return c;
  }
};

struct Walk {
  std::string output;
  std::vector<std::string> writes;  // `output` as it reached the console
  std::string after;  // the file's bytes after the walk, filled by the caller
  int sections = 0;   // calls that returned true
  bool at_end = false;
  bool fixed = false;
};

// Walks `archive` to the end as the tool does, unbuffered, and notes what
// the walk printed and how it ended. The stream stays open.
inline Walk WalkStream(FILE* archive) {
  Walk walk;
  setvbuf(archive, nullptr, _IONBF, 0);
  WriteLog log;
  std::streambuf* const console = std::cout.rdbuf(&log);
  SectionsFixed = false;
  while (RepairNextSection(archive))
    ++walk.sections;
  std::cout.rdbuf(console);
  walk.writes = log.writes;
  for (const std::string& write : walk.writes)
    walk.output += write;
  walk.at_end = feof(archive) && !ferror(archive);
  walk.fixed = SectionsFixed;
  return walk;
}

#endif  // INIFIXER_ARCHIVE_TEST_ARCHIVE_H_
