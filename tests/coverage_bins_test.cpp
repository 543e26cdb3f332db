#include "coverage_bins.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace quorvex::report {
namespace {

constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;

struct BinsCase {
  const char* name;
  std::uint64_t size;
  std::size_t count;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;
  std::vector<float> expected;
  bool any;
};

class CoverageBinsTest : public ::testing::TestWithParam<BinsCase> {};

TEST_P(CoverageBinsTest, SharesOfEachBin) {
  const BinsCase& c = GetParam();
  CoverageBins bins(c.size, c.count);
  for (const auto& [begin, end] : c.ranges) bins.AddSealedRange(begin, end);
  ASSERT_EQ(bins.fractions().size(), c.expected.size());
  for (std::size_t i = 0; i < c.expected.size(); ++i)
    EXPECT_FLOAT_EQ(bins.fractions()[i], c.expected[i]) << "bin " << i;
  EXPECT_EQ(bins.any(), c.any);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, CoverageBinsTest,
    ::testing::Values(
        BinsCase{"WholeFile", 1000, 4, {{0, 1000}}, {1, 1, 1, 1}, true},
        BinsCase{"NothingSealed", 1000, 4, {}, {0, 0, 0, 0}, false},
        BinsCase{"FirstHalf", 1000, 4, {{0, 500}}, {1, 1, 0, 0}, true},
        BinsCase{"HalvesOfTwoBins", 1000, 4, {{125, 375}}, {0.5, 0.5, 0, 0}, true},
        BinsCase{"AdjacentRangesFillABin", 1000, 4, {{0, 100}, {100, 250}}, {1, 0, 0, 0}, true},
        BinsCase{"RangePastTheEndIsClipped", 1000, 4, {{750, 5000}}, {0, 0, 0, 1}, true},
        BinsCase{"RangeBehindTheEndAddsNothing", 1000, 4, {{1000, 2000}}, {0, 0, 0, 0}, false},
        BinsCase{"EmptyRangeAddsNothing", 1000, 4, {{300, 300}}, {0, 0, 0, 0}, false},
        BinsCase{"UnevenSplitCoversEveryByte", 10, 3, {{0, 10}}, {1, 1, 1}, true},
        BinsCase{"SmallFileOneBinPerByte", 3, 400, {{1, 3}}, {0, 1, 1}, true},
        BinsCase{"EmptyFileHasNoBins", 0, 400, {{0, 10}}, {}, false},
        BinsCase{"BehindFourGiB", 5 * kGiB, 5, {{4 * kGiB, 5 * kGiB}}, {0, 0, 0, 0, 1}, true},
        BinsCase{"StraddlingFourGiB",
                 8 * kGiB,
                 4,
                 {{4 * kGiB - 1024, 4 * kGiB + 1024}},
                 {0, 1024.0f / (2 * kGiB), 1024.0f / (2 * kGiB), 0},
                 true}),
    [](const ::testing::TestParamInfo<BinsCase>& info) { return info.param.name; });

}  // namespace
}  // namespace quorvex::report
