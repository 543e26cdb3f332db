#include "folder_walk.h"

#include <algorithm>
#include <utility>

namespace quorvex::cli {

void FolderListing::Add(std::string_view name, EntryType type) {
  entries_.push_back({names_.size(), static_cast<std::uint32_t>(name.size()), type});
  names_.append(name);
}

void FolderListing::Sort() {
  std::sort(entries_.begin(), entries_.end(), [this](const Entry& a, const Entry& b) {
    // char_traits<char> compares as unsigned bytes.
    return std::string_view(names_).substr(a.offset, a.length) <
           std::string_view(names_).substr(b.offset, b.length);
  });
}

void FolderListing::Clear() {
  names_.clear();
  entries_.clear();
}

std::string_view FolderListing::name(std::size_t i) const {
  return std::string_view(names_).substr(entries_[i].offset, entries_[i].length);
}

std::string JoinPath(const std::string& folder, std::string_view name) {
#if defined(_WIN32)
  constexpr char kSeparator = '\\';
  const bool ends_in_separator =
      !folder.empty() && (folder.back() == '\\' || folder.back() == '/' || folder.back() == ':');
#else
  constexpr char kSeparator = '/';
  const bool ends_in_separator = !folder.empty() && folder.back() == '/';
#endif
  std::string path = folder;
  if (!ends_in_separator) path += kSeparator;
  path.append(name);
  return path;
}

FolderWalk::FolderWalk(std::string root, ListFolderFn list)
    : list_(std::move(list)), root_(std::move(root)) {}

bool FolderWalk::Enter(std::string path) {
  Level level;
  level.path = std::move(path);
  if (!list_(level.path, level.listing)) return false;
  level.listing.Sort();
  stack_.push_back(std::move(level));
  return true;
}

bool FolderWalk::Next(WalkStep& step) {
  if (!started_) {
    started_ = true;
    if (!Enter(root_)) {
      step = {root_, true};
      return true;
    }
  }
  while (!stack_.empty()) {
    Level& level = stack_.back();
    if (level.next == level.listing.size()) {
      stack_.pop_back();
      continue;
    }
    const std::size_t i = level.next++;
    std::string path = JoinPath(level.path, level.listing.name(i));
    switch (level.listing.type(i)) {
      case EntryType::kFile:
        step = {std::move(path), false};
        return true;
      case EntryType::kFolder:
        if (!Enter(path)) {
          step = {std::move(path), true};
          return true;
        }
        break;
      case EntryType::kOther:
        break;
    }
  }
  return false;
}

}  // namespace quorvex::cli
