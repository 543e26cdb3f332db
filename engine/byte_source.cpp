#include "byte_source.h"

#include <algorithm>
#include <cstring>

namespace quorvex {
namespace {

// The buffer through which InOrderSource reads the stretches a check skips.
constexpr std::size_t kGapBytes = std::size_t{256} << 10;

}  // namespace

MemorySource::MemorySource(std::vector<std::uint8_t> bytes)
    : owned_(std::move(bytes)), data_(owned_.data()), size_(owned_.size()) {}

MemorySource::MemorySource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

bool MemorySource::MeasureSize(std::uint64_t& size) {
  if (measure_fails_) return false;
  size = has_claimed_size_ ? claimed_size_ : size_;
  return true;
}

ReadResult MemorySource::ReadAt(std::uint64_t pos, std::uint8_t* out, std::size_t count) {
  ++read_calls_;
  bytes_requested_ += count;
  ReadResult r;
  if (unreadable_at_.has_value() && *unreadable_at_ >= pos && *unreadable_at_ - pos < count) {
    r.error_at = *unreadable_at_;
    count = static_cast<std::size_t>(*unreadable_at_ - pos);
  }
  if (pos >= size_) return {0, r.error_at};
  const std::size_t n = std::min({count, static_cast<std::size_t>(size_ - pos), max_read_});
  std::memcpy(out, data_ + pos, n);
  // A read cut short by max_read does not reach the bad byte.
  if (n < count) r.error_at.reset();
  r.count = n;
  return r;
}

std::uint64_t MemorySource::SeekTo(std::uint64_t pos) {
  position_ = pos;
  return position_;
}

bool ProgressSource::MeasureSize(std::uint64_t& size) {
  if (!inner_.MeasureSize(size)) return false;
  size_ = size;
  return true;
}

ReadResult ProgressSource::ReadAt(std::uint64_t pos, std::uint8_t* out, std::size_t count) {
  const ReadResult r = inner_.ReadAt(pos, out, count);
  if (on_progress_ && r.count > 0) on_progress_(pos + r.count, size_);
  return r;
}

ReadResult InOrderSource::ReadAt(std::uint64_t pos, std::uint8_t* out, std::size_t count) {
  while (fed_ < pos) {
    if (gap_ == nullptr) gap_.reset(new std::uint8_t[kGapBytes]);
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(kGapBytes, pos - fed_));
    const ReadResult r = inner_.ReadAt(fed_, gap_.get(), want);
    if (r.count > 0 && on_bytes_) on_bytes_(gap_.get(), std::min(r.count, want));
    fed_ += std::min(r.count, want);
    if (r.error_at.has_value()) return {0, r.error_at};
    // The data ended in front of `pos`: nothing is there to read.
    if (r.count == 0) return {};
  }
  const ReadResult r = inner_.ReadAt(pos, out, count);
  const std::uint64_t end = pos + r.count;
  if (end > fed_) {
    const std::size_t skip = static_cast<std::size_t>(fed_ - pos);
    if (on_bytes_) on_bytes_(out + skip, r.count - skip);
    fed_ = end;
  }
  return r;
}

}  // namespace quorvex
