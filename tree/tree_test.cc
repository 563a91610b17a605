// End-to-end tests of zaptor-tree: a small code base in a temporary
// folder, the program run over it, and the files, outputs and exit status
// compared byte for byte.

#include <gtest/gtest.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/run_program.h"
#include "tree/tree_main.h"
#include "zaptor/zaptor_main.h"

using zaptor_testing::RunResult;
using zaptor_testing::TempDir;
using zaptor_testing::file_exists;
using zaptor_testing::macro;
using zaptor_testing::make_dir;
using zaptor_testing::read_file;
using zaptor_testing::write_file;
using zaptor_testing::write_macro_file;

namespace {

RunResult tree(const TempDir& dir, std::vector<std::string> args) {
  args.insert(args.begin(), "zaptor-tree");
  return zaptor_testing::run_in_process(zaptor::tree_main, std::move(args), dir.path());
}

const char kMainBefore[] = "int main(void)\n{\n  WinSendMsg(hwnd, WM_CLOSE, 0, 0);\n  return 0;\n}\n";
const char kMainAfter[] = "int main(void)\n{\n  SendMessage(hwnd, WM_CLOSE, 0, 0);\n  return 0;\n}\n";
const char kDlgAfter[] = "#define BITS(h) SetBits(h)\n";

// A code base of three files in folders, one without a call, and a table.
struct CodeBase {
  TempDir dir;
  CodeBase() {
    make_dir(dir.file("src"));
    make_dir(dir.file("src/ui"));
    write_file(dir.file("src/main.c"), kMainBefore);
    write_file(dir.file("src/ui/dlg.h"), "#define BITS(h) WinSetBits(h, ~FL_BUSY,\n  1)\n");
    write_file(dir.file("src/ui/plain.c"), "int plain;\n");
    write_file(dir.file("src/notes.txt"), "WinSendMsg(a, b, c, d)\n");
    write_macro_file(dir.file("zaptor.bin"), {macro("WinSendMsg", "SendMessage(%s,%s,%s,%s)", {0, 1, 2, 3}),
                                              macro("WinSetBits", "SetBits(%s)", {0})});
  }
  std::string read(const char* path) const { return read_file(dir.file(path)); }
};

TEST(TreeDiff, PrintsAUnifiedDiffThatGitAndPatchApply) {
  CodeBase code;
  const RunResult r = tree(code.dir, {"diff", "src"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out,
            "--- a/src/main.c\n+++ b/src/main.c\n@@ -1,5 +1,5 @@\n int main(void)\n {\n"
            "-  WinSendMsg(hwnd, WM_CLOSE, 0, 0);\n+  SendMessage(hwnd, WM_CLOSE, 0, 0);\n   return 0;\n }\n"
            "--- a/src/ui/dlg.h\n+++ b/src/ui/dlg.h\n@@ -1,2 +1 @@\n"
            "-#define BITS(h) WinSetBits(h, ~FL_BUSY,\n-  1)\n+#define BITS(h) SetBits(h)\n");
  // Reports go to the standard error, on the line of their call; the summary follows.
  EXPECT_EQ(r.err,
            "src/ui/dlg.h:1: invalid character '~' in a call of WinSetBits\n"
            "zaptor-tree: 3 files walked: 2 would change, 1 unchanged, 0 failed\n"
            "zaptor-tree: calls rewritten: 1 WinSendMsg, 1 WinSetBits\n"
            "zaptor-tree: 1 invalid character, 0 calls never closed\n");
  EXPECT_EQ(code.read("src/main.c"), kMainBefore);  // nothing changed

  for (const std::string apply : {"git apply change.patch", "patch -s -p1 < change.patch"}) {
    CodeBase fresh;
    write_file(fresh.dir.file("change.patch"), r.out);
    // git looks for no repository above the temporary folder.
    const std::string command =
        "cd " + fresh.dir.path() + " && GIT_CEILING_DIRECTORIES=" + fresh.dir.path() + "/.. " + apply;
    ASSERT_EQ(std::system(command.c_str()), 0) << apply;
    EXPECT_EQ(fresh.read("src/main.c"), kMainAfter) << apply;
    EXPECT_EQ(fresh.read("src/ui/dlg.h"), kDlgAfter) << apply;
  }
}

TEST(TreeDiff, CheckFailsWhenAFileWouldChangeAndContextIsChosen) {
  CodeBase code;
  EXPECT_EQ(tree(code.dir, {"diff", "--check", "-q", "src/ui/plain.c"}).exit_code, 0);
  const RunResult r = tree(code.dir, {"diff", "--check", "-q", "-U", "0", "src/main.c"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "--- a/src/main.c\n+++ b/src/main.c\n@@ -3 +3 @@\n"
            "-  WinSendMsg(hwnd, WM_CLOSE, 0, 0);\n+  SendMessage(hwnd, WM_CLOSE, 0, 0);\n");
}

// In place, each file is what zaptor writes for it, less the report lines.
TEST(TreeApply, ConvertsInPlaceAsZaptorDoesLessItsReportLines) {
  CodeBase code;
  const std::string before = code.read("src/ui/dlg.h");
  zaptor_testing::run_in_process(zaptor::zaptor_main, {"zaptor", "src/ui/dlg.h", "dlg.out"}, code.dir.path());
  EXPECT_EQ(read_file(code.dir.file("dlg.out")), "Invalid character ~\nInvalid character ~\n" + std::string(kDlgAfter));

  ::chmod(code.dir.file("src/ui/dlg.h").c_str(), 0640);
  const struct timespec old_times[2] = {{1000000000, 0}, {1000000000, 0}};
  ::utimensat(AT_FDCWD, code.dir.file("src/ui/plain.c").c_str(), old_times, 0);
  const RunResult r = tree(code.dir, {"apply", "-q", "--backup=.orig", "src"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(code.read("src/main.c"), kMainAfter);
  EXPECT_EQ(code.read("src/ui/dlg.h"), kDlgAfter);
  EXPECT_EQ(code.read("src/ui/dlg.h.orig"), before);
  EXPECT_EQ(code.read("src/notes.txt"), "WinSendMsg(a, b, c, d)\n");  // not a C file

  struct stat st {};
  ASSERT_EQ(::stat(code.dir.file("src/ui/dlg.h").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  ASSERT_EQ(::stat(code.dir.file("src/ui/plain.c").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);  // unchanged files are not written
  EXPECT_FALSE(file_exists(code.dir.file("src/ui/plain.c.orig")));
}

// Two files whose zaptor destinations would be one and the same.
TEST(TreeApply, ConvertsASourceAndAHeaderOfOneName) {
  CodeBase code;
  write_file(code.dir.file("src/settings.c"), "WinSendMsg(a, b, c, d);\n");
  write_file(code.dir.file("src/settings.h"), "x WinSendMsg(e, f, g, h)\n");
  EXPECT_EQ(tree(code.dir, {"apply", "-q", "src/settings.c", "src/settings.h"}).exit_code, 0);
  EXPECT_EQ(code.read("src/settings.c"), "SendMessage(a, b, c, d);\n");
  EXPECT_EQ(code.read("src/settings.h"), "x SendMessage(e, f, g, h)\n");
}

TEST(TreeApply, ADamagedTableTouchesNoFile) {
  CodeBase code;
  std::string bin = read_file(code.dir.file("zaptor.bin"));
  bin.resize(bin.size() - 1);
  write_file(code.dir.file("zaptor.bin"), bin);
  RunResult r = tree(code.dir, {"apply", "src"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "zaptor-tree: zaptor.bin is damaged: it announces 2 records but holds 1; no file touched\n");
  EXPECT_EQ(code.read("src/main.c"), kMainBefore);

  write_file(code.dir.file("t.txt"), "entry\nname WinSendMsg\norder 0 9\n");
  r = tree(code.dir, {"apply", "-t", "t.txt", "src"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err.substr(0, 31), "zaptor-tree: t.txt:3: order val");
}

// A rewrite that never ends fails its file alone, which stays as it was.
TEST(TreeApply, AnEndlessRewriteFailsItsFileAlone) {
  CodeBase code;
  write_file(code.dir.file("t.txt"), "entry\nname WinSendMsg\norder 0\nformat \" WinSendMsg(%s)\"\n");
  write_file(code.dir.file("src/a.c"), "one\nWinSendMsg(x)\n");
  const RunResult r = tree(code.dir, {"apply", "-q", "-t", "t.txt", "src/a.c", "src/ui/dlg.h"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err.substr(0, r.err.find(':', 10)), "src/a.c:2: error");
  EXPECT_NE(r.err.find("; src/a.c left unchanged\n"), std::string::npos) << r.err;
  EXPECT_EQ(code.read("src/a.c"), "one\nWinSendMsg(x)\n");
}

TEST(TreeCopy, WritesConvertedCopiesAndNeverWalksItsFolder) {
  CodeBase code;
  const RunResult r = tree(code.dir, {"copy", "-q", "--to", "src/out", "src"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(code.read("src/out/src/main.c"), kMainAfter);
  EXPECT_EQ(code.read("src/out/src/ui/dlg.h"), kDlgAfter);
  EXPECT_EQ(code.read("src/out/src/ui/plain.c"), "int plain;\n");
  EXPECT_EQ(code.read("src/main.c"), kMainBefore);
  // A second run does not take the copies for sources.
  EXPECT_NE(tree(code.dir, {"copy", "--to", "src/out", "src"}).err.find("zaptor-tree: 3 files walked:"),
            std::string::npos);
}

TEST(TreeSurvey, ListsEveryCallWithItsMessageAndTotals) {
  TempDir dir;
  write_file(dir.file("a.c"),
             "WinSendMsg(h, WM_CLOSE, 0, 0);\n"
             "WinPostMsg(h,\n   WM_USER +\n   1, MPFROMP(WinSendMsg(c, WM_QUERY, 0, 0)), 0);\n"
             "WinSendDlgItemMsg(d, ID, LM_INSERT, 0, 0); /* WinSendMsg(x, WM_NOT, 0, 0) */\n");
  write_file(dir.file("b.h"), "  WinSendMsg(h,  WM_CLOSE , 0, 0)\n");
  RunResult r = tree(dir, {"survey", "-q", "."});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out,
            "a.c:1: S WM_CLOSE\na.c:2: P WM_USER + 1\na.c:4: S WM_QUERY\na.c:5: D LM_INSERT\n"
            "a.c:5: S WM_NOT\nb.h:1: S WM_CLOSE\n");
  r = tree(dir, {"survey", "-q", "--totals", "."});
  EXPECT_EQ(r.out, "      2 WM_CLOSE\n      1 LM_INSERT\n      1 WM_NOT\n      1 WM_QUERY\n      1 WM_USER + 1\n");
  r = tree(dir, {"survey", "--functions", "MPFROMP:1", "--json", "a.c"});
  EXPECT_EQ(r.out,
            "{\"calls\":[{\"file\":\"a.c\",\"function\":\"MPFROMP\",\"label\":\"MPFROMP\",\"line\":4,"
            "\"message\":\"WinSendMsg(c, WM_QUERY, 0, 0)\"}],\"command\":\"survey\","
            "\"summary\":{\"calls\":1,\"failed\":0,\"files\":1}}\n");
}

TEST(TreeLeft, ListsTheOldApiCallsTheTableLeaves) {
  CodeBase code;
  write_file(code.dir.file("src/more.c"),
             "WinQueryWindow(h, 1); WinQueryWindow (h, 2); DosBeep(1, 2);\n"
             "/* WinGone(x) */ \"WinStr(x)\" Winnow(y); WinSendMsg(a, b, c, d);\n");
  write_file(code.dir.file("src/main.c"), "WinQueryWindow(h, 3);\n");
  RunResult r = tree(code.dir, {"left", "-q", "src"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "      3 WinQueryWindow src/main.c (1), src/more.c (2)\n      1 DosBeep src/more.c (1)\n");
  r = tree(code.dir, {"left", "-q", "--pattern", "^Win(now|Query)", "src/more.c"});
  EXPECT_EQ(r.out, "      2 WinQueryWindow src/more.c (2)\n      1 Winnow src/more.c (1)\n");
  EXPECT_EQ(tree(code.dir, {"left", "--pattern", "(", "src"}).exit_code, 1);
}

TEST(TreeCommandLine, HelpVersionAndWrongWords) {
  TempDir dir;
  RunResult r = tree(dir, {"--version"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "zaptor-tree 1.1\n");
  r = tree(dir, {"--help"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find("survey"), std::string::npos);
  EXPECT_EQ(tree(dir, {}).exit_code, 2);
  EXPECT_EQ(tree(dir, {"convert", "."}).exit_code, 2);
  EXPECT_EQ(tree(dir, {"copy", "."}).exit_code, 2);  // no --to
  EXPECT_EQ(tree(dir, {"diff", "-j", "0", "."}).exit_code, 2);
  EXPECT_EQ(tree(dir, {"survey", "--functions", "Win_X:2", "."}).exit_code, 1);
  r = tree(dir, {"diff", "missing.c"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("no table"), std::string::npos);
}

// After SIGINT every file is its old self or its new one, and no temporary
// file is left.
TEST(TreeSignals, AnInterruptedApplyLeavesEveryFileWhole) {
  TempDir dir;
  write_macro_file(dir.file("zaptor.bin"), {macro("WinA", "Long_replacement_text(%s)", {0})});
  std::string old_text;
  for (int i = 0; i < 20000; ++i) old_text += "x = WinA(y);\n";
  std::string new_text;
  for (int i = 0; i < 20000; ++i) new_text += "x = Long_replacement_text(y);\n";
  for (int f = 0; f < 200; ++f) write_file(dir.file("f" + std::to_string(1000 + f) + ".c"), old_text);
  const std::string zaptor_tree = zaptor_testing::program("zaptor-tree");
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::chdir(dir.path().c_str());
    ::execl(zaptor_tree.c_str(), "zaptor-tree", "apply", "-q", "-j", "2", ".",
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // Interrupt once the first file is replaced, while the others wait.
  for (int wait = 0; wait < 20000 && read_file(dir.file("f1000.c")) != new_text; ++wait) ::usleep(1000);
  ::kill(pid, SIGINT);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
  int converted = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    const std::string name = entry.path().filename().string();
    EXPECT_NE(name[0], '.') << "a temporary file is left: " << name;
    if (name == "zaptor.bin") continue;
    const std::string text = read_file(entry.path().string());
    EXPECT_TRUE(text == old_text || text == new_text) << name;
    converted += text == new_text;
  }
  EXPECT_GT(converted, 0);
  EXPECT_LT(converted, 200);
}

}  // namespace
