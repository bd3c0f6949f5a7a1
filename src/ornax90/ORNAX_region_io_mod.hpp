// Region configuration, land mask, line-by-line meteorology and the reading of one line
// of region inputs.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "ornax90/ORNAX_data_mod.hpp"
#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/file_io_mod.hpp"

// ===================================================================================
// Region configuration file (region_io/config.cpp)
// ===================================================================================

// Lines of a region configuration file that hold values (lines 1-5 are a header).
inline constexpr int region_config_first_line = 6;
inline constexpr int region_config_last_line = 65;
// Longest stored path (characters).
inline constexpr int region_config_path_length = 300;

// Stored path of each line of a region configuration file, indexed by line number;
// lines without a stored path (directory lines, separators) and lines not reached stay empty.
using RegionConfigPaths = std::array<std::string, region_config_last_line + 1>;

// Reads a region configuration file for one year and day of year: lines 6 to 65, each
// value taken from columns 31-286, turned into a path by its line's rule (plain, under
// HOME_DIR, in the current directory, in its dated subdirectory "/YYYYDDD/", or in the
// fixed-year insolation name "<value>2011DDD.dat") and checked for existence where the
// line requires it. A missing required file stops reading (status 3); a missing warned
// file is only logged. Year outside 1900-2100 or day outside 1-366: status 3, no message.
// A file that ends before line 64, or a path longer than 300 characters, is a failure
// (status 3) whose log line names the file and the line.
void ornax_read_region_config_paths(const std::string& config_file, int year, int doy,
                                    RegionConfigPaths& paths, int& status);

// Resets `region` to its initial state, then reads the region configuration file (as
// above) into its file-name fields, landcover_table_file (line 6) to spare_dir (line 65).
// Fields of lines not reached keep their initial (empty) values.
void ornax_read_region_config_file(const std::string& config_file, Ornaxregiondatatype& region,
                                   int year, int doy, int& status);

// The text of a region configuration file, as the readers above read it: the four header
// lines as given and a separator (lines 1-5), then lines 6 to 65, each with its label in
// columns 1-30 and values[line] as written, before the line's rule turns it into a path
// (separator lines hold no value).
std::string ornax_region_config_text(const std::array<std::string, 4>& header,
                                     const RegionConfigPaths& values);

// ===================================================================================
// Land mask and land subset (region_io/landmask.cpp)
// ===================================================================================

// UMD land-cover raster: global, 0.01 degree, column 1 centred at -179.995, row 1 centred
// at -59.995, rows from the south, 4-byte big-endian reals.
inline constexpr int ornax_umd_ncols = 36000;
inline constexpr int ornax_umd_nrows = 15000;

// Columns, rows and first pixel (1-based) of the UMD window that covers a common grid,
// and the UMD pixels per common-grid cell.
struct Ornaxumdwindow {
    int ncols = 0;
    int nrows = 0;
    int first_col = 0;
    int first_row = 0;
    int block_cols = 0;
    int block_rows = 0;
};

// Window and block sizes of the UMD raster for the common grid's edges and spacing.
Ornaxumdwindow ornax_umd_window(const Ornaxcommonblock& common);

// Sets the common grid's land cells (from the land subset file, or built from the UMD
// land cover) and reads the forecast-model land mask. Status 0 or 3.
void ornax_load_land_data(Ornaxcommonblock& common, int& status);

// The forecast-model land mask alone (the last step of ornax_load_land_data), for a process
// that shares a run whose land cells another process has set. Status 0, or 3 for an
// unknown meteorological flag.
void ornax_load_forcing_land_mask(Ornaxcommonblock& common, int& status);

// Loads land cells from a land subset file after checking it against the grid; writes
// common_lc.dat in every case. Status 0, or 3 when the file is missing, short or mismatched.
void ornax_load_land_subset(int ncols, int nrows, float west_lon, float east_lon, float dlon,
                            float south_lat, float north_lat, float dlat,
                            const std::string& file_name, int& land_count,
                            std::vector<Ornaxsinglegrid>& land_cells, int& status);

// Builds the land cells from the UMD land cover: a cell is land when at least one UMD
// pixel of its block is land; then writes the land subset file. Status 0 or 3.
void ornax_set_umd_land_mask(Ornaxcommonblock& common, const std::string& umd_file,
                             float spare_value, int& status);

// Writes the land subset file (replacing it atomically) and common_lc.dat. Status 0 or 3.
void ornax_write_out_land_index(int land_count, int ncols, int nrows, float west_lon,
                                float east_lon, float dlon, float south_lat, float north_lat,
                                float dlat, const std::vector<Ornaxsinglegrid>& land_cells,
                                const std::string& file_name, int& status);

// Counts the values > 0 in the block of the (ncols x nrows, column fastest) matrix that
// starts at 1-based (first_col, first_row); positions outside the matrix are skipped with
// "Out of bound". Status 0.
void ornax_subset_integer_matrix(const std::vector<int>& matrix, int ncols, int nrows,
                                 int first_col, int first_row, int block_cols, int block_rows,
                                 int& count, int& status);

// ===================================================================================
// Line-by-line meteorological processing (region_io/met_lines.cpp)
// ===================================================================================

// Time steps of a day that the reduction to local time uses (three-hourly, from 00 UTC).
inline constexpr int ornax_forecast_steps_used = 8;

// One row of the common grid, for the day and the next, as the reduction reads it: the first
// eight time steps of every column's profile layers and surface fields, each series
// contiguous. Index of step t (1..8) of layer k of column c in pot[d]:
// ((c - 1) * nlayers + (k - 1)) * 8 + t - 1; of surface file f (0..7, reading order) in
// surface[d]: ((c - 1) * 8 + f) * 8 + t - 1. d = 0 the day, 1 the next.
//
// The hourly series of the surface fields depend on a model-grid column's longitude only,
// not on the line, so they are formed once per row too: series of surface file f (0..7) of
// model-grid column i, local hours 1..nhours, at ((i - 1) * 8 + f) * nhours + h - 1 of
// `hourly` (the fill value for a column outside the common grid).
struct Ornaxforecastrows {
    int ncols = 0, nlayers = 0;
    int model_ncols = 0, nhours = 0;
    std::vector<float> hourly;
    std::array<int, 2> read_failures{};  // rasters of each day that could not be read
    std::array<std::vector<float>, 2> pot;
    std::array<std::vector<float>, 2> surface;
    std::array<Ornaxmessagebuffer, 2> messages;  // what the reads of each day reported
    std::span<const float> pot_series(int d, int c, int k) const;
    std::span<const float> surface_series(int d, int c, int f) const;
    // Every layer's (or surface field's) series of column c of day d, one after another.
    std::span<const float> pot_column(int d, int c) const;
    std::span<const float> surface_column(int d, int c) const;
    // Field f's hourly series of every model-grid column, shaped (column, hour).
    std::span<const float> hourly_field(int f) const;
};

// 1-based cell of a coordinate on a forecast-model grid whose first cell starts at `start`
// (a centre 0.67 spacings into a cell counts for the next); 0 when it cannot be represented.
int ornax_forcing_cell(float coordinate, float start, float spacing);
// Centre longitude of column i (1-based) of the model grid.
inline float ornax_model_grid_lon(const Ornaxmeteoornax& grid, int i) {
    return grid.start_lon + grid.dlon * (static_cast<float>(i) - 0.5f);
}

// Sources of the line meteorology of one day, shared by every line of a region run and
// safe to use from several threads at once: the observation-time grids of the whole model
// grid (read from the sunrise cache or computed and cached, once, before the first line),
// the day's forecast-model rasters held open, and the forecast rows that neighbouring lines
// share, read once and kept while lines still need them (the last `keep_rows` rows).
class Ornaxmetday {
public:
    int year = 0, jday = 0, solar_doy = 0;
    int ncols = 0, nrows = 0;    // of the model grid
    Real2dArray rise15, rise55;  // (column, row), UTC hours
    bool rise15_read = false;    // each grid holds its times
    bool rise55_read = false;
    bool from_cache = false;          // the grids were read from the cache rasters
    RasterInputFiles forecast_files;  // the day's and the next day's rasters
    std::size_t keep_rows = 4;
    // Forecast rows read together, one positioned read per raster layer and time step.
    int band_rows = 8;
    // Form every hourly series of the model grid; false: only those the region record takes
    // (the hourly profiles are left unfilled, the land-surface temperature and latent-heat
    // series keep the fill value).
    bool all_series = true;

    // Forecast rows of common-grid row `row` with the hourly series of the model grid's
    // columns (read on first use; every caller of a row gets the same values and messages).
    std::shared_ptr<const Ornaxforecastrows> forecast_rows(const Ornaxcommonblock& common,
                                                           const Ornaxmeteoornax& grid, int row);

    struct Band;  // consecutive forecast rows of both days as read from the rasters

private:
    struct Slot {
        std::mutex fill;
        std::shared_ptr<const Ornaxforecastrows> rows;
    };
    struct BandSlot {
        std::mutex fill;
        std::shared_ptr<const Band> band;
    };
    std::shared_ptr<const Band> band_of(const Ornaxcommonblock& common, int row);
    std::mutex mutex_;
    std::map<int, std::shared_ptr<Slot>> slots_;
    std::vector<int> order_;  // rows in the order they were first asked for
    std::map<int, std::shared_ptr<BandSlot>> bands_;
    std::vector<int> band_order_;
};

// Prepares the sources of day doy of year for the model grid: the date, the sunrise grids
// (from "rise15MET" / "rise55MET" under met_dir/YYYYDDD/ when their sidecar "riseMET.chk"
// vouches for the grid, the day and every row, else computed for the whole grid and written
// there with a new sidecar) and the forecast-model rasters of the day and the next held open.
// Status 3 for an invalid date or sunrise grids that could not be had; the lines then report the
// failure as they use the day.
void ornax_prepare_met_day(const Ornaxcommonblock& common, const Ornaxmeteoornax& grid, int year,
                           int doy, Ornaxmetday& day, int& status);

// Meteorology of one line (latitude pline, degrees) of the model grid for a day: sets up
// the model grid's line arrays, derives every column's meteorology at its two observation
// times and over its local day from the forecast-model rasters of the day and the next,
// copies it into the region data record and releases the line arrays. Status 0, or 3
// when any step failed (the affected values then hold the model grid's fill value).
void ornax_pro_region_meteorological_data(const Ornaxcommonblock& common, Ornaxmeteoornax& grid,
                                          Ornaxregiondatatype& region, int year, int doy,
                                          float pline, int& status);
// Fills the model grid's line arrays for line pline of day doy of year: observation times
// from the per-day sunrise rasters "rise15MET" / "rise55MET" under the grid's met_dir
// (computed for the whole grid and written when either is missing or of the wrong size),
// and the forecast-model values of the common grid reduced to every column. Status 3 for
// an invalid date, a line outside the model or forecast-model grid, a failed sunrise or
// profile read, or line arrays that were not set up.
void ornax_process_ornax_met_byline(const Ornaxcommonblock& common, Ornaxmeteoornax& grid, int year,
                                    int doy, float pline, int& status);
// Self-contained variant for one line: reads the meteorological configuration file, sets up
// its own common grid (with the land mask) and model grid, processes the line into the
// region data record and releases both grids. Status 0, or 3 when any step failed.
void ornax_read_region_meteorological_data(const std::string& config_file,
                                           Ornaxregiondatatype& region, int year, int doy,
                                           float pline, int& status);
// Writes the sunrise cache of day doy of year for the model grid: the rasters "rise15MET"
// and "rise55MET" (ncols x nrows images) and the sidecar "riseMET.chk" that vouches for
// them (the grid, the day and a checksum of every row). Status 0, or 3.
void ornax_write_sunrise_cache(const Ornaxmeteoornax& grid, int year, int doy,
                               const std::vector<float>& rise15, const std::vector<float>& rise55,
                               int& status);
// The forecast-model rasters of one day, the profile first.
inline constexpr const char* ornax_met_profile_file = "pot_profile.bin";
std::span<const char* const> ornax_met_day_files();
// Directory of the sunrise rasters of a day: met_dir/YYYYDDD/.
std::string ornax_sunrise_dir(const std::string& met_dir, int year, int doy);
// Directory of the forecast-model rasters of a day: data_root/YYYYDDD/.
std::string ornax_met_day_dir(const std::string& data_root, int year, int doy);

// ===================================================================================
// Per-pixel meteorology at observation times (region_io/met_pixel.cpp)
// ===================================================================================

// Value of one forecast-model quantity for one pixel: the three-hourly UTC series of the
// requested day (day1) and of the following day (day2), at least 8 values each from 00 UTC,
// make a 48-hour window (0, 3, ..., 45 h). value1 / value2 are the values at the first and
// second observation times t1 and t2 (UTC hours; t2 before t1 lies after midnight UTC);
// series(h), h = 1..nhours, is the value at local mean solar hour h - 1 of the pixel
// (longitude lon, degrees east). A time outside the window or a bracket holding the fill
// value gives fill. steps (time steps per day) is not used. Status 0, or 3 when a day
// holds fewer than 8 values or series fewer than nhours (outputs then all fill).
void ornax_get_local_time_vars(float lon, float t1, float t2, std::span<const float> day1,
                               std::span<const float> day2, float fill, int steps, float& value1,
                               float& value2, std::span<float> series, int nhours, int& status);
// Place of x hours after 00 UTC of the first day in the two-day three-hourly window: the
// first point of its bracketing pair (0..14), or -1 when no pair brackets it (NaN too).
struct Ornaxwindowslot {
    int index = -1;
    float x = 0.0f;
};
Ornaxwindowslot ornax_window_slot(float x);
// The slot of local mean solar hour `hour` (0..23) at longitude lon (degrees east).
Ornaxwindowslot ornax_local_hour_slot(float lon, int hour);
// The slot of the second observation time (after midnight UTC when earlier than t1).
Ornaxwindowslot ornax_second_observation_slot(float t1, float t2);
// Value of the window of day1 and day2 (8 values each) at a slot: the straight line through
// the bracketing pair, or fill when there is none, a point holds fill or a day is short.
// Every field of a column shares the slots of its observation times.
float ornax_window_value(const Ornaxwindowslot& slot, std::span<const float> day1,
                         std::span<const float> day2, float fill);
// The same for consecutive series at one slot: series j is the 8 values from 8 j of day1
// and of day2, and its value goes to values[j]. Every value is fill when a day is short.
void ornax_window_values(const Ornaxwindowslot& slot, std::span<const float> day1,
                         std::span<const float> day2, float fill, std::span<float> values);
// Value at x of the straight line through (x1, y1) and (x2, y2); 0 when x1 and x2 coincide.
float ornax_linear_interp(float x, float x1, float x2, float y1, float y2);
// Copies the line's meteorology from the model grid into the region data record (the
// region arrays take the model grid's shapes) and sets the sounding heights z_pbli.
// Status 3 when the model grid holds more layers than the height table.
void ornax_set_ornax_met_byline(Ornaxregiondatatype& region, const Ornaxmeteoornax& grid,
                                int& status);
// The same, but a line array the record already holds with the line's extent changes places
// with the model grid's instead of being copied: the grid's arrays then hold stale values
// until the next line fills them again, as every line does before it reads them.
void ornax_take_ornax_met_byline(Ornaxregiondatatype& region, Ornaxmeteoornax& grid, int& status);

// ===================================================================================
// Region inputs (region_io/inputs.cpp)
// ===================================================================================

// Line (1-based) of an input grid that holds a run line's centre latitude: the whole
// cells between the grid's south edge and the latitude, plus one (truncated toward zero,
// so a latitude less than one cell south of the edge still gives line 1).
int ornax_region_input_line(const Spatialinfodata& grid, float lat);

// Land parameters of the line: class, leaf absorptivities, leaf size, soil reflectances
// and the soil-resistance correction (read whatever the region model switch says).
// status 0, the failing read's status, or 3.
void ornax_read_region_land_parms(const Spatialinfodata& land_grid, Ornaxregiondatatype& region,
                                  const std::vector<Ornaxlandtype>& table, int region_switch,
                                  float lat, int& status);
// Snow mask of the line (zeros where the read leaves values untouched).
void ornax_read_region_snowmask(const Spatialinfodata& snow_grid, Ornaxregiondatatype& region,
                                float lat, int& status);
// Leaf area index of the line (the grid's missing value where not read); clumping and
// green fraction are 1.
void ornax_read_region_vegetation_data(const Spatialinfodata& veg_grid, Ornaxregiondatatype& region,
                                       float lat, int& status);
// View angle, surface temperatures, observation times and insolation of the line, in
// that order; the first failing read stops the step with status 3.
void ornax_read_region_goes_data(const Spatialinfodata& sat_grid, Ornaxregiondatatype& region,
                                 float lat, int& status);

// Opens every per-line input raster of the region configuration (land parameters, snow
// mask, leaf area index, satellite observations) and holds it in `files`, for reading line
// by line through region.input_rasters. A file that cannot be opened is not held.
void ornax_hold_region_inputs(const Ornaxregiondatatype& region, RasterInputFiles& files);

// Weighted sum of the five step statuses of a line's inputs (land 1, snow 10, vegetation
// 100, meteorology 1000, satellite 10000) and whether the line failed: any non-zero step
// fails it, so a negative status cannot cancel another step's failure.
bool ornax_region_input_failed(const int step_status[5], long long& weighted_sum);

// Fills the line arrays of the region record for the run line at latitude lat: land
// parameters, snow mask, vegetation, meteorology and satellite data, each step run
// whatever the others gave. Any step with a non-zero status fails the line (status 3)
// after the log line "Eorros in the input data" with the weighted sum of the statuses
// (1 land, 10 snow, 100 vegetation, 1000 meteorology, 10000 satellite).
void ornax_read_region_data(Ornaxregiondatatype& region, const Ornaxcommonblock& common,
                            Ornaxmeteoornax& met_grid, const Spatialinfodata& run_grid,
                            const Spatialinfodata& land_grid, const Spatialinfodata& veg_grid,
                            const Spatialinfodata& snow_grid, const Spatialinfodata& land_copy_grid,
                            const Spatialinfodata& sat_grid,
                            const std::vector<Ornaxlandtype>& table, int nclasses,
                            int region_switch, int year, int doy, float lat, int& status);
