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
#include <new>

#ifdef _OPENMP
#include <omp.h>
#endif

#include "ORNAX_input_check_mod.hpp"
#include "ORNAX_io_mod.hpp"
#include "ORNAX_log_mod.hpp"
#include "ORNAX_output_meta_mod.hpp"
#include "ORNAX_output_set_mod.hpp"
#include "ORNAX_region_io_mod.hpp"
#include "ORNAX_region_mod.hpp"
#include "file_io_mod.hpp"
#include "fixed_text_mod.hpp"

namespace {

// The grids of a region run; land_copy locates the meteorology's columns.
struct RegionGrids {
    Spatialinfodata land, veg, snow, sat, run, land_copy;
};

// Outputs of the run, written as one output set: one raster per listed variable, then the
// quality raster (members), the line diagnostic raster of the first-observation air
// temperature and the pixel dump. They replace the earlier files only when the run ends.
struct RegionOutputFiles {
    Ornaxoutputsettype set;
    std::vector<int> members;
    int diag_member = -1;
    int dump_member = -1;
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
// A configuration that cannot be read stops here: its grid descriptions have no names.
void read_region_configuration(const std::string& config_file, int year, int doy,
                               Ornaxregiondatatype& region, RegionGrids& grids, int& status) {
    int st = 0;
    status = 3;
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
        {region.land_domain_file, grids.land},       {region.vegetation_domain_file, grids.veg},
        {region.snow_domain_file, grids.snow},       {region.satellite_domain_file, grids.sat},
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
        {"land grid", &descriptions[0]},      {"vegetation grid", &descriptions[1]},
        {"snow grid", &descriptions[2]},      {"satellite grid", &descriptions[3]},
        {"run grid", &descriptions[4]},
    };
    for (const auto& [what, description] : named) {
        ornax_check_grid_limits(description->grid, what, trim_right(description->file), st);
        if (st != 0) return;
    }
    const long long line_values = ornax_region_line_values(
        grids.run, grids.land, grids.veg, grids.snow, grids.land_copy, grids.sat,
        region.out_var_count);
    if (line_values > ornax_max_line_values) {
        ornax_log_failure("The grids need " + std::to_string(line_values) +
                          " values per line, more than the maximum of " +
                          std::to_string(ornax_max_line_values));
        return;
    }
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
    int removed = 0;
    ornax_output_remove_stale(dir, removed);
    if (!dir.empty()) ornax_output_remove_stale("", removed);
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

// A failed line: the missing value in that line of every output raster and its own value
// in the quality raster, so no output keeps an unwritten line that would read back as
// zeros and no failed read is taken for water or snow.
void write_failed_line(const Spatialinfodata& run, RegionOutputFiles& files, int line) {
    const std::vector<float> missing(static_cast<size_t>(run.ncols), run.spare_value);
    const std::vector<float> not_computed(static_cast<size_t>(run.ncols), ornax_qc_failed_line);
    for (size_t i = 0; i < files.members.size(); ++i) {
        int st = 0;
        const bool quality = i + 1 == files.members.size();
        ornax_output_set_write_line(files.set, files.members[i], quality ? not_computed : missing,
                                    line, st);
    }
}

// Line diagnostic: the first-observation air temperature (K) of the line's columns.
void write_diag_line(const Spatialinfodata& run, const Ornaxregiondatatype& region,
                     RegionOutputFiles& files, int line) {
    std::vector<float> values(static_cast<size_t>(run.ncols), run.spare_value);
    for (size_t k = 0; k < values.size() && k < region.taobs1.size(); ++k)
        values[k] = region.taobs1[k];
    int st = 0;
    ornax_output_set_write_line(files.set, files.diag_member, values, line, st);
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
        ornax_log_failure("Error in reading the meteorological configuration file " +
                          trim_right(region.met_config_file));
        status = 3;
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
        ornax_log_failure(
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

// Everything one region run owns. While the lines run, the threads share it: they read the
// grids, tables, common grid and day's sources, and write their lines into the output set
// (safe from several threads); everything else changes only in line order (LinesInOrder).
struct Ornaxregionrunstate {
    std::string config_file;
    int region_switch = 0, year = 0, doy = 0;
    Ornaxregionrole role = Ornaxregionrole::alone;
    bool begun = false;  // the set-up succeeded: lines may run
    RegionGrids grids;
    Ornaxregiondatatype region;
    Ornaxcommonblock common;
    Ornaxmeteoornax met_grid;
    std::vector<Ornaxlandtype> table;
    int nclasses = 0;
    RegionOutputFiles files;
    RegionProgress progress;
    Ornaxoutputsummarytype summary;  // flag counts and statistics for the run record
    RasterInputFiles inputs;         // the per-line input rasters, held open
    Ornaxmetday day;                 // sunrise grids and forecast rows of the day
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

// What a line hands on to be taken in line order: its messages, outcome and results.
struct FinishedLine {
    Ornaxmessagebuffer messages;
    bool failed = false;           // the line's rasters hold the missing value
    bool forcing_missing = false;  // computed, but forecast-model rasters were missing
    // where a failed line failed; null when the failure has a cause of its own (outputs
    // that cannot be written are named by the output set)
    const char* stage = nullptr;
    std::vector<float> out_matrix, quality;
};

// Step 10 for line P: prepare, read, simulate and write the line.
void process_region_line(RegionRun& r, LineWorker& w, int line, int region_switch, int year,
                         int doy, FinishedLine& done) {
    const RegionGrids& g = r.grids;
    const float lat = g.run.south_lat + (static_cast<float>(line) - 0.5f) * g.run.dlat;
    if (line % 100 == 0)
        ornax_log_plain((FreeLine() << "Processing Line" << line << "at " << lat).str());
    Ornaxregionruntimes& t = w.times;
    int st = 0;
    auto fail = [&done](const char* stage) {
        if (!done.failed) done.stage = stage;
        done.failed = true;
    };
    auto clock = region_clock::now();
    ornax_init_region_data(w.region, g.run, g.land, g.veg, g.snow, g.land_copy, g.sat, st);
    if (st != 0) {
        ornax_log_plain(
            (FreeLine() << "Allocate memory error in ORNAX_init_region_data" << st).str());
        fail("allocating its arrays");
    }
    if (!done.failed) {
        ornax_read_region_data(w.region, r.common, w.met_grid, g.run, g.land, g.veg, g.snow,
                               g.land_copy, g.sat, r.table, r.nclasses, region_switch, year, doy,
                               lat, st);
        if (st != 0) {
            ornax_log_plain((FreeLine() << "ORNAX read data error" << st).str());
            fail("reading its inputs");
        }
    }
    t.read_s += seconds_since(clock);
    clock = region_clock::now();
    if (!done.failed) {
        ornax_simulate_region(w.region, g.run, g.land, g.veg, g.snow, g.land_copy, g.sat, r.table,
                              r.nclasses, year, doy, region_switch, lat, st);
        if (st != 0) {
            ornax_log_plain((FreeLine() << "ORNAX run error" << st).str());
            fail("the pixel simulation");
        }
    }
    t.core_s += seconds_since(clock);
    clock = region_clock::now();
    if (!done.failed) {
        ornax_write_region_outputs(g.run, w.region, r.files.set, r.files.members, line, st);
        if (st != 0) fail(nullptr);  // the writer has logged the reason
    }
    // forecast-model rasters that could not be read: their pixels are flagged, the run fails
    done.forcing_missing = w.region.forcing_read_failures != 0;
    if (done.failed) write_failed_line(g.run, r.files, line);
    done.out_matrix = w.region.out_var_matrix;
    done.quality = w.region.qc_flag;
    write_diag_line(g.run, w.region, r.files, line);
    t.write_s += seconds_since(clock);
    ornax_finalize_region_data(w.region, st);  // also after a failed preparation
    if (st != 0) {
        ornax_log_plain(
            (FreeLine() << "Release memory error in ORNAX_finalize_region_data" << st).str());
        fail("releasing its arrays");
    }
    t.pixels += g.run.ncols;
}

// Lines finish in any order and are taken in line order: a finished line waits here until
// every earlier line is taken, then its messages go out, it counts, its results go into the
// run's summary and the progress line moves on. The run therefore logs, counts and sums
// the same way whatever the number of threads.
class LinesInOrder {
public:
    LinesInOrder(RegionRun& r, std::span<const int> lines, std::vector<Ornaxlinereporttype>* kept)
        : r_(r), lines_(lines), kept_(kept) {}

    // The index-th of the lines given has finished.
    void finish(std::size_t index, FinishedLine&& done) {
        std::lock_guard<std::mutex> lock(mutex_);
        waiting_[index] = std::move(done);
        for (auto next = waiting_.find(next_); next != waiting_.end();
             next = waiting_.find(next_)) {
            take(next->first, next->second);
            waiting_.erase(next);
            ++next_;
        }
    }

    // A thread's share of the timing and counts, once it has no line left.
    void check_out(const Ornaxregionruntimes& worker, int pixel_dump_status) {
        std::lock_guard<std::mutex> lock(mutex_);
        Ornaxregionruntimes& t = r_.progress.times;
        t.read_s += worker.read_s;
        t.core_s += worker.core_s;
        t.write_s += worker.write_s;
        t.pixels += worker.pixels;
        if (pixel_dump_status != 0) r_.region.pixel_dump_status = pixel_dump_status;
    }

    int status() {
        std::lock_guard<std::mutex> lock(mutex_);
        return status_;
    }

private:
    void take(std::size_t index, FinishedLine& done) {
        const int line = lines_[index];
        if (kept_ != nullptr)
            (*kept_)[index] = {std::move(done.messages), done.failed || done.forcing_missing ? 3 : 0,
                               done.failed, done.stage != nullptr ? done.stage : ""};
        else
            ornax_release_messages(done.messages);
        Ornaxregionruntimes& t = r_.progress.times;
        if (done.failed || done.forcing_missing) {
            // The first failed line is named as a cause of the run's failure (by the caller
            // when it takes the lines' messages).
            if (t.failed_lines == 0 && done.failed && done.stage != nullptr && kept_ == nullptr)
                ornax_log_line_failure(line, r_.grids.run.nrows, done.stage);
            status_ = 3;
            ++t.failed_lines;
        }
        if (!done.failed)
            for (float q : done.quality) t.computed += q == 0.0f;
        int st = 0;
        ornax_output_summary_add_line(r_.summary, line, done.failed, done.out_matrix, done.quality,
                                      st);
        ++t.lines;
        r_.progress.show();
    }

    RegionRun& r_;
    std::span<const int> lines_;
    std::vector<Ornaxlinereporttype>* kept_;
    std::mutex mutex_;
    std::map<std::size_t, FinishedLine> waiting_;
    std::size_t next_ = 0;
    int status_ = 0;
};

// Step 10: every line from south to north, spread over the threads; a failed line does
// not stop the run, outputs that cannot be written (a full device) stop it. Each thread
// takes the next line not yet taken.
int run_region_lines(RegionRun& r, int threads, std::span<const int> lines,
                     std::vector<Ornaxlinereporttype>* kept) {
    Ornaxregionruntimes& t = r.progress.times;
    r.progress.nrows = static_cast<int>(lines.size());
    LinesInOrder order(r, lines, kept);
    std::atomic<std::size_t> next_index{0};
#pragma omp parallel num_threads(threads)
    {
        LineWorker worker{r.region, r.met_grid, {}};
        for (std::size_t i = next_index++; i < lines.size() && !r.files.set.failed;
             i = next_index++) {
            FinishedLine done;
            {
                OrnaxMessageCapture capture(done.messages);
                if (lines[i] >= 1 && lines[i] <= r.grids.run.nrows)
                    process_region_line(r, worker, lines[i], r.region_switch, r.year, r.doy,
                                        done);
                else
                    done.failed = true;
            }
            order.finish(i, std::move(done));
        }
        order.check_out(worker.times, worker.region.pixel_dump_status);
    }
    int status = order.status();
    if (r.files.set.failed) return 3;
    if (r.region.pixel_dump_status != 0)
        ornax_log_failure("Cannot write the pixel dump " +
                          r.files.set.files[static_cast<std::size_t>(r.files.dump_member)].path);
    if (t.failed_lines > 0 && kept == nullptr) ornax_log_failed_lines(t.failed_lines, t.lines);
    return r.region.pixel_dump_status != 0 ? 3 : status;
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

// Adds to the summary every line that another process ran, from the output rasters it
// wrote (still under their temporary names); a line of `failed_lines` counts as failed.
void add_lines_of_others(RegionRun& r, std::span<const int> failed_lines) {
    Ornaxoutputsummarytype& summary = r.summary;
    const Spatialinfodata& run = r.grids.run;
    const std::size_t ncols = static_cast<std::size_t>(run.ncols);
    const std::size_t nvars = static_cast<std::size_t>(r.region.out_var_count);
    std::vector<float> matrix(ncols * nvars), values, quality;
    for (int line = 1; line <= summary.nrows; ++line) {
        if (summary.lines[static_cast<std::size_t>(line - 1)].added) continue;
        const bool failed =
            std::find(failed_lines.begin(), failed_lines.end(), line) != failed_lines.end();
        int st = 0;
        for (std::size_t i = 0; i < nvars && !failed; ++i) {
            read_2d_real_by_line(ornax_output_set_temporary(r.files.set, r.files.members[i]),
                                 run.ncols, run.nrows, line, 0, values, st);
            if (values.size() == ncols)
                std::copy(values.begin(), values.end(), matrix.begin() + i * ncols);
        }
        if (!failed)
            read_2d_real_by_line(ornax_output_set_temporary(r.files.set, r.files.members[nvars]),
                                 run.ncols, run.nrows, line, 0, quality, st);
        ornax_output_summary_add_line(summary, line, failed, matrix, quality, st);
    }
}

// Publishes the outputs of a run whose line loop ran, or removes them when the outputs
// themselves failed (the earlier files stay whole). status 0 or 3.
void finish_region_outputs(RegionOutputFiles& files, int& status) {
    status = 3;
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

void ornax_log_failed_lines(int failed_lines, int lines) {
    ornax_log_failure((FreeLine() << failed_lines << "of" << lines
                                  << "lines failed; they hold the missing value and quality 127")
                          .str());
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
    if (status == 0) {
        log_region_header(r.grids.run, year, doy);
        ornax_read_landcover_table(r.region.landcover_table_file, r.table, r.nclasses, st);
        ornax_log_plain(
            (FreeLine() << "Total " << r.nclasses << " land cover read successfully").str());
        if (st != 0 || r.nclasses < 1) {
            ornax_log_failure("Region run stopped: no land cover class read from " +
                              trim_right(r.region.landcover_table_file));
            status = 3;
        }
    }
    const bool follows = role == Ornaxregionrole::follower;
    if (status == 0) {
        std::vector<std::string> names;
        for (int i = 0; i < r.region.out_var_count; ++i)
            names.push_back(trim_right(r.region.out_var_list[i].name));
        ornax_output_summary_init(r.summary, r.grids.run, names, "EDAY", st);
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
    }
    // The leader computes and caches the sunrise grids here; a follower, begun after it,
    // reads them.
    if (status == 0) prepare_line_sources(r, year, doy);
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

void ornax_region_run_lines(Ornaxregionruntype& run, std::span<const int> lines,
                            std::vector<Ornaxlinereporttype>* line_reports, int& status) {
    RegionRun& r = *run.state;
    status = 3;
    if (!r.begun) return;
    if (line_reports != nullptr) line_reports->assign(lines.size(), Ornaxlinereporttype{});
    status = run_region_lines(r, r.progress.times.threads, lines, line_reports);
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
        status = 3;
    }
    ornax_finalize_region_data(r.region, st);
    r.progress.times.total_s = seconds_since(r.progress.start);
    times = r.progress.times;
}

void ornax_region_publish(Ornaxregionruntype& run, const Ornaxregionruntimes& times,
                          std::span<const int> failed_lines, int& status) {
    RegionRun& r = *run.state;
    int st = 0;
    bool published = false;
    if (r.begun && times.lines > 0) {
        add_lines_of_others(r, failed_lines);
        int publish = 0;
        finish_region_outputs(r.files, publish);
        if (publish != 0) status = 3;
        published = publish == 0;
    }
    if (published) {
        // The new rasters are in place: the earlier run record no longer describes them
        // until the sidecars, the maps and then the new record are written.
        ornax_retire_run_info(trim_right(r.region.output_dir), st);
        ornax_publish_region_run(r.config_file, r.region, r.common, r.grids.run, r.region_switch,
                                 r.year, r.doy, times, r.summary, status);
    }
    ornax_output_set_abort(r.files.set);  // a run stopped before its lines publishes nothing
    r.begun = false;
}

void ornax_run_region_timed(const std::string& region_config_file, int, int region_switch, int year,
                            int doy, Ornaxregionruntimes& times, int& status) {
    Ornaxregionruntype run;
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
        if (end_status != 0) status = 3;
        ornax_region_publish(run, times, {}, status);
    } catch (const std::bad_alloc&) {
        // The output set's temporaries go with the run's records; earlier outputs stay.
        ornax_output_set_abort(run.state->files.set);
        ornax_log_failure("Out of memory in the region run of " + trim_right(region_config_file));
        status = 3;
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
