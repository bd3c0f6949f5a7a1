// The composite run: the days of the range checked, streamed through the gap filler into
// the windows, each finished window written as a step of the NetCDF file and as a folder of
// rasters with their VRTs and a map; every message on stderr and in the run's log. All of
// it is written into a staging folder in the output folder and published as one set (the
// windows, the days, the NetCDF file and the log switch together); a run that fails
// publishes nothing and leaves the earlier outputs as they were.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <system_error>

#include "ornax90/ORNAX_run_mod.hpp"
#include "composite/run.hpp"
#include "composite/vocabulary.hpp"
#include "composite/days.hpp"
#include "composite/gapfill.hpp"
#include "composite/window.hpp"
#include "composite/writers.hpp"
#include "composite/options.hpp"
#include "composite/netcdf_file.hpp"
#include "ornax90/type_kinds.hpp"
#include "ornax90/output/publish.hpp"
#include "ornax90/output/run_info.hpp"
#include "ornax90/output/sidecars.hpp"

namespace {

namespace fs = std::filesystem;

constexpr const char* netcdf_name = "ornax_composite.nc";
constexpr const char* log_name = "ornax_composite.log";

void note(Ornaxcompositereporttype& report, const std::string& message) {
    std::fprintf(stderr, "ornax_composite: %s\n", message.c_str());
    report.messages.push_back(message);
}

// The log into the staging folder; status 3 (said on stderr) when it cannot be written.
void write_log(const std::string& stage, const Ornaxcompositereporttype& report, int& status) {
    std::string text;
    for (const std::string& message : report.messages) text += message + "\n";
    ornax_publish_text_file((fs::path(stage) / log_name).string(), text, status);
    if (status != 0)
        std::fprintf(stderr, "ornax_composite: cannot write %s\n",
                     (fs::path(stage) / log_name).c_str());
}

// What the staging folder holds, each with its place in the output folder. The gap-filled
// days go one by one into an existing "daily" folder (the days of other ranges stay), or
// as one folder when there is none yet.
std::vector<PublishEntry> staged_outputs(const fs::path& stage, const fs::path& out_dir) {
    std::vector<PublishEntry> entries;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(stage, error)) {
        const std::string name = entry.path().filename().string();
        if (name == "daily" && fs::is_directory(out_dir / name, error)) {
            for (const auto& day : fs::directory_iterator(entry.path(), error))
                entries.push_back(
                    {day.path().string(), (out_dir / name / day.path().filename()).string()});
            continue;
        }
        entries.push_back({entry.path().string(), (out_dir / name).string()});
    }
    // the outputs of the output folder itself first: the switch's journal lies beside the
    // first, where the next run looks for it
    std::stable_partition(entries.begin(), entries.end(), [&](const PublishEntry& e) {
        return fs::path(e.destination).parent_path() == out_dir;
    });
    return entries;
}

// Publishes the staging folder's outputs as one switch, then removes the staging folder
// (with everything in it when the run failed). status 0 or 3, the cause noted.
void publish_staged(const fs::path& stage, const fs::path& out_dir,
                    Ornaxcompositereporttype& report, int& status) {
    if (status == 0) write_log(stage.string(), report, status);
    if (status == 0) {
        std::string why;
        ornax_publish(staged_outputs(stage, out_dir), true, why, status);
        if (status != 0) note(report, why);
    }
    std::error_code error;
    fs::remove_all(stage, error);
}

std::string joined(const std::vector<std::string>& words, const char* separator) {
    std::string text;
    for (const std::string& word : words) text += (text.empty() ? "" : separator) + word;
    return text;
}

std::string window_text(int window_days) {
    return window_days == 0 ? std::string("calendar months")
                            : std::to_string(window_days) + "-day windows";
}

// Everything a run holds while the days stream through it.
struct Streamstate {
    const Ornaxcompositeoptionstype& options;
    const std::vector<Ornaxcompositedaytype>& days;
    const std::vector<Ornaxcompositewindowtype>& windows;
    const Ornaxcompositegridtype& grid;
    const std::string& stage;  // the staging folder the outputs are written into
    Ornaxcompositenctype& file;
    Ornaxcompositereporttype& report;
    std::size_t next_window = 0;
    Ornaxcompositeaccumtype accum;
    std::vector<std::vector<float>> rasters;
};

// A finished day: its own folder (--daily), then its window's sums; a window whose last
// day it is gets written.
void take_day(Streamstate& s, const Ornaxfilleddaytype& day, int& status) {
    status = 0;
    std::string why;
    const Ornaxcompositedaytype& d = s.days[static_cast<std::size_t>(day.index)];
    if (s.options.daily) {
        ornax_composite_write_filled_day(s.stage, d, s.grid, day, why, status);
        if (status != 0) return note(s.report, why);
    }
    if (s.next_window >= s.windows.size()) return;
    const Ornaxcompositewindowtype& w = s.windows[s.next_window];
    if (day.index < w.first) return;
    const float missing = s.grid.grid.spare_value;
    if (day.index == w.first) ornax_composite_accum_reset(s.accum, day.et.size());
    ornax_composite_accum_add(s.accum, day, missing);
    if (day.index != w.last) return;
    ornax_composite_accum_result(s.accum, w.days(), missing, s.rasters);
    ornax_composite_write_window(s.stage, w, s.grid, s.rasters, why, status);
    if (status == 0) ornax_composite_nc_append(s.file, w, s.rasters, why, status);
    if (status != 0) return note(s.report, why);
    s.report.windows.push_back(w.label());
    ++s.next_window;
}

std::map<std::string, std::string> global_attributes(const Ornaxcompositeoptionstype& options,
                                                     const std::vector<Ornaxcompositedaytype>& days,
                                                     const Ornaxcompositereporttype& report) {
    const std::string first = ornax_day_folder(days.front().year, days.front().doy);
    const std::string last = ornax_day_folder(days.back().year, days.back().doy);
    return {
        {"history", ornax_utc_now() + ": " + joined(options.command_line, " ")},
        {"comment",
         "daily ET gap-filled as the ratio EDAY / EREFDAY of the computed days interpolated "
         "linearly across at most " +
             std::to_string(options.max_gap) +
             " missing days, times the day's reference ET (interpolated too where the day has "
             "none); " +
             window_text(options.window_days) + " from " + first + " to " + last +
             "; ET_SUM only where every day of the window has ET"},
        {"max_gap_days", std::to_string(options.max_gap)},
        {"window", window_text(options.window_days)},
        {"days", first + " to " + last},
        {"skipped_days",
         report.skipped_days.empty() ? std::string("none") : joined(report.skipped_days, " ")},
        {"input_directory", options.input_dir},
    };
}

// Streams the days; status 3 with the cause noted.
void stream_days(Streamstate& s, int& status) {
    Ornaxgapfillertype filler;
    const std::size_t pixels =
        static_cast<std::size_t>(s.grid.grid.ncols) * static_cast<std::size_t>(s.grid.grid.nrows);
    ornax_gapfill_init(filler, pixels, s.options.max_gap, s.grid.grid.spare_value, status);
    if (status != 0) return note(s.report, "the gap limit is out of range");
    const Ornaxfilleddaysink sink = [&s](const Ornaxfilleddaytype& day, int& st) {
        take_day(s, day, st);
    };
    Ornaxcompositedayrasterstype rasters;
    for (const Ornaxcompositedaytype& day : s.days) {
        bool have = day.usable;
        if (have) {
            std::string why;
            int st = 0;
            ornax_composite_read_day(day, s.grid, rasters, why, st);
            if (st != 0) {
                note(s.report, "day " + ornax_day_folder(day.year, day.doy) + " skipped: " + why);
                s.report.skipped_days.push_back(ornax_day_folder(day.year, day.doy));
                have = false;
            }
        }
        ornax_gapfill_push(filler, have ? &rasters : nullptr, sink, status);
        if (status != 0) return;
    }
    ornax_gapfill_finish(filler, sink, status);
}

}  // namespace

void ornax_composite_run(const Ornaxcompositeoptionstype& options, Ornaxcompositereporttype& report,
                         int& status) {
    report = Ornaxcompositereporttype{};
    std::error_code error;
    // a publication that a killed run left unfinished is finished before anything else
    if (fs::is_directory(options.output_dir, error)) ornax_publish_recover(options.output_dir);
    std::vector<Ornaxcompositedaytype> days;
    std::string why;
    ornax_composite_find_days(options.input_dir, options.first, options.last, days, why, status);
    if (status != 0) return note(report, why);
    Ornaxcompositegridtype grid;
    ornax_composite_check_days(days, grid, why, status);
    if (status != 0) return note(report, "refused: " + why);
    for (const Ornaxcompositedaytype& day : days) {
        if (day.usable) continue;
        note(report, "day " + ornax_day_folder(day.year, day.doy) + " skipped: " + day.why);
        report.skipped_days.push_back(ornax_day_folder(day.year, day.doy));
    }
    std::vector<std::string> left_out;
    const std::vector<Ornaxcompositewindowtype> windows =
        ornax_composite_windows(days, options.window_days, left_out);
    for (const std::string& window : left_out)
        note(report, "window " + window + " is not whole in the range: left out");
    if (windows.empty() && !options.daily) {
        status = ornax_status_failure;
        return note(report, "no whole window (" + window_text(options.window_days) +
                                ") in the range of " + std::to_string(days.size()) + " days");
    }
    const fs::path out_dir = fs::absolute(options.output_dir, error).lexically_normal();
    const bool made = !fs::exists(out_dir, error);
    fs::create_directories(out_dir, error);
    if (error) {
        status = ornax_status_failure;
        return note(report,
                    "cannot make the folder " + options.output_dir + ": " + error.message());
    }
    const std::string stage = ornax_publish_staging_name((out_dir / "ornax_composite").string());
    fs::create_directory(stage, error);
    if (error) {
        status = ornax_status_failure;
        return note(report, "cannot make the folder " + stage + ": " + error.message());
    }
    Ornaxcompositenctype file;
    report.netcdf_file = (fs::path(options.output_dir) / netcdf_name).string();
    ornax_composite_nc_open(file, (fs::path(stage) / netcdf_name).string(), grid,
                            ornax_composite_variables(), why, status);
    if (status != 0) {
        note(report, why);
        ornax_composite_nc_abort(file);  // a file that could not be defined is closed too
    } else {
        Streamstate state{options, days, windows, grid, stage, file, report, 0, {}, {}};
        stream_days(state, status);
        if (status == 0) {
            ornax_composite_nc_close(file,
                                     "ornax composites of gap-filled daily evapotranspiration",
                                     global_attributes(options, days, report), why, status);
            if (status != 0) note(report, why);
        } else {
            ornax_composite_nc_abort(file);
        }
    }
    if (status == 0)
        note(report, std::to_string(report.windows.size()) + " composites (" +
                         window_text(options.window_days) + ") of " + std::to_string(days.size()) +
                         " days, " + std::to_string(report.skipped_days.size()) +
                         " skipped, written to " + report.netcdf_file);
    publish_staged(stage, out_dir, report, status);
    if (status != 0) {
        if (made) fs::remove(out_dir, error);  // only when nothing else is in it
        note(report, "nothing published; the earlier outputs in " + options.output_dir +
                         " stay as they were");
    }
}
