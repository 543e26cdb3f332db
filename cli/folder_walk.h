#ifndef QUORVEX_CLI_FOLDER_WALK_H
#define QUORVEX_CLI_FOLDER_WALK_H

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvex::cli {

// What an entry of a folder is, as the folder lists it, without following a
// link: only files and folders are walked; links, pipes and devices are not.
enum class EntryType : std::uint8_t { kFile, kFolder, kOther };

// The entries of one folder, their names held in one block of text so that a
// folder of many entries costs little more than its names.
class FolderListing {
 public:
  void Add(std::string_view name, EntryType type);
  // Puts the entries in byte-wise order of their names.
  void Sort();
  void Clear();
  std::size_t size() const { return entries_.size(); }
  std::string_view name(std::size_t i) const;
  EntryType type(std::size_t i) const { return entries_[i].type; }

 private:
  struct Entry {
    std::uint64_t offset;
    std::uint32_t length;
    EntryType type;
  };
  std::string names_;
  std::vector<Entry> entries_;
};

// Lists the folder at `path` into `out` (without "." and ".."); false when it
// cannot be read.
using ListFolderFn = std::function<bool(const std::string& path, FolderListing& out)>;

// The system's listing of a folder.
bool ListFolder(const std::string& path, FolderListing& out);

// Whether `path` names a folder, following a link.
bool IsFolder(const std::string& path);

// `folder` and `name` joined by the system's separator.
std::string JoinPath(const std::string& folder, std::string_view name);

// One step of a walk: a file to check, or a folder that could not be read.
struct WalkStep {
  std::string path;
  bool unreadable_folder = false;
};

// Walks a folder lazily, depth first: the entries of each folder in byte-wise
// order of their names, each sub-folder's contents at its place. Holds only
// the listings of the folders on the way down to the current one.
class FolderWalk {
 public:
  explicit FolderWalk(std::string root, ListFolderFn list = ListFolder);
  // The next step; false when the walk is over.
  bool Next(WalkStep& step);

 private:
  struct Level {
    std::string path;
    FolderListing listing;
    std::size_t next = 0;
  };
  // Lists `path` and goes down into it; false (and no level) when it cannot
  // be read.
  bool Enter(std::string path);

  ListFolderFn list_;
  std::string root_;
  bool started_ = false;
  std::vector<Level> stack_;
};

}  // namespace quorvex::cli

#endif
