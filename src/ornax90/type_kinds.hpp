// Numeric kinds of the system: 4-byte reals and 4-byte signed integers.
#pragma once

#include <cstdint>

using real4 = float;
using int4 = std::int32_t;
using int2 = std::int16_t;
static_assert(sizeof(real4) == 4, "reals are 4-byte IEEE single precision");
