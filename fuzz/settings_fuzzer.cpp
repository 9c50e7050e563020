// The settings record as the plug-in finds it: any bytes of any length (an
// edited, damaged or foreign record) are loaded, shown in the window, played
// with and saved again, and what is saved is a record the window can show.
#include <algorithm>
#include <memory>
#include <vector>

#include "fuzz_input.h"
#include "platform/posix/embedded_kernels.h"
#include "plugin/audio_path.h"
#include "plugin/plugin_state.h"
#include "ui/window_actions.h"

namespace {
using namespace orve;

class MemoryStore : public SettingsStore {
public:
    MemoryStore(const uint8_t* data, size_t size, std::vector<uint8_t>& saved) : data(data), size(size), saved(saved) {}
    bool Read(uint8_t* bytes, size_t capacity, size_t* bytesRead) override {
        *bytesRead = std::min(capacity, size);
        if (*bytesRead > 0) std::memcpy(bytes, data, *bytesRead);
        return true;
    }
    bool Write(const uint8_t* bytes, size_t count) override {
        saved.assign(bytes, bytes + count);
        return true;
    }

private:
    const uint8_t* data;
    size_t size;
    std::vector<uint8_t>& saved;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Every slot the bytes cover comes back as it was; a partial slot is ignored.
    SettingsBlob blob;
    blob.FromBytes(data, size);
    uint8_t bytes[SettingsBlob::kBytes];
    blob.ToBytes(bytes);
    ORVE_FUZZ_CHECK(std::memcmp(bytes, data, std::min<size_t>(size, SettingsBlob::kBytes) / 4 * 4) == 0);

    static EmbeddedKernels kernels;
    std::vector<uint8_t> saved;
    {
        PluginState state(std::make_unique<MemoryStore>(data, size, saved), &kernels);
        int16_t block[2 * 2 * 256] = {};
        for (int i = 0; i < 512; ++i) block[i] = static_cast<int16_t>(i * 997);
        ModifySamples(state, block, 256, 16, 2, 44100);
        ui::PrepareLayout(state);
        ModifySamples(state, block, 256, 16, 2, 44100);
    }
    ORVE_FUZZ_CHECK(saved.size() == SettingsBlob::kBytes);
    SettingsBlob out;
    out.FromBytes(saved.data(), saved.size());
    for (int32_t slot = SettingsBlob::kGainSlot; slot < SettingsBlob::kPresetSlot; ++slot)
        ORVE_FUZZ_CHECK(out.slots[slot] >= 0 && out.slots[slot] <= kKnobPositionMax);
    ORVE_FUZZ_CHECK(OfferedEffect(out.slots[SettingsBlob::kEffectSlot]).has_value());
    return 0;
}
