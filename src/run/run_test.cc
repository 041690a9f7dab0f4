// Runs the built tool in a scratch directory and compares its whole console
// output, the archive after the run and the backup, byte for byte.
//
// INIFIXER_COMMAND names the tool to run (default: the native build); with
// INIFIXER_CRLF=1 every line break is expected as CR LF, as on Windows.
// Cases that wrap the tool in strace run on the native build only. A
// non-empty INIFIXER_SKIP skips every case, with its text as the reason: the
// tool cannot run on this machine.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include "archive/test_archive.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

using namespace std::string_literals;

// Every test that runs the tool.
class ToolTest : public ::testing::Test {
  void SetUp() override {
    const char* reason = std::getenv("INIFIXER_SKIP");
    if (reason && *reason)
      GTEST_SKIP() << reason;
  }
};

const std::string kBanner =
    "Vantorel ini fixer by Hesk Lombrin aka Quarrel808.\n\n"
    "If Coalesced.ini was edited, this program fixes it so that the file\n"
    "would not make the game crash.\n"
    "Makes a backup of current Coalesced.ini to Coalesced.ini.bak and "
    "overwrites it\nwith the fixed version.\n\n\n";
const std::string kPrompt = "\n\nPress any key to exit...";
const std::string kBackedUp = "Made a backup.\n";
const std::string kValid = "File is valid. No changes were made.\n";
const std::string kNoArchive =
    "Couldn't open file. Please make sure that it's present in the current "
    "working directory\n";
const std::string kInvalid =
    "This doesn't look like a valid Coalesced.ini.\nPlease make sure that "
    "you edit it in editor that can set line breaks to\nUnix format.\n"
    "Windows Notepad is not such editor. Get Notepad2 or Notepad++\n";
const std::string kNoBackup =
    "Couldn't write a complete backup to Coalesced.ini.bak. Coalesced.ini "
    "was not changed. I will exit now.\n";
const std::string kSameFile =
    "Coalesced.ini.bak is the same file as Coalesced.ini, so it can't hold a "
    "backup. Coalesced.ini was not changed. I will exit now.\n";
const std::string kNotSynced =
    "\nCouldn't make sure that the fixes reached the disk. Copy "
    "Coalesced.ini.bak over Coalesced.ini and run me again.\n";
const char kMissing[] = "<missing>";

const std::string kGood = kHeader + Section(4, "a=1") + Section(8, "[b]\nc=d");
const std::string kGarbled =
    kHeader + Section(4, "a=1") + Section(3, "[b]\nc=d") + Section(3, "e");
const std::string kRepaired =
    kHeader + Section(4, "a=1") + Section(8, "[b]\nc=d") + Section(2, "e");
const std::string kGarbledReport =
    "\nGarbled section at offset 12 ([b]\nc=d...).\nSection size is 3 but it "
    "should be 8. Fixed\n\nGarbled section at offset 24 (e...).\nSection "
    "size is 3 but it should be 2. Fixed\n";

// What is at `path`: the bytes of a file, or what else it is, after
// "<link>" when the name is a symbolic link. Pipes and devices are named,
// never read.
std::string Read(const std::string& path) {
  struct stat st;
  const std::string link =
      lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) ? "<link>" : "";
  if (stat(path.c_str(), &st) != 0)
    return link + kMissing;
  if (S_ISDIR(st.st_mode))
    return link + "<directory>";
  if (S_ISFIFO(st.st_mode))
    return link + "<pipe>";
  if (!S_ISREG(st.st_mode))
    return link + "<device>";
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return link + bytes.str();
}

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Crlf(const std::string& text) {
  std::string out;
  for (char c : text)
    out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

struct Case {
  const char* name;
  std::string archive;  // kMissing: no archive; "<directory>": a directory
  std::string backup;   // what Coalesced.ini.bak holds before the run
  std::string wrap;     // a native-only wrapper around the tool
  std::string output;   // between the banner and the exit prompt
  std::string archive_after, backup_after;
  std::string setup = "";  // shell commands run in the directory first
  // The tool's standard streams. With standard output closed, `output` is
  // kMissing: there is no console text to compare.
  std::string streams = "</dev/null >out 2>err";
  // Another program holds the archive open during the run (Windows builds
  // only: POSIX has no sharing modes).
  bool held_open = false;
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

class RunTest : public ToolTest, public ::testing::WithParamInterface<Case> {
};

TEST_P(RunTest, PrintsAndLeavesExactly) {
  const Case& c = GetParam();
  const char* command = std::getenv("INIFIXER_COMMAND");
  const bool crlf = std::getenv("INIFIXER_CRLF") != nullptr;
  const char* hold = std::getenv("INIFIXER_HOLD");
  if (command && !c.wrap.empty())
    GTEST_SKIP() << "runs on the native build only";
  if (c.held_open && !(hold && *hold))
    GTEST_SKIP() << "runs on the Windows builds only";

  // Named per process: the native and the Windows runs of a case may run
  // side by side.
  const std::string dir = ::testing::TempDir() + "run_test_" +
                          std::to_string(getpid()) + "_" + c.name;
  ASSERT_EQ(
      std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str()),
      0);
  const std::string archive = dir + "/Coalesced.ini";
  const std::string backup = dir + "/Coalesced.ini.bak";
  for (auto [path, bytes] :
       {std::pair(archive, c.archive), {backup, c.backup}}) {
    if (bytes == "<directory>")
      mkdir(path.c_str(), 0755);
    else if (bytes != kMissing)
      Write(path, bytes);
  }

  if (!c.setup.empty()) {
    ASSERT_EQ(std::system(("cd '" + dir + "' && " + c.setup).c_str()), 0);
  }
  if (c.held_open) {
    // The holder ends once `held` is gone with the directory, or in a
    // minute.
    ASSERT_EQ(std::system(("cd '" + dir + "' && (" + hold +
                           " Coalesced.ini </dev/null >/dev/null 2>&1 &) && "
                           "for i in $(seq 600); do [ -e held ] && exit; "
                           "sleep 0.1; done; exit 1")
                              .c_str()),
              0);
  }

  // A run that hangs fails with timeout's status 124 instead of stalling.
  const std::string run = "cd '" + dir + "' && timeout 120 " + c.wrap + " " +
                          (command ? command : INIFIXER_PATH) +
                          " ignored --arguments " + c.streams;
  const int status = std::system(run.c_str());
  ASSERT_TRUE(WIFEXITED(status)) << run;
  EXPECT_EQ(WEXITSTATUS(status), 0) << run;

  const std::string expected = c.output == kMissing
                                   ? c.output
                                   : kBanner + c.output + kPrompt;
  EXPECT_EQ(Read(dir + "/out"), crlf ? Crlf(expected) : expected);
  EXPECT_EQ(Read(archive), c.archive_after);
  EXPECT_EQ(Read(backup), c.backup_after);
  if (!HasFailure())
    std::system(("rm -rf '" + dir + "'").c_str());
}

// Fails the `n`th call of `call` on `file` in the tool's run.
std::string Fail(const char* file, const char* call, const char* error,
                 const std::string& n = "1") {
  // strace matches an opening by the name given, later calls by the full
  // path of their file descriptor. A sanitizer build's leak check cannot
  // run under ptrace and would fail the exit; it is off for these runs.
  return std::string("env ASAN_OPTIONS=detect_leaks=0 strace -o /dev/null -P ") +
         file + " -P \"$PWD/" + file + "\" -e inject=" + call +
         ":error=" + error + ":when=" + n;
}

// The report on kGarbled's first garbled section, up to its last words.
const std::string kFirstReport =
    "\nGarbled section at offset 12 ([b]\nc=d...).\nSection size is 3 but it "
    "should be 8";
const std::string kNotWritten = ". Couldn't write the fix to Coalesced.ini.\n";
const std::string kReadStopped =
    "\nCouldn't read Coalesced.ini. Sections after offset 4 were not "
    "checked.\n";

INSTANTIATE_TEST_SUITE_P(
    Runs, RunTest,
    ::testing::Values(
        Case{"no_archive", kMissing, kMissing, "", kNoArchive, kMissing,
             kMissing},
        Case{"archive_is_directory", "<directory>", kMissing, "", kNoArchive,
             "<directory>", kMissing},
        Case{"header_1F", "\x1F" + kGood.substr(1), "old", "", kInvalid,
             "\x1F" + kGood.substr(1), "old"},
        Case{"header_1E01", "\x1E\x01" + kGood.substr(2), kMissing, "",
             kInvalid, "\x1E\x01" + kGood.substr(2), kMissing},
        Case{"header_zero", std::string(4, '\0'), kMissing, "", kInvalid,
             std::string(4, '\0'), kMissing},
        Case{"empty", "", kMissing, "", kInvalid, "", kMissing},
        Case{"one_byte", "\x1E", kMissing, "", kInvalid, "\x1E", kMissing},
        Case{"two_bytes", kHeader.substr(0, 2), kMissing, "",
             kBackedUp + kValid, kHeader.substr(0, 2), kHeader.substr(0, 2)},
        Case{"three_bytes", kHeader.substr(0, 3), kMissing, "",
             kBackedUp + kValid, kHeader.substr(0, 3), kHeader.substr(0, 3)},
        Case{"header_FFFF", "\x1E\0\xFF\xFF"s, kMissing, "", kBackedUp + kValid,
             "\x1E\0\xFF\xFF"s, "\x1E\0\xFF\xFF"s},
        Case{"all_consistent", kGood, "a much longer stale backup", "",
             kBackedUp + kValid, kGood, kGood},
        Case{"garbled", kGarbled, kMissing, "", kBackedUp + kGarbledReport,
             kRepaired, kGarbled},
        Case{"incomplete_only", kGood + Field(5) + "ab", kMissing, "",
             kBackedUp + "Incomplete section at the end of file. Strange..." +
                 kValid,
             kGood + Field(5) + "ab", kGood + Field(5) + "ab"},
        Case{"backup_is_directory", kGarbled, "<directory>", "",
             "Couldn't open Coalesced.ini.bak for writing. Please make sure "
             "that I have permissions to write to it. I will exit now.\n",
             kGarbled, "<directory>"},
        Case{"backup_open_fails", kGarbled, kMissing,
             Fail("Coalesced.ini", "openat", "EACCES", "2"),
             "Couldn't open Coalesced.ini. Please make sure that it's present "
             "in the current working directory\n",
             kGarbled, kMissing},
        Case{"backup_write_fails", kGarbled, kMissing,
             Fail("Coalesced.ini.bak", "write", "ENOSPC", "1+") +
                 " -e inject=writev:error=ENOSPC",
             kNoBackup, kGarbled, ""},
        Case{"backup_read_fails", kGarbled, kMissing,
             Fail("Coalesced.ini", "read", "EIO", "2"), kNoBackup, kGarbled,
             ""},
        Case{"backup_sync_fails", kGarbled, kMissing,
             Fail("Coalesced.ini.bak", "fsync", "EIO"), kNoBackup, kGarbled,
             kGarbled},
        Case{"second_open_fails", kGarbled, kMissing,
             Fail("Coalesced.ini", "openat", "EACCES", "3"),
             kBackedUp + kNoArchive, kGarbled, kGarbled},
        Case{"walk_read_fails", kGood, kMissing,
             Fail("Coalesced.ini", "read", "EIO", "5"),
             kBackedUp + kReadStopped, kGood, kGood},
        Case{"walk_seek_fails", kGood, kMissing,
             Fail("Coalesced.ini", "lseek", "EIO", "4"),
             kBackedUp + kReadStopped, kGood, kGood},
        Case{"fix_write_fails", kGarbled, kMissing,
             Fail("Coalesced.ini", "write", "EIO"),
             kBackedUp + kFirstReport + kNotWritten, kGarbled, kGarbled},
        Case{"fix_seek_fails", kGarbled, kMissing,
             Fail("Coalesced.ini", "lseek", "EIO", "5"),
             kBackedUp + kFirstReport + kNotWritten, kGarbled, kGarbled},
        // The fix landed, but the walk cannot find its place again.
        Case{"resume_seek_fails", kGarbled, kMissing,
             Fail("Coalesced.ini", "lseek", "EIO", "6"),
             kBackedUp + kFirstReport +
                 ". Fixed\n\nCouldn't read Coalesced.ini. Sections after "
                 "offset 24 were not checked.\n",
             kHeader + Section(4, "a=1") + Section(8, "[b]\nc=d") +
                 Section(3, "e"),
             kGarbled},
        Case{"fix_sync_fails", kGarbled, kMissing,
             Fail("Coalesced.ini", "fsync", "EIO"),
             kBackedUp + kGarbledReport + kNotSynced, kRepaired, kGarbled},
        Case{"fix_close_fails", kGarbled, kMissing,
             Fail("Coalesced.ini", "close", "EIO", "3"),
             kBackedUp + kGarbledReport + kNotSynced, kRepaired, kGarbled},
        // Nothing was written, so nothing is flushed: no fsync to fail.
        Case{"valid_needs_no_sync", kGood, kMissing,
             Fail("Coalesced.ini", "fsync", "EIO"), kBackedUp + kValid, kGood,
             kGood},
        // Links and special files where files are expected.
        Case{"backup_links_to_archive", kGarbled, kMissing, "", kSameFile,
             kGarbled, "<link>" + kGarbled,
             "ln -s Coalesced.ini Coalesced.ini.bak"},
        Case{"backup_is_hard_link", kGarbled, kMissing, "", kSameFile, kGarbled,
             kGarbled, "ln Coalesced.ini Coalesced.ini.bak"},
        Case{"both_link_elsewhere", kGarbled, kMissing, "", kSameFile,
             "<link>" + kGarbled, "<link>" + kGarbled,
             "mkdir real && mv Coalesced.ini real/ && "
             "ln -s real/Coalesced.ini Coalesced.ini && "
             "ln -s real/Coalesced.ini hop && ln -s hop Coalesced.ini.bak"},
        Case{"archive_links_elsewhere", kGarbled, kMissing, "",
             kBackedUp + kGarbledReport, "<link>" + kRepaired, kGarbled,
             "mkdir real && mv Coalesced.ini real/ && "
             "ln -s real/Coalesced.ini Coalesced.ini"},
        Case{"archive_is_pipe", kMissing, kMissing, "", kNoArchive, "<pipe>",
             kMissing, "mkfifo Coalesced.ini"},
        Case{"archive_is_device", kMissing, kMissing, "", kNoArchive,
             "<link><device>", kMissing, "ln -s /dev/zero Coalesced.ini"},
        Case{"backup_is_pipe", kGarbled, kMissing, "", kNoBackup, kGarbled,
             "<pipe>", "mkfifo Coalesced.ini.bak"},
        Case{"backup_is_device", kGarbled, kMissing, "", kNoBackup, kGarbled,
             "<link><device>", "ln -s /dev/null Coalesced.ini.bak"},
        // Closed standard streams: the archive must not take their place.
        Case{"stdin_stderr_closed", kGarbled, kMissing, "",
             kBackedUp + kGarbledReport, kRepaired, kGarbled, "",
             "<&- >out 2>&-"},
        Case{"stdout_stderr_closed", kGarbled, kMissing, "", kMissing,
             kRepaired, kGarbled, "", "</dev/null >&- 2>&-"},
        // The console's reader is gone before the tool writes: the run goes
        // on to the end and exits with status 0, which the reader passes on.
        Case{"console_pipe_closed", kGarbled, kMissing,
             "sh -c 'until [ -e closed ]; do sleep 0.01; done; "
             "\"$0\" \"$@\"; echo $? >status'",
             kMissing, kRepaired, kGarbled, "",
             "</dev/null 2>err | (exec <&-; touch closed; "
             "until [ -e status ]; do sleep 0.01; done; exit $(cat status))"},
        // The game or an editor has the archive open: nothing is touched.
        Case{"archive_held_open", kGarbled, kMissing, "", kNoArchive, kGarbled,
             kMissing, "", "</dev/null >out 2>err", true}),
    [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

// The generator's sample, repaired once, is found valid by a second run,
// whose backup then holds the repaired archive.
class RunTwice : public ToolTest {};

TEST_F(RunTwice, SecondRunFindsRepairedArchiveValid) {
  const std::string dir =
      ::testing::TempDir() + "run_twice_" + std::to_string(getpid());
  const char* command = std::getenv("INIFIXER_COMMAND");
  const std::string tool = command ? command : INIFIXER_PATH;
  const std::string run = "cd '" + dir + "' && " + tool + " </dev/null >out";
  ASSERT_EQ(std::system(("rm -rf '" + dir + "' && mkdir '" + dir + "' && " +
                         MAKE_ARCHIVE_PATH + " '" + dir +
                         "/Coalesced.ini' --sections 200 --garbled-every 3")
                            .c_str()),
            0);
  const std::string original = Read(dir + "/Coalesced.ini");
  ASSERT_EQ(std::system(run.c_str()), 0);
  const std::string repaired = Read(dir + "/Coalesced.ini");
  EXPECT_EQ(Read(dir + "/Coalesced.ini.bak"), original);
  EXPECT_NE(Read(dir + "/out").find("Garbled section"), std::string::npos);
  EXPECT_EQ(repaired.size(), original.size());

  ASSERT_EQ(std::system(run.c_str()), 0);
  const std::string expected = kBanner + kBackedUp + kValid + kPrompt;
  EXPECT_EQ(Read(dir + "/out"),
            std::getenv("INIFIXER_CRLF") ? Crlf(expected) : expected);
  EXPECT_EQ(Read(dir + "/Coalesced.ini"), repaired);
  EXPECT_EQ(Read(dir + "/Coalesced.ini.bak"), repaired);
  if (!HasFailure())
    std::system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace
