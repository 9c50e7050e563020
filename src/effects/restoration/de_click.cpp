#include "effects/restoration/de_click.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "dsp/sort.h"

namespace orve {
namespace {

const KnobSpec kKnobs[] = {
    {"Thresh", 20.0, 3.0, 8.0},
};

// A disturbance this long is programme (a note onset, a loud passage), not a click.
constexpr int32_t kLongestClick = 200;

// Index into an array of `count` values mirrored about its first and last
// element (the edge element itself is not repeated).
inline int32_t Mirror(int32_t j, int32_t count) {
    if (j < 0) j = -j;
    if (j > count - 1) j = 2 * (count - 1) - j;
    return std::clamp(j, 0, count - 1);
}

// out[n] = mean of a[n-h .. n+h], mirrored at both ends; out must not alias a.
void MovingAverage(const double* a, int32_t count, int32_t h, double* out) {
    const double scale = 1.0 / (2 * h + 1);
    double sum = 0.0;
    for (int32_t j = -h; j <= h; ++j) sum += a[Mirror(j, count)];
    out[0] = sum * scale;
    for (int32_t n = 1; n < count; ++n) {
        sum += a[Mirror(n + h, count)] - a[Mirror(n - 1 - h, count)];
        out[n] = sum * scale;
    }
}

}  // namespace

// ---------------------------------------------------------------------------

BurgWorkspace::BurgWorkspace(int32_t length) : forward(length, 0.0), backward(length, 0.0) {}

BurgWorkspace::Fit BurgWorkspace::Estimate(const double* y, int32_t length, int32_t order, double* a) {
    if (length > Capacity()) {
        forward.resize(length);
        backward.resize(length);
    }
    double* f = forward.data();
    double* b = backward.data();
    std::memcpy(f, y, sizeof(double) * length);
    std::memcpy(b, y, sizeof(double) * length);
    a[0] = 1.0;
    std::fill(a + 1, a + order + 1, 0.0);
    const int32_t reachable = std::min(order, length - 1);

    Fit fit{reachable < order, 1.0};
    for (int32_t m = 1; m <= reachable; ++m) {
        double num = 0.0, den = 0.0;
        for (int32_t n = m; n < length; ++n) {
            num += f[n] * b[n - 1];
            den += f[n] * f[n] + b[n - 1] * b[n - 1];
        }
        if (den < 1e-20) {
            fit.stoppedEarly = true;
            break;
        }
        const double kappa = -2.0 * num / den;
        for (int32_t i = 1, j = m - 1; i <= j; ++i, --j) {
            const double ai = a[i], aj = a[j];
            a[i] = ai + kappa * aj;
            if (i != j) a[j] = aj + kappa * ai;
        }
        a[m] = kappa;
        // Downward, so b[n - 1] still holds the previous order's error.
        for (int32_t n = length - 1; n >= m; --n) {
            const double fn = f[n];
            f[n] = fn + kappa * b[n - 1];
            b[n] = b[n - 1] + kappa * fn;
        }
        fit.residualPower *= 1.0 - kappa * kappa;
    }
    return fit;
}

// ---------------------------------------------------------------------------

DeClick::DeClick(double sampleRate, int32_t channels)
    : SpectralEffect(DeferFraming{}, sampleRate, 0.85, channels, 5000, kNoWindow), burg(0), inverse(1, 1) {
    // 25 ms frames: long enough for a stable order-50 model and a 2..18 ms
    // pitch search, short enough that the model tracks the programme.
    SetFrameSeconds(0.025);
    const int32_t N = frameLength;
    block.assign(static_cast<size_t>(7) * N, 0.0);
    energy = block.data();
    scratch = energy + N;
    threshold = scratch + N;
    frameCopy = threshold + N;
    arCoefficients = frameCopy + N;
    coefficientCorrelation = arCoefficients + N / 2;
    knownError = coefficientCorrelation + N / 2;
    gradient = knownError + N / 2;
    sortBuffer = arCoefficients + 4 * (N / 2);
    clickStart.assign(N, 0);
    clickEnd.assign(N, 0);
    levinsonBlock.assign(N, 0.0);
    levinson = levinsonBlock.data();
    scaledLevinson = levinson + N / 2;
    inverse = DoubleMatrix(std::max(N / 4, 1), std::max(N / 4, 1));
    burg = BurgWorkspace(N);
    ServeTables(kKnobs);
}

void DeClick::SetParameters(const double* values) { clickThreshold = values[0]; }

void DeClick::ProcessChannels(int32_t channelMask) {
    for (int32_t c = 0; c < channels; ++c)
        if (ChannelEnabled(channelMask, c)) RepairChannel(FramePlane(c));
}

void DeClick::RepairChannel(double* x) {
    const int32_t N = frameLength;
    // Frames too short to hold the model's margins at both ends are not scanned
    // (only at sample rates far below any the player delivers).
    if (N < 2 * order + 4) {
        clickCount = 0;
        return;
    }
    std::memcpy(frameCopy, x, sizeof(double) * N);
    ComputeDetection(x);
    if (clickCount == 0) return;
    FirstStage(x, PitchLag(x));
    SecondStage(x);
}

void DeClick::ComputeDetection(const double* x) {
    const int32_t N = frameLength, p = order;

    // Whiten the frame with its own AR model: programme material is predicted
    // away, an impulsive disturbance is not.
    double* a = scratch;
    burg.Estimate(x, N, p, a);
    double* r = threshold;
    for (int32_t n = 0; n < N; ++n) {
        double sum = 0.0;
        if (n < p) {
            for (int32_t k = 1; k <= p; ++k) sum += a[k] * x[n + k];
        } else if (n >= N - p) {
            for (int32_t k = 1; k <= p; ++k) sum += a[k] * x[n - k];
        } else {
            for (int32_t k = 1; k <= p; ++k) sum += a[k] * (x[n + k] + x[n - k]);
            sum *= 0.5;
        }
        r[n] = x[n] + sum;
    }

    // High-pass the residual, then its local energy over three samples.
    double* u = scratch;
    MovingAverage(r, N, 5, u);
    for (int32_t n = 0; n < N; ++n) u[n] = r[n] - u[n];
    for (int32_t n = 0; n < N; ++n) {
        const double um = u[Mirror(n - 1, N)], u0 = u[n], up = u[Mirror(n + 1, N)];
        energy[n] = um * um + u0 * u0 + up * up;
    }

    // Robust background: the mean of the middle 40 % of the sorted energies,
    // which clicks (few, loud) cannot pull up.
    std::memcpy(sortBuffer, energy, sizeof(double) * N);
    HeapSort(sortBuffer, N);
    const int32_t q = static_cast<int32_t>(0.3 * N);
    const int32_t last = std::min(N - q, N - 1);
    double middle = 0.0;
    for (int32_t i = q; i <= last; ++i) middle += sortBuffer[i];
    const double m = middle / (N - 2 * q + 1);

    double* clipped = scratch;
    for (int32_t n = 0; n < N; ++n) clipped[n] = energy[n] > 3.0 * m ? m : energy[n];
    MovingAverage(clipped, N, 50, threshold);
    for (int32_t n = 0; n < N; ++n) threshold[n] *= clickThreshold;

    clickCount = 0;
    bool armed = true;
    for (int32_t n = p + 1; n <= N - p - 1; ++n) {
        const bool loud = energy[n] > threshold[n];
        if (armed && loud) {
            clickStart[clickCount] = n - 1;
            armed = false;
        } else if (!armed && !loud) {
            if (n - clickStart[clickCount] < kLongestClick) clickEnd[clickCount++] = n;
            armed = true;
        }
    }
}

int32_t DeClick::HalfLag(const double* h, int32_t Q) const {
    const double fs = sampleRate;
    const int32_t tauMin = static_cast<int32_t>(0.002 * fs);
    const int32_t tauMax = std::min(static_cast<int32_t>(0.01838235294117647 * fs), Q / 2);
    double E = 0.0;
    for (int32_t n = 0; n < Q; ++n) E += h[n] * h[n];
    if (E < 1e-20) return 0;

    double best = 1e30;
    int32_t lag = 0;
    for (int32_t tau = tauMin; tau <= tauMax; ++tau) {
        // Circular difference within the half.
        double D = 0.0;
        for (int32_t n = 0; n < Q - tau; ++n) D += std::fabs(h[n] - h[n + tau]);
        for (int32_t n = Q - tau; n < Q; ++n) D += std::fabs(h[n] - h[n + tau - Q]);
        if (D <= best) {   // on a tie the longer period wins
            best = D;
            lag = tau;
        }
    }
    if (lag == 0) return 0;

    double rho = 0.0;
    for (int32_t n = lag; n < Q; ++n) rho += h[n] * h[n - lag];
    rho /= E;
    // Not periodic enough, or a short lag that only weak correlation supports
    // (octave errors and noise favour the shortest lags).
    if (rho < (Q - lag) * 0.75 / Q) return 0;
    if (lag - tauMin < 0.0005 * fs && rho < 0.85) return 0;
    return lag;
}

int32_t DeClick::PitchLag(const double* x) const {
    const int32_t Q = frameLength / 2;
    return std::max(HalfLag(x, Q), HalfLag(x + Q, Q));
}

void DeClick::FirstStage(double* x, int32_t lag) {
    const int32_t N = frameLength;
    double* xc = frameCopy;
    for (int32_t i = 0; i < clickCount; ++i) {
        const int32_t s = clickStart[i], e = clickEnd[i];
        if (lag > 0) {
            // Pitch-synchronous estimate: the same phase one and two periods away.
            for (int32_t n = s; n <= e; ++n) {
                double sum = 0.0;
                int32_t count = 0;
                for (int32_t periods = 1; periods <= 2; ++periods) {
                    const int32_t shift = periods * lag;
                    if (n - shift >= 1) sum += x[n - shift], ++count;
                    if (n + shift < N) sum += x[n + shift], ++count;
                }
                xc[n] = count > 0 ? sum / count : x[n];
            }
            // Tilt the estimate so it continues the slopes at both anchors.
            const double d0 = xc[s] - (2.0 * x[s - 1] - x[s - 2]);
            const double d1 = xc[e] - (2.0 * x[e + 1] - x[e + 2]);
            const double slope = (d1 - d0) / (e - s + 1);
            for (int32_t n = s; n <= e; ++n) xc[n] -= (n - s) * slope + d0;
        } else {
            const double step = (x[e + 1] - x[s - 1]) / (e - s + 2);
            for (int32_t n = s; n <= e; ++n) xc[n] = x[s - 1] + (n - s + 1) * step;
        }

        // Blend: smooth the estimate with its surroundings, then add the line
        // that makes the result meet both anchors exactly.
        const int32_t len = e - s + 2;
        const int32_t w = std::min(std::min(len / 2, s - 1), N - e - 2);
        const double scale = 1.0 / (2 * w + 1);
        double sum = 0.0;
        for (int32_t j = s - 1 - w; j <= s - 1 + w; ++j) sum += xc[j];
        const double alpha = xc[s - 1] - sum * scale;
        double endSum = 0.0;
        for (int32_t j = e + 1 - w; j <= e + 1 + w; ++j) endSum += xc[j];
        const double beta = (xc[e + 1] - endSum * scale - alpha) / len;
        for (int32_t n = s; n <= e; ++n) {
            sum += xc[n + w] - xc[n - 1 - w];
            x[n] = sum * scale + (n - s + 1) * beta + alpha;
        }
    }
}

void DeClick::SecondStage(double* x) {
    for (int32_t i = 0; i < clickCount; ++i) {
        // The second pass refits the model with the first pass's values in the
        // gap, which no longer bias it toward the disturbance.
        for (int32_t pass = 0; pass < 2; ++pass)
            if (!InterpolateGap(x, clickStart[i], clickEnd[i])) break;
    }
}

bool DeClick::InterpolateGap(double* x, int32_t s, int32_t e) {
    const int32_t N = frameLength, p = order;
    const int32_t L = e - s + 1;
    // The work arrays hold gaps up to N/4 with order + gap up to N/2; only
    // short frames (low sample rates) meet longer clicks, and those keep the
    // first-stage estimate.
    if (L > inverse.Rows() || p + L > N / 2) return false;

    const double* y = x + s - p;   // the gap sits at y[p .. p + L - 1]
    const int32_t M = L + 2 * p;
    double* a = arCoefficients;
    const BurgWorkspace::Fit fit = burg.Estimate(y, M, p, a);
    if (fit.stoppedEarly || fit.residualPower > 0.01) return false;

    double* c = coefficientCorrelation;
    for (int32_t j = 0; j < L; ++j) {
        double sum = 0.0;
        for (int32_t k = 0; k + j <= p; ++k) sum += a[k] * a[k + j];
        c[j] = sum;
    }
    for (int32_t t = 0; t < L + p; ++t) {
        double sum = 0.0;
        for (int32_t k = 0; k <= p; ++k) {
            const int32_t idx = p + t - k;
            if (idx < p || idx >= p + L) sum += a[k] * y[idx];
        }
        knownError[t] = sum;
    }
    for (int32_t j = 0; j < L; ++j) {
        double sum = 0.0;
        for (int32_t k = 0; k <= p; ++k) sum += a[k] * knownError[j + k];
        gradient[j] = sum;
    }

    // Levinson-Durbin on the normalised correlation r = c / c[0] solves the
    // Yule-Walker system of order L - 1; its reflection coefficients must stay
    // inside the unit circle for the Toeplitz matrix to be positive definite.
    const double c0 = c[0];
    const int32_t m = L - 1;
    double* yw = levinson;
    if (m >= 1) {
        double alpha = -c[1] / c0;
        if (std::fabs(alpha) >= 1.0) return false;
        yw[0] = alpha;
        double beta = 1.0;
        for (int32_t k = 1; k < m; ++k) {
            beta *= 1.0 - alpha * alpha;
            double dot = c[k + 1] / c0;
            for (int32_t i = 0; i < k; ++i) dot += c[k - i] / c0 * yw[i];
            alpha = -dot / beta;
            if (std::fabs(alpha) >= 1.0) return false;
            for (int32_t i = 0, j = k - 1; i <= j; ++i, --j) {
                const double yi = yw[i], yj = yw[j];
                yw[i] = yi + alpha * yj;
                if (i != j) yw[j] = yj + alpha * yi;
            }
            yw[k] = alpha;
        }
    }

    // Trench: the inverse of the symmetric Toeplitz matrix from the Yule-Walker
    // solution, filled by its symmetry about both diagonals.
    double dot = 1.0;
    for (int32_t i = 0; i < m; ++i) dot += c[i + 1] / c0 * yw[i];
    const double gamma = 1.0 / dot;
    double* v = scaledLevinson;
    for (int32_t i = 0; i < m; ++i) v[i] = gamma * yw[m - 1 - i];
    DoubleMatrix& B = inverse;
    const int32_t n = L;
    B[0][0] = gamma;
    for (int32_t j = 1; j < n; ++j) B[0][j] = v[m - j];
    for (int32_t i = 1; i <= (n - 1) / 2; ++i)
        for (int32_t j = i; j <= n - 1 - i; ++j)
            B[i][j] = B[i - 1][j - 1] + (v[m - j] * v[m - i] - v[i - 1] * v[j - 1]) / gamma;
    for (int32_t i = 0; i <= (n - 1) / 2; ++i)
        for (int32_t j = i; j <= n - 1 - i; ++j) {
            const double value = B[i][j];
            B[j][i] = value;
            B[n - 1 - j][n - 1 - i] = value;
            B[n - 1 - i][n - 1 - j] = value;
        }

    // z = -R^-1 gradient with R = c0 T.
    for (int32_t i = 0; i < n; ++i) {
        const double* row = B[i];
        double sum = 0.0;
        for (int32_t j = 0; j < n; ++j) sum += row[j] * gradient[j];
        x[s + i] = -sum / c0;
    }
    return true;
}

}  // namespace orve
