// The run record run_info.json, written last, whose presence marks a finished run, and the
// end of a region run that writes it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ornax90/ORNAX_data_mod.hpp"
#include "ornax90/output/summary.hpp"
#include "ornax90/output/vocabulary.hpp"

struct Ornaxregionruntimes;

// The present time in UTC, ISO 8601 ("2019-07-19T06:30:00Z"), for the run record and
// the history of exported files.
std::string ornax_utc_now();

// The run record's name in the output folder.
inline constexpr const char* ornax_run_info_file_name = "run_info.json";

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

// End of a region run whose line loop ran: the VRT and GrADS descriptor of every raster,
// the quicklook maps, the screen summary, then run_info.json. run_status is the run's
// status so far; it becomes 3 when a file cannot be written (logged).
void ornax_publish_region_run(const std::string& config_file, const Ornaxregiondatatype& region,
                              const Ornaxcommonblock& common, const Spatialinfodata& run_grid,
                              int region_switch, int year, int doy,
                              const Ornaxregionruntimes& times,
                              const Ornaxoutputsummarytype& summary,
                              const std::vector<std::string>& digests, int& run_status);
