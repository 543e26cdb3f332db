// The lazy folder walk: order of the entries, links and special files left
// alone, folders that cannot be read.
#include "folder_walk.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using quorvex::cli::FolderListing;
using quorvex::cli::FolderWalk;
using quorvex::cli::ListFolder;
using quorvex::cli::WalkStep;

// A small export with every kind of entry a walk meets; see MakeTree.
class FolderWalkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvex-walk-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    base_ = pattern;
    root_ = base_ + "/export";
    MakeTree();
  }
  void TearDown() override {
    const std::string command = "rm -rf '" + base_ + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
  }

  void Touch(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path;
    close(fd);
  }

  void MakeTree() {
    ASSERT_EQ(mkdir(root_.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((root_ + "/sub").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((root_ + "/sub2").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((base_ + "/outside").c_str(), 0755), 0);
    for (const char* name : {"a.jpg", "a-b.jpg", "B.png", "sub.jpg", "\xC3\xA9.jpg", "sub/z.bmp",
                             "sub/damaged.jpg", "sub/notes.txt"}) {
      Touch(root_ + "/" + name);
    }
    Touch(base_ + "/outside/secret.jpg");
    ASSERT_EQ(symlink(".", (root_ + "/loop").c_str()), 0);
    ASSERT_EQ(symlink("..", (root_ + "/sub/up").c_str()), 0);
    ASSERT_EQ(symlink("../outside", (root_ + "/out").c_str()), 0);
    ASSERT_EQ(symlink("sub/z.bmp", (root_ + "/link.bmp").c_str()), 0);
    ASSERT_EQ(mkfifo((root_ + "/pipe.avi").c_str(), 0644), 0);
  }

  std::vector<std::string> Walk(const std::string& root,
                                quorvex::cli::ListFolderFn list = ListFolder) {
    std::vector<std::string> seen;
    FolderWalk walk(root, std::move(list));
    WalkStep step;
    while (walk.Next(step))
      seen.push_back((step.unreadable_folder ? "unreadable " : "") + step.path);
    return seen;
  }

  std::string base_;
  std::string root_;
};

TEST_F(FolderWalkTest, ByteOrderDepthFirstWithoutLinksOrPipes) {
  const std::string r = root_;
  // "sub" comes before "sub.jpg" with all it holds; upper case before lower
  // case, '-' before '.', and a name of non-ASCII bytes after them all.
  EXPECT_EQ(Walk(r),
            (std::vector<std::string>{r + "/B.png", r + "/a-b.jpg", r + "/a.jpg",
                                      r + "/sub/damaged.jpg", r + "/sub/notes.txt",
                                      r + "/sub/z.bmp", r + "/sub.jpg", r + "/\xC3\xA9.jpg"}));
}

TEST_F(FolderWalkTest, RootGivenWithSlashOrThroughALink) {
  const std::string r = root_;
  EXPECT_EQ(Walk(r + "/sub/"), (std::vector<std::string>{r + "/sub/damaged.jpg",
                                                         r + "/sub/notes.txt", r + "/sub/z.bmp"}));
  // A link named as the root is followed; the links inside are not.
  ASSERT_EQ(symlink("export/sub", (base_ + "/named").c_str()), 0);
  EXPECT_EQ(Walk(base_ + "/named"),
            (std::vector<std::string>{base_ + "/named/damaged.jpg", base_ + "/named/notes.txt",
                                      base_ + "/named/z.bmp"}));
}

struct UnreadableCase {
  const char* name;
  const char* failing;  // the folder, below the root, whose listing fails
  std::vector<std::string> expected;
};

void PrintTo(const UnreadableCase& c, std::ostream* os) { *os << c.name; }

class UnreadableFolderTest : public FolderWalkTest,
                             public ::testing::WithParamInterface<UnreadableCase> {};

// Reading a folder fails as it would without permission (tests run as root,
// who may read any folder, so the failure is injected).
TEST_P(UnreadableFolderTest, IsReportedAtItsPlaceAndTheWalkGoesOn) {
  const std::string failing = root_ + GetParam().failing;
  auto list = [&](const std::string& path, FolderListing& out) {
    return path != failing && ListFolder(path, out);
  };
  std::vector<std::string> expected;
  for (const std::string& e : GetParam().expected) {
    expected.push_back(e.rfind("unreadable ", 0) == 0 ? "unreadable " + root_ + e.substr(11)
                                                      : root_ + e);
  }
  EXPECT_EQ(Walk(root_, list), expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, UnreadableFolderTest,
                         ::testing::Values(UnreadableCase{"SubFolder",
                                                          "/sub",
                                                          {"/B.png", "/a-b.jpg", "/a.jpg",
                                                           "unreadable /sub", "/sub.jpg",
                                                           "/\xC3\xA9.jpg"}},
                                           UnreadableCase{"Root", "", {"unreadable "}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FolderWalk, MissingRootIsUnreadable) {
  FolderWalk walk("/nonexistent/quorvex-walk");
  WalkStep step;
  ASSERT_TRUE(walk.Next(step));
  EXPECT_TRUE(step.unreadable_folder);
  EXPECT_EQ(step.path, "/nonexistent/quorvex-walk");
  EXPECT_FALSE(walk.Next(step));
}

TEST(FolderListing, SortsNamesAsUnsignedBytes) {
  FolderListing l;
  for (const char* n : {"b", "\xFF", "a", "A", "\x01", "ab", ""})
    l.Add(n, quorvex::cli::EntryType::kFile);
  l.Sort();
  std::vector<std::string> names;
  for (std::size_t i = 0; i < l.size(); ++i) names.emplace_back(l.name(i));
  EXPECT_EQ(names, (std::vector<std::string>{"", "\x01", "A", "a", "ab", "b", "\xFF"}));
}

}  // namespace
