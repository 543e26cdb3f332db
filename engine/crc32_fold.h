#ifndef QUORVEX_ENGINE_CRC32_FOLD_H
#define QUORVEX_ENGINE_CRC32_FOLD_H

// What the carry-less multiplication kernels of every processor share: the
// constants that fold 128-bit lanes along the message and reduce the last
// one, worked out at compile time from the polynomial, and the head that
// brings a long range to a cache-line boundary.

#include <cstddef>
#include <cstdint>

#include "crc32_kernels.h"

namespace quorvex::crc32_fold {

// Bit-reflected arithmetic modulo G: bit 0 of a 32-bit value is the
// coefficient of x^31.
constexpr std::uint32_t kReflectedPoly = 0xEDB88320u;

constexpr std::uint32_t XPowModG(unsigned n) {
  std::uint32_t r = 0x80000000u;  // x^0
  for (unsigned i = 0; i < n; ++i) r = (r >> 1) ^ ((r & 1u) != 0 ? kReflectedPoly : 0u);
  return r;
}

// The 64-bit operand that multiplies a reflected 64-bit half by x^n mod G.
// The carry-less product of two reflected 64-bit values lands one bit short
// of the reflected 128-bit position, hence the shift.
constexpr std::uint64_t FoldMultiplier(unsigned n) { return std::uint64_t{XPowModG(n)} << 1; }

constexpr std::uint32_t Reflect32(std::uint32_t v) {
  std::uint32_t r = 0;
  for (int i = 0; i < 32; ++i) r |= ((v >> i) & 1u) << (31 - i);
  return r;
}

// G itself, reflected over its 33 coefficients.
constexpr std::uint64_t kReflectedPoly33 = std::uint64_t{kReflectedPoly} << 1 | 1u;

// floor(x^64 / G), reflected over its 33 coefficients.
constexpr std::uint64_t BarrettConstant() {
  const std::uint64_t g = std::uint64_t{1} << 32 | Reflect32(kReflectedPoly);
  // The top quotient bit x^32 leaves x^32 * (G - x^32) as the remainder.
  std::uint64_t rem = (g & 0xFFFFFFFFu) << 32;
  std::uint64_t q = std::uint64_t{1} << 32;
  for (int d = 63; d >= 32; --d) {
    if (((rem >> d) & 1u) != 0) {
      rem ^= g << (d - 32);
      q |= std::uint64_t{1} << (d - 32);
    }
  }
  std::uint64_t reflected = 0;
  for (int i = 0; i <= 32; ++i) reflected |= ((q >> i) & 1u) << (32 - i);
  return reflected;
}
inline constexpr std::uint64_t kBarrett = BarrettConstant();

// Multipliers that move a 128-bit lane `bits` further along the message: the
// low half (the earlier bytes) by x^(bits+32), the high half by x^(bits-32).
struct FoldPair {
  std::uint64_t low;
  std::uint64_t high;
};
constexpr FoldPair FoldBy(unsigned bits) {
  return {FoldMultiplier(bits + 32), FoldMultiplier(bits - 32)};
}

// A long range first gets its bytes up to a cache-line boundary from the table
// kernel, so that no load of the main loop straddles two lines; this pays
// where the data comes from memory.
inline constexpr std::size_t kAlignFrom = 16384;
inline constexpr std::uintptr_t kCacheLine = 64;

inline std::size_t AlignHead(std::uint32_t& crc, const std::uint8_t*& p, std::size_t size) {
  if (size < kAlignFrom) return size;
  const std::size_t head =
      (kCacheLine - reinterpret_cast<std::uintptr_t>(p) % kCacheLine) % kCacheLine;
  crc = Crc32Portable(crc, p, head);
  p += head;
  return size - head;
}

}  // namespace quorvex::crc32_fold

#endif
