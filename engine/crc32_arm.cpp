// CRC-32 on 64-bit ARM. The CRC32 instructions compute this very CRC eight
// bytes at a time; with PMULL the data is first folded, 128 bits per lane,
// as the x86 kernels fold it, and the last lane is reduced by the CRC32
// instructions themselves. Each kernel carries its own target attribute, so
// that the rest of the program stays baseline ARMv8.0; the dispatcher calls a
// kernel only when the processor has what it needs.
#include "crc32_kernels.h"

#if defined(QUORVEX_CRC32_ARM)
#include <arm_acle.h>
#include <arm_neon.h>

#include <cstring>

#include "crc32_fold.h"

#define QUORVEX_TARGET_CRC __attribute__((target("+crc")))
#define QUORVEX_TARGET_PMULL __attribute__((target("+crc+crypto")))
#define QUORVEX_INLINE inline __attribute__((always_inline))

namespace quorvex {
namespace {

using namespace crc32_fold;

QUORVEX_INLINE std::uint64_t LoadLe64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;  // AArch64 Linux is little-endian
}

// The CRC register (not inverted) carried over `size` bytes.
QUORVEX_TARGET_CRC QUORVEX_INLINE std::uint32_t Crc32Words(std::uint32_t reg, const std::uint8_t* p,
                                                           std::size_t size) {
  for (; size >= 32; p += 32, size -= 32) {
    reg = __crc32d(reg, LoadLe64(p));
    reg = __crc32d(reg, LoadLe64(p + 8));
    reg = __crc32d(reg, LoadLe64(p + 16));
    reg = __crc32d(reg, LoadLe64(p + 24));
  }
  for (; size >= 8; p += 8, size -= 8) reg = __crc32d(reg, LoadLe64(p));
  for (; size > 0; ++p, --size) reg = __crc32b(reg, *p);
  return reg;
}

QUORVEX_TARGET_PMULL QUORVEX_INLINE uint64x2_t Pair128(FoldPair k) {
  return vcombine_u64(vcreate_u64(k.low), vcreate_u64(k.high));
}

QUORVEX_TARGET_PMULL QUORVEX_INLINE uint64x2_t Load128(const std::uint8_t* p) {
  return vreinterpretq_u64_u8(vld1q_u8(p));
}

// x moved along by the distance of k, plus the data there: the low halves
// multiplied together, and the high halves, as PCLMULQDQ's 0x00 and 0x11.
QUORVEX_TARGET_PMULL QUORVEX_INLINE uint64x2_t Fold128(uint64x2_t x, uint64x2_t k,
                                                       uint64x2_t data) {
  const poly128_t low = vmull_p64(static_cast<poly64_t>(vgetq_lane_u64(x, 0)),
                                  static_cast<poly64_t>(vgetq_lane_u64(k, 0)));
  const poly128_t high = vmull_high_p64(vreinterpretq_p64_u64(x), vreinterpretq_p64_u64(k));
  return veorq_u64(veorq_u64(vreinterpretq_u64_p128(low), vreinterpretq_u64_p128(high)), data);
}

}  // namespace

QUORVEX_TARGET_CRC std::uint32_t Crc32ArmCrc(std::uint32_t crc, const std::uint8_t* p,
                                             std::size_t size) {
  return ~Crc32Words(~crc, p, size);
}

QUORVEX_TARGET_PMULL std::uint32_t Crc32ArmPmull(std::uint32_t crc, const std::uint8_t* p,
                                                 std::size_t size) {
  if (size < 256) return Crc32ArmCrc(crc, p, size);
  size = AlignHead(crc, p, size);
  uint64x2_t x0 = veorq_u64(Load128(p), vcombine_u64(vcreate_u64(~crc), vcreate_u64(0)));
  uint64x2_t x1 = Load128(p + 16);
  uint64x2_t x2 = Load128(p + 32);
  uint64x2_t x3 = Load128(p + 48);
  p += 64;
  size -= 64;
  const uint64x2_t k512 = Pair128(FoldBy(512));
  for (; size >= 64; p += 64, size -= 64) {
    x0 = Fold128(x0, k512, Load128(p));
    x1 = Fold128(x1, k512, Load128(p + 16));
    x2 = Fold128(x2, k512, Load128(p + 32));
    x3 = Fold128(x3, k512, Load128(p + 48));
  }
  const uint64x2_t k128 = Pair128(FoldBy(128));
  uint64x2_t x = Fold128(x0, k128, x1);
  x = Fold128(x, k128, x2);
  x = Fold128(x, k128, x3);
  for (; size >= 16; p += 16, size -= 16) x = Fold128(x, k128, Load128(p));
  // The folded lane stands for all the bytes so far with the register
  // already xored in: its CRC from a register of zero is the register now.
  std::uint32_t reg = __crc32d(0, vgetq_lane_u64(x, 0));
  reg = __crc32d(reg, vgetq_lane_u64(x, 1));
  return ~Crc32Words(reg, p, size);
}

}  // namespace quorvex

#endif
