// Calendar tables of the forcing and calendar modules.
#pragma once

#include <array>
#include <cstdint>

// Days of each month in a common year (index 0 = January).
inline constexpr std::array<std::int32_t, 12> vesk_const_day_in_month = {31, 28, 31, 30, 31, 30,
                                                                         31, 31, 30, 31, 30, 31};
// Days of each month in a leap year (index 0 = January).
inline constexpr std::array<std::int32_t, 12> vesk_const_day_in_month_leap = {
    31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
// Days before the first of each month in a common year (index 0 = January).
inline constexpr std::array<std::int32_t, 12> vesk_const_jday_in_year = {
    0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
