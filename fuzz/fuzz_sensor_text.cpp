// The IIO sysfs texts on arbitrary bytes: a number or a mount matrix is
// either refused or finite, and the tilt from parsed values stays within
// -90..90 degrees.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/sensor-text.h"
#include "platform/sensor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    double number = 0;
    if (kra::platform::ParseSysfsNumber(text, &number) && !std::isfinite(number)) abort();

    double matrix[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    const bool parsed = kra::platform::ParseMountMatrix(text, matrix);
    for (const auto& row : matrix) {
        for (double value : row) {
            if (!std::isfinite(value)) abort();
        }
    }
    // The matrix applied to a unit vector along each axis, and to the
    // parsed number as an acceleration: whole degrees within range.
    const double a = parsed ? 1.0 : number;
    const double vectors[4][3] = {{matrix[0][0], matrix[1][0], matrix[2][0]},
                                  {matrix[0][1], matrix[1][1], matrix[2][1]},
                                  {matrix[0][2] * a, matrix[1][2] * a, matrix[2][2] * a},
                                  {a, -a, a * 1e300}};
    for (const auto& v : vectors) {
        int32_t x = 0, y = 0;
        kra::platform::TiltDegrees(v, &x, &y);
        if (x < -90 || x > 90 || y < -90 || y > 90) abort();
    }
    kra::platform::OrientationValue(std::string(text));
    return 0;
}
