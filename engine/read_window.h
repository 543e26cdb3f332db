#ifndef QUORVEX_ENGINE_READ_WINDOW_H
#define QUORVEX_ENGINE_READ_WINDOW_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "byte_source.h"

namespace quorvex {

// The bounded view of the file through which every check reads. It holds at
// most `capacity` bytes, starting at `start`. Bytes at or past `size` (the
// measured size) are not there; bytes below it that a short read did not
// deliver (the file shrank) count as zero. All bounds are checked here.
//
// A byte that cannot be read because of a read error sets `read_error`; from
// then on nothing more is there, and the check stops.
struct ReadWindow {
  ByteSource* source = nullptr;
  std::uint64_t size = 0;
  std::uint8_t* buffer = nullptr;
  std::size_t capacity = 0;
  std::uint64_t start = 0;
  std::size_t length = 0;
  const std::function<void(std::uint64_t, std::uint64_t)>* on_progress = nullptr;
  std::optional<std::uint64_t> read_error;
  // When set, given every byte of the file once and in order, as the check
  // sees it: the window then also reads the stretches that the check skips.
  const std::function<void(const std::uint8_t*, std::size_t)>* on_bytes = nullptr;
  std::uint64_t fed = 0;  // the bytes in front of this went to on_bytes
};

inline bool ReadFailed(const ReadWindow& w) { return w.read_error.has_value(); }

// With on_bytes set, reads whatever of the file has not gone to it yet.
// False when a read error stopped it.
bool ReadToEnd(ReadWindow& w);

// The capacity a window needs for a file of `size` bytes: the wanted window,
// never more than the file, never so small that a field does not fit.
std::size_t WindowCapacity(std::size_t wanted, std::uint64_t size);

// True when the `count` bytes from `pos` all lie inside the file.
inline bool RangeInFile(const ReadWindow& w, std::uint64_t pos, std::uint64_t count) {
  return pos <= w.size && count <= w.size - pos;
}

// The `count` bytes at `pos` (count at most 64), or null when any of them
// lies past the end of the file.
const std::uint8_t* WindowSpan(ReadWindow& w, std::uint64_t pos, std::size_t count);

std::optional<std::uint8_t> ByteAt(ReadWindow& w, std::uint64_t pos);
// True when the bytes at `pos` are exactly `expected`; false when any of them
// differs or lies past the end.
bool BytesEqual(ReadWindow& w, std::uint64_t pos, std::string_view expected);
bool ReadLe16(ReadWindow& w, std::uint64_t pos, std::uint16_t& out);
bool ReadLe32(ReadWindow& w, std::uint64_t pos, std::uint32_t& out);
bool ReadBe32(ReadWindow& w, std::uint64_t pos, std::uint32_t& out);

// CRC-32 of the `count` bytes from `pos`, which must lie inside the file.
// Meaningless when a read error stopped it (ReadFailed).
std::uint32_t CrcOfRange(ReadWindow& w, std::uint64_t pos, std::uint64_t count);

}  // namespace quorvex

#endif
