#ifndef QUORVEX_ENGINE_CRC32_KERNELS_H
#define QUORVEX_ENGINE_CRC32_KERNELS_H

// The CRC-32 kernels behind Crc32Extend, for the tests and benchmarks that
// call each one directly. Every kernel has the contract of Crc32Extend.

#include <cstddef>
#include <cstdint>
#include <span>

namespace quorvex {

using Crc32Function = std::uint32_t (*)(std::uint32_t crc, const std::uint8_t* data,
                                        std::size_t size);

struct Crc32Kernel {
  const char* name;
  Crc32Function extend;
  // Whether this processor and its operating system can run the kernel.
  bool (*supported)();
};

// Every kernel built into this program, the portable one first, then in the
// order of preference: the last supported one is chosen.
std::span<const Crc32Kernel> Crc32Kernels();

// The kernel that Crc32Extend uses, chosen once, on first use.
const Crc32Kernel& ChosenCrc32Kernel();

// Slicing-by-16 over 32-bit table lookups: any processor.
std::uint32_t Crc32Portable(std::uint32_t crc, const std::uint8_t* data, std::size_t size);

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QUORVEX_CRC32_X86 1
// Carry-less multiplication folding over 128-bit registers (PCLMULQDQ, SSE4.1).
std::uint32_t Crc32Pclmul(std::uint32_t crc, const std::uint8_t* data, std::size_t size);
// The same over 256-bit registers (VPCLMULQDQ, AVX2).
std::uint32_t Crc32VpclmulAvx2(std::uint32_t crc, const std::uint8_t* data, std::size_t size);
// The same over 512-bit registers (VPCLMULQDQ, AVX-512F).
std::uint32_t Crc32VpclmulAvx512(std::uint32_t crc, const std::uint8_t* data, std::size_t size);
#endif

#if defined(__aarch64__) && defined(__linux__) && (defined(__GNUC__) || defined(__clang__))
#define QUORVEX_CRC32_ARM 1
// The CRC32 instructions, eight bytes at a time (ARMv8 CRC).
std::uint32_t Crc32ArmCrc(std::uint32_t crc, const std::uint8_t* data, std::size_t size);
// Polynomial multiplication folding over 128-bit registers (PMULL), the last
// register reduced by the CRC32 instructions.
std::uint32_t Crc32ArmPmull(std::uint32_t crc, const std::uint8_t* data, std::size_t size);
#endif

}  // namespace quorvex

#endif
