#include "coverage_bins.h"

#include <algorithm>

namespace quorvex::report {

CoverageBins::CoverageBins(std::uint64_t file_size, std::size_t count)
    : size_(file_size),
      // No bin narrower than a byte: a bin of no bytes could never be covered.
      fractions_(static_cast<std::size_t>(std::min<std::uint64_t>(count, file_size)), 0.0f) {}

// Bin i covers [BinStart(i), BinStart(i + 1)): the split by a long division
// that cannot overflow, so that files of any size get bins of equal width to
// within a byte.
std::uint64_t CoverageBins::BinStart(std::size_t i) const {
  const std::uint64_t n = fractions_.size();
  return size_ / n * i + size_ % n * i / n;
}

void CoverageBins::AddSealedRange(std::uint64_t begin, std::uint64_t end) {
  end = std::min(end, size_);
  if (fractions_.empty() || begin >= end) return;
  any_ = true;
  const std::uint64_t n = fractions_.size();
  // The first bin that can hold `begin`, found by estimate and corrected.
  std::size_t i = static_cast<std::size_t>(
      std::min<std::uint64_t>(n - 1, size_ / n == 0 ? begin * n / size_ : begin / (size_ / n + 1)));
  while (i > 0 && BinStart(i) > begin) --i;
  while (i + 1 < n && BinStart(i + 1) <= begin) ++i;
  for (; i < n; ++i) {
    const std::uint64_t lo = BinStart(i);
    const std::uint64_t hi = BinStart(i + 1);
    if (lo >= end) break;
    const std::uint64_t covered = std::min(end, hi) - std::max(begin, lo);
    if (hi > lo) {
      const double f = fractions_[i] + static_cast<double>(covered) / static_cast<double>(hi - lo);
      fractions_[i] = static_cast<float>(std::min(f, 1.0));
    }
  }
}

}  // namespace quorvex::report
