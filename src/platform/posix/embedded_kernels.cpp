#include "platform/posix/embedded_kernels.h"

// The generated sets are linked in by the build (tools/CMakeLists.txt), which
// defines ORVE_EMBEDDED_KERNELS. The references must be strong then: a static
// library member is only pulled in by a strong reference. Without the
// definition they are weak, the program still links, and a set whose symbols
// are absent reads as missing (the effects report it).
#if defined(ORVE_EMBEDDED_KERNELS)
#define ORVE_KERNEL_SYMBOL
#else
#define ORVE_KERNEL_SYMBOL __attribute__((weak))
#endif
extern "C" {
extern const char orve_binhir_121_begin[] ORVE_KERNEL_SYMBOL;
extern const char orve_binhir_121_end[] ORVE_KERNEL_SYMBOL;
extern const char orve_binhir_142_begin[] ORVE_KERNEL_SYMBOL;
extern const char orve_binhir_142_end[] ORVE_KERNEL_SYMBOL;
}

namespace orve {

// The data is used in place as 16-bit values: the files are little-endian, as
// are the hosts this layer runs on.
const int16_t* EmbeddedKernels::Find(int32_t resourceId, size_t* valueCount) {
    const char* begin = nullptr;
    const char* end = nullptr;
    if (resourceId == kHrirSetId) {
        begin = orve_binhir_121_begin;
        end = orve_binhir_121_end;
    } else if (resourceId == kRoomSetId) {
        begin = orve_binhir_142_begin;
        end = orve_binhir_142_end;
    }
    if (!begin || !end || end <= begin) {
        if (valueCount) *valueCount = 0;
        return nullptr;
    }
    if (valueCount) *valueCount = static_cast<size_t>(end - begin) / sizeof(int16_t);
    return reinterpret_cast<const int16_t*>(begin);
}

}  // namespace orve
