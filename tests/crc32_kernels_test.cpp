#include "crc32_kernels.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "crc32.h"
#include "crc32_reference.h"

#if defined(__unix__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace quorvex {
namespace {

using test::ReferenceCrc32Extend;

std::vector<std::uint8_t> RandomBytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 gen(seed);
  std::vector<std::uint8_t> b(size);
  for (auto& byte : b) byte = static_cast<std::uint8_t>(gen());
  return b;
}

class Crc32KernelTest : public ::testing::TestWithParam<std::size_t> {
 protected:
  void SetUp() override {
    kernel_ = &Crc32Kernels()[GetParam()];
    if (!kernel_->supported()) GTEST_SKIP() << kernel_->name << " does not run on this processor";
  }
  std::uint32_t Run(std::uint32_t crc, const std::uint8_t* data, std::size_t size) const {
    return kernel_->extend(crc, data, size);
  }
  const Crc32Kernel* kernel_ = nullptr;
};

TEST_P(Crc32KernelTest, GivesTheStandardCheckValue) {
  const std::string digits = "123456789";
  EXPECT_EQ(Run(0, reinterpret_cast<const std::uint8_t*>(digits.data()), digits.size()),
            0xCBF43926u);
}

// Every length across the thresholds where the kernels change strategy, from
// every start alignment within a cache line, from a fresh and a continued CRC.
TEST_P(Crc32KernelTest, AgreesWithReferenceForAllLengthsAndAlignments) {
  constexpr std::size_t kMaxLength = 4096;
  constexpr std::size_t kAlignments = 64;
  const std::vector<std::uint8_t> bytes = RandomBytes(kMaxLength + kAlignments, 1);
  for (const std::uint32_t start : {0u, 0x9E3779B9u}) {
    for (std::size_t align = 0; align < kAlignments; ++align) {
      const std::uint8_t* data = bytes.data() + align;
      std::uint32_t expected = start;
      for (std::size_t n = 0; n <= kMaxLength; ++n) {
        if (n > 0) expected = ReferenceCrc32Extend(expected, data + n - 1, 1);
        const std::uint32_t got = Run(start, data, n);
        if (got != expected) {
          FAIL() << kernel_->name << ": length " << n << ", alignment " << align << ", start 0x"
                 << std::hex << start << ": got 0x" << got << ", want 0x" << expected;
        }
      }
    }
  }
}

// Long ranges take another way in, from every alignment.
TEST_P(Crc32KernelTest, AgreesWithReferenceOnLongRangesFromEveryAlignment) {
  const std::vector<std::uint8_t> bytes = RandomBytes(40'000, 2);
  for (const std::size_t n : {16'383, 16'384, 16'385, 16'447, 30'001, 39'900}) {
    for (std::size_t align = 0; align < 64; ++align) {
      const std::uint8_t* data = bytes.data() + align;
      ASSERT_EQ(Run(0x1234567u, data, n), ReferenceCrc32Extend(0x1234567u, data, n))
          << "length " << n << ", alignment " << align;
    }
  }
}

// Long random buffers, whole and in random pieces: continuing a CRC over the
// pieces gives the CRC of the whole.
TEST_P(Crc32KernelTest, AgreesWithReferenceOnLongBuffersInPieces) {
  std::mt19937 gen(7);
  for (int round = 0; round < 8; ++round) {
    const std::size_t size = (std::size_t{1} << 20) + gen() % 100'000;
    const std::vector<std::uint8_t> bytes = RandomBytes(size, static_cast<std::uint32_t>(round));
    const std::size_t offset = gen() % 64;
    const std::uint32_t expected = ReferenceCrc32Extend(0, bytes.data() + offset, size - offset);
    EXPECT_EQ(Run(0, bytes.data() + offset, size - offset), expected) << "round " << round;

    std::uint32_t crc = 0;
    std::size_t pos = offset;
    while (pos < size) {
      const std::size_t piece = std::min<std::size_t>(size - pos, gen() % 70'000);
      crc = Run(crc, bytes.data() + pos, piece);
      pos += piece;
    }
    EXPECT_EQ(crc, expected) << "round " << round << " in pieces";
  }
}

TEST_P(Crc32KernelTest, AllZeroAndAllOneBuffers) {
  for (const std::uint8_t fill : {std::uint8_t{0x00}, std::uint8_t{0xFF}}) {
    const std::vector<std::uint8_t> bytes(100'003, fill);
    EXPECT_EQ(Run(0, bytes.data(), bytes.size()),
              ReferenceCrc32Extend(0, bytes.data(), bytes.size()))
        << "fill " << int{fill};
  }
}

#if defined(__unix__)
// A kernel reads no byte before or behind its range: the range touches an
// inaccessible page on each side.
TEST_P(Crc32KernelTest, ReadsNothingOutsideItsRange) {
  const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  void* map = ::mmap(nullptr, 3 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(map, MAP_FAILED);
  auto* base = static_cast<std::uint8_t*>(map);
  std::uint8_t* data = base + page;
  const std::vector<std::uint8_t> fill = RandomBytes(page, 3);
  std::copy(fill.begin(), fill.end(), data);
  ASSERT_EQ(::mprotect(base, page, PROT_NONE), 0);
  ASSERT_EQ(::mprotect(data + page, page, PROT_NONE), 0);
  for (std::size_t n = 0; n <= page; ++n) {
    ASSERT_EQ(Run(0, data, n), ReferenceCrc32Extend(0, data, n)) << "from the start, length " << n;
    ASSERT_EQ(Run(0, data + page - n, n), ReferenceCrc32Extend(0, data + page - n, n))
        << "up to the end, length " << n;
  }
  ::munmap(map, 3 * page);
}
#endif

std::string KernelName(const ::testing::TestParamInfo<std::size_t>& info) {
  std::string name = Crc32Kernels()[info.param].name;
  for (char& c : name) {
    if (c == '-') c = '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(AllKernels, Crc32KernelTest,
                         ::testing::Range(std::size_t{0}, Crc32Kernels().size()), KernelName);

TEST(Crc32DispatchTest, ChoosesASupportedKernel) {
  const Crc32Kernel& chosen = ChosenCrc32Kernel();
  EXPECT_TRUE(chosen.supported()) << chosen.name;
  const std::vector<std::uint8_t> bytes = RandomBytes(70'001, 5);
  EXPECT_EQ(Crc32(bytes.data(), bytes.size()), ReferenceCrc32Extend(0, bytes.data(), bytes.size()));
}

}  // namespace
}  // namespace quorvex
