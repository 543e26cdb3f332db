// The lazy folder walk: order of the entries, links and special files left
// alone, folders that cannot be read.
#include "folder_walk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <system_error>
#include <vector>

// Links and pipes are made, and descriptors counted, the POSIX way.
#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using quorvex::cli::FolderListing;
using quorvex::cli::FolderWalk;
using quorvex::cli::WalkStep;
using ListFn = std::function<bool(FolderListing&)>;
namespace fs = std::filesystem;

// A path as the walk writes it: with the system's separator.
std::string Native(std::string path) {
#if defined(_WIN32)
  std::replace(path.begin(), path.end(), '/', '\\');
#endif
  return path;
}

std::vector<std::string> Native(std::vector<std::string> paths) {
  for (std::string& p : paths) p = Native(p);
  return paths;
}

// Makes an empty file; false when it cannot.
bool Touch(const std::string& path) { return static_cast<bool>(std::ofstream(path)); }

// A small export with every kind of entry a walk meets; see MakeTree.
class FolderWalkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    for (int tries = 0; base_.empty() && tries < 100; ++tries) {
      const fs::path dir = fs::temp_directory_path() / ("quorvex-walk-" + std::to_string(random()));
      if (fs::create_directory(dir)) base_ = dir.string();
    }
    ASSERT_FALSE(base_.empty());
    root_ = base_ + Native("/export");
    MakeTree();
  }
  void TearDown() override {
    std::error_code error;
    fs::remove_all(base_, error);
    EXPECT_FALSE(error) << error.message();
  }

  void MakeTree() {
    for (const char* dir : {"/export", "/export/sub", "/export/sub2", "/outside"}) {
      ASSERT_TRUE(fs::create_directory(base_ + Native(dir)));
    }
    for (const char* name : {"a.jpg", "a-b.jpg", "B.png", "sub.jpg", "\xC3\xA9.jpg", "sub/z.bmp",
                             "sub/damaged.jpg", "sub/notes.txt"}) {
      ASSERT_TRUE(Touch(root_ + Native(std::string("/") + name)));
    }
    ASSERT_TRUE(Touch(base_ + Native("/outside/secret.jpg")));
#if !defined(_WIN32)
    ASSERT_EQ(symlink(".", (root_ + "/loop").c_str()), 0);
    ASSERT_EQ(symlink("..", (root_ + "/sub/up").c_str()), 0);
    ASSERT_EQ(symlink("../outside", (root_ + "/out").c_str()), 0);
    ASSERT_EQ(symlink("sub/z.bmp", (root_ + "/link.bmp").c_str()), 0);
    ASSERT_EQ(mkfifo((root_ + "/pipe.avi").c_str(), 0644), 0);
#endif
  }

  std::vector<std::string> Walk(const std::string& root,
                                quorvex::cli::ListFolderFn list = nullptr) {
    std::vector<std::string> seen;
    FolderWalk walk(root, std::move(list));
    WalkStep step;
    while (walk.Next(step)) {
      seen.push_back((step.unreadable_folder ? "unreadable "
                      : step.changed         ? "changed "
                                             : "") +
                     step.path);
      // A file is handed over open, as the walk confirmed it.
      if (!step.unreadable_folder && !step.changed) {
        EXPECT_NE(step.file, nullptr) << step.path;
      }
    }
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
            Native({r + "/B.png", r + "/a-b.jpg", r + "/a.jpg", r + "/sub/damaged.jpg",
                    r + "/sub/notes.txt", r + "/sub/z.bmp", r + "/sub.jpg", r + "/\xC3\xA9.jpg"}));
}

TEST_F(FolderWalkTest, RootGivenWithSlashOrThroughALink) {
  const std::string r = root_;
  EXPECT_EQ(Walk(Native(r + "/sub/")),
            Native({r + "/sub/damaged.jpg", r + "/sub/notes.txt", r + "/sub/z.bmp"}));
#if !defined(_WIN32)
  // A link named as the root is followed; the links inside are not.
  ASSERT_EQ(symlink("export/sub", (base_ + "/named").c_str()), 0);
  EXPECT_EQ(Walk(base_ + "/named"),
            (std::vector<std::string>{base_ + "/named/damaged.jpg", base_ + "/named/notes.txt",
                                      base_ + "/named/z.bmp"}));
#endif
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
  const std::string failing = root_ + Native(GetParam().failing);
  auto list = [&](const std::string& path, FolderListing& out, const ListFn& system_list) {
    return path != failing && system_list(out);
  };
  std::vector<std::string> expected;
  for (const std::string& e : GetParam().expected) {
    expected.push_back(e.rfind("unreadable ", 0) == 0 ? "unreadable " + root_ + Native(e.substr(11))
                                                      : root_ + Native(e));
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

// What a test does to the tree between the listing of a folder and the
// opening of its entries; `root` is the export, `base` the folder around it.
using SwapFn = void (*)(const std::string& base, const std::string& root);

struct SwapCase {
  const char* name;
  const char* listed;  // the folder, below the root, after whose listing the swap is made
  SwapFn swap;
  std::vector<std::string> expected;
};

void PrintTo(const SwapCase& c, std::ostream* os) { *os << c.name; }

void Must(bool ok) { ASSERT_TRUE(ok) << std::strerror(errno); }

class SwapTest : public FolderWalkTest, public ::testing::WithParamInterface<SwapCase> {};

// An entry swapped after its folder was listed is passed over as changed,
// never opened through a link, and the walk goes on.
TEST_P(SwapTest, ChangedEntryIsPassedOverNeverFollowed) {
  const std::string listed = root_ + Native(GetParam().listed);
  bool swapped = false;
  auto list = [&](const std::string& path, FolderListing& out, const ListFn& system_list) {
    const bool ok = system_list(out);
    if (path == listed) {
      GetParam().swap(base_, root_);
      swapped = true;
    }
    return ok;
  };
  std::vector<std::string> expected;
  for (const std::string& e : GetParam().expected) {
    expected.push_back(e.rfind("changed ", 0) == 0 ? "changed " + root_ + Native(e.substr(8))
                                                   : root_ + Native(e));
  }
  EXPECT_EQ(Walk(root_, list), expected);
  EXPECT_TRUE(swapped);
}

const std::vector<std::string> kAfterSub = {"/sub.jpg", "/\xC3\xA9.jpg"};

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const std::vector<std::string> kFileChanged = Concat(
    {"/B.png", "/a-b.jpg", "changed /a.jpg", "/sub/damaged.jpg", "/sub/notes.txt", "/sub/z.bmp"},
    kAfterSub);
const std::vector<std::string> kSubChanged =
    Concat({"/B.png", "/a-b.jpg", "/a.jpg", "changed /sub"}, kAfterSub);

INSTANTIATE_TEST_SUITE_P(
    Cases, SwapTest,
    ::testing::Values(SwapCase{"FileBecameFolder", "",
                               [](const std::string&, const std::string& root) {
                                 Must(fs::remove(root + "/a.jpg"));
                                 Must(fs::create_directory(root + "/a.jpg"));
                                 Must(Touch(root + "/a.jpg/x.jpg"));
                               },
                               kFileChanged},
                      SwapCase{"FolderBecameFile", "",
                               [](const std::string& base, const std::string& root) {
                                 Must(std::rename((root + "/sub").c_str(),
                                                  (base + "/moved").c_str()) == 0);
                                 Must(Touch(root + "/sub"));
                               },
                               kSubChanged},
                      // Another file moved into the name: not the entry listed.
                      SwapCase{"FileReplacedByAnother", "",
                               [](const std::string& base, const std::string& root) {
                                 std::error_code error;
                                 fs::rename(base + "/outside/secret.jpg", root + "/a.jpg", error);
                                 Must(!error);
                               },
                               kFileChanged}),
    [](const auto& info) { return std::string(info.param.name); });

#if !defined(_WIN32)
INSTANTIATE_TEST_SUITE_P(
    Links, SwapTest,
    ::testing::Values(
        SwapCase{"FileBecameLinkOutside", "",
                 [](const std::string&, const std::string& root) {
                   Must(unlink((root + "/a.jpg").c_str()) == 0);
                   Must(symlink("../outside/secret.jpg", (root + "/a.jpg").c_str()) == 0);
                 },
                 kFileChanged},
        SwapCase{"FolderBecameLinkOutside", "",
                 [](const std::string& base, const std::string& root) {
                   Must(rename((root + "/sub").c_str(), (base + "/moved").c_str()) == 0);
                   Must(symlink("../outside", (root + "/sub").c_str()) == 0);
                 },
                 kSubChanged},
        SwapCase{"FileBecamePipe", "",
                 [](const std::string&, const std::string& root) {
                   Must(unlink((root + "/a.jpg").c_str()) == 0);
                   Must(mkfifo((root + "/a.jpg").c_str(), 0644) == 0);
                 },
                 kFileChanged},
        SwapCase{"FileInSubFolderBecameLink", "/sub",
                 [](const std::string&, const std::string& root) {
                   Must(unlink((root + "/sub/z.bmp").c_str()) == 0);
                   Must(symlink("../../outside/secret.jpg", (root + "/sub/z.bmp").c_str()) == 0);
                 },
                 Concat({"/B.png", "/a-b.jpg", "/a.jpg", "/sub/damaged.jpg", "/sub/notes.txt",
                         "changed /sub/z.bmp"},
                        kAfterSub)}),
    [](const auto& info) { return std::string(info.param.name); });

// Descriptors this process has open.
int OpenDescriptors() {
  int n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

// A chain of `depth` folders named "d" under `top`, made relative to each
// other since the whole path is longer than the system takes at once, with
// an empty file "f.jpg" at each depth of `files`.
void MakeChain(const std::string& top, int depth, const std::vector<int>& files) {
  ASSERT_EQ(mkdir(top.c_str(), 0755), 0);
  int fd = open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  for (int level = 0; level <= depth; ++level) {
    if (std::find(files.begin(), files.end(), level) != files.end()) {
      const int f = openat(fd, "f.jpg", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
      ASSERT_GE(f, 0);
      close(f);
    }
    if (level == depth) break;
    ASSERT_EQ(mkdirat(fd, "d", 0755), 0);
    const int next = openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(next, 0);
    close(fd);
    fd = next;
  }
  close(fd);
}

// Every file of a tree 5,000 folders deep is found, under a path of over
// 10,000 bytes, with a few descriptors open whatever the depth.
TEST_F(FolderWalkTest, DeepTreeWalkedWholeWithFewDescriptors) {
  const std::string top = base_ + "/deep";
  const std::vector<int> depths = {0, 1, 17, 1000, 2500, 4999, 5000};
  MakeChain(top, 5000, depths);
  const int before = OpenDescriptors();
  int most = before;
  std::vector<std::size_t> lengths;
  FolderWalk walk(top);
  WalkStep step;
  while (walk.Next(step)) {
    EXPECT_FALSE(step.unreadable_folder || step.changed) << step.path.size();
    EXPECT_NE(step.file, nullptr);
    lengths.push_back(step.path.size());
    most = std::max(most, OpenDescriptors());
  }
  // Depth first: the deepest file comes first, the top's last.
  std::vector<std::size_t> expected;
  for (auto it = depths.rbegin(); it != depths.rend(); ++it)
    expected.push_back(top.size() + 2 * static_cast<std::size_t>(*it) + 6);
  EXPECT_EQ(lengths, expected);
  EXPECT_GT(lengths.front(), 10'000u);
  // The held folders, the file of the step and the directory listing itself.
  EXPECT_LE(most - before, static_cast<int>(FolderWalk::kHeldFolders) + 4);
  EXPECT_EQ(OpenDescriptors(), before + 1);  // the step's file
}

// A folder moved away while the walk is below it, deeper than the folders
// held open: its own entries are still walked (it is the folder listed),
// and the walk finds its way back to the rest of the tree by the names.
TEST_F(FolderWalkTest, FolderMovedWhileWalkedBelowIt) {
  const std::string top = base_ + "/deep";
  MakeChain(top, 40, {0, 3, 40});
  std::string third = top;
  for (int i = 0; i < 3; ++i) third += "/d";
  std::string deepest = top;
  for (int i = 0; i < 40; ++i) deepest += "/d";
  auto list = [&](const std::string& path, FolderListing& out, const ListFn& system_list) {
    const bool ok = system_list(out);
    if (path == deepest) {
      // Away goes the third folder, with all below it, and a new one of the
      // same name in its place.
      Must(rename(third.c_str(), (base_ + "/away").c_str()) == 0);
      Must(mkdir(third.c_str(), 0755) == 0);
      Must(close(open((third + "/f.jpg").c_str(), O_WRONLY | O_CREAT, 0644)) == 0);
    }
    return ok;
  };
  std::vector<std::string> seen;
  FolderWalk walk(top, list);
  WalkStep step;
  while (walk.Next(step)) seen.push_back((step.changed ? "changed " : "") + step.path);
  // The deepest file was opened before the move, the third folder's own
  // file after it, from the folder that was moved; the new one is not the
  // folder listed.
  EXPECT_EQ(seen, (std::vector<std::string>{deepest + "/f.jpg", third + "/f.jpg", top + "/f.jpg"}));
}

#endif

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
