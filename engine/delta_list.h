#ifndef QUORVEX_ENGINE_DELTA_LIST_H
#define QUORVEX_ENGINE_DELTA_LIST_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

namespace quorvex {

// A list of entries of `N` 64-bit fields, each field stored as the
// difference from the same field of the entry before, in a variable number
// of bytes (7 bits a byte). Rising positions and counts take a byte or two
// an entry instead of eight a field. Every `kStride` entries a mark lets an
// entry be found without decoding the whole list.
template <std::size_t N>
class DeltaList {
 public:
  using Entry = std::array<std::uint64_t, N>;
  static constexpr std::size_t kStride = 64;

  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = Entry;
    using difference_type = std::ptrdiff_t;
    using pointer = const Entry*;
    using reference = const Entry&;

    Iterator() = default;
    const Entry& operator*() const { return entry_; }
    const Entry* operator->() const { return &entry_; }
    Iterator& operator++() {
      ++index_;
      Decode();
      return *this;
    }
    Iterator operator++(int) {
      Iterator before = *this;
      ++*this;
      return before;
    }
    bool operator==(const Iterator& other) const { return index_ == other.index_; }

   private:
    friend class DeltaList;
    Iterator(const DeltaList* list, std::size_t index, std::size_t at, Entry before)
        : list_(list), index_(index), at_(at), entry_(before) {
      Decode();
    }
    void Decode() {
      if (list_ == nullptr || index_ >= list_->count_) return;
      for (std::size_t f = 0; f < N; ++f) entry_[f] += Unzig(ReadVar(list_->bytes_, at_));
    }
    const DeltaList* list_ = nullptr;
    std::size_t index_ = 0;
    std::size_t at_ = 0;
    Entry entry_{};
  };

  void push_back(const Entry& entry) {
    if (count_ % kStride == 0) marks_.push_back({bytes_.size(), last_});
    for (std::size_t f = 0; f < N; ++f) WriteVar(Zig(entry[f] - last_[f]));
    last_ = entry;
    ++count_;
  }
  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  void clear() { *this = DeltaList(); }
  // The bytes the list holds, for a measure of its memory.
  std::size_t stored_bytes() const { return bytes_.capacity() + marks_.capacity() * sizeof(Mark); }

  Iterator begin() const { return Iterator(this, 0, 0, Entry{}); }
  Iterator end() const { return Iterator(this, count_, bytes_.size(), last_); }
  Entry at(std::size_t index) const {
    const Mark& mark = marks_[index / kStride];
    Iterator it(this, index - index % kStride, mark.at, mark.before);
    for (std::size_t i = index % kStride; i > 0; --i) ++it;
    return *it;
  }
  Entry back() const { return last_; }

 private:
  struct Mark {
    std::size_t at;  // where the entry's bytes start
    Entry before;    // the entry in front of it
  };

  static std::uint64_t Zig(std::uint64_t delta) { return (delta << 1) ^ (0 - (delta >> 63)); }
  static std::uint64_t Unzig(std::uint64_t z) { return (z >> 1) ^ (0 - (z & 1)); }
  void WriteVar(std::uint64_t v) {
    while (v >= 0x80) {
      bytes_.push_back(static_cast<std::uint8_t>(v | 0x80));
      v >>= 7;
    }
    bytes_.push_back(static_cast<std::uint8_t>(v));
  }
  static std::uint64_t ReadVar(const std::vector<std::uint8_t>& bytes, std::size_t& at) {
    std::uint64_t v = 0;
    for (int shift = 0;; shift += 7) {
      const std::uint8_t b = bytes[at++];
      v |= static_cast<std::uint64_t>(b & 0x7F) << shift;
      if ((b & 0x80) == 0) return v;
    }
  }

  std::vector<std::uint8_t> bytes_;
  std::vector<Mark> marks_;
  Entry last_{};
  std::size_t count_ = 0;
};

}  // namespace quorvex

#endif
