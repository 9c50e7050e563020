#pragma once
// Interleaved frames to one plane per channel and back. Stereo, the common
// stream, has loops of its own: with the channel count known the compiler
// runs them in vector registers (where the including file is built for it).
#include <cstdint>

namespace orve {

// frames interleaved frames of `channels` values to planes `stride` apart.
inline void SplitChannels(const double* interleaved, int32_t channels, int32_t frames, double* planes,
                          int32_t stride) {
    if (channels == 2) {
        double* left = planes;
        double* right = planes + stride;
        for (int32_t f = 0; f < frames; ++f) {
            left[f] = interleaved[2 * f];
            right[f] = interleaved[2 * f + 1];
        }
        return;
    }
    for (int32_t c = 0; c < channels; ++c) {
        double* plane = planes + static_cast<int64_t>(c) * stride;
        for (int32_t f = 0; f < frames; ++f) plane[f] = interleaved[f * channels + c];
    }
}

// The first `frames` values of each plane (planes `stride` apart), interleaved.
inline void JoinChannels(const double* planes, int32_t stride, int32_t channels, int32_t frames,
                         double* interleaved) {
    if (channels == 2) {
        const double* left = planes;
        const double* right = planes + stride;
        for (int32_t f = 0; f < frames; ++f) {
            interleaved[2 * f] = left[f];
            interleaved[2 * f + 1] = right[f];
        }
        return;
    }
    for (int32_t c = 0; c < channels; ++c) {
        const double* plane = planes + static_cast<int64_t>(c) * stride;
        for (int32_t f = 0; f < frames; ++f) interleaved[f * channels + c] = plane[f];
    }
}

}  // namespace orve
