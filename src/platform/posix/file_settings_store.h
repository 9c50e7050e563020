#pragma once
// Settings record kept as a 160-byte file:
// $XDG_CONFIG_HOME/orve-studio/ORVESETTING, else ~/.config/orve-studio/ORVESETTING.
#include <string>

#include "plugin/platform_services.h"

namespace orve {

class FileSettingsStore : public SettingsStore {
public:
    explicit FileSettingsStore(std::string path);
    // The per-user location described above (empty when no home is known).
    static std::string DefaultPath();

    bool Read(uint8_t* bytes, size_t capacity, size_t* bytesRead) override;
    // Written to a temporary file beside the target and renamed over it, so a
    // failed write never leaves a damaged record.
    bool Write(const uint8_t* bytes, size_t count) override;
    const std::string& Path() const { return path; }

private:
    std::string path;
};

}  // namespace orve
