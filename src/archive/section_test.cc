#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "archive/archive.h"
#include "archive_bytes.h"
#include "test_walk.h"
#include "texts.h"

namespace {

// Walks `bytes` as the archive, opened `mode`, to the end. The file is named
// per process and test: CTest runs each test as a process of its own, side
// by side with the others.
Walk WalkArchive(const std::string& bytes, const char* mode = "r+b") {
  const std::string path =
      ::testing::TempDir() + "section_test_" + std::to_string(getpid()) + "_" +
      ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".ini";
  FILE* file = fopen(path.c_str(), "wb");
  fwrite(bytes.data(), 1, bytes.size(), file);
  fclose(file);

  FILE* archive = fopen(path.c_str(), mode);
  Walk walk = WalkStream(archive);
  fclose(archive);

  file = fopen(path.c_str(), "rb");
  char chunk[4096];
  for (size_t n; (n = fread(chunk, 1, sizeof chunk, file)) > 0;)
    walk.after.append(chunk, n);
  fclose(file);
  remove(path.c_str());
  return walk;
}

const auto Report = FixedReport;
const std::string Incomplete = Text("incomplete");

TEST(RepairNextSection, ReportsAndFixesGarbledSections) {
  const std::string twenty(20, 'x');
  const std::string nineteen(19, 'y');
  const std::string ok = Section("a=1");  // 8 bytes
  struct Case {
    const char* name;
    std::string before, after, output;
    int sections;
  };
  const Case cases[] = {
      {"no sections", Header, Header, "", 0},
      {"consistent", Header + ok + Section("[b]\nc=d"),
       Header + ok + Section("[b]\nc=d"), "", 2},
      {"abc sized 3", Header + Section(3, "abc"), Header + Section("abc"),
       Report(4, "abc", 3, 4), 1},
      {"excerpt of 19 characters", Header + Section(1, twenty),
       Header + Section(twenty), Report(4, twenty.substr(0, 19), 1, 21), 1},
      {"text of exactly 19", Header + Section(2, nineteen),
       Header + Section(nineteen), Report(4, nineteen, 2, 20), 1},
      {"empty text", Header + Section(7, ""), Header + Section(""),
       Report(4, "", 7, 1), 1},
      {"declared 0", Header + Section(0, "k=v"), Header + Section("k=v"),
       Report(4, "k=v", 0, 4), 1},
      {"declared FF FF FF FF", Header + Section(0xFFFFFFFF, "k"),
       Header + Section("k"), Report(4, "k", 4294967295u, 2), 1},
      {"line break in excerpt", Header + Section(1, "[a]\nb"),
       Header + Section("[a]\nb"), Report(4, "[a]\nb", 1, 6), 1},
      // Every byte but printable ASCII, tab and line break shows as '?': C0
      // controls, DEL, C1 controls and UTF-8 (é) alike.
      {"control characters",
       Header + Section(1, "\x1B]0;T\x07\x01\x1F \t~\x7F\x80\xFF\xC3\xA9"),
       Header + Section("\x1B]0;T\x07\x01\x1F \t~\x7F\x80\xFF\xC3\xA9"),
       Report(4, "?]0;T?\?? \t~?????", 1, 17), 1},
      // The second offset follows the first text, not its declared size.
      {"two garbled in a row",
       Header + Section(100, "ab") + Section(1, "cd") + ok,
       Header + Section("ab") + Section("cd") + ok,
       Report(4, "ab", 100, 3) + Report(11, "cd", 1, 3), 3},
      // Close to the end of the file, with a section after it.
      {"garbled near the end, one after",
       Header + Section(9, "e") + Section(9, "f"),
       Header + Section("e") + Section("f"),
       Report(4, "e", 9, 2) + Report(10, "f", 9, 2), 2},
      {"three stray bytes", Header + ok + "zzz", Header + ok + "zzz", "", 1},
      {"four bytes after the last", Header + ok + "zzzz", Header + ok + "zzzz",
       Incomplete, 1},
      {"incomplete after a fix",
       Header + Section(5, "g") + Field(9) + "unterminated",
       Header + Section("g") + Field(9) + "unterminated",
       Report(4, "g", 5, 2) + Incomplete, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Walk walk = WalkArchive(c.before);
    EXPECT_EQ(walk.output, c.output);
    EXPECT_EQ(walk.after, c.after);
    EXPECT_EQ(walk.sections, c.sections);
    EXPECT_TRUE(walk.at_end);
    EXPECT_EQ(SectionsFixed, c.before != c.after);
  }
}

// Texts and size fields that cross the walk's buffer, which holds far less
// than these texts.
TEST(RepairNextSection, FindsSectionsAcrossBufferRefills) {
  for (size_t first : {65529, 65530, 65531, 65532, 200000}) {
    SCOPED_TRACE(first);
    const std::string text(first, 'q');
    const std::string before =
        Header + Section(1, text) + Section(3, "xyz") + Section("last");
    const Walk walk = WalkArchive(before);
    EXPECT_EQ(walk.output, Report(4, std::string(19, 'q'), 1, first + 1) +
                               Report(9 + first, "xyz", 3, 4));
    EXPECT_EQ(walk.after,
              Header + Section(text) + Section("xyz") + Section("last"));
    EXPECT_EQ(walk.sections, 3);
  }
}

// Reports reach the console whole and several to a write: a console that
// takes each write by itself is slow with a write per report.
TEST(RepairNextSection, TellsMessagesWholeAndSeveralToAWrite) {
  std::string before = Header;
  std::string output;
  for (int64_t offset = 4; offset < 200 * 12; offset += 12) {
    before += Section(1, "[a]\nk=v");
    output += Report(offset, "[a]\nk=v", 1, 8);
  }
  const Walk walk = WalkArchive(before + Field(9) + "cut");
  EXPECT_EQ(walk.output, output + Incomplete);
  EXPECT_GT(walk.writes.size(), 1u);
  EXPECT_LT(walk.writes.size(), 20u);
  // Up to the offset, the words every report begins with.
  const std::string report = Text("report", {"", "", "", ""});
  const std::string begins = report.substr(0, report.find(" ("));
  for (const std::string& write : walk.writes) {
    EXPECT_EQ(write.rfind(begins, 0), 0u) << write;
    const std::string last = write.substr(write.rfind('\n'));
    EXPECT_TRUE(last == "\n" || last == "\n" + Incomplete) << write;
  }
}

TEST(RepairNextSection, StopsOnFailuresWithoutClaimingTheFileWasRead) {
  // A stream that cannot be written: the report says so and the walk ends.
  Walk walk = WalkArchive(
      Header + Section("ok") + Section(1, "bad") + Section(1, "unchecked"),
      "rb");
  EXPECT_EQ(walk.output,
            Text("report", {"11", "bad", "1", "4"}) + Text("not_written"));
  EXPECT_EQ(walk.sections, 1);
  EXPECT_TRUE(SectionsFixed);
  EXPECT_FALSE(walk.at_end);

  // A directory opens for reading, but every read of it fails.
  const std::string dir = ::testing::TempDir();
  FILE* archive = fopen(dir.c_str(), "rb");
  ASSERT_NE(archive, nullptr);
  walk = WalkStream(archive);
  EXPECT_EQ(walk.sections, 0);
  EXPECT_EQ(walk.output, Text("read_failed") + Text("unchecked", {"4"}));
  EXPECT_FALSE(feof(archive));
  EXPECT_FALSE(SectionsFixed);
  fclose(archive);
}

}  // namespace
