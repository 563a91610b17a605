#include "tree/unified_diff.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace zaptor {
namespace {

using namespace std::string_literals;
namespace fs = std::filesystem;

std::string diff(std::string_view old_text, std::string_view new_text, std::size_t context,
                 std::string_view path = "f.txt") {
  std::string out;
  unified_diff(path, old_text, new_text, context, out);
  return out;
}

std::string from_first_hunk(const std::string& text) {
  const std::size_t at = text.find("@@");
  return at == std::string::npos ? std::string() : text.substr(at);
}

std::string header(const std::string& text) { return text.substr(0, text.find("@@")); }

bool have(const char* tool) { return std::system(("command -v "s + tool + " >/dev/null 2>&1").c_str()) == 0; }

std::string quoted(const fs::path& path) {
  std::string out = "'";
  for (const char c : path.string()) out += c == '\'' ? "'\\''"s : std::string(1, c);
  return out + "'";
}

void write_file(const fs::path& path, std::string_view text) {
  std::ofstream(path, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A fresh folder per use, so cases cannot see each other's files.
fs::path scratch() {
  static int count = 0;
  const fs::path dir =
      fs::temp_directory_path() / ("unified_diff_test_" + std::to_string(getpid()) + "_" + std::to_string(++count));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

// Applies `patch` to `old_text` at `path` with `command` run in the folder; returns the patched file.
std::string apply(const std::string& command, std::string_view path, std::string_view old_text,
                  const std::string& patch) {
  const fs::path dir = scratch();
  write_file(dir / path, old_text);
  write_file(dir / "p.diff", patch);
  // The ceiling keeps git from finding a repository above the scratch folder.
  const std::string run = "cd " + quoted(dir) + " && GIT_CEILING_DIRECTORIES=" + quoted(dir.parent_path()) + " " +
                          command + " >log.txt 2>&1";
  const int status = std::system(run.c_str());
  std::string result = status == 0 ? read_file(dir / path) : "FAILED: " + read_file(dir / "log.txt");
  fs::remove_all(dir);
  return result;
}

std::string git_apply(std::string_view path, std::string_view old_text, const std::string& patch, std::size_t context) {
  const std::string git = "git -c core.autocrlf=false -c apply.whitespace=nowarn apply";
  const std::string zero = context == 0 ? " --unidiff-zero" : "";
  return apply(git + zero + " --check p.diff && " + git + zero + " p.diff", path, old_text, patch);
}

std::string patch_p1(std::string_view path, std::string_view old_text, const std::string& patch) {
  const std::string patch_cmd = "patch -p1 --batch --no-backup-if-mismatch -s -i p.diff";
  return apply(patch_cmd + " --dry-run && " + patch_cmd, path, old_text, patch);
}

std::string gnu_diff(std::string_view old_text, std::string_view new_text, std::size_t context) {
  const fs::path dir = scratch();
  write_file(dir / "old", old_text);
  write_file(dir / "new", new_text);
  const std::string run = "cd " + quoted(dir) + " && diff -a -U" + std::to_string(context) + " old new >out.txt; true";
  EXPECT_EQ(std::system(run.c_str()), 0);
  std::string out = read_file(dir / "out.txt");
  fs::remove_all(dir);
  return out;
}

struct Case {
  std::string old_text, new_text;
  std::size_t context;
  std::string hunks;
};

const std::vector<Case>& cases() {
  static const std::vector<Case> all = {
      {"1\n2\n3\n4\n5\n", "1\n2\nX\n4\n5\n", 1, "@@ -2,3 +2,3 @@\n 2\n-3\n+X\n 4\n"},
      // Start and end: the context is cut at the file's bounds.
      {"1\n2\n3\n4\n5\n6\n", "0\n2\n3\n4\n5\nX\n", 1, "@@ -1,2 +1,2 @@\n-1\n+0\n 2\n@@ -5,2 +5,2 @@\n 5\n-6\n+X\n"},
      // Two changes 2 * context apart share a hunk; one line further they do not.
      {"1\n2\n3\n4\n5\n6\n", "1\nB\n3\n4\nE\n6\n", 1, "@@ -1,6 +1,6 @@\n 1\n-2\n+B\n 3\n 4\n-5\n+E\n 6\n"},
      {"1\n2\n3\n4\n5\n6\n7\n", "1\nB\n3\n4\n5\nF\n7\n", 1,
       "@@ -1,3 +1,3 @@\n 1\n-2\n+B\n 3\n@@ -5,3 +5,3 @@\n 5\n-6\n+F\n 7\n"},
      // Zero-length ranges name the line before them.
      {"1\n2\n", "1\nX\n2\n", 0, "@@ -1,0 +2 @@\n+X\n"},
      {"1\n2\n3\n", "1\n3\n", 0, "@@ -2 +1,0 @@\n-2\n"},
      {"a\n", "X\na\n", 0, "@@ -0,0 +1 @@\n+X\n"},
      {"", "a\n", 3, "@@ -0,0 +1 @@\n+a\n"},
      {"", "a\nb\n", 3, "@@ -0,0 +1,2 @@\n+a\n+b\n"},
      {"a\nb\n", "", 3, "@@ -1,2 +0,0 @@\n-a\n-b\n"},
      {"a\nb", "a\nb\n", 3, "@@ -1,2 +1,2 @@\n a\n-b\n\\ No newline at end of file\n+b\n"},
      {"a\nb\n", "a\nb", 3, "@@ -1,2 +1,2 @@\n a\n-b\n+b\n\\ No newline at end of file\n"},
      {"a\nb", "a\nc", 3, "@@ -1,2 +1,2 @@\n a\n-b\n\\ No newline at end of file\n+c\n\\ No newline at end of file\n"},
      {"a\nb\nc", "A\nb\nc", 3, "@@ -1,3 +1,3 @@\n-a\n+A\n b\n c\n\\ No newline at end of file\n"},
      // A line differing only after a NUL, or only in its CR, is a changed line.
      {"one\r\ntw\0o\r\ncaf\xE9\r\n"s, "one\r\ntw\0x\r\ncaf\xE9\n"s, 1,
       "@@ -1,3 +1,3 @@\n one\r\n-tw\0o\r\n-caf\xE9\r\n+tw\0x\r\n+caf\xE9\n"s},
      // A repeated block goes after its copy, as diff -u puts it.
      {"x\na\nb\ny\n", "x\na\nb\na\nb\ny\n", 3, "@@ -1,4 +1,6 @@\n x\n a\n b\n+a\n+b\n y\n"},
      {"x\na\nb\na\nb\ny\n", "x\na\nb\ny\n", 3, "@@ -1,6 +1,4 @@\n x\n a\n b\n-a\n-b\n y\n"},
  };
  return all;
}

TEST(UnifiedDiff, HeaderNamesBothSidesAndEqualTextsAddNothing) {
  EXPECT_EQ(diff("a\n", "b\n", 3, "src/x.c"), "--- a/src/x.c\n+++ b/src/x.c\n@@ -1 +1 @@\n-a\n+b\n");
  // patch ends a name at a blank unless a tab follows; git writes the same tab.
  EXPECT_EQ(header(diff("a\n", "b\n", 3, "my file.c")), "--- a/my file.c\t\n+++ b/my file.c\t\n");
  EXPECT_EQ(header(diff("a\n", "b\n", 3, "q\"\\\t.c")), "--- \"a/q\\\"\\\\\\t.c\"\n+++ \"b/q\\\"\\\\\\t.c\"\n");
  std::string out = "kept";
  unified_diff("f", "same\n", "same\n", 3, out);
  EXPECT_EQ(out, "kept");
}

TEST(UnifiedDiff, Hunks) {
  for (const Case& c : cases()) {
    EXPECT_EQ(diff(c.old_text, c.new_text, c.context), "--- a/f.txt\n+++ b/f.txt\n" + c.hunks) << c.old_text;
  }
}

TEST(UnifiedDiff, HunksAgreeWithGnuDiff) {
  if (!have("diff")) GTEST_SKIP() << "no diff";
  for (const Case& c : cases()) {
    EXPECT_EQ(from_first_hunk(gnu_diff(c.old_text, c.new_text, c.context)), c.hunks) << c.old_text;
  }
}

TEST(UnifiedDiff, GitApplyAndPatchRebuildTheNewText) {
  if (!have("git") || !have("patch")) GTEST_SKIP() << "no git or patch";
  std::vector<std::pair<std::string, Case>> all;
  for (const Case& c : cases()) all.emplace_back("f.txt", c);
  all.emplace_back("my file.txt", cases()[0]);
  all.emplace_back("q\"uote.txt", cases()[1]);
  for (const auto& [path, c] : all) {
    const std::string patch = diff(c.old_text, c.new_text, c.context, path);
    EXPECT_EQ(git_apply(path, c.old_text, patch, c.context), c.new_text) << patch;
    EXPECT_EQ(patch_p1(path, c.old_text, patch), c.new_text) << patch;
  }
}

// Few distinct lines make many equally long alignments; the count of changed lines must still be
// the least one, as diff --minimal finds it.
TEST(UnifiedDiff, RandomInputsGetMinimalDiffsThatApply) {
  if (!have("diff") || !have("patch")) GTEST_SKIP() << "no diff or patch";
  std::mt19937 random(7);
  auto text = [&random] {
    std::string out;
    for (int n = static_cast<int>(random() % 40); n > 0; --n) out += "abc"[random() % 3] + "\n"s;
    if (!out.empty() && random() % 4 == 0) out.pop_back();
    return out;
  };
  auto changed_lines = [](const std::string& d) {
    std::size_t count = 0;
    for (std::size_t at = d.find("\n@@"); at != std::string::npos; at = d.find('\n', at + 1)) {
      if (at + 1 < d.size() && (d[at + 1] == '-' || d[at + 1] == '+')) ++count;
    }
    return count;
  };
  for (int round = 0; round < 60; ++round) {
    const std::string old_text = text(), new_text = text();
    const std::size_t context = random() % 3;
    const std::string ours = diff(old_text, new_text, context);
    const fs::path dir = scratch();
    write_file(dir / "old", old_text);
    write_file(dir / "new", new_text);
    EXPECT_EQ(std::system(("cd " + quoted(dir) + " && diff -d -U0 old new >out.txt; true").c_str()), 0);
    EXPECT_EQ(changed_lines(ours), changed_lines("\n" + from_first_hunk(read_file(dir / "out.txt"))))
        << old_text << "|" << new_text;
    fs::remove_all(dir);
    if (!ours.empty()) {
      EXPECT_EQ(patch_p1("f.txt", old_text, ours), new_text) << ours;
    }
  }
}

// Large enough for the search to give up on a minimal diff in the second case; it must still apply.
TEST(UnifiedDiff, LargeInputs) {
  std::string old_text, new_text;
  for (int i = 0; i < 20000; ++i) {
    old_text += "line " + std::to_string(i) + "\n";
    new_text += (i % 100 == 50 ? "changed " : "line ") + std::to_string(i) + "\n";
  }
  const std::string sparse = diff(old_text, new_text, 3);
  std::size_t hunks = 0;
  for (std::size_t at = sparse.find("\n@@ "); at != std::string::npos; at = sparse.find("\n@@ ", at + 1)) ++hunks;
  EXPECT_EQ(hunks, 200u);
  EXPECT_NE(sparse.find("\n@@ -48,7 +48,7 @@\n line 47\n"), std::string::npos);

  std::mt19937 random(3);
  std::string dense_old, dense_new;
  const std::vector<std::string> old_lines = {"}\n", "\n", "{\n", "x\n"}, new_lines = {"}\n", "\n", "{\n", "y\n"};
  for (int i = 0; i < 40000; ++i) dense_old += old_lines[random() % 4];
  for (int i = 0; i < 40000; ++i) dense_new += new_lines[random() % 4];
  const std::string dense = diff(dense_old, dense_new, 3);
  if (!have("patch")) GTEST_SKIP() << "no patch";
  EXPECT_EQ(patch_p1("f.txt", old_text, sparse), new_text);
  EXPECT_EQ(patch_p1("f.txt", dense_old, dense), dense_new);
}

}  // namespace
}  // namespace zaptor
