#include "effects/restoration/de_click.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "dsp/sort.h"
#include "effects/restoration/de_click_kernels.h"

namespace orve {
namespace {

const KnobSpec kKnobs[] = {
    {"Thresh", 20.0, 3.0, 8.0, "\xC3\x97",
     "How far above the background a burst must rise to be taken for a click, as a factor on the "
     "residual energy; lower values catch quieter clicks, higher values touch less of the music."},
};

// A disturbance this long is programme (a note onset, a loud passage), not a click.
constexpr int32_t kLongestClick = DeClick::kLongestClick;

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
    // Mirrored indices only where the window overhangs an end.
    const int32_t inner = std::min(count, std::max(1, count - h));
    int32_t n = 1;
    for (; n < std::min(h + 1, inner); ++n) {
        sum += a[n + h] - a[Mirror(n - 1 - h, count)];
        out[n] = sum * scale;
    }
    for (; n < inner; ++n) {
        sum += a[n + h] - a[n - 1 - h];
        out[n] = sum * scale;
    }
    for (; n < count; ++n) {
        sum += a[Mirror(n + h, count)] - a[Mirror(n - 1 - h, count)];
        out[n] = sum * scale;
    }
}

}  // namespace

// ---------------------------------------------------------------------------

BurgWorkspace::BurgWorkspace(int32_t order) : avx2(declick::Avx2Usable()) { Reserve(order); }

void BurgWorkspace::Reserve(int32_t order) {
    // Six arrays of order + 2 values (see Estimate).
    const size_t needed = 6 * static_cast<size_t>(order + 2);
    if (needed > recursion.size()) recursion.resize(needed);
}

BurgWorkspace::Fit BurgWorkspace::EstimateReference(const double* y, int32_t length, int32_t order, double* a) {
    if (length > static_cast<int32_t>(forward.size())) {
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

// Notation: the segment y[0..L-1] is taken as zero outside; F and G are the
// forward and backward errors of the current order m - 1 over that zero-padded
// signal, F[n] = sum_k a[k] y[n-k] and G[n] = sum_k a[k] y[n-m+1+k]. The
// lattice form sums F[n]^2 + G[n-1]^2 and F[n] G[n-1] over n = m..L-1. Over
// all n those sums are quadratic forms of a in the autocorrelation c: with
// u = T(a;0), T the Toeplitz matrix of c, they are a.u (each square) and
// sum_j a[j] u[m-j] (the product). What lies outside m..L-1 is the few error
// values at the two ends, kept up to date by the lattice recursion itself:
// F'[n] = F[n] + kappa G[n-1], G'[n] = G[n-1] + kappa F[n].
BurgWorkspace::Fit BurgWorkspace::Estimate(const double* y, int32_t length, int32_t order, double* a) {
    Reserve(order);
    a[0] = 1.0;
    std::fill(a + 1, a + order + 1, 0.0);
    const int32_t L = length;
    const int32_t reachable = std::min(order, L - 1);
    Fit fit{reachable < order, 1.0};
    if (reachable < 1) return fit;

    const int32_t width = order + 2;
    double* c = recursion.data();       // c[0..reachable+1]
    double* u = c + width;              // u[0..m]
    double* headF = u + width;          // F[0..m]
    double* headG = headF + width;      // headG[j] = G[j-1], j = 0..m
    double* tailF = headG + width;      // tailF[j] = F[L-1+j], j = 0..m
    double* tailG = tailF + width;      // tailG[j] = G[L-2+j], j = 0..m

    const int32_t lags = std::min(reachable + 1, L - 1);
    if (avx2) declick::AutocorrelationAvx2(y, L, lags, c);
    else declick::AutocorrelationKernel(y, L, lags, c);
    for (int32_t d = lags + 1; d < width; ++d) c[d] = 0.0;

    // Order 0: F = G = y.
    u[0] = c[0];
    u[1] = c[1];
    headF[0] = y[0];
    headG[0] = 0.0;
    tailG[1] = y[L - 1];
    // The energy below which the errors are rounding noise of the quadratic
    // forms (far below any recorded programme's prediction error).
    const double floor = std::max(1e-20, 1e-12 * 2.0 * c[0]);

    // The end errors the first order leaves out: F[0] and G[L-1].
    double edgeDen = y[0] * y[0] + y[L - 1] * y[L - 1], edgeNum = 0.0;
    for (int32_t m = 1; m <= reachable; ++m) {
        double squares[2] = {}, product[2] = {};   // two sums each: shorter dependency chains
        for (int32_t i = 0; i < m; ++i) {
            squares[i & 1] += a[i] * u[i];
            product[i & 1] += a[i] * u[m - i];
        }
        const double den = 2.0 * (squares[0] + squares[1]) - edgeDen, num = product[0] + product[1] - edgeNum;
        if (!(den > floor)) {
            fit.stoppedEarly = true;
            break;
        }
        const double kappa = -2.0 * num / den;
        if (!(std::fabs(kappa) <= 1.0)) {   // rounding beyond the edge of stability
            fit.stoppedEarly = true;
            break;
        }

        // Errors of order m - 1 one step further in at each end, and the
        // autocorrelation products the next order needs, before a changes.
        double fHead = 0.0, gHead = 0.0, fTail = 0.0, gTail = 0.0, grow = 0.0, back = 0.0;
        for (int32_t k = 0; k < m; ++k) {
            fHead += a[k] * y[m - k];
            gHead += a[k] * y[k];
            fTail += a[k] * y[L - 1 - k];
            gTail += a[k] * y[L - 1 - m + k];
            grow += a[k] * c[m + 1 - k];
            back += a[k] * c[k + 1];
        }
        headF[m] = fHead;
        headG[m] = gHead;
        tailF[0] = fTail;
        tailG[0] = gTail;
        tailF[m] = 0.0;

        // Lattice step at both ends, downward so each old value is read before
        // it is overwritten, summing on the way the end errors the next order
        // leaves out: F[0..m], G[0..m-1], F[L..L+m-1], G[L-1..L+m-1].
        edgeDen = 0.0;
        edgeNum = 0.0;
        double later = 0.0;   // the new F one index on, for its product with the new G
        for (int32_t n = m; n >= 0; --n) {
            const double f = headF[n], g = headG[n];
            const double fNew = f + kappa * g, gNew = g + kappa * f;   // F'[n], G'[n]
            headF[n] = fNew;
            headG[n + 1] = gNew;
            edgeDen += fNew * fNew;
            if (n < m) {
                edgeDen += gNew * gNew;
                edgeNum += later * gNew;
            }
            later = fNew;
        }
        headG[0] = 0.0;
        for (int32_t j = m; j >= 0; --j) {
            const double f = tailF[j], g = tailG[j];
            const double gNew = g + kappa * f;   // G'[L-1+j]
            tailG[j + 1] = gNew;
            edgeDen += gNew * gNew;
            if (j < m) edgeNum += later * gNew;
            if (j >= 1) {
                const double fNew = f + kappa * g;   // F'[L-1+j]
                tailF[j] = fNew;
                edgeDen += fNew * fNew;
                later = fNew;
            }
        }

        // u' = T(a';0) with a' = (a;0) + kappa (0;Ja): T is persymmetric, so
        // the second part is u reversed, extended by one product at each end.
        for (int32_t i = 0, j = m; i <= j; ++i, --j) {
            const double ui = u[i], uj = u[j];
            u[i] = ui + kappa * uj;
            if (i != j) u[j] = uj + kappa * ui;
        }
        u[m + 1] = grow + kappa * back;

        for (int32_t i = 1, j = m - 1; i <= j; ++i, --j) {
            const double ai = a[i], aj = a[j];
            a[i] = ai + kappa * aj;
            if (i != j) a[j] = aj + kappa * ai;
        }
        a[m] = kappa;
        fit.residualPower *= 1.0 - kappa * kappa;
    }
    return fit;
}

// ---------------------------------------------------------------------------

void WhitenFrameReference(const double* x, int32_t count, const double* a, int32_t order, double* r) {
    const int32_t N = count, p = order;
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
}

void WhitenFrame(const double* x, int32_t count, const double* a, int32_t order, double* r, bool avx2) {
    const int32_t N = count, p = order;
    if (N < 2 * p + 1) {
        WhitenFrameReference(x, count, a, order, r);
        return;
    }
    // The two ends one-sided, a coefficient at a time over all their samples
    // (independent sums rather than one long chain each); the inside by the
    // kernel.
    std::fill(r, r + p, 0.0);
    std::fill(r + N - p, r + N, 0.0);
    for (int32_t k = 1; k <= p; ++k) {
        const double ak = a[k];
        for (int32_t n = 0; n < p; ++n) r[n] += ak * x[n + k];
        for (int32_t n = N - p; n < N; ++n) r[n] += ak * x[n - k];
    }
    for (int32_t n = 0; n < p; ++n) r[n] += x[n];
    for (int32_t n = N - p; n < N; ++n) r[n] += x[n];
    if (avx2) declick::WhitenAvx2(x, p, N - p, a, p, r);
    else declick::WhitenKernel(x, p, N - p, a, p, r);
}

// ---------------------------------------------------------------------------

namespace {

// The residual's two-sided prediction reaches `order` samples either side, the
// high-pass 5 more and the energy window 1: the scanned hop starts this far in.
constexpr int32_t kLookBehind = DeClick::kOrder + 6;
// After the last scanned sample: room for a click to run kLongestClick - 1
// samples before it counts as programme, the model's margin after its end for
// the repair, and the detector's 6 samples to see where it ends.
constexpr int32_t kLookAhead = DeClick::kLongestClick + DeClick::kOrder + 4;
// Exact zeros for at least this long are digital silence, not a quiet signal.
constexpr int32_t kSilentRun = 32;
// Signal taken to fit the model that continues it into digital silence.
constexpr int32_t kContinuationContext = 256;
// A sample of a gap further from the interpolation than this many of its
// standard deviations (under the segment's model) is disturbance; nearer, it
// is programme the detector's run only spread over.
constexpr double kProgrammeSigmas = 8.0;
// The background is never taken as quieter than the rounding noise of integer
// PCM (1/12 per sample over the three-sample energy window; one step is 1 at
// every sample width here): below that nothing is a click, and a perfectly
// periodic test tone's residual would otherwise flag its own rounding.
constexpr double kRoundingEnergy = 0.25;
// Longest gap the interpolation handles: every click the detector records.
constexpr int32_t kMaxGap = DeClick::kLongestClick + 1;

}  // namespace

DeClick::DeClick(double sampleRate, int32_t channels)
    : SpectralEffect(DeferFraming{}, sampleRate, 0.85, channels, 5000, kNoWindow),
      avx2(declick::Avx2Usable()),
      burg(kOrder),
      inverse(kMaxGap, kMaxGap) {
    // 25 ms frames: long enough for a stable order-50 model and a 2..18 ms
    // pitch search, short enough that the model tracks the programme. The
    // look-behind and look-ahead are fixed in samples, so at low sample rates
    // the frame doubles until the scanned hop is at least a quarter of it, and
    // the hop is what remains of the frame after both margins (at most 0.85 N).
    const int32_t margins = kLookBehind + kLookAhead;
    int32_t N = ChooseFrameLength(static_cast<int32_t>(sampleRate * 0.025), 2);
    while (N - margins < N / 4) N *= 2;
    const int32_t H = std::min(static_cast<int32_t>(N * 0.85), N - margins);
    SetFrameLength(N, H);
    scanStart = N - kLookAhead - H;

    block.assign(static_cast<size_t>(7) * N, 0.0);
    energy = block.data();
    scratch = energy + N;
    threshold = scratch + N;
    frameCopy = threshold + N;
    analysis = frameCopy + N;
    sortBuffer = analysis + N;
    backwardFill = sortBuffer + N;
    gapBlock.assign(static_cast<size_t>(order + 1) + 5 * kMaxGap + order, 0.0);
    arCoefficients = gapBlock.data();
    coefficientCorrelation = arCoefficients + order + 1;
    knownError = coefficientCorrelation + kMaxGap;
    gradient = knownError + kMaxGap + order;
    levinson = gradient + kMaxGap;
    scaledLevinson = levinson + kMaxGap;
    clickStart.assign(N, 0);
    clickEnd.assign(N, 0);
    silentStart.assign(N / kSilentRun + 1, 0);
    silentEnd.assign(N / kSilentRun + 1, 0);
    ServeTables(kKnobs);
}

void DeClick::SetParameters(const double* values) { clickThreshold = values[0]; }

void DeClick::ProcessChannels(int32_t channelMask) {
    for (int32_t c = 0; c < channels; ++c)
        if (ChannelEnabled(channelMask, c)) RepairChannel(FramePlane(c), c);
}

void DeClick::RepairChannel(double* x, int32_t channel) {
    const int32_t N = frameLength;
    double* w = analysis;
    std::memcpy(w, x, sizeof(double) * N);
    const int32_t runs = FindSilence(w);
    FillSilence(w, runs);
    std::memcpy(frameCopy, w, sizeof(double) * N);
    ComputeDetection(w, runs);
    if (clickCount == 0) return;
    FirstStage(w, PitchLag(w));
    SecondStage(w, x);
    // Only the gaps change. The frame outputs its first hop; the samples
    // beyond it come round again in later frames, which are cut from the
    // history, so the repair goes there too.
    for (int32_t i = 0; i < clickCount; ++i)
        for (int32_t n = clickStart[i]; n <= clickEnd[i]; ++n) {
            x[n] = w[n];
            history[static_cast<size_t>(n) * channels + channel] = w[n];
        }
}

int32_t DeClick::FindSilence(const double* x) {
    const int32_t N = frameLength;
    int32_t runs = 0;
    for (int32_t n = 0; n < N;) {
        if (x[n] != 0.0) {
            ++n;
            continue;
        }
        int32_t end = n;
        while (end < N && x[end] == 0.0) ++end;
        if (end - n >= kSilentRun) {
            silentStart[runs] = n;
            silentEnd[runs] = end;   // exclusive
            ++runs;
        }
        n = end;
    }
    return runs;
}

// The signal on each side of a run of digital silence, continued into it by
// its own AR model (forward from the left, backward from the right, crossfaded
// where both exist): the edges of silence are edits, not disturbances, and
// must not look like steps to the detector.
void DeClick::FillSilence(double* x, int32_t runCount) {
    double* a = arCoefficients;
    for (int32_t r = 0; r < runCount; ++r) {
        const int32_t start = silentStart[r], end = silentEnd[r];
        const int32_t before = std::min(start, kContinuationContext);
        const int32_t after = std::min(frameLength - end, kContinuationContext);
        if (before > 0) {
            const int32_t q = std::min(order, before / 2);
            burg.Estimate(x + start - before, before, q, a);
            for (int32_t n = start; n < end; ++n) {
                double sum = 0.0;
                for (int32_t k = 1; k <= q; ++k) sum += a[k] * x[n - k];
                x[n] = q > 0 ? -sum : x[start - 1];
            }
        }
        if (after > 0) {
            const int32_t q = std::min(order, after / 2);
            burg.Estimate(x + end, after, q, a);
            double* b = backwardFill;
            for (int32_t n = end - 1; n >= start; --n) {
                double sum = 0.0;
                for (int32_t k = 1; k <= q; ++k) {
                    const int32_t j = n + k;
                    sum += a[k] * (j < end ? b[j] : x[j]);
                }
                b[n] = q > 0 ? -sum : x[end];
            }
            const double span = end - start;
            for (int32_t n = start; n < end; ++n) {
                // Raised-cosine crossfade from the left continuation to the right one.
                const double t = before > 0 ? 0.5 - 0.5 * std::cos(M_PI * (n - start + 0.5) / span) : 1.0;
                x[n] = (1.0 - t) * x[n] + t * b[n];
            }
        }
    }
}

void DeClick::ComputeDetection(const double* x, int32_t runCount) {
    const int32_t N = frameLength, p = order;

    // Whiten the frame with its own AR model: programme material is predicted
    // away, an impulsive disturbance is not.
    double* a = scratch;
    burg.Estimate(x, N, p, a);
    double* r = threshold;
    WhitenFrame(x, N, a, p, r, avx2);

    // High-pass the residual, then its local energy over three samples.
    double* u = scratch;
    MovingAverage(r, N, 5, u);
    for (int32_t n = 0; n < N; ++n) u[n] = r[n] - u[n];
    for (int32_t n = 1; n < N - 1; ++n) energy[n] = u[n - 1] * u[n - 1] + u[n] * u[n] + u[n + 1] * u[n + 1];
    energy[0] = 2.0 * u[1] * u[1] + u[0] * u[0];   // mirrored: u[-1] = u[1]
    energy[N - 1] = 2.0 * u[N - 2] * u[N - 2] + u[N - 1] * u[N - 1];

    // Robust background: the mean of the middle 40 % of the sorted energies,
    // which clicks (few, loud) cannot pull up. Only which values form the
    // middle matters, so two selections stand in for a sort. The continuation
    // through digital silence is predicted perfectly by its own model: it
    // takes no part, or it would pull the background far below the signal's.
    int32_t K = 0;
    for (int32_t run = 0, n = 0; run <= runCount; ++run) {
        const int32_t stop = run < runCount ? silentStart[run] : N;
        for (; n < stop; ++n) sortBuffer[K++] = energy[n];
        if (run < runCount) n = silentEnd[run];
    }
    double m = 0.0;
    if (K > 0) {
        const int32_t q = static_cast<int32_t>(0.3 * K);
        const int32_t last = std::min(K - q, K - 1);
        SelectRank(sortBuffer, K, q);
        SelectRank(sortBuffer + q, K - q, last - q);
        double middle = 0.0;
        for (int32_t i = q; i <= last; ++i) middle += sortBuffer[i];
        m = middle / (last - q + 1);
    }

    double* clipped = scratch;
    for (int32_t n = 0; n < N; ++n) clipped[n] = energy[n] > 3.0 * m ? m : energy[n];
    for (int32_t run = 0; run < runCount; ++run) std::fill(clipped + silentStart[run], clipped + silentEnd[run], m);
    MovingAverage(clipped, N, 50, threshold);
    for (int32_t n = 0; n < N; ++n) threshold[n] = clickThreshold * std::max(threshold[n], kRoundingEnergy);

    // Clicks that start in this frame's scanned hop. The detector runs from a
    // click's length earlier, so a run that began in the previous frame's hop
    // (and was repaired or dropped there) is not taken for a new one.
    const int32_t scanEnd = scanStart + hop;
    clickCount = 0;
    bool armed = true;
    int32_t start = 0;
    for (int32_t n = std::max(p + 1, scanStart - kLongestClick); n <= N - p - 1; ++n) {
        if (armed && n >= scanEnd) break;
        const bool loud = energy[n] > threshold[n];
        if (armed && loud) {
            start = n - 1;
            armed = false;
        } else if (!armed && !loud) {
            armed = true;
            if (n - start >= kLongestClick || start + 1 < scanStart) continue;
            bool silent = false;   // a gap reaching into digital silence is an edit
            for (int32_t s = 0; s < runCount; ++s) silent |= start < silentEnd[s] && n >= silentStart[s];
            if (silent) continue;
            // A run that starts where the previous one ended (the energy
            // dipped for one sample) is the same disturbance: repaired apart,
            // each part would be fitted to the other's damage.
            if (clickCount > 0 && start <= clickEnd[clickCount - 1] && n - clickStart[clickCount - 1] < kLongestClick) {
                clickEnd[clickCount - 1] = n;
                continue;
            }
            clickStart[clickCount] = start;
            clickEnd[clickCount++] = n;
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
        const double D = avx2 ? declick::CircularDistanceAvx2(h, Q, tau) : declick::CircularDistanceKernel(h, Q, tau);
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

void DeClick::SecondStage(double* x, const double* original) {
    const double limit = kProgrammeSigmas * kProgrammeSigmas;
    for (int32_t i = 0; i < clickCount; ++i) {
        const int32_t s = clickStart[i], e = clickEnd[i];
        // The second pass refits the model with the first pass's values in the
        // gap, which no longer bias it toward the disturbance.
        bool fitted = true;
        for (int32_t pass = 0; pass < 2 && fitted; ++pass) fitted = InterpolateGap(x, s, e);
        if (!fitted) continue;

        // The detector's run is wider than the disturbance: the whitening and
        // the high-pass spread a click over several samples either side, and
        // at low sample rates those samples carry much of the programme. From
        // each end of the gap, the original samples the interpolation explains
        // (within kProgrammeSigmas of its standard deviation there, the
        // diagonal of the inverse times the model's error power) are kept, and
        // what remains is interpolated again. A run with nothing left was no
        // click.
        int32_t first = -1, last = -1;
        const double scale = gapInnovation / coefficientCorrelation[0];
        for (int32_t n = s; n <= e; ++n) {
            const double d = original[n] - x[n];
            if (d * d > limit * scale * inverse[n - s][n - s]) {
                if (first < 0) first = n;
                last = n;
            }
        }
        const int32_t gs = first < 0 ? e + 1 : std::max(s, first - 1);
        const int32_t ge = first < 0 ? e : std::min(e, last + 1);
        if (gs == s && ge == e) continue;
        for (int32_t n = s; n < gs; ++n) x[n] = original[n];
        for (int32_t n = ge + 1; n <= e; ++n) x[n] = original[n];
        clickStart[i] = gs;
        clickEnd[i] = ge;   // gs > ge: nothing to repair
        // One pass: the values in the gap already come from a fitted model.
        if (gs <= ge) InterpolateGap(x, gs, ge);
    }
}

bool DeClick::InterpolateGap(double* x, int32_t s, int32_t e) {
    const int32_t p = order;
    const int32_t L = e - s + 1;
    // The work arrays hold every gap the detector records.
    if (L > kMaxGap) return false;

    const double* y = x + s - p;   // the gap sits at y[p .. p + L - 1]
    const int32_t M = L + 2 * p;
    double* a = arCoefficients;
    const BurgWorkspace::Fit fit = burg.Estimate(y, M, p, a);
    // Any model whose recursion completes is used, however little of the
    // segment it predicts: at low sample rates speech is seldom 20 dB
    // predictable over a segment, and the first-stage estimate kept instead
    // was measurably the worse repair.
    if (fit.stoppedEarly) return false;
    double power = 0.0;
    for (int32_t n = 0; n < M; ++n) power += y[n] * y[n];
    gapInnovation = fit.residualPower * power / M;

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
