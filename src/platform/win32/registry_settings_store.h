#pragma once
// The settings record as the binary value "ORVESETTING" under
// HKEY_CURRENT_USER\Software\ORVE Studio.
#include "plugin/platform_services.h"

namespace orve::win32 {

constexpr const char* kSettingsKey = "Software\\ORVE Studio";
constexpr const char* kSettingsValue = "ORVESETTING";

class RegistrySettingsStore : public SettingsStore {
public:
    bool Read(uint8_t* bytes, size_t capacity, size_t* bytesRead) override;
    bool Write(const uint8_t* bytes, size_t count) override;
};

}  // namespace orve::win32
