#ifndef QUORVEX_TESTS_CRC32_REFERENCE_H
#define QUORVEX_TESTS_CRC32_REFERENCE_H

#include <cstddef>
#include <cstdint>

namespace quorvex::test {

// The plain byte-at-a-time table CRC-32, the oracle for every kernel. Same
// contract as Crc32Extend.
std::uint32_t ReferenceCrc32Extend(std::uint32_t crc, const std::uint8_t* data, std::size_t size);

}  // namespace quorvex::test

#endif
