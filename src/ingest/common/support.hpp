// Shared pieces of the input converters (ornax_ingest): exit codes, messages on the
// screen and in the log, the command-line options of a subcommand, the common grid read
// from a domain description, staged output folders and files (written under a temporary
// name beside their destination and renamed into place only when complete), model
// rasters, value counts and configuration lines.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ornax90/ORNAX_data_mod.hpp"

// Exit codes of ornax_ingest, as those of ornax.x.
inline constexpr int ingest_exit_ok = 0;
inline constexpr int ingest_exit_usage = 2;
inline constexpr int ingest_exit_failure = 3;

// Status of a failed operation.
inline constexpr int ingest_status_failed = 3;

// ---- messages ----

// Opens (appending) the log file; every later message goes in as a time-stamped line.
// status 0, or 3 with the reason in error.
void ingest_log_open(const std::string& file_name, std::string& error, int& status);
void ingest_log_close();
// "ornax_ingest: TEXT" on the standard error stream and, stamped, in the open log.
void ingest_message(std::string_view text);
// The text in the log only (progress details, the command line).
void ingest_log_only(std::string_view text);

// A line for the standard error as it is (GDAL's error lines), kept like the others.
void ingest_raw_line(std::string_view text);

// Messages kept instead of given out while an IngestMessageCapture of the thread exists:
// ingest_message and ingest_log_only lines, and raw lines for the standard error.
enum class IngestMessageKind { message, log_only, raw };
using IngestMessageList = std::vector<std::pair<IngestMessageKind, std::string>>;
class IngestMessageCapture {
public:
    explicit IngestMessageCapture(IngestMessageList& list);
    ~IngestMessageCapture();
    IngestMessageCapture(const IngestMessageCapture&) = delete;
    IngestMessageCapture& operator=(const IngestMessageCapture&) = delete;

private:
    IngestMessageList* previous_;
};

// ---- options of a subcommand ----

// Options of a subcommand: "--name value" pairs, "--flag" switches and positional
// arguments in order. Options may stand anywhere; "--" ends the options.
struct IngestArgs {
    std::map<std::string, std::string> values;  // option name (without --) -> value
    std::vector<std::string> flags;             // switches given
    std::vector<std::string> positional;
    bool has(const std::string& name) const;
    std::string value(const std::string& name, const std::string& fallback = "") const;
};

// Splits argv[first..argc) with the option names that take a value and the switches.
// status 3 with a message in error for an unknown option or a value that is missing.
void ingest_parse_args(int argc, char** argv, int first,
                       const std::vector<std::string>& value_options,
                       const std::vector<std::string>& switches, IngestArgs& args,
                       std::string& error, int& status);

// Integer argument in [low, high]; status 3 with a message naming what otherwise.
void ingest_parse_int(const std::string& text, const char* what, int low, int high, int& value,
                      std::string& error, int& status);

// ---- the common grid ----

// A grid from its bounds and cell size in degrees (30 layers, 24 hours, missing value
// -9999, as the region's domain files); status 3 when the spans are not whole cells.
void ingest_grid_from_bounds(double west, double east, double south, double north, double step,
                             Spatialinfodata& grid, std::string& error, int& status);
// Reads a domain description file into grid (the model's own reader) and checks that the
// grid has cells and positive spacings; when the text names no file but is
// "W,E,S,N,STEP", makes the grid from those bounds (every --grid takes either). status 3
// with a message naming the file and the cause.
void ingest_read_grid(const std::string& file_name, Spatialinfodata& grid, std::string& error,
                      int& status);
// Centre of 1-based column c / row r (rows from the south), degrees.
double grid_col_lon(const Spatialinfodata& grid, int col);
double grid_row_lat(const Spatialinfodata& grid, int row);

// What a file is, from its first bytes: "a GeoTIFF", "a NetCDF file", "a GRIB file", "an
// HDF4 file", "an HDF5/NetCDF-4 file", "a text" or "a binary file". False, with kind "no
// such file" (or "a folder", "cannot be read"), when it cannot be read as a file.
bool ingest_file_kind(const std::string& file_name, std::string& kind);

// Directory of one day under a root: "YYYYDDD" (year 4 digits, day of year 3).
std::string ingest_day_dir_name(int year, int doy);
// Days of a year (365 or 366).
int ingest_days_in_year(int year);

// ---- staged output ----

// A source of a conversion: its path (a file or a folder), its role in messages ("recipe",
// "forecast file", "source") and whether the output it is checked against is a folder.
struct IngestSource {
    std::string path;
    std::string role;
    bool output_is_folder = false;
};

// Refuses an output that would replace a source: for a folder output, one that is or
// contains a source (file or folder) or lies inside a source folder; for a file output, one
// that is the source file. status 3 with the error naming both.
void ingest_check_output_not_sources(const std::string& output,
                                     const std::vector<IngestSource>& sources, std::string& error,
                                     int& status);

// A folder written under a temporary name beside its destination ("NAME.partial-PID-N")
// and published into place by commit() (ornax_publish: recoverable at every rename); a
// folder never committed is removed. open() first finishes or removes what ended processes
// left in the destination's folder.
class StagedDir {
public:
    StagedDir() = default;
    ~StagedDir();
    StagedDir(const StagedDir&) = delete;
    StagedDir& operator=(const StagedDir&) = delete;
    // Creates the temporary folder (and the parents of the destination).
    void open(const std::filesystem::path& destination, std::string& error, int& status);
    const std::filesystem::path& path() const { return temp_; }
    const std::filesystem::path& destination() const { return destination_; }
    // Publishes the folder in place. An existing destination is replaced only when replace
    // is true (it is first moved aside, then removed); otherwise status 3.
    void commit(bool replace, std::string& error, int& status);
    // Removes the temporary folder now.
    void discard();

private:
    std::filesystem::path destination_, temp_;
    bool committed_ = false;
};

// Writes text to a file through a temporary name in the same folder, then renames it.
void ingest_write_text_file(const std::filesystem::path& file, const std::string& text,
                            std::string& error, int& status);

// ---- model rasters ----

// Writes values (column fastest, rows from the south, then layers and steps) as a model
// raster of ncols x nrows x nbands little-endian 4-byte reals. status 3 with a message
// when the size does not match or the file cannot be written.
void ingest_write_raster(const std::filesystem::path& file, const std::vector<float>& values,
                         int ncols, int nrows, int nbands, std::string& error, int& status);

// Values that are data and values that are missing (NaN, infinite or the fill value).
struct ValueCounts {
    std::int64_t valid = 0;
    std::int64_t missing = 0;
};
ValueCounts ingest_count_values(const std::vector<float>& values, float fill_value);

// ---- numbers in messages ----

// A number in its shortest form (up to 7 significant digits): "-99.875", "500", "0.25".
std::string ingest_number(double value);
