#include "read_window.h"

#include <algorithm>
#include <cstring>

#include "crc32.h"

namespace quorvex {
namespace {

constexpr std::size_t kMinCapacity = 4096;
constexpr std::size_t kMaxSpan = 64;

// Loads the window with the bytes from `pos` on, as many as fit and lie in
// the file. What the reads leave undelivered (the file shrank) is zero.
void Fill(ReadWindow& w, std::uint64_t pos) {
  const std::uint64_t left = pos < w.size ? w.size - pos : 0;
  const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(w.capacity, left));
  std::size_t got = 0;
  while (got < want) {
    const std::size_t n = w.source->ReadAt(pos + got, w.buffer + got, want - got);
    if (n == 0) break;
    got += n;
  }
  if (got < want) std::memset(w.buffer + got, 0, want - got);
  w.start = pos;
  w.length = want;
  if (w.on_progress != nullptr && *w.on_progress) (*w.on_progress)(pos + want, w.size);
}

bool InWindow(const ReadWindow& w, std::uint64_t pos, std::uint64_t count) {
  return pos >= w.start && pos - w.start <= w.length && count <= w.length - (pos - w.start);
}

}  // namespace

std::size_t WindowCapacity(std::size_t wanted, std::uint64_t size) {
  const std::size_t cap = std::max(wanted, kMinCapacity);
  return static_cast<std::size_t>(std::min<std::uint64_t>(cap, size));
}

const std::uint8_t* WindowSpan(ReadWindow& w, std::uint64_t pos, std::size_t count) {
  if (count > kMaxSpan || !RangeInFile(w, pos, count)) return nullptr;
  // A fill at `pos` always holds the range: it lies in the file and is no
  // longer than the smallest capacity.
  if (!InWindow(w, pos, count)) Fill(w, pos);
  return w.buffer + (pos - w.start);
}

std::optional<std::uint8_t> ByteAt(ReadWindow& w, std::uint64_t pos) {
  const std::uint8_t* p = WindowSpan(w, pos, 1);
  if (p == nullptr) return std::nullopt;
  return *p;
}

bool BytesEqual(ReadWindow& w, std::uint64_t pos, std::string_view expected) {
  const std::uint8_t* p = WindowSpan(w, pos, expected.size());
  return p != nullptr && std::memcmp(p, expected.data(), expected.size()) == 0;
}

bool ReadLe16(ReadWindow& w, std::uint64_t pos, std::uint16_t& out) {
  const std::uint8_t* p = WindowSpan(w, pos, 2);
  if (p == nullptr) return false;
  out = static_cast<std::uint16_t>(p[0] | (p[1] << 8));
  return true;
}

bool ReadLe32(ReadWindow& w, std::uint64_t pos, std::uint32_t& out) {
  const std::uint8_t* p = WindowSpan(w, pos, 4);
  if (p == nullptr) return false;
  out = static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
        static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
  return true;
}

bool ReadBe32(ReadWindow& w, std::uint64_t pos, std::uint32_t& out) {
  const std::uint8_t* p = WindowSpan(w, pos, 4);
  if (p == nullptr) return false;
  out = static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
        static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
  return true;
}

std::uint32_t CrcOfRange(ReadWindow& w, std::uint64_t pos, std::uint64_t count) {
  std::uint32_t crc = 0;
  if (!RangeInFile(w, pos, count)) return crc;
  while (count > 0) {
    if (!InWindow(w, pos, 1)) Fill(w, pos);
    const std::size_t offset = static_cast<std::size_t>(pos - w.start);
    const std::size_t n =
        static_cast<std::size_t>(std::min<std::uint64_t>(count, w.length - offset));
    crc = Crc32Extend(crc, w.buffer + offset, n);
    pos += n;
    count -= n;
  }
  return crc;
}

}  // namespace quorvex
