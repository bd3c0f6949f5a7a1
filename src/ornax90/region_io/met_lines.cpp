// Line-by-line meteorological processing: the forecast-model rows of the day and the next
// reduced to the model grid at each column's observation times and local hours.
#include "ornax90/ORNAX_region_io_mod.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "ornax90/ORNAX_io_mod.hpp"
#include "ornax90/file_io_mod.hpp"
#include "utils/fixed_text.hpp"
#include "ornax90/ornax_constants_mod.hpp"
#include "utils/sunrise_mod.hpp"

namespace {

enum SurfaceFile {
    psfc_file,
    t2_file,
    q2_file,
    wind_file,
    lwdn_file,
    swdn_file,
    cfslst_file,
    lhtfl_file,
    met_surface_fields
};
constexpr float obs1_after_sunrise = 1.5f;  // first observation after sunrise (h)

void screen_line(const std::string& line) {
    ornax_screen_line(line);
}

// Row `row` of both observation-time grids of the day (UTC hours), with the line's message
// about them. False when either grid could not be had.
bool sunrise_rows(const Ornaxmetday& day, int ncols, int row, std::vector<float>& rise15,
                  std::vector<float>& rise55) {
    const bool usable = day.rise15.n1 == ncols && row >= 1 && row <= day.rise15.n2 &&
                        day.rise55.n1 == ncols && row <= day.rise55.n2;
    const bool read15 = usable && day.rise15_read, read55 = usable && day.rise55_read;
    if (read15)
        for (int i = 1; i <= ncols; ++i)
            rise15[static_cast<std::size_t>(i - 1)] = day.rise15(i, row);
    if (read55)
        for (int i = 1; i <= ncols; ++i)
            rise55[static_cast<std::size_t>(i - 1)] = day.rise55(i, row);
    if (day.from_cache && read15 && ncols >= 100)
        screen_line((FreeLine() << "rise15temp(100) =" << rise15[99]).str());
    return read15 && read55;
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
    const std::size_t profile = g.hourly_profiles ? nc * nl * nh : 0;
    return {{{&g.land, nc},
             {&g.lat, nc},
             {&g.lon, nc},
             {&g.sun_rise_time1, nc},
             {&g.sun_rise_time2, nc},
             {&g.lwdn_surface_series, nc * nh},
             {&g.swdn_surface_series, nc * nh},
             {&g.cfslst_surface_series, nc * nh},
             {&g.lhtfl_surface_series, nc * nh},
             {&g.wind_surface_series, nc * nh},
             {&g.temp_surface_series, nc * nh},
             {&g.pres_surface_series, nc * nh},
             {&g.spfh_surface_series, nc * nh},
             {&g.temp_profile, profile},
             {&g.spfh_profile, profile},
             {&g.pressure_profile, profile},
             {&g.height_profile, profile},
             {&g.pot_profile, profile},
             {&g.taobs1, nc},
             {&g.taobs2, nc},
             {&g.pres1, nc},
             {&g.pres2, nc},
             {&g.spfh1, nc},
             {&g.spfh2, nc},
             {&g.wind1, nc},
             {&g.wind2, nc},
             {&g.lwdn1, nc},
             {&g.lwdn2, nc},
             {&g.swdn1, nc},
             {&g.swdn2, nc},
             {&g.cfslst1, nc},
             {&g.cfslst2, nc},
             {&g.lhtfl1, nc},
             {&g.lhtfl2, nc},
             {&g.th_pblk1, nc * nl},
             {&g.th_pblk2, nc * nl}}};
}

// True when every line array of the model grid has its extent.
bool line_arrays_set_up(Ornaxmeteoornax& grid) {
    if (grid.ncols < 1) return false;
    for (const LineArray& entry : line_arrays(grid)) {
        if (entry.array->size() != entry.size) return false;
    }
    return true;
}

// Fills every line array with the fill value; false when the arrays are not set up.
// Without `profiles`, the (column, layer, hour) profiles, which the region record does not
// take, are left as they are.
bool fill_line_arrays(Ornaxmeteoornax& grid, bool profiles) {
    if (!line_arrays_set_up(grid)) {
        return false;
    }
    const std::vector<float>* hourly_profiles[] = {&grid.temp_profile, &grid.spfh_profile,
                                                   &grid.pressure_profile, &grid.height_profile,
                                                   &grid.pot_profile};
    for (const LineArray& entry : line_arrays(grid)) {
        if (!profiles && std::find(std::begin(hourly_profiles), std::end(hourly_profiles),
                                   entry.array) != std::end(hourly_profiles))
            continue;
        std::fill(entry.array->begin(), entry.array->end(), grid.undef);
    }
    return true;
}

// Scratch values of one column: an hourly series, and every layer's or surface field's
// value at the two observation times.
struct ColumnScratch {
    std::vector<float> series, at1, at2;
};

// Reduces column c of the forecast-model rows to column i of the model grid.
// Without `all_series`, only the series that reach the region record are formed: the
// profile layers and the land-surface temperature and latent heat keep their hourly
// series at the fill value.
void reduce_column(const Ornaxcommonblock& common, const Ornaxforecastrows& rows, int c, int i,
                   float t1, float t2, bool all_series, ColumnScratch& scratch,
                   Ornaxmeteoornax& grid) {
    const float lon = grid.lon[static_cast<std::size_t>(i - 1)];
    std::vector<float>& series = scratch.series;
    int status = 0;
    const int profile_hours = all_series ? grid.nhours : 0;
    // every field of the column is read at the same two places of the window
    const Ornaxwindowslot slot1 = ornax_window_slot(t1);
    const Ornaxwindowslot slot2 = ornax_second_observation_slot(t1, t2);
    const std::size_t nlayers = static_cast<std::size_t>(std::max(common.nlayers, 0));
    scratch.at1.resize(std::max<std::size_t>(nlayers, met_surface_fields));
    scratch.at2.resize(scratch.at1.size());
    const std::span<float> layers1(scratch.at1.data(), nlayers),
        layers2(scratch.at2.data(), nlayers);
    if (profile_hours == 0) {
        ornax_window_values(slot1, rows.pot_column(0, c), rows.pot_column(1, c), common.undef,
                            layers1);
        ornax_window_values(slot2, rows.pot_column(0, c), rows.pot_column(1, c), common.undef,
                            layers2);
    }
    for (int k = 1; k <= common.nlayers; ++k) {
        const std::size_t layer = static_cast<std::size_t>(k - 1);
        if (profile_hours > 0) {
            grid.height_profile[met_index3(grid.ncols, grid.nlayers, i, k, 1)] =
                common.layer_heights[layer];
            ornax_get_local_time_vars(
                lon, t1, t2, rows.pot_series(0, c, k), rows.pot_series(1, c, k), common.undef,
                common.nhours, layers1[layer], layers2[layer], series, profile_hours, status);
        }
        grid.th_pblk1[met_index2(grid.ncols, i, k)] = layers1[layer];
        grid.th_pblk2[met_index2(grid.ncols, i, k)] = layers2[layer];
        for (int h = 1; h <= profile_hours; ++h) {
            grid.pot_profile[met_index3(grid.ncols, grid.nlayers, i, k, h)] =
                series[static_cast<std::size_t>(h - 1)];
        }
    }
    struct SurfaceTarget {
        SurfaceFile file;
        std::vector<float>* at_obs1;
        std::vector<float>* at_obs2;
        std::vector<float>* hourly;
        bool copied;  // the region record takes the hourly series
    };
    const SurfaceTarget targets[] = {
        {t2_file, &grid.taobs1, &grid.taobs2, &grid.temp_surface_series, true},
        {q2_file, &grid.spfh1, &grid.spfh2, &grid.spfh_surface_series, true},
        {psfc_file, &grid.pres1, &grid.pres2, &grid.pres_surface_series, true},
        {wind_file, &grid.wind1, &grid.wind2, &grid.wind_surface_series, true},
        {lwdn_file, &grid.lwdn1, &grid.lwdn2, &grid.lwdn_surface_series, true},
        {swdn_file, &grid.swdn1, &grid.swdn2, &grid.swdn_surface_series, true},
        {cfslst_file, &grid.cfslst1, &grid.cfslst2, &grid.cfslst_surface_series, false},
        {lhtfl_file, &grid.lhtfl1, &grid.lhtfl2, &grid.lhtfl_surface_series, false}};
    // the row's hourly series of this column, formed once for every line of the row
    const bool formed = rows.model_ncols == grid.ncols && rows.nhours == grid.nhours;
    const std::span<float> fields1(scratch.at1.data(), met_surface_fields),
        fields2(scratch.at2.data(), met_surface_fields);
    ornax_window_values(slot1, rows.surface_column(0, c), rows.surface_column(1, c), common.undef,
                        fields1);
    ornax_window_values(slot2, rows.surface_column(0, c), rows.surface_column(1, c), common.undef,
                        fields2);
    for (const SurfaceTarget& target : targets) {
        const std::size_t f = static_cast<std::size_t>(target.file);
        // formed series are copied for the whole line at once
        const int hours = !formed && (all_series || target.copied) ? grid.nhours : 0;
        if (hours > 0)
            ornax_get_local_time_vars(lon, t1, t2, rows.surface_series(0, c, static_cast<int>(f)),
                                      rows.surface_series(1, c, static_cast<int>(f)), common.undef,
                                      common.nhours, fields1[f], fields2[f], series, hours, status);
        (*target.at_obs1)[static_cast<std::size_t>(i - 1)] = fields1[f];
        (*target.at_obs2)[static_cast<std::size_t>(i - 1)] = fields2[f];
        for (int h = 1; h <= hours; ++h) {
            (*target.hourly)[met_index2(grid.ncols, i, h)] =
                series[static_cast<std::size_t>(h - 1)];
        }
    }
}

// The hourly series that the forecast rows formed for the whole model-grid line, copied
// into the line arrays: those the region record takes, or every one with `all_series`.
void copy_formed_series(const Ornaxforecastrows& rows, bool all_series, Ornaxmeteoornax& grid) {
    if (rows.model_ncols != grid.ncols || rows.nhours != grid.nhours) return;
    const std::pair<SurfaceFile, std::vector<float>*> fields[] = {
        {t2_file, &grid.temp_surface_series},       {q2_file, &grid.spfh_surface_series},
        {psfc_file, &grid.pres_surface_series},     {wind_file, &grid.wind_surface_series},
        {lwdn_file, &grid.lwdn_surface_series},     {swdn_file, &grid.swdn_surface_series},
        {cfslst_file, &grid.cfslst_surface_series}, {lhtfl_file, &grid.lhtfl_surface_series}};
    for (const auto& [file, series] : fields) {
        const bool copied = file != cfslst_file && file != lhtfl_file;
        const std::span<const float> formed = rows.hourly_field(static_cast<int>(file));
        if ((all_series || copied) && formed.size() == series->size())
            std::copy(formed.begin(), formed.end(), series->begin());
    }
}

// Reduces every column of the line from the forecast rows of the day and the next (read
// once for all the lines that share them); the rasters that could not be read are counted
// in the grid's forcing_read_failures.
void reduce_line(const Ornaxcommonblock& common, Ornaxmeteoornax& grid, Ornaxmetday& day,
                 int forcing_row, const std::vector<float>& rise15,
                 const std::vector<float>& rise55) {
    const std::shared_ptr<const Ornaxforecastrows> rows =
        day.forecast_rows(common, grid, forcing_row);
    for (int d = 0; d < 2; ++d) {
        ornax_release_messages(rows->messages[static_cast<std::size_t>(d)]);
        grid.forcing_read_failures += rows->read_failures[static_cast<std::size_t>(d)];
    }
    // a line without hourly profiles forms none, whatever day it was given
    const bool all_series = day.all_series && grid.hourly_profiles;
    ColumnScratch scratch;
    scratch.series.resize(static_cast<std::size_t>(std::max(grid.nhours, 0)));
    for (int i = 1; i <= grid.ncols; ++i) {
        const int c = ornax_forcing_cell(grid.lon[static_cast<std::size_t>(i - 1)], common.west_lon,
                                         common.dlon);
        if (c < 1 || c > common.ncols) {
            continue;  // outside the forecast-model grid: the column keeps the fill value
        }
        reduce_column(common, *rows, c, i, rise15[static_cast<std::size_t>(i - 1)],
                      rise55[static_cast<std::size_t>(i - 1)], all_series, scratch, grid);
    }
    copy_formed_series(*rows, all_series, grid);
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

void ornax_process_ornax_met_byline(const Ornaxcommonblock& common, Ornaxmeteoornax& grid, int year,
                                    int doy, float pline, int& status) {
    status = 0;
    grid.forcing_read_failures = 0;
    // every value of the line starts as the fill value, so that a failure leaves fill
    const bool all_series = grid.day_sources == nullptr || grid.day_sources->all_series;
    if (!fill_line_arrays(grid, all_series)) {
        status = ornax_status_failure;
        return;
    }
    int month = -1, day_of_month = -1;
    get_mmdd_by_yyyydoy(year, doy, month, day_of_month);
    if (day_of_month < 1 || year < 1 || month < 1) {
        status = ornax_status_failure;
        return;
    }
    const int jday = day_of_month + ornax_const_jday_in_year[static_cast<std::size_t>(month - 1)] +
                     (is_leap_year(year) && month > 2 ? 1 : 0);
    for (int i = 1; i <= grid.ncols; ++i) {
        grid.lat[static_cast<std::size_t>(i - 1)] = pline;
        grid.lon[static_cast<std::size_t>(i - 1)] = ornax_model_grid_lon(grid, i);
    }
    const float row_real = std::trunc((pline - grid.start_lat) / grid.dlat) + 1.0f;
    if (!(row_real >= 1.0f && row_real <= static_cast<float>(grid.nrows))) {
        status =
            ornax_status_failure;  // the line lies outside the model grid: it keeps the fill value
        return;
    }
    const int row = static_cast<int>(row_real);
    // The day's sources: the run's, prepared before its first line, or this line's own.
    Ornaxmetday* day = grid.day_sources;
    std::unique_ptr<Ornaxmetday> own_day;
    if (day == nullptr || day->year != year || day->jday != jday || day->ncols != grid.ncols ||
        day->nrows != grid.nrows) {
        own_day = std::make_unique<Ornaxmetday>();
        int prepare_status = 0;
        ornax_prepare_met_day(common, grid, year, doy, *own_day, prepare_status);
        day = own_day.get();
    }
    std::vector<float> rise15(static_cast<std::size_t>(grid.ncols), grid.undef);
    std::vector<float> rise55(rise15);
    if (!sunrise_rows(*day, grid.ncols, row, rise15, rise55)) {
        status = ornax_status_failure;
    }
    for (int i = 0; i < grid.ncols; ++i) {
        const std::size_t n = static_cast<std::size_t>(i);
        const bool missing = rise15[n] == sunrise_no_time || rise15[n] == grid.undef;
        grid.sun_rise_time1[n] = missing ? grid.undef : rise15[n] - obs1_after_sunrise;
        grid.sun_rise_time2[n] = rise55[n];
    }
    const int forcing_row = ornax_forcing_cell(pline, common.south_lat, common.dlat);
    screen_line((FreeLine() << "pline_ornaxgrid = " << row).str());
    screen_line((FreeLine() << "at " << pline).str());
    screen_line((FreeLine() << "pline =" << forcing_row).str());
    if (!common_grid_usable(common, grid) || forcing_row < 1 || forcing_row > common.nrows) {
        status = ornax_status_failure;
        return;
    }
    reduce_line(common, grid, *day, forcing_row, rise15, rise55);
}

void ornax_pro_region_meteorological_data(const Ornaxcommonblock& common, Ornaxmeteoornax& grid,
                                          Ornaxregiondatatype& region, int year, int doy,
                                          float pline, int& status) {
    int release_status = 0;
    int init_status = 0;
    // The line arrays are set up on the first line a record serves and kept for its next
    // lines (every line starts by filling them), so a line pays neither for allocating nor
    // for zeroing them; the record releases them when it goes.
    if (!line_arrays_set_up(grid)) {
        // the hourly profiles only when the lines form them
        grid.hourly_profiles = grid.day_sources == nullptr || grid.day_sources->all_series;
        ornax_ornax_grid_init(grid, common, init_status);
    }
    if (init_status != 0) {
        screen_line((FreeLine() << "ORNAX_ornax_grid_init...failed").str());
        // release a partial set-up, so that the next line can set up its arrays again
        ornax_ornax_grid_finalize(grid, release_status);
        status = ornax_status_failure;
        return;
    }
    int process_status = 0;
    ornax_process_ornax_met_byline(common, grid, year, doy, pline, process_status);
    int copy_status = 0;
    ornax_take_ornax_met_byline(region, grid, copy_status);
    region.forcing_read_failures = grid.forcing_read_failures;
    if (copy_status != 0) {
        screen_line((FreeLine() << "ORNAX_set_ornax_met_byline failed").str());
    }
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
        status = ornax_status_failure;
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
        status = ornax_status_failure;
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
    status = (land_status != 0 || process_status != 0 || copy_status != 0 || release_status != 0 ||
              common_release != 0)
                 ? 3
                 : 0;
}
