#include "x86_cpu_features.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <cpuid.h>

#include <cstdint>

namespace quorvex {
namespace {

constexpr unsigned kBit(int n) { return 1u << n; }

// Register state the operating system saves (XCR0): SSE and AVX for 256-bit
// registers; opmask and both halves of the upper ZMM state for AVX-512.
constexpr std::uint64_t kXcr0Avx = 0x6;
constexpr std::uint64_t kXcr0Avx512 = 0xE6;

std::uint64_t ReadXcr0() {
  std::uint32_t lo = 0;
  std::uint32_t hi = 0;
  __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
  return static_cast<std::uint64_t>(hi) << 32 | lo;
}

X86CpuFeatures Detect() {
  X86CpuFeatures f;
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return f;
  const bool sse41 = (ecx & kBit(19)) != 0;
  const bool pclmul = (ecx & kBit(1)) != 0;
  const bool osxsave = (ecx & kBit(27)) != 0;
  const bool avx = (ecx & kBit(28)) != 0;
  f.pclmul = sse41 && pclmul;
  if (!f.pclmul || !osxsave || !avx) return f;

  const std::uint64_t xcr0 = ReadXcr0();
  if ((xcr0 & kXcr0Avx) != kXcr0Avx) return f;
  if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0) return f;
  const bool avx2 = (ebx & kBit(5)) != 0;
  const bool avx512f = (ebx & kBit(16)) != 0;
  const bool vpclmul = (ecx & kBit(10)) != 0;
  f.avx2_vpclmul = avx2 && vpclmul;
  f.avx512_vpclmul = avx512f && vpclmul && (xcr0 & kXcr0Avx512) == kXcr0Avx512;
  return f;
}

}  // namespace

const X86CpuFeatures& DetectX86CpuFeatures() {
  static const X86CpuFeatures features = Detect();
  return features;
}

}  // namespace quorvex

#else

namespace quorvex {

const X86CpuFeatures& DetectX86CpuFeatures() {
  static const X86CpuFeatures none;
  return none;
}

}  // namespace quorvex

#endif
