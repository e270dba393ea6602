// Clock pictures from the settings file and strftime formats from the
// locale on arbitrary bytes: the clock text stays within 20 units.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/clock.h"
#include "platform/state-provider.h"
#include "screens/status_bar.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    // The first three bytes choose the time, the rest is the picture.
    const kra::platform::LocalTime time{2024, 1, 1, data[0] % 24, data[1] % 60, data[2] % 60, 1};
    std::u16string picture;
    for (size_t i = 3; i + 1 < size; i += 2) picture += char16_t(data[i] | (data[i + 1] << 8));
    if (kra::FormatClockText(picture, time).size() > 20) abort();
    kra::FormatTimePicture(picture, time, true, true);
    const std::string format(reinterpret_cast<const char*>(data) + 3, size - 3);
    const std::u16string converted = kra::platform::TimePictureFromStrftime(format);
    if (converted.empty()) abort();
    if (kra::FormatClockText(converted, time).size() > 20) abort();
    return 0;
}
