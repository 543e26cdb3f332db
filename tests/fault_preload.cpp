// Preloaded into quorvex-check by the console tests (LD_PRELOAD) to stage
// faults at a known moment:
// - a bad sector: the byte at QUORVEX_FAIL_READ_AT cannot be read. A pread
//   that reaches it delivers the bytes in front of it, as a disk does; one
//   that starts at it fails with EIO. Reads that start behind it succeed.
// - a file changed during its check: the first pread that reaches byte
//   QUORVEX_CHANGE_AT first cuts the file QUORVEX_CHANGE_PATH to
//   QUORVEX_CHANGE_TO bytes.
// - memory running out: the QUORVEX_FAIL_NEW_AT-th allocation of at least
//   64 KiB (counted from 1) fails, once.
#include <dlfcn.h>
#include <errno.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> g_changed{false};

void ChangeBefore(std::uint64_t start, size_t count) {
  const char* at_text = std::getenv("QUORVEX_CHANGE_AT");
  const char* path = std::getenv("QUORVEX_CHANGE_PATH");
  const char* to_text = std::getenv("QUORVEX_CHANGE_TO");
  if (at_text == nullptr || path == nullptr || to_text == nullptr) return;
  const std::uint64_t at = std::strtoull(at_text, nullptr, 10);
  if (at < start || at - start >= count || g_changed.exchange(true)) return;
  if (::truncate(path, static_cast<off_t>(std::strtoull(to_text, nullptr, 10))) != 0) std::abort();
}

constexpr std::size_t kLargeAllocation = 65536;
std::atomic<long> g_large_allocations{0};

bool FailThisAllocation(std::size_t size) {
  if (size < kLargeAllocation) return false;
  const char* text = std::getenv("QUORVEX_FAIL_NEW_AT");
  if (text == nullptr) return false;
  return ++g_large_allocations == std::strtol(text, nullptr, 10);
}

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
  if (offset >= 0) ChangeBefore(start, count);
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

void* operator new(std::size_t size) {
  if (FailThisAllocation(size)) throw std::bad_alloc();
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

void* operator new[](std::size_t size) { return ::operator new(size); }

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (FailThisAllocation(size)) return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}

void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return ::operator new(size, tag);
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
