#ifndef QUORVEX_ENGINE_ARM_CPU_FEATURES_H
#define QUORVEX_ENGINE_ARM_CPU_FEATURES_H

namespace quorvex {

// What a 64-bit ARM processor offers, as the operating system reports it.
struct ArmCpuFeatures {
  bool crc32 = false;  // the CRC32 instructions (ARMv8.0 optional, ARMv8.1 always)
  bool pmull = false;  // 64-bit polynomial multiplication (PMULL, PMULL2)
};

const ArmCpuFeatures& DetectArmCpuFeatures();

}  // namespace quorvex

#endif
