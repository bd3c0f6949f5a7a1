// Numeric kinds of the system: 4-byte reals and 4-byte signed integers; and the status
// values every operation returns through its `status` argument.
#pragma once

#include <cstdint>

using real4 = float;
using int4 = std::int32_t;
using int2 = std::int16_t;
static_assert(sizeof(real4) == 4, "reals are 4-byte IEEE single precision");

// Status of an operation (and exit status of a program that failed): 0 success, 3 failure.
inline constexpr int ornax_status_ok = 0;
inline constexpr int ornax_status_failure = 3;
