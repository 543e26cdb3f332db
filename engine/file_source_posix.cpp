// Reading a file on POSIX systems: open, measure, positional reads, and a
// look at the file after the check to see whether it changed meanwhile.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "byte_source.h"

namespace quorvex {
namespace {

// What tells one state of a file from another: where it lives, its size and
// when its data and its inode last changed.
struct FileState {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  struct timespec modified {};
  struct timespec changed {};
};

FileState StateOf(const struct stat& st) {
  return {st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

bool SameTime(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool SameState(const FileState& a, const FileState& b) {
  return a.device == b.device && a.inode == b.inode && a.size == b.size &&
         SameTime(a.modified, b.modified) && SameTime(a.changed, b.changed);
}

int OpenPath(const std::string& path);

class PosixFileSource : public ByteSource {
 public:
  PosixFileSource(int fd, std::string path, const FileState& opened)
      : fd_(fd), path_(std::move(path)), opened_(opened) {}
  ~PosixFileSource() override { ::close(fd_); }
  PosixFileSource(const PosixFileSource&) = delete;
  PosixFileSource& operator=(const PosixFileSource&) = delete;

  bool MeasureSize(std::uint64_t& size) override {
    struct stat st;
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) return false;
    size = static_cast<std::uint64_t>(st.st_size);
    return true;
  }

  ReadResult ReadAt(std::uint64_t pos, std::uint8_t* out, std::size_t count) override {
    ReadResult r;
    while (r.count < count) {
      const ssize_t n =
          ::pread(fd_, out + r.count, count - r.count, static_cast<off_t>(pos + r.count));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) r.error_at = pos + r.count;
      if (n <= 0) break;
      r.count += static_cast<std::size_t>(n);
    }
    return r;
  }

  std::uint64_t SeekTo(std::uint64_t pos) override {
    const off_t at = ::lseek(fd_, static_cast<off_t>(pos), SEEK_SET);
    return at < 0 ? pos : static_cast<std::uint64_t>(at);
  }

  void AdviseSequential() override {
#if defined(POSIX_FADV_SEQUENTIAL)
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
  }

  // The open file must be as it was opened, and its path must still name it:
  // a file renamed over it or written to meanwhile is not what was checked.
  bool Unchanged() override {
    struct stat st;
    if (::fstat(fd_, &st) != 0 || !SameState(StateOf(st), opened_)) return false;
    if (path_.empty()) return true;
    if (::stat(path_.c_str(), &st) != 0) {
      if (errno != ENAMETOOLONG) return false;
      const int fd = OpenPath(path_);
      if (fd < 0) return false;
      const int got = ::fstat(fd, &st);
      ::close(fd);
      if (got != 0) return false;
    }
    return st.st_dev == opened_.device && st.st_ino == opened_.inode;
  }

 private:
  int fd_;
  std::string path_;
  FileState opened_;
};

// O_NONBLOCK keeps the open of a FIFO from waiting for a writer; such a file
// is then refused as not regular.
constexpr int kOpenFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;

// Opens with O_NOATIME, so that reading the file does not move its access
// time; the system allows that only to the file's owner and to the
// privileged, so anyone else gets a plain open.
int OpenAt(int dir, const char* name) {
#if defined(O_NOATIME)
  const int fd = ::openat(dir, name, kOpenFlags | O_NOATIME);
  if (fd >= 0 || errno != EPERM) return fd;
#endif
  return ::openat(dir, name, kOpenFlags);
}

// Opens a path longer than the system takes in one call by walking it one
// folder at a time, each opened relative to the one before.
int OpenLongPath(const std::string& path) {
  int dir = path.front() == '/' ? ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : AT_FDCWD;
  if (dir == -1) return -1;
  std::size_t at = 0;
  for (;;) {
    while (at < path.size() && path[at] == '/') ++at;
    const std::size_t end = path.find('/', at);
    if (end == std::string::npos) break;
    const std::string part = path.substr(at, end - at);
    const int next = ::openat(dir, part.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir != AT_FDCWD) ::close(dir);
    if (next < 0) return -1;
    dir = next;
    at = end;
  }
  const int fd = OpenAt(dir, path.substr(at).c_str());
  if (dir != AT_FDCWD) ::close(dir);
  return fd;
}

int OpenPath(const std::string& path) {
  int fd = OpenAt(AT_FDCWD, path.c_str());
  if (fd < 0 && errno == ENAMETOOLONG && !path.empty()) fd = OpenLongPath(path);
  return fd;
}

}  // namespace

std::unique_ptr<ByteSource> OpenFileSource(const std::string& path) {
  const int fd = OpenPath(path);
  if (fd < 0) return nullptr;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return std::make_unique<PosixFileSource>(fd, path, StateOf(st));
}

std::unique_ptr<ByteSource> AdoptFileSource(int fd) {
  if (fd < 0) return nullptr;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  // Found through its folder's descriptor, it has no path of its own to
  // look at again: the open file itself must stay as it was.
  return std::make_unique<PosixFileSource>(fd, std::string(), StateOf(st));
}

}  // namespace quorvex
