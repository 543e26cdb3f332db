#include "crc32.h"

#include "arm_cpu_features.h"
#include "crc32_kernels.h"
#include "x86_cpu_features.h"

namespace quorvex {
namespace {

bool Always() { return true; }

#if defined(QUORVEX_CRC32_X86)
bool HasPclmul() { return DetectX86CpuFeatures().pclmul; }
bool HasAvx2Vpclmul() { return DetectX86CpuFeatures().avx2_vpclmul; }
bool HasAvx512Vpclmul() { return DetectX86CpuFeatures().avx512_vpclmul; }
#endif
#if defined(QUORVEX_CRC32_ARM)
bool HasCrc() { return DetectArmCpuFeatures().crc32; }
bool HasCrcPmull() { return DetectArmCpuFeatures().crc32 && DetectArmCpuFeatures().pmull; }
#endif

constexpr Crc32Kernel kKernels[] = {
    {"portable", Crc32Portable, Always},
#if defined(QUORVEX_CRC32_X86)
    {"pclmul", Crc32Pclmul, HasPclmul},
    {"vpclmul-avx2", Crc32VpclmulAvx2, HasAvx2Vpclmul},
    {"vpclmul-avx512", Crc32VpclmulAvx512, HasAvx512Vpclmul},
#endif
#if defined(QUORVEX_CRC32_ARM)
    {"arm-crc", Crc32ArmCrc, HasCrc},
    {"arm-pmull", Crc32ArmPmull, HasCrcPmull},
#endif
};

const Crc32Kernel& Choose() {
  for (std::size_t i = std::size(kKernels); i > 1; --i) {
    if (kKernels[i - 1].supported()) return kKernels[i - 1];
  }
  return kKernels[0];
}

}  // namespace

std::span<const Crc32Kernel> Crc32Kernels() { return kKernels; }

const Crc32Kernel& ChosenCrc32Kernel() {
  static const Crc32Kernel& chosen = Choose();
  return chosen;
}

std::uint32_t Crc32Extend(std::uint32_t crc, const std::uint8_t* data, std::size_t size) {
  return ChosenCrc32Kernel().extend(crc, data, size);
}

}  // namespace quorvex
