#pragma once
// A small LV2 host for the tests, on lilv (the library real hosts use): the
// built bundle alone on the LV2 path, URID mapping, a worker the test drives,
// port access by symbol, state saved to and restored from Turtle.
#include <lilv/lilv.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace orve::lv2test {

// The folder holding orve-studio.lv2 in the build tree.
std::string BundleParent();

// Runs a shell command with LV2_PATH on the built bundle and the installed
// specifications; returns its exit status and stdout (stderr joined).
int RunCommand(const std::string& command, std::string* output = nullptr);

// One lilv world over the built bundle and the installed LV2 specifications.
class World {
public:
    static World& Get();
    LilvWorld* world;
    LV2_URID_Map map;
    LV2_URID_Unmap unmap;
    const LilvPlugin* Plugin(const std::string& uri) const;
    // Preset URIs and labels of a plug-in.
    std::vector<std::pair<std::string, std::string>> Presets(const LilvPlugin* plugin) const;
    // Port symbol -> value of a preset.
    std::map<std::string, float> PresetValues(const std::string& presetUri) const;

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
    Host& operator=(const Host&) = delete;

    bool Ok() const { return instance != nullptr; }
    int32_t Channels() const { return channels; }
    void Set(const std::string& symbol, float value);
    float Get(const std::string& symbol) const;
    bool HasPort(const std::string& symbol) const;
    std::string SymbolAt(uint32_t index) const;
    void Activate();
    void Deactivate();
    // Runs `frames` frames of interleaved input through the plug-in (after
    // delivering any finished work); returns the interleaved output.
    std::vector<float> Run(const std::vector<float>& input, uint32_t frames, size_t offset = 0);
    // Runs a whole signal in periods of the given sizes (cycled).
    std::vector<float> RunAll(const std::vector<float>& input, const std::vector<uint32_t>& periods);
    // Deferred worker: runs every scheduled job now, on this thread.
    int32_t RunWorker();
    int32_t Latency() const { return static_cast<int32_t>(Get("latency")); }

    // Called just before and after the plug-in's run(), nothing of the
    // host's own work between them.
    void (*beforeRun)() = nullptr;
    void (*afterRun)() = nullptr;

    std::string SaveState();
    void RestoreState(const std::string& turtle);

private:
    static LV2_Worker_Status Schedule(LV2_Worker_Schedule_Handle handle, uint32_t size, const void* data);
    static LV2_Worker_Status Respond(LV2_Worker_Respond_Handle handle, uint32_t size, const void* data);

    const LilvPlugin* plugin = nullptr;
    LilvInstance* instance = nullptr;
    std::vector<float> controls;
    std::map<std::string, uint32_t> symbols;
    std::vector<uint32_t> audioIn, audioOut;
    int32_t channels = 0;
    std::vector<std::vector<float>> inPlanes, outPlanes;
    LV2_Worker_Schedule schedule;
    // Messages as a real host keeps them: in fixed rings, so that scheduling
    // from run() allocates nothing.
    struct Message {
        uint32_t size = 0;
        uint8_t data[64];
    };
    struct Ring {
        Message messages[16];
        size_t first = 0, count = 0;
        bool Push(uint32_t size, const void* data);
        bool Pop(Message& out);
    };
    Ring jobs, responses;
    std::vector<LV2_Feature> featureStore;
    std::vector<const LV2_Feature*> features;
};

}  // namespace orve::lv2test
