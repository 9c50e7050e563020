#pragma once
// A small LV2 host for the tests, on lilv (the library real hosts use): the
// built bundle alone on the LV2 path, URID mapping, a worker the test drives,
// port access by symbol, state saved to and restored from Turtle.
#include <gtest/gtest.h>
#include <lilv/lilv.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/lv2/lv2_bundle.h"
#include "plugin/effect_factory.h"

namespace orve::lv2test {

// Runs a shell command with LV2_PATH on the built bundle and the installed
// LV2 vocabularies; returns its exit status and its output (stderr joined).
int RunCommand(const std::string& command, std::string* output = nullptr);

// The effect behind a plug-in, its knob table and the plug-in's port layout.
struct Described {
    std::unique_ptr<EffectProcessor> effect;
    KnobSpec knobs[kMaxKnobs] = {};
    int32_t knobCount = 0;
    lv2::PortLayout layout;
};
Described Describe(const lv2::BundlePlugin& plugin);

// Indices of the bundle's plug-ins, and a test name for one.
std::vector<size_t> AllPlugins();
std::string PluginName(const ::testing::TestParamInfo<size_t>& p);

// One lilv world over the built bundle and the installed LV2 vocabularies.
class World {
public:
    static World& Get();
    LilvWorld* world;
    LV2_URID_Map map;
    LV2_URID_Unmap unmap;
    const LilvPlugin* Plugin(const std::string& uri) const;
    // A plug-in's presets by label, each as its port values by symbol.
    std::map<std::string, std::map<std::string, float>> Presets(const LilvPlugin* plugin) const;

private:
    World();
    std::vector<std::string> uris;
};

class Host {
public:
    enum class Worker { None, Deferred };
    Host(const std::string& uri, double sampleRate, Worker worker = Worker::None);
    ~Host();
    Host(const Host&) = delete;

    bool Ok() const { return instance != nullptr; }
    void Set(const std::string& symbol, float value) { controls[symbols.at(symbol)] = value; }
    void SetPort(uint32_t index, float value) { controls.at(index) = value; }
    float Get(const std::string& symbol) const { return controls[symbols.at(symbol)]; }
    bool HasPort(const std::string& symbol) const { return symbols.count(symbol) != 0; }
    void Activate() { lilv_instance_activate(instance); }
    void Deactivate() { lilv_instance_deactivate(instance); }
    // Runs `frames` frames of interleaved input from frame `offset` (after
    // delivering any finished work); returns the interleaved output.
    std::vector<float> Run(const std::vector<float>& input, uint32_t frames, size_t offset = 0);
    // Runs a whole signal in periods of the given sizes (cycled).
    std::vector<float> RunAll(const std::vector<float>& input, const std::vector<uint32_t>& periods);
    // Deferred worker: runs every scheduled job now, on this thread.
    int32_t RunWorker();
    int32_t Latency() const { return static_cast<int32_t>(Get("latency")); }

    // Called just around the plug-in's work_response() and run().
    void (*beforeRun)() = nullptr;
    void (*afterRun)() = nullptr;

    std::string SaveState();
    void RestoreState(const std::string& turtle);

private:
    const LilvPlugin* plugin = nullptr;
    LilvInstance* instance = nullptr;
    const LV2_Worker_Interface* worker = nullptr;
    std::vector<float> controls;
    std::map<std::string, uint32_t> symbols;
    std::vector<uint32_t> audioIn, audioOut;
    int32_t channels = 0;
    std::vector<std::vector<float>> inPlanes, outPlanes;
    LV2_Worker_Schedule schedule;
    // Messages kept as a real host keeps them, in reserved room, so that
    // scheduling from run() allocates nothing.
    struct Message {
        uint32_t size = 0;
        uint8_t data[64];
    };
    std::vector<Message> jobs, responses;
    std::vector<LV2_Feature> featureStore;
    std::vector<const LV2_Feature*> features;
};

}  // namespace orve::lv2test
