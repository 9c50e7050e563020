#include "dsp/instruction_set.h"

#include <initializer_list>

#include "dsp/simd.h"

namespace orve {

bool InstructionSetSupported(InstructionSet set) {
    switch (set) {
        case InstructionSet::kReference: return true;
        case InstructionSet::kPortable: return simd::PortableKernels() != nullptr;
#if defined(__x86_64__) || defined(__i386__)
        // Asked of the processor itself (for AVX also whether the system saves
        // the wider registers), not of the compiler's target.
        case InstructionSet::kSse2:
            __builtin_cpu_init();
            return simd::Sse2Kernels() && __builtin_cpu_supports("sse2");
        case InstructionSet::kAvx2Fma:
            __builtin_cpu_init();
            return simd::Avx2FmaKernels() && __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#endif
        default: return false;
    }
}

InstructionSet FastestInstructionSet() {
    for (InstructionSet set : {InstructionSet::kAvx2Fma, InstructionSet::kSse2})
        if (InstructionSetSupported(set)) return set;
    return InstructionSet::kPortable;
}

namespace simd {

const Kernels* KernelsFor(InstructionSet set) {
    if (set == InstructionSet::kReference || !InstructionSetSupported(set)) return nullptr;
    switch (set) {
        case InstructionSet::kAvx2Fma: return Avx2FmaKernels();
        case InstructionSet::kSse2: return Sse2Kernels();
        default: return PortableKernels();
    }
}

}  // namespace simd
}  // namespace orve
