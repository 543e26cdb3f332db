// Listing a folder on POSIX systems.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
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

}  // namespace

bool ListFolder(const std::string& path, FolderListing& out) {
  out.Clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
    if (e->d_type == DT_REG) {
      type = EntryType::kFile;
    } else if (e->d_type == DT_DIR) {
      type = EntryType::kFolder;
    } else if (e->d_type == DT_UNKNOWN) {
      // Some file systems leave the type to a look at the entry itself, which
      // must not follow a link either.
      struct stat st;
      if (::fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) type = TypeOfMode(st.st_mode);
    }
    out.Add(e->d_name, type);
  }
  ::closedir(dir);
  return ok;
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace quorvex::cli
