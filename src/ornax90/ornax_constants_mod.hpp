// Calendar tables and physical constants, each defined once with its unit.
#pragma once

#include <array>

// Days of each month in a common year (index 0 = January).
inline constexpr std::array<int, 12> ornax_const_day_in_month = {31, 28, 31, 30, 31, 30,
                                                                 31, 31, 30, 31, 30, 31};
// Days before the first of each month in a common year (index 0 = January).
inline constexpr std::array<int, 12> ornax_const_jday_in_year = {0,   31,  59,  90,  120, 151,
                                                                 181, 212, 243, 273, 304, 334};

// ---- physical constants of the model core (add below, one definition each, with unit) ----
