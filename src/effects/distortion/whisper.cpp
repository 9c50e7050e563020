#include "effects/distortion/whisper.h"

#include <cmath>

namespace orve {
namespace {

const KnobSpec kKnobs[] = {
    {"Wet", 1.0, 0.0, 1.0, "",
     "How much of the phase is replaced by random phase, from 0 (the sound as it is) to 1 (a full "
     "whisper)."},
};

// 2*pi / 32767: maps 0..32767 onto a phase offset of 0..2*pi.
constexpr double kPhaseStep = 0.00019175345033660654;

}  // namespace

Whisper::Whisper(double sampleRate, int32_t channels)
    : SpectralEffect(sampleRate, 0.01, 0.25, channels, 5000, kWindowed),
      fft(std::make_unique<FftEngine>(frameLength, 2)),
      bins(frameLength / 2 + 1),
      scratch(2 * bins, 0.0),
      magnitude(scratch.data()),
      phase(scratch.data() + bins),
      random(12345) {}

int32_t Whisper::DescribeKnobs(KnobSpec* table) { return CopyKnobs(kKnobs, 1, table); }

void Whisper::SetParameters(const double* values) { wet = values[0]; }

void Whisper::ProcessChannels(int32_t channelMask) {
    const int32_t M = frameLength / 2;
    const double w = wet;
    for (int32_t c = 0; c < channels; ++c) {
        if (!ChannelEnabled(channelMask, c)) continue;
        double* x = FramePlane(c);
        fft->ForwardReal(x);
        // One draw per bin, channel by channel, bin 1 upward - also for
        // silent bins, so the sequence never depends on the signal.
        for (int32_t k = 1; k < M; ++k) {
            const double a = x[2 * k - 1], b = x[2 * k];
            magnitude[k] = std::sqrt(a * a + b * b);
            const double measured = (a == 0.0 && b == 0.0) ? 0.0 : std::atan2(b, a);
            const int32_t r = random.Next();
            phase[k] = (r * kPhaseStep - M_PI) * w + (1.0 - w) * measured;
        }
        // DC and Nyquist (x[0], x[N-1]) carry no phase to randomise.
        for (int32_t k = 1; k < M; ++k) {
            x[2 * k - 1] = magnitude[k] * std::cos(phase[k]);
            x[2 * k] = magnitude[k] * std::sin(phase[k]);
        }
        fft->InverseReal(x);
    }
}

}  // namespace orve
