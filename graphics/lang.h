// The translation file "lang.ini" and the words the screens show.
//
// The file is UTF-16LE text read as lines of at most 259 units (a longer line
// continues as the next line). A line carries a value when it contains a key;
// keys end in '=', are case-sensitive and may stand anywhere in the line. The
// value runs from after the key to the first carriage return or line feed (or
// the end of the line). For each key the lines are searched from the top and
// the first line that contains the key wins; a key no line contains gives the
// English default. Values longer than their capacity are cut to capacity - 1
// units.
//
// Beyond the UTF-16LE form the reader accepts a UTF-16BE file with its
// byte-order mark and UTF-8 (with a mark, or a file without any zero byte,
// which UTF-16 text of the keys always has).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kra {

inline constexpr size_t kLangLineUnits = 259;         // longest line, without terminator
inline constexpr size_t kLangFileMaxBytes = 1 << 20;  // larger files are read up to this

// A language file split into lines, ready for lookups.
struct LangFile {
    std::vector<std::u16string> lines;
};

// Splits the file's bytes into lines. Never fails: any bytes give some lines.
LangFile ParseLangFile(const uint8_t* data, size_t size);
// Reads and parses a file; false when it cannot be opened (out is then empty).
bool ReadLangFile(const std::u16string& path, LangFile& out);

// The value of key in file, cut to capacity - 1 units; the default (likewise
// cut) when file is null or no line holds the key. A cut never leaves half a
// surrogate pair at the end.
std::u16string ReadLangString(const LangFile* file, std::u16string_view key,
                              std::u16string_view defaultText, size_t capacity);

// Lower-cases in place: ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic.
void LowerCaseText(std::u16string& text);

// The words of the program, with their English defaults.
struct LanguageStrings {
    std::u16string noService;
    std::u16string flightMode;
    std::u16string allSongs;
    std::u16string shuffle;
    std::u16string shuffleAlbums;
    std::u16string browseHints;
    std::u16string cancel;
    std::u16string quit;
    std::u16string about;
    std::u16string donate;
    std::u16string playlists;
    std::u16string song;   // count word for one
    std::u16string songs;  // tab label, then lower-cased as the plural count word
    std::u16string artist;
    std::u16string artists;  // tab and back-button label, then the plural count word
    std::u16string album;
    std::u16string albums;  // tab and back-button label, then the plural count word
    std::u16string setLibrary;
    std::u16string refreshLibrary;
    std::u16string more;
    std::u16string up;          // back-button label
    std::u16string nowPlaying;  // label of the mirrored back button
};

// One row of the key table, in reading order.
struct LangKey {
    const char16_t* key;
    const char16_t* defaultText;
    size_t capacity;  // units including the terminator
    std::u16string LanguageStrings::*field;
};
// The table in the order the strings are read; "s_Up=" and "s_NowPlaying="
// are the last two.
extern const LangKey kLangKeys[22];

// Reads every string of the table from file (null: all defaults). withBackLabels
// false leaves "s_Up=" and "s_NowPlaying=" at their defaults without reading them
// (they are read only when the back-button image exists).
void ReadLanguageStrings(const LangFile* file, bool withBackLabels, LanguageStrings& out);

// Lower-cases the three plural count words (after the labels that use the
// capitalised forms are rendered).
void LowerCaseCountWords(LanguageStrings& strings);

// The process-wide strings, filled by LoadLanguage.
extern LanguageStrings g_lang;

}  // namespace kra
