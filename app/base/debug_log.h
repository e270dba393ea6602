// The debug log "kra.log": UTF-16LE with a byte-order mark, one line per
// call: "%02d:%02d:%02d \t%d \t%s\r\n" (local time, available memory in
// bytes as a 64-bit decimal, message). Messages are cut at 255 units, lines
// at 259 including their CR LF, which a cut line keeps. Each line is one write, so lines from
// different threads never interleave within themselves.
//
// Callers test DebugOn before calling Log (use KRA_LOG); the log itself does
// not. Only the instance that runs the player opens the file.
#pragma once
#include <string>

namespace kra {

// The DebugOn setting, read once at start-up.
extern bool g_debugOn;

// Creates or replaces the log file and writes the byte-order mark. A failure
// is ignored: the program runs on without a log.
void LogOpen(const std::u16string& path);
// Writes the "quit" line, flushes and closes. Safe to call when not open.
void LogClose();
bool LogIsOpen();

// printf-style (UTF-8 format, %s takes UTF-8).
void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
// One preformatted UTF-16 message.
void LogText(const std::u16string& message);

}  // namespace kra

#define KRA_LOG(...)                                   \
    do {                                               \
        if (::kra::g_debugOn) ::kra::Log(__VA_ARGS__); \
    } while (0)
