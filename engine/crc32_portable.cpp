#include <array>

#include "crc32_kernels.h"

namespace quorvex {
namespace {

constexpr std::uint32_t kReflectedPoly = 0xEDB88320u;
constexpr int kSlices = 16;

using CrcTables = std::array<std::array<std::uint32_t, 256>, kSlices>;

// tables[0] is the byte-at-a-time table; tables[k][n] is the register after
// byte n is followed by k zero bytes, so that k bytes can be looked up at once.
constexpr CrcTables MakeTables() {
  CrcTables t{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1u) != 0 ? kReflectedPoly ^ (c >> 1) : c >> 1;
    t[0][n] = c;
  }
  for (int k = 1; k < kSlices; ++k) {
    for (std::uint32_t n = 0; n < 256; ++n) {
      const std::uint32_t prev = t[k - 1][n];
      t[k][n] = (prev >> 8) ^ t[0][prev & 0xFFu];
    }
  }
  return t;
}

constexpr CrcTables kTables = MakeTables();

// Byte loads combined by shifts: endian-independent, and one load on x86.
inline std::uint32_t LoadLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

std::uint32_t Crc32Portable(std::uint32_t crc, const std::uint8_t* data, std::size_t size) {
  std::uint32_t c = ~crc;
  while (size >= 16) {
    const std::uint32_t a = LoadLe32(data) ^ c;
    const std::uint32_t b = LoadLe32(data + 4);
    const std::uint32_t d = LoadLe32(data + 8);
    const std::uint32_t e = LoadLe32(data + 12);
    c = kTables[15][a & 0xFFu] ^ kTables[14][(a >> 8) & 0xFFu] ^ kTables[13][(a >> 16) & 0xFFu] ^
        kTables[12][a >> 24] ^ kTables[11][b & 0xFFu] ^ kTables[10][(b >> 8) & 0xFFu] ^
        kTables[9][(b >> 16) & 0xFFu] ^ kTables[8][b >> 24] ^ kTables[7][d & 0xFFu] ^
        kTables[6][(d >> 8) & 0xFFu] ^ kTables[5][(d >> 16) & 0xFFu] ^ kTables[4][d >> 24] ^
        kTables[3][e & 0xFFu] ^ kTables[2][(e >> 8) & 0xFFu] ^ kTables[1][(e >> 16) & 0xFFu] ^
        kTables[0][e >> 24];
    data += 16;
    size -= 16;
  }
  for (; size > 0; --size) c = kTables[0][(c ^ *data++) & 0xFFu] ^ (c >> 8);
  return ~c;
}

}  // namespace quorvex
