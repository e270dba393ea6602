// Parser of the headless window's event scripts. Pure: text in, steps out.
#include "platform/script.h"

namespace kra::platform {

namespace {

constexpr uint32_t kMaxPenCoordinate = 32767;
constexpr uint32_t kMaxWaitMs = 86400000;  // one day

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Splits a line into words; stops at a word that begins with '#'.
std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        if (i == line.size() || line[i] == '#') break;
        const size_t start = i;
        while (i < line.size() && !IsBlank(line[i])) ++i;
        words.push_back(line.substr(start, i - start));
    }
    return words;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Parses words[first..] as `count` numbers, each at most the matching max.
bool Numbers(const std::vector<std::string_view>& words, size_t first, size_t count,
             const uint64_t* max, uint64_t* out, std::string* reason) {
    if (words.size() < first + count) {
        *reason = "missing argument";
        return false;
    }
    if (words.size() > first + count) {
        *reason = "extra argument '" + std::string(words[first + count]) + "'";
        return false;
    }
    for (size_t i = 0; i < count; ++i) {
        if (!ParseUnsigned(words[first + i], max[i], &out[i])) {
            *reason = "bad number '" + std::string(words[first + i]) + "' (0.." +
                      std::to_string(max[i]) + ")";
            return false;
        }
    }
    return true;
}

bool ParseLine(const std::vector<std::string_view>& words, ScriptStep* step, std::string* reason) {
    const std::string_view verb = words[0];
    uint64_t n[2] = {0, 0};
    if (verb == "pen" || verb == "key" || verb == "focus") {
        if (words.size() < 2) {
            *reason = "missing argument";
            return false;
        }
        const std::string_view how = words[1];
        if (verb == "focus") {
            if (how != "in" && how != "out") {
                *reason = "focus takes in or out";
                return false;
            }
            step->verb = how == "in" ? ScriptVerb::kFocusIn : ScriptVerb::kFocusOut;
            return Numbers(words, 2, 0, nullptr, n, reason);
        }
        if (verb == "pen") {
            if (how == "down") {
                step->verb = ScriptVerb::kPenDown;
            } else if (how == "move") {
                step->verb = ScriptVerb::kPenMove;
            } else if (how == "up") {
                step->verb = ScriptVerb::kPenUp;
            } else {
                *reason = "pen takes down, move or up";
                return false;
            }
            const uint64_t max[2] = {kMaxPenCoordinate, kMaxPenCoordinate};
            if (!Numbers(words, 2, 2, max, n, reason)) return false;
            step->x = uint32_t(n[0]);
            step->y = uint32_t(n[1]);
            return true;
        }
        if (how != "down" && how != "up") {
            *reason = "key takes down or up";
            return false;
        }
        step->verb = how == "down" ? ScriptVerb::kKeyDown : ScriptVerb::kKeyUp;
        const uint64_t max[1] = {254};
        if (!Numbers(words, 2, 1, max, n, reason)) return false;
        if (n[0] == 0) {
            *reason = "key code 0";
            return false;
        }
        step->value = uint32_t(n[0]);
        return true;
    }
    if (verb == "post") {
        step->verb = ScriptVerb::kPost;
        if (words.size() != 4) {
            *reason = words.size() < 4 ? "missing argument" : "extra argument";
            return false;
        }
        return ParseMessageWords(words[1], words[2], words[3], &step->value, &step->wParam,
                                 &step->lParam, reason);
    }
    if (verb == "wait" || verb == "rotate") {
        const uint64_t max[1] = {verb == "wait" ? kMaxWaitMs : 4u};
        if (!Numbers(words, 1, 1, max, n, reason)) return false;
        if (verb == "rotate" && n[0] == 3) {
            *reason = "orientation must be 0, 1, 2 or 4";
            return false;
        }
        step->verb = verb == "wait" ? ScriptVerb::kWait : ScriptVerb::kRotate;
        step->value = uint32_t(n[0]);
        return true;
    }
    if (verb == "shot") {
        step->verb = ScriptVerb::kShot;
        if (words.size() != 2) {
            *reason = words.size() < 2 ? "missing file name" : "extra argument";
            return false;
        }
        step->file = std::string(words[1]);
        return true;
    }
    if (verb == "quit") {
        step->verb = ScriptVerb::kQuit;
        return Numbers(words, 1, 0, nullptr, n, reason);
    }
    *reason = "unknown verb '" + std::string(verb.substr(0, 32)) + "'";
    return false;
}

}  // namespace

bool ParseUnsigned(std::string_view word, uint64_t max, uint64_t* out) {
    uint64_t value = 0;
    const bool hex = word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X');
    const std::string_view digits = hex ? word.substr(2) : word;
    if (digits.empty()) return false;
    const unsigned base = hex ? 16 : 10;
    for (char c : digits) {
        const int d = hex ? HexDigit(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
        if (d < 0) return false;
        if (uint64_t(d) > max || value > (max - uint64_t(d)) / base) return false;
        value = value * base + uint64_t(d);
    }
    *out = value;
    return true;
}

bool ParseMessageWords(std::string_view msg, std::string_view wParam, std::string_view lParam,
                       uint32_t* message, uintptr_t* outW, intptr_t* outL, std::string* reason) {
    uint64_t m = 0, w = 0, l = 0;
    if (!ParseUnsigned(msg, 0xFFFF, &m)) {
        *reason = "bad message number '" + std::string(msg.substr(0, 32)) + "' (0..0xFFFF)";
        return false;
    }
    if (!ParseUnsigned(wParam, 0xFFFFFFFFu, &w)) {
        *reason = "bad wParam '" + std::string(wParam.substr(0, 32)) + "' (32-bit)";
        return false;
    }
    // lParam: unsigned 32-bit pattern, or a negative decimal down to -2^31.
    bool ok;
    if (!lParam.empty() && lParam[0] == '-') {
        const std::string_view digits = lParam.substr(1);
        ok = !digits.empty() && digits.find_first_not_of("0123456789") == std::string_view::npos &&
             ParseUnsigned(digits, 0x80000000u, &l);
        if (ok) l = uint64_t(-int64_t(l));
    } else {
        ok = ParseUnsigned(lParam, 0xFFFFFFFFu, &l);
    }
    if (!ok) {
        *reason = "bad lParam '" + std::string(lParam.substr(0, 32)) + "' (32-bit)";
        return false;
    }
    *message = uint32_t(m);
    *outW = uintptr_t(uint32_t(w));
    *outL = intptr_t(int32_t(uint32_t(l)));
    return true;
}

bool ParseScript(std::string_view text, std::vector<ScriptStep>* steps, ScriptError* error) {
    steps->clear();
    int lineNumber = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        ++lineNumber;
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        std::string reason;
        if (line.size() > kMaxScriptLine) {
            reason = "line longer than " + std::to_string(kMaxScriptLine) + " bytes";
        } else {
            for (char c : line) {
                if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F) {
                    reason = "control character in line";
                    break;
                }
            }
        }
        if (reason.empty()) {
            const std::vector<std::string_view> words = Words(line);
            if (words.empty()) continue;
            ScriptStep step{};
            step.line = lineNumber;
            if (ParseLine(words, &step, &reason)) {
                steps->push_back(std::move(step));
                continue;
            }
        }
        error->line = lineNumber;
        error->reason = reason;
        return false;
    }
    return true;
}

}  // namespace kra::platform
