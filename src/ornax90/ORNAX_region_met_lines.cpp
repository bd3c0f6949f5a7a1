// Line-by-line meteorological processing: the forecast-model rows of the day and the next
// reduced to the model grid, and the sunrise cache rasters written and read back.
#include "ORNAX_region_io_mod.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "ORNAX_io_mod.hpp"
#include "file_io_mod.hpp"
#include "fixed_text_mod.hpp"
#include "ornax_constants_mod.hpp"
#include "sunrise_mod.hpp"

namespace {

constexpr int met_surface_files = 8;
// Surface rasters of a day, in reading order.
constexpr std::array<const char*, met_surface_files> surface_file_names = {
    "psfc_series.bin", "t2_series.bin", "q2_series.bin", "wind_surface.bin",
    "lwdn.bin",        "swdn.bin",      "cfslst.bin",    "lhtfl.bin"};
enum SurfaceFile { psfc_file, t2_file, q2_file, wind_file, lwdn_file, swdn_file, cfslst_file,
                   lhtfl_file };
constexpr float forcing_column_offset = 0.33f;  // shift of a centre before truncation
constexpr float obs1_after_sunrise = 1.5f;      // first observation after sunrise (h)

void screen_line(const std::string& line) {
    std::printf("%s\n", line.c_str());
}

// One day of forecast-model values for one row of the common grid.
struct MetDayBuffers {
    Real3dArray pot;                                      // (columns, layers, time steps)
    std::array<Real2dArray, met_surface_files> surface;   // (columns, time steps) per file
};

// Reads row `row` of the day's nine rasters; false when the profile read failed.
bool read_met_day(const Ornaxcommonblock& common, const std::string& dir, int row, float undef,
                  MetDayBuffers& day) {
    int status = 0;
    day.pot.allocate(common.ncols, common.nlayers, common.nhours, undef);
    read_4d_real_by_line(dir + "pot_profile.bin", common.ncols, common.nrows, common.nlayers,
                         common.nhours, row, common.undef, day.pot, status);
    const bool profile_read = status == 0;
    for (int n = 0; n < met_surface_files; ++n) {
        Real2dArray& buffer = day.surface[static_cast<std::size_t>(n)];
        buffer.allocate(common.ncols, common.nhours, undef);
        int read_status = 0;
        read_3d_real_by_line(dir + surface_file_names[static_cast<std::size_t>(n)], common.ncols,
                             common.nrows, common.nhours, row, 0.0f, buffer, read_status);
    }
    return profile_read;
}

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

// Row `row` of the observation-time grid of `mode` (1: first, 2: second), computed for the
// whole model grid and written to the cache raster `path`. False when it cannot be computed.
bool compute_sunrise_row(const Ornaxmeteoornax& grid, int year, int solar_doy, int mode, int row,
                         const std::string& path, std::vector<float>& values) {
    Real2dArray matrix;
    matrix.allocate(grid.ncols, grid.nrows, grid.undef);
    std::vector<float> day_shift(matrix.values.size(), grid.undef);
    int status = 0;
    create_sun_rise_time_matrix_utc(year, solar_doy, grid.ncols, grid.nrows, mode, 0,
                                    grid.start_lon, grid.dlon, grid.start_lat, grid.dlat,
                                    matrix.values, day_shift, status);
    if (status != 0) {
        return false;
    }
    for (int i = 1; i <= grid.ncols; ++i) {
        values[static_cast<std::size_t>(i - 1)] = matrix(i, row);
    }
    write_cache_raster(matrix, grid.ncols, grid.nrows, path);
    return true;
}

// Reads row `row` of a cache raster; on failure the row holds no observation time.
bool read_sunrise_row(const Ornaxmeteoornax& grid, const std::string& path, int row,
                      std::vector<float>& values) {
    int status = 0;
    read_2d_real_by_line(path, grid.ncols, grid.nrows, row, 0, values, status);
    values.resize(static_cast<std::size_t>(grid.ncols), sunrise_no_time);
    if (status != 0) {
        screen_line((FreeLine() << "Error read in rise15filename ").str());
        std::fill(values.begin(), values.end(), sunrise_no_time);
        return false;
    }
    return true;
}

// The first and second observation times (UTC hours) of every column of row `row`, from
// the day's cache rasters, or computed for the whole grid (and cached) when either is
// missing or of the wrong size. False when a row could not be had.
bool load_sunrise_rows(const Ornaxmeteoornax& grid, int year, int jday, int solar_doy, int row,
                       std::vector<float>& rise15, std::vector<float>& rise55) {
    const std::string dir = ornax_sunrise_dir(grid.met_dir, year, jday);
    const std::string rise15_file = dir + "rise15MET";
    const std::string rise55_file = dir + "rise55MET";
    if (cache_raster_valid(rise15_file, grid.ncols, grid.nrows) &&
        cache_raster_valid(rise55_file, grid.ncols, grid.nrows)) {
        bool ok = read_sunrise_row(grid, rise15_file, row, rise15);
        if (ok && grid.ncols >= 100) {
            screen_line((FreeLine() << "rise15temp(100) =" << rise15[99]).str());
        }
        ok = read_sunrise_row(grid, rise55_file, row, rise55) && ok;
        return ok;
    }
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    const bool first = compute_sunrise_row(grid, year, solar_doy, 1, row, rise15_file, rise15);
    const bool second = compute_sunrise_row(grid, year, solar_doy, 2, row, rise55_file, rise55);
    return first && second;
}

// Day of year of the forecast-model folders and of the solar computation for (year, doy);
// false for a date that does not exist.
bool met_day_numbers(int year, int doy, int& jday, int& solar_doy) {
    int month = -1, day = -1;
    get_mmdd_by_yyyydoy(year, doy, month, day);
    if (day < 1 || year < 1 || month < 1) return false;
    jday = day + ornax_const_jday_in_year[static_cast<std::size_t>(month - 1)] +
           (is_leap_year(year) && month > 2 ? 1 : 0);
    get_doy_by_yyyymmdd(year, month, day, solar_doy);
    return true;
}

struct LineArray {
    std::vector<float>* array;
    std::size_t size;
};

// Every line array of the model grid with the extent it must have.
std::array<LineArray, 36> line_arrays(Ornaxmeteoornax& g) {
    const std::size_t nc = static_cast<std::size_t>(std::max(g.ncols, 0));
    const std::size_t nl = static_cast<std::size_t>(std::max(g.nlayers, 0));
    const std::size_t nh = static_cast<std::size_t>(std::max(g.nhours, 0));
    return {{{&g.land, nc}, {&g.lat, nc}, {&g.lon, nc}, {&g.sun_rise_time1, nc},
             {&g.sun_rise_time2, nc}, {&g.lwdn_surface_series, nc * nh},
             {&g.swdn_surface_series, nc * nh}, {&g.cfslst_surface_series, nc * nh},
             {&g.lhtfl_surface_series, nc * nh}, {&g.wind_surface_series, nc * nh},
             {&g.temp_surface_series, nc * nh}, {&g.pres_surface_series, nc * nh},
             {&g.spfh_surface_series, nc * nh}, {&g.temp_profile, nc * nl * nh},
             {&g.spfh_profile, nc * nl * nh}, {&g.pressure_profile, nc * nl * nh},
             {&g.height_profile, nc * nl * nh}, {&g.pot_profile, nc * nl * nh},
             {&g.taobs1, nc}, {&g.taobs2, nc}, {&g.pres1, nc}, {&g.pres2, nc},
             {&g.spfh1, nc}, {&g.spfh2, nc}, {&g.wind1, nc}, {&g.wind2, nc},
             {&g.lwdn1, nc}, {&g.lwdn2, nc}, {&g.swdn1, nc}, {&g.swdn2, nc},
             {&g.cfslst1, nc}, {&g.cfslst2, nc}, {&g.lhtfl1, nc}, {&g.lhtfl2, nc},
             {&g.th_pblk1, nc * nl}, {&g.th_pblk2, nc * nl}}};
}

// Fills every line array with the fill value; false when the arrays are not set up.
bool fill_line_arrays(Ornaxmeteoornax& grid) {
    if (grid.ncols < 1) {
        return false;
    }
    for (const LineArray& entry : line_arrays(grid)) {
        if (entry.array->size() != entry.size) {
            return false;
        }
    }
    for (const LineArray& entry : line_arrays(grid)) {
        std::fill(entry.array->begin(), entry.array->end(), grid.undef);
    }
    return true;
}

// The first eight values of column c of a (columns, time steps) buffer.
std::array<float, 8> column_series(const Real2dArray& buffer, int c) {
    std::array<float, 8> values{};
    for (int t = 1; t <= 8; ++t) {
        values[static_cast<std::size_t>(t - 1)] = buffer(c, t);
    }
    return values;
}

// The first eight values of layer k of column c of a (columns, layers, time steps) buffer.
std::array<float, 8> column_series(const Real3dArray& buffer, int c, int k) {
    std::array<float, 8> values{};
    for (int t = 1; t <= 8; ++t) {
        values[static_cast<std::size_t>(t - 1)] = buffer(c, k, t);
    }
    return values;
}

// Reduces column c of the forecast-model rows to column i of the model grid.
void reduce_column(const Ornaxcommonblock& common, const MetDayBuffers& day1,
                   const MetDayBuffers& day2, int c, int i, float t1, float t2,
                   std::vector<float>& series, Ornaxmeteoornax& grid) {
    const float lon = grid.lon[static_cast<std::size_t>(i - 1)];
    float v1 = 0.0f, v2 = 0.0f;
    int status = 0;
    for (int k = 1; k <= common.nlayers; ++k) {
        if (grid.nhours >= 1) {
            grid.height_profile[met_index3(grid.ncols, grid.nlayers, i, k, 1)] =
                common.layer_heights[static_cast<std::size_t>(k - 1)];
        }
        ornax_get_local_time_vars(lon, t1, t2, column_series(day1.pot, c, k),
                                  column_series(day2.pot, c, k), common.undef, common.nhours, v1,
                                  v2, series, grid.nhours, status);
        grid.th_pblk1[met_index2(grid.ncols, i, k)] = v1;
        grid.th_pblk2[met_index2(grid.ncols, i, k)] = v2;
        for (int h = 1; h <= grid.nhours; ++h) {
            grid.pot_profile[met_index3(grid.ncols, grid.nlayers, i, k, h)] =
                series[static_cast<std::size_t>(h - 1)];
        }
    }
    struct SurfaceTarget {
        SurfaceFile file;
        std::vector<float>* at_obs1;
        std::vector<float>* at_obs2;
        std::vector<float>* hourly;
    };
    const SurfaceTarget targets[] = {
        {t2_file, &grid.taobs1, &grid.taobs2, &grid.temp_surface_series},
        {q2_file, &grid.spfh1, &grid.spfh2, &grid.spfh_surface_series},
        {psfc_file, &grid.pres1, &grid.pres2, &grid.pres_surface_series},
        {wind_file, &grid.wind1, &grid.wind2, &grid.wind_surface_series},
        {lwdn_file, &grid.lwdn1, &grid.lwdn2, &grid.lwdn_surface_series},
        {swdn_file, &grid.swdn1, &grid.swdn2, &grid.swdn_surface_series},
        {cfslst_file, &grid.cfslst1, &grid.cfslst2, &grid.cfslst_surface_series},
        {lhtfl_file, &grid.lhtfl1, &grid.lhtfl2, &grid.lhtfl_surface_series}};
    for (const SurfaceTarget& target : targets) {
        const std::size_t f = static_cast<std::size_t>(target.file);
        ornax_get_local_time_vars(lon, t1, t2, column_series(day1.surface[f], c),
                                  column_series(day2.surface[f], c), common.undef, common.nhours,
                                  v1, v2, series, grid.nhours, status);
        (*target.at_obs1)[static_cast<std::size_t>(i - 1)] = v1;
        (*target.at_obs2)[static_cast<std::size_t>(i - 1)] = v2;
        for (int h = 1; h <= grid.nhours; ++h) {
            (*target.hourly)[met_index2(grid.ncols, i, h)] =
                series[static_cast<std::size_t>(h - 1)];
        }
    }
}

// 1-based cell of a coordinate on a grid whose first cell starts at `start`, with the
// centre offset of the forecast-model grids; 0 when it cannot be represented.
int forcing_cell(float coordinate, float start, float spacing) {
    const float cell = std::trunc((coordinate - start) / spacing + forcing_column_offset) + 1.0f;
    if (!(cell >= -1.0e6f && cell <= 1.0e6f)) {
        return 0;
    }
    return static_cast<int>(cell);
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

// Reads both days' forecast-model rows and reduces every column of the line; false when a
// profile could not be read.
bool reduce_line(const Ornaxcommonblock& common, Ornaxmeteoornax& grid, int year, int jday,
                 int forcing_row, const std::vector<float>& rise15,
                 const std::vector<float>& rise55) {
    MetDayBuffers day1, day2;
    bool ok = true;
    if (!read_met_day(common, ornax_met_day_dir(common.met_data_dir, year, jday), forcing_row,
                      grid.undef, day1)) {
        screen_line((FreeLine() << "Error read in the profile data").str());
        ok = false;
    }
    int year2 = 0, jday2 = 0;
    following_day(year, jday, year2, jday2);
    if (!read_met_day(common, ornax_met_day_dir(common.met_data_dir, year2, jday2), forcing_row,
                      grid.undef, day2)) {
        screen_line((FreeLine() << "Error read in the profile2 data").str());
        ok = false;
    }
    std::vector<float> series(static_cast<std::size_t>(std::max(grid.nhours, 0)));
    for (int i = 1; i <= grid.ncols; ++i) {
        const int c = forcing_cell(grid.lon[static_cast<std::size_t>(i - 1)], common.west_lon,
                                   common.dlon);
        if (c < 1 || c > common.ncols) {
            continue;  // outside the forecast-model grid: the column keeps the fill value
        }
        reduce_column(common, day1, day2, c, i, rise15[static_cast<std::size_t>(i - 1)],
                      rise55[static_cast<std::size_t>(i - 1)], series, grid);
    }
    return ok;
}

// The common grid can feed the line: eight time steps a day, no more layers than the model
// grid and the layer-height table hold.
bool common_grid_usable(const Ornaxcommonblock& common, const Ornaxmeteoornax& grid) {
    return common.nhours >= 8 && common.nlayers >= 0 && common.nlayers <= grid.nlayers &&
           common.nlayers <= static_cast<int>(common.layer_heights.size()) && common.ncols >= 1 &&
           common.nrows >= 1;
}

}  // namespace

std::string ornax_sunrise_dir(const std::string& met_dir, int year, int doy) {
    return trim_right(met_dir) + "/" + write_i(year, 4) + write_i(doy, 3, 3) + "/";
}

std::string ornax_met_day_dir(const std::string& data_root, int year, int doy) {
    return trim_right(data_root) + "/" + write_i(year, 4, 4) + write_i(doy, 3, 3) + "/";
}

void ornax_process_ornax_met_byline(const Ornaxcommonblock& common, Ornaxmeteoornax& grid,
                                    int year, int doy, float pline, int& status) {
    status = 0;
    // every value of the line starts as the fill value, so that a failure leaves fill
    if (!fill_line_arrays(grid)) {
        status = 3;
        return;
    }
    int jday = 0, solar_doy = 0;
    if (!met_day_numbers(year, doy, jday, solar_doy)) {
        status = 3;
        return;
    }
    for (int i = 1; i <= grid.ncols; ++i) {
        grid.lat[static_cast<std::size_t>(i - 1)] = pline;
        grid.lon[static_cast<std::size_t>(i - 1)] =
            grid.start_lon + grid.dlon * (static_cast<float>(i) - 0.5f);
    }
    const float row_real = std::trunc((pline - grid.start_lat) / grid.dlat) + 1.0f;
    if (!(row_real >= 1.0f && row_real <= static_cast<float>(grid.nrows))) {
        status = 3;  // the line lies outside the model grid: it keeps the fill value
        return;
    }
    const int row = static_cast<int>(row_real);
    std::vector<float> rise15(static_cast<std::size_t>(grid.ncols), grid.undef);
    std::vector<float> rise55(rise15);
    if (!load_sunrise_rows(grid, year, jday, solar_doy, row, rise15, rise55)) {
        status = 3;
    }
    for (int i = 0; i < grid.ncols; ++i) {
        const std::size_t n = static_cast<std::size_t>(i);
        const bool missing = rise15[n] == sunrise_no_time || rise15[n] == grid.undef;
        grid.sun_rise_time1[n] = missing ? grid.undef : rise15[n] - obs1_after_sunrise;
        grid.sun_rise_time2[n] = rise55[n];
    }
    const int forcing_row = forcing_cell(pline, common.south_lat, common.dlat);
    screen_line((FreeLine() << "pline_ornaxgrid = " << row).str());
    screen_line((FreeLine() << "at " << pline).str());
    screen_line((FreeLine() << "pline =" << forcing_row).str());
    if (!common_grid_usable(common, grid) || forcing_row < 1 || forcing_row > common.nrows) {
        status = 3;
        return;
    }
    if (!reduce_line(common, grid, year, jday, forcing_row, rise15, rise55)) {
        status = 3;
    }
}

void ornax_prepare_sunrise_cache(const Ornaxmeteoornax& grid, int year, int doy, int& status) {
    status = 3;
    int jday = 0, solar_doy = 0;
    if (!met_day_numbers(year, doy, jday, solar_doy) || grid.ncols < 1 || grid.nrows < 1) return;
    std::vector<float> rise15(static_cast<std::size_t>(grid.ncols), grid.undef);
    std::vector<float> rise55(rise15);
    if (load_sunrise_rows(grid, year, jday, solar_doy, 1, rise15, rise55)) status = 0;
}

void ornax_pro_region_meteorological_data(const Ornaxcommonblock& common,
                                          Ornaxmeteoornax& grid, Ornaxregiondatatype& region,
                                          int year, int doy, float pline, int& status) {
    int release_status = 0;
    int init_status = 0;
    ornax_ornax_grid_init(grid, common, init_status);
    if (init_status != 0) {
        screen_line((FreeLine() << "ORNAX_ornax_grid_init...failed").str());
        // release a partial set-up, so that the next line can set up its arrays again
        ornax_ornax_grid_finalize(grid, release_status);
        status = 3;
        return;
    }
    int process_status = 0;
    ornax_process_ornax_met_byline(common, grid, year, doy, pline, process_status);
    int copy_status = 0;
    ornax_set_ornax_met_byline(region, grid, copy_status);
    if (copy_status != 0) {
        screen_line((FreeLine() << "ORNAX_set_ornax_met_byline failed").str());
    }
    ornax_ornax_grid_finalize(grid, release_status);
    status = (process_status != 0 || copy_status != 0 || release_status != 0) ? 3 : 0;
}



void ornax_read_region_meteorological_data(const std::string& config_file,
                                           Ornaxregiondatatype& region, int year, int doy,
                                           float pline, int& status) {
    Ornaxcommonblock common;
    Ornaxmeteoornax grid;
    int step_status = 0;
    ornax_vesk_read_config(config_file, common, grid, step_status);
    if (step_status != 0) {
        screen_line((FreeLine() << "Error in reading the configuration file").str());
        screen_line((FreeLine() << "Main Program exit...").str());
        status = 3;
        return;
    }
    int release_status = 0;
    ornax_common_grid_init(common, step_status);
    if (step_status == 0) {
        ornax_ornax_grid_init(grid, common, step_status);
    }
    if (step_status != 0) {
        screen_line((FreeLine() << "Error in allocating the memory!").str());
        screen_line((FreeLine() << "Main Program exit...").str());
        ornax_ornax_grid_finalize(grid, release_status);
        ornax_common_grid_finalize(common, release_status);
        status = 3;
        return;
    }
    int land_status = 0;
    ornax_load_land_data(common, land_status);
    if (land_status != 0) {
        screen_line((FreeLine() << "Error in loading the land mask file").str());
    }
    int process_status = 0;
    ornax_process_ornax_met_byline(common, grid, year, doy, pline, process_status);
    int copy_status = 0;
    ornax_set_ornax_met_byline(region, grid, copy_status);
    ornax_ornax_grid_finalize(grid, release_status);
    int common_release = 0;
    ornax_common_grid_finalize(common, common_release);
    status = (land_status != 0 || process_status != 0 || copy_status != 0 ||
              release_status != 0 || common_release != 0) ? 3 : 0;
}
