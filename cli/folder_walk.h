#ifndef QUORVEX_CLI_FOLDER_WALK_H
#define QUORVEX_CLI_FOLDER_WALK_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "byte_source.h"

namespace quorvex::cli {

// What an entry of a folder is, as the folder lists it, without following a
// link: only files and folders are walked; links, pipes and devices are not.
enum class EntryType : std::uint8_t { kFile, kFolder, kOther };

// The entries of one folder, their names held in one block of text so that a
// folder of many entries costs little more than its names.
class FolderListing {
 public:
  // `id` is the entry's inode as the listing gives it; 0 when it gives none.
  void Add(std::string_view name, EntryType type, std::uint64_t id = 0);
  // Puts the entries in byte-wise order of their names.
  void Sort();
  void Clear();
  std::size_t size() const { return entries_.size(); }
  std::string_view name(std::size_t i) const;
  EntryType type(std::size_t i) const { return entries_[i].type; }
  std::uint64_t id(std::size_t i) const { return entries_[i].id; }

 private:
  struct Entry {
    std::uint64_t offset;
    std::uint64_t id;
    std::uint32_t length;
    EntryType type;
  };
  std::string names_;
  std::vector<Entry> entries_;
};

// A folder as the walk holds it: open, and what it is, so that it can be
// known again when it is opened anew.
struct OpenFolder {
  std::intptr_t handle = -1;  // a descriptor on POSIX; -1 when not held open
  std::uint64_t device = 0;
  std::uint64_t id = 0;  // the inode; 0 where the system gives none
};

// What opening an entry of a listed folder found.
enum class OpenOutcome : std::uint8_t {
  kOpened,
  kChanged,  // a link now, another kind of thing, or not the entry listed
  kFailed,   // gone or not allowed
};

// The system's side of a walk, one definition per platform. Entries are
// opened relative to their folder's open descriptor where the system has
// them, never following a link, and confirmed to be what was listed.
namespace walk_system {
// Opens the folder a walk starts from, following a link.
bool OpenRoot(const std::string& path, OpenFolder& out);
// Opens the folder `name` of `parent` (listed with inode `listed_id`, 0 when
// unknown); `path` is its whole path.
OpenOutcome OpenSubFolder(const OpenFolder& parent, const std::string& path, std::string_view name,
                          std::uint64_t listed_id, OpenFolder& out);
// Opens the parent of `child` anew, and whether it is `parent` as recorded.
bool OpenParent(const OpenFolder& child, const std::string& parent_path, OpenFolder& parent);
// Lists an open folder into `out` (without "." and ".."); false when it
// cannot be read.
bool List(const OpenFolder& folder, const std::string& path, FolderListing& out);
// Opens the file `name` of `parent` for reading.
OpenOutcome OpenFile(const OpenFolder& parent, const std::string& path, std::string_view name,
                     std::uint64_t listed_id, std::unique_ptr<ByteSource>& out);
void Close(OpenFolder& folder);
// Lets the process hold `count` descriptors open where its hard limit
// allows: each file waiting in a walked run is held open.
void AllowOpenFiles(std::size_t count);
}  // namespace walk_system

// Stands in for the listing of a folder, for tests: given the folder's path,
// fills `out`, calling `list` for the system's listing of the open folder if
// it wants it; false when the folder cannot be read. What it does to the tree
// happens between the listing and the opening of the entries.
using ListFolderFn = std::function<bool(const std::string& path, FolderListing& out,
                                        const std::function<bool(FolderListing&)>& list)>;

// Whether `path` names a folder, following a link.
bool IsFolder(const std::string& path);

// `folder` and `name` joined by the system's separator.
std::string JoinPath(const std::string& folder, std::string_view name);

// One step of a walk: a file to check (opened, or null when it could not be
// opened), a folder that could not be read, or an entry that changed between
// the listing and the opening and is passed over.
struct WalkStep {
  std::string path;
  bool unreadable_folder = false;
  bool changed = false;
  std::unique_ptr<ByteSource> file;
};

// Walks a folder lazily, depth first: the entries of each folder in byte-wise
// order of their names, each sub-folder's contents at its place. Holds the
// listings of the folders on the way down to the current one, one path, and a
// few folders open whatever the depth: a folder closed on the way down is
// opened again from its sub-folder's "..", or from a held folder by its
// names, and known again by its device and inode.
class FolderWalk {
 public:
  explicit FolderWalk(std::string root, ListFolderFn list = nullptr);
  ~FolderWalk();
  FolderWalk(const FolderWalk&) = delete;
  FolderWalk& operator=(const FolderWalk&) = delete;
  // The next step; false when the walk is over.
  bool Next(WalkStep& step);

  // Folders held open at most, besides the root and for a moment the one
  // being opened.
  static constexpr std::size_t kHeldFolders = 16;

 private:
  struct Level {
    std::size_t path_length = 0;  // of path_ while this folder is the current one
    FolderListing listing;
    std::size_t next = 0;
    OpenFolder folder;
    bool held = false;
  };
  bool ListInto(Level& level);
  // Goes down into the opened folder at `path`; false (the folder closed, no
  // level) when it cannot be listed.
  bool Enter(const std::string& path, OpenFolder folder);
  // Leaves the current folder; false, with `step` set, when the folder it
  // returns to cannot be opened again as the same folder.
  bool Leave(WalkStep& step);
  // Opens `stack_[at]` again from the nearest held folder above it.
  bool Reopen(std::size_t at);
  void Hold(Level& level);
  void Release(Level& level);

  ListFolderFn list_;
  std::string root_;
  std::string path_;  // of the current folder
  bool started_ = false;
  std::size_t held_ = 0;
  // No level below this one but the root is held.
  std::size_t scan_from_ = 1;
  std::vector<Level> stack_;
};

}  // namespace quorvex::cli

#endif
