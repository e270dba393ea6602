#include "graphics/lang.h"

#include "app/base/text.h"

namespace kra {

LanguageStrings g_lang;

const LangKey kLangKeys[22] = {
    {u"s_NoService=", u"No Service", 30, &LanguageStrings::noService},
    {u"s_FlightMode=", u"Flight Mode", 30, &LanguageStrings::flightMode},
    {u"s_AllSongs=", u"All Songs", 30, &LanguageStrings::allSongs},
    {u"s_Shuffle=", u"Shuffle", 30, &LanguageStrings::shuffle},
    {u"s_ShuffleAlbums=", u"Shuffle Albums", 30, &LanguageStrings::shuffleAlbums},
    {u"s_BrowseHints=", u"tap folder to set the library or arrow to view the sub-folder.", 260,
     &LanguageStrings::browseHints},
    {u"s_Cancel=", u"Cancel", 30, &LanguageStrings::cancel},
    {u"s_Quit=", u"Quit", 30, &LanguageStrings::quit},
    {u"s_About=", u"About", 30, &LanguageStrings::about},
    {u"s_Donate=", u"Donate", 30, &LanguageStrings::donate},
    {u"s_Playlists=", u"Playlists", 30, &LanguageStrings::playlists},
    {u"s_song=", u"song", 30, &LanguageStrings::song},
    {u"s_Songs=", u"Songs", 30, &LanguageStrings::songs},
    {u"s_artist=", u"artist", 30, &LanguageStrings::artist},
    {u"s_Artists=", u"Artists", 30, &LanguageStrings::artists},
    {u"s_album=", u"album", 30, &LanguageStrings::album},
    {u"s_Albums=", u"Albums", 30, &LanguageStrings::albums},
    {u"s_SetLibrary=", u"Set Library", 30, &LanguageStrings::setLibrary},
    {u"s_RefreshLibrary=", u"Refresh Library", 30, &LanguageStrings::refreshLibrary},
    {u"s_More=", u"More", 30, &LanguageStrings::more},
    {u"s_Up=", u"Up", 30, &LanguageStrings::up},
    {u"s_NowPlaying=", u"Now Playing", 30, &LanguageStrings::nowPlaying},
};

namespace {

// Units of the file as UTF-16, whatever form it was stored in.
std::u16string DecodeLangBytes(const uint8_t* data, size_t size) {
    std::u16string units;
    if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
        return Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data) + 3, size - 3));
    }
    bool bigEndian = size >= 2 && data[0] == 0xFE && data[1] == 0xFF;
    bool littleMark = size >= 2 && data[0] == 0xFF && data[1] == 0xFE;
    if (!bigEndian && !littleMark) {
        bool anyZero = false;
        for (size_t i = 0; i < size && !anyZero; ++i) anyZero = data[i] == 0;
        // Keys are ASCII, so UTF-16 text of them always holds zero bytes;
        // a file without any is plain 8-bit text.
        if (!anyZero && size > 0) {
            return Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size));
        }
    }
    // The mark of a little-endian file stays: it is harmless at the start of
    // the first line, where keys are searched anywhere.
    size_t start = bigEndian ? 2 : 0;
    units.reserve((size - start) / 2);
    for (size_t i = start; i + 1 < size; i += 2) {
        char16_t u = bigEndian ? char16_t((data[i] << 8) | data[i + 1])
                               : char16_t(data[i] | (data[i + 1] << 8));
        units.push_back(u);
    }
    return units;
}

}  // namespace

LangFile ParseLangFile(const uint8_t* data, size_t size) {
    LangFile file;
    if (size > kLangFileMaxBytes) size = kLangFileMaxBytes;
    std::u16string units = DecodeLangBytes(data, size);
    size_t pos = 0;
    while (pos < units.size()) {
        // A line ends after its line feed or after 259 units, whichever
        // comes first; the rest of a long line is read as the next line.
        size_t end = pos;
        while (end < units.size() && end - pos < kLangLineUnits) {
            if (units[end++] == u'\n') break;
        }
        std::u16string line = units.substr(pos, end - pos);
        // The text of a line stops at a zero unit.
        size_t zero = line.find(u'\0');
        if (zero != std::u16string::npos) line.resize(zero);
        file.lines.push_back(std::move(line));
        pos = end;
    }
    return file;
}

namespace {

std::u16string CutToCapacity(std::u16string_view text, size_t capacity) {
    size_t keep = capacity == 0 ? 0 : capacity - 1;
    if (text.size() <= keep) return std::u16string(text);
    // Never end on the first half of a surrogate pair.
    if (keep > 0 && text[keep - 1] >= 0xD800 && text[keep - 1] <= 0xDBFF) --keep;
    return std::u16string(text.substr(0, keep));
}

}  // namespace

std::u16string ReadLangString(const LangFile* file, std::u16string_view key,
                              std::u16string_view defaultText, size_t capacity) {
    if (file != nullptr && !key.empty()) {
        for (const std::u16string& line : file->lines) {
            size_t at = line.find(key);
            if (at == std::u16string::npos) continue;
            size_t begin = at + key.size();
            size_t end = begin;
            while (end < line.size() && line[end] != u'\r' && line[end] != u'\n') ++end;
            return CutToCapacity(std::u16string_view(line).substr(begin, end - begin), capacity);
        }
    }
    return CutToCapacity(defaultText, capacity);
}

namespace {

char16_t LowerUnit(char16_t c) {
    if (c < 0x80) return FoldUnit(c);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return char16_t(c + 0x20);
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x130) return u'i';
        if (c == 0x178) return 0xFF;
        bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        bool evenUpper = (c <= 0x137) || (c >= 0x14A && c <= 0x177);
        if (oddUpper && (c & 1)) return char16_t(c + 1);
        if (evenUpper && !(c & 1)) return char16_t(c + 1);
        return c;
    }
    if (c >= 0x386 && c <= 0x3AB) {
        if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return char16_t(c + 0x20);
        if (c == 0x386) return 0x3AC;
        if (c >= 0x388 && c <= 0x38A) return char16_t(c + 37);
        if (c == 0x38C) return 0x3CC;
        if (c == 0x38E || c == 0x38F) return char16_t(c + 63);
        return c;
    }
    if (c >= 0x400 && c <= 0x4FF) {
        if (c <= 0x40F) return char16_t(c + 0x50);
        if (c <= 0x42F) return char16_t(c + 0x20);
        if (c == 0x4C0) return 0x4CF;
        bool evenUpper = (c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || c >= 0x4D0;
        if (evenUpper && !(c & 1)) return char16_t(c + 1);
        if (c >= 0x4C1 && c <= 0x4CE && (c & 1)) return char16_t(c + 1);
    }
    return c;
}

}  // namespace

void LowerCaseText(std::u16string& text) {
    for (char16_t& c : text) c = LowerUnit(c);
}

void ReadLanguageStrings(const LangFile* file, bool withBackLabels, LanguageStrings& out) {
    for (const LangKey& entry : kLangKeys) {
        bool backLabel =
            entry.field == &LanguageStrings::up || entry.field == &LanguageStrings::nowPlaying;
        const LangFile* source = (backLabel && !withBackLabels) ? nullptr : file;
        out.*entry.field = ReadLangString(source, entry.key, entry.defaultText, entry.capacity);
    }
}

void LowerCaseCountWords(LanguageStrings& strings) {
    LowerCaseText(strings.songs);
    LowerCaseText(strings.artists);
    LowerCaseText(strings.albums);
}

}  // namespace kra
