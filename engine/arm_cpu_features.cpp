#include "arm_cpu_features.h"

#if defined(__aarch64__) && defined(__linux__)
#include <sys/auxv.h>
#endif

namespace quorvex {
namespace {

ArmCpuFeatures Detect() {
  ArmCpuFeatures f;
#if defined(__aarch64__) && defined(__linux__)
  // The kernel's hardware capability bits for AArch64 (asm/hwcap.h).
  constexpr unsigned long kHwcapPmull = 1ul << 4;
  constexpr unsigned long kHwcapCrc32 = 1ul << 7;
  const unsigned long hwcap = getauxval(AT_HWCAP);
  f.crc32 = (hwcap & kHwcapCrc32) != 0;
  f.pmull = (hwcap & kHwcapPmull) != 0;
#endif
  return f;
}

}  // namespace

const ArmCpuFeatures& DetectArmCpuFeatures() {
  static const ArmCpuFeatures features = Detect();
  return features;
}

}  // namespace quorvex
