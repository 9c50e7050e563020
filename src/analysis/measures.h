#pragma once
// Measurements of what an effect did to a signal: levels, tones, pitch,
// duration, spectral shape, decay. One implementation each, shared by the
// demo's figures, the tests and the benchmarks.
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "analysis/signals.h"

namespace orve::analysis {

constexpr double kFullScale = 32768.0;

// 20 log10 of an amplitude ratio; dBFS of an RMS on the 16-bit scale (-200
// for silence).
double Decibels(double ratio);
double Dbfs(double rms);

// Root mean square of up to `count` values taken every `stride` from `first`.
double Rms(const std::vector<double>& x, size_t first = 0, size_t stride = 1, size_t count = SIZE_MAX);
// RMS of all channels over frames [first, first + count), clipped to the signal.
double Rms(const Signal& s, int64_t first, int64_t count);

// Largest |a - b| over the values both hold, of one channel (channel >= 0) or
// of all values (channel < 0).
double MaxDifference(const std::vector<double>& a, const std::vector<double>& b, int32_t channels = 1,
                     int32_t channel = -1);

// Amplitude of the component at `frequency` in one channel over frames
// [firstFrame, firstFrame + frames): a single DFT bin.
double ToneAmplitude(const std::vector<double>& x, int32_t channels, int32_t channel, double frequency,
                     double sampleRate, size_t firstFrame, size_t frames);
double ToneAmplitude(const Signal& s, int32_t channel, double frequency, int64_t firstFrame, int64_t frames);

// Frequency from the upward zero crossings of one channel between two frames.
double CrossingFrequency(const std::vector<double>& x, int32_t channels, int32_t channel, size_t from, size_t to,
                         double sampleRate);
// Instantaneous frequency of a mono tone: one value per period between
// successive sub-sample upward zero crossings, with the time (s) it ends.
struct PeriodFrequencies {
    std::vector<double> when;
    std::vector<double> frequency;
};
PeriodFrequencies InstantaneousFrequency(const std::vector<double>& mono, double sampleRate);

// First and last sample above a tenth of the peak: where a programme sounds.
std::pair<size_t, size_t> Extent(const std::vector<double>& mono);
// Seconds between them.
double Duration(const std::vector<double>& mono, double sampleRate);

// Strongest spectral peak between 50 Hz and 2 kHz in a Hann-windowed stretch
// of 16384 samples from the middle of the sounding part, refined by parabolic
// interpolation of the log power; 0 when the sounding part is too short.
double Fundamental(const std::vector<double>& mono, double sampleRate);

// Spectral flatness (geometric over arithmetic mean of the power) between two
// frequencies, averaged over Hann-windowed 1024-point frames of the sounding
// part: near 0 for a harmonic tone, towards 1 for noise.
double Flatness(const std::vector<double>& mono, double sampleRate, double lowHz, double highHz);

// Mean power per Hann-windowed 2048-point block in [lowHz, highHz) of one
// channel over frames [first, first + count).
double BandPower(const Signal& s, int32_t channel, double lowHz, double highHz, int64_t first, int64_t count);

// Summed squares of all channels, frame by frame.
std::vector<double> FrameEnergy(const Signal& s);
// Reverberation time from Schroeder's backward-integrated energy, normalised
// at `start`: a least-squares line through its part from -5 dB down to
// `lowestDb` (-25: T20, -35: T30), extrapolated to -60 dB. 0 when the decay
// does not get below -5 dB.
double DecayTime(const std::vector<double>& energy, size_t start, double sampleRate, double lowestDb = -25.0);

}  // namespace orve::analysis
