#include "platform/posix/file_settings_store.h"

#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <filesystem>

namespace orve {

FileSettingsStore::FileSettingsStore(std::string pathIn) : path(std::move(pathIn)) {}

std::string FileSettingsStore::DefaultPath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (config && *config) {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) return std::string();
        base = std::string(home) + "/.config";
    }
    return base + "/orve-studio/ORVESETTING";
}

bool FileSettingsStore::Read(uint8_t* bytes, size_t capacity, size_t* bytesRead) {
    *bytesRead = 0;
    if (path.empty()) return false;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    *bytesRead = std::fread(bytes, 1, capacity, f);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

bool FileSettingsStore::Write(const uint8_t* bytes, size_t count) {
    if (path.empty()) return false;
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path target(path);
    if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
    const std::string temp = path + ".tmp";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return false;
    const bool written = std::fwrite(bytes, 1, count, f) == count;
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) {
        std::remove(temp.c_str());
        return false;
    }
    fs::rename(temp, target, ec);
    if (ec) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace orve
