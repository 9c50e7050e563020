#include "platform/posix/file_settings_store.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "plugin/plugin_state.h"

namespace orve {
namespace {

namespace fs = std::filesystem;

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("orve-settings-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

TEST_F(SettingsFile, PluginStateRoundTripsThroughTheFile) {
    const std::string path = (dir / "orve-studio" / "ORVESETTING").string();
    {
        PluginState state(std::make_unique<FileSettingsStore>(path));
        EXPECT_EQ(state.effectId, EffectId::LevelTuning);  // no file yet
        state.effectId = EffectId::Geq31Bands;
        state.presetIndex = 4;
    }
    ASSERT_EQ(fs::file_size(path), 160u);
    EXPECT_FALSE(fs::exists(path + ".tmp"));
    PluginState again(std::make_unique<FileSettingsStore>(path));
    EXPECT_EQ(again.effectId, EffectId::Geq31Bands);
    EXPECT_EQ(again.presetIndex, 4);
}

TEST_F(SettingsFile, DefaultPathFollowsXdgConfigHome) {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", "/tmp/xdg-test", 1);
    EXPECT_EQ(FileSettingsStore::DefaultPath(), "/tmp/xdg-test/orve-studio/ORVESETTING");
    ::unsetenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (home) {
        EXPECT_EQ(FileSettingsStore::DefaultPath(), std::string(home) + "/.config/orve-studio/ORVESETTING");
    }
    if (old) ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
}

TEST_F(SettingsFile, UnwritableLocationFailsWithoutThrowing) {
    FileSettingsStore store("/proc/orve-cannot-write/ORVESETTING");
    uint8_t bytes[160] = {};
    EXPECT_FALSE(store.Write(bytes, sizeof bytes));
    size_t got = 1;
    EXPECT_FALSE(store.Read(bytes, sizeof bytes, &got));
    EXPECT_EQ(got, 0u);
}

}  // namespace
}  // namespace orve
