#include "platform/win32/resource_kernels.h"

namespace orve::win32 {

const int16_t* ResourceKernels::Find(int32_t resourceId, size_t* valueCount) {
    if (valueCount) *valueCount = 0;
    HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(resourceId), kKernelResourceType);
    if (!info) return nullptr;
    HGLOBAL loaded = LoadResource(module, info);
    if (!loaded) return nullptr;
    const void* data = LockResource(loaded);
    if (data && valueCount) *valueCount = SizeofResource(module, info) / sizeof(int16_t);
    return static_cast<const int16_t*>(data);
}

}  // namespace orve::win32
