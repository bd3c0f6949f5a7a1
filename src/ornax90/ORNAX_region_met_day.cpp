// Sources of a day's line meteorology: the sunrise cache rasters read (or computed and
// written) once for the whole model grid, the forecast-model rasters of the day and the next
// held open, and the forecast rows shared by neighbouring lines read once.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <unistd.h>

#include "ORNAX_io_mod.hpp"
#include "ORNAX_region_io_mod.hpp"
#include "fixed_text_mod.hpp"
#include "ornax_constants_mod.hpp"
#include "sunrise_mod.hpp"

namespace {

constexpr int met_surface_files = 8;
// Surface rasters of a day, in reading order.
constexpr std::array<const char*, met_surface_files> surface_file_names = {
    "psfc_series.bin", "t2_series.bin", "q2_series.bin", "wind_surface.bin",
    "lwdn.bin",        "swdn.bin",      "cfslst.bin",    "lhtfl.bin"};
constexpr const char* profile_file_name = "pot_profile.bin";
constexpr int steps = ornax_forecast_steps_used;

// A cache raster is trusted only when it holds exactly one grid of 4-byte values.
bool cache_raster_valid(const std::string& path, int ncols, int nrows) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    const std::uintmax_t expected =
        4u * static_cast<std::uintmax_t>(ncols) * static_cast<std::uintmax_t>(nrows);
    return !error && static_cast<std::uintmax_t>(size) == expected;
}

// Writes a cache raster through a temporary file of the same directory and a rename, so
// that no reader ever sees a partly written file.
void write_cache_raster(const Real2dArray& image, int ncols, int nrows, const std::string& path) {
    const std::string temporary = path + ".tmp" + std::to_string(static_cast<long>(getpid()));
    int status = 0;
    write_out_2d_real(image, ncols, nrows, temporary, status);
    if (status != 0 || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
    }
}

// The observation-time grid of `mode` (1: first, 2: second) for the whole model grid,
// written to the cache raster `path`. False when it cannot be computed.
bool compute_sunrise_grid(const Ornaxmeteoornax& grid, int year, int solar_doy, int mode,
                          const std::string& path, Real2dArray& matrix) {
    matrix.allocate(grid.ncols, grid.nrows, grid.undef);
    std::vector<float> day_shift(matrix.values.size(), grid.undef);
    int status = 0;
    create_sun_rise_time_matrix_utc(year, solar_doy, grid.ncols, grid.nrows, mode, 0,
                                    grid.start_lon, grid.dlon, grid.start_lat, grid.dlat,
                                    matrix.values, day_shift, status);
    if (status != 0) return false;
    write_cache_raster(matrix, grid.ncols, grid.nrows, path);
    return true;
}

// Reads a whole cache raster; on failure the grid holds no observation time.
bool read_sunrise_grid(const Ornaxmeteoornax& grid, const std::string& path, Real2dArray& matrix) {
    int status = 0;
    read_2d_real_by_col_row(path, grid.ncols, grid.nrows, 0, matrix, status);
    if (status != 0) matrix.allocate(grid.ncols, grid.nrows, sunrise_no_time);
    return status == 0;
}

// Both observation-time grids of the day, from the cache rasters when both hold one grid,
// else computed for the whole grid and cached.
void load_sunrise_grids(const Ornaxmeteoornax& grid, Ornaxmetday& day) {
    const std::string dir = ornax_sunrise_dir(grid.met_dir, day.year, day.jday);
    const std::string rise15_file = dir + "rise15MET";
    const std::string rise55_file = dir + "rise55MET";
    if (cache_raster_valid(rise15_file, grid.ncols, grid.nrows) &&
        cache_raster_valid(rise55_file, grid.ncols, grid.nrows)) {
        day.from_cache = true;
        day.rise15_read = read_sunrise_grid(grid, rise15_file, day.rise15);
        day.rise55_read = read_sunrise_grid(grid, rise55_file, day.rise55);
        return;
    }
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    day.from_cache = false;
    day.rise15_read =
        compute_sunrise_grid(grid, day.year, day.solar_doy, 1, rise15_file, day.rise15);
    day.rise55_read =
        compute_sunrise_grid(grid, day.year, day.solar_doy, 2, rise55_file, day.rise55);
}

// The day after (year, jday): the next year's first day follows day 366, and day 365 of a
// common year.
void following_day(int year, int jday, int& next_year, int& next_jday) {
    next_year = year;
    next_jday = jday + 1;
    if (jday == 366 || (jday == 365 && !is_leap_year(year))) {
        next_year = year + 1;
        next_jday = 1;
    }
}

// Directories of the forecast-model rasters of the day (0) and the next (1).
std::array<std::string, 2> forecast_dirs(const Ornaxcommonblock& common, int year, int jday) {
    int year2 = 0, jday2 = 0;
    following_day(year, jday, year2, jday2);
    return {ornax_met_day_dir(common.met_data_dir, year, jday),
            ornax_met_day_dir(common.met_data_dir, year2, jday2)};
}

// Reads row `row` of one day's nine rasters and keeps the first eight time steps of every
// series; false when the profile read failed. A surface raster that cannot be read leaves
// its series at `undef`, the profile's at the common grid's fill value.
bool read_forecast_day(const Ornaxcommonblock& common, const RasterInputFiles& files,
                       const std::string& dir, int row, float undef, std::vector<float>& pot,
                       std::vector<float>& surface) {
    const int nc = common.ncols, nl = common.nlayers;
    int status = 0;
    Real3dArray profile;
    read_4d_real_by_line(&files, dir + profile_file_name, nc, common.nrows, nl, common.nhours, row,
                         common.undef, profile, status);
    const bool profile_read = status == 0;
    pot.assign(static_cast<std::size_t>(nc) * static_cast<std::size_t>(nl) * steps, undef);
    for (int c = 1; c <= nc; ++c)
        for (int k = 1; k <= nl; ++k)
            for (int t = 1; t <= steps; ++t)
                pot[(static_cast<std::size_t>(c - 1) * nl + (k - 1)) * steps + (t - 1)] =
                    profile(c, k, t);
    surface.assign(static_cast<std::size_t>(nc) * met_surface_files * steps, undef);
    Real2dArray buffer;
    for (int f = 0; f < met_surface_files; ++f) {
        buffer.allocate(nc, common.nhours, undef);
        int read_status = 0;
        read_3d_real_by_line(&files, dir + surface_file_names[static_cast<std::size_t>(f)], nc,
                             common.nrows, common.nhours, row, 0.0f, buffer, read_status);
        for (int c = 1; c <= nc; ++c)
            for (int t = 1; t <= steps; ++t)
                surface[(static_cast<std::size_t>(c - 1) * met_surface_files + f) * steps +
                        (t - 1)] = buffer(c, t);
    }
    return profile_read;
}

}  // namespace

std::span<const float> Ornaxforecastrows::pot_series(int d, int c, int k) const {
    const std::size_t at = (static_cast<std::size_t>(c - 1) * nlayers + (k - 1)) * steps;
    return std::span<const float>(pot[static_cast<std::size_t>(d)]).subspan(at, steps);
}

std::span<const float> Ornaxforecastrows::surface_series(int d, int c, int f) const {
    const std::size_t at = (static_cast<std::size_t>(c - 1) * met_surface_files + f) * steps;
    return std::span<const float>(surface[static_cast<std::size_t>(d)]).subspan(at, steps);
}

std::shared_ptr<const Ornaxforecastrows> Ornaxmetday::forecast_rows(const Ornaxcommonblock& common,
                                                                    float undef, int row) {
    std::shared_ptr<Slot> slot;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::shared_ptr<Slot>& held = slots_[row];
        if (held == nullptr) {
            held = std::make_shared<Slot>();
            order_.push_back(row);
        }
        slot = held;
        // Rows are asked for roughly south to north: the oldest go first. A row dropped
        // while a line still uses it lives on in that line's hands.
        while (order_.size() > std::max<std::size_t>(keep_rows, 1)) {
            slots_.erase(order_.front());
            order_.erase(order_.begin());
        }
    }
    std::lock_guard<std::mutex> lock(slot->fill);
    if (slot->rows == nullptr) {
        auto rows = std::make_shared<Ornaxforecastrows>();
        rows->ncols = common.ncols;
        rows->nlayers = common.nlayers;
        const std::array<std::string, 2> dirs = forecast_dirs(common, year, jday);
        for (std::size_t d = 0; d < 2; ++d) {
            OrnaxMessageCapture capture(rows->messages[d]);
            rows->profile_read[d] = read_forecast_day(common, forecast_files, dirs[d], row, undef,
                                                      rows->pot[d], rows->surface[d]);
        }
        slot->rows = std::move(rows);
    }
    return slot->rows;
}

void ornax_prepare_met_day(const Ornaxcommonblock& common, const Ornaxmeteoornax& grid, int year,
                           int doy, Ornaxmetday& day, int& status) {
    status = 0;
    int month = -1, mday = -1;
    get_mmdd_by_yyyydoy(year, doy, month, mday);
    if (mday < 1 || year < 1 || month < 1) {
        status = 3;
        return;
    }
    day.year = year;
    day.jday = mday + ornax_const_jday_in_year[static_cast<std::size_t>(month - 1)] +
               (is_leap_year(year) && month > 2 ? 1 : 0);
    get_doy_by_yyyymmdd(year, month, mday, day.solar_doy);
    day.ncols = grid.ncols;
    day.nrows = grid.nrows;
    load_sunrise_grids(grid, day);
    if (!day.rise15_read || !day.rise55_read) status = 3;
    for (const std::string& dir : forecast_dirs(common, year, day.jday)) {
        day.forecast_files.hold(dir + profile_file_name);
        for (const char* name : surface_file_names) day.forecast_files.hold(dir + name);
    }
}
