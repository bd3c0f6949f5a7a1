// The one-lane instance of the core's physics: namespace ornax_one_lane, number float.
// Site runs, debug runs and the routines of the core's modules use it.
#pragma once

#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <type_traits>
#include <utility>

#include "ornax90/ORNAX_data_mod.hpp"
#include "ornax90/lanes/float.hpp"
#include "ornax90/ORNAX_log_mod.hpp"
#include "utils/fixed_text.hpp"
#include "ornax90/ornax_constants_mod.hpp"

namespace ornax_one_lane {
#include "ornax90/lanes/physics-inl.hpp"
}  // namespace ornax_one_lane
