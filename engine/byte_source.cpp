#include "byte_source.h"

#include <algorithm>
#include <cstring>

namespace quorvex {

MemorySource::MemorySource(std::vector<std::uint8_t> bytes)
    : owned_(std::move(bytes)), data_(owned_.data()), size_(owned_.size()) {}

MemorySource::MemorySource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

bool MemorySource::MeasureSize(std::uint64_t& size) {
  if (measure_fails_) return false;
  size = has_claimed_size_ ? claimed_size_ : size_;
  return true;
}

std::size_t MemorySource::ReadAt(std::uint64_t pos, std::uint8_t* out, std::size_t count) {
  ++read_calls_;
  bytes_requested_ += count;
  last_read_failed_ = false;
  if (unreadable_at_.has_value() && *unreadable_at_ >= pos && *unreadable_at_ - pos < count) {
    if (*unreadable_at_ == pos) {
      last_read_failed_ = true;
      return 0;
    }
    count = static_cast<std::size_t>(*unreadable_at_ - pos);
  }
  if (pos >= size_) return 0;
  const std::size_t n = std::min({count, static_cast<std::size_t>(size_ - pos), max_read_});
  std::memcpy(out, data_ + pos, n);
  return n;
}

std::uint64_t MemorySource::SeekTo(std::uint64_t pos) {
  position_ = pos;
  return position_;
}

}  // namespace quorvex
