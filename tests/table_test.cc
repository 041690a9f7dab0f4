// Runs the built tool in a scratch directory and compares its whole console
// output, the archive after the run and the backup, byte for byte: the
// end-to-end table, each row a test `table.<row>`, which CTest runs once per
// build as `<build>.table.<row>`.
//
// The environment describes the build: INIFIXER_COMMAND is the command that
// runs the tool, its words quoted for sh (default: the native build); with
// INIFIXER_CRLF=1 every line break is expected as CR LF, as on Windows;
// INIFIXER_HOLD is the command, quoted alike, of the Windows helper that
// holds a file open; INIFIXER_EMULATED names the emulator the tool runs
// under; INIFIXER_SCRATCH puts the rows' directories on a file system
// mounted there (tests/mount_scratch.sh), whose kind INIFIXER_FS names
// (exfat, ntfs). Only the rows that apply to that build are registered
// (Applies), so `--gtest_list_tests` in the same environment lists them.
//
// What this machine lacks skips a row at run time, with the reason: the file
// INIFIXER_SKIP_FILE names (a build that cannot run here), or an X server
// for the real windows. A process whose every test was skipped ends with
// status 77, which CTest reports as skipped.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "archive_bytes.h"
#include "terminals_linux.h"
#include "texts.h"

namespace {

using namespace std::string_literals;

// The directory the cases make their own directories in, ending in '/'.
std::string ScratchRoot() {
  const char* scratch = std::getenv("INIFIXER_SCRATCH");
  return scratch && *scratch ? std::string(scratch) + "/"
                             : ::testing::TempDir();
}

std::string Read(const std::string& path);

// Every test that runs the tool.
class ToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* skip = std::getenv("INIFIXER_SKIP_FILE");
    if (skip && access(skip, F_OK) == 0)
      GTEST_SKIP() << Read(skip);
    const char* scratch = std::getenv("INIFIXER_SCRATCH");
    if (!scratch || !*scratch)
      return;
    // A mount that went missing must not pass for the file system: the
    // cases would run on the disk that holds the mount point.
    struct stat root, parent;
    ASSERT_EQ(stat(scratch, &root), 0) << scratch;
    ASSERT_EQ(stat((std::string(scratch) + "/..").c_str(), &parent), 0);
    ASSERT_NE(root.st_dev, parent.st_dev)
        << "nothing is mounted on " << scratch;
  }
};

const std::string Banner = Text("banner");
const std::string Prompt = Text("prompt");
const std::string BackedUp = Text("backed_up");
const std::string Valid = Text("valid");
const std::string NoArchive = Text("no_archive");
const std::string Invalid = Text("invalid");
const std::string NoBackup = Text("no_backup");
const std::string SameFile = Text("same_file");
const std::string NotSynced = Text("not_synced");
const char Missing[] = "<missing>";

const std::string Good = Header + Section(4, "a=1") + Section(8, "[b]\nc=d");
const std::string Garbled =
    Header + Section(4, "a=1") + Section(3, "[b]\nc=d") + Section(3, "e");
const std::string Repaired =
    Header + Section(4, "a=1") + Section(8, "[b]\nc=d") + Section(2, "e");
const std::string GarbledReport =
    FixedReport(12, "[b]\nc=d", 3, 8) + FixedReport(24, "e", 3, 2);
const std::string Pwned =
    "\x1B]0;PWNED\x07\x1B[2J\xC2\x9B"
    "6n\x9B";
const std::string BackupIsLink = Text("backup_is_link");
const std::string KeptAway = "mkdir away && echo kept >away/f && ";

// What is at `path`: the bytes of a file, or what else it is, after
// "<link>" when the name is a symbolic link. Pipes and devices are named,
// never read.
std::string Read(const std::string& path) {
  struct stat st;
  const std::string link =
      lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) ? "<link>" : "";
  if (stat(path.c_str(), &st) != 0)
    return link + Missing;
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

// `text` quoted for a shell.
std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text)
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Removes what a passed test leaves, the shell words `paths`. Only as far
// as it can: a stand-in terminal may still be writing its last lines into
// the row's folder, which then stays; no test depends on its going.
void Remove(const std::string& paths) {
  if (std::system(("rm -rf " + paths).c_str()) != 0) {
  }
}

// Makes `folder` hold the stand-in terminals `names` (separated by spaces):
// links to tests/stand_in_terminal.sh, or, for a name ending in "!", a file
// that cannot be executed. True on success.
bool MakeTerminals(const std::string& folder, const std::string& names) {
  if (std::system(
          ("rm -rf " + Quote(folder) + " && mkdir " + Quote(folder)).c_str()))
    return false;
  std::istringstream words(names);
  for (std::string name; words >> name;) {
    if (name.back() != '!') {
      if (symlink(STAND_IN_TERMINAL, (folder + "/" + name).c_str()) != 0)
        return false;
      continue;
    }
    const std::string path = folder + "/" + name.substr(0, name.size() - 1);
    Write(path, "not a program\n");
    if (chmod(path.c_str(), 0755) != 0)
      return false;
  }
  return true;
}

struct Case {
  std::string name;
  std::string archive;  // Missing: no archive; "<directory>": a directory
  std::string backup;   // what Coalesced.ini.bak holds before the run
  std::string wrap;     // a native-only wrapper around the tool
  std::string output;   // between the banner and the exit prompt
  std::string archive_after, backup_after;
  std::string setup = "";  // shell commands run in the directory first
  // The tool's standard streams. With standard output closed, `output` is
  // Missing: there is no console text to compare.
  std::string streams = "</dev/null >out 2>err";
  // Another program holds the archive open during the run (Windows builds
  // only: POSIX has no sharing modes).
  bool held_open = false;
  // What a first run prints, started in the folder before this one in a
  // terminal of its own (script) and waiting for its key until this one has
  // ended; under Wine, a reader that shares only reading (the game) reads the
  // archive meanwhile, and gets `archive_after`. Empty: no first run.
  std::string first = "";
  // Linux builds only: under Wine a symbolic link shows as a plain file.
  bool linux_only = false;
  // Started as a file manager starts it: no terminal (setsid), with these
  // stand-in terminals (tests/stand_in_terminal.sh) alone on PATH; a name
  // ending in "!" is a file there that cannot be executed.
  std::string terminals = "";
  // VAR=VALUE words for the run: the graphical session, the stand-ins'
  // settings.
  std::string session = "";
  // What the stand-ins log (Logged).
  std::string log = Missing;
  // Run under a pseudo-terminal that is its controlling terminal (script),
  // with standard output to `out`; the terminal's settings (stty -g) must be
  // the same after the run, else the player's shell would no longer echo.
  bool with_tty = false;
  // The real terminal whose window the run opens (tests/in_window.sh).
  std::string window = "";
  // What the report of a run that nobody sees holds after it; Missing: none.
  std::string report = Missing;
  // Added to the name of the row's folder, for a row about folder names.
  std::string folder = "";
  // `output` follows the banner; a refused copy's has none.
  bool banner = true;
  // The copy, its output a terminal, titles its window first.
  bool titled = false;
};

// Whether `setup` runs `command`, at its start or after "&& ".
bool Runs(const std::string& setup, const std::string& command) {
  for (size_t at = 0; (at = setup.find(command + " ", at)) != setup.npos; ++at)
    if (at == 0 || (at >= 3 && setup.compare(at - 3, 3, "&& ") == 0))
      return true;
  return false;
}

// Whether row `c` applies to the build the environment describes: rows that
// wrap the tool need the native build; a first run, no package (whose
// command copies the executable in place at each start, over the one that
// the first run executes); another program holding the archive open, the
// Windows builds (POSIX has no sharing modes); a hand-over or a copy asking
// its tool, a POSIX build whose copy starts by its own path (Windows gives
// the tool its console, and under an emulator the copy would start outside
// it), on the disk: a mounted file system plays no part in it; links and
// pipes or a `"` in a folder's name, a file system that has them (exFAT has
// none of them). A row that does not apply is not registered at all.
bool Applies(const Case& c) {
  const char* fs = std::getenv("INIFIXER_FS");
  const bool hold = std::getenv("INIFIXER_HOLD") != nullptr;
  const bool hands_over = !c.terminals.empty() || !c.window.empty() ||
                          c.wrap.find("INIFIXER_HANDED_OVER_BY") != c.wrap.npos;
  if (!c.wrap.empty() && std::getenv("INIFIXER_COMMAND"))
    return false;
  if (!c.first.empty() && std::getenv("INIFIXER_COMMAND") && !hold &&
      !std::getenv("INIFIXER_EMULATED"))
    return false;
  if ((c.held_open && !hold) || (c.linux_only && std::getenv("INIFIXER_CRLF")))
    return false;
  // A run that nobody sees writes its report on the disk.
  if (hands_over &&
      ((fs && c.report == Missing) || std::getenv("INIFIXER_CRLF") ||
       std::getenv("INIFIXER_EMULATED")))
    return false;
  const bool exfat = fs && std::string(fs) == "exfat";
  return !(exfat && (Runs(c.setup, "ln") || Runs(c.setup, "mkfifo") ||
                     c.folder.find('"') != c.folder.npos));
}

// Shell commands that wait until `test` succeeds, for two minutes at most,
// and end with its status.
std::string WaitFor(const std::string& test) {
  return "for i in $(seq 1200); do " + test + " && break; sleep 0.1; done; " +
         test;
}

// Runs the row `c` and compares what it printed and left.
void RunRow(const Case& c) {
  const char* command = std::getenv("INIFIXER_COMMAND");
  const bool crlf = std::getenv("INIFIXER_CRLF") != nullptr;
  const char* hold = std::getenv("INIFIXER_HOLD");

  // Named per process: the native and the Windows runs of a case may run
  // side by side.
  const std::string id =
      "table_test_" + std::to_string(getpid()) + "_" + c.name;
  const std::string dir = ScratchRoot() + id + c.folder;
  ASSERT_EQ(
      std::system(
          ("rm -rf " + Quote(dir) + " && mkdir -p " + Quote(dir)).c_str()),
      0);
  const std::string archive = dir + "/Coalesced.ini";
  const std::string backup = dir + "/Coalesced.ini.bak";
  for (auto [path, bytes] :
       {std::pair(archive, c.archive), {backup, c.backup}}) {
    if (bytes == "<directory>")
      mkdir(path.c_str(), 0755);
    else if (bytes != Missing)
      Write(path, bytes);
  }

  if (!c.setup.empty()) {
    ASSERT_EQ(std::system(("cd " + Quote(dir) + " && " + c.setup).c_str()), 0);
  }
  if (c.held_open) {
    // The holder ends once `held` is gone with the directory, or in a
    // minute.
    ASSERT_EQ(std::system(("cd " + Quote(dir) + " && (" + hold +
                           " Coalesced.ini </dev/null >/dev/null 2>&1 &) && " +
                           WaitFor("[ -e held ]"))
                              .c_str()),
              0);
  }

  // The stand-in terminals, on a file system that has links.
  const std::string terminals = ::testing::TempDir() + id + ".terminals";
  if (!c.terminals.empty()) {
    ASSERT_TRUE(MakeTerminals(terminals, c.terminals));
  }

  // A run that hangs fails with timeout's status 124 instead of stalling.
  const std::string tool =
      (command ? command : Quote(INIFIXER_PATH)) + " ignored --arguments";
  if (!c.first.empty()) {
    // Given its key once `go` is there, or after two minutes.
    const std::string first = "(" + WaitFor("[ -e go ]") +
                              "; echo) | \"$(command -v script)\" -qec " +
                              Quote("exec " + tool + " >first 2>&1") +
                              " /dev/null; echo $? >first.status";
    const std::string reader =
        hold ? std::string(" && ") + hold + " Coalesced.ini read >seen" : "";
    ASSERT_EQ(std::system(("cd " + Quote(dir) + " && { (" + first +
                           ") </dev/null >/dev/null 2>&1 & } && " +
                           WaitFor("grep -q Press first") + reader)
                              .c_str()),
              0);
  }
  std::string run = "cd " + Quote(dir) + " && timeout 120 env ";
  if (!c.terminals.empty())
    run += "PATH=" + Quote(terminals) + " " + c.session + " ";
  if (c.with_tty)
    run += "\"$(command -v script)\" -qec " +
           Quote("/bin/stty -g >stty; " + tool + " " + c.streams +
                 "; s=$?; /bin/stty -g | /usr/bin/cmp -s stty - && exit $s") +
           " /dev/null </dev/null >/dev/null";
  else if (!c.terminals.empty())
    run +=
        "\"$(command -v setsid)\" -w " + c.wrap + " " + tool + " " + c.streams;
  else if (!c.window.empty())
    run += "sh " + Quote(IN_WINDOW) + " " + c.window + " " + tool + " " +
           c.streams;
  else
    run += c.wrap + " " + tool + " " + c.streams;
  const int status = std::system(run.c_str());
  ASSERT_TRUE(WIFEXITED(status)) << run;
  if (!c.window.empty() && WEXITSTATUS(status) == 77)
    GTEST_SKIP() << Read(dir + "/window.log");
  const std::string window_log =
      c.window.empty() ? "" : '\n' + Read(dir + "/window.log");
  EXPECT_EQ(WEXITSTATUS(status), 0) << run << window_log;

  // A copy in a stand-in terminal may outlive the tool that started it.
  const std::string& log = c.log;
  for (int i = 0; i < 600 && log != Missing; ++i) {
    if (Read(dir + "/terminal.log") == log)
      break;
    usleep(100 * 1000);
  }
  EXPECT_EQ(Read(dir + "/terminal.log"), log);

  if (!c.first.empty()) {
    EXPECT_EQ(std::system(("cd " + Quote(dir) + " && touch go && " +
                           WaitFor("[ -s first.status ]"))
                              .c_str()),
              0);
    EXPECT_EQ(Read(dir + "/first.status"), "0\n");
    const std::string first = Banner + c.first + Prompt;
    EXPECT_EQ(Read(dir + "/first"), crlf ? Crlf(first) : first);
    if (hold) {
      EXPECT_EQ(Read(dir + "/seen"), c.archive_after);
    }
  }

  const std::string expected =
      c.output == Missing ? c.output
                          : (c.titled ? "\x1B]2;inifixer\x07"s : "") +
                                (c.banner ? Banner : "") + c.output + Prompt;
  EXPECT_EQ(Read(dir + "/out"), crlf ? Crlf(expected) : expected);
  EXPECT_EQ(Read(archive), c.archive_after);
  EXPECT_EQ(Read(backup), c.backup_after);
  EXPECT_EQ(Read(dir + "/inifixer-report.txt"), c.report);
  if (!::testing::Test::HasFailure())
    Remove(Quote(dir) + " " + Quote(terminals));
}

// Wraps the tool in tests/fault_shim.cc, failing `fault` (FILE.CALL), or,
// given a `rename`, renaming that file to the file's name right before the
// call instead. The shim is loaded after a sanitizer runtime, which then
// must not insist on coming first. It is preloaded by its name, found in its
// folder: a path in LD_PRELOAD ends at a space.
std::string Fault(const std::string& fault, const std::string& rename = "") {
  return "env ASAN_OPTIONS=verify_asan_link_order=0 LD_LIBRARY_PATH=" +
         Quote(FAULT_SHIM_DIR) +
         " LD_PRELOAD=" FAULT_SHIM_NAME " INIFIXER_FAULT=" + fault +
         (rename.empty() ? "" : " INIFIXER_RENAME=" + rename);
}

// The report on Garbled's first garbled section, up to its last words.
const std::string FirstReport = Text("report", {"12", "[b]\nc=d", "3", "8"});
const std::string NotWritten = Text("not_written");
const std::string ReadStopped = Text("read_failed") + Text("unchecked", {"4"});

// Runs the tool as a copy whose marker names a stand-in for its tool, in
// the row's folder (Python): a socket of this user listening on a name the
// system picked, that runs `fill`, then `serve`. The copy has 15 s to end.
std::string AskedTool(const std::string& fill, const std::string& serve) {
  return "sh -c 'python3 -c \"import os, socket, time\n"
         "s = socket.socket(socket.AF_UNIX)\ns.bind(bytes())\ns.listen(0)\n" +
         fill +
         "print(os.getpid(), s.getsockname()[1:].decode(), sep=chr(46), "
         "flush=True)\n" +
         serve +
         "\" >marker & until [ -s marker ]; do sleep "
         "0.1; done; INIFIXER_HANDED_OVER_BY=$(cat marker) timeout 15 \"$0\" "
         "\"$@\"; status=$?; kill $!; exit $status'";
}

// What a stand-in terminal `name` logs: its words before the command in the
// tool's table, the command the tool gives every terminal (the same in every
// folder), as words or as one string, then the status it ended with,
// whether it ran the command or not.
std::string Logged(const std::string& name, const std::string& status = "0") {
  const auto t =
      std::find_if(std::begin(Terminals), std::end(Terminals),
                   [&](const Terminal& t) { return t.name == name; });
  if (t == std::end(Terminals))
    return name + " is not in the tool's table\n";
  std::string words;
  for (const char* word : t->before)
    words += word ? " ["s + word + "]" : "";
  return name + words +
         (t->form == OneString
              ? " [/usr/bin/env INIFIXER_HANDED_OVER_BY=PID.N "
              : " [/usr/bin/env] [INIFIXER_HANDED_OVER_BY=PID.N] [") +
         "/proc/PID/exe]\n" + name + " exit " + status + "\n";
}
std::string FailedAtOnce(const std::string& name) {
  return Logged(name, "1");
}

// Garbled, started as a file manager starts the tool: no terminal, its
// streams on the null device, the stand-in `terminals` on PATH and
// `session` in its environment. `output` is what the copy in the terminal
// printed, or Missing where the tool ran in place.
Case FileManager(const std::string& name, const std::string& terminals,
                 const std::string& session, const std::string& output,
                 const std::string& log) {
  Case row{name, Garbled, Missing, "", output, Repaired, Garbled};
  row.terminals = terminals;
  row.session = session;
  row.log = log;
  row.streams = "</dev/null >/dev/null 2>&1";
  row.titled = output != Missing && log != Missing &&
               session.find("STAND_IN_NO_PTY") == session.npos;
  return row;
}

// `row`, in which the tool ran in place with no window: its report holds what
// it said, from the banner on.
Case Unseen(Case row, const std::string& said = BackedUp + GarbledReport) {
  row.report = Banner + said;
  return row;
}

// Garbled, started by a double-click with the real terminal `window` on
// PATH, under Xvfb (tests/in_window.sh).
Case InWindow(const std::string& window) {
  std::string name = "window_" + window;
  std::replace(name.begin(), name.end(), '-', '_');
  Case row{name, Garbled, Missing, "", Missing, Repaired, Garbled};
  row.window = window;
  row.streams = "</dev/null >window.log 2>&1";
  return row;
}

const std::vector<Case> Rows = [] {
  std::vector<Case> rows = {
      Case{"no_archive", Missing, Missing, "", NoArchive, Missing, Missing},
      Case{"archive_is_directory", "<directory>", Missing, "", NoArchive,
           "<directory>", Missing},
      Case{"header_1F", "\x1F" + Good.substr(1), "old", "", Invalid,
           "\x1F" + Good.substr(1), "old"},
      Case{"header_1E01", "\x1E\x01" + Good.substr(2), Missing, "", Invalid,
           "\x1E\x01" + Good.substr(2), Missing},
      Case{"header_zero", std::string(4, '\0'), Missing, "", Invalid,
           std::string(4, '\0'), Missing},
      Case{"empty", "", Missing, "", Invalid, "", Missing},
      Case{"one_byte", "\x1E", Missing, "", Invalid, "\x1E", Missing},
      Case{"two_bytes", Header.substr(0, 2), Missing, "", BackedUp + Valid,
           Header.substr(0, 2), Header.substr(0, 2)},
      Case{"three_bytes", Header.substr(0, 3), Missing, "", BackedUp + Valid,
           Header.substr(0, 3), Header.substr(0, 3)},
      Case{"header_FFFF", "\x1E\0\xFF\xFF"s, Missing, "", BackedUp + Valid,
           "\x1E\0\xFF\xFF"s, "\x1E\0\xFF\xFF"s},
      Case{"all_consistent", Good, "a much longer stale backup", "",
           BackedUp + Valid, Good, Good},
      Case{"garbled", Garbled, Missing, "", BackedUp + GarbledReport, Repaired,
           Garbled},
      Case{"incomplete_only", Good + Field(5) + "ab", Missing, "",
           BackedUp + Text("incomplete") + Valid, Good + Field(5) + "ab",
           Good + Field(5) + "ab"},
      Case{"backup_is_directory", Garbled, "<directory>", "",
           Text("no_backup_open"), Garbled, "<directory>"},
      // One kind of call failed on one file (tests/fault_shim.cc): the
      // archive's opening, its reads for the copy, the backup, the folder's
      // flush, and the archive's calls in the walk.
      Case{"archive_open_fails", Garbled, Missing, Fault("archive.open"),
           NoArchive, Garbled, Missing},
      Case{"copy_read_fails", Garbled, Missing, Fault("copy.read"), NoBackup,
           Garbled, ""},
      Case{"backup_open_fails", Garbled, Missing, Fault("backup.open"),
           Text("no_backup_open"), Garbled, Missing},
      Case{"backup_write_fails", Garbled, Missing, Fault("backup.write"),
           NoBackup, Garbled, ""},
      Case{"backup_sync_fails", Garbled, Missing, Fault("backup.sync"),
           NoBackup, Garbled, Garbled},
      // An older, longer backup whose truncation failed unreported (as
      // under Wine): the copy's tail is the old backup's.
      Case{"backup_truncation_fails_unreported", Garbled, std::string(200, 'x'),
           Fault("backup.truncate"), NoBackup, Garbled,
           Garbled + std::string(200 - Garbled.size(), 'x')},
      Case{"folder_sync_fails", Garbled, Missing, Fault("folder.sync"),
           NoBackup, Garbled, Garbled},
      Case{"walk_read_fails", Good, Missing, Fault("walk.read"),
           BackedUp + ReadStopped, Good, Good},
      // The seek to the first section, to a garbled section's size field
      // (at 12) and back to where the reading stands (the end, 30).
      Case{"walk_seek_to_start_fails", Good, Missing, Fault("walk.seek@4"),
           BackedUp + ReadStopped, Good, Good},
      Case{"walk_seek_to_field_fails", Garbled, Missing, Fault("walk.seek@12"),
           BackedUp + FirstReport + NotWritten, Garbled, Garbled},
      // The fix landed, but the walk cannot find its place again.
      Case{
          "walk_seek_back_fails", Garbled, Missing, Fault("walk.seek@30"),
          BackedUp + FirstReport + Text("fixed") + Text("read_failed") +
              Text("unchecked", {"24"}),
          Header + Section(4, "a=1") + Section(8, "[b]\nc=d") + Section(3, "e"),
          Garbled},
      Case{"walk_write_fails", Garbled, Missing, Fault("walk.write"),
           BackedUp + FirstReport + NotWritten, Garbled, Garbled},
      Case{"walk_sync_fails", Garbled, Missing, Fault("walk.sync"),
           BackedUp + GarbledReport + NotSynced, Repaired, Garbled},
      Case{"walk_close_fails", Garbled, Missing, Fault("walk.close"),
           BackedUp + GarbledReport + NotSynced, Repaired, Garbled},
      // Nothing was written, so nothing is flushed: no sync to fail.
      Case{"valid_walk_needs_no_sync", Good, Missing, Fault("walk.sync"),
           BackedUp + Valid, Good, Good},
      // Links and special files where files are expected.
      Case{"backup_links_to_archive", Garbled, Missing, "", SameFile, Garbled,
           "<link>" + Garbled, "ln -s Coalesced.ini Coalesced.ini.bak"},
      Case{"backup_is_hard_link", Garbled, Missing, "", SameFile, Garbled,
           Garbled, "ln Coalesced.ini Coalesced.ini.bak"},
      Case{"both_link_elsewhere", Garbled, Missing, "", SameFile,
           "<link>" + Garbled, "<link>" + Garbled,
           "mkdir real && mv Coalesced.ini real/ && "
           "ln -s real/Coalesced.ini Coalesced.ini && "
           "ln -s real/Coalesced.ini hop && ln -s hop Coalesced.ini.bak"},
      // A second name, at the backup's, of a file in another folder (a hard
      // link; a symbolic one below): refused, that file untouched.
      Case{"backup_has_a_name_elsewhere", Garbled, Missing, "", BackupIsLink,
           Garbled, "kept\n", KeptAway + "ln away/f Coalesced.ini.bak"},
      Case{"archive_links_elsewhere", Garbled, Missing, "",
           BackedUp + GarbledReport, "<link>" + Repaired, Garbled,
           "mkdir real && mv Coalesced.ini real/ && "
           "ln -s real/Coalesced.ini Coalesced.ini"},
      // Another program renames a link or a pipe to a file's name at a
      // chosen call (the shim): the run goes on through its own openings.
      Case{"archive_renamed_after_its_opening", Garbled, Missing,
           Fault("archive.read", "decoy"), BackedUp + GarbledReport,
           "<link>kept\n", Garbled, KeptAway + "ln -s away/f decoy"},
      Case{"backup_renamed_to_a_pipe_at_its_opening", Garbled, "old",
           Fault("backup.open", "decoy"), NoBackup, Garbled, "<pipe>",
           "mkfifo decoy"},
      Case{"archive_is_pipe", Missing, Missing, "", NoArchive, "<pipe>",
           Missing, "mkfifo Coalesced.ini"},
      Case{"archive_is_device", Missing, Missing, "", NoArchive,
           "<link><device>", Missing, "ln -s /dev/zero Coalesced.ini"},
      Case{"backup_is_pipe", Garbled, Missing, "", NoBackup, Garbled, "<pipe>",
           "mkfifo Coalesced.ini.bak"},
      Case{"backup_is_device", Garbled, Missing, "", NoBackup, Garbled,
           "<link><device>", "ln -s /dev/null Coalesced.ini.bak"},
      // Closed standard streams: the archive must not take their place.
      Case{"stdin_stderr_closed", Garbled, Missing, "",
           BackedUp + GarbledReport, Repaired, Garbled, "", "<&- >out 2>&-"},
      Case{"stdout_stderr_closed", Garbled, Missing, "", Missing, Repaired,
           Garbled, "", "</dev/null >&- 2>&-"},
      // The console's reader is gone before the tool writes: the run goes
      // on to the end and exits with status 0, which the reader passes on.
      Case{"console_pipe_closed", Garbled, Missing,
           "sh -c 'until [ -e closed ]; do sleep 0.01; done; "
           "\"$0\" \"$@\"; echo $? >status'",
           Missing, Repaired, Garbled, "",
           "</dev/null 2>err | (exec <&-; touch closed; "
           "until [ -e status ]; do sleep 0.01; done; exit $(cat status))"},
      // The game or an editor has the archive open: nothing is touched.
      Case{"archive_held_open", Garbled, Missing, "", NoArchive, Garbled,
           Missing, "", "</dev/null >out 2>err", true},
      // A text that would set the terminal's title, clear it and have it
      // answer a query (CSI as a C1 control, in UTF-8 and raw).
      Case{"escape_sequences_in_text", Header + Section(1, Pwned), Missing, "",
           BackedUp + FixedReport(4, "?]0;PWNED?\?[2J??6n?", 1, 20),
           Header + Section(Pwned), Header + Section(1, Pwned)},
  };
  // A second run while a first one waits for its key in a terminal, and the
  // game reads the archive meanwhile: one repair, the original kept.
  rows.push_back(Case{"second_run_while_first_waits", Garbled, Missing, "",
                      NoArchive, Repaired, Garbled});
  rows.back().first = BackedUp + GarbledReport;
  // The exe under Wine takes a symbolic link for a plain file.
  rows.push_back(Case{"backup_links_out", Garbled, Missing, "", BackupIsLink,
                      Garbled, "<link>kept\n",
                      KeptAway + "ln -s away/f Coalesced.ini.bak"});
  rows.back().linux_only = true;
  // ... nor does one renamed to its name as it is opened.
  rows.push_back(Case{"backup_renamed_to_a_link_at_its_opening", Garbled, "old",
                      Fault("backup.open", "decoy"), BackupIsLink, Garbled,
                      "<link>kept\n", KeptAway + "ln -s away/f decoy"});
  // In a terminal's window, the copy repairs once, and the backup holds the
  // original.
  const std::string shown = BackedUp + GarbledReport;
  // A row per kind of form in the tool's table (how many words come before
  // the command, and whether it follows as one string), with its first
  // terminal of that kind.
  std::vector<std::string> kinds;
  for (const Terminal& t : Terminals) {
    const auto words = std::count_if(std::begin(t.before), std::end(t.before),
                                     [](const char* word) { return word; });
    const std::string kind = "hands_over_"s +
                             (t.form == OneString ? "one_string" : "command") +
                             "_after_" + std::to_string(words) + "_words";
    if (std::find(kinds.begin(), kinds.end(), kind) != kinds.end())
      continue;
    kinds.push_back(kind);
    rows.push_back(
        FileManager(kind, t.name, "DISPLAY=:0", shown, Logged(t.name)));
  }
  rows.push_back(FileManager("hands_over_on_wayland", "konsole",
                             "WAYLAND_DISPLAY=wayland-0", shown,
                             Logged("konsole")));
  // Each terminal that fails at once or cannot start leaves the run to the
  // next; after the last, to the tool itself.
  rows.push_back(FileManager("first_terminal_fails", "konsole xterm",
                             "DISPLAY=:0 STAND_IN_FAIL=konsole", shown,
                             FailedAtOnce("konsole") + Logged("xterm")));
  rows.push_back(FileManager("first_terminal_cannot_start", "konsole! xterm",
                             "DISPLAY=:0", shown, Logged("xterm")));
  rows.push_back(Unseen(FileManager(
      "every_terminal_fails", "konsole xterm", "DISPLAY=:0 STAND_IN_FAIL=all",
      Missing, FailedAtOnce("konsole") + FailedAtOnce("xterm"))));
  const Case no_terminal = Unseen(FileManager("no_terminal_found", "terminal",
                                              "DISPLAY=:0", Missing, Missing));
  rows.push_back(no_terminal);
  // A second double-click of a player who saw nothing happen: with nothing
  // to repair, it leaves the backup, the original, alone.
  Case again = Unseen(no_terminal, Valid);
  again.name = "unseen_run_finds_nothing_to_repair";
  again.archive = again.archive_after = Repaired;
  again.backup = Garbled;
  rows.push_back(again);
  // A report that is a link to the archive is not written: the run goes on
  // without it.
  for (const char* link : {"ln -s", "ln"}) {
    Case row = no_terminal;
    row.name = link[2] ? "unseen_report_is_a_link_to_the_archive"
                       : "unseen_report_is_a_hard_link_to_the_archive";
    row.setup = std::string(link) + " Coalesced.ini inifixer-report.txt";
    row.report = (link[2] ? "<link>" : "") + Repaired;
    rows.push_back(row);
  }
  // The terminal runs on long after the tool has granted its copy the run
  // and ended.
  rows.push_back(FileManager("terminal_outlives_the_tool", "konsole",
                             "DISPLAY=:0 STAND_IN_DELAY=3", shown,
                             Logged("konsole")));
  // A copy runs in place, even without a terminal: it never hands over
  // again, and starts no other terminal.
  rows.push_back(FileManager("copy_never_hands_over_again", "konsole",
                             "DISPLAY=:0 STAND_IN_NO_PTY=konsole", shown,
                             Logged("konsole")));
  // A terminal's status tells nothing once its copy has asked: mate-terminal
  // always ends with 255, gnome-terminal --wait with 137 when its window is
  // closed. One run, the original in the backup.
  rows.push_back(FileManager("terminal_fails_after_its_copy_ran",
                             "mate-terminal", "DISPLAY=:0 STAND_IN_STATUS=255",
                             shown, Logged("mate-terminal", "255")));
  rows.push_back(FileManager("terminal_killed_after_its_copy_ran",
                             "gnome-terminal", "DISPLAY=:0 STAND_IN_STATUS=137",
                             shown, Logged("gnome-terminal", "137")));
  // A terminal that ends with 0 and never runs the copy: the tool starts no
  // other, waits its limit for the copy, then runs in place.
  rows.push_back(Unseen(FileManager("terminal_runs_nothing", "konsole xterm",
                                    "DISPLAY=:0 STAND_IN_IDLE=konsole", Missing,
                                    Logged("konsole"))));
  // A copy that a terminal starts late, after the terminal ended: granted
  // when no other copy was. konsole fails at once and starts its copy 2 s
  // later; xterm, next, ends with 0 and runs nothing, and the tool waits.
  rows.push_back(FileManager(
      "late_copy_is_granted", "konsole xterm",
      "DISPLAY=:0 STAND_IN_FAIL=konsole STAND_IN_LATE=konsole "
      "STAND_IN_IDLE=xterm",
      shown,
      FailedAtOnce("konsole") + Logged("xterm") + "konsole late exit 0\n"));
  // ... and none when xterm's copy was granted first: the tool has ended,
  // and the late copy cannot even start (env's status 127).
  rows.push_back(FileManager(
      "late_copy_after_the_grant", "konsole xterm",
      "DISPLAY=:0 STAND_IN_FAIL=konsole STAND_IN_LATE=konsole", shown,
      FailedAtOnce("konsole") + Logged("xterm") + "konsole late exit 127\n"));
  // A copy whose tool does not listen is refused: it says so, changes
  // nothing and starts no terminal.
  Case refused = FileManager("copy_cannot_ask", "konsole",
                             "DISPLAY=:0 INIFIXER_HANDED_OVER_BY=1",
                             Text("no_tool"), Missing);
  refused.archive_after = Garbled;
  refused.backup_after = Missing;
  refused.streams = "</dev/null >out 2>err";
  refused.banner = false;
  rows.push_back(refused);
  // Its tool (AskedTool) accepts and closes: it was refused. Its tool
  // accepts and never answers, or listens, its queue full, and never
  // accepts: it gives up at its limit, no tool having answered.
  for (const auto& [name, fill, serve, words] :
       {std::tuple("copy_refused_by_its_tool", "",
                   "while 1: c = s.accept()[0]; c.recv(1); c.close()",
                   "refused"),
        std::tuple("copy_gets_no_answer", "",
                   "c = s.accept()[0]; time.sleep(60)", "no_tool"),
        std::tuple(
            "copy_gives_up_on_a_full_queue",
            "c = socket.socket(socket.AF_UNIX)\nc.connect(s.getsockname())\n",
            "time.sleep(60)", "no_tool")}) {
    Case row{name,        Garbled, Missing, AskedTool(fill, serve),
             Text(words), Garbled, Missing};
    row.banner = false;
    rows.push_back(row);
  }
  // A copy that cannot enter its tool's folder does not ask: the tool runs
  // in place once the terminal has failed.
  Case no_folder = FileManager("copy_cannot_enter_the_folder", "konsole",
                               "DISPLAY=:0 STAND_IN_STATUS=1",
                               Text("no_folder"), Logged("konsole", "1"));
  no_folder.wrap = "/usr/bin/" + Fault("folder.enter");
  no_folder.banner = false;
  rows.push_back(Unseen(no_folder));
  // No name reaches a shell or a terminal's parser: a terminal that joins
  // the command into one string for sh -c (a running terminator) or expands
  // $VAR in it (konsole) runs the one copy, in folders with such names,
  // and executes nothing (the stand-in logs a file that a command left).
  const std::pair<std::string, std::string> Folders[] = {
      {"dollar_paren", " $(touch X)"},
      {"backticks", " `touch X`"},
      {"dollar_name", " Price $HOME"},
      {"quotes", " a\"b'c"},
  };
  for (const auto& [name, folder] : Folders) {
    Case row = FileManager("joined_in_folder_" + name, "terminator",
                           "DISPLAY=:0 STAND_IN_JOIN=terminator", shown,
                           Logged("terminator"));
    row.folder = folder;
    rows.push_back(row);
  }
  Case expanded = FileManager("expanded_in_folder_dollar_name", "konsole",
                              "DISPLAY=:0 STAND_IN_EXPAND=konsole", shown,
                              Logged("konsole"));
  expanded.folder = " Price $HOME";
  rows.push_back(expanded);
  // Without a graphical session, and in a terminal, the tool runs in place.
  rows.push_back(
      FileManager("no_graphical_session", "konsole", "", Missing, Missing));
  rows.push_back(FileManager("empty_display", "konsole",
                             "DISPLAY= WAYLAND_DISPLAY=", Missing, Missing));
  Case in_terminal = FileManager("started_in_a_terminal", "konsole",
                                 "DISPLAY=:0", shown, Missing);
  in_terminal.with_tty = true;
  in_terminal.streams = ">out 2>err";
  rows.push_back(in_terminal);
  rows.push_back(InWindow("konsole"));
  rows.push_back(InWindow("xterm"));
  rows.push_back(InWindow("sakura"));
  // A terminal whose status is always a failure (255).
  rows.push_back(InWindow("mate-terminal"));
  return rows;
}();

// The generator's sample, repaired once, is found valid by a second run,
// whose backup then holds the repaired archive. Standard error goes to a
// file, as in every row: a Wine service that the run starts keeps it open,
// and CTest would wait on it.
void RunTwice() {
  const std::string dir =
      ScratchRoot() + "run_twice_" + std::to_string(getpid());
  const char* command = std::getenv("INIFIXER_COMMAND");
  const std::string tool = command ? command : Quote(INIFIXER_PATH);
  const std::string run =
      "cd " + Quote(dir) + " && " + tool + " </dev/null >out 2>err";
  const std::string generator = Quote(MAKE_ARCHIVE_PATH);
  ASSERT_EQ(
      std::system(("rm -rf " + Quote(dir) + " && mkdir " + Quote(dir) + " && " +
                   generator + " " + Quote(dir + "/Coalesced.ini") +
                   " --sections 200 --garbled-every 3")
                      .c_str()),
      0);
  // The generator writes no file on an option it does not know, nor on
  // --help.
  EXPECT_EQ(std::system(("cd " + Quote(dir) + " && { " + generator +
                         " --x 2>/dev/null; [ $? = 2 ]; } && " + generator +
                         " --help | grep -q ^usage && [ \"$(ls)\" = "
                         "Coalesced.ini ]")
                            .c_str()),
            0);
  const std::string original = Read(dir + "/Coalesced.ini");
  ASSERT_EQ(std::system(run.c_str()), 0);
  const std::string repaired = Read(dir + "/Coalesced.ini");
  EXPECT_EQ(Read(dir + "/Coalesced.ini.bak"), original);
  EXPECT_NE(Read(dir + "/out").find(FirstReport.substr(0, 17)),
            std::string::npos);
  EXPECT_EQ(repaired.size(), original.size());

  ASSERT_EQ(std::system(run.c_str()), 0);
  const std::string expected = Banner + BackedUp + Valid + Prompt;
  EXPECT_EQ(Read(dir + "/out"),
            std::getenv("INIFIXER_CRLF") ? Crlf(expected) : expected);
  EXPECT_EQ(Read(dir + "/Coalesced.ini"), repaired);
  EXPECT_EQ(Read(dir + "/Coalesced.ini.bak"), repaired);
  if (!::testing::Test::HasFailure())
    Remove(Quote(dir));
}

// A test of the tool: ToolTest's checks, then `body`.
class ToolRun : public ToolTest {
 public:
  explicit ToolRun(std::function<void()> body) : body_(std::move(body)) {}
  void TestBody() override {
    body_();
  }

 private:
  std::function<void()> body_;
};

void Register(const char* name, std::function<void()> body) {
  ::testing::RegisterTest("table", name, nullptr, nullptr, __FILE__, __LINE__,
                          [body]() -> ToolTest* { return new ToolRun(body); });
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (const Case& row : Rows)
    if (Applies(row))
      Register(row.name.c_str(), [&row] { RunRow(row); });
  Register("second_run_finds_repair_valid", RunTwice);
  const int failed = RUN_ALL_TESTS();
  // CTest runs one test a process and reads status 77 as skipped.
  const ::testing::UnitTest& unit = *::testing::UnitTest::GetInstance();
  if (failed == 0 && unit.test_to_run_count() > 0 &&
      unit.skipped_test_count() == unit.test_to_run_count())
    return 77;
  return failed;
}
