#pragma once
// Click remover. Per channel and frame: an order-50 AR model whitens the
// frame, bursts of high-passed residual energy well above a robust background
// are taken as clicks, and each click is replaced first by a pitch-synchronous
// (or straight-line) estimate blended into its surroundings, then by
// least-squares AR interpolation. Time domain throughout; the spectral engine
// supplies only the framing (raw frames, first hop output, tail as look-ahead).
#include <vector>

#include "dsp/double_matrix.h"
#include "dsp/spectral_effect.h"

namespace orve {

// Burg's method: AR coefficients of a segment by minimising the sum of the
// forward and backward prediction errors. The two error arrays grow to the
// longest segment fitted so far and never shrink.
class BurgWorkspace {
public:
    explicit BurgWorkspace(int32_t length);

    struct Fit {
        bool stoppedEarly;       // the error energy vanished before the full order
        double residualPower;    // product of (1 - kappa^2): error power / signal power
    };
    // a[0..order] receives 1, a[1..order] for e[n] = sum a[k] y[n-k]; the
    // orders not reached when the recursion stops early are 0.
    Fit Estimate(const double* y, int32_t length, int32_t order, double* a);

    int32_t Capacity() const { return static_cast<int32_t>(forward.size()); }

private:
    std::vector<double> forward, backward;
};

class DeClick : public SpectralEffect {
public:
    DeClick(double sampleRate, int32_t channels);

    void SetParameters(const double* values) override;
    void ProcessChannels(int32_t channelMask) override;

protected:
    void RepairChannel(double* x);
    void ComputeDetection(const double* x);
    int32_t PitchLag(const double* x) const;
    int32_t HalfLag(const double* x, int32_t Q) const;
    void FirstStage(double* x, int32_t lag);
    void SecondStage(double* x);
    // Least-squares AR fill of the gap x[s..e]; false when the segment's model
    // or its Toeplitz system is unusable (the gap then keeps what it has).
    bool InterpolateGap(double* x, int32_t s, int32_t e);

    std::vector<double> block;     // the 7 x N doubles below, one allocation
    double* energy;                // N
    double* scratch;               // N
    double* threshold;             // N
    double* frameCopy;             // N: the frame as it arrived, then the estimates
    double* arCoefficients;        // N/2
    double* coefficientCorrelation;  // N/2
    double* knownError;            // N/2
    double* gradient;              // N/2
    double* sortBuffer;            // N
    double clickThreshold = 8.0;
    std::vector<int32_t> clickStart, clickEnd;
    int32_t clickCount = 0;
    int32_t order = 50;
    BurgWorkspace burg;
    std::vector<double> levinsonBlock;   // N doubles: two halves of N/2
    double* levinson;
    double* scaledLevinson;
    DoubleMatrix inverse;
};

}  // namespace orve
