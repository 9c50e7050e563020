#pragma once
// Synchronised overlap-add time stretcher: frames are cut from the input at an
// analysis hop that depends on the tempo, shifted to where their waveform best
// matches the output built so far (FFT cross-correlation) and overlap-added at
// a fixed synthesis hop. Duration changes, pitch stays.
//
// The stream length changes, so the effect keeps its own queues: inBuffer is the
// input queue, outBuffer the output queue, and ProcessBlock returns either
// nothing or exactly the capacity offered.
#include <cmath>
#include <memory>
#include <vector>

#include "dsp/effect_processor.h"
#include "dsp/fft_engine.h"

namespace orve {

class TempoScaler : public EffectProcessor {
public:
    // Construction values: 0.1 s frames laid about a quarter frame apart,
    // tempo 1 until the knob says otherwise, a match searched over 0.05 s.
    static constexpr double kFrameSeconds = 0.1;
    static constexpr double kHopFraction = 0.25;
    static constexpr double kSearchSeconds = 0.05;

    TempoScaler(double sampleRate, int32_t channels, double frameSeconds = kFrameSeconds,
                double hopFraction = kHopFraction, double tempo = 1.0, double searchSeconds = kSearchSeconds);

    int32_t ProcessBlock(const double* in, double* out, int32_t inCount, int32_t capacity,
                         int32_t channelMask) override;
    void SetParameters(const double* values) override;
    int32_t ExtraOutput() override;
    double DisplayValue(int32_t knobIndex, double value) override;
    int32_t Reset() override;

    int32_t SynthesisHop() const { return Hs; }
    int32_t AnalysisHop() const { return Ha; }
    int32_t FrameLength() const { return N; }
    int32_t SearchRange() const { return S; }
    int32_t HistoryLength() const { return B; }
    bool Stretches() const { return std::abs(tempo - 1.0) >= 0.001; }
    // Output frames by which the stretched image of the input lags an exact
    // stretch (output position = input position x Hs / Ha) in the stream this
    // effect releases from construction or Reset at the current tempo; negative
    // when it leads. Zero at tempo 1. See the start-up comment in RunStep.
    double StartUpLead() const;

private:
    // Consumes Ha frames of interleaved input, writes 0..Hs frames to `dest`;
    // returns the values written.
    int32_t RunStep(const double* hopValues, double* dest);
    // Offset (frames) of the frame from its nominal start `base`, chosen by
    // cross-correlating the overlap tail with the history.
    int32_t BestOffset(int32_t base);
    // Nominal start (frames into the history) of the frame a step takes.
    int32_t FrameBase() const;
    // The step, with its fraction, at which output begins (D of the start-up rule).
    double StartUpSteps() const;

    std::vector<double> corrA, corrB;
    std::unique_ptr<FftEngine> fft;
    double tempo;
    double searchSeconds;
    int32_t B;      // history length (frames)
    int32_t S;      // search range (frames)
    double frameSeconds;
    double sampleRate;
    int32_t N;      // frame length
    int32_t ch;
    double hopFraction;
    int32_t Hs, L, Ha;
    int32_t stepCount = 0;
    std::vector<double> history;       // B x ch: the last B input frames
    std::vector<double> accumulator;   // N x ch: output frames being built
    std::vector<double> window;        // N x ch: synthesis window per interleaved value
    int32_t inFill = 0;
    int32_t outFill = 0;
};

}  // namespace orve
