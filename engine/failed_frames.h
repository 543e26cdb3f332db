#ifndef QUORVEX_ENGINE_FAILED_FRAMES_H
#define QUORVEX_ENGINE_FAILED_FRAMES_H

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>

#include "delta_list.h"

namespace quorvex {

// The checksum a seal holds, and the one computed from the bytes it covers;
// none computed when those bytes run past the end of the file.
struct SealCrcs {
  std::uint32_t stored = 0;
  std::optional<std::uint32_t> computed;

  bool operator==(const SealCrcs&) const = default;
};

struct FailedFrame {
  std::int64_t frame = 0;    // frame number, as listed in the ErrorList
  std::uint64_t offset = 0;  // position of its chunk in the file
  std::uint64_t chunk = 0;   // its index among the video chunks, from 0
  SealCrcs crcs;

  bool operator==(const FailedFrame&) const = default;
};

// The failed frames of a recording, in the order the walk met them, held in
// a few bytes each: a recording may have millions.
class FailedFrameList {
  // The frame, offset, chunk, stored checksum and computed checksum, the
  // last kNoComputed when there is none.
  using List = DeltaList<5>;
  static constexpr std::uint64_t kNoComputed = std::uint64_t{1} << 32;

 public:
  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = FailedFrame;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = FailedFrame;

    Iterator() = default;
    explicit Iterator(List::Iterator it) : it_(it) {}
    FailedFrame operator*() const { return Of(*it_); }
    Iterator& operator++() {
      ++it_;
      return *this;
    }
    Iterator operator++(int) {
      Iterator before = *this;
      ++it_;
      return before;
    }
    bool operator==(const Iterator& other) const { return it_ == other.it_; }

   private:
    List::Iterator it_;
  };

  void push_back(const FailedFrame& f) {
    list_.push_back({static_cast<std::uint64_t>(f.frame), f.offset, f.chunk, f.crcs.stored,
                     f.crcs.computed.has_value() ? *f.crcs.computed : kNoComputed});
  }
  std::size_t size() const { return list_.size(); }
  bool empty() const { return list_.empty(); }
  FailedFrame operator[](std::size_t index) const { return Of(list_.at(index)); }
  FailedFrame back() const { return Of(list_.back()); }
  Iterator begin() const { return Iterator(list_.begin()); }
  Iterator end() const { return Iterator(list_.end()); }
  std::size_t stored_bytes() const { return list_.stored_bytes(); }

 private:
  static FailedFrame Of(const List::Entry& e) {
    SealCrcs crcs{static_cast<std::uint32_t>(e[3]), std::nullopt};
    if (e[4] != kNoComputed) crcs.computed = static_cast<std::uint32_t>(e[4]);
    return {static_cast<std::int64_t>(e[0]), e[1], e[2], crcs};
  }
  List list_;
};

}  // namespace quorvex

#endif
