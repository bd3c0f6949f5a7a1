// Site run and region run drivers.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "ornax90/ORNAX_data_mod.hpp"
#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/output/summary.hpp"

// Largest grids a run accepts. Extents are checked before anything is allocated, so a
// mistyped description is refused with a message instead of exhausting the memory.
inline constexpr int ornax_max_grid_cols = 100000;  // columns of any grid
inline constexpr int ornax_max_grid_rows = 100000;  // rows of any grid
inline constexpr int ornax_max_grid_layers = 1000;  // sounding layers
inline constexpr int ornax_max_grid_hours = 1000;   // time steps
// Values held at once by the line arrays of a region run (4 bytes each: 512 MiB).
inline constexpr long long ornax_max_line_values = 128LL * 1024 * 1024;

// Checks the extents of a grid (`what`, read from `file`) against the maxima; a negative
// or too large extent logs the cause and gives status 3.
void ornax_check_grid_limits(const Spatialinfodata& grid, const std::string& what,
                             const std::string& file, int& status);
// The same for the common grid of a meteorological configuration file.
void ornax_check_common_grid_limits(const Ornaxcommonblock& common, const std::string& file,
                                    int& status);
// Values the line arrays of one region line hold with these grids and output count.
long long ornax_region_line_values(const Spatialinfodata& run, const Spatialinfodata& land,
                                   const Spatialinfodata& veg, const Spatialinfodata& snow,
                                   const Spatialinfodata& met, const Spatialinfodata& sat,
                                   int out_var_count);

// Site run: class table, site input file, core, site report. status 0 or 3.
void ornax_run_point(const std::string& landcover_table_file, const std::string& site_input_file,
                     int run_mode, int input_flag, int& status);

// Region run: configuration, static set-up, then every line of the run grid. status 0 or 3.
void ornax_run_region(const std::string& region_config_file, int run_mode, int region_switch,
                      int year, int doy, int& status);

// Counts and wall-clock split of one region run (seconds).
struct Ornaxregionruntimes {
    int lines = 0, failed_lines = 0;
    long long pixels = 0, computed = 0;  // pixels visited, pixels with quality flag 0
    double setup_s = 0;  // configuration, class table, outputs, forcing grid, land cells
    // summed over the threads
    double read_s = 0;   // line inputs with the meteorology, line arrays
    double core_s = 0;   // pixel simulation
    double write_s = 0;  // output, quality and diagnostic lines
    double total_s = 0;
    int threads = 1;  // threads that ran the lines
};

// Threads a region run spreads its lines over: OMP_NUM_THREADS when set, else every core
// the process may use (1 in a build without OpenMP).
int ornax_region_threads();

// Region run that also hands back its counts and timing.
void ornax_run_region_timed(const std::string& region_config_file, int run_mode, int region_switch,
                            int year, int doy, Ornaxregionruntimes& times, int& status);

// Part a process plays in a region run. One process runs it alone; processes that share one
// run (each writing its own lines) have one leader, which prepares what the day's lines
// share before the others start: the land cells and the land subset file, the sunrise cache
// rasters, and the output rasters created at their full size. Followers use what the leader
// prepared: they open its output rasters and read only the forecast-model land mask.
enum class Ornaxregionrole { alone, leader, follower };

// Everything one region run owns (configuration, grids, class table, forcing, open outputs,
// counts); defined by the region driver.
struct Ornaxregionrunstate;

// A region run taken in phases, so that one driver serves a whole run and a share of it:
// ornax_region_begin, then ornax_region_run_lines for any set of lines, then ornax_region_end.
struct Ornaxregionruntype {
    Ornaxregionruntype();
    ~Ornaxregionruntype();
    std::unique_ptr<Ornaxregionrunstate> state;
    // Folder under the configured output directory that receives the outputs ("YYYYDDD"
    // for dated outputs, created when missing); empty: the output directory itself.
    std::string output_folder;
    // SHA-256 of the files the run record lists, as ornax_run_file_digests gives them, when
    // the processes of the run took them in shares; empty: the publishing takes them.
    std::vector<std::string> input_digests;
};

// Configuration, grid descriptions, output list, log header, class table, output rasters
// and static set-up, as the role asks. status 0 or 3 (logged); after a failure no line runs.
// A follower writes into the leader's output set: leader_temporaries are the temporary
// names the leader's ornax_region_output_temporaries gave (null for the others).
void ornax_region_begin(Ornaxregionruntype& run, const std::string& region_config_file,
                        int region_switch, int year, int doy, Ornaxregionrole role,
                        const std::vector<std::string>* leader_temporaries, int& status);
// Temporary names of the run's output set, in member order.
std::vector<std::string> ornax_region_output_temporaries(const Ornaxregionruntype& run);
// Lines of the run grid (0 when the run did not begin).
int ornax_region_line_count(const Ornaxregionruntype& run);
// For every line of the run grid, south first, the forecast-model row its meteorology is
// reduced from (0 when none): the lines of one row share that row's reading and reduction.
std::vector<int> ornax_region_line_forcing_rows(const Ornaxregionruntype& run);
// Lines that process `rank` of `size` runs, given every line's forecast-model row (line 1
// first): neighbouring lines of one row form a group and the groups go to the processes in
// turn, group g to process g mod size. Each row is then read and reduced by one process,
// and each process gets an equal share of every part of the region (neighbouring lines
// cost about the same; water, snow and land come in bands). A line outside the rows (0) is a
// group of its own. Empty for a rank outside 0..size-1.
std::vector<int> ornax_region_share_lines(std::span<const int> line_rows, int rank, int size);
// What one line of a region run left: its messages, not yet out, and its status.
struct Ornaxlinereporttype {
    Ornaxmessagebuffer messages;
    int status = 0;       // 3: the line failed, or forecast-model rasters it used were missing
    bool failed = false;  // written as a failed line (missing values)
    std::string stage;    // where a failed line failed; empty when its failure names its cause
    Ornaxlinesummarytype summary;  // the line's flag counts and value statistics
};
// Causes of a failed run in the log: the first failed line and where it failed, and the
// count of failed lines (with the value their pixels are written with when the run
// computed a pixel, so that its outputs are published).
void ornax_log_line_failure(int line, int nrows, const std::string& stage);
void ornax_log_failed_lines(int failed_lines, int lines, long long computed);
// Prepares, reads, simulates and writes each of `lines` (1-based, south to north, any order)
// at its place in the outputs, spread over the threads. Messages go out in the order of
// `lines`; with `line_reports`, line i's messages (log, screen, appends) and status go to
// (*line_reports)[i] instead of going out. status 3 when any line failed; the other lines still
// run.
void ornax_region_run_lines(Ornaxregionruntype& run, std::span<const int> lines,
                            std::vector<Ornaxlinereporttype>* line_reports, int& status);
// A pixel of a region line as the pixel simulation gives it to the core: its place on the
// run grid and its assembled land and input records.
struct Ornaxregionpixeltype {
    int line = 0;    // 1-based, south first
    int column = 0;  // 1-based, west first
    Ornaxlandtype land;
    Ornaxinputvartype input;
};
// Reads and assembles each of `lines` (1-based) as ornax_region_run_lines does and hands
// back, in the order of `lines` and then of the columns, every pixel whose inputs are all
// present, in range and fit the morning, i.e. every pixel the run gives to the core. The
// core does not run and nothing is written. status 3 when a line is outside the run grid
// or could not be read (its pixels are left out; the other lines still come).
void ornax_region_core_pixels(Ornaxregionruntype& run, std::span<const int> lines,
                              std::vector<Ornaxregionpixeltype>& pixels, int& status);
// The same for every line of a day: the run begun alone, its pixels assembled, then
// ended without publishing anything (the output folder stays as it was). status 0 or 3.
void ornax_region_day_core_pixels(const std::string& region_config_file, int region_switch,
                                  int year, int doy, std::vector<Ornaxregionpixeltype>& pixels,
                                  int& status);
// Releases the forcing and the grids; a follower flushes and closes its descriptors of the
// leader's outputs. `times` receives the run's counts and timing. status 3 when an output
// could not be written or closed.
void ornax_region_end(Ornaxregionruntype& run, Ornaxregionruntimes& times, int& status);
// After ornax_region_end of every process of the run, by the one that ran alone or led:
// the outputs published (renamed into place), then the descriptors beside every raster, the
// quicklook maps, the screen summary and the run record, with `times` for the whole run.
// Lines this process did not run take their counts and statistics from `line_summaries`
// (by line, as the processes that ran them reported them) and their map rows from the
// closed rasters; a line nobody reported counts as failed. status (the run's status so far)
// becomes 3 when a file cannot be written.
void ornax_region_publish(Ornaxregionruntype& run, const Ornaxregionruntimes& times,
                          std::span<const Ornaxlinesummarytype> line_summaries, int& status);
// SHA-256 of this process's share of the files the run record lists (see
// ornax_run_file_digests): the region configuration, the inputs of the region configuration
// and the forcing of the day and the next.
void ornax_region_input_digests(const Ornaxregionruntype& run, int share, int shares,
                                std::vector<std::string>& digests);
// The run's summary in the log: lines, failures, pixels computed, and the time split.
void ornax_log_region_summary(const Ornaxregionruntimes& times);

// Static set-up of a region run: the meteorological configuration into the common grid
// and the model grid, the common grid's arrays and forcing store, and its land cells.
// status 0, or 3 when any of them fails (with a screen or log line naming the cause).
void ornax_get_static_region_data(Ornaxcommonblock& common, Ornaxmeteoornax& met_grid,
                                  const Ornaxregiondatatype& region, int year, int doy,
                                  int& status);

// ---- ranges of days ----

// One day of a region range.
struct Ornaxregiondaytype {
    int year = 0, doy = 0;
};

// Days from (year, doy) to last_doy, in order: last_doy >= doy stays in the year,
// last_doy < doy ends in the next year. One day when last_doy is 0.
std::vector<Ornaxregiondaytype> ornax_region_range_days(int year, int doy, int last_doy);

// Name of a day's output folder: "YYYYDDD".
std::string ornax_day_folder(int year, int doy);

// A range run: its days, and whether each day's outputs go to <output dir>/YYYYDDD/
// (dated) and whether days published complete are run again (force).
struct Ornaxregionrangetype {
    std::string config_file;
    int region_switch = 0;
    std::vector<Ornaxregiondaytype> days;
    bool dated = true;
    bool force = false;
};

enum class Ornaxdayoutcome { computed, skipped, failed };

// What became of one day of a range; cause names why a failed day failed.
struct Ornaxdayresulttype {
    Ornaxregiondaytype day;
    Ornaxdayoutcome outcome = Ornaxdayoutcome::computed;
    std::string cause;
};

// The output folder of a day of `config_file` (the configured output directory, with the
// day's folder when dated); empty with status 3 when the configuration cannot be read.
void ornax_region_day_output_dir(const std::string& config_file, const Ornaxregiondaytype& day,
                                 bool dated, std::string& dir, int& status);

// Before any day of the range is judged: in each day's existing output folder the
// publication that a killed run left unfinished is finished and the temporaries of stopped
// runs are removed, then those of the working directory (the line diagnostic's folder).
void ornax_region_range_recover(const Ornaxregionrangetype& range);

// Whether `dir`/run_info.json records a complete run (exit status 0) of that day.
bool ornax_day_published_complete(const std::string& dir, const Ornaxregiondaytype& day);

// Runs one day of a range; output_folder is the day's folder under the output directory
// (empty: the output directory itself). status 0 or 3.
using Ornaxregiondayrunner = std::function<void(const Ornaxregiondaytype& day,
                                                const std::string& output_folder, int& status)>;
// Whether a day is already published complete (the skip test of the range).
using Ornaxregiondaycheck = std::function<bool(const Ornaxregiondaytype& day)>;

// Every day of the range in order: a day published complete is skipped unless forced, a
// day that fails is noted with its first cause and the range goes on. Progress before each
// day on the standard error stream and in the log (when `report`), then the summary of the
// days by outcome on the screen and in the log. status 3 when any day failed.
void ornax_run_region_days(const Ornaxregionrangetype& range, const Ornaxregiondayrunner& run_day,
                           const Ornaxregiondaycheck& complete, bool report,
                           std::vector<Ornaxdayresulttype>& results, int& status);

// Region run of every day of a range in this process (ornax.x). status 0 or 3.
void ornax_run_region_range(const Ornaxregionrangetype& range, int& status);

// Region run of one day whose outputs go to `output_folder` under the output directory.
void ornax_run_region_in_folder(const std::string& region_config_file, int region_switch, int year,
                                int doy, const std::string& output_folder,
                                Ornaxregionruntimes& times, int& status);
