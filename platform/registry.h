// Settings store with registry semantics.
//
// Values are typed (REG_SZ, REG_DWORD, REG_BINARY) and stored as raw bytes:
// a REG_SZ holds UTF-16LE with its terminating zero, a DWORD 4 bytes
// little-endian, flags 1-byte binaries. A read passes a buffer size; a stored
// value larger than the buffer fails to read (it is not truncated), and reads
// do not check the stored type.
//
// HKCU lives in one REGEDIT4-style text file (see RegistryOpenFile), written
// atomically on every flush. HKLM values are read-only and supplied by the
// state provider. All functions are main-thread only unless noted.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kra::platform {

enum class RegRoot { CurrentUser, LocalMachine };
enum RegType : uint32_t { kRegNone = 0, kRegSz = 1, kRegBinary = 3, kRegDword = 4 };

struct RegValue {
    uint32_t type = kRegNone;
    std::vector<uint8_t> data;
};

// Key paths use '\' separators and compare case-insensitively (ASCII), like
// "Software\Movo\KRA".
//
// Backends: the file store (the player), the in-memory store (tests).
// Either starts empty. Opening a file that is damaged, truncated or not text
// keeps every well-formed value it holds and drops the rest.
void RegistryUseMemory();
void RegistryOpenFile(const std::string& posixPath);
// $XDG_CONFIG_HOME/kra/registry.reg, else ~/.config/kra/registry.reg.
std::string DefaultRegistryPath();

// What the last RegistryOpenFile found, for the caller's log line.
struct RegistryLoadReport {
    bool fileFound = false;
    bool headerFound = false;
    size_t keys = 0;
    size_t values = 0;
    size_t droppedLines = 0;  // lines that could not be parsed (kept in "<file>.bad")
};
RegistryLoadReport RegistryLastLoad();

// True when the key exists (HKCU) or the state provider knows it (HKLM).
bool RegKeyExists(RegRoot root, const std::u16string& key);
// Creates the key (HKCU only). Returns false on failure.
bool RegCreateKey(RegRoot root, const std::u16string& key);
bool RegDeleteKey(RegRoot root, const std::u16string& key);

// Reads into `out` at most `bufferSize` bytes: false when missing or larger.
bool RegQueryValue(RegRoot root, const std::u16string& key, const std::u16string& name,
                   uint32_t bufferSize, RegValue& out);
// Writes one value (HKCU only); takes effect in the file at the next flush.
bool RegSetValue(RegRoot root, const std::u16string& key, const std::u16string& name, uint32_t type,
                 const std::vector<uint8_t>& data);
bool RegDeleteValue(RegRoot root, const std::u16string& key, const std::u16string& name);
// Writes the file (temporary file + rename). False when the write failed.
bool RegFlush();

// HKLM values supplied by the state provider: tests and the power backends
// set them. Setting a missing type (kRegNone) removes the value.
void RegSetStateValue(const std::u16string& key, const std::u16string& name, const RegValue& value);
void RegClearState();

}  // namespace kra::platform
