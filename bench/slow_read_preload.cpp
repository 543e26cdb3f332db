// Preloaded into quorvex-check by bench/waiting (LD_PRELOAD) to stand for a
// slow share: each pread of a file of exactly QUORVEX_SLOW_FILE_BYTES bytes
// waits QUORVEX_SLOW_READ_US microseconds first. Other files read at full
// speed.
#include <dlfcn.h>
#include <errno.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace {

using PreadFn = ssize_t (*)(int, void*, size_t, off_t);

std::uint64_t EnvNumber(const char* name) {
  const char* text = std::getenv(name);
  return text == nullptr ? 0 : std::strtoull(text, nullptr, 10);
}

ssize_t SlowRead(const char* name, int fd, void* buf, size_t count, off_t offset) {
  static const auto real = reinterpret_cast<PreadFn>(dlsym(RTLD_NEXT, name));
  static const std::uint64_t slow_size = EnvNumber("QUORVEX_SLOW_FILE_BYTES");
  static const std::uint64_t wait_us = EnvNumber("QUORVEX_SLOW_READ_US");
  if (real == nullptr) {
    errno = ENOSYS;
    return -1;
  }
  struct stat st;
  if (slow_size != 0 && ::fstat(fd, &st) == 0 &&
      static_cast<std::uint64_t>(st.st_size) == slow_size)
    ::usleep(static_cast<useconds_t>(wait_us));
  return real(fd, buf, count, offset);
}

}  // namespace

extern "C" ssize_t pread(int fd, void* buf, size_t count, off_t offset) {
  return SlowRead("pread", fd, buf, count, offset);
}

extern "C" ssize_t pread64(int fd, void* buf, size_t count, off_t offset) {
  return SlowRead("pread64", fd, buf, count, offset);
}
