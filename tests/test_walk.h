// A walk over an archive, as the tool makes it, that notes what it printed,
// write by write, and how it ended.
#ifndef INIFIXER_TESTS_TEST_WALK_H_
#define INIFIXER_TESTS_TEST_WALK_H_

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "console.h"

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
  std::streambuf* const console = std::cout.rdbuf();
  ConsoleWritesTo(&log);
  // Only tests clear the flag: each walk here stands for a run of its own.
  SectionsFixed = false;
  while (RepairNextSection(archive))
    ++walk.sections;
  FlushConsole();
  std::cout.rdbuf(console);
  walk.writes = log.writes;
  for (const std::string& write : walk.writes)
    walk.output += write;
  walk.at_end = feof(archive) && !ferror(archive);
  walk.fixed = SectionsFixed;
  return walk;
}

#endif  // INIFIXER_TESTS_TEST_WALK_H_
