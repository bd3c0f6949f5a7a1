// Region run: the configuration and grids set up, the output rasters opened, every line
// of the run grid read, simulated and written, and the run summarised.
#include "ORNAX_run_mod.hpp"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <map>
#include <mutex>

#ifdef _OPENMP
#include <omp.h>
#endif

#include "ORNAX_io_mod.hpp"
#include "ORNAX_log_mod.hpp"
#include "ORNAX_output_meta_mod.hpp"
#include "ORNAX_region_io_mod.hpp"
#include "ORNAX_region_mod.hpp"
#include "file_io_mod.hpp"
#include "fixed_text_mod.hpp"

namespace {

// The grids of a region run; land_copy locates the meteorology's columns.
struct RegionGrids {
    Spatialinfodata land, veg, snow, sat, run, land_copy;
};

// Open output rasters: one unit per listed variable, then the quality raster, and the
// line diagnostic raster of the first-observation air temperature.
struct RegionOutputFiles {
    std::vector<int> units;
    std::vector<std::string> names;
    int diag_unit = 0;
};

using region_clock = std::chrono::steady_clock;

double seconds_since(region_clock::time_point start) {
    return std::chrono::duration<double>(region_clock::now() - start).count();
}

// Counts and timing of the line loop, and the progress line shown on a terminal.
struct RegionProgress {
    region_clock::time_point start = region_clock::now();
    Ornaxregionruntimes times;
    int nrows = 0;
    bool terminal = isatty(fileno(stderr)) != 0;
    int next_tenth = 1;  // batch jobs: the next tenth of the lines to report
    bool shown = true;   // false: no progress line (a follower's share)

    void show() {
        if (!shown) return;
        ornax_report_region_progress(stderr, terminal, times.lines, nrows, times.computed,
                                     seconds_since(start), next_tenth);
    }
};

// Steps 2-5: configuration, the five grid descriptions and the output list. status 0 or 3.
void read_region_configuration(const std::string& config_file, int year, int doy,
                               Ornaxregiondatatype& region, RegionGrids& grids, int& status) {
    int st = 0;
    ornax_read_region_config_file(config_file, region, year, doy, st);
    if (st != 0) ornax_log_msg("Read configuration failed " + trim_right(config_file));
    int failed = 0;
    read_domain_info_from_txt(region.land_domain_file, grids.land, st);
    failed += st != 0;
    read_domain_info_from_txt(region.vegetation_domain_file, grids.veg, st);
    failed += st != 0;
    read_domain_info_from_txt(region.snow_domain_file, grids.snow, st);
    failed += st != 0;
    grids.land_copy = grids.land;
    read_domain_info_from_txt(region.satellite_domain_file, grids.sat, st);
    failed += st != 0;
    read_domain_info_from_txt(region.run_domain_file, grids.run, st);
    failed += st != 0;
    ornax_read_out_list_file(region.out_list_file, region.out_var_list, region.out_var_count, st);
    failed += st != 0;
    if (grids.run.ncols < 1 || grids.run.nrows < 1) ++failed;  // nothing to run on
    status = 0;
    if (failed != 0) {
        ornax_log_msg("Read configurations failed");
        status = 3;
    }
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

// Every output raster at its full size, so that the lines can be written in any order by
// any process. status 0 or 3.
void size_region_outputs(const Spatialinfodata& run, const RegionOutputFiles& files,
                         int& status) {
    const std::int64_t bytes = 4LL * run.ncols * run.nrows;
    std::vector<int> all = files.units;
    all.push_back(files.diag_unit);
    status = 0;
    for (int unit : all) {
        int st = 0;
        raster_size_output(unit, bytes, st);
        if (st != 0) status = 3;
    }
}

// Closes every output; 3 when one of them could not be flushed (logged).
int close_region_outputs(RegionOutputFiles& files) {
    std::vector<int> all = files.units;
    if (files.diag_unit != 0) all.push_back(files.diag_unit);
    int status = 0;
    for (int unit : all) {
        int st = 0;
        raster_close_output(unit, st);
        ornax_release_unit_number(unit);
        if (st != 0) status = 3;
    }
    if (status != 0) ornax_log_msg("An output raster could not be written out when closed");
    files = RegionOutputFiles{};
    return status;
}

// Step 8: one raster per listed variable, the quality raster, the line diagnostic. Units
// come from the pool, so no forcing reader can take a unit of an open output. A file
// that cannot be opened closes the others and fails the run. A follower opens the rasters
// that the leader created.
void open_region_outputs(const Ornaxregiondatatype& region, Ornaxregionrole role,
                         RegionOutputFiles& files, int& status) {
    const std::string dir = trim_right(region.output_dir);
    for (int i = 0; i < region.out_var_count; ++i)
        files.names.push_back(dir + "/" + trim_right(region.out_var_list[i].name) + ".bin");
    files.names.push_back(dir + "/" + "region_qc.bin");
    files.names.push_back("testMETtemp15.bin");
    status = 0;
    for (size_t i = 0; i < files.names.size(); ++i) {
        const int unit = ornax_get_next_unit_number();
        int st = unit < 0 ? 3 : 0;
        if (st == 0 && role == Ornaxregionrole::follower)
            raster_open_existing_output(unit, files.names[i], st);
        else if (st == 0)
            raster_open_output(unit, files.names[i], st);
        if (st != 0) {
            ornax_log_msg("Cannot open the output file " + files.names[i]);
            if (unit >= 0) ornax_release_unit_number(unit);
            close_region_outputs(files);
            status = 3;
            return;
        }
        if (i + 1 < files.names.size())
            files.units.push_back(unit);
        else
            files.diag_unit = unit;
    }
    files.names.pop_back();
}

// A failed line: the missing value in that line of every output raster and 127 in the
// quality raster, so no output keeps an unwritten line that would read back as zeros.
void write_failed_line(const Spatialinfodata& run, const RegionOutputFiles& files, int line) {
    const std::vector<float> missing(static_cast<size_t>(run.ncols), run.spare_value);
    const std::vector<float> not_computed(static_cast<size_t>(run.ncols), 127.0f);
    for (size_t i = 0; i < files.units.size(); ++i) {
        int st = 0;
        const bool quality = i + 1 == files.units.size();
        write_out_2d_real_line(quality ? not_computed : missing, run.ncols, run.nrows,
                               files.units[i], line, st);
    }
}

// Line diagnostic: the first-observation air temperature (K) of the line's columns.
void write_diag_line(const Spatialinfodata& run, const Ornaxregiondatatype& region,
                     const RegionOutputFiles& files, int line) {
    std::vector<float> values(static_cast<size_t>(run.ncols), run.spare_value);
    for (size_t k = 0; k < values.size() && k < region.taobs1.size(); ++k)
        values[k] = region.taobs1[k];
    int st = 0;
    write_out_2d_real_line(values, run.ncols, run.nrows, files.diag_unit, line, st);
}

}  // namespace

namespace {

// Static set-up; with set_land_cells false (a follower) only the forecast-model land mask
// is read, the land cells being the leader's.
void static_region_setup(Ornaxcommonblock& common, Ornaxmeteoornax& met_grid,
                         const Ornaxregiondatatype& region, bool set_land_cells, int& status) {
    int st = 0;
    ornax_vesk_read_config(region.met_config_file, common, met_grid, st);
    if (st != 0) {
        std::cout << " Error in reading the configuration file\n Main Program exit..." << std::endl;
        status = 3;
        return;
    }
    std::cout << (FreeLine() << "Init common grid ... with (row, col):" << common.nrows
                             << common.ncols)
                     .str()
              << std::endl;
    ornax_common_grid_init(common, st);
    if (st != 0) {
        ornax_log_msg((FreeLine() << "Common grid set-up failed for the meteorological "
                                     "configuration "
                                  << trim_right(region.met_config_file) << "status" << st)
                          .str());
        status = 3;
        return;
    }
    if (set_land_cells) {
        ornax_load_land_data(common, st);
        ornax_log_plain((FreeLine() << " ORNAX_load_land_data done ....." << st).str());
    } else {
        ornax_load_forcing_land_mask(common, st);
    }
    if (st != 0) {
        ornax_log_msg(
            (FreeLine() << "Land data of the common grid could not be loaded, status" << st).str());
        status = 3;
        return;
    }
    status = 0;
}

}  // namespace

void ornax_get_static_region_data(Ornaxcommonblock& common, Ornaxmeteoornax& met_grid,
                                  const Ornaxregiondatatype& region, int, int, int& status) {
    static_region_setup(common, met_grid, region, true, status);
}

// Everything one region run owns. While the lines run, the threads share it read-only
// (the day's sources and the output files are safe to use from several threads).
struct Ornaxregionrunstate {
    int region_switch = 0, year = 0, doy = 0;
    bool begun = false;  // the set-up succeeded: lines may run
    RegionGrids grids;
    Ornaxregiondatatype region;
    Ornaxcommonblock common;
    Ornaxmeteoornax met_grid;
    std::vector<Ornaxlandtype> table;
    int nclasses = 0;
    RegionOutputFiles files;
    RasterInputFiles inputs;  // the per-line input rasters, held open
    Ornaxmetday day;          // sunrise grids and forecast rows of the day
    RegionProgress progress;
    std::string config_file;
    // flag counts and statistics for the run record; lines add to their own slots
    mutable Ornaxoutputsummarytype summary;
};

Ornaxregionruntype::Ornaxregionruntype() : state(std::make_unique<Ornaxregionrunstate>()) {}
Ornaxregionruntype::~Ornaxregionruntype() = default;

namespace {

using RegionRun = Ornaxregionrunstate;

// The records a thread works on: its own line arrays and model-grid line, and its share
// of the timing.
struct LineWorker {
    Ornaxregiondatatype region;
    Ornaxmeteoornax met_grid;
    Ornaxregionruntimes times;
};

// Step 10 for line P: prepare, read, simulate and write the line. Returns 0 or 3.
int process_region_line(const RegionRun& r, LineWorker& w, int line, int region_switch, int year,
                        int doy) {
    const RegionGrids& g = r.grids;
    const float lat = g.run.south_lat + (static_cast<float>(line) - 0.5f) * g.run.dlat;
    if (line % 100 == 0)
        ornax_log_plain((FreeLine() << "Processing Line" << line << "at " << lat).str());
    Ornaxregionruntimes& t = w.times;
    int failed = 0, st = 0;
    auto clock = region_clock::now();
    ornax_init_region_data(w.region, g.run, g.land, g.veg, g.snow, g.land_copy, g.sat, st);
    if (st != 0) {
        ornax_log_plain(
            (FreeLine() << "Allocate memory error in ORNAX_init_region_data" << st).str());
        failed = 1;
    }
    if (failed == 0) {
        ornax_read_region_data(w.region, r.common, w.met_grid, g.run, g.land, g.veg, g.snow,
                               g.land_copy, g.sat, r.table, r.nclasses, region_switch, year, doy,
                               lat, st);
        if (st != 0) {
            ornax_log_plain((FreeLine() << "ORNAX read data error" << st).str());
            failed = 1;
        }
    }
    t.read_s += seconds_since(clock);
    clock = region_clock::now();
    if (failed == 0) {
        ornax_simulate_region(w.region, g.run, g.land, g.veg, g.snow, g.land_copy, g.sat, r.table,
                              r.nclasses, year, doy, region_switch, lat, st);
        if (st != 0) {
            ornax_log_plain((FreeLine() << "ORNAX run error" << st).str());
            failed = 1;
        }
    }
    t.core_s += seconds_since(clock);
    clock = region_clock::now();
    if (failed == 0) {
        ornax_write_region_outputs(g.run, w.region, r.files.units, line, st);
        if (st != 0) failed = 1;  // the writer has logged the variable
        for (float q : w.region.qc_flag) t.computed += q == 0.0f;
    }
    if (failed != 0) write_failed_line(g.run, r.files, line);
    // each line has its own slot of the summary, so threads may add theirs at once
    ornax_output_summary_add_line(r.summary, line, failed != 0, w.region.out_var_matrix,
                                  w.region.qc_flag, st);
    write_diag_line(g.run, w.region, r.files, line);
    t.write_s += seconds_since(clock);
    ornax_finalize_region_data(w.region, st);  // also after a failed preparation
    if (st != 0) {
        ornax_log_plain(
            (FreeLine() << "Release memory error in ORNAX_finalize_region_data" << st).str());
        failed = 1;
    }
    t.pixels += g.run.ncols;
    return failed != 0 ? 3 : 0;
}

// Lines finish in any order; their messages go out in the order the lines were given, to
// the run log or into the caller's buffers. A finished line waits here until every earlier
// line is out, then goes out with the counts and progress line.
class LinesInOrder {
public:
    LinesInOrder(RegionProgress& progress, std::vector<Ornaxlinereporttype>* kept)
        : progress_(progress), kept_(kept) {}

    void finish(std::size_t index, Ornaxmessagebuffer&& messages, int status) {
        std::lock_guard<std::mutex> lock(mutex_);
        waiting_[index] = {std::move(messages), status};
        for (auto next = waiting_.find(next_); next != waiting_.end();
             next = waiting_.find(next_)) {
            if (kept_ != nullptr)
                (*kept_)[next_] = {std::move(next->second.messages), next->second.status};
            else
                ornax_release_messages(next->second.messages);
            if (next->second.status != 0) {
                status_ = 3;
                ++progress_.times.failed_lines;
            }
            ++progress_.times.lines;
            progress_.show();
            waiting_.erase(next);
            ++next_;
        }
    }

    // A thread's share of the timing and counts, once it has no line left.
    void check_out(const Ornaxregionruntimes& worker) {
        std::lock_guard<std::mutex> lock(mutex_);
        Ornaxregionruntimes& t = progress_.times;
        t.read_s += worker.read_s;
        t.core_s += worker.core_s;
        t.write_s += worker.write_s;
        t.pixels += worker.pixels;
        t.computed += worker.computed;
    }

    int status() {
        std::lock_guard<std::mutex> lock(mutex_);
        return status_;
    }

private:
    struct Finished {
        Ornaxmessagebuffer messages;
        int status = 0;
    };
    RegionProgress& progress_;
    std::vector<Ornaxlinereporttype>* kept_;
    std::mutex mutex_;
    std::map<std::size_t, Finished> waiting_;
    std::size_t next_ = 0;
    int status_ = 0;
};

// Step 10 for the given lines, spread over the threads; a failed line does not stop the
// run. Each thread takes the next line not yet taken.
int run_region_lines(RegionRun& r, int threads, std::span<const int> lines,
                     std::vector<Ornaxlinereporttype>* kept) {
    LinesInOrder order(r.progress, kept);
    std::atomic<std::size_t> next_index{0};
    const RegionRun& shared = r;
#pragma omp parallel num_threads(threads)
    {
        LineWorker worker{shared.region, shared.met_grid, {}};
        for (std::size_t i = next_index++; i < lines.size(); i = next_index++) {
            const int line = lines[i];
            Ornaxmessagebuffer messages;
            int status = 3;
            if (line >= 1 && line <= shared.grids.run.nrows) {
                OrnaxMessageCapture capture(messages);
                status = process_region_line(shared, worker, line, shared.region_switch,
                                             shared.year, shared.doy);
            }
            order.finish(i, std::move(messages), status);
        }
        order.check_out(worker.times);
    }
    return order.status();
}

// Before the first line: the per-line input rasters held open, and the day's sunrise grids
// and forecast-model rasters prepared once for every line. A day that cannot be prepared
// fails each line as it uses it, with the line's own messages.
void prepare_line_sources(RegionRun& r, int year, int doy) {
    ornax_hold_region_inputs(r.region, r.inputs);
    r.region.input_rasters = &r.inputs;
    int st = 0;
    ornax_prepare_met_day(r.common, r.met_grid, year, doy, r.day, st);
    r.day.keep_rows = static_cast<std::size_t>(ornax_region_threads()) + 2;
    r.day.all_series = false;  // the lines copy only the series the pixels use
    r.met_grid.day_sources = &r.day;
}

}  // namespace

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
                        int& status) {
    RegionRun& r = *run.state;
    r.config_file = region_config_file;
    r.region_switch = region_switch;
    r.year = year;
    r.doy = doy;
    int st = 0;
    read_region_configuration(region_config_file, year, doy, r.region, r.grids, status);
    if (status == 0) {
        log_region_header(r.grids.run, year, doy);
        ornax_read_landcover_table(r.region.landcover_table_file, r.table, r.nclasses, st);
        ornax_log_plain(
            (FreeLine() << "Total " << r.nclasses << " land cover read successfully").str());
        if (st != 0 || r.nclasses < 1) {
            ornax_log_msg("Region run stopped: no land cover class read from " +
                          trim_right(r.region.landcover_table_file));
            status = 3;
        }
    }
    const bool prepares = role != Ornaxregionrole::follower;
    if (status == 0) {
        std::vector<std::string> names;
        for (int i = 0; i < r.region.out_var_count; ++i)
            names.push_back(trim_right(r.region.out_var_list[i].name));
        ornax_output_summary_init(r.summary, r.grids.run, names, "EDAY", st);
        // the rasters are about to change
        if (prepares) ornax_retire_run_info(r.region.output_dir, st);
        open_region_outputs(r.region, role, r.files, status);
    }
    if (status == 0) static_region_setup(r.common, r.met_grid, r.region, prepares, status);
    if (status == 0 && prepares) size_region_outputs(r.grids.run, r.files, status);
    // The leader computes and caches the sunrise grids here; a follower, begun after it,
    // reads them.
    if (status == 0) prepare_line_sources(r, year, doy);
    r.progress.shown = prepares;  // a follower's share is shown by no progress line
    r.progress.times.setup_s = seconds_since(r.progress.start);
    r.progress.times.threads = ornax_region_threads();
    r.begun = status == 0;
}

int ornax_region_line_count(const Ornaxregionruntype& run) {
    return run.state->begun ? run.state->grids.run.nrows : 0;
}

void ornax_region_run_lines(Ornaxregionruntype& run, std::span<const int> lines,
                            std::vector<Ornaxlinereporttype>* line_reports, int& status) {
    RegionRun& r = *run.state;
    status = 3;
    if (!r.begun) return;
    if (line_reports != nullptr) line_reports->assign(lines.size(), Ornaxlinereporttype{});
    r.progress.nrows = static_cast<int>(lines.size());
    status = run_region_lines(r, r.progress.times.threads, lines, line_reports);
}

void ornax_region_end(Ornaxregionruntype& run, Ornaxregionruntimes& times, int& status) {
    RegionRun& r = *run.state;
    int st = 0;
    status = 0;
    ornax_common_grid_finalize(r.common, st);
    if (close_region_outputs(r.files) != 0) status = 3;
    ornax_finalize_region_data(r.region, st);
    r.begun = false;
    r.progress.times.total_s = seconds_since(r.progress.start);
    times = r.progress.times;
}

namespace {

// Adds to the summary every line that another process ran, from the closed output rasters
// (the values and flags it wrote); a line of `failed_lines` counts as failed.
void add_lines_of_others(RegionRun& r, std::span<const int> failed_lines) {
    Ornaxoutputsummarytype& summary = r.summary;
    const Spatialinfodata& run = r.grids.run;
    const std::string dir = trim_right(r.region.output_dir);
    const std::size_t ncols = static_cast<std::size_t>(run.ncols);
    const std::size_t nvars = static_cast<std::size_t>(r.region.out_var_count);
    std::vector<float> matrix(ncols * nvars), values, quality;
    for (int line = 1; line <= summary.nrows; ++line) {
        if (summary.lines[static_cast<std::size_t>(line - 1)].added) continue;
        const bool failed = std::find(failed_lines.begin(), failed_lines.end(), line) !=
                            failed_lines.end();
        int st = 0;
        for (std::size_t i = 0; i < nvars && !failed; ++i) {
            read_2d_real_by_line(dir + "/" + trim_right(r.region.out_var_list[i].name) + ".bin",
                                 run.ncols, run.nrows, line, 0, values, st);
            if (values.size() == ncols)
                std::copy(values.begin(), values.end(), matrix.begin() + i * ncols);
        }
        if (!failed)
            read_2d_real_by_line(dir + "/region_qc.bin", run.ncols, run.nrows, line, 0, quality,
                                 st);
        ornax_output_summary_add_line(summary, line, failed, matrix, quality, st);
    }
}

}  // namespace

void ornax_region_publish(Ornaxregionruntype& run, const Ornaxregionruntimes& times,
                          std::span<const int> failed_lines, int& status) {
    RegionRun& r = *run.state;
    add_lines_of_others(r, failed_lines);
    ornax_publish_region_run(r.config_file, r.region, r.common, r.grids.run, r.region_switch,
                             r.year, r.doy, times, r.summary, status);
}

void ornax_run_region_timed(const std::string& region_config_file, int, int region_switch, int year,
                            int doy, Ornaxregionruntimes& times, int& status) {
    Ornaxregionruntype run;
    ornax_region_begin(run, region_config_file, region_switch, year, doy, Ornaxregionrole::alone,
                       status);
    if (status == 0) {
        std::vector<int> lines(static_cast<std::size_t>(ornax_region_line_count(run)));
        for (std::size_t i = 0; i < lines.size(); ++i) lines[i] = static_cast<int>(i) + 1;
        ornax_region_run_lines(run, lines, nullptr, status);
    }
    int end_status = 0;
    ornax_region_end(run, times, end_status);
    if (end_status != 0) status = 3;
    if (times.lines > 0) ornax_region_publish(run, times, {}, status);
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
