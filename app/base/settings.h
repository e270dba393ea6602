// The settings store: named values under HKEY_CURRENT_USER
// "Software\Movo\KRA", loaded once at start-up into g_settings and written
// back one value at a time when they change.
//
// Flags and small numbers are 1-byte REG_BINARY values, numbers REG_DWORD,
// texts REG_SZ with their terminating zero. Reads pass a buffer of exactly
// the listed size: a stored value larger than that counts as missing.
// Main thread only.
#pragma once
#include <cstdint>
#include <string>

namespace kra {

inline constexpr const char16_t* kSettingsKey = u"Software\\Movo\\KRA";
inline constexpr const char16_t* kClockFormatKey = u"Software\\Movo\\Tolu";

struct Settings {
    uint8_t debugOn = 0;
    // LastFolder: the music folder (the folder browsed last).
    std::u16string musicFolder;
    std::u16string lastMusic;
    uint32_t musicVolume = 80;  // 0..100 in memory; the stored value may be larger
    uint8_t offLcd = 25;
    uint8_t acOffLcd = 0;
    uint8_t repeatAlbum = 0;
    uint8_t playShuffle = 0;
    uint8_t alwaysLoadEmbedAlbumPic = 0;
    uint8_t saveLastMusic = 1;
    uint8_t lastPaused = 0;
    uint32_t lastDuration = 0;
    uint8_t safeMode = 0;
    uint8_t resumeAfterCall = 1;
    uint8_t fullScreenAlbum = 1;
    uint8_t fastAlbumPic = 1;
    uint8_t noSoftKey = 0;
    uint8_t albumLayout = 2;
    uint8_t shakeAction = 0;
    uint32_t shakeThreshold = 100;
    uint8_t displayMode = 1;
    uint32_t lastPlayIdentity = 1;
    // Only a stored 1 counts as shown.
    uint8_t lastShowSlide = 0;
    uint8_t alwaysResumeOnStart = 0;
    uint8_t noSpeakerPowerDown = 0;
    uint8_t ignoreScreenRotation = 1;
    uint8_t saveLastSystemVolume = 0;
    uint8_t hpConnectRunWmp = 0;
    uint32_t htcRemoteOffset = 0xC018;
    uint8_t noAlbumFlow = 1;
    // The companion lock screen's clock format; empty when not stored.
    std::u16string timeFormat;

    // System volume and sound type captured at load, put back at exit.
    bool systemVolumeCaptured = false;
    uint32_t startSystemVolume = 0;
    uint32_t startSoundState = 0;
    // True when this start created the settings key.
    bool firstRun = false;
};

extern Settings g_settings;

// Puts every setting back to its default (tests).
void ResetSettings();

// The default music folder: the first mounted removable volume that holds
// entries, else the user's music folder. An override (the demo library,
// tests) takes the place of both.
std::u16string DefaultMusicFolder();
void SetDefaultMusicFolderOverride(const std::u16string& folder);

// Reads every setting in table order, writing the default of a missing value
// back where the table says so; on first start writes all settings instead.
// Also reads the clock format. Never fails: missing values keep defaults.
void LoadSettings();
// Writes the 23 settings of a first start and flushes once.
bool SaveAllSettings();

// Each opens (creating if needed) the settings key, writes one value,
// flushes and closes. False when the key cannot be opened or the write fails.
bool WriteDword(const std::u16string& name, uint32_t value);
bool WriteByte(const std::u16string& name, uint8_t value);
bool WriteString(const std::u16string& name, const std::u16string& text);
// The now-playing tags for companion programs, written with one flush.
bool WriteNowPlaying(const std::u16string& album, const std::u16string& artist,
                     const std::u16string& title);

// Stores the last track at exit when SaveLastMusic is on: its path (empty and
// position 0 when no track is loaded), the paused flag, the position and the
// history counter, with one flush.
void SaveLastTrack(bool trackLoaded, const std::u16string& path, bool paused, uint32_t position,
                   uint32_t playIdentity);

// A REG_SZ's bytes: UTF-16LE up to the first zero, bounded by the data.
std::u16string StringFromRegBytes(const uint8_t* data, size_t size);

}  // namespace kra
