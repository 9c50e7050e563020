#pragma once
// The impulse-response sets embedded in a module as resources of type "BINHIR".
#include <windows.h>

#include "plugin/platform_services.h"

namespace orve::win32 {

constexpr const char* kKernelResourceType = "BINHIR";

class ResourceKernels : public KernelSource {
public:
    explicit ResourceKernels(HMODULE module) : module(module) {}
    // The resource stays mapped while the module is loaded, so the pointer
    // outlives this call (Win32 resources need no release).
    const int16_t* Find(int32_t resourceId, size_t* valueCount) override;

private:
    HMODULE module;
};

}  // namespace orve::win32
