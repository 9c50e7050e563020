#include "platform/win32/registry_settings_store.h"

#include <windows.h>

namespace orve::win32 {

bool RegistrySettingsStore::Read(uint8_t* bytes, size_t capacity, size_t* bytesRead) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return false;
    DWORD size = static_cast<DWORD>(capacity);
    DWORD type = 0;
    const LONG result = RegQueryValueExA(key, kSettingsValue, nullptr, &type, bytes, &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) return false;
    *bytesRead = size;
    return true;
}

bool RegistrySettingsStore::Write(const uint8_t* bytes, size_t count) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key, &disposition) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return false;
    const LONG result = RegSetValueExA(key, kSettingsValue, 0, REG_BINARY, bytes, static_cast<DWORD>(count));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

}  // namespace orve::win32
