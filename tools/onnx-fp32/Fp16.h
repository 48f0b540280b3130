#pragma once

#include <cstdint>

/// IEEE 754 binary16 → binary32, exact for every input: normals, subnormals, signed zeros,
/// infinities and NaNs (the NaN payload is kept in the high mantissa bits).
float halfToFloat(std::uint16_t half);
