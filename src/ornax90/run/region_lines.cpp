// The line loop of a region run: every line prepared, read, simulated and written on the
// threads, and the lines taken in line order for the log, the summary and the progress.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <iostream>
#include <map>
#include <mutex>

#include "ornax90/ORNAX_core_mod.hpp"
#include "ornax90/output/quality.hpp"
#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/run/region_state.hpp"
#include "ornax90/file_io_mod.hpp"
#include "utils/fixed_text.hpp"

namespace {

// A failed line: the missing value in that line of every output raster and its own value
// in the quality raster, so no output keeps an unwritten line that would read back as
// zeros and no failed read is taken for water or snow.
void write_failed_line(const Spatialinfodata& run, RegionOutputFiles& files, int line) {
    const std::vector<float> missing(static_cast<size_t>(run.ncols), run.spare_value);
    const std::vector<float> not_computed(static_cast<size_t>(run.ncols),
                                          static_cast<float>(ornax_qc_failed_line));
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

// The records a thread works on: its own line arrays and model-grid line, and its share
// of the timing.
struct LineWorker {
    Ornaxregiondatatype region;
    Ornaxmeteoornax met_grid;
    Ornaxregionruntimes times;
    Ornaxlaneworkspace lanes;
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
    const float lat = region_line_lat(g.run, line);
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
    // also after a failed preparation; the thread's next line reuses the memory
    ornax_finalize_region_data(w.region, st, true);
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
        if (kept_ == nullptr) ornax_release_messages(done.messages);
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
        if (kept_ != nullptr)
            (*kept_)[index] = {std::move(done.messages),
                               done.failed || done.forcing_missing ? 3 : 0, done.failed,
                               done.stage != nullptr ? done.stage : "",
                               r_.summary.lines[static_cast<std::size_t>(line - 1)]};
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

}  // namespace

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
        LineWorker worker{r.region, r.met_grid, {}, {}};
        worker.region.lane_workspace = &worker.lanes;
        for (std::size_t i = next_index++; i < lines.size() && !r.files.set.failed;
             i = next_index++) {
            FinishedLine done;
            {
                OrnaxMessageCapture capture(done.messages);
                if (lines[i] >= 1 && lines[i] <= r.grids.run.nrows)
                    process_region_line(r, worker, lines[i], r.region_switch, r.year, r.doy, done);
                else
                    done.failed = true;
            }
            order.finish(i, std::move(done));
        }
        order.check_out(worker.times, worker.region.pixel_dump_status);
    }
    int status = order.status();
    if (r.files.set.failed) return ornax_status_failure;
    if (r.region.pixel_dump_status != 0)
        ornax_log_failure("Cannot write the pixel dump " +
                          r.files.set.files[static_cast<std::size_t>(r.files.dump_member)].path);
    if (t.failed_lines > 0 && kept == nullptr)
        ornax_log_failed_lines(t.failed_lines, t.lines, t.computed);
    return r.region.pixel_dump_status != 0 ? 3 : status;
}

void ornax_region_run_lines(Ornaxregionruntype& run, std::span<const int> lines,
                            std::vector<Ornaxlinereporttype>* line_reports, int& status) {
    RegionRun& r = *run.state;
    status = ornax_status_failure;
    if (!r.begun) return;
    if (line_reports != nullptr) line_reports->assign(lines.size(), Ornaxlinereporttype{});
    status = run_region_lines(r, r.progress.times.threads, lines, line_reports);
}

void ornax_region_core_pixels(Ornaxregionruntype& run, std::span<const int> lines,
                              std::vector<Ornaxregionpixeltype>& pixels, int& status) {
    RegionRun& r = *run.state;
    pixels.clear();
    status = ornax_status_failure;
    if (!r.begun) return;
    status = 0;
    const RegionGrids& g = r.grids;
    LineWorker w{r.region, r.met_grid, {}, {}};
    w.region.lane_workspace = &w.lanes;
    for (const int line : lines) {
        if (line < 1 || line > g.run.nrows) {
            status = ornax_status_failure;
            continue;
        }
        int st = 0;
        ornax_init_region_data(w.region, g.run, g.land, g.veg, g.snow, g.land_copy, g.sat, st);
        if (st == 0)
            ornax_read_region_data(w.region, r.common, w.met_grid, g.run, g.land, g.veg, g.snow,
                                   g.land_copy, g.sat, r.table, r.nclasses, r.region_switch, r.year,
                                   r.doy, region_line_lat(g.run, line), st);
        // the pixel simulation with a core that keeps the records it is given
        const Ornaxpixelcore keep = [&](const Ornaxlandtype& land, const Ornaxinputvartype& input,
                                        Ornaxoutputvartype&, int, int, int& core_status) {
            // column k's centre lies at west_lon + (k - 0.5) dlon
            const long column = std::lround((input.lon - g.run.west_lon) / g.run.dlon + 0.5f);
            pixels.push_back({line, static_cast<int>(column), land, input});
            core_status = ornax_status_failure;  // nothing to store
        };
        if (st == 0)
            ornax_simulate_region_with_core(
                w.region, g.run, g.land, g.veg, g.snow, g.land_copy, g.sat, r.table, r.nclasses,
                r.year, r.doy, r.region_switch, region_line_lat(g.run, line), keep, st);
        if (st != 0) status = ornax_status_failure;
        int released = 0;
        ornax_finalize_region_data(w.region, released, true);
    }
}

void ornax_region_day_core_pixels(const std::string& region_config_file, int region_switch,
                                  int year, int doy, std::vector<Ornaxregionpixeltype>& pixels,
                                  int& status) {
    Ornaxregionruntype run;
    pixels.clear();
    ornax_region_begin(run, region_config_file, region_switch, year, doy, Ornaxregionrole::alone,
                       nullptr, status);
    if (status == 0) {
        std::vector<int> lines(static_cast<std::size_t>(ornax_region_line_count(run)));
        for (std::size_t i = 0; i < lines.size(); ++i) lines[i] = static_cast<int>(i) + 1;
        ornax_region_core_pixels(run, lines, pixels, status);
    }
    Ornaxregionruntimes times;
    int end_status = 0;
    ornax_region_end(run, times, end_status);
    times.lines = 0;  // no line ran: the output set's temporaries go, nothing is published
    int publish_status = 0;
    ornax_region_publish(run, times, {}, publish_status);
}
