// Region run: the configuration and grids set up, the outputs opened, the run's phases
// (begin, end, publish) and its summary; the line loop is in run/region_lines.cpp.
#include "ornax90/run/region_state.hpp"

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>

#ifdef _OPENMP
#include <omp.h>
#endif

#include "ornax90/input_check/ranges.hpp"
#include "ornax90/input_check/plausibility.hpp"
#include "ornax90/ORNAX_io_mod.hpp"
#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/output/guard.hpp"
#include "ornax90/output/publish.hpp"
#include "ornax90/output/run_info.hpp"
#include "ornax90/output/sidecars.hpp"
#include "ornax90/output/summary.hpp"
#include "ornax90/output/file_set.hpp"
#include "ornax90/ORNAX_region_io_mod.hpp"
#include "ornax90/ORNAX_region_mod.hpp"
#include "ornax90/file_io_mod.hpp"
#include "utils/fixed_text.hpp"

namespace {

// Steps 2-5: configuration, the five grid descriptions and the output list. status 0 or 3.
// A configuration that cannot be read stops here: its grid descriptions have no names.
void read_region_configuration(const std::string& config_file, int year, int doy,
                               Ornaxregiondatatype& region, RegionGrids& grids, int& status) {
    int st = 0;
    status = ornax_status_failure;
    ornax_read_region_config_file(config_file, region, year, doy, st);
    if (st != 0) {
        ornax_log_failure("Read configuration failed " + trim_right(config_file));
        ornax_log_msg("Read configurations failed");
        return;
    }
    struct GridFile {
        const std::string& file;
        Spatialinfodata& grid;
    };
    const GridFile descriptions[] = {
        {region.land_domain_file, grids.land}, {region.vegetation_domain_file, grids.veg},
        {region.snow_domain_file, grids.snow}, {region.satellite_domain_file, grids.sat},
        {region.run_domain_file, grids.run},
    };
    int failed = 0;
    for (const GridFile& description : descriptions) {
        read_domain_info_from_txt(description.file, description.grid, st);
        failed += st != 0;
    }
    grids.land_copy = grids.land;
    ornax_read_out_list_file(region.out_list_file, region.out_var_list, region.out_var_count, st);
    failed += st != 0;
    if (grids.run.ncols < 1 || grids.run.nrows < 1) ++failed;  // nothing to run on
    if (failed != 0) {
        ornax_log_failure("Read configurations failed");
        return;
    }
    // Every extent is checked before a line array is allocated.
    const std::pair<const char*, const GridFile*> named[] = {
        {"land grid", &descriptions[0]}, {"vegetation grid", &descriptions[1]},
        {"snow grid", &descriptions[2]}, {"satellite grid", &descriptions[3]},
        {"run grid", &descriptions[4]},
    };
    for (const auto& [what, description] : named) {
        ornax_check_grid_limits(description->grid, what, trim_right(description->file), st);
        if (st != 0) return;
    }
    const long long line_values =
        ornax_region_line_values(grids.run, grids.land, grids.veg, grids.snow, grids.land_copy,
                                 grids.sat, region.out_var_count);
    if (line_values > ornax_max_line_values) {
        ornax_log_failure("The grids need " + std::to_string(line_values) +
                          " values per line, more than the maximum of " +
                          std::to_string(ornax_max_line_values));
        return;
    }
    if (grids.sat.nhours != ornax_hours_per_day)
        ornax_log_msg((FreeLine() << "Satellite domain file "
                                  << trim_right(region.satellite_domain_file)
                                  << " line 11: Number of hours" << grids.sat.nhours
                                  << "; the daily integration needs" << ornax_hours_per_day
                                  << ": no pixel is computed (quality 77)")
                          .str());
    status = 0;
}

// Step 6: the run's header in the log.
void log_region_header(const Spatialinfodata& run, int year, int doy) {
    ornax_log_plain((FreeLine() << "ORNAX_logunit = " << ornax_logunit).str());
    ornax_log_plain("Run ORNAX on " + write_i(year, 6) + write_i(doy, 6));
    ornax_log_plain((FreeLine() << "Lon: " << run.east_lon << run.west_lon).str());
    ornax_log_plain((FreeLine() << "Lat: " << run.south_lat << run.north_lat).str());
    ornax_log_plain((FreeLine() << "size: " << run.ncols << run.nrows).str());
    ornax_log_plain((FreeLine() << "layers: " << run.nlayers).str());
    ornax_log_plain((FreeLine() << "hours: " << run.nhours).str());
    ornax_log_plain((FreeLine() << "at resolution" << run.dlon << run.dlat).str());
}

// Step 8: one raster per listed variable, the quality raster, the line diagnostic and the
// pixel dump, each created under a temporary name beside its final name. Temporaries that
// killed runs left in those folders are removed first. A member that cannot be created
// fails the run and leaves every earlier output as it was. A follower joins the set that
// the leader created, through the leader's temporaries.
void open_region_outputs(Ornaxregiondatatype& region, const std::vector<std::string>* joined,
                         RegionOutputFiles& files, int& status) {
    const std::string dir = trim_right(region.output_dir);  // empty: the working directory
    std::vector<std::string> names;
    for (int i = 0; i < region.out_var_count; ++i)
        names.push_back(ornax_output_path(dir, trim_right(region.out_var_list[i].name) + ".bin"));
    names.push_back(ornax_output_path(dir, "region_qc.bin"));
    if (joined != nullptr) {
        const std::size_t n = names.size();
        names.push_back("testMETtemp15.bin");
        names.push_back(ornax_output_path(dir, "pixel_dump.txt"));
        ornax_output_set_join(files.set, names, *joined, status);
        if (status != 0) return;
        for (std::size_t i = 0; i < n; ++i) files.members.push_back(static_cast<int>(i));
        files.diag_member = static_cast<int>(n);
        files.dump_member = static_cast<int>(n) + 1;
        region.pixel_dump_file = ornax_output_set_temporary(files.set, files.dump_member);
        region.pixel_dump_status = 0;
        return;
    }
    // a switch that a killed run left unfinished is finished before its temporaries could
    // be judged stale
    ornax_publish_recover(dir);
    int removed = 0;
    ornax_output_set_claim_folder(files.set, dir, removed);
    if (!dir.empty()) ornax_output_set_claim_folder(files.set, "", removed);
    status = 0;
    for (const std::string& name : names) {
        int member = -1;
        ornax_output_set_add(files.set, name, member, status);
        if (status != 0) return;
        files.members.push_back(member);
    }
    ornax_output_set_add(files.set, "testMETtemp15.bin", files.diag_member, status);
    if (status != 0) return;
    ornax_output_set_add(files.set, ornax_output_path(dir, "pixel_dump.txt"), files.dump_member,
                         status);
    if (status != 0) return;
    region.pixel_dump_file = ornax_output_set_temporary(files.set, files.dump_member);
    region.pixel_dump_status = 0;
}

// Static set-up; with set_land_cells false (a follower) only the forecast-model land mask
// is read, the land cells being the leader's.
void static_region_setup(Ornaxcommonblock& common, Ornaxmeteoornax& met_grid,
                         const Ornaxregiondatatype& region, bool set_land_cells, int& status) {
    int st = 0;
    ornax_vesk_read_config(region.met_config_file, common, met_grid, st);
    if (st != 0) {
        std::cout << " Error in reading the configuration file\n Main Program exit..." << std::endl;
        ornax_log_failure("Error in reading the meteorological configuration file " +
                          trim_right(region.met_config_file));
        status = ornax_status_failure;
        return;
    }
    ornax_check_common_grid_limits(common, trim_right(region.met_config_file), status);
    if (status != 0) return;
    std::cout << (FreeLine() << "Init common grid ... with (row, col):" << common.nrows
                             << common.ncols)
                     .str()
              << std::endl;
    ornax_common_grid_init(common, st);
    if (st != 0) {
        ornax_log_failure((FreeLine() << "Common grid set-up failed for the meteorological "
                                         "configuration "
                                      << trim_right(region.met_config_file) << ", status" << st)
                              .str());
        status = ornax_status_failure;
        return;
    }
    if (set_land_cells) {
        ornax_load_land_data(common, st);
        ornax_log_plain((FreeLine() << " ORNAX_load_land_data done ....." << st).str());
    } else {
        ornax_load_forcing_land_mask(common, st);
    }
    if (st != 0) {
        ornax_log_failure(
            (FreeLine() << "Land data of the common grid could not be loaded, status" << st).str());
        status = ornax_status_failure;
        return;
    }
    status = 0;
}

// Outputs in `folder` under the configured output directory, which is created when missing.
void use_output_folder(const std::string& folder, Ornaxregiondatatype& region, int& status) {
    const std::string dir = ornax_output_path(trim_right(region.output_dir), folder);
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) {
        ornax_log_failure("Cannot create the output folder " + dir + ": " + error.message());
        status = ornax_status_failure;
        return;
    }
    region.output_dir = dir;
}

}  // namespace

void ornax_get_static_region_data(Ornaxcommonblock& common, Ornaxmeteoornax& met_grid,
                                  const Ornaxregiondatatype& region, int, int, int& status) {
    static_region_setup(common, met_grid, region, true, status);
}

Ornaxregionruntype::Ornaxregionruntype() : state(std::make_unique<Ornaxregionrunstate>()) {}
Ornaxregionruntype::~Ornaxregionruntype() = default;

namespace {

constexpr int region_mapped_block_bytes = 128 * 1024;

// Before the first line: the per-line input rasters held open, and the day's sunrise grids
// and forecast-model rasters prepared once for every line. A day that cannot be prepared
// fails each line as it uses it, with the line's own messages.
// An input raster that exists but cannot be opened (no permission, too many open files)
// would fail every line: it stops the run here with the system's reason. status 0 or 3.
void prepare_line_sources(RegionRun& r, int year, int doy, int& status) {
    // blocks of 128 KiB and more (the lines' arrays) are mapped and go back to the system
    // when freed; left to adapt, the C library keeps them in each thread's own heap once
    // one has been freed, about 20 MB more for every thread of a 1,200-column region
    mallopt(M_MMAP_THRESHOLD, region_mapped_block_bytes);
    ornax_hold_region_inputs(r.region, r.inputs);
    status = 0;
    for (const auto& [path, error_number] : r.inputs.open_failures()) {
        ornax_log_failure("Region run stopped: cannot open the input raster " + path + ": " +
                          std::strerror(error_number));
        status = ornax_status_failure;
    }
    if (status != 0) return;
    r.region.input_rasters = &r.inputs;
    int st = 0;
    ornax_prepare_met_day(r.common, r.met_grid, year, doy, r.day, st);
    r.day.keep_rows = static_cast<std::size_t>(ornax_region_threads()) + 2;
    r.day.all_series = false;  // the lines copy only the series the pixels use
    r.met_grid.day_sources = &r.day;
}

// Adds to the summary every line that another process ran: its counts and statistics as
// it reported them, its rows of the mapped variable and of the quality flags from the
// rasters it wrote (still under their temporary names). A line nobody reported counts as
// failed.
void add_lines_of_others(RegionRun& r, std::span<const Ornaxlinesummarytype> line_summaries) {
    Ornaxoutputsummarytype& summary = r.summary;
    const Spatialinfodata& run = r.grids.run;
    const std::size_t nvars = static_cast<std::size_t>(r.region.out_var_count);
    std::vector<float> map_row, quality;
    // the two rasters read, held open for all the lines
    const std::string quality_file =
        ornax_output_set_temporary(r.files.set, r.files.members[nvars]);
    const std::string map_file =
        summary.map_index >= 0
            ? ornax_output_set_temporary(
                  r.files.set, r.files.members[static_cast<std::size_t>(summary.map_index)])
            : std::string();
    RasterInputFiles held;
    held.hold(quality_file);
    if (!map_file.empty()) held.hold(map_file);
    Ornaxlinesummarytype unreported;
    unreported.added = unreported.failed = true;
    unreported.flags[ornax_qc_failed_line] = run.ncols;
    unreported.vars.resize(nvars);
    for (int line = 1; line <= summary.nrows; ++line) {
        const std::size_t at = static_cast<std::size_t>(line - 1);
        if (summary.lines[at].added) continue;
        const bool reported = at < line_summaries.size() && line_summaries[at].added;
        const Ornaxlinesummarytype& slot = reported ? line_summaries[at] : unreported;
        int map_status = 0, quality_status = 0, st = 0;
        if (!slot.failed) {
            if (!map_file.empty())
                read_2d_real_by_line(&held, map_file, run.ncols, run.nrows, line, 0, map_row,
                                     map_status);
            read_2d_real_by_line(&held, quality_file, run.ncols, run.nrows, line, 0, quality,
                                 quality_status);
        }
        // rows that cannot be read back are not taken for the line's: it counts as failed
        if (map_status == 0 && quality_status == 0)
            ornax_output_summary_adopt_line(summary, line, slot, map_row, quality, st);
        if (map_status != 0 || quality_status != 0 || st != 0)
            ornax_output_summary_adopt_line(summary, line, unreported, {}, {}, st);
    }
}

// Before anything is written, the inputs named by the configuration; after the static
// set-up also the meteorological configuration's files and the forecast-model rasters.
void check_outputs_against_inputs(const RegionRun& r, bool with_forcing, int& status) {
    std::vector<Ornaxrunfiletype> inputs = ornax_region_input_files(r.region);
    inputs.push_back({"region_config_file", trim_right(r.config_file)});
    if (with_forcing) ornax_forcing_input_files(r.common, r.year, r.doy, inputs);
    ornax_check_outputs_not_inputs(
        ornax_region_published_files(trim_right(r.region.output_dir), r.summary.names), inputs,
        status);
}

// Why the outputs of a run whose lines ran must not replace the earlier ones (empty when
// they may): a run that computed no pixel never publishes, and a failed run never replaces
// the complete outputs of the same day.
std::string reason_to_keep_earlier_outputs(const RegionRun& r, const Ornaxregionruntimes& times,
                                           int status) {
    if (times.computed == 0)
        return "No pixel was computed (" + std::to_string(times.failed_lines) + " of " +
               std::to_string(times.lines) + " lines failed)";
    if (status != 0 && ornax_complete_run_recorded(r.region.output_dir, r.year, r.doy))
        return "The run failed and the output folder holds the complete outputs of " +
               ornax_calendar_date(r.year, r.doy);
    return std::string();
}

// The outputs are not published: said in the log and, unless it is the first cause of the
// failure (which the main program shows), on the standard error stream.
void report_outputs_kept(const RegionRun& r, const std::string& reason) {
    const std::string dir = trim_right(r.region.output_dir);
    const std::string text = reason + ": the outputs were not published; the earlier outputs in " +
                             (dir.empty() ? std::string("the working directory") : dir) +
                             " stay as they were";
    const bool shown_by_main = ornax_failure_causes().empty();
    ornax_log_failure(text);
    if (!shown_by_main)
        std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, text.c_str());
}

// The earlier run's record, then its outputs that this run does not write, go; the
// descriptors, maps and the new record follow. Nothing here may end the process: the
// rasters are already in place.
void describe_published_outputs(RegionRun& r, const Ornaxregionruntimes& times,
                                const std::vector<std::string>& digests, int& status) {
    try {
        int st = 0;
        const std::string dir = trim_right(r.region.output_dir);
        ornax_retire_run_info(dir, st);
        std::vector<Ornaxrunfiletype> inputs = ornax_region_input_files(r.region);
        ornax_forcing_input_files(r.common, r.year, r.doy, inputs);
        int removed = 0;
        ornax_remove_earlier_outputs(dir, ornax_region_published_files(dir, r.summary.names),
                                     inputs, removed);
        ornax_publish_region_run(r.config_file, r.region, r.common, r.grids.run, r.region_switch,
                                 r.year, r.doy, times, r.summary, digests, status);
    } catch (const std::exception& error) {
        ornax_log_failure(std::string("The published outputs could not be described: ") +
                          error.what());
        status = ornax_status_failure;
    }
}

// Publishes the outputs of a run whose line loop ran, or removes them when the outputs
// themselves failed (the earlier files stay whole). The earlier run's record goes in the
// same switch: once any new raster is in place, no record says the day is complete until
// the new one is written. status 0 or 3.
void finish_region_outputs(const std::string& dir, RegionOutputFiles& files, int& status) {
    status = ornax_status_failure;
    files.set.retired.push_back(ornax_output_path(dir, ornax_run_info_file_name));
    if (!files.set.failed) ornax_output_set_commit(files.set, status);
    if (status == 0) return;
    ornax_output_set_abort(files.set);
    ornax_log_failure("Outputs not published, earlier outputs kept: " + files.set.failure);
}

}  // namespace

void ornax_log_line_failure(int line, int nrows, const std::string& stage) {
    ornax_log_failure((FreeLine() << "Line" << line << "of" << nrows << "failed in " << stage
                                  << "; the log names the file")
                          .str());
}

void ornax_log_failed_lines(int failed_lines, int lines, long long computed) {
    FreeLine text;
    text << failed_lines << "of" << lines << "lines failed";
    if (computed > 0)
        text << "; they hold the missing value and quality" << ornax_qc_failed_line
             << "(" + ornax_quality_flag_label(ornax_qc_failed_line) + ")";
    ornax_log_failure(text.str());
}

// Counts, then the wall-clock seconds of the set-up and of the whole run, the seconds of
// inputs, core and outputs summed over the threads, and the thread count.
void ornax_log_region_summary(const Ornaxregionruntimes& t) {
    ornax_log_msg((FreeLine() << "Region run done:" << t.lines << "lines," << t.failed_lines
                              << "failed," << t.computed << "of" << t.pixels << "pixels computed")
                      .str());
    ornax_log_msg((FreeLine() << "Region run seconds: set-up" << static_cast<float>(t.setup_s)
                              << ", inputs" << static_cast<float>(t.read_s) << ", core"
                              << static_cast<float>(t.core_s) << ", outputs"
                              << static_cast<float>(t.write_s) << ", total"
                              << static_cast<float>(t.total_s) << ", threads" << t.threads)
                      .str());
}

void ornax_region_begin(Ornaxregionruntype& run, const std::string& region_config_file,
                        int region_switch, int year, int doy, Ornaxregionrole role,
                        const std::vector<std::string>* leader_temporaries, int& status) {
    RegionRun& r = *run.state;
    r.config_file = region_config_file;
    r.region_switch = region_switch;
    r.year = year;
    r.doy = doy;
    r.role = role;
    int st = 0;
    read_region_configuration(region_config_file, year, doy, r.region, r.grids, status);
    if (status == 0 && !run.output_folder.empty())
        use_output_folder(run.output_folder, r.region, status);
    if (status == 0) {
        log_region_header(r.grids.run, year, doy);
        ornax_read_landcover_table(r.region.landcover_table_file, r.table, r.nclasses, st);
        ornax_log_plain(
            (FreeLine() << "Total " << r.nclasses << " land cover read successfully").str());
        if (st != 0 || r.nclasses < 1) {
            ornax_log_failure("Region run stopped: no land cover class read from " +
                              trim_right(r.region.landcover_table_file));
            status = ornax_status_failure;
        }
    }
    const bool follows = role == Ornaxregionrole::follower;
    if (status == 0) {
        std::vector<std::string> names;
        for (int i = 0; i < r.region.out_var_count; ++i)
            names.push_back(trim_right(r.region.out_var_list[i].name));
        ornax_output_summary_init(r.summary, r.grids.run, names, "EDAY", st);
        if (!follows) check_outputs_against_inputs(r, false, status);
    }
    if (status == 0) {
        open_region_outputs(r.region, follows ? leader_temporaries : nullptr, r.files, status);
        if (status != 0) ornax_log_failure(r.files.set.failure);
    }
    if (status == 0) static_region_setup(r.common, r.met_grid, r.region, !follows, status);
    if (status == 0) {
        const RegionGrids& g = r.grids;
        status = ornax_check_region_input_sizes(r.region, g.land, g.veg, g.snow, g.sat, r.common,
                                                year, doy);
        if (status != 0)
            ornax_log_failure("Region run stopped: input rasters do not match their grids");
        // a follower begins only once the leader has found the same files plausible
        if (status == 0 && !follows)
            status = ornax_check_region_input_plausibility(r.region, g.land, g.veg, g.snow, g.sat,
                                                           r.common, year, doy);
    }
    // The leader computes and caches the sunrise grids here; a follower, begun after it,
    // reads them.
    if (status == 0 && !follows) check_outputs_against_inputs(r, true, status);
    if (status == 0) prepare_line_sources(r, year, doy, status);
    r.progress.shown = !follows;  // a follower's share is shown by no progress line
    r.progress.times.setup_s = seconds_since(r.progress.start);
    r.progress.times.threads = ornax_region_threads();
    r.begun = status == 0;
}

std::vector<std::string> ornax_region_output_temporaries(const Ornaxregionruntype& run) {
    std::vector<std::string> names;
    for (const Ornaxoutputfiletype& file : run.state->files.set.files)
        names.push_back(file.temporary);
    return names;
}

int ornax_region_line_count(const Ornaxregionruntype& run) {
    return run.state->begun ? run.state->grids.run.nrows : 0;
}

std::vector<int> ornax_region_line_forcing_rows(const Ornaxregionruntype& run) {
    const RegionRun& r = *run.state;
    std::vector<int> rows(static_cast<std::size_t>(ornax_region_line_count(run)), 0);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const int row = ornax_forcing_cell(region_line_lat(r.grids.run, static_cast<int>(i) + 1),
                                           r.common.south_lat, r.common.dlat);
        rows[i] = row >= 1 && row <= r.common.nrows ? row : 0;
    }
    return rows;
}

std::vector<int> ornax_region_share_lines(std::span<const int> line_rows, int rank, int size) {
    std::vector<int> lines;
    if (size < 1 || rank < 0 || rank >= size) return lines;
    int group = -1;
    for (std::size_t i = 0; i < line_rows.size(); ++i) {
        // a line outside the forecast-model rows is a group of its own
        if (i == 0 || line_rows[i] != line_rows[i - 1] || line_rows[i] == 0) ++group;
        if (group % size == rank) lines.push_back(static_cast<int>(i) + 1);
    }
    return lines;
}

void ornax_region_end(Ornaxregionruntype& run, Ornaxregionruntimes& times, int& status) {
    RegionRun& r = *run.state;
    int st = 0;
    status = 0;
    ornax_common_grid_finalize(r.common, st);
    if (r.role == Ornaxregionrole::follower) {
        ornax_output_set_leave(r.files.set, status);  // the leader publishes
        if (status != 0) ornax_log_failure(r.files.set.failure);
    } else if (r.files.set.failed) {
        status = ornax_status_failure;
    }
    ornax_finalize_region_data(r.region, st);
    r.progress.times.total_s = seconds_since(r.progress.start);
    times = r.progress.times;
}

void ornax_region_publish(Ornaxregionruntype& run, const Ornaxregionruntimes& times,
                          std::span<const Ornaxlinesummarytype> line_summaries, int& status) {
    RegionRun& r = *run.state;
    bool published = false;
    if (r.begun && times.lines > 0) {
        add_lines_of_others(r, line_summaries);
        // outputs that could not be written are named by the output set
        const std::string reason =
            r.files.set.failed ? std::string() : reason_to_keep_earlier_outputs(r, times, status);
        int publish = 3;
        if (reason.empty())
            finish_region_outputs(trim_right(r.region.output_dir), r.files, publish);
        else
            report_outputs_kept(r, reason);
        if (publish != 0) status = ornax_status_failure;
        published = publish == 0;
    }
    // The new rasters are in place: the earlier run record no longer describes them until
    // the sidecars, the maps and then the new record are written.
    if (published) describe_published_outputs(r, times, run.input_digests, status);
    ornax_output_set_abort(r.files.set);  // a run stopped before its lines publishes nothing
    r.begun = false;
}

void ornax_region_input_digests(const Ornaxregionruntype& run, int share, int shares,
                                std::vector<std::string>& digests) {
    const RegionRun& r = *run.state;
    std::vector<Ornaxrunfiletype> inputs = ornax_region_input_files(r.region);
    ornax_forcing_input_files(r.common, r.year, r.doy, inputs);
    ornax_run_file_digests(trim_right(r.config_file), inputs, share, shares, digests);
}

void ornax_run_region_timed(const std::string& region_config_file, int, int region_switch, int year,
                            int doy, Ornaxregionruntimes& times, int& status) {
    ornax_run_region_in_folder(region_config_file, region_switch, year, doy, "", times, status);
}

void ornax_run_region_in_folder(const std::string& region_config_file, int region_switch, int year,
                                int doy, const std::string& output_folder,
                                Ornaxregionruntimes& times, int& status) {
    Ornaxregionruntype run;
    run.output_folder = output_folder;
    try {
        ornax_region_begin(run, region_config_file, region_switch, year, doy,
                           Ornaxregionrole::alone, nullptr, status);
        if (status == 0) {
            std::vector<int> lines(static_cast<std::size_t>(ornax_region_line_count(run)));
            for (std::size_t i = 0; i < lines.size(); ++i) lines[i] = static_cast<int>(i) + 1;
            ornax_region_run_lines(run, lines, nullptr, status);
        }
        int end_status = 0;
        ornax_region_end(run, times, end_status);
        if (end_status != 0) status = ornax_status_failure;
        ornax_region_publish(run, times, {}, status);
    } catch (const std::bad_alloc&) {
        // The output set's temporaries go with the run's records; earlier outputs stay.
        ornax_output_set_abort(run.state->files.set);
        ornax_log_failure("Out of memory in the region run of " + trim_right(region_config_file));
        status = ornax_status_failure;
    }
    times = run.state->progress.times;
    times.total_s = seconds_since(run.state->progress.start);
    if (times.lines > 0) ornax_log_region_summary(times);
}

int ornax_region_threads() {
#ifdef _OPENMP
    return std::max(omp_get_max_threads(), 1);
#else
    return 1;
#endif
}

void ornax_run_region(const std::string& region_config_file, int run_mode, int region_switch,
                      int year, int doy, int& status) {
    Ornaxregionruntimes times;
    ornax_run_region_timed(region_config_file, run_mode, region_switch, year, doy, times, status);
}
