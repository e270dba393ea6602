// The settings file: REGEDIT4 text, parsed into a plain model and written
// back from it. Pure functions, no I/O; the store (registry-store.cpp) does
// the reading, writing and locking.
//
// The file is UTF-8. A line that is not valid UTF-8 is read as Latin-1 (the
// ANSI form older editors write), so hand-typed text is never lost; it comes
// back as UTF-8 at the next write. Line ends may be LF or CR LF; a UTF-8
// byte-order mark is skipped.
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\Software\Movo\KRA]
//   "LastFolder"="\\Storage Card"       REG_SZ, \\ and \" escaped
//   "MusicVolume"=dword:00000050        REG_DWORD, exactly 4 bytes
//   "DebugOn"=hex:01                    REG_BINARY
//   "Odd"=hex(1):5c,00                  any other type or shape of data
//   @="default value"                   the value with the empty name
//
// A string is written as text only when its bytes are UTF-16 text with one
// terminating zero and nothing after it, without CR or LF and without
// unpaired surrogates; anything else uses the hex(1) form, so every value
// comes back byte for byte. Reading also accepts hex lists continued over
// several lines with a trailing '\', dword values of 1 to 8 digits, spaces
// around '=', comment lines starting with ';', and a missing header.
// Unparseable lines are dropped and counted; values before the first key,
// deletion entries ("[-KEY]", "Name"=-) and lines holding a NUL byte are
// dropped too. A key or value given twice is merged, the later value wins.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kra::platform {

struct RegFileValue {
    std::u16string name;  // empty: the default value ("@")
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

struct RegFileKey {
    std::u16string path;  // as written between the brackets, root included
    std::vector<RegFileValue> values;
};

struct RegFileModel {
    bool hasHeader = false;
    size_t droppedLines = 0;
    std::vector<RegFileKey> keys;  // in file order, duplicates merged
};

RegFileModel ParseRegistryFile(std::string_view bytes);
std::string FormatRegistryFile(const std::vector<RegFileKey>& keys);

// Key paths compare case-insensitively (ASCII) and ignore empty components:
// "HKEY_CURRENT_USER\\Software\" matches "hkey_current_user\software".
std::u16string FoldKeyPath(std::u16string_view path);
// Value names compare case-insensitively (ASCII).
bool SameValueName(std::u16string_view a, std::u16string_view b);
// True when the text can stand in the file as a key path or value name: no
// NUL, CR or LF and no unpaired surrogate.
bool IsWritableName(std::u16string_view text);

}  // namespace kra::platform
