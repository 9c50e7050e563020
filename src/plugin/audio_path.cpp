#include "plugin/audio_path.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

#include "dsp/operating_range.h"
#include "plugin/effect_factory.h"
#include "plugin/effect_worker.h"
#include "plugin/plugin_state.h"

namespace orve {
namespace {

// Effects see every stream on the 16-bit scale (full scale 32768), whatever
// its width: their level-dependent rules (a compressor's threshold, a noise
// floor) then mean the same at every width. The factors are powers of two, so
// the conversion itself is exact both ways.
double EffectScale(int32_t bps) { return bps == 8 ? 256.0 : (bps == 32 ? 1.0 / 65536.0 : 1.0); }

// 8-bit PCM is unsigned with its zero at 128; it is read and written as the
// signed offset from 128 so that all widths share one signed scale. One loop
// per width, so the conversions run without a switch per sample.
template <typename Fn>
void ForWidth(int32_t bps, Fn fn) {
    switch (bps) {
        case 8: fn(static_cast<uint8_t*>(nullptr)); break;
        case 16: fn(static_cast<int16_t*>(nullptr)); break;
        default: fn(static_cast<int32_t*>(nullptr)); break;
    }
}

inline int32_t Signed(uint8_t v) { return static_cast<int32_t>(v) - 128; }
inline int32_t Signed(int16_t v) { return v; }
inline int32_t Signed(int32_t v) { return v; }
template <typename T>
inline T Stored(int32_t v) {
    return std::is_same<T, uint8_t>::value ? static_cast<T>(v + 128) : static_cast<T>(v);
}

// x (on the stream's own scale, finite or not) as the integer sample the host
// gets, still as a double (exact). Branch-free, so that a block's loop runs
// in vector registers.
inline double ToSample(double x, double fullScale) {
    // A NaN from an effect passes both clip tests, and converting it to an
    // integer is undefined: the host would get whatever the CPU makes of it
    // (full negative scale on x86, a loud click). Silence is the safe sample.
    x = x == x ? x : 0.0;
    // Clipped to the integer ends first, which commutes with rounding to them.
    x = std::min(std::max(x, -fullScale), fullScale - 1.0);
    // To the nearest step (ties to even, as std::nearbyint): truncation would
    // put every value a hair below an integer (an overlap-add's 1234.9999999)
    // one step low, so that even an effect set to change nothing would not
    // give its input back. Adding 1.5 * 2^52 leaves no bits below the units.
    constexpr double kMagic = 6755399441055744.0;
    return (x + kMagic) - kMagic;
}

void Peaks(const void* samples, int32_t bps, int64_t count, double& left, double& right) {
    left = right = 0.0;
    if (!SupportedSampleBits(bps)) return;
    ForWidth(bps, [&](auto* type) {
        using T = std::remove_pointer_t<decltype(type)>;
        const T* v = static_cast<const T*>(samples);
        // The extremes of each channel, their magnitudes taken once at the
        // end in 64 bits (the most negative 32-bit sample has none in 32):
        // min and max run in vector registers, a magnitude per sample did not.
        int32_t evenHigh = 0, evenLow = 0, oddHigh = 0, oddLow = 0;
        int64_t i = 0;
        for (; i + 1 < count; i += 2) {
            const int32_t a = Signed(v[i]), b = Signed(v[i + 1]);
            evenHigh = std::max(evenHigh, a);
            evenLow = std::min(evenLow, a);
            oddHigh = std::max(oddHigh, b);
            oddLow = std::min(oddLow, b);
        }
        if (i < count) {
            evenHigh = std::max(evenHigh, Signed(v[i]));
            evenLow = std::min(evenLow, Signed(v[i]));
        }
        left = static_cast<double>(std::max<int64_t>(evenHigh, -static_cast<int64_t>(evenLow)));
        right = static_cast<double>(std::max<int64_t>(oddHigh, -static_cast<int64_t>(oddLow)));
    });
}

void UpdateMeters(PluginState& state, int32_t readingLeft, int32_t readingRight) {
    if (state.ui && state.ui->HasMainWindow()) {
        state.ui->DrawMeter(kItemMeterLeft, state.meterLeft, readingLeft);
        state.ui->DrawMeter(kItemMeterRight, state.meterRight, readingRight);
    }
    state.meterLeft = readingLeft;
    state.meterRight = readingRight;
}

void Meter(PluginState& state, const void* samples, int32_t bps, int64_t count) {
    double left, right;
    Peaks(samples, bps, count, left, right);
    const double fullScale = std::ldexp(1.0, (SupportedSampleBits(bps) ? bps : 16) - 1);
    UpdateMeters(state, MeterReading(left, fullScale), MeterReading(right, fullScale));
}

}  // namespace

int32_t MeterReading(double peak, double fullScale) {
    double level = peak > 0.0 ? 20.0 * std::log10(peak / fullScale) : -100.0;
    if (level < -100.0) level = -100.0;
    if (level > 0.0) level = 0.0;
    return static_cast<int32_t>(level + 100.0);
}

int32_t ModifySamples(PluginState& state, void* samples, int32_t numsamples, int32_t bps,
                      int32_t nch, int32_t srate) {
    if (state.meterResetRequest) {
        state.meterLeft = 0;
        state.meterRight = 0;
        state.meterResetRequest = 0;
    }
    if (numsamples < 0) return 0;
    const int64_t total = static_cast<int64_t>(numsamples) * std::max(nch, 0);

    // A rate or channel count no effect is built for (a decoder may report
    // any): the block passes through as under PASS, and nothing is built for
    // it. The stored format stays the last one in range, so the window keeps
    // building for a format its effects support.
    if (!InOperatingRange(srate, nch)) {
        state.formatOutsideRange = true;
        Meter(state, samples, bps, total);
        return numsamples;
    }
    if (state.channelMask == 0) {
        Meter(state, samples, bps, total);
        return numsamples;
    }

    // The format is stored under the lock, so that an effect the window
    // selects from now on is built for the stream as it now is.
    bool rebuild, channelsChanged;
    {
        PluginState::Lock lock(state.processingLock);
        rebuild = !state.currentEffect || state.formatOutsideRange || srate != state.lastSampleRate ||
                  nch != state.lastChannels;
        channelsChanged = nch != state.lastChannels;
        state.lastSampleRate = srate;
        state.lastChannels = nch;
    }
    if (channelsChanged) {
        state.channelMask = nch == 1 ? 1 : 3;
        if (state.ui) state.ui->LayChannelSwitches(nch);
    }
    state.formatOutsideRange = false;
    if (rebuild) RebuildForFormat(state, srate, nch);

    if (!SupportedSampleBits(bps) || numsamples > kMaxBlockFrames) {
        UpdateMeters(state, 0, 0);
        return numsamples;
    }

    const int32_t T = static_cast<int32_t>(total);
    if (state.blockCapacity < 3 * T) {
        delete[] state.blockBuffer;
        state.blockBuffer = new (std::nothrow) double[3 * static_cast<size_t>(T)];
        state.blockCapacity = state.blockBuffer ? 3 * T : 0;
        if (!state.blockBuffer) {
            // Without the buffer the block cannot be processed: it passes through.
            if (state.ui) state.ui->ShowError(kMemoryAllocationFailed);
            return numsamples;
        }
    }

    const int32_t mask = state.channelMask;
    const double fullScale = std::ldexp(1.0, bps - 1);

    double* buffer = state.blockBuffer;
    const double toEffect = EffectScale(bps), fromEffect = 1.0 / toEffect;
    ForWidth(bps, [&](auto* type) {
        using S = std::remove_pointer_t<decltype(type)>;
        const S* v = static_cast<const S*>(samples);
        for (int32_t i = 0; i < T; ++i) buffer[i] = Signed(v[i]) * toEffect;
    });

    // The capacity and the block come from one effect in one hold of the
    // lock: the window may replace the effect at any moment, and a capacity
    // taken from the one before (a resampler's backlog) would let its
    // successor hand back stale values from the buffer's far end.
    bool processed = false;
    int32_t produced = 0, capacity = T;
    {
        PluginState::Lock lock(state.processingLock);
        if (EffectProcessor* effect = state.currentEffect.get()) {
            // Rebuilds the knobs asked for since the last block: on the worker
            // when the host has one, else here, before the block, so that the
            // block already plays them.
            if (state.worker) state.worker->Service(*effect);
            else RunWorkNow(*effect);
            const int32_t extra = effect->ExtraOutput();
            capacity = extra > T ? 2 * T : (extra > 0 ? T + extra : T);
            produced = effect->ProcessBlock(buffer, buffer, T, capacity, mask);
            processed = true;
        }
    }
    if (!processed) {
        // No effect (its rebuild ran out of memory): the block passes through.
        UpdateMeters(state, 0, 0);
        return numsamples;
    }
    if (produced < 0) produced = 0;
    if (produced > capacity) produced = capacity;

    // Counted after the gains, which are finite and nonzero: whatever the
    // effect gave as NaN or infinity is still one there.
    const double gain = state.outputGain * fromEffect;
    // The block is in the first-level cache; its loops are kept simple
    // enough to run in vector registers. Channels switched apart get their
    // own gains first; the common case, one gain for all, is applied in the
    // loop that rounds (a product with 1 changes nothing).
    bool uniform = true;
    for (int32_t c = 1; c < nch; ++c) uniform = uniform && ChannelEnabled(mask, c) == ChannelEnabled(mask, 0);
    double common = ChannelEnabled(mask, 0) ? gain : fromEffect;
    if (!uniform) {
        for (int32_t c = 0; c < nch; ++c) {
            const double g = ChannelEnabled(mask, c) ? gain : fromEffect;
            for (int32_t i = c; i < produced; i += nch) buffer[i] *= g;
        }
        common = 1.0;
    }
    uint64_t nonFinite = 0;
    ForWidth(bps, [&](auto* type) {
        using S = std::remove_pointer_t<decltype(type)>;
        S* v = static_cast<S*>(samples);
        for (int32_t i = 0; i < produced; ++i) {
            const double x = buffer[i] * common;
            // Infinities and NaNs are the values whose exponent bits are all
            // set: adding one to that field carries into the top bit.
            uint64_t bits;
            std::memcpy(&bits, &x, sizeof bits);
            nonFinite += ((bits & 0x7FF0000000000000ULL) + 0x0010000000000000ULL) >> 63;
            v[i] = Stored<S>(static_cast<int32_t>(ToSample(x, fullScale)));
        }
    });
    state.nonFiniteSamples += static_cast<int64_t>(nonFinite);

    if (produced > 0) {
        double left, right;
        Peaks(samples, bps, produced, left, right);
        UpdateMeters(state, MeterReading(left, fullScale), MeterReading(right, fullScale));
    }
    return produced / nch;
}

}  // namespace orve
