#pragma once
// Impulse-response sets linked into the program.
#include "plugin/platform_services.h"

namespace orve {

class EmbeddedKernels : public KernelSource {
public:
    const int16_t* Find(int32_t resourceId, size_t* valueCount) override;
};

}  // namespace orve
