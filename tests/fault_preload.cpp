// Preloaded into quorvex-check by the console tests (LD_PRELOAD) to stage a
// bad sector: the byte at QUORVEX_FAIL_READ_AT cannot be read. A pread that
// reaches it delivers the bytes in front of it, as a disk does; one that
// starts at it fails with EIO. Reads that start behind it succeed.
#include <dlfcn.h>
#include <errno.h>
#include <sys/types.h>

#include <cstdint>
#include <cstdlib>

namespace {

using PreadFn = ssize_t (*)(int, void*, size_t, off_t);

bool FailAt(std::uint64_t& at) {
  const char* text = std::getenv("QUORVEX_FAIL_READ_AT");
  if (text == nullptr || *text == '\0') return false;
  at = std::strtoull(text, nullptr, 10);
  return true;
}

ssize_t FaultyRead(const char* name, int fd, void* buf, size_t count, off_t offset) {
  static const auto real = reinterpret_cast<PreadFn>(dlsym(RTLD_NEXT, name));
  if (real == nullptr) {
    errno = ENOSYS;
    return -1;
  }
  std::uint64_t at = 0;
  const auto start = static_cast<std::uint64_t>(offset);
  if (offset >= 0 && FailAt(at) && at >= start && at - start < count) {
    if (at == start) {
      errno = EIO;
      return -1;
    }
    count = static_cast<size_t>(at - start);
  }
  return real(fd, buf, count, offset);
}

}  // namespace

extern "C" ssize_t pread(int fd, void* buf, size_t count, off_t offset) {
  return FaultyRead("pread", fd, buf, count, offset);
}

extern "C" ssize_t pread64(int fd, void* buf, size_t count, off_t offset) {
  return FaultyRead("pread64", fd, buf, count, offset);
}
