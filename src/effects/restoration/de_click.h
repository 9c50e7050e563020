#pragma once
// Click remover. Per channel and frame: an order-50 AR model whitens the
// frame, bursts of high-passed residual energy well above a robust background
// are taken as clicks, and each click is replaced first by a pitch-synchronous
// (or straight-line) estimate blended into its surroundings, then by
// least-squares AR interpolation. Time domain throughout; the spectral engine
// supplies only the framing (raw frames, first hop output, tail as look-ahead).
//
// Every sample of the stream is scanned exactly once: each frame scans one hop,
// with the model's margin behind it and a look-ahead long enough for the
// longest click and its repair. Repairs are
// written back into the engine's history, so the frames that output those
// samples later carry them. Digital silence (the stream's start and end, gaps
// between tracks) is not signal: the analysis continues the neighbouring
// signal into it, and nothing is ever written into it.
#include <vector>

#include "dsp/double_matrix.h"
#include "dsp/spectral_effect.h"

namespace orve {

// Burg's method: AR coefficients of a segment by minimising the sum of the
// forward and backward prediction errors. The fast form's work arrays depend
// on the order only and are sized for it at construction; they grow (never
// shrink) if a higher order is asked for.
class BurgWorkspace {
public:
    explicit BurgWorkspace(int32_t order = 0);

    struct Fit {
        bool stoppedEarly;       // the error energy vanished before the full order
        double residualPower;    // product of (1 - kappa^2): error power / signal power
    };
    // a[0..order] receives 1, a[1..order] for e[n] = sum a[k] y[n-k]; the
    // orders not reached when the recursion stops early are 0.
    //
    // From the segment's autocorrelation (O(length x order)) and an O(order^2)
    // recursion: each order's error energies are the autocorrelation's
    // quadratic forms less the errors at the segment's two ends, which the
    // lattice recursion carries along.
    Fit Estimate(const double* y, int32_t length, int32_t order, double* a);
    // The textbook lattice form, O(length x order): the reference Estimate is
    // tested against.
    Fit EstimateReference(const double* y, int32_t length, int32_t order, double* a);

    // Whether the autocorrelation runs on the AVX2 build of its loop (the
    // processor's choice at construction; the same bits either way).
    bool UsesAvx2() const { return avx2; }
    void UseAvx2(bool on) { avx2 = on; }

private:
    void Reserve(int32_t order);
    std::vector<double> forward, backward;   // lattice errors (reference form, grown on demand)
    std::vector<double> recursion;           // autocorrelation, its products, edge errors
    bool avx2;
};

// r[n] = x[n] + 0.5 sum_k a[k] (x[n+k] + x[n-k]) inside the frame, the
// one-sided prediction error within `order` samples of either end. The plain
// loop is the reference for the blocked one (either build of it).
void WhitenFrame(const double* x, int32_t count, const double* a, int32_t order, double* r, bool avx2 = false);
void WhitenFrameReference(const double* x, int32_t count, const double* a, int32_t order, double* r);

class DeClick : public SpectralEffect {
public:
    DeClick(double sampleRate, int32_t channels);

    void SetParameters(const double* values) override;
    void ProcessChannels(int32_t channelMask) override;

    // The model's order and the longest disturbance still taken for a click.
    static constexpr int32_t kOrder = 50;
    static constexpr int32_t kLongestClick = 200;

protected:
    void RepairChannel(double* x, int32_t channel);
    int32_t FindSilence(const double* x);
    void FillSilence(double* x, int32_t runCount);
    void ComputeDetection(const double* x, int32_t runCount);
    int32_t PitchLag(const double* x) const;
    int32_t HalfLag(const double* x, int32_t Q) const;
    void FirstStage(double* x, int32_t lag);
    void SecondStage(double* x, const double* original);
    // Least-squares AR fill of the gap x[s..e]; false when the segment's model
    // or its Toeplitz system is unusable (the gap then keeps what it has).
    bool InterpolateGap(double* x, int32_t s, int32_t e);

    int32_t scanStart = 0;         // frame position where the scanned hop begins
    bool avx2;                     // the AVX2 builds of the loops run here
    std::vector<double> block;     // the frame-long arrays below, one allocation
    double* energy;                // N
    double* scratch;               // N
    double* threshold;             // N
    double* frameCopy;             // N: the analysed frame, then the estimates
    double* analysis;              // N: the frame with digital silence filled
    double* sortBuffer;            // N
    double* backwardFill;          // N
    std::vector<double> gapBlock;  // the gap-long arrays below, one allocation
    double* arCoefficients;        // order + 1
    double* coefficientCorrelation;  // longest gap
    double* knownError;            // longest gap + order
    double* gradient;              // longest gap
    double* levinson;              // longest gap
    double* scaledLevinson;        // longest gap
    double clickThreshold = 8.0;
    std::vector<int32_t> clickStart, clickEnd;
    int32_t clickCount = 0;
    std::vector<int32_t> silentStart, silentEnd;   // runs of digital silence in the frame
    int32_t order = kOrder;
    BurgWorkspace burg;
    DoubleMatrix inverse;
    double gapInnovation = 0.0;   // prediction error power of the last gap's model
};

}  // namespace orve
