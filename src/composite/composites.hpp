// Gap-filled daily evapotranspiration and its composites over windows of days, from the
// dated output folders of a range of region runs (YYYYDDD/ with EDAY.bin, EREFDAY.bin,
// region_qc.bin and run_info.json).
//
// Gap filling: on a day a pixel was computed (quality flag "computed", EDAY and EREFDAY
// valid, EREFDAY > 0) its ratio EDAY / EREFDAY is observed. Between two observations at
// most `max_gap` missing days apart the ratio is interpolated linearly in day number and
// the filled daily ET is that ratio times the day's reference ET; where the day has no
// reference ET either, the reference ET is interpolated the same way (flag
// "filled_with_interpolated_reference"). Before the first, after the last observation and
// across longer gaps the pixel stays missing ("not_filled"). Days are streamed: a day is
// final once the `max_gap` days after it are read, so at most max_gap + 1 days of two
// rasters are held, whatever the length of the range.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ornax90/ORNAX_data_mod.hpp"
#include "ornax90/output/quality.hpp"
#include "ornax90/output/vocabulary.hpp"

// Default longest run of missing days that is filled (days).
inline constexpr int ornax_composite_default_max_gap = 10;
// Longest gap accepted on the command line (days): the ring of held days stays small.
inline constexpr int ornax_composite_max_gap_limit = 60;
// Default window length (days).
inline constexpr int ornax_composite_default_window = 7;
// Default fewest years for a standardized anomaly.
inline constexpr int ornax_composite_default_min_years = 3;

// ---- vocabulary ----

// A composite or gap-filled variable: name, meaning, units, CF standard name and the CF
// cell method over the window.
struct Ornaxcompositevarinfotype {
    Ornaxoutputvarinfotype var;
    std::string cell_methods;  // e.g. "time: sum", empty for the daily rasters
};

// The variables of a window composite, in file order.
const std::vector<Ornaxcompositevarinfotype>& ornax_composite_variables();
// The rasters of a gap-filled day, in file order.
const std::vector<Ornaxcompositevarinfotype>& ornax_filled_day_variables();
// The anomaly variables, in file order.
const std::vector<Ornaxcompositevarinfotype>& ornax_anomaly_variables();

// Per-pixel gap-fill flag of a day.
struct Ornaxfillflaginfotype {
    int value = 0;
    std::string meaning;  // CF flag_meanings word
};
inline constexpr int ornax_fill_observed = 0;
inline constexpr int ornax_fill_filled = 1;
inline constexpr int ornax_fill_filled_reference = 2;
inline constexpr int ornax_fill_not_filled = 3;
const std::vector<Ornaxfillflaginfotype>& ornax_fill_flags();

// Anomaly flag of a pixel.
inline constexpr int ornax_anomaly_ok = 0;
inline constexpr int ornax_anomaly_too_few_years = 1;
inline constexpr int ornax_anomaly_no_spread = 2;
const std::vector<Ornaxfillflaginfotype>& ornax_anomaly_flags();

// ---- days of the range ----

// Grid of the days as their run records give it.
struct Ornaxcompositegridtype {
    Spatialinfodata grid;  // corners, cell sizes, ncols x nrows, missing value
    // same grid: sizes equal, corners and cells within 1e-6 deg, same missing value
    bool same_as(const Ornaxcompositegridtype& other) const;
    std::string text() const;  // "20 x 12 at 100 W 34 N, 0.05 deg"
};

// One calendar day of the range and what was found for it.
struct Ornaxcompositedaytype {
    int year = 0;
    int doy = 0;
    std::string folder;   // its output folder, empty when there is none
    bool usable = false;  // a finished run of this day with the outputs on the grid
    std::string why;      // why the day is not usable
};

// Every day from the first to the last (YYYYDDD, 0 = from the folders found) with the
// dated folder of input_dir it has. Folders are listed, never read here. status 3 with
// `why` when input_dir cannot be listed, holds no dated folder, or the range is invalid.
void ornax_composite_find_days(const std::string& input_dir, int first, int last,
                               std::vector<Ornaxcompositedaytype>& days, std::string& why,
                               int& status);

// Reads each day's run_info.json: a day is usable when its run ended with exit status 0
// for its own year and day and its outputs EDAY, EREFDAY and region_qc are there with the
// grid's size; otherwise `why` says what is wrong. The first usable day sets the grid;
// a later usable day on another grid is refused: status 3, `why` naming that day.
void ornax_composite_check_days(std::vector<Ornaxcompositedaytype>& days,
                                Ornaxcompositegridtype& grid, std::string& why, int& status);

// The three rasters of a usable day (line 1 south first). status 3 with `why` naming the
// file when one is missing or not the grid's size.
struct Ornaxcompositedayrasterstype {
    std::vector<float> eday, erefday, quality;
};
void ornax_composite_read_day(const Ornaxcompositedaytype& day, const Ornaxcompositegridtype& grid,
                              Ornaxcompositedayrasterstype& rasters, std::string& why, int& status);

// ---- gap filling ----

// One finished day: ET (observed or filled), the ratio behind it, the fill flag and the
// distance in days to the nearest observation (missing where not filled).
struct Ornaxfilleddaytype {
    int index = 0;  // day of the range, from 0
    std::vector<float> et, ratio, distance;
    std::vector<unsigned char> flag;
};

// Streaming gap filler over days pushed in order.
struct Ornaxgapfillertype {
    int max_gap = ornax_composite_default_max_gap;
    std::size_t pixels = 0;
    float missing = -999.0f;
    int pushed = 0;    // days pushed so far
    int finished = 0;  // days handed over so far
    // ring of max_gap + 1 days: EDAY where observed, EREFDAY where valid, NaN elsewhere
    std::vector<std::vector<float>> ring_eday, ring_eref;
    // per pixel: last observation before the day being finished and the next one after it
    // (next_day -1: not looked for yet; a large value: none within the gap)
    struct Track {
        std::vector<int> prev_day, next_day;
        std::vector<float> prev_value, next_value;
    } ratio_track, eref_track;
    Ornaxfilleddaytype out;  // reused for every day handed over
};

using Ornaxfilleddaysink = std::function<void(const Ornaxfilleddaytype&, int& status)>;

// Sizes the filler (max_gap days, 0 to ornax_composite_max_gap_limit). status 3 otherwise.
void ornax_gapfill_init(Ornaxgapfillertype& filler, std::size_t pixels, int max_gap, float missing,
                        int& status);
// The next day of the range: its rasters, or null pointers for a day without outputs.
// Every day that becomes final is handed to `sink` in order; status 3 when sink fails.
void ornax_gapfill_push(Ornaxgapfillertype& filler, const Ornaxcompositedayrasterstype* rasters,
                        const Ornaxfilleddaysink& sink, int& status);
// Hands over the days still held (the range has ended).
void ornax_gapfill_finish(Ornaxgapfillertype& filler, const Ornaxfilleddaysink& sink, int& status);

// ---- windows ----

struct Ornaxcompositewindowtype {
    int first = 0, last = 0;  // days of the range (from 0), inclusive
    int first_year = 0, first_doy = 0, last_year = 0, last_doy = 0;
    int days() const { return last - first + 1; }
    std::string label() const;  // "2019200_2019206"
};

// Windows over the days of the range: consecutive `window_days`-day windows from the
// first day, or calendar months when window_days is 0. A window the range does not cover
// whole is left out and named in `left_out`.
std::vector<Ornaxcompositewindowtype>
ornax_composite_windows(const std::vector<Ornaxcompositedaytype>& days, int window_days,
                        std::vector<std::string>& left_out);

// Sums of one window, per pixel.
struct Ornaxcompositeaccumtype {
    std::vector<double> et_sum, ratio_sum;
    std::vector<unsigned short> et_days, ratio_days, observed_days, filled_days;
};
void ornax_composite_accum_reset(Ornaxcompositeaccumtype& accum, std::size_t pixels);
void ornax_composite_accum_add(Ornaxcompositeaccumtype& accum, const Ornaxfilleddaytype& day,
                               float missing);

// The composite rasters of a window, in the order of ornax_composite_variables(): ET sum
// (MJ m-2) and in mm of water, written only where every day of the window has ET;
// mean ratio over the days with a ratio; counts of observed and filled days.
void ornax_composite_accum_result(const Ornaxcompositeaccumtype& accum, int window_days,
                                  float missing, std::vector<std::vector<float>>& rasters);

// ---- writers ----

// Writes `values` as little-endian float32 raster `dir`/`name`.bin (temporary name, then
// renamed). status 0 or 3.
void ornax_composite_write_raster(const std::string& dir, const std::string& name,
                                  const std::vector<float>& values, int& status);

// The folder `out_dir`/FIRST_LAST of a window: every composite raster NAME.bin with its
// VRT, and the quicklook map ET_MM.png. status 0, or 3 with `why` naming the file.
void ornax_composite_write_window(const std::string& out_dir,
                                  const Ornaxcompositewindowtype& window,
                                  const Ornaxcompositegridtype& grid,
                                  const std::vector<std::vector<float>>& rasters, std::string& why,
                                  int& status);

// The folder `out_dir`/daily/YYYYDDD of a gap-filled day: its rasters with their VRTs.
void ornax_composite_write_filled_day(const std::string& out_dir, const Ornaxcompositedaytype& day,
                                      const Ornaxcompositegridtype& grid,
                                      const Ornaxfilleddaytype& filled, std::string& why,
                                      int& status);

// ---- the program ----

struct Ornaxcompositeoptionstype {
    std::string input_dir;    // folder of the dated day folders
    std::string output_dir;   // default input_dir/composite
    int first = 0, last = 0;  // YYYYDDD, 0 = from the folders
    int max_gap = ornax_composite_default_max_gap;
    int window_days = ornax_composite_default_window;  // 0: calendar months
    bool daily = false;                                // also write the gap-filled days
    // anomalies of composite files instead of composites of days
    std::vector<std::string> anomaly_inputs;
    std::string anomaly_output;  // the anomaly file
    int min_years = ornax_composite_default_min_years;
    std::vector<std::string> command_line;
};

// Options from the arguments after the program name. status 0; 1 for --help; 3 with
// `why` naming the argument.
void ornax_composite_parse(const std::vector<std::string>& args, Ornaxcompositeoptionstype& options,
                           std::string& why, int& status);
// Usage text.
std::string ornax_composite_usage(const std::string& program);

// What a run did: its messages (each on stderr and in the log as it happens) and files.
struct Ornaxcompositereporttype {
    std::vector<std::string> messages;
    std::vector<std::string> skipped_days;  // YYYYDDD
    std::vector<std::string> windows;       // labels of the windows written
    std::string netcdf_file;
};

// Composites of the days in options.input_dir into options.output_dir:
// ornax_composite.nc (every window a time step), a folder per window, with --daily a
// folder per gap-filled day, and the log ornax_composite.log. status 0, or 3 with the
// cause among the messages (nothing published when the days are refused).
void ornax_composite_run(const Ornaxcompositeoptionstype& options, Ornaxcompositereporttype& report,
                         int& status);

// Standardized anomalies of the mean ratio of composite files of several years: each
// window (same first day of year and length) across the years present. status 0 or 3.
void ornax_composite_anomalies(const Ornaxcompositeoptionstype& options,
                               Ornaxcompositereporttype& report, int& status);
