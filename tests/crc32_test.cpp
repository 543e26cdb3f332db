#include "crc32.h"

#include <gtest/gtest.h>

#include <string>

#include "file_builders.h"
#include "test_support.h"

namespace quorvex {
namespace {

struct CrcVector {
  const char* name;
  std::string hex;
  std::uint32_t crc;
};

void PrintTo(const CrcVector& c, std::ostream* os) { *os << c.name; }

class Crc32Vectors : public ::testing::TestWithParam<CrcVector> {};

TEST_P(Crc32Vectors, MatchesKnownValue) {
  const build::Bytes bytes = testing::Hex(GetParam().hex);
  EXPECT_EQ(Crc32(bytes.data(), bytes.size()), GetParam().crc);
}

INSTANTIATE_TEST_SUITE_P(Known, Crc32Vectors,
                         ::testing::Values(CrcVector{"Empty", "", 0x00000000u},
                                           CrcVector{"CheckString123456789", "313233343536373839",
                                                     0xCBF43926u},
                                           CrcVector{"JpegStartAndEnd", "FFD8FFD9", 0x10F02A67u},
                                           CrcVector{"OneZeroByte", "00", 0xD202EF8Du},
                                           CrcVector{"FourFF", "FFFFFFFF", 0xFFFFFFFFu}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Crc32, ExtendContinuesAcrossAnySplit) {
  const build::Bytes data = build::Filler(3000, 7);
  const std::uint32_t whole = Crc32(data.data(), data.size());
  for (std::size_t split : {0u, 1u, 7u, 64u, 1500u, 2999u, 3000u}) {
    const std::uint32_t first = Crc32(data.data(), split);
    EXPECT_EQ(Crc32Extend(first, data.data() + split, data.size() - split), whole) << split;
  }
  EXPECT_EQ(whole, build::ReferenceCrc32(data));
}

}  // namespace
}  // namespace quorvex
