#include "lv2/lv2_test_host.h"

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/presets/presets.h>
#include <lv2/state/state.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace orve::lv2test {
namespace {

LV2_URID MapUri(LV2_URID_Map_Handle handle, const char* uri) {
    auto& uris = *static_cast<std::vector<std::string>*>(handle);
    const auto at = std::find(uris.begin(), uris.end(), uri);
    if (at != uris.end()) return static_cast<LV2_URID>(at - uris.begin() + 1);
    uris.emplace_back(uri);
    return static_cast<LV2_URID>(uris.size());
}

const char* UnmapUri(LV2_URID_Unmap_Handle handle, LV2_URID urid) {
    auto& uris = *static_cast<std::vector<std::string>*>(handle);
    return urid >= 1 && urid <= uris.size() ? uris[urid - 1].c_str() : nullptr;
}

struct Node {
    LilvNode* node;
    explicit Node(LilvNode* n) : node(n) {}
    ~Node() { lilv_node_free(node); }
    operator const LilvNode*() const { return node; }
};

}  // namespace

int RunCommand(const std::string& command, std::string* output) {
    World::Get();   // sets LV2_PATH for the children too
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return -1;
    std::string text;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
    const int status = pclose(pipe);
    if (output) *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Described Describe(const lv2::BundlePlugin& plugin) {
    Described d;
    d.effect = MakeEffect(plugin.effect, EffectBuildContext{44100, plugin.channels, nullptr, nullptr});
    d.knobCount = d.effect->DescribeKnobs(d.knobs);
    d.layout = lv2::LayoutOf(plugin, d.knobCount);
    return d;
}

std::vector<size_t> AllPlugins() {
    std::vector<size_t> all(lv2::BundlePlugins().size());
    for (size_t p = 0; p < all.size(); ++p) all[p] = p;
    return all;
}

std::string PluginName(const ::testing::TestParamInfo<size_t>& p) {
    std::string name = lv2::BundlePlugins()[p.param].fileStem;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

World& World::Get() {
    static World instance;
    return instance;
}

World::World() {
    // The bundle under test and the LV2 vocabularies, nothing a developer may
    // have installed.
    setenv("LV2_PATH", ORVE_LV2_DIR ":/usr/lib/lv2", 1);
    world = lilv_world_new();
    lilv_world_load_all(world);
    map = {&uris, MapUri};
    unmap = {&uris, UnmapUri};
}

const LilvPlugin* World::Plugin(const std::string& uri) const {
    Node node(lilv_new_uri(world, uri.c_str()));
    return lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), node);
}

std::map<std::string, std::map<std::string, float>> World::Presets(const LilvPlugin* plugin) const {
    std::map<std::string, std::map<std::string, float>> presets;
    Node presetClass(lilv_new_uri(world, LV2_PRESETS__Preset)), label(lilv_new_uri(world, LILV_NS_RDFS "label"));
    LilvNodes* related = lilv_plugin_get_related(plugin, presetClass);
    LILV_FOREACH (nodes, i, related) {
        const LilvNode* preset = lilv_nodes_get(related, i);
        lilv_world_load_resource(world, preset);
        LilvNode* text = lilv_world_get(world, preset, label, nullptr);
        LilvState* state = lilv_state_new_from_world(world, const_cast<LV2_URID_Map*>(&map), preset);
        auto& values = presets[text ? lilv_node_as_string(text) : lilv_node_as_uri(preset)];
        if (state) lilv_state_emit_port_values(
            state,
            [](const char* symbol, void* user, const void* value, uint32_t size, uint32_t) {
                if (size == sizeof(float))
                    (*static_cast<std::map<std::string, float>*>(user))[symbol] = *static_cast<const float*>(value);
            },
            &values);
        lilv_state_free(state);
        lilv_node_free(text);
    }
    lilv_nodes_free(related);
    return presets;
}

Host::Host(const std::string& uri, double sampleRate, Worker kind) {
    World& w = World::Get();
    plugin = w.Plugin(uri);
    if (!plugin) throw std::runtime_error("plug-in not found: " + uri);
    const uint32_t count = lilv_plugin_get_num_ports(plugin);
    controls.assign(count, 0.0f);
    lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, controls.data());
    Node audio(lilv_new_uri(w.world, LV2_CORE__AudioPort));
    Node input(lilv_new_uri(w.world, LV2_CORE__InputPort));
    for (uint32_t i = 0; i < count; ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
        symbols[lilv_node_as_string(lilv_port_get_symbol(plugin, port))] = i;
        if (lilv_port_is_a(plugin, port, audio)) (lilv_port_is_a(plugin, port, input) ? audioIn : audioOut).push_back(i);
        if (std::isnan(controls[i])) controls[i] = 0.0f;
    }
    channels = static_cast<int32_t>(audioIn.size());
    inPlanes.assign(channels, {});
    outPlanes.assign(channels, {});
    jobs.reserve(16);
    responses.reserve(16);

    schedule = {this, [](LV2_Worker_Schedule_Handle h, uint32_t size, const void* data) {
                    auto& jobs = static_cast<Host*>(h)->jobs;
                    if (jobs.size() == jobs.capacity() || size > sizeof(Message::data)) return LV2_WORKER_ERR_NO_SPACE;
                    jobs.emplace_back().size = size;
                    std::memcpy(jobs.back().data, data, size);
                    return LV2_WORKER_SUCCESS;
                }};
    featureStore = {{LV2_URID__map, &w.map}, {LV2_URID__unmap, &w.unmap}};
    if (kind == Worker::Deferred) featureStore.push_back({LV2_WORKER__schedule, &schedule});
    for (const LV2_Feature& f : featureStore) features.push_back(&f);
    features.push_back(nullptr);
    instance = lilv_plugin_instantiate(plugin, sampleRate, features.data());
    if (!instance) return;
    worker = static_cast<const LV2_Worker_Interface*>(lilv_instance_get_extension_data(instance, LV2_WORKER__interface));
    for (uint32_t i = 0; i < count; ++i) lilv_instance_connect_port(instance, i, &controls[i]);
}

Host::~Host() {
    if (instance) lilv_instance_free(instance);
}

std::vector<float> Host::Run(const std::vector<float>& input, uint32_t frames, size_t offset) {
    for (int32_t c = 0; c < channels; ++c) {
        inPlanes[c].assign(frames, 0.0f);
        outPlanes[c].assign(frames, 0.0f);
        for (uint32_t f = 0; f < frames; ++f) {
            const size_t at = (offset + f) * channels + c;
            inPlanes[c][f] = at < input.size() ? input[at] : 0.0f;
        }
        // An empty period comes with null buffers, as hosts may hand them.
        lilv_instance_connect_port(instance, audioIn[c], inPlanes[c].data());
        lilv_instance_connect_port(instance, audioOut[c], outPlanes[c].data());
    }
    // work_response runs on the audio thread too, just before run().
    if (beforeRun) beforeRun();
    for (const Message& m : responses) worker->work_response(lilv_instance_get_handle(instance), m.size, m.data);
    responses.clear();
    lilv_instance_run(instance, frames);
    if (afterRun) afterRun();
    std::vector<float> out(static_cast<size_t>(frames) * channels);
    for (int32_t c = 0; c < channels; ++c)
        for (uint32_t f = 0; f < frames; ++f) out[f * channels + c] = outPlanes[c][f];
    return out;
}

std::vector<float> Host::RunAll(const std::vector<float>& input, const std::vector<uint32_t>& periods) {
    const size_t total = input.size() / channels;
    std::vector<float> out;
    for (size_t p = 0, done = 0; done < total; ++p) {
        const uint32_t n = static_cast<uint32_t>(std::min<size_t>(periods[p % periods.size()], total - done));
        const std::vector<float> part = Run(input, n, done);
        out.insert(out.end(), part.begin(), part.end());
        done += n;
    }
    return out;
}

int32_t Host::RunWorker() {
    const auto respond = [](LV2_Worker_Respond_Handle h, uint32_t size, const void* data) {
        auto& responses = static_cast<Host*>(h)->responses;
        responses.emplace_back().size = size;
        std::memcpy(responses.back().data, data, size);
        return LV2_WORKER_SUCCESS;
    };
    const std::vector<Message> taken = std::move(jobs);
    jobs.clear();
    jobs.reserve(16);
    for (const Message& m : taken) worker->work(lilv_instance_get_handle(instance), respond, this, m.size, m.data);
    return static_cast<int32_t>(taken.size());
}

std::string Host::SaveState() {
    World& w = World::Get();
    LilvState* state = lilv_state_new_from_instance(
        plugin, instance, &w.map, nullptr, nullptr, nullptr, nullptr,
        [](const char* symbol, void* user, uint32_t* size, uint32_t* type) -> const void* {
            *size = sizeof(float);
            *type = World::Get().map.map(World::Get().map.handle, LV2_ATOM__Float);
            return &static_cast<Host*>(user)->controls[static_cast<Host*>(user)->symbols.at(symbol)];
        },
        this, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, features.data());
    char* text = lilv_state_to_string(w.world, &w.map, &w.unmap, state, "urn:orve:test-session", nullptr);
    std::string turtle = text ? text : "";
    lilv_free(text);
    lilv_state_free(state);
    return turtle;
}

void Host::RestoreState(const std::string& turtle) {
    World& w = World::Get();
    LilvState* state = lilv_state_new_from_string(w.world, &w.map, turtle.c_str());
    if (!state) throw std::runtime_error("state does not parse");
    lilv_state_restore(
        state, instance,
        [](const char* symbol, void* user, const void* value, uint32_t size, uint32_t) {
            if (size == sizeof(float)) static_cast<Host*>(user)->Set(symbol, *static_cast<const float*>(value));
        },
        this, 0, features.data());
    lilv_state_free(state);
}

}  // namespace orve::lv2test
