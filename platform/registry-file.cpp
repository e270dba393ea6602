// REGEDIT4 text <-> registry model. Every read is bounded by the line it
// works on; lines come from the input bytes only.
#include "platform/registry-file.h"

#include <cstdint>
#include <cstdio>
#include <unordered_map>

#include "platform/registry.h"
#include "platform/utf8.h"

namespace kra::platform {

namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::string_view kHeaderV5 = "Windows Registry Editor Version 5.00";

char16_t Fold(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
    return s;
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
    return s;
}

// Strict UTF-8 -> UTF-16; false when the bytes are not valid UTF-8.
bool DecodeUtf8(std::string_view s, std::u16string& out) {
    out.clear();
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        const uint8_t b0 = uint8_t(s[i]);
        if (b0 < 0x80) {
            out.push_back(b0);
            ++i;
            continue;
        }
        size_t length;
        char32_t cp;
        char32_t min;
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            length = 2, cp = b0 & 0x1F, min = 0x80;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            length = 3, cp = b0 & 0x0F, min = 0x800;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            length = 4, cp = b0 & 0x07, min = 0x10000;
        } else {
            return false;
        }
        if (length > s.size() - i) return false;
        for (size_t k = 1; k < length; ++k) {
            const uint8_t b = uint8_t(s[i + k]);
            if ((b & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (b & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        AppendCodePointUtf16(out, cp);
        i += length;
    }
    return true;
}

std::u16string DecodeLine(std::string_view s) {
    std::u16string out;
    if (DecodeUtf8(s, out)) return out;
    out.clear();
    for (char c : s) out.push_back(char16_t(uint8_t(c)));  // Latin-1
    return out;
}

// UTF-16 -> UTF-8; the caller has checked that every surrogate is paired
// (an unpaired one would come out as U+FFFD).
void AppendUtf8(std::string& out, std::u16string_view s) {
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        AppendCodePointUtf8(out, cp);
    }
}

bool HasUnpairedSurrogate(std::u16string_view s) {
    for (size_t i = 0; i < s.size(); ++i) {
        const char16_t u = s[i];
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 >= s.size() || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF) return true;
            ++i;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            return true;
        }
    }
    return false;
}

// A quoted text at the start of `s` (the opening quote included); returns the
// characters after the closing quote, or false when it is not closed. "\\"
// and "\"" are escapes; any other backslash stands for itself.
bool ParseQuoted(std::u16string_view s, std::u16string& text, std::u16string_view& rest) {
    text.clear();
    if (s.empty() || s[0] != u'"') return false;
    for (size_t i = 1; i < s.size(); ++i) {
        const char16_t c = s[i];
        if (c == u'"') {
            rest = s.substr(i + 1);
            return true;
        }
        if (c == u'\\' && i + 1 < s.size() && (s[i + 1] == u'\\' || s[i + 1] == u'"')) {
            text.push_back(s[i + 1]);
            ++i;
            continue;
        }
        text.push_back(c);
    }
    return false;
}

std::u16string_view TrimLeft16(std::u16string_view s) {
    while (!s.empty() && (s.front() == u' ' || s.front() == u'\t')) s.remove_prefix(1);
    return s;
}

bool OnlySpace16(std::u16string_view s) {
    return TrimLeft16(s).empty();
}

// "Name"= or @= at the start of a value line; `rest` is what follows '='.
bool ParseValueName(std::u16string_view line, std::u16string& name, std::u16string_view& rest) {
    std::u16string_view after;
    if (!line.empty() && line[0] == u'@') {
        name.clear();
        after = line.substr(1);
    } else if (!ParseQuoted(line, name, after)) {
        return false;
    }
    after = TrimLeft16(after);
    if (after.empty() || after[0] != u'=') return false;
    rest = TrimLeft16(after.substr(1));
    return true;
}

// "hex:" or "hex(N):" at the start of `s` (any case); the type goes to
// `type` and the list that follows to `list`.
bool ParseHexPrefix(std::u16string_view s, uint32_t& type, std::u16string_view& list) {
    if (s.size() < 4 || Fold(s[0]) != u'h' || Fold(s[1]) != u'e' || Fold(s[2]) != u'x')
        return false;
    size_t i = 3;
    type = kRegBinary;
    if (s[i] == u'(') {
        ++i;
        uint32_t value = 0;
        size_t digits = 0;
        while (i < s.size() && s[i] < 0x80 && HexDigit(char(s[i])) >= 0) {
            if (++digits > 8) return false;
            value = (value << 4) | uint32_t(HexDigit(char(s[i])));
            ++i;
        }
        if (digits == 0 || i >= s.size() || s[i] != u')') return false;
        type = value;
        ++i;
    }
    if (i >= s.size() || s[i] != u':') return false;
    list = s.substr(i + 1);
    return true;
}

// "01,ff, 2a" -> bytes. Whitespace around items; an empty list is allowed,
// and so is one trailing comma.
bool ParseHexList(std::u16string_view s, std::vector<uint8_t>& out) {
    out.clear();
    size_t i = 0;
    const auto skipSpace = [&] {
        while (i < s.size() && (s[i] == u' ' || s[i] == u'\t')) ++i;
    };
    skipSpace();
    while (i < s.size()) {
        int value = 0;
        size_t digits = 0;
        while (i < s.size() && s[i] < 0x80 && HexDigit(char(s[i])) >= 0) {
            if (++digits > 2) return false;
            value = value * 16 + HexDigit(char(s[i]));
            ++i;
        }
        if (digits == 0) return false;
        out.push_back(uint8_t(value));
        skipSpace();
        if (i == s.size()) break;
        if (s[i] != u',') return false;
        ++i;
        skipSpace();
    }
    return true;
}

bool ParseDword(std::u16string_view s, std::vector<uint8_t>& out) {
    uint32_t value = 0;
    size_t digits = 0;
    size_t i = 0;
    while (i < s.size() && s[i] < 0x80 && HexDigit(char(s[i])) >= 0) {
        if (++digits > 8) return false;
        value = (value << 4) | uint32_t(HexDigit(char(s[i])));
        ++i;
    }
    if (digits == 0 || !OnlySpace16(s.substr(i))) return false;
    out = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
    return true;
}

// The data part of a value line (after '='), the hex lists already joined.
bool ParseData(std::u16string_view s, RegFileValue& value) {
    if (!s.empty() && s[0] == u'"') {
        std::u16string text;
        std::u16string_view rest;
        if (!ParseQuoted(s, text, rest) || !OnlySpace16(rest)) return false;
        value.type = kRegSz;
        value.data.clear();
        value.data.reserve(text.size() * 2 + 2);
        for (char16_t c : text) {
            value.data.push_back(uint8_t(c));
            value.data.push_back(uint8_t(c >> 8));
        }
        value.data.push_back(0);
        value.data.push_back(0);
        return true;
    }
    if (s.size() >= 6 && Fold(s[0]) == u'd' && Fold(s[1]) == u'w' && Fold(s[2]) == u'o' &&
        Fold(s[3]) == u'r' && Fold(s[4]) == u'd' && s[5] == u':') {
        value.type = kRegDword;
        return ParseDword(s.substr(6), value.data);
    }
    std::u16string_view list;
    return ParseHexPrefix(s, value.type, list) && ParseHexList(list, value.data);
}

// A continuation line of a hex list holds only list characters.
bool IsHexListText(std::string_view s) {
    for (char c : s) {
        if (HexDigit(c) < 0 && c != ',' && !IsSpace(c) && c != '\\') return false;
    }
    return true;
}

bool EndsWithBackslash(std::string_view s) {
    s = TrimRight(s);
    return !s.empty() && s.back() == '\\';
}

// The text form is kept for strings that come back unchanged from it.
bool IsPlainString(const RegFileValue& value, std::u16string& text) {
    if (value.type != kRegSz) return false;
    const std::vector<uint8_t>& d = value.data;
    if (d.size() < 2 || d.size() % 2 != 0) return false;
    text.clear();
    for (size_t i = 0; i + 2 < d.size(); i += 2) {
        const char16_t c = char16_t(d[i] | (d[i + 1] << 8));
        if (c == 0 || c == u'\r' || c == u'\n') return false;
        text.push_back(c);
    }
    if (d[d.size() - 2] != 0 || d[d.size() - 1] != 0) return false;
    return !HasUnpairedSurrogate(text);
}

void AppendEscaped(std::string& out, std::u16string_view text) {
    std::u16string escaped;
    escaped.reserve(text.size() + 8);
    for (char16_t c : text) {
        if (c == u'\\' || c == u'"') escaped.push_back(u'\\');
        escaped.push_back(c);
    }
    AppendUtf8(out, escaped);
}

}  // namespace

std::u16string FoldKeyPath(std::u16string_view path) {
    std::u16string out;
    out.reserve(path.size());
    for (char16_t c : path) {
        if (c == u'\\' && (out.empty() || out.back() == u'\\')) continue;
        out.push_back(Fold(c));
    }
    if (!out.empty() && out.back() == u'\\') out.pop_back();
    return out;
}

bool SameValueName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Fold(a[i]) != Fold(b[i])) return false;
    }
    return true;
}

bool IsWritableName(std::u16string_view text) {
    for (char16_t c : text) {
        if (c == 0 || c == u'\r' || c == u'\n') return false;
    }
    return !HasUnpairedSurrogate(text);
}

RegFileModel ParseRegistryFile(std::string_view bytes) {
    RegFileModel model;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);

    // Split into lines without their LF or CR LF.
    std::vector<std::string_view> lines;
    while (!bytes.empty()) {
        const size_t end = bytes.find('\n');
        std::string_view line = bytes.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        bytes.remove_prefix(end + 1);
    }

    // Folded key path -> index, and per key folded value name -> index, so
    // that a file of many keys or values parses in linear time.
    std::unordered_map<std::u16string, size_t> keyIndex;
    std::vector<std::unordered_map<std::u16string, size_t>> valueIndex;
    size_t current = SIZE_MAX;
    bool seenContent = false;
    for (size_t index = 0; index < lines.size(); ++index) {
        const std::string_view raw = TrimLeft(lines[index]);
        if (TrimRight(raw).empty() || raw[0] == ';') continue;
        const bool first = !seenContent;
        seenContent = true;
        if (raw.find('\0') != std::string_view::npos) {
            ++model.droppedLines;
            continue;
        }
        if (first) {
            const std::string_view header = TrimRight(raw);
            if (header == kHeader || header == kHeaderV5) {
                model.hasHeader = true;
                continue;
            }
        }

        if (raw[0] == '[') {
            const std::u16string line = DecodeLine(TrimRight(raw));
            const size_t close = line.find_last_of(u']');
            std::u16string path;
            if (close != std::u16string::npos) path = line.substr(1, close - 1);
            current = SIZE_MAX;
            const std::u16string folded = FoldKeyPath(path);
            if (close != line.size() - 1 || path.empty() || path[0] == u'-' || folded.empty()) {
                ++model.droppedLines;
                continue;
            }
            const auto [it, added] = keyIndex.emplace(folded, model.keys.size());
            if (added) {
                model.keys.push_back(RegFileKey{std::move(path), {}});
                valueIndex.emplace_back();
            }
            current = it->second;
            continue;
        }

        if (raw[0] != '"' && raw[0] != '@') {
            ++model.droppedLines;
            continue;
        }
        // A hex list may go on over the next lines, each but the last ending
        // in '\'. A line that is not list text leaves the value unfinished.
        std::string joined(raw);
        size_t consumed = 0;
        bool broken = false;
        if (EndsWithBackslash(joined)) {
            std::u16string name;
            std::u16string_view rest;
            const std::u16string probe = DecodeLine(raw);
            uint32_t type = 0;
            std::u16string_view list;
            if (ParseValueName(probe, name, rest) && ParseHexPrefix(rest, type, list)) {
                while (EndsWithBackslash(joined)) {
                    joined.resize(TrimRight(joined).size() - 1);
                    const size_t next = index + 1 + consumed;
                    if (next >= lines.size() || TrimRight(lines[next]).empty() ||
                        !IsHexListText(lines[next])) {
                        broken = true;
                        break;
                    }
                    joined += TrimLeft(lines[next]);
                    ++consumed;
                }
            }
        }
        index += consumed;
        const std::u16string line = DecodeLine(joined);
        RegFileValue value;
        std::u16string_view rest;
        if (broken || current == SIZE_MAX || !ParseValueName(line, value.name, rest) ||
            !ParseData(rest, value)) {
            model.droppedLines += 1 + consumed;
            continue;
        }
        RegFileKey& key = model.keys[current];
        std::u16string foldedName;
        foldedName.reserve(value.name.size());
        for (char16_t c : value.name) foldedName.push_back(Fold(c));
        const auto [it, added] =
            valueIndex[current].emplace(std::move(foldedName), key.values.size());
        if (added) {
            key.values.push_back(std::move(value));
        } else {
            key.values[it->second].type = value.type;
            key.values[it->second].data = std::move(value.data);
        }
    }
    return model;
}

std::string FormatRegistryFile(const std::vector<RegFileKey>& keys) {
    std::string out;
    out += kHeader;
    out += "\n\n";
    std::u16string text;
    char number[16];
    for (const RegFileKey& key : keys) {
        out += '[';
        AppendUtf8(out, key.path);
        out += "]\n";
        for (const RegFileValue& value : key.values) {
            if (value.name.empty()) {
                out += '@';
            } else {
                out += '"';
                AppendEscaped(out, value.name);
                out += '"';
            }
            out += '=';
            if (IsPlainString(value, text)) {
                out += '"';
                AppendEscaped(out, text);
                out += "\"\n";
                continue;
            }
            if (value.type == kRegDword && value.data.size() == 4) {
                const uint32_t v = uint32_t(value.data[0]) | uint32_t(value.data[1]) << 8 |
                                   uint32_t(value.data[2]) << 16 | uint32_t(value.data[3]) << 24;
                snprintf(number, sizeof number, "dword:%08x\n", v);
                out += number;
                continue;
            }
            if (value.type == kRegBinary) {
                out += "hex:";
            } else {
                snprintf(number, sizeof number, "hex(%x):", value.type);
                out += number;
            }
            for (size_t i = 0; i < value.data.size(); ++i) {
                snprintf(number, sizeof number, i == 0 ? "%02x" : ",%02x", value.data[i]);
                out += number;
            }
            out += '\n';
        }
        out += '\n';
    }
    return out;
}

}  // namespace kra::platform
