// Reading a file on POSIX systems: open, measure, positional reads.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "byte_source.h"

namespace quorvex {
namespace {

class PosixFileSource : public ByteSource {
 public:
  explicit PosixFileSource(int fd) : fd_(fd) {}
  ~PosixFileSource() override { ::close(fd_); }
  PosixFileSource(const PosixFileSource&) = delete;
  PosixFileSource& operator=(const PosixFileSource&) = delete;

  bool MeasureSize(std::uint64_t& size) override {
    struct stat st;
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) return false;
    size = static_cast<std::uint64_t>(st.st_size);
    return true;
  }

  std::size_t ReadAt(std::uint64_t pos, std::uint8_t* out, std::size_t count) override {
    last_read_failed_ = false;
    std::size_t done = 0;
    while (done < count) {
      const ssize_t n = ::pread(fd_, out + done, count - done, static_cast<off_t>(pos + done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) last_read_failed_ = true;
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    return done;
  }

  bool LastReadFailed() const override { return last_read_failed_; }

  std::uint64_t SeekTo(std::uint64_t pos) override {
    const off_t at = ::lseek(fd_, static_cast<off_t>(pos), SEEK_SET);
    return at < 0 ? pos : static_cast<std::uint64_t>(at);
  }

  void AdviseSequential() override {
#if defined(POSIX_FADV_SEQUENTIAL)
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
  }

 private:
  int fd_;
  bool last_read_failed_ = false;
};

// O_NONBLOCK keeps the open of a FIFO from waiting for a writer; such a file
// is then refused as not regular.
constexpr int kOpenFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;

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
  const int fd = ::openat(dir, path.substr(at).c_str(), kOpenFlags);
  if (dir != AT_FDCWD) ::close(dir);
  return fd;
}

}  // namespace

std::unique_ptr<ByteSource> OpenFileSource(const std::string& path) {
  int fd = ::open(path.c_str(), kOpenFlags);
  if (fd < 0 && errno == ENAMETOOLONG && !path.empty()) fd = OpenLongPath(path);
  if (fd < 0) return nullptr;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return std::make_unique<PosixFileSource>(fd);
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
  return std::make_unique<PosixFileSource>(fd);
}

}  // namespace quorvex
