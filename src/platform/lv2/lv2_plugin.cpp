// The LV2 plug-in module: one descriptor per plug-in of the bundle
// (lv2_bundle.h), each instance one effect object of the portable core run
// through AlignedEffect.
//
// Threads, as LV2 defines them: instantiate, activate, deactivate, cleanup
// and the state's restore never run concurrently with run(); run() and the
// worker's work_response run on the audio thread; work() runs on the host's
// worker thread and touches only the work object it is handed; the state's
// save() may run at any time, so it reads only a copy that run() refreshes
// without waiting. Every call into the effect object therefore comes from one
// thread at a time, as the core requires.
#include <lv2/core/lv2.h>
#include <lv2/atom/atom.h>
#include <lv2/log/log.h>
#include <lv2/log/logger.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

#include "platform/lv2/aligned_effect.h"
#include "platform/lv2/lv2_bundle.h"
#include "platform/posix/embedded_kernels.h"
#include "plugin/effect_actions.h"
#include "plugin/effect_factory.h"
#include "plugin/plugin_state.h"

namespace orve::lv2 {
namespace {

constexpr const char* kSessionStateKey = "https://orve-studio.org/lv2/state#effect-state";

// Denormal arithmetic is tens of times slower on x86: a reverb tail or an
// adaptive filter decaying into silence would load the audio thread more
// than the music did. Flush-to-zero and denormals-are-zero hold for the
// length of run() and the host's own setting comes back afterwards.
class FlushDenormals {
public:
#if defined(__SSE__) || defined(__x86_64__)
    FlushDenormals() : saved(_mm_getcsr()) { _mm_setcsr(saved | 0x8040); }
    ~FlushDenormals() { _mm_setcsr(saved); }

private:
    unsigned saved;
#elif defined(__aarch64__)
    FlushDenormals() {
        __asm__ __volatile__("mrs %0, fpcr" : "=r"(saved));
        __asm__ __volatile__("msr fpcr, %0" : : "r"(saved | (1ull << 24)));
    }
    ~FlushDenormals() { __asm__ __volatile__("msr fpcr, %0" : : "r"(saved)); }

private:
    uint64_t saved;
#endif
};

class LogSink : public ErrorSink {
public:
    LV2_Log_Logger logger{};
    void ShowError(const char* text) override { lv2_log_error(&logger, "ORVE Studio: %s\n", text); }
};

// What travels through the worker: a piece of the effect's work to run, or
// one that came back without being the effect's own, to be released.
struct WorkMessage {
    EffectWork* work;
    bool release;
};

class Instance {
public:
    Instance(const BundlePlugin& plugin, double rate, const LV2_Feature* const* features);
    ~Instance();

    void Connect(uint32_t port, void* data) {
        if (port < ports.size()) ports[port] = static_cast<float*>(data);
    }
    void Activate();
    void Run(uint32_t frames);
    void Deactivate() {}

    LV2_Worker_Status Work(LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle handle, uint32_t size,
                           const void* data);
    LV2_Worker_Status WorkResponse(uint32_t size, const void* data);
    LV2_State_Status Save(LV2_State_Store_Function store, LV2_State_Handle handle);
    LV2_State_Status Restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);

private:
    std::unique_ptr<EffectProcessor> Build();
    // Reads the control ports; hands changed knob values to the effect.
    void ReadControls();
    double Control(uint32_t port, double fallback) const {
        const float* p = ports[port];
        return p && std::isfinite(*p) ? *p : fallback;
    }
    // Hands the effect's heavy rebuilds to the host's worker, or runs them
    // here when the host has none (offline hosts).
    void ServiceWork();
    // Refreshes the copy of the effect's session state that save() reads.
    void PublishSessionState();

    const BundlePlugin& plugin;
    const double sampleRate;
    EmbeddedKernels kernels;
    LogSink log;
    LV2_URID_Map* map = nullptr;
    LV2_URID stateKey = 0, chunkType = 0;
    LV2_Worker_Schedule* schedule = nullptr;

    KnobSpec knobs[kMaxKnobs] = {};
    int32_t knobCount = 0;
    PortLayout layout;
    std::vector<float*> ports;
    std::unique_ptr<AlignedEffect> aligned;

    // The knob values the effect holds, and the port values they came from.
    double values[kMaxKnobs] = {};
    float portValues[kMaxKnobs] = {};
    float gainDb = 0.0f;
    float snapLast = 0.0f;
    bool ranSinceActivate = false;
    bool parametersSent = false;

    EffectWork* lent = nullptr;                  // out with the worker
    std::unique_ptr<EffectWork> unscheduled;     // taken, not yet accepted by the worker
    std::unique_ptr<EffectWork> toRelease;       // came back, not the effect's own

    std::mutex snapshotLock;   // run() only tries it
    std::vector<double> snapshot;
    int32_t snapshotCount = 0;
    uint64_t snapshotVersion = 0;
};

Instance::Instance(const BundlePlugin& p, double rate, const LV2_Feature* const* features)
    : plugin(p), sampleRate(rate) {
    LV2_Log_Log* logFeature = nullptr;
    for (int i = 0; features && features[i]; ++i) {
        if (!std::strcmp(features[i]->URI, LV2_URID__map)) map = static_cast<LV2_URID_Map*>(features[i]->data);
        else if (!std::strcmp(features[i]->URI, LV2_WORKER__schedule))
            schedule = static_cast<LV2_Worker_Schedule*>(features[i]->data);
        else if (!std::strcmp(features[i]->URI, LV2_LOG__log)) logFeature = static_cast<LV2_Log_Log*>(features[i]->data);
    }
    lv2_log_logger_init(&log.logger, map, logFeature);
    if (map) {
        stateKey = map->map(map->handle, kSessionStateKey);
        chunkType = map->map(map->handle, LV2_ATOM__Chunk);
    }

    std::unique_ptr<EffectProcessor> effect = Build();
    knobCount = effect->DescribeKnobs(knobs);
    layout = LayoutOf(plugin, knobCount);
    ports.assign(layout.Count(), nullptr);
    for (int32_t k = 0; k < knobCount; ++k) {
        values[k] = knobs[k].defaultValue;
        portValues[k] = static_cast<float>(values[k]);
    }
    snapshot.assign(static_cast<size_t>(SessionStateCapacity(*effect)), 0.0);
    aligned = std::make_unique<AlignedEffect>(std::move(effect), plugin.channels, sampleRate);
}

Instance::~Instance() {
    // A host stops its worker before cleanup; work it still held was never
    // handed back to the effect and is released here, after the effect, which
    // Run() never touches.
    aligned.reset();
    delete lent;
}

std::unique_ptr<EffectProcessor> Instance::Build() {
    const EffectBuildContext context{static_cast<int32_t>(std::lround(sampleRate)), plugin.channels, &kernels, &log};
    return MakeEffect(plugin.effect, context);
}

void Instance::Activate() {
    // A restart plays as a fresh instance would, with the knob values and
    // what the effect learned (DeNoise's noise profile) kept: the stream
    // history of the last activation must not sound into the next one.
    if (ranSinceActivate) {
        unscheduled.reset();   // the old effect's, never handed out
        std::unique_ptr<EffectProcessor> fresh = Build();
        fresh->SetParameters(values);
        std::vector<double> state(static_cast<size_t>(SessionStateCapacity(aligned->Effect())));
        const int32_t count = CopySessionState(aligned->Effect(), state.data());
        if (count > 0) RestoreSessionState(*fresh, state.data(), count);
        RunWorkNow(*fresh);
        aligned->Restart(std::move(fresh));
        ranSinceActivate = false;
    }
    // The host's settings, where they are already in the ports (or else the
    // defaults), are built here, where it may take time, rather than by the
    // worker after the first periods: the first period plays them.
    ReadControls();
    EffectProcessor& effect = aligned->Effect();
    if (unscheduled) {
        unscheduled->Run();
        unscheduled = effect.FinishWork(std::move(unscheduled));
    }
    RunWorkNow(effect);
}

void Instance::ReadControls() {
    EffectProcessor& effect = aligned->Effect();
    bool changed = false;
    for (int32_t k = 0; k < knobCount; ++k) {
        const KnobSpec& knob = knobs[k];
        const double low = std::min(knob.startValue, knob.endValue), high = std::max(knob.startValue, knob.endValue);
        const float v = static_cast<float>(std::clamp(Control(layout.Knob(k), portValues[k]), low, high));
        if (v == portValues[k]) continue;
        portValues[k] = v;
        values[k] = PortValue(v);
        changed = true;
    }
    // The first values always go in: an effect is built with values of its
    // own, which need not be the knobs' defaults.
    if (changed || !parametersSent) effect.SetParameters(values);
    parametersSent = true;

    const float db = static_cast<float>(std::clamp(Control(layout.Gain(), 0.0), kMinGainDb, kMaxGainDb));
    if (db != gainDb) {
        gainDb = db;
        aligned->SetGain(DecibelsToFactor(PortValue(db)));
    }
    int32_t mask = 0;
    if (layout.switches == 1) mask = Control(layout.Switch(0), 1.0) > 0.5 ? (plugin.channels == 1 ? 1 : 3) : 0;
    else mask = (Control(layout.Switch(0), 1.0) > 0.5 ? 1 : 0) | (Control(layout.Switch(1), 1.0) > 0.5 ? 2 : 0);
    aligned->SetChannelMask(mask);
    aligned->SetEnabled(Control(layout.Enabled(), 1.0) > 0.5);
    if (layout.snapNoise) {
        // A trigger: the host raises it for a moment; the rising edge counts.
        const float snap = static_cast<float>(Control(layout.SnapNoise(), 0.0));
        if (snap > 0.5f && snapLast <= 0.5f) SnapNoise(effect);
        snapLast = snap;
    }
}

void Instance::ServiceWork() {
    EffectProcessor& effect = aligned->Effect();
    if (!schedule) {
        RunWorkNow(effect);
        return;
    }
    if (toRelease) {
        const WorkMessage message{toRelease.get(), true};
        if (schedule->schedule_work(schedule->handle, sizeof message, &message) == LV2_WORKER_SUCCESS)
            toRelease.release();
    }
    if (lent) return;   // one piece of work out at a time
    if (!unscheduled) unscheduled = effect.TakeWork();
    if (!unscheduled) return;
    const WorkMessage message{unscheduled.get(), false};
    if (schedule->schedule_work(schedule->handle, sizeof message, &message) == LV2_WORKER_SUCCESS)
        lent = unscheduled.release();
}

void Instance::Run(uint32_t frames) {
    FlushDenormals flush;
    ReadControls();
    ServiceWork();
    const int32_t channels = plugin.channels;
    const float* in[2] = {};
    float* out[2] = {};
    bool connected = true;
    for (int32_t c = 0; c < channels; ++c) {
        in[c] = ports[layout.AudioIn(c)];
        out[c] = ports[layout.AudioOut(c)];
        connected = connected && in[c] && out[c];
    }
    if (connected && frames > 0) {
        aligned->Process(in, out, static_cast<int32_t>(frames));
        ranSinceActivate = true;
    }
    PublishSessionState();
    if (float* latency = ports[layout.Latency()]) *latency = static_cast<float>(aligned->Latency());
}

void Instance::PublishSessionState() {
    if (snapshot.empty()) return;
    const EffectProcessor& effect = aligned->Effect();
    const uint64_t version = SessionStateVersion(effect);
    if (version == snapshotVersion) return;
    // save() holds the lock while it reads: then the copy waits for a later period.
    std::unique_lock<std::mutex> lock(snapshotLock, std::try_to_lock);
    if (!lock.owns_lock()) return;
    snapshotCount = CopySessionState(effect, snapshot.data());
    snapshotVersion = version;
}

LV2_Worker_Status Instance::Work(LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle handle, uint32_t size,
                                 const void* data) {
    if (size != sizeof(WorkMessage)) return LV2_WORKER_ERR_UNKNOWN;
    WorkMessage message;
    std::memcpy(&message, data, sizeof message);
    if (message.release) {
        delete message.work;
        return LV2_WORKER_SUCCESS;
    }
    message.work->Run();
    return respond(handle, sizeof message, &message);
}

LV2_Worker_Status Instance::WorkResponse(uint32_t size, const void* data) {
    if (size != sizeof(WorkMessage)) return LV2_WORKER_ERR_UNKNOWN;
    WorkMessage message;
    std::memcpy(&message, data, sizeof message);
    if (message.work == lent) lent = nullptr;
    // Work of an effect replaced at a restart comes back from FinishWork; it
    // is released on the worker, never here.
    std::unique_ptr<EffectWork> back = aligned->Effect().FinishWork(std::unique_ptr<EffectWork>(message.work));
    if (back && !toRelease) toRelease = std::move(back);
    else if (back) back.reset();   // cannot happen: one piece of work is out at a time
    return LV2_WORKER_SUCCESS;
}

LV2_State_Status Instance::Save(LV2_State_Store_Function store, LV2_State_Handle handle) {
    std::lock_guard<std::mutex> lock(snapshotLock);
    if (snapshotCount == 0) return LV2_STATE_SUCCESS;
    if (!map) return LV2_STATE_ERR_NO_FEATURE;
    // Little-endian doubles, whatever the machine, so a session moves between machines.
    std::vector<uint8_t> bytes(sizeof(double) * snapshotCount);
    for (int32_t i = 0; i < snapshotCount; ++i) {
        uint64_t bits;
        std::memcpy(&bits, &snapshot[i], sizeof bits);
        for (int b = 0; b < 8; ++b) bytes[8 * i + b] = static_cast<uint8_t>(bits >> (8 * b));
    }
    return store(handle, stateKey, bytes.data(), bytes.size(), chunkType, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

LV2_State_Status Instance::Restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle) {
    if (!map) return LV2_STATE_ERR_NO_FEATURE;
    size_t size = 0;
    uint32_t type = 0, flags = 0;
    const void* data = retrieve(handle, stateKey, &size, &type, &flags);
    // A preset carries no state of its own: what the effect learned stays.
    if (!data) return LV2_STATE_SUCCESS;
    if (type != chunkType || size % sizeof(double) != 0) return LV2_STATE_ERR_BAD_TYPE;
    const int32_t count = static_cast<int32_t>(size / sizeof(double));
    std::vector<double> restored(static_cast<size_t>(count));
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (int32_t i = 0; i < count; ++i) {
        uint64_t bits = 0;
        for (int b = 0; b < 8; ++b) bits |= static_cast<uint64_t>(bytes[8 * i + b]) << (8 * b);
        std::memcpy(&restored[i], &bits, sizeof bits);
    }
    if (!RestoreSessionState(aligned->Effect(), restored.data(), count)) return LV2_STATE_ERR_BAD_TYPE;
    std::lock_guard<std::mutex> lock(snapshotLock);
    if (count <= static_cast<int32_t>(snapshot.size())) {
        std::copy(restored.begin(), restored.end(), snapshot.begin());
        snapshotCount = count;
        snapshotVersion = SessionStateVersion(aligned->Effect());
    }
    return LV2_STATE_SUCCESS;
}

// ---- the C entry points ------------------------------------------------------

Instance* Of(LV2_Handle handle) { return static_cast<Instance*>(handle); }

LV2_Handle Instantiate(const LV2_Descriptor* descriptor, double rate, const char*, const LV2_Feature* const* features) {
    const BundlePlugin* plugin = FindBundlePlugin(descriptor->URI);
    // A host asking for a rate outside the operating range (or NaN) gets no instance.
    if (!plugin || !(rate >= kMinSampleRate && rate <= kMaxSampleRate)) return nullptr;
    try {
        return new Instance(*plugin, rate, features);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void ConnectPort(LV2_Handle h, uint32_t port, void* data) { Of(h)->Connect(port, data); }
void Activate(LV2_Handle h) { Of(h)->Activate(); }
void Run(LV2_Handle h, uint32_t frames) { Of(h)->Run(frames); }
void Deactivate(LV2_Handle h) { Of(h)->Deactivate(); }
void Cleanup(LV2_Handle h) { delete Of(h); }

LV2_Worker_Status Work(LV2_Handle h, LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle handle,
                       uint32_t size, const void* data) {
    return Of(h)->Work(respond, handle, size, data);
}
LV2_Worker_Status WorkResponse(LV2_Handle h, uint32_t size, const void* data) {
    return Of(h)->WorkResponse(size, data);
}
LV2_State_Status Save(LV2_Handle h, LV2_State_Store_Function store, LV2_State_Handle handle, uint32_t,
                      const LV2_Feature* const*) {
    return Of(h)->Save(store, handle);
}
LV2_State_Status Restore(LV2_Handle h, LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle, uint32_t,
                         const LV2_Feature* const*) {
    return Of(h)->Restore(retrieve, handle);
}

const void* ExtensionData(const char* uri) {
    static const LV2_Worker_Interface worker{Work, WorkResponse, nullptr};
    static const LV2_State_Interface state{Save, Restore};
    if (!std::strcmp(uri, LV2_WORKER__interface)) return &worker;
    if (!std::strcmp(uri, LV2_STATE__interface)) return &state;
    return nullptr;
}

std::vector<LV2_Descriptor> MakeDescriptors() {
    std::vector<LV2_Descriptor> descriptors;
    for (const BundlePlugin& plugin : BundlePlugins())
        descriptors.push_back({plugin.uri.c_str(), Instantiate, ConnectPort, Activate, Run, Deactivate, Cleanup,
                               ExtensionData});
    return descriptors;
}

}  // namespace
}  // namespace orve::lv2

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    static const std::vector<LV2_Descriptor> descriptors = orve::lv2::MakeDescriptors();
    return index < descriptors.size() ? &descriptors[index] : nullptr;
}
