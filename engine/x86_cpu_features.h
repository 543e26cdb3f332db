#ifndef QUORVEX_ENGINE_X86_CPU_FEATURES_H
#define QUORVEX_ENGINE_X86_CPU_FEATURES_H

namespace quorvex {

// What the processor offers and the operating system saves across context
// switches, read once with cpuid and xgetbv.
struct X86CpuFeatures {
  bool pclmul = false;          // PCLMULQDQ with SSE4.1
  bool avx2_vpclmul = false;    // VPCLMULQDQ on 256-bit registers with AVX2
  bool avx512_vpclmul = false;  // VPCLMULQDQ on 512-bit registers with AVX-512F
};

const X86CpuFeatures& DetectX86CpuFeatures();

}  // namespace quorvex

#endif
