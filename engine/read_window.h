#ifndef QUORVEX_ENGINE_READ_WINDOW_H
#define QUORVEX_ENGINE_READ_WINDOW_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "byte_source.h"

namespace quorvex {

// The bounded view of the file through which every check reads. It holds at
// most `capacity` bytes, starting at `start`. Bytes at or past `size` (the
// measured size) are not there. All bounds are checked here.
//
// A byte that cannot be read because of a read error sets `read_error`; a
// read that ends early inside the measured size (the file shrank) sets
// `changed`. From then on nothing more is there, and the check stops: no byte
// that was not read is ever checked.
struct ReadWindow {
  ByteSource* source = nullptr;
  std::uint64_t size = 0;
  std::uint8_t* buffer = nullptr;
  std::size_t capacity = 0;
  std::uint64_t start = 0;
  std::size_t length = 0;
  std::optional<std::uint64_t> read_error;
  bool changed = false;
};

// Whether a read error or a change stopped the reading.
inline bool ReadFailed(const ReadWindow& w) { return w.read_error.has_value() || w.changed; }

// Asks the source for no bytes at the end of the file, so that a source that
// hands every byte on in order (InOrderSource) reads what it has not had.
// False when that, or an earlier read, failed.
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
