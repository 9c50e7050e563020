#include "process_pipeline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "cli_error.h"
#include "effect_lookup.h"
#include "platform/posix/embedded_kernels.h"
#include "platform/posix/stderr_ui.h"
#include "plugin/audio_path.h"
#include "plugin/effect_actions.h"
#include "plugin/effect_catalogue.h"
#include "plugin/effect_factory.h"

namespace orve::cli {
namespace {

std::string Number(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

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

void Unpack(const uint8_t* host, int64_t count, int32_t bits, int32_t* values) {
    switch (bits) {
        case 8:
            for (int64_t i = 0; i < count; ++i) values[i] = static_cast<int32_t>(host[i]) - 128;
            break;
        case 16: {
            const auto* in = reinterpret_cast<const int16_t*>(host);
            for (int64_t i = 0; i < count; ++i) values[i] = in[i];
            break;
        }
        default: std::memcpy(values, host, sizeof(int32_t) * count); break;
    }
}

bool WithinKnob(const KnobSpec& knob, double value) {
    const double low = std::min(knob.startValue, knob.endValue);
    const double high = std::max(knob.startValue, knob.endValue);
    return value >= low && value <= high;
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

void ValidateSettings(const ProcessSettings& s) {
    if (s.blockFrames < 1 || s.blockFrames > kMaxBlockFrames)
        throw CliError("--block must be a whole number of frames from 1 to " + std::to_string(kMaxBlockFrames));
    if (s.bits != 8 && s.bits != 16 && s.bits != 32) throw CliError("--bits must be 8, 16 or 32");
    if (s.gainDb && !(*s.gainDb >= kMinGainDb && *s.gainDb <= kMaxGainDb))
        throw CliError("--gain-db must lie between -60 and 60 dB (the plug-in's slider range)");
    if (!(s.tailSeconds >= 0.0 && s.tailSeconds <= 3600.0))
        throw CliError("--tail must lie between 0 and 3600 seconds");
    for (double t : s.snapNoiseSeconds)
        if (!(t >= 0.0 && std::isfinite(t))) throw CliError("--snap-noise times must be 0 seconds or later");
    if (!OfferedEffect(EffectNumber(s.effectId))) throw CliError("unknown effect (see 'orve list')");
}

void ApplySettings(PluginState& state, const ProcessSettings& s, int32_t sampleRate, int32_t channels) {
    ValidateSettings(s);
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
    for (const auto& [label, value] : s.knobs) {
        const int32_t k = FindKnob(state.knobTable, knobCount, s.effectId, label);
        const KnobSpec& knob = state.knobTable[k];
        if (!WithinKnob(knob, value))
            throw CliError("knob '" + TrimmedRight(KnobLabel(knob)) + "' of " + EffectText(s.effectId) +
                           " takes values from " + Number(std::min(knob.startValue, knob.endValue)) + " to " +
                           Number(std::max(knob.startValue, knob.endValue)) + ", not " + Number(value));
        state.parameterValues[k] = value;
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

RunReport RunAudioPath(PluginState& state, const StreamFormat& format, int64_t inputFrames,
                       PcmSource& source, PcmSink& sink, const RunOptions& options) {
    const int32_t nch = format.channels;
    const int32_t rate = format.sampleRate;
    const int64_t block = options.blockFrames;
    const int64_t tailFrames = std::llround(options.tailSeconds * rate);
    // Length-changing effects give more (or fewer) frames per input frame,
    // and the tempo scaler's start-up places the image of the input a little
    // late (or early): the leading frames are dropped (or silence is put
    // before them) so that the file holds the input's stretched image from
    // its first to its last frame, and the end of the input is not cut.
    const double ratio = StreamLengthRatio(state.currentEffect.get());
    const int64_t lead = StreamStartLead(state.currentEffect.get());
    int64_t dropFrames = std::max<int64_t>(lead, 0);
    int64_t padFrames = std::max<int64_t>(-lead, 0);
    auto targetFor = [&](int64_t frames) { return std::llround(static_cast<double>(frames) * ratio) + tailFrames; };

    RunReport report;
    int64_t target = targetFor(inputFrames);
    std::vector<int32_t> inValues(block * nch);
    // Room for twice the block: an effect that lengthens the stream may hand
    // back up to 2 x the values it was given.
    std::vector<int32_t> outValues(2 * block * nch);
    std::vector<uint8_t> host(2 * block * nch * BytesPerSample(format.bits));

    std::vector<double> snaps = options.snapNoiseSeconds;
    std::sort(snaps.begin(), snaps.end());
    size_t nextSnap = 0;

    int64_t fed = 0, written = 0, silence = 0;
    bool inputEnded = inputFrames <= 0;
    if (inputEnded) inputFrames = 0;
    double lastProgress = -1.0;
    while (written < target || !inputEnded) {
        if (options.interrupted && *options.interrupted) throw CliError("interrupted", 130);
        int64_t n = block;
        if (!inputEnded) {
            n = source.Read(inValues.data(), std::min(block, inputFrames - fed));
            if (fed + n >= inputFrames || n < std::min(block, inputFrames - fed)) {
                inputEnded = true;
                inputFrames = fed + n;
                target = targetFor(inputFrames);
            }
            if (n == 0) continue;
        } else {
            std::fill(inValues.begin(), inValues.end(), 0);
            silence += n;
            // Every effect releases its input within a fraction of a second
            // (plus the tail); one that has not after a minute never will.
            if (silence > target + 60LL * rate + 4 * block)
                throw CliError(std::string(EffectText(state.effectId)) + " stopped producing output after " +
                               std::to_string(written) + " of " + std::to_string(target) + " frames");
        }
        while (nextSnap < snaps.size() && snaps[nextSnap] * rate < static_cast<double>(fed + n)) {
            if (fed >= inputFrames) {
                ++report.snapsBeyondEnd;
            } else {
                PluginState::Lock lock(state.processingLock);
                if (!state.currentEffect || !SnapNoise(*state.currentEffect)) ++report.snapsIgnored;
            }
            ++nextSnap;
        }
        Pack(inValues.data(), n * nch, format.bits, host.data());
        const int32_t frames = ModifySamples(state, host.data(), static_cast<int32_t>(n), format.bits, nch, rate);
        const int64_t dropped = std::min<int64_t>(frames, dropFrames);
        dropFrames -= dropped;
        if (frames > dropped && padFrames > 0) {
            std::fill(outValues.begin(), outValues.end(), 0);
            for (int64_t pad = std::min(padFrames, target - written); pad > 0;) {
                const int64_t part = std::min<int64_t>(pad, 2 * block);
                sink.Write(outValues.data(), part);
                written += part;
                pad -= part;
            }
            padFrames = 0;
        }
        const int64_t take = std::min<int64_t>(frames - dropped, target - written);
        if (take > 0) {
            Unpack(host.data() + dropped * nch * BytesPerSample(format.bits), take * nch, format.bits,
                   outValues.data());
            sink.Write(outValues.data(), take);
            written += take;
        }
        fed += n;
        if (options.progress && target > 0) {
            const double fraction = static_cast<double>(written) / static_cast<double>(target);
            if (fraction - lastProgress >= 0.005 || written >= target) {
                options.progress(std::min(fraction, 1.0));
                lastProgress = fraction;
            }
        }
    }
    report.snapsBeyondEnd += static_cast<int32_t>(snaps.size() - nextSnap);
    report.inputFrames = inputFrames;
    report.outputFrames = written;
    return report;
}

analysis::Signal ProcessSignal(const analysis::Signal& input, const ProcessSettings& settings, RunReport* report) {
    EmbeddedKernels kernels;
    StderrUi ui;
    PluginState state(nullptr, &kernels, &ui);
    ApplySettings(state, settings, input.sampleRate, input.channels);

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
    options.snapNoiseSeconds = settings.snapNoiseSeconds;
    const RunReport run = RunAudioPath(state, {input.sampleRate, input.channels, settings.bits},
                                       input.Frames(), source, sink, options);
    if (report) *report = run;

    analysis::Signal output;
    output.sampleRate = input.sampleRate;
    output.channels = input.channels;
    output.samples.resize(sink.values.size());
    for (size_t i = 0; i < sink.values.size(); ++i) output.samples[i] = sink.values[i] / scale;
    return output;
}

}  // namespace orve::cli
