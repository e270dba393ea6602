#include "app/base/debug_log.h"

#include <cstdarg>
#include <mutex>

#include "app/base/text.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace kra {

bool g_debugOn = false;

namespace {

constexpr size_t kMessageUnits = 255;  // a 256-unit buffer with its zero
constexpr size_t kLineUnits = 259;     // a 260-unit buffer with its zero

std::mutex g_logMutex;
platform::File g_logFile;

void AppendLe(std::string& bytes, const std::u16string& text) {
    for (char16_t c : text) {
        bytes.push_back(char(c & 0xFF));
        bytes.push_back(char(c >> 8));
    }
}

void WriteLine(std::u16string message) {
    if (message.size() > kMessageUnits) message.resize(kMessageUnits);
    const platform::LocalTime now = platform::NowLocal();
    const std::string head = Format("%02d:%02d:%02d \t%llu \t", now.hour, now.minute, now.second,
                                    static_cast<unsigned long long>(platform::AvailableMemory()));
    std::u16string line = Utf8ToUtf16(head) + message;
    // A line is at most 259 units with its CR LF; a longer one is cut before
    // the line end, which is kept so the next line starts on its own.
    if (line.size() > kLineUnits - 2) line.resize(kLineUnits - 2);
    line += u"\r\n";
    std::string bytes;
    AppendLe(bytes, line);
    std::lock_guard lock(g_logMutex);
    if (g_logFile.IsOpen()) g_logFile.Write(bytes.data(), bytes.size());
}

}  // namespace

void LogOpen(const std::u16string& path) {
    std::lock_guard lock(g_logMutex);
    g_logFile.Close();
    if (!g_logFile.OpenWrite(path)) return;
    static const unsigned char kBom[2] = {0xFF, 0xFE};
    g_logFile.Write(kBom, sizeof kBom);
}

void LogClose() {
    if (!LogIsOpen()) return;
    WriteLine(u"quit");
    std::lock_guard lock(g_logMutex);
    g_logFile.Flush();
    g_logFile.Close();
}

bool LogIsOpen() {
    std::lock_guard lock(g_logMutex);
    return g_logFile.IsOpen();
}

void Log(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string message = FormatV(format, args);
    va_end(args);
    WriteLine(Utf8ToUtf16(message));
}

void LogText(const std::u16string& message) {
    WriteLine(message);
}

}  // namespace kra
