#include "platform/registry.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "platform/registry-file.h"
#include "support/bytes.h"
#include "support/temp_tree.h"

namespace kra::platform {
namespace {

using test::Le32;

const std::u16string kKey = u"Software\\Movo\\KRA";
const RegRoot kUser = RegRoot::CurrentUser;
const RegRoot kMachine = RegRoot::LocalMachine;

std::vector<uint8_t> Sz(const std::u16string& text) {
    std::vector<uint8_t> out;
    for (char16_t c : text) {
        out.push_back(uint8_t(c));
        out.push_back(uint8_t(c >> 8));
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class RegistryFileTest : public testing::Test {
  protected:
    void SetUp() override {
        unsetenv("KRA_HKLM_FILE");
        RegClearState();
    }
    void TearDown() override {
        RegistryUseMemory();
        RegClearState();
        unsetenv("KRA_HKLM_FILE");
    }
    // Writes `text` as the settings file and opens it.
    void OpenWith(const std::string& text) {
        tree_.File("config/kra/registry.reg", text);
        RegistryOpenFile(path_);
    }
    RegValue Query(const std::u16string& name, uint32_t size = 520) {
        RegValue v;
        EXPECT_TRUE(RegQueryValue(kUser, kKey, name, size, v)) << "missing value";
        return v;
    }

    test::TempTree tree_;
    const std::string path_ = tree_.Posix("config/kra/registry.reg").string();
};

TEST_F(RegistryFileTest, WritesTheExactText) {
    RegistryOpenFile(path_);  // missing file and folders: starts empty
    EXPECT_FALSE(RegistryLastLoad().fileFound);
    ASSERT_TRUE(RegSetValue(kUser, kKey, u"DebugOn", kRegBinary, {1}));
    ASSERT_TRUE(RegSetValue(kUser, kKey, u"LastFolder", kRegSz, Sz(u"\\Storage \"Card\"")));
    ASSERT_TRUE(RegSetValue(kUser, kKey, u"MusicVolume", kRegDword, Le32(0x4b)));
    ASSERT_TRUE(RegSetValue(kUser, kKey, u"CurrentTitle", kRegSz, Sz(u"Caf\u00E9 \U0001F3B5")));
    ASSERT_TRUE(RegSetValue(kUser, kKey, u"Empty", kRegSz, Sz(u"")));
    ASSERT_TRUE(RegSetValue(kUser, kKey, u"", kRegSz, Sz(u"default")));
    ASSERT_TRUE(RegSetValue(kUser, u"Software\\Movo\\Tolu", u"TimeFormat", kRegSz, Sz(u"HH:mm")));
    ASSERT_TRUE(RegSetValue(kUser, kKey, u"Blob", kRegBinary, {}));
    ASSERT_TRUE(RegSetValue(kUser, kKey, u"Multi", 7, {'a', 0, 0, 0, 0, 0}));
    ASSERT_TRUE(RegSetValue(kUser, kKey, u"debugon", kRegBinary, {0xAB}));  // same value
    ASSERT_TRUE(RegFlush());
    EXPECT_EQ(ReadText(path_),
              "REGEDIT4\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Movo\\KRA]\n"
              "\"DebugOn\"=hex:ab\n"
              "\"LastFolder\"=\"\\\\Storage \\\"Card\\\"\"\n"
              "\"MusicVolume\"=dword:0000004b\n"
              "\"CurrentTitle\"=\"Caf\xC3\xA9 \xF0\x9F\x8E\xB5\"\n"
              "\"Empty\"=\"\"\n"
              "@=\"default\"\n"
              "\"Blob\"=hex:\n"
              "\"Multi\"=hex(7):61,00,00,00,00,00\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Movo\\Tolu]\n"
              "\"TimeFormat\"=\"HH:mm\"\n"
              "\n");
    // Read back from the file, every value byte for byte.
    RegistryOpenFile(path_);
    EXPECT_EQ(RegistryLastLoad().droppedLines, 0u);
    EXPECT_EQ(Query(u"LastFolder").data, Sz(u"\\Storage \"Card\""));
    EXPECT_EQ(Query(u"CurrentTitle").data, Sz(u"Caf\u00E9 \U0001F3B5"));
    EXPECT_EQ(Query(u"MusicVolume").data, Le32(0x4b));
    EXPECT_EQ(Query(u"MusicVolume").type, uint32_t(kRegDword));
    EXPECT_EQ(Query(u"Multi").type, 7u);
    EXPECT_EQ(Query(u"").data, Sz(u"default"));
    EXPECT_TRUE(Query(u"Blob").data.empty());
    // Nothing left beside the file but the file itself.
    EXPECT_EQ(ReadText(path_ + ".bad"), "");
}

TEST_F(RegistryFileTest, StringsThatAreNotPlainTextKeepTheirBytes) {
    RegistryOpenFile(path_);
    // One character without its terminator (2 bytes).
    ASSERT_TRUE(RegSetValue(kUser, kKey, u"LastFolder", kRegSz, {0x5c, 0x00}));
    // "\" stored normally: 4 bytes.
    ASSERT_TRUE(RegSetValue(kUser, kKey, u"Slash", kRegSz, Sz(u"\\")));
    ASSERT_TRUE(RegSetValue(kUser, kKey, u"Odd", kRegSz, {0x41}));
    ASSERT_TRUE(RegSetValue(kUser, kKey, u"Inner", kRegSz, {'a', 0, 0, 0, 'b', 0, 0, 0}));
    ASSERT_TRUE(RegSetValue(kUser, kKey, u"Lines", kRegSz, Sz(u"a\nb")));
    ASSERT_TRUE(RegSetValue(kUser, kKey, u"Lone", kRegSz, {0x00, 0xD8, 0, 0}));
    ASSERT_TRUE(RegSetValue(kUser, kKey, u"Twice", kRegSz, {'a', 0, 0, 0, 0, 0}));
    ASSERT_TRUE(RegSetValue(kUser, kKey, u"Short", kRegDword, {1, 0}));
    ASSERT_TRUE(RegFlush());
    EXPECT_EQ(ReadText(path_),
              "REGEDIT4\n\n"
              "[HKEY_CURRENT_USER\\Software\\Movo\\KRA]\n"
              "\"LastFolder\"=hex(1):5c,00\n"
              "\"Slash\"=\"\\\\\"\n"
              "\"Odd\"=hex(1):41\n"
              "\"Inner\"=hex(1):61,00,00,00,62,00,00,00\n"
              "\"Lines\"=hex(1):61,00,0a,00,62,00,00,00\n"
              "\"Lone\"=hex(1):00,d8,00,00\n"
              "\"Twice\"=hex(1):61,00,00,00,00,00\n"
              "\"Short\"=hex(4):01,00\n"
              "\n");
    RegistryOpenFile(path_);
    RegValue v = Query(u"LastFolder", 520);
    EXPECT_EQ(v.type, uint32_t(kRegSz));
    EXPECT_EQ(v.data, std::vector<uint8_t>({0x5c, 0x00}));
    EXPECT_EQ(Query(u"Slash").data, Sz(u"\\"));
    EXPECT_EQ(Query(u"Lines").data, Sz(u"a\nb"));
    EXPECT_EQ(Query(u"Short").data, std::vector<uint8_t>({1, 0}));
}

TEST_F(RegistryFileTest, SizedReads) {
    RegistryUseMemory();
    ASSERT_TRUE(RegSetValue(kUser, kKey, u"OffLCD", kRegDword, Le32(25)));
    ASSERT_TRUE(RegSetValue(kUser, kKey, u"Flag", kRegBinary, {1}));
    RegValue v;
    v.type = 99;
    EXPECT_FALSE(RegQueryValue(kUser, kKey, u"OffLCD", 1, v)) << "4 bytes do not fit in 1";
    EXPECT_FALSE(RegQueryValue(kUser, kKey, u"OffLCD", 3, v));
    EXPECT_EQ(v.type, 99u) << "a failed read leaves the output alone";
    ASSERT_TRUE(RegQueryValue(kUser, kKey, u"offlcd", 4, v));
    EXPECT_EQ(v.data, Le32(25));
    // The stored type is reported, never checked.
    ASSERT_TRUE(RegQueryValue(kUser, kKey, u"Flag", 4, v));
    EXPECT_EQ(v.type, uint32_t(kRegBinary));
    EXPECT_EQ(v.data, std::vector<uint8_t>({1}));
    EXPECT_FALSE(RegQueryValue(kUser, kKey, u"Missing", 520, v));
    EXPECT_FALSE(RegQueryValue(kUser, u"Software\\Nope", u"Flag", 520, v));
}

TEST_F(RegistryFileTest, KeysAndNamesIgnoreCase) {
    RegistryUseMemory();
    EXPECT_FALSE(RegKeyExists(kUser, kKey));
    ASSERT_TRUE(RegCreateKey(kUser, kKey));
    EXPECT_TRUE(RegKeyExists(kUser, u"software\\MOVO\\kra"));
    EXPECT_TRUE(RegKeyExists(kUser, u"Software\\Movo")) << "a parent exists with its child";
    EXPECT_TRUE(RegKeyExists(kUser, u"\\Software\\\\Movo\\KRA\\"));
    EXPECT_FALSE(RegKeyExists(kUser, u"Software\\Mov"));
    ASSERT_TRUE(RegSetValue(kUser, u"SOFTWARE\\movo\\kra", u"Status", kRegDword, Le32(1)));
    ASSERT_TRUE(RegSetValue(kUser, kKey, u"STATUS", kRegDword, Le32(0)));
    ASSERT_TRUE(RegSetValue(kUser, kKey + u"\\Sub", u"x", kRegBinary, {1}));
    RegValue v;
    ASSERT_TRUE(RegQueryValue(kUser, kKey, u"status", 4, v));
    EXPECT_EQ(v.data, Le32(0));
    EXPECT_TRUE(RegDeleteValue(kUser, kKey, u"sTaTuS"));
    EXPECT_FALSE(RegDeleteValue(kUser, kKey, u"Status"));
    EXPECT_FALSE(RegQueryValue(kUser, kKey, u"Status", 4, v));
    EXPECT_TRUE(RegDeleteKey(kUser, u"software\\movo"));
    EXPECT_FALSE(RegKeyExists(kUser, kKey + u"\\Sub")) << "sub-keys go with their key";
    EXPECT_FALSE(RegDeleteKey(kUser, u"software\\movo"));
    // Names that cannot stand in the file are refused.
    EXPECT_FALSE(RegSetValue(kUser, kKey, u"a\nb", kRegBinary, {1}));
    EXPECT_FALSE(RegSetValue(kUser, kKey, std::u16string(u"a\0b", 3), kRegBinary, {1}));
    EXPECT_FALSE(RegSetValue(kUser, kKey, u"\xD800", kRegBinary, {1}));
    EXPECT_FALSE(RegSetValue(kUser, u"\\", u"x", kRegBinary, {1}));
    EXPECT_FALSE(RegCreateKey(kUser, u"a\r"));
}

TEST_F(RegistryFileTest, ForeignKeysAndValuesSurviveARewrite) {
    OpenWith(
        "REGEDIT4\r\n"
        "\r\n"
        "[HKEY_CURRENT_USER\\Software\\Movo\\KRA]\r\n"
        "\"MusicVolume\"=dword:000000fa\r\n"
        "\"Companion\"=\"kept\"\r\n"
        "\"Path\"=hex(2):25,00,54,00,00,00\r\n"
        "\r\n"
        "[HKEY_CLASSES_ROOT\\.mp3]\r\n"
        "@=\"kra.mp3\"\r\n"
        "\r\n"
        "[hkey_current_user\\Software\\Other]\r\n"
        "\"Q\"=hex(b):01,02,03,04,05,06,07,08\r\n");
    EXPECT_TRUE(RegistryLastLoad().headerFound);
    EXPECT_EQ(RegistryLastLoad().keys, 3u);
    EXPECT_EQ(RegistryLastLoad().values, 5u);
    EXPECT_TRUE(RegKeyExists(kUser, u"Software\\Other"));
    ASSERT_TRUE(RegSetValue(kUser, kKey, u"MusicVolume", kRegDword, Le32(80)));
    ASSERT_TRUE(RegSetValue(kUser, kKey, u"Status", kRegDword, Le32(1)));
    ASSERT_TRUE(RegFlush());
    EXPECT_EQ(ReadText(path_),
              "REGEDIT4\n\n"
              "[HKEY_CURRENT_USER\\Software\\Movo\\KRA]\n"
              "\"MusicVolume\"=dword:00000050\n"
              "\"Companion\"=\"kept\"\n"
              "\"Path\"=hex(2):25,00,54,00,00,00\n"
              "\"Status\"=dword:00000001\n"
              "\n"
              "[HKEY_CLASSES_ROOT\\.mp3]\n"
              "@=\"kra.mp3\"\n"
              "\n"
              "[hkey_current_user\\Software\\Other]\n"
              "\"Q\"=hex(b):01,02,03,04,05,06,07,08\n"
              "\n");
    RegValue v;
    EXPECT_FALSE(RegQueryValue(kMachine, u".mp3", u"", 520, v)) << "another root";
}

TEST_F(RegistryFileTest, ReadingIsLenient) {
    const RegFileModel model = ParseRegistryFile(
        "\xEF\xBB\xBF"
        "REGEDIT4\n"
        "; a comment\n"
        "  [HKEY_CURRENT_USER\\Software\\Movo\\KRA]  \n"
        "\"Bin\" = hex:01,02,\\\n"
        "  03,04,\\\n"
        "  05\n"
        "\"Dw\"=DWORD:4B\n"
        "\"Raw\"=\"C:\\Music\\\\x\"\n"
        "\"Latin\"=\"Caf\xE9\"\n"
        "\"Upper\"=HEX(1):41,00,00,00\n"
        "\"Dup\"=dword:00000001\n"
        "\"DUP\"=dword:00000002\n"
        "[HKEY_CURRENT_USER\\software\\movo\\kra\\]\n"
        "\"Later\"=hex:\n");
    EXPECT_TRUE(model.hasHeader);
    EXPECT_EQ(model.droppedLines, 0u);
    ASSERT_EQ(model.keys.size(), 1u);
    const auto& values = model.keys[0].values;
    ASSERT_EQ(values.size(), 7u);
    EXPECT_EQ(values[0].data, std::vector<uint8_t>({1, 2, 3, 4, 5}));
    EXPECT_EQ(values[1].data, Le32(0x4b));
    EXPECT_EQ(values[2].data, Sz(u"C:\\Music\\x")) << "a lone backslash stands for itself";
    EXPECT_EQ(values[3].data, Sz(u"Caf\u00E9")) << "a line that is not UTF-8 is Latin-1";
    EXPECT_EQ(values[4].type, uint32_t(kRegSz));
    EXPECT_EQ(values[5].name, u"Dup");
    EXPECT_EQ(values[5].data, Le32(2));
    EXPECT_EQ(values[6].name, u"Later");
}

TEST_F(RegistryFileTest, DamagedFilesKeepEveryWellFormedValue) {
    struct Case {
        const char* what;
        std::string text;
        size_t values;   // well-formed values kept
        size_t dropped;  // lines dropped
    };
    const std::string key = "[HKEY_CURRENT_USER\\Software\\Movo\\KRA]\n";
    const Case cases[] = {
        {"no header", key + "\"A\"=hex:01\n", 1, 0},
        {"truncated string", "REGEDIT4\n" + key + "\"A\"=hex:01\n\"B\"=\"trunc", 1, 1},
        {"truncated list", "REGEDIT4\n" + key + "\"A\"=hex:01\n\"B\"=hex:01,\\\n", 1, 1},
        {"list cut by a new value", "REGEDIT4\n" + key + "\"B\"=hex:01,\\\n\"A\"=hex:01\n", 1, 1},
        {"NUL byte", "REGEDIT4\n" + key + std::string("\"B\"=\"x\0y\"\n", 10) + "\"A\"=hex:01\n", 1,
         1},
        {"garbage", "REGEDIT4\n" + key + "\x89PNG\r\n\x1a\xff\xfe\n\"A\"=hex:01\nhex:zz\n", 1, 3},
        {"value before any key", "REGEDIT4\n\"B\"=hex:01\n" + key + "\"A\"=hex:01\n", 1, 1},
        {"bad numbers",
         "REGEDIT4\n" + key +
             "\"A\"=hex:01\n\"B\"=dword:123456789\n\"C\"=hex:100\n\"D\"=hex(123456789):01\n"
             "\"E\"=dword:\n\"F\"=text\n\"G\"\n\"H\"=\"x\" junk\n",
         1, 7},
        {"deletions",
         "REGEDIT4\n[-HKEY_CURRENT_USER\\X]\n\"B\"=hex:01\n" + key + "\"A\"=hex:01\n\"C\"=-\n", 1,
         3},
        {"bad keys", "REGEDIT4\n[]\n[\\\\]\n[abc\n[abc] x\n" + key + "\"A\"=hex:01\n", 1, 4},
        {"huge line",
         "REGEDIT4\n" + key + "\"B\"=\"" + std::string(1 << 20, 'x') + "\n\"A\"=hex:01\n", 1, 1},
        {"header twice", "REGEDIT4\nREGEDIT4\n" + key + "\"A\"=hex:01\n", 1, 1},
    };
    for (const Case& c : cases) {
        const RegFileModel model = ParseRegistryFile(c.text);
        size_t values = 0;
        for (const RegFileKey& k : model.keys) values += k.values.size();
        EXPECT_EQ(values, c.values) << c.what;
        EXPECT_EQ(model.droppedLines, c.dropped) << c.what;
    }
}

TEST_F(RegistryFileTest, DroppedLinesAreKeptAsideBeforeTheRewrite) {
    const std::string original =
        "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Movo\\KRA]\n\"A\"=\"typo\n\"B\"=hex:01\n";
    OpenWith(original);
    EXPECT_EQ(RegistryLastLoad().droppedLines, 1u);
    RegValue v;
    EXPECT_TRUE(RegQueryValue(kUser, kKey, u"B", 1, v));
    ASSERT_TRUE(RegSetValue(kUser, kKey, u"C", kRegBinary, {2}));
    ASSERT_TRUE(RegFlush());
    EXPECT_EQ(ReadText(path_ + ".bad"), original);
    EXPECT_EQ(
        ReadText(path_),
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Movo\\KRA]\n\"B\"=hex:01\n\"C\"=hex:02\n\n");
}

TEST_F(RegistryFileTest, FlushWritesOnlyChangesAndNeverOverAnUnreadableFile) {
    OpenWith("REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Movo\\KRA]\n\"A\"=hex:01\n");
    ASSERT_TRUE(RegSetValue(kUser, kKey, u"A", kRegBinary, {1}));  // unchanged
    ASSERT_TRUE(RegFlush());
    EXPECT_EQ(ReadText(path_),
              "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Movo\\KRA]\n\"A\"=hex:01\n");

    // A folder where the file should be: it cannot be read, so it is not replaced.
    const std::string blocked = tree_.Posix("blocked.reg").string();
    mkdir(blocked.c_str(), 0777);
    RegistryOpenFile(blocked);
    ASSERT_TRUE(RegSetValue(kUser, kKey, u"A", kRegBinary, {1}));
    EXPECT_FALSE(RegFlush());
    struct stat st;
    ASSERT_EQ(stat(blocked.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

TEST_F(RegistryFileTest, MachineValuesComeFromTheStateAndTheOverrideFile) {
    const std::string machine = tree_.Posix("hklm.reg").string();
    tree_.File("hklm.reg",
               "REGEDIT4\n\n"
               "[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory]\n"
               "\"Folder\"=\"Storage Card\"\n"
               "[HKEY_LOCAL_MACHINE\\System\\State\\Phone]\n"
               "\"Status\"=dword:00000001\n"
               "[HKEY_CURRENT_USER\\Software\\Movo\\KRA]\n"
               "\"Ignored\"=hex:01\n");
    setenv("KRA_HKLM_FILE", machine.c_str(), 1);
    RegistryOpenFile(path_);
    RegValue v;
    ASSERT_TRUE(
        RegQueryValue(kMachine, u"system\\storagemanager\\profiles\\SDMemory", u"folder", 520, v));
    EXPECT_EQ(v.data, Sz(u"Storage Card"));
    EXPECT_FALSE(RegQueryValue(kUser, kKey, u"Ignored", 520, v)) << "only HKLM keys count";
    EXPECT_FALSE(RegKeyExists(kMachine, u"Software\\Movo\\KRA"));
    EXPECT_TRUE(RegKeyExists(kMachine, u"System\\State"));

    // The state provider comes first.
    RegSetStateValue(u"System\\State\\Phone", u"Status", RegValue{kRegDword, Le32(8)});
    ASSERT_TRUE(RegQueryValue(kMachine, u"System\\State\\Phone", u"Status", 4, v));
    EXPECT_EQ(v.data, Le32(8));
    RegSetStateValue(u"System\\State\\Hardware", u"Headset", RegValue{kRegDword, Le32(1)});
    EXPECT_TRUE(RegKeyExists(kMachine, u"System\\State\\Hardware"));
    RegSetStateValue(u"System\\State\\Hardware", u"Headset", RegValue{});
    EXPECT_FALSE(RegQueryValue(kMachine, u"System\\State\\Hardware", u"Headset", 4, v));
    EXPECT_FALSE(RegKeyExists(kMachine, u"System\\State\\Hardware"));
    RegClearState();
    ASSERT_TRUE(RegQueryValue(kMachine, u"System\\State\\Phone", u"Status", 4, v));
    EXPECT_EQ(v.data, Le32(1));

    // HKLM is read-only.
    EXPECT_FALSE(RegSetValue(kMachine, u"System\\State\\Phone", u"Status", kRegDword, Le32(2)));
    EXPECT_FALSE(RegCreateKey(kMachine, u"System\\X"));
    EXPECT_FALSE(RegDeleteKey(kMachine, u"System\\State"));
    EXPECT_FALSE(RegDeleteValue(kMachine, u"System\\State\\Phone", u"Status"));
    EXPECT_FALSE(RegKeyExists(kUser, u"System\\State"));
}

TEST(RegistryPath, FollowsXdgConfigHome) {
    const char* old = getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(DefaultRegistryPath(), "/cfg/kra/registry.reg");
    setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored
    const std::string home = getenv("HOME") ? getenv("HOME") : "";
    if (!home.empty() && home[0] == '/') {
        EXPECT_EQ(DefaultRegistryPath(), home + "/.config/kra/registry.reg");
    }
    if (old) {
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    } else {
        unsetenv("XDG_CONFIG_HOME");
    }
}

// Whatever the parser builds, the writer writes so that the parser builds it again.
TEST(RegistryFileFormat, EveryValueRoundTrips) {
    std::mt19937 random(1234);
    const uint32_t types[] = {kRegNone,  kRegSz, kRegSz, kRegSz, kRegBinary,
                              kRegDword, 2,      7,      11,     0xFFFFFFFF};
    const char16_t units[] = {u'a',  u'\\',  u'"',   u' ', 0,    u'\n',
                              u'\r', 0xD83C, 0xDFB5, 0xE9, u']', u'='};
    std::vector<RegFileKey> keys;
    for (int k = 0; k < 20; ++k) {
        RegFileKey key;
        key.path = u"HKEY_CURRENT_USER\\K" + std::u16string(1, char16_t(u'0' + k)) + u"\\\"]x";
        for (int i = 0; i < 40; ++i) {
            RegFileValue value;
            value.name = (i == 0) ? u""
                                  : u"n" + std::u16string(1, char16_t(u'A' + i % 26)) +
                                        std::u16string(size_t(i / 26 + 1), u'\\') + u"\" ]=";
            value.type = types[random() % std::size(types)];
            const size_t length = random() % 12;
            std::u16string text;
            for (size_t n = 0; n < length; ++n) text.push_back(units[random() % std::size(units)]);
            value.data = Sz(text);
            if (random() % 3 == 0) value.data.resize(random() % 8);
            key.values.push_back(value);
        }
        keys.push_back(key);
    }
    const std::string text = FormatRegistryFile(keys);
    const RegFileModel model = ParseRegistryFile(text);
    EXPECT_EQ(model.droppedLines, 0u);
    ASSERT_EQ(model.keys.size(), keys.size());
    for (size_t k = 0; k < keys.size(); ++k) {
        EXPECT_EQ(model.keys[k].path, keys[k].path);
        ASSERT_EQ(model.keys[k].values.size(), keys[k].values.size());
        for (size_t i = 0; i < keys[k].values.size(); ++i) {
            EXPECT_EQ(model.keys[k].values[i].name, keys[k].values[i].name);
            EXPECT_EQ(model.keys[k].values[i].type, keys[k].values[i].type);
            EXPECT_EQ(model.keys[k].values[i].data, keys[k].values[i].data);
        }
    }
    EXPECT_EQ(FormatRegistryFile(model.keys), text);
}

}  // namespace
}  // namespace kra::platform
