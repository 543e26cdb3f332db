#include "folder_walk.h"

#include <algorithm>
#include <utility>

namespace quorvex::cli {

void FolderListing::Add(std::string_view name, EntryType type, std::uint64_t id) {
  entries_.push_back({names_.size(), id, static_cast<std::uint32_t>(name.size()), type});
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

FolderWalk::~FolderWalk() {
  for (Level& level : stack_) Release(level);
}

void FolderWalk::Hold(Level& level) {
  level.held = true;
  ++held_;
}

void FolderWalk::Release(Level& level) {
  if (!level.held) return;
  walk_system::Close(level.folder);
  level.held = false;
  --held_;
}

bool FolderWalk::ListInto(Level& level) {
  const auto system_list = [&level, this](FolderListing& out) {
    return walk_system::List(level.folder, path_, out);
  };
  const bool ok = list_ ? list_(path_, level.listing, system_list) : system_list(level.listing);
  if (ok) level.listing.Sort();
  return ok;
}

bool FolderWalk::Enter(const std::string& path, OpenFolder folder) {
  const std::size_t parent_length = path_.size();
  path_ = path;
  stack_.emplace_back();
  Level& level = stack_.back();
  level.path_length = path_.size();
  level.folder = folder;
  Hold(level);
  if (!ListInto(level)) {
    Release(level);
    stack_.pop_back();
    path_.resize(parent_length);
    return false;
  }
  // Only a few folders stay open: of those below the root, the one entered
  // longest ago is closed, and opened again when the walk comes back to it.
  if (held_ > kHeldFolders + 1) {
    while (scan_from_ < stack_.size() && !stack_[scan_from_].held) ++scan_from_;
    if (scan_from_ + 1 < stack_.size()) Release(stack_[scan_from_]);
  }
  return true;
}

bool FolderWalk::Reopen(std::size_t at) {
  std::size_t from = at;
  while (!stack_[from].held) --from;  // the root is always held
  OpenFolder now = stack_[from].folder;
  for (std::size_t m = from + 1; m <= at; ++m) {
    const Level& above = stack_[m - 1];
    const std::string name(above.listing.name(above.next - 1));
    const std::string path = path_.substr(0, stack_[m].path_length);
    OpenFolder next;
    const OpenOutcome outcome =
        walk_system::OpenSubFolder(now, path, name, stack_[m].folder.id, next);
    if (m - 1 != from) walk_system::Close(now);
    if (outcome != OpenOutcome::kOpened || next.device != stack_[m].folder.device ||
        next.id != stack_[m].folder.id) {
      if (outcome == OpenOutcome::kOpened) walk_system::Close(next);
      return false;
    }
    now = next;
  }
  stack_[at].folder = now;
  Hold(stack_[at]);
  if (at < scan_from_) scan_from_ = at;
  return true;
}

bool FolderWalk::Leave(WalkStep& step) {
  const std::size_t at = stack_.size() - 1;
  if (at == 0) {
    Release(stack_[0]);
    stack_.pop_back();
    return true;
  }
  Level& parent = stack_[at - 1];
  bool ok = parent.held;
  if (!ok) {
    const std::string parent_path = path_.substr(0, parent.path_length);
    if (stack_[at].held && walk_system::OpenParent(stack_[at].folder, parent_path, parent.folder)) {
      Hold(parent);
      if (at - 1 < scan_from_) scan_from_ = at - 1;
      ok = true;
    } else {
      ok = Reopen(at - 1);
    }
  }
  Release(stack_[at]);
  stack_.pop_back();
  path_.resize(stack_.back().path_length);
  if (ok) return true;
  // The folder was moved or swapped while the walk was below it: what is
  // left of it is passed over.
  Level& lost = stack_.back();
  lost.next = lost.listing.size();
  step = WalkStep{};
  step.path = path_;
  step.changed = true;
  return false;
}

bool FolderWalk::Next(WalkStep& step) {
  if (!started_) {
    started_ = true;
    path_ = root_;
    OpenFolder root;
    if (!walk_system::OpenRoot(root_, root)) {
      step = WalkStep{};
      step.path = root_;
      step.unreadable_folder = true;
      return true;
    }
    stack_.emplace_back();
    stack_.back().path_length = path_.size();
    stack_.back().folder = root;
    Hold(stack_.back());
    if (!ListInto(stack_.back())) {
      Release(stack_.back());
      stack_.pop_back();
      step = WalkStep{};
      step.path = root_;
      step.unreadable_folder = true;
      return true;
    }
  }
  while (!stack_.empty()) {
    Level& level = stack_.back();
    if (level.next == level.listing.size()) {
      if (!Leave(step)) return true;
      continue;
    }
    const std::size_t i = level.next++;
    const EntryType type = level.listing.type(i);
    if (type == EntryType::kOther) continue;
    const std::string name(level.listing.name(i));
    const std::uint64_t id = level.listing.id(i);
    std::string path = JoinPath(path_, name);
    step = WalkStep{};
    if (type == EntryType::kFile) {
      const OpenOutcome outcome = walk_system::OpenFile(level.folder, path, name, id, step.file);
      step.path = std::move(path);
      step.changed = outcome == OpenOutcome::kChanged;
      return true;
    }
    OpenFolder sub;
    const OpenOutcome outcome = walk_system::OpenSubFolder(level.folder, path, name, id, sub);
    if (outcome == OpenOutcome::kOpened && Enter(path, sub)) continue;
    step.path = std::move(path);
    step.changed = outcome == OpenOutcome::kChanged;
    step.unreadable_folder = !step.changed;
    return true;
  }
  return false;
}

}  // namespace quorvex::cli
