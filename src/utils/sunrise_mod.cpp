// Sunrise and sunset times, grids of the morning observation times, calendar conversions.
#include "utils/sunrise_mod.hpp"

#include <cmath>
#include <cstdio>
#include <string>

#include "ornax90/ORNAX_log_mod.hpp"
#include "core/VESK_log_mod.hpp"
#include "utils/fixed_text.hpp"
#include "core/vesk_constants_mod.hpp"

namespace {

constexpr float sun_pi = 3.1415927f;
constexpr float deg_to_rad = sun_pi / 180.0f;
constexpr float rad_to_deg = 180.0f / sun_pi;

// Writes one line to the product-system log unit (standard error while it is not open).
void vesk_log_line(const std::string& line) {
    std::FILE* out = vesk_logunit != 0 ? ornax_unit_stream(vesk_logunit) : nullptr;
    if (out == nullptr) {
        out = stderr;
    }
    std::fprintf(out, "%s\n", line.c_str());
    std::fflush(out);
}

// Whole hours of the time zone of a longitude in [-180, 180].
float time_zone_offset(float lon) {
    if (lon >= 0.0f) {
        return std::trunc((lon + 7.5f) / 15.0f + 0.001f);
    }
    return std::trunc((lon + 7.5f) / 15.0f + 24.0f + 0.001f) - 24.0f;
}

// Right ascension of the sun (hours) and the declination terms, from the true longitude L.
void sun_position(float true_lon, float& ra_hours, float& sin_term, float& cos_term) {
    float ra = rad_to_deg * std::atan(0.91764f * std::tan(true_lon * deg_to_rad));
    if (ra < 0.0f) ra += 360.0f;
    if (ra > 360.0f) ra -= 360.0f;
    // right ascension in the same quadrant as the true longitude
    ra += std::floor(true_lon / 90.0f) * 90.0f - std::floor(ra / 90.0f) * 90.0f;
    ra_hours = ra / 15.0f;
    // sine of the declination (scaled by 180/pi) and cosine of the declination (same scale)
    sin_term = 0.39782f * std::sin(true_lon * deg_to_rad) * rad_to_deg;
    const float declination = std::asin(0.39782f * std::sin(true_lon * deg_to_rad));
    cos_term = std::cos(declination) * rad_to_deg;
}

}  // namespace

void get_sun_rise_time_doy(int /*year*/, int doy, float lat, float lon, int event_flag,
                           int local_flag, float& time, float& day_shift, int& status) {
    if (lat < -90.0f || lat > 90.0f) {
        status = 3;
        return;
    }
    float lon_norm = lon;
    if (lon_norm < -180.0f) lon_norm += 360.0f;
    if (lon_norm > 180.0f) lon_norm -= 360.0f;
    if (lon_norm < -180.0f || lon_norm > 180.0f || doy < 1 || doy > 366) {
        status = 3;
        return;
    }
    const bool sunrise = event_flag == 1;
    const float lng_hour = lon_norm / 15.0f;
    const float t = static_cast<float>(doy) + ((sunrise ? 6.0f : 18.0f) - lng_hour) / 24.0f;
    const float mean_anomaly = 0.9856f * t - 3.289f;
    float true_lon = mean_anomaly + 1.916f * std::sin(mean_anomaly * deg_to_rad) +
                     0.02f * std::sin(2.0f * mean_anomaly * deg_to_rad) + 282.634f;
    if (true_lon < 0.0f) true_lon += 360.0f;
    if (true_lon > 360.0f) true_lon -= 360.0f;
    float ra_hours = 0.0f, sin_term = 0.0f, cos_term = 0.0f;
    sun_position(true_lon, ra_hours, sin_term, cos_term);
    // local hour angle of the sun at zenith 90 degrees
    const float cos_zenith = std::cos(90.0f * deg_to_rad);
    const float cos_h = (cos_zenith - std::sin(lat * deg_to_rad) * sin_term) /
                        (std::cos(lat * deg_to_rad) * cos_term);
    if (cos_h > 1.0f || cos_h < -1.0f) {
        time = 0.0f;  // the sun does not rise (or set) this day
        status = 0;
        return;
    }
    const float acos_h = rad_to_deg * std::acos(cos_h);
    const float h_hours = (sunrise ? 360.0f - acos_h : acos_h) / 15.0f;
    const float mean_time = h_hours + ra_hours - 0.06571f * t - 6.622f;
    float ut = mean_time - lng_hour;
    day_shift = 0.0f;
    if (ut < 0.0f) {
        ut += 24.0f;
        day_shift = -1.0f;
    }
    if (ut > 24.0f) {
        ut -= 24.0f;
        day_shift = 1.0f;
    }
    // A longitude given outside [-180, 180] takes the time zone of its normalised value.
    time = local_flag == 1 ? ut + time_zone_offset(lon_norm) : ut;
    status = 0;
}

void get_sun_rise_time_almanac(int year, int month, int day, float lat, float lon, int event_flag,
                               int local_flag, float& time, float& day_shift, int& status) {
    int doy = 0;
    get_doy_by_yyyymmdd(year, month, day, doy);
    get_sun_rise_time_doy(year, doy, lat, lon, event_flag, local_flag, time, day_shift, status);
}

void get_doy_by_yyyymmdd(int year, int month, int day, int& doy) {
    const float y = static_cast<float>(year);
    const float m = static_cast<float>(month);
    const float n1 = std::floor(275.0f * m / 9.0f);
    const float n2 = std::floor((m + 9.0f) / 12.0f);
    const float n3 = 1.0f + std::floor((y - 4.0f * std::floor(y / 4.0f) + 2.0f) / 3.0f);
    doy = static_cast<int>(std::trunc(n1 - n2 * n3 + static_cast<float>(day) - 30.0f));
}

bool is_leap_year(int year) {
    return year % 400 == 0 || (year % 4 == 0 && year % 100 != 0);
}

void get_mmdd_by_yyyydoy(int year, int doy, int& month, int& day) {
    month = -1;
    day = -1;
    const bool leap = is_leap_year(year);
    const int days_in_year = leap ? 366 : 365;
    if (doy < 1 || doy > days_in_year) {
        return;
    }
    const auto& lengths = leap ? vesk_const_day_in_month_leap : vesk_const_day_in_month;
    int remaining = doy;
    for (int m = 0; m < 12; ++m) {
        if (remaining <= lengths[static_cast<std::size_t>(m)]) {
            month = m + 1;
            day = remaining;
            return;
        }
        remaining -= lengths[static_cast<std::size_t>(m)];
    }
}

void get_start_yyyydoy_by_yyyydoy(int year, int doy, int ndays, int& start_year, int& start_doy,
                                  int& status) {
    if (ndays >= 365) {
        status = 3;
        return;
    }
    status = 0;
    if (doy < ndays) {
        start_year = year - 1;
        start_doy = doy - ndays + (is_leap_year(start_year) ? 367 : 366);
    } else {
        start_year = year;
        start_doy = doy - ndays + 1;
    }
}

namespace {

// Observation time of one cell from its sunrise and sunset; false where there is none.
// value is in the requested time base, value_local in local standard time.
bool cell_observation_time(int year, int doy, float lat, float lon, int mode, int local_flag,
                           float& value, float& value_local, bool& valid_position) {
    float rise = 0.0f, rise_local = 0.0f, shift = 0.0f;
    int status_utc = 0, status_local = 0;
    get_sun_rise_time_doy(year, doy, lat, lon, 1, local_flag, rise, shift, status_utc);
    get_sun_rise_time_doy(year, doy, lat, lon, 1, 1, rise_local, shift, status_local);
    valid_position = status_utc == 0 && status_local == 0;
    if (!valid_position || rise == 0.0f) {
        return false;
    }
    if (mode == 1) {
        value = rise + first_obs_after_sunrise;
        value_local = rise_local + first_obs_after_sunrise;
        return true;
    }
    float set = 0.0f, set_local = 0.0f;
    get_sun_rise_time_doy(year, doy, lat, lon, 2, local_flag, set, shift, status_utc);
    get_sun_rise_time_doy(year, doy, lat, lon, 2, 1, set_local, shift, status_local);
    if (set == 0.0f) {
        return false;
    }
    // solar noon is the midpoint of sunrise and sunset; a sunset past midnight (UTC) lies
    // on the next day
    const float wrap = rise <= set ? 0.0f : 24.0f;
    value = (set + rise + wrap) / 2.0f - second_obs_before_noon;
    value_local = (set_local + rise_local + wrap) / 2.0f - second_obs_before_noon;
    return true;
}

void fill_observation_matrix(int year, int doy, int ncols, int nrows, int mode, int local_flag,
                             float start_lon, float dlon, float start_lat, float dlat,
                             std::vector<float>& result, std::vector<float>& day_shift) {
    // every cell alone: the columns on every core give the same values
#pragma omp parallel for schedule(static)
    for (int i = 1; i <= ncols; ++i) {
        const float lon = start_lon + (static_cast<float>(i) - 0.5f) * dlon;
        for (int j = 1; j <= nrows; ++j) {
            const float lat = start_lat + (static_cast<float>(j) - 0.5f) * dlat;
            const std::size_t cell = static_cast<std::size_t>(j - 1) * ncols + (i - 1);
            float value = 0.0f, value_local = 0.0f;
            bool valid_position = false;
            if (!cell_observation_time(year, doy, lat, lon, mode, local_flag, value, value_local,
                                       valid_position)) {
                if (valid_position) {
                    result[cell] = sunrise_no_time;
                    day_shift[cell] = sunrise_no_time_shift;
                }
                continue;
            }
            float shift = 0.0f;
            // the local day differs from the UTC day: west of Greenwich the UTC date is
            // the next one, east of it the previous one
            if (value_local < 0.0f || value_local > 24.0f) {
                shift = lon <= 0.0f ? 1.0f : -1.0f;
            }
            if (value > 24.0f) {
                value -= 24.0f;
                shift = 0.0f;
            }
            if (value < 0.0f) {
                value += 24.0f;
                shift = 0.0f;
            }
            result[cell] = value;
            day_shift[cell] = shift;
        }
    }
}

bool matrices_allocated(int ncols, int nrows, const std::vector<float>& result,
                        const std::vector<float>& day_shift) {
    const long long cells = static_cast<long long>(ncols) * static_cast<long long>(nrows);
    return !result.empty() && ncols > 0 && nrows > 0 &&
           static_cast<long long>(result.size()) >= cells &&
           static_cast<long long>(day_shift.size()) >= cells;
}

}  // namespace

void create_sun_rise_time_matrix_utc(int year, int doy, int ncols, int nrows, int mode,
                                     int local_flag, float start_lon, float dlon, float start_lat,
                                     float dlat, std::vector<float>& result,
                                     std::vector<float>& day_shift, int& status) {
    if (!matrices_allocated(ncols, nrows, result, day_shift)) {
        vesk_log_line((FreeLine() << "Matrix is not allocated for sun time computation!").str());
        status = 3;
        return;
    }
    fill_observation_matrix(year, doy, ncols, nrows, mode, local_flag, start_lon, dlon, start_lat,
                            dlat, result, day_shift);
    status = 0;
}

void create_sun_rise_time_matrix_local(int year, int doy, int ncols, int nrows, int mode,
                                       int local_flag, float start_lon, float dlon, float start_lat,
                                       float dlat, std::vector<float>& result,
                                       std::vector<float>& day_shift, int& status) {
    vesk_log_line((FreeLine() << "start lat/lon input" << start_lon << start_lat).str());
    if (local_flag != 1) {
        vesk_log_line((FreeLine() << "local_flag is not correct!").str());
        status = 3;
        return;
    }
    create_sun_rise_time_matrix_utc(year, doy, ncols, nrows, mode, local_flag, start_lon, dlon,
                                    start_lat, dlat, result, day_shift, status);
}
