// The device's OEM string from the devicetree model or the DMI product name.
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>

#include "platform/display.h"

namespace kra::platform {
namespace {

std::mutex g_oemMutex;
std::optional<std::string> g_oemOverride;

std::string ReadSmallFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::string text;
    char c;
    while (text.size() < 255 && in.get(c)) text.push_back(c);
    // The devicetree string ends in a zero byte, the DMI one in a newline.
    while (!text.empty() && (text.back() == '\0' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    if (auto zero = text.find('\0'); zero != std::string::npos) text.resize(zero);
    return text;
}

}  // namespace

std::string OemInfo() {
    {
        std::lock_guard lock(g_oemMutex);
        if (g_oemOverride) return *g_oemOverride;
    }
    std::string model = ReadSmallFile("/proc/device-tree/model");
    if (model.empty()) model = ReadSmallFile("/sys/class/dmi/id/product_name");
    return model;
}

void SetOemInfo(const std::string& text) {
    std::lock_guard lock(g_oemMutex);
    g_oemOverride = text.substr(0, 255);
}

}  // namespace kra::platform
