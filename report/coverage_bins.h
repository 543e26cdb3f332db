#ifndef QUORVEX_REPORT_COVERAGE_BINS_H
#define QUORVEX_REPORT_COVERAGE_BINS_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorvex::report {

// How much of each of a fixed number of equal stretches of a file the seals
// cover, for the timelines of the page and the case report: the file's size is split into `count`
// bins and each holds the fraction of its bytes (0 to 1) that some sealed range covers. Ranges do
// not overlap; each adds its share to the bins it spans. A file smaller than `count` bytes gets one
// bin per byte.
class CoverageBins {
 public:
  CoverageBins(std::uint64_t file_size, std::size_t count);

  // Adds the sealed bytes [begin, end), clipped to the file.
  void AddSealedRange(std::uint64_t begin, std::uint64_t end);

  bool any() const { return any_; }
  // The covered fraction of every bin, in file order.
  const std::vector<float>& fractions() const { return fractions_; }

 private:
  std::uint64_t BinStart(std::size_t i) const;

  std::uint64_t size_;
  std::vector<float> fractions_;
  bool any_ = false;
};

}  // namespace quorvex::report

#endif
