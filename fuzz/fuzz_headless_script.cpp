// Event scripts for the headless window.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<kra::platform::ScriptStep> steps;
    kra::platform::ScriptError error;
    const bool ok = kra::platform::ParseScript(
        std::string_view(reinterpret_cast<const char*>(data), size), &steps, &error);
    // A failure names a line and a reason; every step has a line.
    if (!ok && (error.line < 1 || error.reason.empty())) __builtin_trap();
    for (const auto& step : steps)
        if (step.line < 1) __builtin_trap();
    return 0;
}
