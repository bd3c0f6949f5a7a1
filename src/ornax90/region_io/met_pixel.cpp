// Per-pixel meteorology at the observation times: the model-grid series of a line
// interpolated to each pixel's local observation times.
#include "ornax90/ORNAX_region_io_mod.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {

constexpr int window_points = 16;        // three-hourly points of the two-day window
constexpr int window_steps_per_day = 8;  // values of each day used (00 to 21 UTC)
constexpr float window_step_hours = 3.0f;
constexpr float fill_tolerance = 1.0e-6f;

// Sounding heights above the surface (m), layer 1 (the top) first.
constexpr std::array<float, 30> height_from_surface = {
    15000.0f, 14000.0f, 13000.0f, 12000.0f, 11000.0f, 10000.0f, 9500.0f, 9000.0f, 8500.0f, 8000.0f,
    7500.0f,  7000.0f,  6500.0f,  6000.0f,  5500.0f,  5000.0f,  4500.0f, 4000.0f, 3500.0f, 3000.0f,
    2600.0f,  2200.0f,  1800.0f,  1400.0f,  1000.0f,  700.0f,   500.0f,  300.0f,  100.0f,  80.0f};

// Makes a region array an exact copy of a model grid array.
void copy_line_array(std::vector<float>& region_field, const std::vector<float>& grid_field) {
    region_field.assign(grid_field.begin(), grid_field.end());
}

}  // namespace

float ornax_linear_interp(float x, float x1, float x2, float y1, float y2) {
    if (std::fabs(x2 - x1) > 1.0e-6f) {
        return y1 + (x - x1) / (x2 - x1) * (y2 - y1);
    }
    return 0.0f;
}

Ornaxwindowslot ornax_window_slot(float x) {
    Ornaxwindowslot slot;
    const float number = std::trunc(x / window_step_hours) + 1.0f;
    // a bracketing pair of points exists for slots 1..15 (0 to 45 h); NaN fails too
    if (number >= 1.0f && number <= static_cast<float>(window_points - 1)) {
        slot.index = static_cast<int>(number) - 1;
        slot.x = x;
    }
    return slot;
}

float ornax_window_value(const Ornaxwindowslot& slot, std::span<const float> day1,
                         std::span<const float> day2, float fill) {
    float value = fill;
    ornax_window_values(slot, day1.first(std::min<std::size_t>(day1.size(), window_steps_per_day)),
                        day2.first(std::min<std::size_t>(day2.size(), window_steps_per_day)), fill,
                        std::span<float>(&value, 1));
    return value;
}

void ornax_window_values(const Ornaxwindowslot& slot, std::span<const float> day1,
                         std::span<const float> day2, float fill, std::span<float> values) {
    const std::size_t needed = window_steps_per_day * values.size();
    if (slot.index < 0 || day1.size() < needed || day2.size() < needed) {
        std::fill(values.begin(), values.end(), fill);
        return;
    }
    // point k of the window: the day's 3-hourly values, then the next day's
    const auto point = [&](int k) {
        return k < window_steps_per_day ? day1.data() + k
                                        : day2.data() + (k - window_steps_per_day);
    };
    const float* first = point(slot.index);
    const float* second = point(slot.index + 1);
    const float x1 = window_step_hours * static_cast<float>(slot.index);
    // the straight line through each pair (ornax_linear_interp) weighs its second point the
    // same for every series: the weight is formed once
    const float x2 = x1 + window_step_hours;
    const float weight = (slot.x - x1) / (x2 - x1);
    for (std::size_t j = 0; j < values.size(); ++j) {
        const float y1 = first[j * window_steps_per_day];
        const float y2 = second[j * window_steps_per_day];
        values[j] = std::fabs(y1 - fill) <= fill_tolerance || std::fabs(y2 - fill) <= fill_tolerance
                        ? fill
                        : y1 + weight * (y2 - y1);
    }
}

Ornaxwindowslot ornax_second_observation_slot(float t1, float t2) {
    // a second observation earlier in the UTC day than the first falls after midnight UTC
    return ornax_window_slot(t1 <= t2 ? t2 : t2 + 24.0f);
}

Ornaxwindowslot ornax_local_hour_slot(float lon, int hour) {
    // UTC time of local mean solar hour `hour`; east of Greenwich the local day lies in the
    // window's second day
    float x = static_cast<float>(hour) - (lon / 180.0f) * 12.0f;
    if (lon >= 0.0f) {
        x += 24.0f;
    }
    return ornax_window_slot(x);
}

void ornax_get_local_time_vars(float lon, float t1, float t2, std::span<const float> day1,
                               std::span<const float> day2, float fill, int /*steps*/,
                               float& value1, float& value2, std::span<float> series, int nhours,
                               int& status) {
    const std::size_t hours = static_cast<std::size_t>(std::max(nhours, 0));
    if (day1.size() < window_steps_per_day || day2.size() < window_steps_per_day ||
        series.size() < hours) {
        value1 = value2 = fill;
        std::fill(series.begin(), series.end(), fill);
        status = ornax_status_failure;
        return;
    }
    value1 = ornax_window_value(ornax_window_slot(t1), day1, day2, fill);
    value2 = ornax_window_value(ornax_second_observation_slot(t1, t2), day1, day2, fill);
    for (std::size_t h = 0; h < hours; ++h) {
        series[h] =
            ornax_window_value(ornax_local_hour_slot(lon, static_cast<int>(h)), day1, day2, fill);
    }
    status = 0;
}

namespace {

// The line's meteorology from the model grid into the region record, each line array
// passed on by `pass` (region array, grid array); the sounding heights from the table.
template <class Grid, class Pass>
void pass_met_line(Ornaxregiondatatype& region, Grid& grid, Pass pass, int& status) {
    if (grid.nlayers > static_cast<int>(height_from_surface.size()) || grid.ncols < 0 ||
        grid.nlayers < 0) {
        status = ornax_status_failure;
        return;
    }
    pass(region.taobs1, grid.taobs1);
    pass(region.taobs2, grid.taobs2);
    pass(region.pres1, grid.pres1);
    pass(region.pres2, grid.pres2);
    pass(region.spfh1, grid.spfh1);
    pass(region.spfh2, grid.spfh2);
    pass(region.wind1, grid.wind1);
    pass(region.wind2, grid.wind2);
    pass(region.lwdn1, grid.lwdn1);
    pass(region.lwdn2, grid.lwdn2);
    pass(region.taobs_day, grid.temp_surface_series);
    pass(region.spfh_day, grid.spfh_surface_series);
    pass(region.pres_day, grid.pres_surface_series);
    pass(region.wind_day, grid.wind_surface_series);
    pass(region.lwdn_day, grid.lwdn_surface_series);
    pass(region.sdn_day, grid.swdn_surface_series);
    pass(region.th_pblk, grid.th_pblk1);
    // the meteorological line arrays now have the model grid's extents
    region.met_ncols = grid.ncols;
    region.met_nlayers = grid.nlayers;
    region.met_nhours = grid.nhours;
    region.sdn_day_ncols = grid.ncols;
    region.sdn_day_nhours = grid.nhours;
    region.z_pbli.assign(
        static_cast<std::size_t>(grid.ncols) * static_cast<std::size_t>(grid.nlayers), 0.0f);
    for (int k = 1; k <= grid.nlayers; ++k) {
        for (int i = 1; i <= grid.ncols; ++i) {
            region.z_pbli[region_2d_index(i, k, grid.ncols)] =
                height_from_surface[static_cast<std::size_t>(k - 1)];
        }
    }
    status = 0;
}

}  // namespace

void ornax_set_ornax_met_byline(Ornaxregiondatatype& region, const Ornaxmeteoornax& grid,
                                int& status) {
    pass_met_line(region, grid, copy_line_array, status);
}

void ornax_take_ornax_met_byline(Ornaxregiondatatype& region, Ornaxmeteoornax& grid, int& status) {
    pass_met_line(
        region, grid,
        [](std::vector<float>& region_field, std::vector<float>& grid_field) {
            if (region_field.size() == grid_field.size())
                region_field.swap(grid_field);
            else
                copy_line_array(region_field, grid_field);
        },
        status);
}
