// CRC-32 by carry-less multiplication: the data is folded, 128 bits per lane,
// into a few registers by multiplying with x^n mod G, and the last register
// is reduced to the 32-bit remainder (Barrett). Each kernel carries its own
// target attribute, so that the rest of the program stays baseline x86-64;
// the dispatcher calls a kernel only when the processor has what it needs.
#include "crc32_kernels.h"

#if defined(QUORVEX_CRC32_X86)
#include <immintrin.h>

#include "crc32_fold.h"

#define QUORVEX_TARGET_PCLMUL __attribute__((target("pclmul,sse4.1")))
#define QUORVEX_TARGET_AVX2 __attribute__((target("avx2,vpclmulqdq,pclmul,sse4.1")))
#define QUORVEX_TARGET_AVX512 __attribute__((target("avx512f,vpclmulqdq,avx2,pclmul,sse4.1")))
// Vector values never cross a call: 64-bit Windows cannot align the stack for
// 256- and 512-bit spills, so every helper is inlined into its kernel.
#define QUORVEX_INLINE inline __attribute__((always_inline))

namespace quorvex {
namespace {

using namespace crc32_fold;

QUORVEX_TARGET_PCLMUL QUORVEX_INLINE __m128i Pair128(FoldPair k) {
  return _mm_set_epi64x(static_cast<long long>(k.high), static_cast<long long>(k.low));
}

QUORVEX_TARGET_PCLMUL QUORVEX_INLINE __m128i Load128(const std::uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// x moved along by the distance of k, plus the data there.
QUORVEX_TARGET_PCLMUL QUORVEX_INLINE __m128i Fold128(__m128i x, __m128i k, __m128i data) {
  return _mm_xor_si128(
      _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), data);
}

// The CRC register for a message whose unreduced remainder is x.
QUORVEX_TARGET_PCLMUL QUORVEX_INLINE std::uint32_t Reduce128(__m128i x) {
  const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);
  const __m128i k = _mm_set_epi64x(static_cast<long long>(FoldMultiplier(64)),
                                   static_cast<long long>(FoldMultiplier(96)));
  // 128 to 96 bits; this also appends the 32 zero bits that the CRC's
  // definition multiplies the message by.
  x = _mm_xor_si128(_mm_srli_si128(x, 8), _mm_clmulepi64_si128(x, k, 0x00));
  // 96 to 64 bits.
  x = _mm_xor_si128(_mm_srli_si128(x, 4), _mm_clmulepi64_si128(_mm_and_si128(x, low32), k, 0x10));
  // Barrett: quotient q = floor(floor(x / x^32) * mu / x^32), remainder x - q*G.
  const __m128i b =
      _mm_set_epi64x(static_cast<long long>(kReflectedPoly33), static_cast<long long>(kBarrett));
  __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x, low32), b, 0x00);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), b, 0x10);
  return static_cast<std::uint32_t>(_mm_extract_epi32(_mm_xor_si128(x, t), 1));
}

// Folds the remaining whole 16-byte blocks into x, reduces it and finishes
// the bytes behind them one table step at a time.
QUORVEX_TARGET_PCLMUL QUORVEX_INLINE std::uint32_t Finish128(__m128i x, const std::uint8_t* p,
                                                             std::size_t size) {
  const __m128i k128 = Pair128(FoldBy(128));
  for (; size >= 16; p += 16, size -= 16) x = Fold128(x, k128, Load128(p));
  return Crc32Portable(~Reduce128(x), p, size);
}

QUORVEX_TARGET_PCLMUL QUORVEX_INLINE __m128i CrcRegister128(std::uint32_t crc) {
  return _mm_cvtsi32_si128(static_cast<int>(~crc));
}

QUORVEX_TARGET_AVX2 QUORVEX_INLINE __m256i Load256(const std::uint8_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

QUORVEX_TARGET_AVX2 QUORVEX_INLINE __m256i Pair256(FoldPair k) {
  return _mm256_broadcastsi128_si256(Pair128(k));
}

QUORVEX_TARGET_AVX2 QUORVEX_INLINE __m256i Fold256(__m256i x, __m256i k, __m256i data) {
  return _mm256_xor_si256(
      _mm256_xor_si256(_mm256_clmulepi64_epi128(x, k, 0x00), _mm256_clmulepi64_epi128(x, k, 0x11)),
      data);
}

QUORVEX_TARGET_AVX512 QUORVEX_INLINE __m512i Load512(const std::uint8_t* p) {
  return _mm512_loadu_si512(p);
}

QUORVEX_TARGET_AVX512 QUORVEX_INLINE __m512i Pair512(FoldPair k) {
  const auto low = static_cast<long long>(k.low);
  const auto high = static_cast<long long>(k.high);
  return _mm512_set_epi64(high, low, high, low, high, low, high, low);
}

// Lane i of z. The masked form, because GCC 12 warns about the undefined
// upper lanes that the plain extraction starts from.
template <int kLane>
QUORVEX_TARGET_AVX512 QUORVEX_INLINE __m128i Lane(__m512i z) {
  return _mm512_maskz_extracti32x4_epi32(0xF, z, kLane);
}

QUORVEX_TARGET_AVX512 QUORVEX_INLINE __m512i Fold512(__m512i x, __m512i k, __m512i data) {
  return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(x, k, 0x00),
                                   _mm512_clmulepi64_epi128(x, k, 0x11), data, 0x96);
}

}  // namespace

QUORVEX_TARGET_PCLMUL std::uint32_t Crc32Pclmul(std::uint32_t crc, const std::uint8_t* p,
                                                std::size_t size) {
  if (size < 64) return Crc32Portable(crc, p, size);
  size = AlignHead(crc, p, size);
  __m128i x0 = _mm_xor_si128(Load128(p), CrcRegister128(crc));
  __m128i x1 = Load128(p + 16);
  __m128i x2 = Load128(p + 32);
  __m128i x3 = Load128(p + 48);
  p += 64;
  size -= 64;
  const __m128i k512 = Pair128(FoldBy(512));
  for (; size >= 64; p += 64, size -= 64) {
    x0 = Fold128(x0, k512, Load128(p));
    x1 = Fold128(x1, k512, Load128(p + 16));
    x2 = Fold128(x2, k512, Load128(p + 32));
    x3 = Fold128(x3, k512, Load128(p + 48));
  }
  const __m128i k128 = Pair128(FoldBy(128));
  __m128i x = Fold128(x0, k128, x1);
  x = Fold128(x, k128, x2);
  x = Fold128(x, k128, x3);
  return Finish128(x, p, size);
}

QUORVEX_TARGET_AVX2 std::uint32_t Crc32VpclmulAvx2(std::uint32_t crc, const std::uint8_t* p,
                                                   std::size_t size) {
  if (size < 128) return Crc32Pclmul(crc, p, size);
  size = AlignHead(crc, p, size);
  __m256i y0 = _mm256_xor_si256(Load256(p), _mm256_zextsi128_si256(CrcRegister128(crc)));
  __m256i y1 = Load256(p + 32);
  __m256i y2 = Load256(p + 64);
  __m256i y3 = Load256(p + 96);
  p += 128;
  size -= 128;
  const __m256i k1024 = Pair256(FoldBy(1024));
  for (; size >= 128; p += 128, size -= 128) {
    y0 = Fold256(y0, k1024, Load256(p));
    y1 = Fold256(y1, k1024, Load256(p + 32));
    y2 = Fold256(y2, k1024, Load256(p + 64));
    y3 = Fold256(y3, k1024, Load256(p + 96));
  }
  __m256i y = Fold256(y0, Pair256(FoldBy(768)), y3);
  y = Fold256(y1, Pair256(FoldBy(512)), y);
  y = Fold256(y2, Pair256(FoldBy(256)), y);
  const __m256i k256 = Pair256(FoldBy(256));
  for (; size >= 32; p += 32, size -= 32) y = Fold256(y, k256, Load256(p));
  const __m128i x =
      Fold128(_mm256_castsi256_si128(y), Pair128(FoldBy(128)), _mm256_extracti128_si256(y, 1));
  return Finish128(x, p, size);
}

QUORVEX_TARGET_AVX512 std::uint32_t Crc32VpclmulAvx512(std::uint32_t crc, const std::uint8_t* p,
                                                       std::size_t size) {
  if (size < 256) return Crc32VpclmulAvx2(crc, p, size);
  size = AlignHead(crc, p, size);
  __m512i z0 = _mm512_xor_si512(Load512(p), _mm512_zextsi128_si512(CrcRegister128(crc)));
  __m512i z1 = Load512(p + 64);
  __m512i z2 = Load512(p + 128);
  __m512i z3 = Load512(p + 192);
  p += 256;
  size -= 256;
  const __m512i k2048 = Pair512(FoldBy(2048));
  for (; size >= 256; p += 256, size -= 256) {
    z0 = Fold512(z0, k2048, Load512(p));
    z1 = Fold512(z1, k2048, Load512(p + 64));
    z2 = Fold512(z2, k2048, Load512(p + 128));
    z3 = Fold512(z3, k2048, Load512(p + 192));
  }
  __m512i z = Fold512(z0, Pair512(FoldBy(1536)), z3);
  z = Fold512(z1, Pair512(FoldBy(1024)), z);
  z = Fold512(z2, Pair512(FoldBy(512)), z);
  const __m512i k512 = Pair512(FoldBy(512));
  for (; size >= 64; p += 64, size -= 64) z = Fold512(z, k512, Load512(p));
  // Lane i of four is followed by 3 - i lanes; the last one needs no move.
  constexpr FoldPair k384 = FoldBy(384), k256 = FoldBy(256), k128 = FoldBy(128);
  const __m512i lanes =
      _mm512_set_epi64(0, 0, static_cast<long long>(k128.high), static_cast<long long>(k128.low),
                       static_cast<long long>(k256.high), static_cast<long long>(k256.low),
                       static_cast<long long>(k384.high), static_cast<long long>(k384.low));
  const __m512i moved = _mm512_xor_si512(_mm512_clmulepi64_epi128(z, lanes, 0x00),
                                         _mm512_clmulepi64_epi128(z, lanes, 0x11));
  const __m128i x = _mm_xor_si128(_mm_xor_si128(Lane<0>(moved), Lane<1>(moved)),
                                  _mm_xor_si128(Lane<2>(moved), Lane<3>(z)));
  return Finish128(x, p, size);
}

}  // namespace quorvex

#endif
