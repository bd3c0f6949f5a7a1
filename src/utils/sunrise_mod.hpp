// Sunrise and sunset times (almanac method, zenith 90 degrees), grids of the two morning
// observation times anchored on them, and the calendar conversions of the forcing.
//
// Times are decimal hours; angles are degrees; all arithmetic is single precision.
// Grid matrices are (columns, rows) with the column index fastest: cell (i, j), 1-based,
// lies at [(j - 1) * ncols + (i - 1)] and has its centre at
// (start_lon + (i - 0.5) * dlon, start_lat + (j - 0.5) * dlat).
#pragma once

#include <vector>

inline constexpr float sunrise_no_time = -9999.0f;      // cell without sunrise or sunset
inline constexpr float sunrise_no_time_shift = 2.0f;    // day shift of such a cell
inline constexpr float first_obs_after_sunrise = 1.5f;  // first observation after sunrise (h)
inline constexpr float second_obs_before_noon = 1.5f;   // second observation before solar noon (h)

// Sunrise (event_flag 1) or sunset (any other flag) of a day of year at a point, UTC hours
// (local_flag 1: local standard time of the longitude's time zone). day_shift is -1 / +1
// when the UTC time was wrapped from the previous / next day. Polar day or night: time 0,
// status 0, day_shift untouched. Invalid latitude, longitude or day: status 3, outputs
// untouched. The year is not used.
void get_sun_rise_time_doy(int year, int doy, float lat, float lon, int event_flag, int local_flag,
                           float& time, float& day_shift, int& status);

// Fills a grid with the first (mode 1: sunrise + 1.5 h) or second (other modes: midpoint of
// sunrise and sunset - 1.5 h) observation time, UTC hours in [0, 24] (local_flag 1: local
// time), -9999 with day shift 2 where the sun does not rise or set. Cells of an invalid
// position are left untouched. Both matrices must hold ncols x nrows values (status 3).
void create_sun_rise_time_matrix_utc(int year, int doy, int ncols, int nrows, int mode,
                                     int local_flag, float start_lon, float dlon, float start_lat,
                                     float dlat, std::vector<float>& result,
                                     std::vector<float>& day_shift, int& status);
// The same for local times; requires local_flag 1 (status 3 otherwise).
void create_sun_rise_time_matrix_local(int year, int doy, int ncols, int nrows, int mode,
                                       int local_flag, float start_lon, float dlon, float start_lat,
                                       float dlat, std::vector<float>& result,
                                       std::vector<float>& day_shift, int& status);

// Sunrise or sunset of a calendar date (see get_sun_rise_time_doy).
void get_sun_rise_time_almanac(int year, int month, int day, float lat, float lon, int event_flag,
                               int local_flag, float& time, float& day_shift, int& status);

// Month and day of a day of year; both -1 when the day of year is not in the year.
void get_mmdd_by_yyyydoy(int year, int doy, int& month, int& day);
// Day of year of a date (almanac formula).
void get_doy_by_yyyymmdd(int year, int month, int day, int& doy);
// First day of the window of ndays days that ends on (year, doy). Status 3 for ndays >= 365.
void get_start_yyyydoy_by_yyyydoy(int year, int doy, int ndays, int& start_year, int& start_doy,
                                  int& status);
// Leap year of the Gregorian calendar.
bool is_leap_year(int year);
