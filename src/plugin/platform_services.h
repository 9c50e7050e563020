#pragma once
// What the portable core needs from the platform: persistence of the settings
// record, the embedded impulse-response data, and the window the audio path
// paints into. The Win32 layer implements these with the registry, module
// resources and the plug-in window; the POSIX layer with a file, linked-in
// data and stderr.
#include <cstddef>
#include <cstdint>

#include "dsp/effect_services.h"

namespace orve {

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // Reads at most `capacity` bytes of the stored record; false when there is
    // no stored record (the caller keeps its defaults). *bytesRead may be short.
    virtual bool Read(uint8_t* bytes, size_t capacity, size_t* bytesRead) = 0;
    // Writes the whole record; false when it could not be stored.
    virtual bool Write(const uint8_t* bytes, size_t count) = 0;
};

// Dialog items the audio path touches.
constexpr int32_t kItemSwitchLeft = 1003;
constexpr int32_t kItemMeterLeft = 1005;
constexpr int32_t kItemMeterRight = 1006;
constexpr int32_t kItemSwitchRight = 1007;
constexpr int32_t kItemSwitchPass = 1008;

// What the audio path does to the plug-in window. Called on the audio thread.
class HostUi : public ErrorSink {
public:
    virtual bool HasMainWindow() const = 0;
    // Repaint meter `item` (kItemMeterLeft/Right) from reading `from` to `to` (0..100).
    virtual void DrawMeter(int32_t item, int32_t from, int32_t to) = 0;
    // Show PASS alone (mono) or the L and R switches (stereo and more).
    virtual void LayChannelSwitches(int32_t channels) = 0;
};

}  // namespace orve
