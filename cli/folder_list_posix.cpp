// The walk's side of the system on POSIX: folders held by descriptor, each
// entry opened relative to its folder without following a link.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "folder_walk.h"

namespace quorvex::cli {
namespace {

EntryType TypeOfMode(mode_t mode) {
  if (S_ISREG(mode)) return EntryType::kFile;
  if (S_ISDIR(mode)) return EntryType::kFolder;
  return EntryType::kOther;
}

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
// O_NONBLOCK keeps the open of a FIFO put in a file's place from waiting for
// a writer; it is then refused as not a regular file.
constexpr int kFileFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW;

int Fd(const OpenFolder& folder) { return static_cast<int>(folder.handle); }

// Whether what was opened is the entry the listing saw. An entry listed
// with its inode must still have it; a folder on another device (a mount
// point) shows that device's inode, not the one listed.
bool IsListed(const struct stat& st, const OpenFolder& parent, std::uint64_t listed_id) {
  return listed_id == 0 || static_cast<std::uint64_t>(st.st_dev) != parent.device ||
         static_cast<std::uint64_t>(st.st_ino) == listed_id;
}

void Record(int fd, const struct stat& st, OpenFolder& out) {
  out.handle = fd;
  out.device = static_cast<std::uint64_t>(st.st_dev);
  out.id = static_cast<std::uint64_t>(st.st_ino);
}

// A link met where a file or folder was listed fails with ELOOP (EMLINK on
// some systems); a file where a folder was listed with ENOTDIR.
bool IsChangeError(int error) { return error == ELOOP || error == EMLINK || error == ENOTDIR; }

}  // namespace

namespace walk_system {

bool OpenRoot(const std::string& path, OpenFolder& out) {
  const int fd = ::open(path.c_str(), kFolderFlags);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode)) {
    ::close(fd);
    return false;
  }
  Record(fd, st, out);
  return true;
}

OpenOutcome OpenSubFolder(const OpenFolder& parent, const std::string&, std::string_view name,
                          std::uint64_t listed_id, OpenFolder& out) {
  const std::string n(name);
  const int fd = ::openat(Fd(parent), n.c_str(), kFolderFlags | O_NOFOLLOW);
  if (fd < 0) return IsChangeError(errno) ? OpenOutcome::kChanged : OpenOutcome::kFailed;
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    ::close(fd);
    return OpenOutcome::kFailed;
  }
  if (!S_ISDIR(st.st_mode) || !IsListed(st, parent, listed_id)) {
    ::close(fd);
    return OpenOutcome::kChanged;
  }
  Record(fd, st, out);
  return OpenOutcome::kOpened;
}

bool OpenParent(const OpenFolder& child, const std::string&, OpenFolder& parent) {
  // ".." is the folder's real parent, never a link.
  const int fd = ::openat(Fd(child), "..", kFolderFlags);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || static_cast<std::uint64_t>(st.st_dev) != parent.device ||
      static_cast<std::uint64_t>(st.st_ino) != parent.id) {
    ::close(fd);
    return false;
  }
  parent.handle = fd;
  return true;
}

bool List(const OpenFolder& folder, const std::string&, FolderListing& out) {
  out.Clear();
  // A descriptor of its own, so that reading the entries moves no position
  // of the held one.
  const int fd = ::openat(Fd(folder), ".", kFolderFlags);
  if (fd < 0) return false;
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    ::close(fd);
    return false;
  }
  bool ok = true;
  for (;;) {
    errno = 0;
    const dirent* e = ::readdir(dir);
    if (e == nullptr) {
      ok = errno == 0;
      break;
    }
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    EntryType type = EntryType::kOther;
    std::uint64_t id = static_cast<std::uint64_t>(e->d_ino);
    if (e->d_type == DT_REG) {
      type = EntryType::kFile;
    } else if (e->d_type == DT_DIR) {
      type = EntryType::kFolder;
    } else if (e->d_type == DT_UNKNOWN) {
      // Some file systems leave the type to a look at the entry itself, which
      // must not follow a link either.
      struct stat st;
      if (::fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        type = TypeOfMode(st.st_mode);
        id = static_cast<std::uint64_t>(st.st_ino);
      }
    }
    out.Add(e->d_name, type, id);
  }
  ::closedir(dir);
  return ok;
}

OpenOutcome OpenFile(const OpenFolder& parent, const std::string&, std::string_view name,
                     std::uint64_t listed_id, std::unique_ptr<ByteSource>& out) {
  const std::string n(name);
  int fd = -1;
#if defined(O_NOATIME)
  // Reading then leaves the access time alone; only the owner (or root) may
  // ask for that.
  fd = ::openat(Fd(parent), n.c_str(), kFileFlags | O_NOATIME);
  if (fd < 0 && errno == EPERM) fd = ::openat(Fd(parent), n.c_str(), kFileFlags);
#else
  fd = ::openat(Fd(parent), n.c_str(), kFileFlags);
#endif
  if (fd < 0) return IsChangeError(errno) ? OpenOutcome::kChanged : OpenOutcome::kFailed;
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    ::close(fd);
    return OpenOutcome::kFailed;
  }
  if (!S_ISREG(st.st_mode) || !IsListed(st, parent, listed_id)) {
    ::close(fd);
    return OpenOutcome::kChanged;
  }
  out = AdoptFileSource(fd);
  return out != nullptr ? OpenOutcome::kOpened : OpenOutcome::kFailed;
}

void Close(OpenFolder& folder) {
  if (folder.handle >= 0) ::close(Fd(folder));
  folder.handle = -1;
}

void AllowOpenFiles(std::size_t count) {
  struct rlimit limit;
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= count) return;
  limit.rlim_cur = limit.rlim_max == RLIM_INFINITY || limit.rlim_max > count
                       ? static_cast<rlim_t>(count)
                       : limit.rlim_max;
  ::setrlimit(RLIMIT_NOFILE, &limit);
}

}  // namespace walk_system

bool IsFolder(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace quorvex::cli
