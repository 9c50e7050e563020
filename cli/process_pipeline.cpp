#include "process_pipeline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

#include "cli_error.h"
#include "dsp/operating_range.h"
#include "effect_lookup.h"
#include "platform/posix/embedded_kernels.h"
#include "platform/posix/stderr_ui.h"
#include "plugin/audio_path.h"
#include "plugin/effect_actions.h"
#include "plugin/effect_catalogue.h"
#include "plugin/effect_factory.h"
#include "effects/timepitch/tempo_scaler.h"

namespace orve::cli {
namespace {

int32_t BytesPerSample(int32_t bits) { return bits / 8; }

// The audio path reads 8-bit PCM as unsigned bytes with the zero at 128.
void Pack(const int32_t* values, int64_t count, int32_t bits, uint8_t* host) {
    switch (bits) {
        case 8:
            for (int64_t i = 0; i < count; ++i) host[i] = static_cast<uint8_t>(values[i] + 128);
            break;
        case 16: {
            auto* out = reinterpret_cast<int16_t*>(host);
            for (int64_t i = 0; i < count; ++i) out[i] = static_cast<int16_t>(values[i]);
            break;
        }
        default: std::memcpy(host, values, sizeof(int32_t) * count); break;
    }
}

// Appends what the audio path released to `out`: inserted from the host
// samples as they are, not into zeros made first.
void AppendUnpacked(const uint8_t* host, int64_t count, int32_t bits, std::vector<int32_t>& out) {
    switch (bits) {
        case 8: {
            const size_t at = out.size();
            out.insert(out.end(), host, host + count);
            for (size_t i = at; i < out.size(); ++i) out[i] -= 128;
            break;
        }
        case 16: {
            const auto* in = reinterpret_cast<const int16_t*>(host);
            out.insert(out.end(), in, in + count);
            break;
        }
        default: {
            const auto* in = reinterpret_cast<const int32_t*>(host);
            out.insert(out.end(), in, in + count);
            break;
        }
    }
}

class VectorSource : public PcmSource {
public:
    explicit VectorSource(const std::vector<int32_t>& v, int32_t channelsIn) : values(v), channels(channelsIn) {}
    int64_t Read(int32_t* out, int64_t frames) override {
        const int64_t left = static_cast<int64_t>(values.size()) / channels - position;
        const int64_t n = std::min(frames, left);
        std::copy_n(values.begin() + position * channels, n * channels, out);
        position += n;
        return n;
    }

private:
    const std::vector<int32_t>& values;
    int32_t channels;
    int64_t position = 0;
};

class VectorSink : public PcmSink {
public:
    explicit VectorSink(int32_t channelsIn) : channels(channelsIn) {}
    void Write(const int32_t* in, int64_t frames) override { values.insert(values.end(), in, in + frames * channels); }
    std::vector<int32_t> values;

private:
    int32_t channels;
};

}  // namespace

std::string StageNamed(size_t index, size_t stages) {
    return stages > 1 ? "stage " + std::to_string(index + 1) + ": " : std::string();
}

void ValidateSettings(const ProcessSettings& s) {
    if (s.blockFrames < 1 || s.blockFrames > kMaxBlockFrames)
        throw CliError("--block must be a whole number of frames from 1 to " + std::to_string(kMaxBlockFrames));
    if (!SupportedSampleBits(s.bits)) throw CliError("--bits must be 8, 16 or 32");
    if (!(s.tailSeconds >= 0.0 && s.tailSeconds <= 3600.0))
        throw CliError("--tail must lie between 0 and 3600 seconds");
    if (s.stages.empty()) throw CliError("no effect given (-e EFFECT)");
    for (size_t i = 0; i < s.stages.size(); ++i) {
        const StageSettings& stage = s.stages[i];
        if (!OfferedEffect(EffectNumber(stage.effectId))) throw CliError("unknown effect (see 'orve list')");
        // In a chain the same option may be right for one stage and wrong for
        // another: the message says which.
        const std::string where = StageNamed(i, s.stages.size());
        if (stage.gainDb && !(*stage.gainDb >= kMinGainDb && *stage.gainDb <= kMaxGainDb))
            throw CliError(where + "--gain-db must lie between -60 and 60 dB (the plug-in's slider range)");
        for (double t : stage.snapNoiseSeconds)
            if (!(t >= 0.0 && std::isfinite(t))) throw CliError(where + "--snap-noise times must be 0 seconds or later");
    }
}

void ApplySettings(PluginState& state, const StageSettings& s, int32_t sampleRate, int32_t channels) {
    if (!OfferedEffect(EffectNumber(s.effectId))) throw CliError("unknown effect (see 'orve list')");
    if (!InOperatingRange(sampleRate, channels))
        throw CliError(std::to_string(sampleRate) + " Hz with " + std::to_string(channels) +
                       " channels lies outside what orve processes (" + OperatingRangeText() + ")");
    {
        // A new selection, as the window makes it: knob values back to their
        // defaults and the gain to 0 dB. Storing the format first keeps the
        // audio path from rebuilding (and re-laying the channel switches) on
        // its first block.
        PluginState::Lock lock(state.processingLock);
        state.effectId = s.effectId;
        state.lastSampleRate = sampleRate;
        state.lastChannels = channels;
        BuildEffect(state, sampleRate, channels, false);
    }
    ApplyChoices(state, s, channels);
}

void ApplyChoices(PluginState& state, const StageSettings& s, int32_t channels) {
    if (!state.currentEffect) throw CliError(kMemoryAllocationFailed);
    EffectProcessor& effect = *state.currentEffect;
    const int32_t knobCount = state.knobCount;

    double gainDb = 0.0;
    int32_t presetRow = -1;
    if (!s.preset.empty()) {
        presetRow = FindPreset(effect, s.effectId, s.preset);
        const EffectPreset* table = nullptr;
        effect.GetPresets(&table);
        // values[0] is the gain in dB, values[1..K] the knobs in order. The
        // window keeps the user's stored positions when the last row is
        // chosen; a batch run has no stored positions, so every row applies
        // its own values, as the window does right after a new selection.
        const double* row = table[presetRow].values;
        gainDb = row[0];
        for (int32_t i = 0; i < knobCount; ++i) state.parameterValues[i] = row[i + 1];
    }
    for (const KnobChoice& choice : s.knobs) {
        const int32_t k = FindKnob(state.knobTable, knobCount, s.effectId, choice.label);
        state.parameterValues[k] = StoredKnobValue(effect, k, state.knobTable[k], s.effectId, choice);
    }
    if (s.gainDb) gainDb = *s.gainDb;
    state.outputGain = DecibelsToFactor(gainDb);
    {
        PluginState::Lock lock(state.processingLock);
        effect.SetParameters(state.parameterValues);
    }

    // The switches a window would show: PASS alone for mono, L and R otherwise.
    int32_t mask = channels == 1 ? 1 : 3;
    if (s.channelMask) mask = *s.channelMask == 0 ? 0 : (channels == 1 ? 1 : *s.channelMask);
    state.channelMask = mask;

    // What the record remembers. The window reopens on the stored knob
    // positions when the preset index is not 0, and takes the last row's
    // values when it is 0, so the last row (the user's own setting) is stored
    // unless a preset other than the first was chosen and left untouched.
    const int32_t rows = effect.PresetCount();
    if (presetRow > 0 && s.knobs.empty() && !s.gainDb) state.presetIndex = presetRow;
    else state.presetIndex = rows > 0 ? rows - 1 : 0;
}

namespace {

// Where a stage's file lies in the stream its effect releases.
struct Placement {
    double ratio = 1.0;          // output frames per input frame
    int64_t silenceAhead = 0;    // frames of silence fed before the input
    int64_t skip = 0;            // leading frames of the stream left out
    int64_t margin = 0;          // frames kept beyond the input's image at each end
};

Placement PlacementOf(const PluginState& state) {
    Placement p;
    const EffectProcessor* effect = state.currentEffect.get();
    // PASS: ModifySamples hands every block back untouched, whatever the effect.
    if (!effect || state.channelMask == 0) return p;
    p.ratio = StreamLengthRatio(effect);
    const auto* tempo = dynamic_cast<const TempoScaler*>(effect);
    if (!tempo || !tempo->Stretches()) return p;
    // The tempo scaler copies whole frames, each shifted by up to its search
    // range to match the output so far, so what the input holds within a
    // frame of either end lands up to about a search range plus half a frame
    // off the exact stretch, and its start-up discards the first steps of the
    // stream. Silence fed ahead of the input takes the discarded steps, and
    // the file keeps that margin beyond both ends of the input's image:
    // clicks 3 ms from either end of the input stay in the file at every
    // tempo, where cutting at the exact image lost them.
    p.margin = tempo->SearchRange() + tempo->FrameLength() / 2;
    const double lead = static_cast<double>(StreamStartLead(effect));
    p.silenceAhead = tempo->HistoryLength() +
                     static_cast<int64_t>(std::ceil((static_cast<double>(p.margin) + std::fabs(lead)) / p.ratio));
    p.skip = std::llround(static_cast<double>(p.silenceAhead) * p.ratio + lead) - p.margin;
    return p;
}

int64_t OutputFramesFor(const Placement& p, int64_t inputFrames) {
    if (inputFrames <= 0) return 0;   // no input, no margins either
    return std::llround(static_cast<double>(inputFrames) * p.ratio) + 2 * p.margin;
}

// One stage of a chain: takes its input as it comes, hands the audio path
// whole blocks of blockFrames (the last one of the input shorter, then
// silence), exactly as a run of this stage alone on a file would, and passes
// on StageOutputFrames of what it releases.
class StageRunner {
public:
    StageRunner(const ChainStage& stage, const StreamFormat& format, int64_t block)
        : state(*stage.state), format(format), block(block), placement(PlacementOf(*stage.state)),
          snaps(stage.snapNoiseSeconds) {
        std::sort(snaps.begin(), snaps.end());
        host.resize(2 * block * format.channels * BytesPerSample(format.bits));
        silenceBlock.assign(block * format.channels, 0);
        pending.assign(placement.silenceAhead * format.channels, 0);
        dropFrames = std::max<int64_t>(placement.skip, 0);
        padFrames = std::max<int64_t>(-placement.skip, 0);
    }

    void Take(const int32_t* in, int64_t frames) { pending.insert(pending.end(), in, in + frames * format.channels); }
    // No more input: `frames` came in all told, `extraFrames` of the
    // stream's silence after them are kept as if they were input (a tail).
    void EndInput(int64_t frames, int64_t extraFrames) {
        inputEnded = true;
        inputFrames = frames;
        target = OutputFramesFor(placement, frames) + extraFrames;
    }
    bool Ended() const { return inputEnded; }
    bool Done() const { return inputEnded && written >= target; }
    int64_t Written() const { return written; }
    int32_t snapsIgnored = 0, snapsBeyondEnd = 0;

    // Runs the blocks now complete (or, once the input has ended, the rest of
    // it or one block of silence), appending the released frames to `out`.
    // Throws CliError for an effect that stops releasing anything.
    void Run(std::vector<int32_t>& out) {
        const int64_t nch = format.channels;
        for (;;) {
            const int64_t have = static_cast<int64_t>(pending.size()) / nch - consumed;
            int64_t n = std::min(block, have);
            if (n < block && !inputEnded) break;
            if (n == 0) {
                if (Done()) break;
                // Every effect releases its input within a fraction of a
                // second (plus the tail); one that has not after a minute
                // never will.
                silence += block;
                if (silence > target + 60LL * format.sampleRate + 4 * block)
                    throw CliError(std::string(EffectText(state.effectId)) + " stopped producing output after " +
                                   std::to_string(written) + " of " + std::to_string(target) + " frames");
                Feed(silenceBlock.data(), block, out);
                break;
            }
            // Packed for the audio path straight from where it waits.
            const int32_t* in = pending.data() + consumed * nch;
            consumed += n;
            Feed(in, n, out);
            if (Done()) break;
        }
        // Compacted now and then, not per block.
        if (consumed * nch > static_cast<int64_t>(pending.size()) / 2) {
            pending.erase(pending.begin(), pending.begin() + consumed * nch);
            consumed = 0;
        }
    }

    void PressRemainingSnaps() { snapsBeyondEnd += static_cast<int32_t>(snaps.size() - nextSnap); nextSnap = snaps.size(); }

private:
    void Feed(const int32_t* in, int64_t n, std::vector<int32_t>& out) {
        const int64_t nch = format.channels;
        const int64_t position = fed - placement.silenceAhead;   // input frames before this block
        while (nextSnap < snaps.size() && snaps[nextSnap] * format.sampleRate < static_cast<double>(position + n)) {
            if (inputEnded && position >= inputFrames) {
                ++snapsBeyondEnd;
            } else {
                PluginState::Lock lock(state.processingLock);
                if (!state.currentEffect || !SnapNoise(*state.currentEffect)) ++snapsIgnored;
            }
            ++nextSnap;
        }
        Pack(in, n * nch, format.bits, host.data());
        const int32_t frames =
            ModifySamples(state, host.data(), static_cast<int32_t>(n), format.bits, format.channels, format.sampleRate);
        fed += n;
        const int64_t dropped = std::min<int64_t>(frames, dropFrames);
        dropFrames -= dropped;
        const int64_t room = inputEnded ? target - written : INT64_MAX;
        if (frames > dropped && padFrames > 0) {
            const int64_t pad = std::min(padFrames, room);
            out.insert(out.end(), pad * nch, 0);
            written += pad;
            padFrames = 0;
        }
        const int64_t take = std::min<int64_t>(frames - dropped, inputEnded ? target - written : INT64_MAX);
        if (take > 0) {
            AppendUnpacked(host.data() + dropped * nch * BytesPerSample(format.bits), take * nch, format.bits, out);
            written += take;
        }
    }

    PluginState& state;
    StreamFormat format;
    int64_t block;
    Placement placement;
    std::vector<double> snaps;
    size_t nextSnap = 0;
    std::vector<uint8_t> host;
    std::vector<int32_t> silenceBlock;   // fed once the input has ended and the stream is not done
    std::vector<int32_t> pending;   // input not yet handed to the audio path, from `consumed` on
    int64_t consumed = 0;
    int64_t dropFrames = 0, padFrames = 0;
    int64_t fed = 0, written = 0, silence = 0;
    bool inputEnded = false;
    int64_t inputFrames = 0, target = 0;
};

}  // namespace

int64_t StageOutputFrames(const PluginState& state, int64_t inputFrames) {
    return OutputFramesFor(PlacementOf(state), inputFrames);
}

double StageLengthRatio(const PluginState& state) { return PlacementOf(state).ratio; }
int64_t StageLeadingFrames(const PluginState& state) { return PlacementOf(state).margin; }

RunReport RunChain(const std::vector<ChainStage>& stages, const StreamFormat& format, int64_t inputFrames,
                   PcmSource& source, PcmSink& sink, const RunOptions& options) {
    const int32_t nch = format.channels;
    const int64_t block = options.blockFrames;
    const int64_t tailFrames = std::llround(options.tailSeconds * format.sampleRate);
    std::vector<std::unique_ptr<StageRunner>> runners;
    for (const ChainStage& stage : stages) runners.push_back(std::make_unique<StageRunner>(stage, format, block));
    // What the file will hold, for the progress bar.
    auto expectedFrames = [&](int64_t frames) {
        for (size_t k = 0; k < stages.size(); ++k)
            frames = StageOutputFrames(*stages[k].state, frames) + (k == 0 ? tailFrames : 0);
        return frames;
    };

    RunReport report;
    std::vector<int32_t> inValues(block * nch);
    std::vector<std::vector<int32_t>> between(stages.size());   // what stage k released, not yet passed on
    bool inputEnded = inputFrames <= 0;
    if (inputEnded) inputFrames = 0;
    if (inputEnded) runners[0]->EndInput(0, tailFrames);
    int64_t fed = 0, written = 0;
    int64_t expected = expectedFrames(inputFrames);
    double lastProgress = -1.0;
    while (!runners.back()->Done()) {
        if (options.interrupted && *options.interrupted) throw CliError("interrupted", 130);
        if (!inputEnded) {
            const int64_t want = std::min(block, inputFrames - fed);
            const int64_t n = source.Read(inValues.data(), want);
            runners[0]->Take(inValues.data(), n);
            fed += n;
            if (fed >= inputFrames || n < want) {
                inputEnded = true;
                inputFrames = fed;
                runners[0]->EndInput(fed, tailFrames);
                expected = expectedFrames(inputFrames);
            }
        }
        for (size_t k = 0; k < runners.size(); ++k) {
            if (k > 0) {
                std::vector<int32_t>& in = between[k - 1];
                runners[k]->Take(in.data(), static_cast<int64_t>(in.size()) / nch);
                in.clear();
                if (runners[k - 1]->Done() && !runners[k]->Ended())
                    runners[k]->EndInput(runners[k - 1]->Written(), 0);
            }
            runners[k]->Run(between[k]);
        }
        std::vector<int32_t>& out = between.back();
        if (!out.empty()) {
            const int64_t frames = static_cast<int64_t>(out.size()) / nch;
            sink.Write(out.data(), frames);
            written += frames;
            out.clear();
        }
        if (options.progress && expected > 0) {
            const double fraction = static_cast<double>(written) / static_cast<double>(expected);
            if (fraction - lastProgress >= 0.005 || written >= expected) {
                options.progress(std::min(fraction, 1.0));
                lastProgress = fraction;
            }
        }
    }
    for (auto& r : runners) {
        r->PressRemainingSnaps();
        report.snapsIgnored += r->snapsIgnored;
        report.snapsBeyondEnd += r->snapsBeyondEnd;
    }
    report.inputFrames = inputFrames;
    report.outputFrames = written;
    return report;
}

PreparedChain PrepareChain(const ProcessSettings& settings, int32_t sampleRate, int32_t channels,
                           KernelSource* kernels, HostUi* ui, std::unique_ptr<SettingsStore> store) {
    PreparedChain chain;
    for (const StageSettings& stage : settings.stages) {
        chain.states.push_back(std::make_unique<PluginState>(std::move(store), kernels, ui));
        chain.states.back()->effectSeed = settings.seed;
        ApplySettings(*chain.states.back(), stage, sampleRate, channels);
        chain.stages.push_back({chain.states.back().get(), stage.snapNoiseSeconds});
    }
    return chain;
}

RunReport RunAudioPath(PluginState& state, const StreamFormat& format, int64_t inputFrames, PcmSource& source,
                       PcmSink& sink, const RunOptions& options) {
    return RunChain({{&state, options.snapNoiseSeconds}}, format, inputFrames, source, sink, options);
}

analysis::Signal ProcessSignal(const analysis::Signal& input, const ProcessSettings& settings, RunReport* report) {
    ValidateSettings(settings);
    EmbeddedKernels kernels;
    StderrUi ui;
    const PreparedChain chain = PrepareChain(settings, input.sampleRate, input.channels, &kernels, &ui);

    // The signal is on the 16-bit scale; other widths see it scaled to theirs.
    const double scale = std::ldexp(1.0, settings.bits - 16);
    const double top = std::ldexp(1.0, settings.bits - 1);
    std::vector<int32_t> pcm(input.samples.size());
    for (size_t i = 0; i < pcm.size(); ++i) {
        const double v = std::nearbyint(input.samples[i] * scale);
        pcm[i] = static_cast<int32_t>(std::clamp(v, -top, top - 1.0));
    }
    VectorSource source(pcm, input.channels);
    VectorSink sink(input.channels);
    RunOptions options;
    options.blockFrames = settings.blockFrames;
    options.tailSeconds = settings.tailSeconds;
    const RunReport run =
        RunChain(chain.stages, {input.sampleRate, input.channels, settings.bits}, input.Frames(), source, sink, options);
    if (report) *report = run;

    analysis::Signal output;
    output.sampleRate = input.sampleRate;
    output.channels = input.channels;
    output.samples.resize(sink.values.size());
    for (size_t i = 0; i < sink.values.size(); ++i) output.samples[i] = sink.values[i] / scale;
    return output;
}

}  // namespace orve::cli
