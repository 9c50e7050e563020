#pragma once
// Interleaved frames to one plane per channel and back, each value optionally
// weighted by its frame's entry of a window. Stereo, the common stream, has
// loops of its own: with the channel count known the compiler runs them in
// vector registers (where the including file is built for it).
#include <cstdint>

namespace orve {
namespace channel_planes {

template <typename Weigh>
inline void Split(const double* interleaved, int32_t channels, int32_t frames, double* planes, int32_t stride,
                  Weigh weigh) {
    if (channels == 2) {
        double* left = planes;
        double* right = planes + stride;
        for (int32_t f = 0; f < frames; ++f) {
            left[f] = weigh(interleaved[2 * f], f);
            right[f] = weigh(interleaved[2 * f + 1], f);
        }
        return;
    }
    for (int32_t c = 0; c < channels; ++c) {
        double* plane = planes + static_cast<int64_t>(c) * stride;
        for (int32_t f = 0; f < frames; ++f) plane[f] = weigh(interleaved[f * channels + c], f);
    }
}

template <typename Weigh>
inline void Join(const double* planes, int32_t stride, int32_t channels, int32_t frames, double* interleaved,
                 Weigh weigh) {
    if (channels == 2) {
        const double* left = planes;
        const double* right = planes + stride;
        for (int32_t f = 0; f < frames; ++f) {
            interleaved[2 * f] = weigh(left[f], f);
            interleaved[2 * f + 1] = weigh(right[f], f);
        }
        return;
    }
    for (int32_t c = 0; c < channels; ++c) {
        const double* plane = planes + static_cast<int64_t>(c) * stride;
        for (int32_t f = 0; f < frames; ++f) interleaved[f * channels + c] = weigh(plane[f], f);
    }
}

}  // namespace channel_planes

// `frames` interleaved frames of `channels` values to planes `stride` apart,
// each value times window[frame] when a window is given.
inline void SplitChannels(const double* interleaved, int32_t channels, int32_t frames, double* planes, int32_t stride,
                          const double* window = nullptr) {
    if (window)
        channel_planes::Split(interleaved, channels, frames, planes, stride,
                              [window](double x, int32_t f) { return x * window[f]; });
    else
        channel_planes::Split(interleaved, channels, frames, planes, stride, [](double x, int32_t) { return x; });
}

// The first `frames` values of each plane (planes `stride` apart), interleaved,
// each times window[frame] when a window is given.
inline void JoinChannels(const double* planes, int32_t stride, int32_t channels, int32_t frames, double* interleaved,
                         const double* window = nullptr) {
    if (window)
        channel_planes::Join(planes, stride, channels, frames, interleaved,
                             [window](double x, int32_t f) { return x * window[f]; });
    else
        channel_planes::Join(planes, stride, channels, frames, interleaved, [](double x, int32_t) { return x; });
}

}  // namespace orve
