#include <gtest/gtest.h>

#include "app_test_util.h"
#include "support/temp_tree.h"

namespace kra {
namespace {

using platform::kRegBinary;
using platform::kRegDword;
using platform::kRegSz;
using test::Put;
using test::Stored;
using test::Utf16Z;

class SettingsTest : public test::ShellTest {};

struct Expected {
    const char16_t* name;
    uint32_t type;
    std::vector<uint8_t> data;
};

TEST_F(SettingsTest, FirstStartWritesTheTwentyThreeDefaults) {
    LoadSettings();
    EXPECT_TRUE(g_settings.firstRun);
    const std::vector<Expected> expected = {
        {u"LastFolder", kRegSz, Utf16Z(u"\\home\\ann\\Music")},
        {u"LastMusic", kRegSz, {0, 0}},
        {u"MusicVolume", kRegDword, {80, 0, 0, 0}},
        {u"OffLCD", kRegBinary, {25}},
        {u"ACOffLCD", kRegBinary, {0}},
        {u"RepeatAlbum", kRegBinary, {0}},
        {u"PlayShuffle", kRegBinary, {0}},
        {u"AlwaysLoadEmbedAlbumPic", kRegBinary, {0}},
        {u"SaveLastMusic", kRegBinary, {1}},
        {u"LastPaused", kRegBinary, {0}},
        {u"LastDuration", kRegDword, {0, 0, 0, 0}},
        {u"SafeMode", kRegBinary, {0}},
        {u"ResumeAfterCall", kRegBinary, {1}},
        {u"FullScreenAlbum", kRegBinary, {1}},
        {u"FastAlbumPic", kRegBinary, {1}},
        {u"NoSoftKey", kRegBinary, {0}},
        {u"AlbumLayout", kRegBinary, {2}},
        {u"ShakeAction", kRegBinary, {0}},
        {u"ShakeThreshold", kRegDword, {100, 0, 0, 0}},
        {u"LastShowSlide", kRegBinary, {0}},
        {u"DisplayMode", kRegBinary, {1}},
        {u"NoSpeakerPowerDown", kRegBinary, {0}},
        {u"AlwaysResumeOnStart", kRegBinary, {0}},
    };
    for (const Expected& e : expected) {
        const platform::RegValue v = Stored(e.name);
        EXPECT_EQ(v.type, e.type) << Utf16ToUtf8(e.name);
        EXPECT_EQ(v.data, e.data) << Utf16ToUtf8(e.name);
    }
    // Loaded-only values are not part of the first write.
    for (const char16_t* name : {u"DebugOn", u"LastPlayIdentity", u"IgnoreScreenRotation",
                                 u"SaveLastSystemVolume", u"HTCRemoteOffset", u"NoAlbumFlow"}) {
        EXPECT_EQ(Stored(name).type, platform::kRegNone) << Utf16ToUtf8(name);
    }
    // Both welcome notes wait for the first Show.
    EXPECT_EQ(g_app.pendingNotices.size(), 2u);
    EXPECT_EQ(g_settings.musicFolder, u"\\home\\ann\\Music");
}

TEST_F(SettingsTest, MissingValuesAreWrittenBackOnlyWhereTheTableSaysSo) {
    Put(u"Unrelated", kRegDword, {1, 0, 0, 0});  // the key exists: not a first start
    LoadSettings();
    EXPECT_FALSE(g_settings.firstRun);
    EXPECT_EQ(Stored(u"MusicVolume").data, (std::vector<uint8_t>{80, 0, 0, 0}));
    EXPECT_EQ(Stored(u"LastPlayIdentity").data, (std::vector<uint8_t>{1, 0, 0, 0}));
    EXPECT_EQ(Stored(u"AlwaysResumeOnStart").data, (std::vector<uint8_t>{0}));
    for (const char16_t* name :
         {u"DebugOn", u"LastFolder", u"LastMusic", u"NoSpeakerPowerDown", u"IgnoreScreenRotation",
          u"SaveLastSystemVolume", u"HPconnectRunWMP", u"HTCRemoteOffset", u"NoAlbumFlow"}) {
        EXPECT_EQ(Stored(name).type, platform::kRegNone) << Utf16ToUtf8(name);
    }
    EXPECT_TRUE(g_app.pendingNotices.empty());
}

TEST_F(SettingsTest, NumbersOutOfRangeOrOfTheWrongSize) {
    Put(u"MusicVolume", kRegDword, {250, 0, 0, 0});
    // Larger than its 1-byte buffer: replaced by the default.
    Put(u"OffLCD", kRegDword, {5, 0, 0, 0});
    // Reads do not check the type: a 1-byte value where a DWORD is expected
    // is read into the low byte over the default.
    Put(u"ShakeThreshold", kRegBinary, {7});
    Put(u"HTCRemoteOffset", kRegBinary, {0x34});
    LoadSettings();
    EXPECT_EQ(g_settings.musicVolume, 100u);
    EXPECT_EQ(Stored(u"MusicVolume").data, (std::vector<uint8_t>{250, 0, 0, 0}));  // kept
    EXPECT_EQ(g_settings.offLcd, 25);
    EXPECT_EQ(Stored(u"OffLCD").type, kRegBinary);
    EXPECT_EQ(Stored(u"OffLCD").data, (std::vector<uint8_t>{25}));
    EXPECT_EQ(g_settings.shakeThreshold, 7u);
    EXPECT_EQ(g_settings.htcRemoteOffset, 0xC034u);
    EXPECT_EQ(Stored(u"ShakeThreshold").type, kRegBinary);  // read fine: not rewritten
}

TEST_F(SettingsTest, StringsAreBoundedByTheirBuffersAndTheirBytes) {
    // LastFolder needs three bytes; a string stops at its first zero and at
    // its odd last byte.
    Put(u"LastFolder", kRegSz, {0x5C, 0x00});
    Put(u"LastMusic", kRegSz, {'\\', 0, 'a', 0, 0, 0, 'b', 0});
    LoadSettings();
    EXPECT_EQ(g_settings.musicFolder, u"\\home\\ann\\Music");
    EXPECT_EQ(g_settings.lastMusic, u"\\a");
    ResetSettings();
    Put(u"LastFolder", kRegSz, {0x5C, 0x00, 0x00, 0x00});
    LoadSettings();
    EXPECT_EQ(g_settings.musicFolder, u"\\");
    ResetSettings();
    Put(u"LastFolder", kRegSz, {'\\', 0, 'x', 0, 'y'});
    LoadSettings();
    EXPECT_EQ(g_settings.musicFolder, u"\\x");

    // Longer than their buffers: missing.
    ResetSettings();
    Put(u"LastFolder", kRegSz, Utf16Z(u"\\" + std::u16string(258, u'a')));  // 520 bytes: fits
    Put(u"LastMusic", kRegSz, Utf16Z(u"\\" + std::u16string(199, u'b')));   // 402 bytes: too long
    LoadSettings();
    EXPECT_EQ(g_settings.musicFolder.size(), 259u);
    EXPECT_TRUE(g_settings.lastMusic.empty());
    ResetSettings();
    Put(u"LastFolder", kRegSz, Utf16Z(u"\\" + std::u16string(259, u'a')));  // 522 bytes
    LoadSettings();
    EXPECT_EQ(g_settings.musicFolder, u"\\home\\ann\\Music");
}

TEST_F(SettingsTest, FlagsAfterLoading) {
    Put(u"LastShowSlide", kRegBinary, {2});
    Put(u"AlwaysResumeOnStart", kRegBinary, {1});
    Put(u"LastPaused", kRegBinary, {1});
    Put(u"SaveLastSystemVolume", kRegBinary, {1});
    g_app.status[kSlotBluetooth] = 4;
    LoadSettings();
    EXPECT_EQ(g_settings.lastShowSlide, 0);  // only 1 counts as shown
    EXPECT_EQ(g_settings.lastPaused, 0);
    EXPECT_EQ(g_settings.saveLastSystemVolume, 0);
    EXPECT_EQ(Stored(u"LastPaused").data, (std::vector<uint8_t>{1}));  // memory only
}

TEST_F(SettingsTest, SystemVolumeIsCapturedAndItsRestoreArmed) {
    Put(u"SaveLastSystemVolume", kRegBinary, {1});
    g_hooks.readSystemVolume = [](uint32_t& volume, uint32_t& state) {
        volume = 0x8000;
        state = 3;
        return true;
    };
    LoadSettings();
    EXPECT_TRUE(g_settings.systemVolumeCaptured);
    EXPECT_EQ(g_settings.startSystemVolume, 0x8000u);
    EXPECT_TRUE(platform::IsTimerSet(kTimerSystemVolume));
}

TEST_F(SettingsTest, ClockFormatComesFromTheLockScreensKey) {
    Put(u"Unrelated", kRegDword, {1, 0, 0, 0});
    LoadSettings();
    EXPECT_TRUE(g_settings.timeFormat.empty());

    platform::RegCreateKey(platform::RegRoot::CurrentUser, kClockFormatKey);
    platform::RegSetValue(platform::RegRoot::CurrentUser, kClockFormatKey, u"TimeFormat", kRegSz,
                          Utf16Z(u"HH:mm"));
    LoadSettings();
    EXPECT_EQ(g_settings.timeFormat, u"HH:mm");
    // 260 bytes is the limit: 130 units with the terminator.
    platform::RegSetValue(platform::RegRoot::CurrentUser, kClockFormatKey, u"TimeFormat", kRegSz,
                          Utf16Z(std::u16string(130, u'h')));
    LoadSettings();
    EXPECT_TRUE(g_settings.timeFormat.empty());
}

TEST_F(SettingsTest, NowPlayingAndLastTrackWriters) {
    EXPECT_TRUE(WriteNowPlaying(u"Album", u"Artist", u"Title"));
    EXPECT_EQ(Stored(u"CurrentArtist").data, Utf16Z(u"Artist"));
    EXPECT_EQ(Stored(u"CurrentTitle").data, Utf16Z(u"Title"));
    EXPECT_EQ(Stored(u"CurrentAlbumName").data, Utf16Z(u"Album"));
    // A loaded track is stored by the shutdown tests. No track loaded: empty
    // path and position 0.
    SaveLastTrack(false, u"\\m\\b.mp3", false, 42, 10);
    EXPECT_EQ(Stored(u"LastMusic").data, Utf16Z(u""));
    EXPECT_EQ(Stored(u"LastDuration").data, (std::vector<uint8_t>{0, 0, 0, 0}));
    // Not wanted: the path stays empty.
    g_settings.saveLastMusic = 0;
    SaveLastTrack(true, u"\\m\\c.mp3", false, 5, 11);
    EXPECT_EQ(Stored(u"LastMusic").data, Utf16Z(u""));
}

// The settings file on disk: damaged files never stop the player, and the
// player keeps what it does not know.
class SettingsFileTest : public test::ShellTest {
  protected:
    void TearDown() override {
        platform::RegistryUseMemory();
        ShellTest::TearDown();
    }
    std::string Load(const std::string& text) {
        tree_.File("registry.reg", text);
        platform::RegistryOpenFile(tree_.Posix("registry.reg").string());
        LoadSettings();
        const std::vector<uint8_t> bytes = tree_.Read("registry.reg");
        return std::string(bytes.begin(), bytes.end());
    }
    test::TempTree tree_;
};

TEST_F(SettingsFileTest, DamagedFileKeepsWhatItCanAndIsRewrittenValid) {
    const std::string text =
        "REGEDIT4\n\n"
        "[HKEY_CURRENT_USER\\Software\\Movo\\KRA]\n"
        "\"MusicVolume\"=dword:0000004b\n"
        "\"RepeatAlbum\"=hex:\n"
        "garbage line \x01\xff\n"
        "\"OffLCD\"=dword:zz\n"
        "[HKEY_CURRENT_USER\\Software\\Other]\n"
        "\"Keep\"=\"me\"\n"
        "\"Trunc";
    const std::string written = Load(text);
    EXPECT_EQ(g_settings.musicVolume, 75u);
    EXPECT_EQ(g_settings.offLcd, 25);
    EXPECT_NE(written.find("\"OffLCD\"=hex:19"), std::string::npos) << written;
    EXPECT_NE(written.find("[HKEY_CURRENT_USER\\Software\\Other]"), std::string::npos);
    EXPECT_NE(written.find("\"Keep\"=\"me\""), std::string::npos);
    EXPECT_EQ(written.find("garbage"), std::string::npos);
    EXPECT_EQ(written.rfind("REGEDIT4", 0), 0u);
}

TEST_F(SettingsFileTest, BinaryNoiseIsAFirstStart) {
    std::string noise;
    for (int i = 0; i < 4096; ++i) noise.push_back(char((i * 7919) & 0xFF));
    const std::string written = Load(noise);
    EXPECT_TRUE(g_settings.firstRun);
    EXPECT_NE(written.find("\"AlbumLayout\"=hex:02"), std::string::npos) << written;
}

}  // namespace
}  // namespace kra
