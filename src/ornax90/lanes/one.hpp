// The one-lane instance of the core's physics: namespace ornax_one_lane, number float.
// Site runs, debug runs and the routines of the core's modules use it.
#pragma once

#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <type_traits>
#include <utility>

#include "ORNAX_atmos_mod.hpp"
#include "ORNAX_data_mod.hpp"
#include "float.hpp"
#include "ORNAX_log_mod.hpp"
#include "fixed_text_mod.hpp"
#include "ornax_constants_mod.hpp"

namespace ornax_one_lane {
#include "physics.hpp"
}  // namespace ornax_one_lane
