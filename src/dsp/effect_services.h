#pragma once
// What an effect may draw on from its host besides the stream format: the
// embedded impulse-response data and a place to report the two errors a user
// can see. Declared here, below the effects, so that no effect depends on the
// plug-in layer; the platform layers implement them.
#include <cstddef>
#include <cstdint>

namespace orve {

// The embedded impulse-response sets, by resource id: the head-related
// responses Virtual 3D plays, and the fourteen rooms of the sample reverb.
constexpr int32_t kHrirSetId = 121;
constexpr int32_t kRoomSetId = 142;

// Embedded impulse-response sets, addressed by resource id.
class KernelSource {
public:
    virtual ~KernelSource() = default;
    // Little-endian 16-bit values; null when the set is not available. The data
    // stays valid for the life of the source.
    virtual const int16_t* Find(int32_t resourceId, size_t* valueCount) = 0;
};

// The two messages the user can see, both with caption "Error".
constexpr const char* kErrorCaption = "Error";
constexpr const char* kMemoryAllocationFailed = "Memory allocation failed";
constexpr const char* kKernelFileMissed = "A kernel file is missed";

class ErrorSink {
public:
    virtual ~ErrorSink() = default;
    virtual void ShowError(const char* text) = 0;
};

}  // namespace orve
