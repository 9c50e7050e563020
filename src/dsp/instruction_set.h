#pragma once
// The vector instruction sets the FFT and the per-bin maths have kernels for,
// chosen when an engine is built: one build runs on every x86 processor and
// uses the widest set it finds there.
#include <cstdint>

namespace orve {

// kReference: the plain code the others are checked against (the FFT's
// digit-reversal path, the C library's maths). kPortable: the vector kernels
// written one double at a time, for any processor.
enum class InstructionSet : int32_t { kReference, kPortable, kSse2, kAvx2Fma };

// Whether this build has the set's kernels and this processor runs them.
bool InstructionSetSupported(InstructionSet set);
// The widest supported set.
InstructionSet FastestInstructionSet();

}  // namespace orve
