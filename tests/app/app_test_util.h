// Shared set-up for the shell's tests: a fresh state, an in-memory registry,
// a temporary folder, and helpers to read the registry back.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/base/app_state.h"
#include "app/base/debug_log.h"
#include "app/base/hooks.h"
#include "app/base/settings.h"
#include "app/base/text.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/message_loop.h"
#include "platform/registry.h"
#include "support/temp_tree.h"

namespace kra::test {

inline std::filesystem::path MakeTempFolder(const std::string& tag) {
    std::random_device rd;
    const auto path = std::filesystem::temp_directory_path() /
                      ("kra-" + tag + "-" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(path);
    return path;
}

inline std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// The messages of a log file, in order, with its closing "quit".
inline std::vector<std::string> LogMessages(const std::filesystem::path& path) {
    return DebugLogMessages(platform::FromPosixPath(path.string()), true);
}

// A stored HKCU value of the settings key, or type kRegNone when missing.
inline platform::RegValue Stored(const std::u16string& name) {
    platform::RegValue value;
    platform::RegQueryValue(platform::RegRoot::CurrentUser, kSettingsKey, name, 4096, value);
    return value;
}

inline std::vector<uint8_t> Utf16Z(const std::u16string& text) {
    std::vector<uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(uint8_t(c));
        bytes.push_back(uint8_t(c >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

inline void Put(const std::u16string& name, uint32_t type, std::vector<uint8_t> data) {
    platform::RegCreateKey(platform::RegRoot::CurrentUser, kSettingsKey);
    platform::RegSetValue(platform::RegRoot::CurrentUser, kSettingsKey, name, type, data);
}

// Fresh shell state on the virtual clock with an in-memory registry and a
// fixed default music folder.
class ShellTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::UseVirtualClock(100000);
        platform::ResetMessageLoop();
        platform::RegistryUseMemory();
        platform::RegClearState();
        ResetAppState();
        ResetAppHooks();
        ResetSettings();
        SetDefaultMusicFolderOverride(u"\\home\\ann\\Music");
        g_debugOn = false;
    }
    void TearDown() override {
        LogClose();
        g_debugOn = false;
        SetDefaultMusicFolderOverride(u"");
        platform::ResetMessageLoop();
    }
};

}  // namespace kra::test
