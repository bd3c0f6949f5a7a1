// Insolation at the observation times from the forecast shortwave of the day.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>

#include "ornax90/file_io_mod.hpp"
#include "ingest/satellite/convert.hpp"
#include "utils/sunrise_mod.hpp"
#include "ornax90/type_kinds.hpp"

namespace {

constexpr int steps_per_day = 8;  // three-hourly from 00 UTC

std::string day_folder(const std::string& root, int year, int doy) {
    char name[32];
    std::snprintf(name, sizeof name, "/%04d%03d/", year, doy);
    return root + name;
}

bool read_day(const std::string& file, std::size_t count, std::vector<float>& values) {
    std::ifstream in(file, std::ios::binary);
    std::vector<unsigned char> bytes(count * 4);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count * 4)))
        return false;
    values.resize(count);
    raster_decode_le(bytes.data(), count, values.data());
    return true;
}

}  // namespace

float ForecastShortwave::at(double hours, double lon, double lat) const {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const int c = static_cast<int>((lon - grid.west_lon) / grid.dlon);
    const int r = static_cast<int>((lat - grid.south_lat) / grid.dlat);
    if (lon < grid.west_lon || lat < grid.south_lat || c >= grid.ncols || r >= grid.nrows ||
        hours < 0.0)
        return nan;
    const std::size_t cells = static_cast<std::size_t>(grid.ncols) * grid.nrows;
    auto step_value = [&](int step) {
        const std::size_t day = static_cast<std::size_t>(step / steps_per_day);
        if (day >= days.size() || days[day].empty()) return nan;
        const float v = days[day][static_cast<std::size_t>(step % steps_per_day) * cells +
                                  static_cast<std::size_t>(r) * grid.ncols + c];
        return v == grid.spare_value || !std::isfinite(v) ? nan : v;
    };
    const int s0 = static_cast<int>(std::floor(hours / 3.0));
    const double w = hours / 3.0 - s0;  // weight of the later step
    const float a = step_value(s0), b = step_value(s0 + 1);
    if (w == 0.0) return a;
    return static_cast<float>((1.0 - w) * a + w * b);
}

void read_forecast_shortwave(const std::string& met_root, const Spatialinfodata& grid, int year,
                             int doy, ForecastShortwave& swdn, std::string& error, int& status) {
    swdn.grid = grid;
    swdn.days.assign(2, {});
    const std::size_t count = static_cast<std::size_t>(grid.ncols) * grid.nrows * steps_per_day;
    const int next_year = doy >= 365 + (is_leap_year(year) ? 1 : 0) ? year + 1 : year;
    const int next_doy = next_year != year ? 1 : doy + 1;
    const std::string first = day_folder(met_root, year, doy) + "swdn.bin";
    if (!read_day(first, count, swdn.days[0])) {
        error = first + ": missing or shorter than " + std::to_string(count) +
                " values (8 steps on the forecast grid)";
        status = ornax_status_failure;
        return;
    }
    // the next day serves observations after 21 UTC; without it they stay missing
    read_day(day_folder(met_root, next_year, next_doy) + "swdn.bin", count, swdn.days[1]);
    status = 0;
}
