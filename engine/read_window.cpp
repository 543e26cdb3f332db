#include "read_window.h"

#include <algorithm>
#include <cstring>

#include "crc32.h"

namespace quorvex {
namespace {

constexpr std::size_t kMinCapacity = 4096;
constexpr std::size_t kMaxSpan = 64;

// The reads of one chunk's fields step back a few bytes (its stored checksum
// lies in front of the payload bytes read before it), so a fill starts this
// far in front of the byte asked for: a chunk that straddles the end of the
// window then costs one fill, not two.
constexpr std::uint64_t kFillLead = kMaxSpan;

// Reads the `count` bytes at `pos` into `out`, in as many reads as it takes.
// A read that delivers nothing without an error inside the measured size
// means the file shrank: the window is then changed, and the count short.
ReadResult Load(ReadWindow& w, std::uint64_t pos, std::uint8_t* out, std::size_t count) {
  ReadResult total;
  while (total.count < count) {
    const ReadResult r =
        w.source->ReadAt(pos + total.count, out + total.count, count - total.count);
    total.count += std::min(r.count, count - total.count);
    if (r.error_at.has_value()) {
      total.error_at = r.error_at;
      return total;
    }
    if (r.count == 0) {
      w.changed = true;
      w.length = 0;
      return total;
    }
  }
  return total;
}

// Loads the window with the bytes from a little in front of `wanted` on, as
// many as fit and lie in the file. Returns false when a read error keeps any
// of the `need` bytes at `wanted` from being read, or the file shrank; the
// check then stops. Bytes that a failed read delivered in front of the
// failure serve, so a bad spot stops the check only when the check needs it.
bool Fill(ReadWindow& w, std::uint64_t wanted, std::uint64_t need) {
  if (ReadFailed(w)) return false;
  std::uint64_t pos = wanted - std::min(wanted, kFillLead);
  for (;;) {
    const std::uint64_t left = pos < w.size ? w.size - pos : 0;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(w.capacity, left));
    const ReadResult r = Load(w, pos, w.buffer, want);
    if (w.changed) return false;
    w.start = pos;
    w.length = r.count;
    if (!r.error_at.has_value()) break;
    const std::uint64_t failed_at = *r.error_at;
    if (failed_at >= wanted + need) break;
    // A failure in the lead in front of `wanted` is read around.
    if (failed_at < wanted && pos < wanted) {
      pos = wanted;
      continue;
    }
    w.read_error = failed_at;
    w.length = 0;
    return false;
  }
  return true;
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
  // A fill for `pos` that succeeds always holds the range: it lies in the
  // file, and the lead in front of it and the range together are shorter
  // than the smallest capacity.
  if (!InWindow(w, pos, count) && !Fill(w, pos, count)) return nullptr;
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

bool ReadToEnd(ReadWindow& w) {
  if (ReadFailed(w)) return false;
  const ReadResult r = w.source->ReadAt(w.size, w.buffer, 0);
  if (r.error_at.has_value()) {
    w.read_error = r.error_at;
    w.length = 0;
    return false;
  }
  return true;
}

std::uint32_t CrcOfRange(ReadWindow& w, std::uint64_t pos, std::uint64_t count) {
  std::uint32_t crc = 0;
  if (!RangeInFile(w, pos, count)) return crc;
  while (count > 0) {
    if (!InWindow(w, pos, 1) && !Fill(w, pos, 1)) return 0;
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
