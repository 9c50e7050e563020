#pragma once
// The one process-wide state shared by the host callbacks, the audio path, the
// factory and the window, with its persisted part.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "dsp/effect_processor.h"
#include "plugin/effect_catalogue.h"
#include "plugin/platform_services.h"

namespace orve {

class EffectWorker;

// The persisted record: forty little-endian int32 slots, 160 bytes.
//   0       gain slider position (5000 = 0 dB)
//   1..37   knob positions of the effect in slot 39 (knob i in slot i + 1)
//   38      preset index
//   39      effect id
struct SettingsBlob {
    static constexpr int kSlots = 40;
    static constexpr int kBytes = 160;
    static constexpr int kGainSlot = 0;
    static constexpr int kFirstKnobSlot = 1;
    static constexpr int kMaxStoredKnobs = 37;
    static constexpr int kPresetSlot = 38;
    static constexpr int kEffectSlot = 39;
    int32_t slots[kSlots] = {5000};

    void ToBytes(uint8_t* bytes) const;
    // Fills only the slots the bytes cover; the rest keep their contents.
    void FromBytes(const uint8_t* bytes, size_t count);
};

// Gain slider: position p in 0..10000 is 60 - 0.012 p dB.
double GainPositionToDecibels(int32_t position);
double GainPositionToFactor(int32_t position);
// The nearest position, clamped to 0..10000.
int32_t GainFactorToPosition(double factor);
double DecibelsToFactor(double decibels);
// A slider position clamped to 0..10000 (NaN gives 0).
int32_t ClampPosition(double position);

// How the window sets gain and knobs the next time it is laid out.
enum class WindowOpenMode : int32_t {
    StoredSetting,   // the user's stored positions, as at start-up
    AsItWas,         // reopened with F12: nothing moves
    NewEffect,       // after an effect change: the fresh effect at its defaults
};

class PluginState {
public:
    // Sets the defaults and loads the stored settings (store may be null:
    // nothing is read or written). kernels and ui may be null.
    explicit PluginState(std::unique_ptr<SettingsStore> store, KernelSource* kernels = nullptr,
                         HostUi* ui = nullptr);
    // Releases the effect and block buffer and writes the settings.
    virtual ~PluginState();
    PluginState(const PluginState&) = delete;
    PluginState& operator=(const PluginState&) = delete;

    void LoadSettings();
    // Takes processingLock (it reads the knob table and values).
    void SaveSettings();

    // The processing lock's rule, the one rule between the window's thread and
    // the audio thread: every call into the effect object (ProcessBlock,
    // ExtraOutput, SetParameters, DisplayValue, the preset tables, Reset, Snap
    // Noise) and every read or write of currentEffect, effectId, the stream
    // format (lastSampleRate, lastChannels), the knob table (knobCount,
    // knobTable) and the knob values (parameterValues) happens while holding
    // processingLock. Effects therefore keep their knob values as plain
    // members. The window copies what it shows out of one hold of the lock and
    // never sends a window message while holding it; the audio thread holds it
    // only to check the format, to swap in a rebuilt effect and around
    // ExtraOutput and ProcessBlock together (see ModifySamples). outputGain,
    // channelMask and the meter words are single atomic words outside the
    // rule; settingsBlob, presetIndex and windowOpenMode belong to the window's
    // thread; blockBuffer to the audio thread.
    EffectId effectId = EffectId::LevelTuning;
    std::unique_ptr<EffectProcessor> currentEffect;
    int32_t lastSampleRate = 44100;
    int32_t lastChannels = 2;
    // Single words shared between the UI and audio threads without the lock.
    std::atomic<double> outputGain{1.0};
    std::atomic<int32_t> channelMask{3};
    std::atomic<int32_t> meterLeft{0};
    std::atomic<int32_t> meterRight{0};
    std::atomic<int32_t> meterResetRequest{0};

    double* blockBuffer = nullptr;
    int32_t blockCapacity = 0;
    // The audio thread's as well. Set while the stream's rate or channel count
    // lies outside the operating range (the blocks pass through untouched);
    // the first block back in range builds a fresh effect, whose state then
    // holds nothing from before the gap.
    bool formatOutsideRange = false;
    // Samples an effect handed back as NaN or infinity, which the audio path
    // wrote as silence (NaN) or full scale (infinity). A sound effect never
    // produces one: the tests hold this at 0.
    int64_t nonFiniteSamples = 0;

    int32_t knobCount = 0;
    KnobSpec knobTable[kMaxKnobs] = {};
    double parameterValues[kMaxKnobs] = {};
    SettingsBlob settingsBlob;
    int32_t presetIndex = 0;
    WindowOpenMode windowOpenMode = WindowOpenMode::StoredSetting;

    // See the rule above. Recursive so that a caller holding it may call the
    // operations that take it themselves (SaveSettings, the window actions).
    using Lock = std::lock_guard<std::recursive_mutex>;
    std::recursive_mutex processingLock;

    KernelSource* kernels;
    HostUi* ui;
    // The seed every effect built for this state draws its random parts from
    // (EffectBuildContext::seed). The plug-in leaves it empty: the clock.
    std::optional<uint32_t> effectSeed;
    // Runs the effects' rebuilds off the audio thread; without one (orve,
    // tests) the audio path runs them synchronously before each block. The
    // Windows plug-in starts it in Init and stops it in Quit, under the lock.
    std::unique_ptr<EffectWorker> worker;

protected:
    // Releases the block buffer and the effect (first step of teardown).
    void ReleaseAudio();

private:
    std::unique_ptr<SettingsStore> store;
};

}  // namespace orve
