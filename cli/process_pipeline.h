#pragma once
// The one way audio goes through an effect here, for `orve process` and
// `orve demo` alike: the plug-in's own state, factory, presets, SetParameters
// and ModifySamples, block by block, as integer PCM.
#include <csignal>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/signals.h"
#include "knob_value.h"
#include "plugin/plugin_state.h"

namespace orve::cli {

// The seed of a run without --seed. The plug-in draws from the clock instead.
constexpr uint32_t kDefaultSeed = 1;

// One stage of processing as the user chose it, before it is checked
// against the effect: the effect and what the window would set on it.
struct StageSettings {
    EffectId effectId = EffectId::LevelTuning;
    std::string preset;                                   // empty: knob defaults
    std::vector<KnobChoice> knobs;                        // label = value, stored or shown, after the preset
    std::optional<double> gainDb;                         // empty: the preset's gain, else 0 dB
    std::optional<int32_t> channelMask;                   // empty: all channels (3, or 1 for mono)
    std::vector<double> snapNoiseSeconds;                 // in this stage's own input stream
};

// A run: its stages in order, each fed what the one before released, and
// how the stream is fed through them.
struct ProcessSettings {
    std::vector<StageSettings> stages{1};
    int32_t blockFrames = 576;
    int32_t bits = 16;
    double tailSeconds = 0.0;   // silence after the input, ahead of the first stage
    // What every stage's effect draws its random parts from (the modal
    // reverb's tail), so that the same command gives the same bytes.
    uint32_t seed = kDefaultSeed;
};

// The slider's range: a gain outside it could not be shown or stored.
constexpr double kMinGainDb = -60.0;
constexpr double kMaxGainDb = 60.0;

// "stage N: " before a message about one stage of a chain; nothing for a single effect.
std::string StageNamed(size_t index, size_t stages);
// Checks the settings that do not depend on the effect; throws CliError.
void ValidateSettings(const ProcessSettings& settings);

// Selects the stage's effect for this stream format exactly as the window
// does (BuildEffect with fresh defaults), then applies the preset row, the
// knob overrides and the gain, and hands the values to SetParameters under the
// lock. Also sets channelMask and the preset index the settings record keeps.
// The effect draws its random parts from state.effectSeed.
// Throws CliError for an unknown preset or knob, or a value out of range.
void ApplySettings(PluginState& state, const StageSettings& stage, int32_t sampleRate, int32_t channels);
// The part after the build: preset, knobs, gain, SetParameters, switches, for
// the effect already in state.currentEffect with its knob table.
void ApplyChoices(PluginState& state, const StageSettings& settings, int32_t channels);

struct StreamFormat {
    int32_t sampleRate;
    int32_t channels;
    int32_t bits;   // 8, 16 or 32; values are signed on that scale (8-bit: -128..127)
};

class PcmSource {
public:
    virtual ~PcmSource() = default;
    // Reads up to `frames` frames of interleaved values; fewer means the end.
    virtual int64_t Read(int32_t* values, int64_t frames) = 0;
};

class PcmSink {
public:
    virtual ~PcmSink() = default;
    // Throws CliError when the frames cannot be stored.
    virtual void Write(const int32_t* values, int64_t frames) = 0;
};

struct RunOptions {
    int32_t blockFrames = 576;
    double tailSeconds = 0.0;
    std::vector<double> snapNoiseSeconds;               // RunAudioPath's one stage
    std::function<void(double fraction)> progress;      // may be empty
    const volatile std::sig_atomic_t* interrupted = nullptr;  // checked between blocks
};

struct RunReport {
    int64_t inputFrames = 0;
    int64_t outputFrames = 0;
    int32_t snapsIgnored = 0;      // --snap-noise on an effect without a noise profile
    int32_t snapsBeyondEnd = 0;    // times the stream never reached
};

// One stage of a chain: a plug-in state prepared by ApplySettings for the
// stream's format, and the times at which Snap Noise is pressed on it.
struct ChainStage {
    PluginState* state;
    std::vector<double> snapNoiseSeconds;
};

// The plug-in states of a chain, one per stage as if each ran in a player of
// its own, each prepared by ApplySettings with the run's seed; `store` (the
// settings record, when one is kept) goes to the first.
struct PreparedChain {
    std::vector<std::unique_ptr<PluginState>> states;
    std::vector<ChainStage> stages;
};
PreparedChain PrepareChain(const ProcessSettings& settings, int32_t sampleRate, int32_t channels,
                           KernelSource* kernels, HostUi* ui, std::unique_ptr<SettingsStore> store = nullptr);

// Frames a stage's output holds for `inputFrames` frames in: the input's
// length for every effect (and for PASS), the stretched length for the tempo
// scaler and the resampler, plus the tempo scaler's margins.
int64_t StageOutputFrames(const PluginState& state, int64_t inputFrames);
// Output frames per input frame of that stage (1 under PASS), and the frames
// its output holds ahead of the image of the input's first frame.
double StageLengthRatio(const PluginState& state);
int64_t StageLeadingFrames(const PluginState& state);

// Pushes the whole source through the stages in one pass, each stage being
// handed, block by block of blockFrames, exactly what the one before
// released, followed by silence until it has released all of it. The first
// stage is also fed `tailSeconds` of silence after the input. Each stage
// releases StageOutputFrames of its input, aligned by counting what the
// effect returns: the frames an effect holds back (its latency) are waited
// for, never replaced by silence, so a length-preserving stage gives the
// input's length sample-aligned with it. The result is the same, sample for
// sample, as running the stages one at a time on each other's output at the
// same width. inputFrames is a hint; a source that ends early shortens the
// stream.
RunReport RunChain(const std::vector<ChainStage>& stages, const StreamFormat& format, int64_t inputFrames,
                   PcmSource& source, PcmSink& sink, const RunOptions& options);
// The chain of one stage, with options.snapNoiseSeconds.
RunReport RunAudioPath(PluginState& state, const StreamFormat& format, int64_t inputFrames,
                       PcmSource& source, PcmSink& sink, const RunOptions& options);

// The same pipeline for a signal held in memory on the 16-bit scale, with
// fresh plug-in states that store nothing.
analysis::Signal ProcessSignal(const analysis::Signal& input, const ProcessSettings& settings,
                           RunReport* report = nullptr);

}  // namespace orve::cli
