// The text of IIO sysfs attributes, and the tilt angles from an
// acceleration. Pure functions: every parser reads only the bytes it is
// given.
#pragma once
#include <cstdint>
#include <string_view>

namespace kra::platform {

// One decimal number ("-512", "0.009806650", "  12 \n"): blanks around it
// and one line end after it are allowed, nothing else. False for anything
// else and for values that are not finite.
bool ParseSysfsNumber(std::string_view text, double* value);

// A mount matrix "x1, y1, z1; x2, y2, z2; x3, y3, z3" (a line end may
// follow). The matrix is written only when the whole text is one.
bool ParseMountMatrix(std::string_view text, double matrix[3][3]);

// The angle of the device's X and of its Y axis to the horizontal,
// atan2(axis, sqrt(other1^2 + other2^2)) in whole degrees (-90..90), from an
// acceleration in the device's frame. Values whose squares overflow give 0.
void TiltDegrees(const double acceleration[3], int32_t* x, int32_t* y);

}  // namespace kra::platform
