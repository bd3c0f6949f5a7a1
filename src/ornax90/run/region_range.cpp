// Ranges of days of a region run: the days of a range (across a year end), each day's
// dated output folder, the skip test on a day's run record, the loop over the days with
// its progress and the summary of the days by outcome.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/output/file_set.hpp"
#include "ornax90/output/publish.hpp"
#include "ornax90/ORNAX_region_io_mod.hpp"
#include "ornax90/ORNAX_run_mod.hpp"
#include "utils/fixed_text.hpp"
#include "utils/sha256.hpp"
#include "utils/sunrise_mod.hpp"

namespace {

constexpr int output_dir_line = 64;  // configuration line of the output directory

int days_in_year(int year) {
    return is_leap_year(year) ? 366 : 365;
}

std::string day_label(const Ornaxregiondaytype& day) {
    return ornax_day_folder(day.year, day.doy);
}

// The first cause of a failed day, from the causes logged while it ran.
std::string first_cause() {
    const std::vector<std::string> causes = ornax_failure_causes();
    return causes.empty() ? std::string("see the log") : causes.front();
}

// "Day 3 of 10 (2019202): 2 done, about 40 s left" before each day.
void report_progress(const Ornaxregiondaytype& day, std::size_t index, std::size_t count,
                     double seconds) {
    std::string text = " Day " + std::to_string(index + 1) + " of " + std::to_string(count) + " (" +
                       day_label(day) + ")";
    if (index > 0) {
        const double left =
            seconds / static_cast<double>(index) * static_cast<double>(count - index);
        char tail[64];
        std::snprintf(tail, sizeof tail, ": %zu done in %.0f s, about %.0f s left", index, seconds,
                      left);
        text += tail;
    }
    std::fprintf(stderr, "%s\n", text.c_str() + 1);
    std::fflush(stderr);
    ornax_log_msg(text);
}

// The summary of the days by outcome on the screen and in the log; each failed day's
// first cause is logged again as a cause of the range's failure.
void report_summary(const std::vector<Ornaxdayresulttype>& results) {
    const std::pair<Ornaxdayoutcome, const char*> outcomes[] = {
        {Ornaxdayoutcome::computed, "computed"},
        {Ornaxdayoutcome::skipped, "skipped (published complete)"},
        {Ornaxdayoutcome::failed, "failed"}};
    std::printf(" Days of the range: %zu\n", results.size());
    ornax_log_msg((FreeLine() << "Days of the range:" << static_cast<int>(results.size())).str());
    for (const auto& [outcome, name] : outcomes) {
        std::string days;
        int count = 0;
        for (const Ornaxdayresulttype& r : results)
            if (r.outcome == outcome) {
                days.append(1, ' ').append(day_label(r.day));
                ++count;
            }
        std::string line(1, ' ');
        line.append(name).append(1, ' ').append(std::to_string(count));
        if (count > 0) line.append(1, ':').append(days);
        std::printf("%s\n", line.c_str());
        ornax_log_msg(line);
    }
    std::fflush(stdout);
    ornax_clear_failure_causes();  // the range's causes are its failed days, in order
    for (const Ornaxdayresulttype& r : results)
        if (r.outcome == Ornaxdayoutcome::failed)
            ornax_log_failure("Day " + day_label(r.day) + " failed: " + r.cause);
}

}  // namespace

std::vector<Ornaxregiondaytype> ornax_region_range_days(int year, int doy, int last_doy) {
    std::vector<Ornaxregiondaytype> days;
    if (year < 1 || doy < 1 || doy > days_in_year(year)) return days;
    if (last_doy == 0) last_doy = doy;
    const int last_year = last_doy < doy ? year + 1 : year;
    if (last_doy > days_in_year(last_year)) return days;
    Ornaxregiondaytype day{year, doy};
    while (true) {
        days.push_back(day);
        if (day.year == last_year && day.doy == last_doy) break;
        if (++day.doy > days_in_year(day.year)) {
            ++day.year;
            day.doy = 1;
        }
    }
    return days;
}

std::string ornax_day_folder(int year, int doy) {
    return write_i(year, 4, 4) + write_i(doy, 3, 3);
}

void ornax_region_day_output_dir(const std::string& config_file, const Ornaxregiondaytype& day,
                                 bool dated, std::string& dir, int& status) {
    RegionConfigPaths paths;
    {
        // a configuration that cannot be read is reported by the day's run itself
        Ornaxmessagebuffer quiet;
        OrnaxMessageCapture capture(quiet);
        ornax_read_region_config_paths(config_file, day.year, day.doy, paths, status);
    }
    dir.clear();
    if (status != 0) return;
    dir = trim_right(paths[output_dir_line]);
    if (dated) dir = ornax_output_path(dir, ornax_day_folder(day.year, day.doy));
}

void ornax_region_range_recover(const Ornaxregionrangetype& range) {
    int removed = 0;
    for (const Ornaxregiondaytype& day : range.days) {
        std::string dir;
        int st = 0;
        ornax_region_day_output_dir(range.config_file, day, range.dated, dir, st);
        std::error_code ec;
        if (st != 0 || !std::filesystem::is_directory(dir.empty() ? "." : dir, ec)) continue;
        ornax_publish_recover(dir);
        ornax_output_remove_stale(dir, removed);
    }
    ornax_output_remove_stale("", removed);
}

bool ornax_day_published_complete(const std::string& dir, const Ornaxregiondaytype& day) {
    std::ifstream in(std::filesystem::path(dir.empty() ? "." : dir) / "run_info.json");
    if (!in) return false;
    try {
        const nlohmann::json info = nlohmann::json::parse(in);
        if (info.at("exit_status").get<int>() != 0 || info.at("year").get<int>() != day.year ||
            info.at("day_of_year").get<int>() != day.doy)
            return false;
        // every raster the record lists, present with the size of the recorded grid and,
        // where recorded, its size in bytes and checksum
        const nlohmann::json& grid = info.at("run_grid");
        const std::uintmax_t raster_bytes =
            static_cast<std::uintmax_t>(grid.at("ncols").get<int>()) *
            static_cast<std::uintmax_t>(grid.at("nrows").get<int>()) * 4u;
        const nlohmann::json& outputs = info.at("outputs");
        std::vector<nlohmann::json> files =
            outputs.at("variables").get<std::vector<nlohmann::json>>();
        files.push_back({{"file", outputs.at("quality_raster").get<std::string>()}});
        for (const nlohmann::json& f : files) {
            const std::string path = ornax_output_path(dir, f.at("file").get<std::string>());
            std::error_code ec;
            const std::uintmax_t bytes = std::filesystem::file_size(path, ec);
            const std::uintmax_t want =
                f.contains("bytes") ? f.at("bytes").get<std::uintmax_t>() : raster_bytes;
            if (ec || bytes != want) {
                ornax_log_msg(
                    " Day " + day_label(day) + ": " + path +
                    (ec ? " is missing"
                        : " has " + std::to_string(bytes) + " bytes, not " + std::to_string(want)) +
                    ": not complete");
                return false;
            }
            if (f.contains("sha256") && f.at("sha256").is_string()) {
                std::string digest, error;
                int status = 0;
                sha256_file(path, 0, digest, error, status);
                if (status != 0 || digest != f.at("sha256").get<std::string>()) {
                    ornax_log_msg(" Day " + day_label(day) + ": " + path +
                                  " differs from its recorded checksum: not complete");
                    return false;
                }
            }
        }
        return true;
    } catch (const nlohmann::json::exception&) {
        return false;  // a record that cannot be read describes no complete run
    }
}

void ornax_run_region_days(const Ornaxregionrangetype& range, const Ornaxregiondayrunner& run_day,
                           const Ornaxregiondaycheck& complete, bool report,
                           std::vector<Ornaxdayresulttype>& results, int& status) {
    status = 0;
    results.clear();
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < range.days.size(); ++i) {
        const Ornaxregiondaytype& day = range.days[i];
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (report) report_progress(day, i, range.days.size(), seconds);
        Ornaxdayresulttype result;
        result.day = day;
        if (!range.force && complete && complete(day)) {
            result.outcome = Ornaxdayoutcome::skipped;
            if (report) ornax_log_msg(" Day " + day_label(day) + " is published complete: skipped");
            results.push_back(result);
            continue;
        }
        ornax_clear_failure_causes();  // each day's causes apart; the summary logs them again
        int day_status = 0;
        run_day(day, range.dated ? ornax_day_folder(day.year, day.doy) : std::string(), day_status);
        if (day_status != 0) {
            result.outcome = Ornaxdayoutcome::failed;
            result.cause = first_cause();
            status = ornax_status_failure;
        }
        results.push_back(result);
    }
    if (report) report_summary(results);
}

void ornax_run_region_range(const Ornaxregionrangetype& range, int& status) {
    const auto run_day = [&](const Ornaxregiondaytype& day, const std::string& folder, int& st) {
        Ornaxregionruntimes times;
        ornax_run_region_in_folder(range.config_file, range.region_switch, day.year, day.doy,
                                   folder, times, st);
    };
    const auto complete = [&](const Ornaxregiondaytype& day) {
        std::string dir;
        int st = 0;
        ornax_region_day_output_dir(range.config_file, day, range.dated, dir, st);
        return st == 0 && ornax_day_published_complete(dir, day);
    };
    ornax_region_range_recover(range);
    std::vector<Ornaxdayresulttype> results;
    ornax_run_region_days(range, run_day, complete, true, results, status);
}
