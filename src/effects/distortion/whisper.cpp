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
      fft(std::make_unique<FftEngine>(frameLength, FftKind::Real)),
      bins(frameLength / 2 + 1),
      scratch(2 * bins, 0.0),
      magnitude(scratch.data()),
      phase(scratch.data() + bins),
      random(12345) {
    ServeTables(kKnobs);
}

void Whisper::SetParameters(const double* values) { wet = values[0]; }

void Whisper::ProcessChannels(int32_t channelMask) {
    const int32_t N = frameLength, M = N / 2;
    const double w = wet;
    for (int32_t c = 0; c < channels; ++c) {
        if (!ChannelEnabled(channelMask, c)) continue;
        double* x = FramePlane(c);
        fft->ForwardReal(x);
        // The measured phase is weighted by 1 - Wet: at full Wet (the default)
        // it is not measured at all.
        if (w < 1.0) {
            math.ToPolar(x, N, magnitude, phase);
        } else {
            math.Magnitudes(x, N, magnitude);
        }
        // One draw per bin, channel by channel, bin 1 upward - also for
        // silent bins, so the sequence never depends on the signal.
        for (int32_t k = 1; k < M; ++k) {
            const double drawn = random.Next() * kPhaseStep - M_PI;
            phase[k] = w < 1.0 ? drawn * w + (1.0 - w) * phase[k] : drawn;
        }
        // DC and Nyquist carry no phase to randomise: they are kept as they are.
        const double dc = x[0], nyquist = x[N - 1];
        math.FromPolar(magnitude, phase, N, x);
        x[0] = dc;
        x[N - 1] = nyquist;
        fft->InverseReal(x);
    }
}

}  // namespace orve
