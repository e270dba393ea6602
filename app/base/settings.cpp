#include "app/base/settings.h"

#include <variant>
#include <vector>

#include "app/base/app_state.h"
#include "app/base/debug_log.h"
#include "app/base/hooks.h"
#include "app/base/text.h"
#include "platform/files.h"
#include "platform/message_loop.h"
#include "platform/registry.h"
#include "platform/special_folders.h"

namespace kra {

Settings g_settings;

namespace {

using platform::RegRoot;

constexpr uint32_t kLastFolderBytes = 260 * 2;
constexpr uint32_t kLastMusicBytes = 200 * 2;
constexpr uint32_t kTimeFormatBytes = 260;
// LastFolder is taken only when it holds at least this many bytes.
constexpr size_t kLastFolderMinBytes = 3;

std::u16string g_defaultMusicFolderOverride;

using Field = std::variant<uint8_t Settings::*, uint32_t Settings::*, std::u16string Settings::*>;

struct SettingEntry {
    const char16_t* name;
    Field field;
    bool writeBack;  // a missing value gets its default written back at once
};

// Load order.
const SettingEntry kSettingTable[] = {
    {u"DebugOn", &Settings::debugOn, false},
    {u"LastFolder", &Settings::musicFolder, false},
    {u"LastMusic", &Settings::lastMusic, false},
    {u"MusicVolume", &Settings::musicVolume, true},
    {u"OffLCD", &Settings::offLcd, true},
    {u"ACOffLCD", &Settings::acOffLcd, true},
    {u"RepeatAlbum", &Settings::repeatAlbum, true},
    {u"PlayShuffle", &Settings::playShuffle, true},
    {u"AlwaysLoadEmbedAlbumPic", &Settings::alwaysLoadEmbedAlbumPic, true},
    {u"SaveLastMusic", &Settings::saveLastMusic, true},
    {u"LastPaused", &Settings::lastPaused, true},
    {u"LastDuration", &Settings::lastDuration, true},
    {u"SafeMode", &Settings::safeMode, true},
    {u"ResumeAfterCall", &Settings::resumeAfterCall, true},
    {u"FullScreenAlbum", &Settings::fullScreenAlbum, true},
    {u"FastAlbumPic", &Settings::fastAlbumPic, true},
    {u"NoSoftKey", &Settings::noSoftKey, true},
    {u"AlbumLayout", &Settings::albumLayout, true},
    {u"ShakeAction", &Settings::shakeAction, true},
    {u"ShakeThreshold", &Settings::shakeThreshold, true},
    {u"DisplayMode", &Settings::displayMode, true},
    {u"LastPlayIdentity", &Settings::lastPlayIdentity, true},
    {u"LastShowSlide", &Settings::lastShowSlide, true},
    {u"AlwaysResumeOnStart", &Settings::alwaysResumeOnStart, true},
    {u"NoSpeakerPowerDown", &Settings::noSpeakerPowerDown, false},
    {u"IgnoreScreenRotation", &Settings::ignoreScreenRotation, false},
    {u"SaveLastSystemVolume", &Settings::saveLastSystemVolume, false},
    {u"HPconnectRunWMP", &Settings::hpConnectRunWmp, false},
    {u"HTCRemoteOffset", &Settings::htcRemoteOffset, false},
    {u"NoAlbumFlow", &Settings::noAlbumFlow, false},
};

std::vector<uint8_t> DwordBytes(uint32_t value) {
    return {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
}

std::vector<uint8_t> StringBytes(const std::u16string& text) {
    std::vector<uint8_t> bytes;
    bytes.reserve((text.size() + 1) * 2);
    for (char16_t c : text) {
        bytes.push_back(uint8_t(c));
        bytes.push_back(uint8_t(c >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

bool SetDword(const std::u16string& name, uint32_t value) {
    return platform::RegSetValue(RegRoot::CurrentUser, kSettingsKey, name, platform::kRegDword,
                                 DwordBytes(value));
}

bool SetByte(const std::u16string& name, uint8_t value) {
    return platform::RegSetValue(RegRoot::CurrentUser, kSettingsKey, name, platform::kRegBinary,
                                 {value});
}

bool SetString(const std::u16string& name, const std::u16string& text) {
    return platform::RegSetValue(RegRoot::CurrentUser, kSettingsKey, name, platform::kRegSz,
                                 StringBytes(text));
}

// Reads the bytes of a value into a little-endian number over its current
// value, as a sized read into the variable does: a shorter value replaces
// only the low bytes.
template <typename T>
bool ReadNumber(const std::u16string& key, const std::u16string& name, T& value) {
    platform::RegValue v;
    if (!platform::RegQueryValue(RegRoot::CurrentUser, key, name, sizeof(T), v)) return false;
    for (size_t i = 0; i < v.data.size() && i < sizeof(T); ++i) {
        value = T(value & ~(T(0xFF) << (8 * i))) | T(T(v.data[i]) << (8 * i));
    }
    return true;
}

bool ReadString(const std::u16string& key, const std::u16string& name, uint32_t bufferBytes,
                size_t minBytes, std::u16string& text) {
    platform::RegValue v;
    if (!platform::RegQueryValue(RegRoot::CurrentUser, key, name, bufferBytes, v)) return false;
    if (v.data.size() < minBytes) return false;
    text = StringFromRegBytes(v.data.data(), v.data.size());
    return true;
}

void WriteDefault(const std::u16string& name, const Field& field, const Settings& s) {
    if (auto byte = std::get_if<uint8_t Settings::*>(&field)) {
        SetByte(name, s.**byte);
    } else if (auto dword = std::get_if<uint32_t Settings::*>(&field)) {
        SetDword(name, s.**dword);
    } else {
        SetString(name, s.*std::get<std::u16string Settings::*>(field));
    }
}

void ReadClockFormat() {
    g_settings.timeFormat.clear();
    if (!platform::RegKeyExists(RegRoot::CurrentUser, kClockFormatKey)) return;
    std::u16string text;
    if (ReadString(kClockFormatKey, u"TimeFormat", kTimeFormatBytes, 0, text)) {
        g_settings.timeFormat = text;
    }
}

void QueueFirstRunNotices() {
    g_app.pendingNotices.push_back(
        u"Welcome to KRA. This is the first start: the settings have been written with "
        u"their defaults.");
    // The user knows the folder by its file system name.
    const std::u16string folder = Utf8ToUtf16(platform::ToPosixPath(g_settings.musicFolder));
    g_app.pendingNotices.push_back(u"Music folder: " + folder +
                                   u"\nAlbums are its folders, artists its first folder "
                                   u"level. Choose another folder with Set Library.");
}

void CaptureSystemVolume() {
    uint32_t volume = 0, soundState = 0;
    if (!g_hooks.readSystemVolume || !g_hooks.readSystemVolume(volume, soundState)) return;
    g_settings.systemVolumeCaptured = true;
    g_settings.startSystemVolume = volume;
    g_settings.startSoundState = soundState;
    KRA_LOG("PreVolume S=%0X P=%0X", soundState, volume);
    platform::SetTimer(kTimerSystemVolume, 500);
}

}  // namespace

std::u16string StringFromRegBytes(const uint8_t* data, size_t size) {
    std::u16string text;
    for (size_t i = 0; i + 1 < size; i += 2) {
        const char16_t c = char16_t(data[i] | (data[i + 1] << 8));
        if (c == 0) break;
        text.push_back(c);
    }
    return text;
}

void ResetSettings() {
    g_settings = Settings{};
}

void SetDefaultMusicFolderOverride(const std::u16string& folder) {
    g_defaultMusicFolderOverride = folder;
}

std::u16string DefaultMusicFolder() {
    if (!g_defaultMusicFolderOverride.empty()) return g_defaultMusicFolderOverride;
    for (const std::u16string& volume : platform::RemovableVolumes()) {
        std::vector<platform::FolderEntry> entries;
        if (platform::ListFolder(volume, entries) && !entries.empty()) return volume;
    }
    return platform::MyMusicFolder();
}

void LoadSettings() {
    Settings& s = g_settings;
    s.firstRun = !platform::RegKeyExists(RegRoot::CurrentUser, kSettingsKey);
    if (!platform::RegCreateKey(RegRoot::CurrentUser, kSettingsKey)) {
        s.musicFolder = DefaultMusicFolder();
        s.timeFormat.clear();
        s.firstRun = false;
        return;
    }
    if (s.firstRun) {
        // A first start: every setting keeps its default and is written at
        // once; the two welcome notes are shown after the first Show.
        s.musicFolder = DefaultMusicFolder();
        SaveAllSettings();
        QueueFirstRunNotices();
    } else {
        bool wroteBack = false;
        for (const SettingEntry& entry : kSettingTable) {
            bool ok = false;
            if (auto byte = std::get_if<uint8_t Settings::*>(&entry.field)) {
                ok = ReadNumber(kSettingsKey, entry.name, s.**byte);
            } else if (auto dword = std::get_if<uint32_t Settings::*>(&entry.field)) {
                ok = ReadNumber(kSettingsKey, entry.name, s.**dword);
            } else if (entry.field == Field(&Settings::musicFolder)) {
                ok = ReadString(kSettingsKey, entry.name, kLastFolderBytes, kLastFolderMinBytes,
                                s.musicFolder);
                if (!ok) s.musicFolder = DefaultMusicFolder();
            } else {
                ok = ReadString(kSettingsKey, entry.name, kLastMusicBytes, 0, s.lastMusic);
            }
            if (!ok && entry.writeBack) {
                WriteDefault(entry.name, entry.field, s);
                wroteBack = true;
            }
        }
        if (wroteBack) platform::RegFlush();
    }
    if (s.musicVolume > 100) s.musicVolume = 100;
    s.lastShowSlide = s.lastShowSlide == 1 ? 1 : 0;
    if (s.alwaysResumeOnStart) s.lastPaused = 0;
    if (g_app.status[kSlotBluetooth]) s.saveLastSystemVolume = 0;
    if (s.saveLastSystemVolume) CaptureSystemVolume();
    ReadClockFormat();
}

bool SaveAllSettings() {
    const Settings& s = g_settings;
    bool ok = SetString(u"LastFolder", s.musicFolder);
    ok &= SetString(u"LastMusic", s.lastMusic);
    ok &= SetDword(u"MusicVolume", s.musicVolume);
    ok &= SetByte(u"OffLCD", s.offLcd);
    ok &= SetByte(u"ACOffLCD", s.acOffLcd);
    ok &= SetByte(u"RepeatAlbum", s.repeatAlbum);
    ok &= SetByte(u"PlayShuffle", s.playShuffle);
    ok &= SetByte(u"AlwaysLoadEmbedAlbumPic", s.alwaysLoadEmbedAlbumPic);
    ok &= SetByte(u"SaveLastMusic", s.saveLastMusic);
    ok &= SetByte(u"LastPaused", s.lastPaused);
    ok &= SetDword(u"LastDuration", s.lastDuration);
    ok &= SetByte(u"SafeMode", s.safeMode);
    ok &= SetByte(u"ResumeAfterCall", s.resumeAfterCall);
    ok &= SetByte(u"FullScreenAlbum", s.fullScreenAlbum);
    ok &= SetByte(u"FastAlbumPic", s.fastAlbumPic);
    ok &= SetByte(u"NoSoftKey", s.noSoftKey);
    ok &= SetByte(u"AlbumLayout", s.albumLayout);
    ok &= SetByte(u"ShakeAction", s.shakeAction);
    ok &= SetDword(u"ShakeThreshold", s.shakeThreshold);
    ok &= SetByte(u"LastShowSlide", 0);
    ok &= SetByte(u"DisplayMode", s.displayMode);
    ok &= SetByte(u"NoSpeakerPowerDown", s.noSpeakerPowerDown);
    ok &= SetByte(u"AlwaysResumeOnStart", s.alwaysResumeOnStart);
    ok &= platform::RegFlush();
    return ok;
}

bool WriteDword(const std::u16string& name, uint32_t value) {
    if (!platform::RegCreateKey(RegRoot::CurrentUser, kSettingsKey)) return false;
    return SetDword(name, value) && platform::RegFlush();
}

bool WriteByte(const std::u16string& name, uint8_t value) {
    if (!platform::RegCreateKey(RegRoot::CurrentUser, kSettingsKey)) return false;
    return SetByte(name, value) && platform::RegFlush();
}

bool WriteString(const std::u16string& name, const std::u16string& text) {
    if (!platform::RegCreateKey(RegRoot::CurrentUser, kSettingsKey)) return false;
    return SetString(name, text) && platform::RegFlush();
}

bool WriteNowPlaying(const std::u16string& album, const std::u16string& artist,
                     const std::u16string& title) {
    if (!platform::RegCreateKey(RegRoot::CurrentUser, kSettingsKey)) return false;
    bool ok = SetString(u"CurrentAlbumName", album);
    ok &= SetString(u"CurrentArtist", artist);
    ok &= SetString(u"CurrentTitle", title);
    return platform::RegFlush() && ok;
}

void SaveLastTrack(bool trackLoaded, const std::u16string& path, bool paused, uint32_t position,
                   uint32_t playIdentity) {
    Settings& s = g_settings;
    if (!s.saveLastMusic) return;
    KRA_LOG("SaveLastMusicFile %d", paused ? 1 : 0);
    if (trackLoaded) {
        s.lastMusic = path;
    } else {
        s.lastMusic.clear();
        position = 0;
    }
    KRA_LOG("SaveLastMusicFile (%s)", Utf16ToUtf8(s.lastMusic).c_str());
    s.lastPaused = paused ? 1 : 0;
    s.lastDuration = position;
    s.lastPlayIdentity = playIdentity;
    if (!platform::RegCreateKey(RegRoot::CurrentUser, kSettingsKey)) return;
    SetString(u"LastMusic", s.lastMusic);
    SetByte(u"LastPaused", s.lastPaused);
    SetDword(u"LastDuration", s.lastDuration);
    SetDword(u"LastPlayIdentity", s.lastPlayIdentity);
    platform::RegFlush();
}

}  // namespace kra
