#pragma once
// Whisper: keeps each short frame's magnitude spectrum and replaces its phases
// with random ones, turning voiced sound into a breathy whisper.
#include <cstdint>
#include <memory>
#include <vector>

#include "dsp/fft_engine.h"
#include "dsp/spectral_effect.h"
#include "dsp/spectrum_math.h"

namespace orve {

// The sequence of the Windows C runtime's rand(): a 32-bit linear congruential
// generator (x = x * 214013 + 2531011) returning bits 16..30, so values are
// 0..32767 (RAND_MAX 32767) and seed 12345 gives the same numbers the player's
// runtime would. Owned by the effect rather than shared process-wide, so no
// other code (or thread) can shift its sequence and two effects built one after
// the other produce identical output.
class RuntimeRandom {
public:
    static constexpr int32_t kMax = 32767;
    explicit RuntimeRandom(uint32_t seed) : state(seed) {}
    void Seed(uint32_t seed) { state = seed; }
    int32_t Next() {
        state = state * 214013u + 2531011u;
        return static_cast<int32_t>((state >> 16) & 0x7FFFu);
    }

private:
    uint32_t state;
};

class Whisper : public SpectralEffect {
public:
    Whisper(double sampleRate, int32_t channels);

    void SetParameters(const double* values) override;
    void ProcessChannels(int32_t channelMask) override;

protected:
    std::unique_ptr<FftEngine> fft;
    SpectrumMath math;

private:
    int32_t bins;                  // N/2 + 1
    std::vector<double> scratch;   // magnitude then phase, B each
    double* magnitude;
    double* phase;
    double wet = 1.0;              // share of the random phase
    RuntimeRandom random;
};

}  // namespace orve
