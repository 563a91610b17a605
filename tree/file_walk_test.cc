#include "tree/file_walk.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>

namespace zaptor {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

// Each test runs in a fresh folder of its own, so operands and shown paths stay short.
class FileWalk : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "file_walk_XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    previous_ = fs::current_path();
    fs::current_path(root_);
  }
  void TearDown() override {
    fs::current_path(previous_);
    std::error_code ignored;
    for (const fs::path& folder : locked_) fs::permissions(folder, fs::perms::owner_all, ignored);
    fs::remove_all(root_, ignored);
  }

  // "x/" makes a folder, any other name a file (with its folders).
  static void make(std::initializer_list<std::string> entries) {
    for (const std::string& entry : entries) {
      if (entry.back() == '/') {
        fs::create_directories(entry);
        continue;
      }
      const fs::path parent = fs::path(entry).parent_path();
      if (!parent.empty()) fs::create_directories(parent);
      std::ofstream(entry) << "int x;\n";
    }
  }

  std::string root_;
  fs::path previous_;
  std::vector<fs::path> locked_;
};

Strings paths_of(const WalkResult& result) {
  Strings paths;
  for (const WalkedFile& file : result.files) paths.push_back(file.path);
  return paths;
}

Strings shown_and_relative(const Strings& operands) {
  Strings out;
  for (const WalkedFile& file : walk_paths(operands, {}).files) out.push_back(file.path + " -> " + file.relative);
  return out;
}

TEST_F(FileWalk, SortedDepthFirstByNameWithSourceExtensionsInAnyCase) {
  make({"src/.c", "src/A.C", "src/Makefile", "src/a.h", "src/b.Hpp", "src/b.c", "src/d1/d2/deep.h", "src/notes.txt",
        "src/sub/z.c", "src/sub-a.c", "src/sub.c", "src/x.cc", "src/x.cpp", "src/x.cppx", "src/x.cxx", "src/x.hh",
        "src/x.hpp.bak", "src/x.hxx"});
  const WalkResult result = walk_paths({"src/"}, {});
  // "sub" sorts before "sub-a.c" as a name, though "src/sub/" sorts after "src/sub-a.c" as a path.
  const Strings expected = {"src/A.C",     "src/a.h",     "src/b.Hpp", "src/b.c",  "src/d1/d2/deep.h",
                            "src/sub/z.c", "src/sub-a.c", "src/sub.c", "src/x.cc", "src/x.cpp",
                            "src/x.cxx",   "src/x.hh",    "src/x.hxx"};
  EXPECT_EQ(paths_of(result), expected);
  EXPECT_EQ(result.files[0].relative, "src/A.C");
  EXPECT_EQ(result.notes, Strings{});
  EXPECT_EQ(result.errors, Strings{});
}

TEST_F(FileWalk, IncludeAndExcludeGlobsByNameOrByPathInsideTheOperand) {
  make({"p/a.c", "p/a.h", "p/doc.txt", "p/gen/g.c", "p/sub/s.c", "p/sub/s.h", "p/sub/deep/d.c", "p/other/sub/o.c"});
  WalkOptions includes;
  includes.include = {"*.txt", "sub/*.c"};  // the defaults no longer apply; "/" anchors at "p"
  EXPECT_EQ(paths_of(walk_paths({"p"}, includes)), (Strings{"p/doc.txt", "p/sub/s.c"}));

  WalkOptions excludes;
  excludes.exclude = {"*.h", "gen", "sub/deep"};
  EXPECT_EQ(paths_of(walk_paths({"p"}, excludes)), (Strings{"p/a.c", "p/other/sub/o.c", "p/sub/s.c"}));

  WalkOptions by_name;
  by_name.exclude = {"sub"};  // a folder's name, at any depth
  EXPECT_EQ(paths_of(walk_paths({"p"}, by_name)), (Strings{"p/a.c", "p/a.h", "p/gen/g.c"}));

  // Files named as operands are taken whatever the filters.
  EXPECT_EQ(paths_of(walk_paths({"p/doc.txt", "p/a.h"}, excludes)), (Strings{"p/doc.txt", "p/a.h"}));
}

TEST_F(FileWalk, SymbolicLinksNotedUnlessFollowedAndCyclesNotWalked) {
  make({"t/a.c", "t/real/r.c", "outside/o.c", "outside/readme"});
  fs::create_symlink("a.c", "t/to_file.c");
  fs::create_symlink("../outside/readme", "t/to_readme");  // a file the filters do not take
  fs::create_symlink("../outside", "t/to_outside");
  fs::create_symlink("nowhere.c", "t/gone.c");
  fs::create_symlink("nowhere", "t/gone");
  fs::create_symlink("real", "t/skipme");
  fs::create_symlink("..", "t/real/loop");
  fs::create_symlink("real", "t/zlink");
  WalkOptions options;
  options.exclude = {"skipme"};

  WalkResult result = walk_paths({"t", "t/to_outside"}, options);
  EXPECT_EQ(paths_of(result), (Strings{"t/a.c", "t/real/r.c", "t/to_outside/o.c"}));
  EXPECT_EQ(result.notes, (Strings{"t/gone.c: dangling symbolic link, skipped",
                                   "t/real/loop: symbolic link, not followed (--follow follows it)",
                                   "t/to_file.c: symbolic link, not followed (--follow follows it)",
                                   "t/to_outside: symbolic link, not followed (--follow follows it)",
                                   "t/zlink: symbolic link, not followed (--follow follows it)"}));

  options.follow = true;
  result = walk_paths({"t"}, options);
  EXPECT_EQ(paths_of(result), (Strings{"t/a.c", "t/real/r.c", "t/to_outside/o.c"}));
  EXPECT_EQ(result.notes, (Strings{"t/gone.c: dangling symbolic link, skipped",
                                   "t/real/loop: leads back to t, a folder cycle, not walked",
                                   "t/to_file.c: the same file as t/a.c, handled once",
                                   "t/zlink: the same folder as t/real, handled once"}));
  EXPECT_EQ(result.errors, Strings{});
}

TEST_F(FileWalk, NonRegularFilesSkippedAndEachFileOrFolderHandledOnce) {
  make({"h/a.c", "h/sub/b.c"});
  ASSERT_EQ(::mkfifo("h/pipe.c", 0600), 0);
  ASSERT_EQ(::mkfifo("h/pipe", 0600), 0);  // a name the filters do not take: no note
  fs::create_hard_link("h/a.c", "h/sub/hard.c");
  // Opening a FIFO would block this test.
  const WalkResult result = walk_paths({"h", "h/sub", "./h/sub/b.c", "h/pipe", "h"}, {});
  EXPECT_EQ(paths_of(result), (Strings{"h/a.c", "h/sub/b.c"}));
  EXPECT_EQ(
      result.notes,
      (Strings{"h/pipe.c: not a regular file, skipped", "h/sub/hard.c: the same file as h/a.c, handled once",
               "h/sub: the same folder as h/sub, handled once", "h/sub/b.c: the same file as h/sub/b.c, handled once",
               "h/pipe: not a regular file, skipped", "h: the same folder as h, handled once"}));
}

TEST_F(FileWalk, SkipFoldersRecognisedByIdentityHoweverWritten) {
  make({"s/a.c", "s/out/copied.c", "s/out2/x.c", "s/z.c"});
  WalkOptions options;
  options.skip = {"./s/out", root_ + "/s/out2/", "no/such/folder"};
  const WalkResult result = walk_paths({"s", "s/out"}, options);
  EXPECT_EQ(paths_of(result), (Strings{"s/a.c", "s/z.c"}));
  EXPECT_EQ(result.notes, Strings{});
  EXPECT_EQ(result.errors, Strings{});
}

TEST_F(FileWalk, MissingOperandsAreErrorsAndTheWalkGoesOn) {
  make({"m/a.c"});
  fs::create_symlink("nowhere.c", "dangling.c");
  const WalkResult result = walk_paths({"missing.c", "m", "", "dangling.c", "m/a.c/"}, {});
  EXPECT_EQ(paths_of(result), Strings{"m/a.c"});
  EXPECT_EQ(result.errors, (Strings{"missing.c: No such file or directory", ": No such file or directory",
                                    "dangling.c: No such file or directory", "m/a.c/: Not a directory"}));
}

TEST_F(FileWalk, UnreadableFolderIsAnError) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads any folder";
  make({"u/a.c", "u/locked/x.c", "u/z.c"});
  locked_.push_back(fs::absolute("u/locked"));
  fs::permissions("u/locked", fs::perms::none);
  const WalkResult result = walk_paths({"u"}, {});
  EXPECT_EQ(paths_of(result), (Strings{"u/a.c", "u/z.c"}));
  EXPECT_EQ(result.errors, Strings{"u/locked: Permission denied"});
}

TEST_F(FileWalk, ShownPathsKeepTheOperandAndRelativePathsStayInsideTheCopy) {
  make({"w/src/a.c", "w/y.c", "w/inner/i.c"});
  fs::current_path("w");
  EXPECT_EQ(shown_and_relative({"."}), (Strings{"inner/i.c -> inner/i.c", "src/a.c -> src/a.c", "y.c -> y.c"}));
  EXPECT_EQ(shown_and_relative({"./src"}), Strings{"src/a.c -> src/a.c"});
  EXPECT_EQ(shown_and_relative({"src//"}), Strings{"src//a.c -> src/a.c"});
  EXPECT_EQ(shown_and_relative({"src/./"}), Strings{"src/./a.c -> src/a.c"});
  EXPECT_EQ(shown_and_relative({"./y.c"}), Strings{"y.c -> y.c"});

  fs::current_path("inner");
  EXPECT_EQ(shown_and_relative({"../src"}), Strings{"../src/a.c -> src/a.c"});
  EXPECT_EQ(shown_and_relative({"../y.c"}), Strings{"../y.c -> y.c"});
  EXPECT_EQ(shown_and_relative({"../inner/../src"}), Strings{"../inner/../src/a.c -> src/a.c"});
  // ".." has no name of its own: the folder's real name is taken.
  EXPECT_EQ(shown_and_relative({".."}),
            (Strings{"../inner/i.c -> w/inner/i.c", "../src/a.c -> w/src/a.c", "../y.c -> w/y.c"}));
  EXPECT_EQ(shown_and_relative({root_ + "/w/src"}), Strings{root_ + "/w/src/a.c -> src/a.c"});
  EXPECT_EQ(shown_and_relative({root_ + "/w/y.c"}), Strings{root_ + "/w/y.c -> y.c"});
}

}  // namespace
}  // namespace zaptor
