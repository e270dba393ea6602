// The settings-file parser on arbitrary bytes. Whatever it keeps must come
// back unchanged through the writer: parse(format(model)) == model, and the
// writer's text is a fixed point.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/registry-file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kra::platform;
    const RegFileModel model =
        ParseRegistryFile(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::string text = FormatRegistryFile(model.keys);
    const RegFileModel again = ParseRegistryFile(text);
    if (!again.hasHeader || again.droppedLines != 0) abort();
    if (again.keys.size() != model.keys.size()) abort();
    for (size_t k = 0; k < model.keys.size(); ++k) {
        const RegFileKey& a = model.keys[k];
        const RegFileKey& b = again.keys[k];
        if (a.path != b.path || a.values.size() != b.values.size()) abort();
        for (size_t i = 0; i < a.values.size(); ++i) {
            if (a.values[i].name != b.values[i].name || a.values[i].type != b.values[i].type ||
                a.values[i].data != b.values[i].data)
                abort();
        }
    }
    if (FormatRegistryFile(again.keys) != text) abort();
    return 0;
}
