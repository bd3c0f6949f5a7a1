// Output metadata of a region run: what every output variable and quality flag means,
// the per-line accumulation of flag counts and value statistics, and the files that make
// the headerless rasters usable in other tools: a GDAL VRT and a GrADS descriptor beside
// every raster, and the run record run_info.json, written last, whose presence marks a
// finished run. Every file is written under a temporary name in its folder, each write
// checked, then renamed into place.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "ornax90/ORNAX_data_mod.hpp"
#include "ornax90/input_check/checks.hpp"
#include "ornax90/output/quality.hpp"

struct Ornaxregionruntimes;

// ---- vocabulary ----

// One output variable as the metadata files describe it.
struct Ornaxoutputvarinfotype {
    std::string name;           // raster name without ".bin", e.g. "EDAY"
    std::string description;    // what the value is
    std::string units;          // unit as the model writes it, e.g. "MJ m-2 day-1"
    std::string cf_units;       // the same unit in UDUNITS notation, e.g. "MJ m-2 d-1"
    std::string standard_name;  // CF standard name, empty where CF has none
    // When the value holds: 1 or 2 at the pixel's first or second morning observation
    // (instantaneous), 0 for a daily total or mean and for the quality raster
    int observation = 0;
};

// Name, description and units of a variable of the 42-name vocabulary, or of the quality
// raster "region_qc". false for any other name.
bool ornax_output_var_info(const std::string& name, Ornaxoutputvarinfotype& info);

// The present time in UTC, ISO 8601 ("2019-07-19T06:30:00Z"), for the run record and
// the history of exported files.
std::string ornax_utc_now();

// The coordinate reference system of every run grid, geographic WGS 84 (EPSG:4326), as
// OGC WKT2 (2019) text, latitude then longitude as EPSG orders them; files that store
// longitude first say so beside it (GDAL VRT dataAxisToSRSAxisMapping "2,1", CF grid
// mappings by their coordinate variables). The identifier for records is ornax_crs_epsg.
inline constexpr const char* ornax_crs_epsg = "EPSG:4326";
inline constexpr const char* ornax_crs_wkt =
    "GEOGCRS[\"WGS 84\","
    "ENSEMBLE[\"World Geodetic System 1984 ensemble\","
    "MEMBER[\"World Geodetic System 1984 (Transit)\"],"
    "MEMBER[\"World Geodetic System 1984 (G730)\"],"
    "MEMBER[\"World Geodetic System 1984 (G873)\"],"
    "MEMBER[\"World Geodetic System 1984 (G1150)\"],"
    "MEMBER[\"World Geodetic System 1984 (G1674)\"],"
    "MEMBER[\"World Geodetic System 1984 (G1762)\"],"
    "MEMBER[\"World Geodetic System 1984 (G2139)\"],"
    "ELLIPSOID[\"WGS 84\",6378137,298.257223563,LENGTHUNIT[\"metre\",1]],"
    "ENSEMBLEACCURACY[2.0]],"
    "PRIMEM[\"Greenwich\",0,ANGLEUNIT[\"degree\",0.0174532925199433]],"
    "CS[ellipsoidal,2],"
    "AXIS[\"geodetic latitude (Lat)\",north,ORDER[1],ANGLEUNIT[\"degree\",0.0174532925199433]],"
    "AXIS[\"geodetic longitude (Lon)\",east,ORDER[2],ANGLEUNIT[\"degree\",0.0174532925199433]],"
    "USAGE[SCOPE[\"Horizontal component of 3D system.\"],AREA[\"World.\"],BBOX[-90,-180,90,180]],"
    "ID[\"EPSG\",4326]]";

// ---- accumulation over the lines of a run ----

// Value statistics of one variable over the computed pixels (quality 0, not missing).
struct Ornaxvarstatstype {
    long long count = 0;
    double sum = 0.0;
    float minimum = 0.0f;
    float maximum = 0.0f;
};

// What one line contributed. Each line has its own slot, so lines may be added in any
// order, and from different threads as long as no two add the same line.
struct Ornaxlinesummarytype {
    bool added = false;
    bool failed = false;
    std::array<int, ornax_qc_max + 1> flags{};  // pixels per quality flag
    int other_flags = 0;                        // pixels with any other value
    std::vector<Ornaxvarstatstype> vars;        // one per listed variable
};

// Flag counts and statistics of a whole run, with the whole map of one variable (EDAY
// when listed) and of the quality flags for the quicklook pictures.
struct Ornaxoutputsummarytype {
    int ncols = 0;
    int nrows = 0;
    float missing = 0.0f;
    std::vector<std::string> names;  // listed variables, in list order
    std::vector<Ornaxlinesummarytype> lines;
    int map_index = -1;                      // list index of the mapped variable, -1 when none
    std::vector<float> map_values;           // ncols x nrows, line 1 (south) first
    std::vector<unsigned char> map_quality;  // ncols x nrows quality flags
};

// Totals over every added line.
struct Ornaxsummarytotalstype {
    int lines = 0;
    int failed_lines = 0;
    std::array<long long, ornax_qc_max + 1> flags{};
    long long other_flags = 0;
    std::vector<Ornaxvarstatstype> vars;
};

// Sizes the accumulator for a run grid and the listed variables; the variable named
// map_name (EDAY) is kept whole for its quicklook. status 0, or 3 when the grid is empty.
void ornax_output_summary_init(Ornaxoutputsummarytype& summary, const Spatialinfodata& run_grid,
                               const std::vector<std::string>& names, const std::string& map_name,
                               int& status);

// Adds line `line` (1-based): the output matrix (ncols x listed variables, column
// fastest) and the quality flags of its pixels. A failed line counts every pixel as
// the failed-line quality with missing values, as it is written. status 3 for a line outside the
// grid or arrays shorter than the grid.
void ornax_output_summary_add_line(Ornaxoutputsummarytype& summary, int line, bool failed,
                                   std::span<const float> out_matrix,
                                   std::span<const float> quality, int& status);

// Takes line `line` as another process added it: its slot, and its row of the mapped
// variable (unused when none is mapped) and of the quality flags, as the rasters hold them.
// status 3 for a line outside the grid, a slot not added or for other variables, or rows
// shorter than the grid.
void ornax_output_summary_adopt_line(Ornaxoutputsummarytype& summary, int line,
                                     const Ornaxlinesummarytype& slot,
                                     std::span<const float> map_row, std::span<const float> quality,
                                     int& status);

// Totals over every line added so far.
void ornax_output_summary_totals(const Ornaxoutputsummarytype& summary,
                                 Ornaxsummarytotalstype& totals);

// ---- files beside the rasters ----

// Writes `text` to `path` through a temporary file in the same folder (every write
// checked, flushed, closed, then renamed into place). status 0 or 3; on failure the
// temporary file is removed and an existing `path` is left untouched.
void ornax_publish_text_file(const std::string& path, const std::string& text, int& status);

// The decimal a float was written from, as a double (0.05f gives 0.05, not
// 0.0500000007): for coordinates and values in text files.
double ornax_decimal_of(float value);

// A run's date as text: "YYYY-MM-DD" for the year and day of year; empty when invalid.
std::string ornax_calendar_date(int year, int doy);

// GDAL VRT that shows the raster `name`.bin (beside it in `directory`) north up in
// geographic WGS 84, without copying: a raw band starting at the last (northern) line
// with a negative line offset, little-endian Float32, nodata = missing (none for the
// quality raster, whose flag meanings go into its metadata). status 0 or 3.
void ornax_write_raster_vrt(const std::string& directory, const Spatialinfodata& grid,
                            const Ornaxoutputvarinfotype& var, float missing, int year, int doy,
                            int& status);
// The VRT text itself (for the writer and for tests).
std::string ornax_raster_vrt_text(const Spatialinfodata& grid, const Ornaxoutputvarinfotype& var,
                                  float missing, int year, int doy);

// GrADS descriptor `name`.ctl beside `name`.bin: the variable with its description and
// unit, little-endian, undef, the run grid's cell centres and the run's day. GrADS takes
// one data file per descriptor, so every raster has its own. status 0 or 3.
void ornax_write_grads_ctl(const std::string& directory, const Spatialinfodata& grid,
                           const Ornaxoutputvarinfotype& var, float missing, int year, int doy,
                           int& status);
std::string ornax_grads_ctl_text(const Spatialinfodata& grid, const Ornaxoutputvarinfotype& var,
                                 float missing, int year, int doy);

// ---- the run record ----

// One input file of a run: what it is and where it was found.
struct Ornaxrunfiletype {
    std::string role;  // the configuration's field name, e.g. "xlai_file"
    std::string path;
};

// Input files up to this size get their SHA-256 in run_info.json (read once more at the end
// of the run); larger ones, such as continental rasters, get null.
inline constexpr std::uintmax_t ornax_run_info_digest_limit = 256ull * 1024 * 1024;  // bytes

// Everything run_info.json records, as plain values.
struct Ornaxrunrecordtype {
    std::vector<std::string> command_line;
    std::string config_file;
    int region_switch = 0;
    int year = 0;
    int doy = 0;
    int threads = 1;
    std::vector<Ornaxrunfiletype> inputs;
    // SHA-256 of the configuration, then of each input, empty for none (too large or
    // unreadable); when not of that length the record's text takes them itself
    std::vector<std::string> digests;
    Spatialinfodata run_grid;
    std::string output_dir;
    std::vector<Ornaxoutputvarinfotype> variables;  // listed, in list order
    // set-up, publish and total are wall-clock seconds; inputs, core and outputs are
    // summed over the threads that ran the lines
    double setup_s = 0, inputs_s = 0, core_s = 0, outputs_s = 0, publish_s = 0, total_s = 0;
    int exit_status = 0;
};

// Input files of a region run: the region configuration's paths by field name, in the
// file's order (blank ones left out).
std::vector<Ornaxrunfiletype> ornax_region_input_files(const Ornaxregiondatatype& region);
// Appends the files of the meteorological configuration and the forecast-model rasters
// found for the day and the next.
void ornax_forcing_input_files(const Ornaxcommonblock& common, int year, int doy,
                               std::vector<Ornaxrunfiletype>& inputs);

// SHA-256 of the files a run record lists (config_file, then each of inputs) that are of
// this process's share: file i when i % shares == share; empty for the others and for a file
// above ornax_run_info_digest_limit or unreadable. The files are read side by side on the
// threads of the calling team.
void ornax_run_file_digests(const std::string& config_file,
                            const std::vector<Ornaxrunfiletype>& inputs, int share, int shares,
                            std::vector<std::string>& digests);

// The JSON text of a run record with its totals; every text is valid UTF-8, a byte of a
// path that is not becomes \xNN.
std::string ornax_run_info_text(const Ornaxrunrecordtype& record,
                                const Ornaxsummarytotalstype& totals);
// Writes `output_dir`/run_info.json (atomically). status 0 or 3.
void ornax_write_run_info(const Ornaxrunrecordtype& record, const Ornaxsummarytotalstype& totals,
                          int& status);
// True when output_dir holds the record of a run of this year and day that ended with
// exit status 0: complete outputs that a failed run must not replace.
bool ornax_complete_run_recorded(const std::string& output_dir, int year, int doy);
// Removes the run record of an earlier run in output_dir, so that the rasters being
// rewritten are not taken for a finished run. status 3 when it exists and cannot go.
void ornax_retire_run_info(const std::string& output_dir, int& status);

// Command line of this process (from the system, empty when unavailable).
std::vector<std::string> ornax_process_command_line();

// Progress of the line loop on `stream`: on a terminal one line rewritten after every
// line; otherwise a plain line each time another tenth of the lines is done, with the
// time left. next_tenth starts at 1 and is advanced here.
void ornax_report_region_progress(std::FILE* stream, bool terminal, int lines_done, int nrows,
                                  long long computed, double seconds, int& next_tenth);

// End of a region run whose line loop ran: the VRT and GrADS descriptor of every raster,
// the quicklook maps, the screen summary, then run_info.json. run_status is the run's
// status so far; it becomes 3 when a file cannot be written (logged).
void ornax_publish_region_run(const std::string& config_file, const Ornaxregiondatatype& region,
                              const Ornaxcommonblock& common, const Spatialinfodata& run_grid,
                              int region_switch, int year, int doy,
                              const Ornaxregionruntimes& times,
                              const Ornaxoutputsummarytype& summary,
                              const std::vector<std::string>& digests, int& run_status);
