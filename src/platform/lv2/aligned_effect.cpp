#include "platform/lv2/aligned_effect.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "dsp/spectral_effect.h"
#include "plugin/effect_actions.h"

namespace orve::lv2 {
namespace {

// The effects see every stream on the 16-bit scale (full scale 32768). A
// power of two, so the conversion is exact both ways.
constexpr double kToEffect = 32768.0;
constexpr double kFromEffect = 1.0 / 32768.0;

}  // namespace

int32_t AlignedEffect::HeldBackAtMost() const {
    // Frame-based effects hold back up to a whole frame: the look-ahead of
    // their frames (Latency(), N - hop) plus the hop they release at once.
    return framed ? framed->FrameLength() : effect->Latency();
}

void AlignedEffect::Ramp::Start(double to, int32_t frames, bool jump) {
    if (jump || frames <= 0) {
        value = target = to;
        remaining = 0;
        return;
    }
    if (to == target) return;
    target = to;
    remaining = frames;
    step = (target - value) / frames;
}

double AlignedEffect::Ramp::Next() {
    if (remaining > 0) value = --remaining == 0 ? target : value + step;
    return value;
}

AlignedEffect::AlignedEffect(std::unique_ptr<EffectProcessor> e, int32_t channelCount, double rate)
    : effect(std::move(e)), channels(channelCount), sampleRate(rate) {
    channelMask = channels == 1 ? 1 : 3;
    framed = dynamic_cast<SpectralEffect*>(effect.get());
    maxLatency = std::max(HeldBackAtMost(), LargestFrameLength(*effect));
    feed.assign(static_cast<size_t>(kMaxChunk) * channels, 0.0);
    // The queue holds at most the latency and one chunk; twice that (and a
    // chunk for the drain's pieces) keeps compaction to one move per latency.
    queue.assign(static_cast<size_t>(2 * (maxLatency + 2 * kMaxChunk)) * channels, 0.0);
    dryLength = maxLatency + kMaxChunk;
    dry.assign(static_cast<size_t>(dryLength) * channels, 0.0f);
    StartStream();
}

void AlignedEffect::SetGain(double factor) { gain.Start(factor, static_cast<int32_t>(0.01 * sampleRate), !started); }

void AlignedEffect::Restart(std::unique_ptr<EffectProcessor> replacement) {
    effect = std::move(replacement);
    StartStream();
}

void AlignedEffect::StartStream() {
    framed = dynamic_cast<SpectralEffect*>(effect.get());
    latency = std::min(HeldBackAtMost(), maxLatency);
    std::fill(queue.begin(), queue.end(), 0.0);
    queueRead = 0;
    queueWrite = latency * channels;
    std::fill(dry.begin(), dry.end(), 0.0f);
    dryWrite = 0;
    gain.Start(gain.target, 0, true);
    wet.Start(wet.target, 0, true);
    started = false;
}

void AlignedEffect::Process(const float* const* in, float* const* out, int32_t frames) {
    // PASS is the input at the latency, as the bypass is: some effects work
    // on the stream as a whole and have no pass-through of their own.
    wet.Start(enabled && channelMask != 0 ? 1.0 : 0.0, static_cast<int32_t>(0.02 * sampleRate), !started);
    for (int32_t offset = 0; offset < frames; offset += kMaxChunk)
        RunChunk(in, out, offset, std::min(kMaxChunk, frames - offset));
    if (frames > 0) started = true;
}

void AlignedEffect::RunChunk(const float* const* in, float* const* out, int32_t offset, int32_t n) {
    const int32_t ch = channels;
    // Every input of the chunk is read before any output is written: the
    // host may hand the same buffer for both.
    for (int32_t c = 0; c < ch; ++c) {
        const float* x = in[c] + offset;
        float* ring = dry.data() + static_cast<size_t>(c) * dryLength;
        int32_t at = dryWrite;
        for (int32_t f = 0; f < n; ++f) {
            feed[f * ch + c] = x[f] * kToEffect;
            ring[at] = x[f];
            if (++at == dryLength) at = 0;
        }
    }
    FeedEffect(n);

    const int32_t mask = ProcessingMask();
    const int32_t ready = std::min(n, (queueWrite - queueRead) / ch);
    const double* wetValues = queue.data() + queueRead;
    int32_t dryAt = dryWrite - latency;
    if (dryAt < 0) dryAt += dryLength;
    for (int32_t f = 0; f < n; ++f) {
        const double g = gain.Next() * kFromEffect;
        const double mix = wet.Next();
        for (int32_t c = 0; c < ch; ++c) {
            // A queue that ran short (it cannot while the latency holds)
            // gives silence rather than old samples.
            double y = f < ready ? wetValues[f * ch + c] : 0.0;
            y *= ChannelEnabled(mask, c) ? g : kFromEffect;
            if (mix < 1.0) y = mix * y + (1.0 - mix) * dry[static_cast<size_t>(c) * dryLength + dryAt];
            // A NaN from an effect would poison everything after the plug-in.
            if (std::isnan(y)) y = 0.0;
            out[c][offset + f] = static_cast<float>(y);
        }
        if (++dryAt == dryLength) dryAt = 0;
    }
    queueRead += ready * ch;
    dryWrite = (dryWrite + n) % dryLength;
}

void AlignedEffect::FeedEffect(int32_t n) {
    const int32_t ch = channels;
    MakeRoom((maxLatency + 2 * kMaxChunk) * ch);
    const int32_t before = queueWrite;
    const int32_t values = n * ch;
    const int32_t mask = ProcessingMask();
    const int32_t got = effect->ProcessBlock(feed.data(), queue.data() + queueWrite, values, values, mask);
    queueWrite += std::clamp(got, 0, values);
    if (framed) {
        // Frame-based effects return a request only when they can fill it
        // whole; asking again with nothing in, in pieces from the largest,
        // collects everything they have ready, so that what they hold back
        // never exceeds a frame whatever the period sizes.
        int32_t piece = 1;
        while (piece * 2 <= maxLatency + kMaxChunk) piece *= 2;
        for (; piece >= 1; piece /= 2) {
            while (queueWrite + piece * ch <= static_cast<int32_t>(queue.size()) &&
                   effect->ProcessBlock(feed.data(), queue.data() + queueWrite, 0, piece * ch, mask) ==
                       piece * ch)
                queueWrite += piece * ch;
        }
    }
    // Only a re-framing changes it (DeNoise's Window knob).
    if (framed && std::min(HeldBackAtMost(), maxLatency) != latency) AdoptLatency(queueWrite - before);
}

void AlignedEffect::AdoptLatency(int32_t fresh) {
    // A re-framing starts the effect's stream afresh with this chunk and
    // drops what it held of the old one: the new stream's first frame plays
    // one new latency after the chunk's start, and what the queue held of
    // the old stream plays until then.
    const int32_t ch = channels;
    latency = std::min(HeldBackAtMost(), maxLatency);
    MakeRoom(0);
    const int32_t start = queueWrite - fresh;
    const int32_t old = start - queueRead;
    const int32_t lead = latency * ch;
    double* q = queue.data() + queueRead;
    std::memmove(q + lead, q + old, sizeof(double) * fresh);
    if (old < lead) std::fill(q + old, q + lead, 0.0);
    queueWrite = queueRead + lead + fresh;
}

void AlignedEffect::MakeRoom(int32_t values) {
    const int32_t held = queueWrite - queueRead;
    const int32_t size = static_cast<int32_t>(queue.size());
    if (queueRead > 0 && (queueWrite + values > size || queueRead + held + (maxLatency + 2 * kMaxChunk) * channels > size)) {
        std::memmove(queue.data(), queue.data() + queueRead, sizeof(double) * held);
        queueRead = 0;
        queueWrite = held;
    }
}

}  // namespace orve::lv2
