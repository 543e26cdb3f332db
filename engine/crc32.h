#ifndef QUORVEX_ENGINE_CRC32_H
#define QUORVEX_ENGINE_CRC32_H

#include <cstddef>
#include <cstdint>

namespace quorvex {

// The CRC-32 of ISO 3309 / ITU-T V.42 (zlib, PNG): reflected polynomial
// 0xEDB88320, initial value 0xFFFFFFFF, final value complemented.
//
// Crc32Extend continues a finished checksum over more bytes, so that
// Crc32Extend(Crc32(a), b) == Crc32(a followed by b) and Crc32Extend(0, x)
// == Crc32(x), as zlib's crc32() does.
std::uint32_t Crc32Extend(std::uint32_t crc, const std::uint8_t* data, std::size_t size);

inline std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
  return Crc32Extend(0, data, size);
}

}  // namespace quorvex

#endif
