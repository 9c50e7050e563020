#include "platform/posix/embedded_kernels.h"

namespace orve {

// No set is linked in yet: every lookup reports the data as missing.
const int16_t* EmbeddedKernels::Find(int32_t, size_t* valueCount) {
    if (valueCount) *valueCount = 0;
    return nullptr;
}

}  // namespace orve
