// Scripts that drive the headless window, one event per line:
//
//   pen down|move|up X Y      X, Y 0..32767, logical coordinates
//   key down|up CODE          virtual key code 1..254
//   post MSG WPARAM LPARAM    message 0..0xFFFF, wParam 32-bit, lParam
//                             signed 32-bit (0xFFFFFFFF or -1)
//   wait MS                   run the loop for MS (0..86400000) ms of the
//                             run's clock (real, or virtual: no real waiting)
//   rotate CODE               turn the display to orientation 0, 1, 2 or 4
//   focus in|out              the window gains or loses the focus
//   shot FILE                 save the frame shown now as PNG (no spaces)
//   quit                      close the window (kWmClose), end of script
//
// Reaching the end of the script closes the window as quit does.
//
// Numbers are decimal or 0x hex. Words are separated by blanks; a '#' that
// begins a word starts a comment to the end of the line; blank lines are
// skipped. Lines end with LF (a CR before it is dropped) and are at most
// kMaxScriptLine bytes.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kra::platform {

constexpr size_t kMaxScriptLine = 1024;

enum class ScriptVerb {
    kPenDown,
    kPenMove,
    kPenUp,
    kKeyDown,
    kKeyUp,
    kPost,
    kWait,
    kRotate,
    kFocusIn,
    kFocusOut,
    kShot,
    kQuit
};

struct ScriptStep {
    ScriptVerb verb;
    int line;               // 1-based
    uint32_t x = 0, y = 0;  // pen
    uint32_t value = 0;     // key code, message, wait ms, orientation
    uintptr_t wParam = 0;   // post
    intptr_t lParam = 0;    // post
    std::string file;       // shot
};

struct ScriptError {
    int line = 0;
    std::string reason;
};

// Parses a whole script. On the first bad line returns false with its line
// number and the reason; `steps` then holds the steps before it.
bool ParseScript(std::string_view text, std::vector<ScriptStep>* steps, ScriptError* error);

// A number word: decimal digits or 0x followed by hex digits, at most `max`.
bool ParseUnsigned(std::string_view word, uint64_t max, uint64_t* out);

// The three words of a posted message (MSG WPARAM LPARAM) under the rules
// above; on failure *reason names the faulty word.
bool ParseMessageWords(std::string_view msg, std::string_view wParam, std::string_view lParam,
                       uint32_t* message, uintptr_t* outW, intptr_t* outL, std::string* reason);

}  // namespace kra::platform
