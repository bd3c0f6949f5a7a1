// Output metadata: the run record run_info.json and the end of a region run (sidecars,
// quicklook maps, screen summary, run record last).
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <system_error>
#include <thread>

#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/output/guard.hpp"
#include "ornax90/output/run_info.hpp"
#include "ornax90/output/sidecars.hpp"
#include "ornax90/output/summary.hpp"
#include "ornax90/output/vocabulary.hpp"
#include "ornax90/output/quality.hpp"
#include "ornax90/output/quicklook.hpp"
#include "ornax90/ORNAX_region_io_mod.hpp"
#include "ornax90/ORNAX_run_mod.hpp"
#include "ornax90/command_line/version.hpp"
#include "utils/fixed_text.hpp"
#include "utils/sha256.hpp"

namespace {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

constexpr const char* run_info_name = ornax_run_info_file_name;

// A path, its size in bytes (null when the file is missing) and the SHA-256 of its bytes
// (null when empty: a file above ornax_run_info_digest_limit bytes, or unreadable).
json file_entry(const std::string& role, const std::string& path, const std::string& digest) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    json entry = {{"role", role}, {"path", path}};
    entry["size_bytes"] = error ? json(nullptr) : json(static_cast<std::uint64_t>(size));
    entry["sha256"] = digest.empty() ? json(nullptr) : json(digest);
    return entry;
}

// The working directory of the run, against which relative paths of the record hold.
std::string working_directory() {
    std::error_code error;
    const fs::path here = fs::current_path(error);
    return error ? std::string() : here.string();
}

json stats_entry(const Ornaxoutputvarinfotype& var, const Ornaxvarstatstype& stats) {
    json entry = {{"name", var.name},
                  {"file", var.name + ".bin"},
                  {"description", var.description},
                  {"units", var.units},
                  {"computed_pixels", stats.count}};
    if (!var.standard_name.empty()) entry["standard_name"] = var.standard_name;
    const bool any = stats.count > 0;
    entry["minimum"] = any ? json(ornax_decimal_of(stats.minimum)) : json(nullptr);
    entry["mean"] = any ? json(stats.sum / static_cast<double>(stats.count)) : json(nullptr);
    entry["maximum"] = any ? json(ornax_decimal_of(stats.maximum)) : json(nullptr);
    return entry;
}

// Every string of a JSON value made valid UTF-8 (paths may hold any bytes).
void make_utf8_safe(json& value) {
    if (value.is_string()) {
        value = ornax_utf8_safe(value.get<std::string>());
    } else if (value.is_structured()) {
        for (json& element : value) make_utf8_safe(element);
    }
}

void note_failure(const std::string& path, int& run_status) {
    ornax_log_msg("Cannot write the output file " + path);
    run_status = ornax_status_failure;
}

}  // namespace

std::vector<Ornaxrunfiletype> ornax_region_input_files(const Ornaxregiondatatype& r) {
    const std::vector<Ornaxrunfiletype> all = {
        {"landcover_table_file", r.landcover_table_file},
        {"reserved_file", r.reserved_file},
        {"land_domain_file", r.land_domain_file},
        {"landcover_file", r.landcover_file},
        {"aleafn_file", r.aleafn_file},
        {"aleafv_file", r.aleafv_file},
        {"aleafl_file", r.aleafl_file},
        {"adeadn_file", r.adeadn_file},
        {"adeadv_file", r.adeadv_file},
        {"adeadl_file", r.adeadl_file},
        {"rsoiln_file", r.rsoiln_file},
        {"rsoilv_file", r.rsoilv_file},
        {"rs_correction_file", r.rs_correction_file},
        {"xl_file", r.xl_file},
        {"theta_file", r.theta_file},
        {"vegetation_domain_file", r.vegetation_domain_file},
        {"xlai_file", r.xlai_file},
        {"snow_domain_file", r.snow_domain_file},
        {"snow_mask_file", r.snow_mask_file},
        {"met_config_file", r.met_config_file},
        {"tloc1_file", r.tloc1_file},
        {"tloc2_file", r.tloc2_file},
        {"satellite_domain_file", r.satellite_domain_file},
        {"trad1_file", r.trad1_file},
        {"trad2_file", r.trad2_file},
        {"sdn1_file", r.sdn1_file},
        {"sdn2_file", r.sdn2_file},
        {"run_domain_file", r.run_domain_file},
        {"out_list_file", r.out_list_file},
    };
    std::vector<Ornaxrunfiletype> inputs;
    for (const Ornaxrunfiletype& file : all)
        if (!trim_right(file.path).empty()) inputs.push_back({file.role, trim_right(file.path)});
    return inputs;
}

void ornax_forcing_input_files(const Ornaxcommonblock& common, int year, int doy,
                               std::vector<Ornaxrunfiletype>& inputs) {
    const std::vector<Ornaxrunfiletype> named = {
        {"gfs_config_file", common.gfs_config_file},
        {"gfs_land_file", common.gfs_land_file},
        {common.land_index_option == 1 ? "umd_landcover_file" : "land_subset_file",
         common.land_index_option == 1 ? common.umd_landcover_file : common.land_subset_file}};
    for (const Ornaxrunfiletype& file : named)
        if (!trim_right(file.path).empty()) inputs.push_back({file.role, trim_right(file.path)});
    if (trim_right(common.met_data_dir).empty()) return;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const bool last_day = doy >= (leap ? 366 : 365);
    const std::string days[2] = {
        ornax_met_day_dir(common.met_data_dir, year, doy),
        ornax_met_day_dir(common.met_data_dir, last_day ? year + 1 : year, last_day ? 1 : doy + 1)};
    for (int d = 0; d < 2; ++d) {
        std::error_code error;
        std::vector<std::string> files;
        for (const auto& entry : fs::directory_iterator(days[d], error))
            if (entry.is_regular_file()) files.push_back(entry.path().string());
        std::sort(files.begin(), files.end());
        for (const std::string& file : files)
            inputs.push_back({d == 0 ? "forcing_day_file" : "forcing_next_day_file", file});
    }
}

namespace {

// Lines, pixels, flag counts, EDAY mean and range, time and where the outputs are.
void print_screen_summary(const Ornaxrunrecordtype& record, const Ornaxsummarytotalstype& totals) {
    const long long pixels = static_cast<long long>(totals.lines) * record.run_grid.ncols;
    std::printf(" Region run finished: %d lines (%d failed), %lld pixels, %lld computed\n",
                totals.lines, totals.failed_lines, pixels, totals.flags[0]);
    std::printf(" Quality flags:");
    for (const Ornaxqualityflaginfotype& flag : ornax_quality_flags())
        if (totals.flags[static_cast<size_t>(flag.value)] > 0)
            std::printf(" %d (%s) %lld;", flag.value, flag.label.c_str(),
                        totals.flags[static_cast<size_t>(flag.value)]);
    std::printf("\n");
    for (size_t i = 0; i < record.variables.size(); ++i) {
        if (record.variables[i].name != "EDAY") continue;
        const Ornaxvarstatstype& s = totals.vars[i];
        if (s.count == 0)
            std::printf(" EDAY: no computed pixel\n");
        else
            std::printf(" EDAY mean %.3f, range %.3f to %.3f MJ m-2 day-1\n",
                        s.sum / static_cast<double>(s.count), s.minimum, s.maximum);
    }
    std::printf(" Time %.2f s: set-up %.2f, inputs %.2f, core %.2f, outputs %.2f\n", record.total_s,
                record.setup_s, record.inputs_s, record.core_s, record.outputs_s);
    std::error_code error;
    const fs::path where = fs::absolute(record.output_dir, error);
    std::printf(" Outputs in %s: rasters NAME.bin with NAME.vrt and NAME.ctl, EDAY.png, "
                "region_qc.png, run_info.json\n",
                (error ? record.output_dir : where.string()).c_str());
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) ornax_note_screen_failure(errno);
}

}  // namespace

std::string ornax_utc_now() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::vector<std::string> ornax_process_command_line() {
    std::vector<std::string> words;
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string word;
    while (std::getline(in, word, '\0')) words.push_back(word);
    return words;
}

void ornax_run_file_digests(const std::string& config_file,
                            const std::vector<Ornaxrunfiletype>& inputs, int share, int shares,
                            std::vector<std::string>& digests) {
    const std::size_t count = inputs.size() + 1;
    std::vector<std::string> mine;  // this share's paths, in file order
    for (std::size_t i = 0; i < count; ++i)
        if (shares <= 1 || static_cast<int>(i % static_cast<std::size_t>(shares)) == share)
            mine.push_back(i == 0 ? config_file : inputs[i - 1].path);
    std::vector<std::string> found;
    sha256_files(mine, ornax_run_info_digest_limit, found);
    digests.assign(count, std::string());
    std::size_t next = 0;
    for (std::size_t i = 0; i < count; ++i)
        if (shares <= 1 || static_cast<int>(i % static_cast<std::size_t>(shares)) == share)
            digests[i] = std::move(found[next++]);
}

std::string ornax_run_info_text(const Ornaxrunrecordtype& record,
                                const Ornaxsummarytotalstype& totals) {
    const Spatialinfodata& g = record.run_grid;
    std::vector<std::string> digests = record.digests;
    if (digests.size() != record.inputs.size() + 1)
        ornax_run_file_digests(record.config_file, record.inputs, 0, 1, digests);
    json info;
    info["program"] = {{"name", "ornax.x"},
                       {"version", ornax_version()},
                       {"source_commit", ornax_source_commit()}};
    info["command_line"] = record.command_line;
    info["mode"] = "region";
    info["region_model_switch"] = record.region_switch;
    info["soil_resistance_correction"] = record.region_switch == 1;
    info["year"] = record.year;
    info["day_of_year"] = record.doy;
    info["date"] = ornax_calendar_date(record.year, record.doy);
    info["working_directory"] = working_directory();
    const char* home = std::getenv("HOME_DIR");
    info["home_dir"] = home != nullptr ? json(std::string(home)) : json(nullptr);
    info["configuration"] = file_entry("region_config_file", record.config_file, digests[0]);
    json inputs = json::array();
    for (std::size_t i = 0; i < record.inputs.size(); ++i)
        inputs.push_back(file_entry(record.inputs[i].role, record.inputs[i].path, digests[i + 1]));
    info["inputs"] = inputs;
    const auto d = ornax_decimal_of;
    info["run_grid"] = {{"west_lon", d(g.west_lon)},
                        {"east_lon", d(g.east_lon)},
                        {"south_lat", d(g.south_lat)},
                        {"north_lat", d(g.north_lat)},
                        {"dlon", d(g.dlon)},
                        {"dlat", d(g.dlat)},
                        {"ncols", g.ncols},
                        {"nrows", g.nrows},
                        {"missing_value", d(g.spare_value)},
                        {"crs", ornax_crs_epsg},
                        {"crs_wkt", ornax_crs_wkt},
                        {"first_line", "south"}};
    info["threads"] = record.threads;
    info["lines"] = {{"total", totals.lines}, {"failed", totals.failed_lines}};
    json flags = json::array();
    for (const Ornaxqualityflaginfotype& flag : ornax_quality_flags())
        flags.push_back({{"flag", flag.value},
                         {"meaning", flag.meaning},
                         {"pixels", totals.flags[static_cast<size_t>(flag.value)]}});
    long long listed = 0;
    for (const Ornaxqualityflaginfotype& flag : ornax_quality_flags())
        listed += totals.flags[static_cast<size_t>(flag.value)];
    long long all = totals.other_flags;
    for (long long count : totals.flags) all += count;
    if (all != listed)
        flags.push_back({{"flag", nullptr}, {"meaning", "other"}, {"pixels", all - listed}});
    info["quality_flags"] = flags;
    info["pixels"] = {{"total", all}, {"computed", totals.flags[0]}};
    json variables = json::array();
    for (size_t i = 0; i < record.variables.size(); ++i)
        variables.push_back(stats_entry(
            record.variables[i], i < totals.vars.size() ? totals.vars[i] : Ornaxvarstatstype{}));
    info["outputs"] = {{"directory", record.output_dir},
                       {"quality_raster", "region_qc.bin"},
                       {"variables", variables}};
    info["time_seconds"] = {{"setup", record.setup_s},     {"inputs", record.inputs_s},
                            {"core", record.core_s},       {"outputs", record.outputs_s},
                            {"publish", record.publish_s}, {"total", record.total_s}};
    info["exit_status"] = record.exit_status;
    info["finished_utc"] = ornax_utc_now();
    make_utf8_safe(info);
    return info.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

void ornax_write_run_info(const Ornaxrunrecordtype& record, const Ornaxsummarytotalstype& totals,
                          int& status) {
    ornax_publish_text_file((fs::path(record.output_dir) / run_info_name).string(),
                            ornax_run_info_text(record, totals), status);
}

bool ornax_complete_run_recorded(const std::string& output_dir, int year, int doy) {
    std::ifstream in(fs::path(trim_right(output_dir)) / run_info_name);
    if (!in) return false;
    const json info = json::parse(in, nullptr, false);
    return info.is_object() && info.value("exit_status", 3) == 0 && info.value("year", 0) == year &&
           info.value("day_of_year", 0) == doy;
}

void ornax_retire_run_info(const std::string& output_dir, int& status) {
    std::error_code error;
    fs::remove(fs::path(trim_right(output_dir)) / run_info_name, error);
    status = error ? 3 : 0;
}

void ornax_publish_region_run(const std::string& config_file, const Ornaxregiondatatype& region,
                              const Ornaxcommonblock& common, const Spatialinfodata& run_grid,
                              int region_switch, int year, int doy,
                              const Ornaxregionruntimes& times,
                              const Ornaxoutputsummarytype& summary,
                              const std::vector<std::string>& digests, int& run_status) {
    const auto start = std::chrono::steady_clock::now();
    Ornaxrunrecordtype record;
    record.command_line = ornax_process_command_line();
    record.config_file = trim_right(config_file);
    record.region_switch = region_switch;
    record.year = year;
    record.doy = doy;
    record.inputs = ornax_region_input_files(region);
    ornax_forcing_input_files(common, year, doy, record.inputs);
    record.digests = digests;
    record.run_grid = run_grid;
    record.output_dir = trim_right(region.output_dir);
    for (const std::string& name : summary.names) {
        Ornaxoutputvarinfotype var;
        if (!ornax_output_var_info(name, var)) var.name = name;
        record.variables.push_back(var);
    }
    Ornaxoutputvarinfotype quality;
    ornax_output_var_info("region_qc", quality);
    std::vector<Ornaxoutputvarinfotype> rasters = record.variables;
    rasters.push_back(quality);
    const fs::path dir(record.output_dir);
    // The descriptors and the two maps are files of their own: with threads they are
    // written side by side, the map of EDAY on one thread and the rest on another. Their
    // failures are noted afterwards, in this order.
    std::vector<std::string> failed_files(rasters.size() * 2 + 2);
    const std::string date = ornax_calendar_date(year, doy);
    const auto write_descriptors = [&] {
        for (std::size_t i = 0; i < rasters.size(); ++i) {
            const Ornaxoutputvarinfotype& var = rasters[i];
            int st = 0;
            ornax_write_raster_vrt(record.output_dir, run_grid, var, run_grid.spare_value, year,
                                   doy, st);
            if (st != 0) failed_files[2 * i] = (dir / (var.name + ".vrt")).string();
            ornax_write_grads_ctl(record.output_dir, run_grid, var, run_grid.spare_value, year, doy,
                                  st);
            if (st != 0) failed_files[2 * i + 1] = (dir / (var.name + ".ctl")).string();
        }
    };
    const auto write_value_map = [&] {
        if (summary.map_index < 0) return;
        const Ornaxoutputvarinfotype& eday =
            record.variables[static_cast<size_t>(summary.map_index)];
        int st = 0;
        ornax_write_value_quicklook(
            (dir / (eday.name + ".png")).string(), summary.map_values, run_grid, summary.missing,
            eday.name + " " + eday.description + ", " + date, eday.units, st);
        if (st != 0) failed_files[failed_files.size() - 2] = (dir / (eday.name + ".png")).string();
    };
    const auto write_quality_map = [&] {
        int st = 0;
        ornax_write_quality_quicklook((dir / "region_qc.png").string(), summary.map_quality,
                                      run_grid, "Quality flags, " + date, st);
        if (st != 0) failed_files.back() = (dir / "region_qc.png").string();
    };
    {
        // the map of EDAY on a thread of its own, joined at the end of this block; when no
        // thread can be started it is drawn here first
        std::optional<std::jthread> value_map;
        if (times.threads > 1) {
            try {
                value_map.emplace(write_value_map);
            } catch (const std::system_error&) {
            }
        }
        if (!value_map) write_value_map();
        write_descriptors();
        write_quality_map();
    }
    for (const std::string& failed : failed_files)
        if (!failed.empty()) note_failure(failed, run_status);

    Ornaxsummarytotalstype totals;
    ornax_output_summary_totals(summary, totals);
    record.setup_s = times.setup_s;
    record.inputs_s = times.read_s;
    record.core_s = times.core_s;
    record.outputs_s = times.write_s;
    record.threads = times.threads;
    record.publish_s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    record.total_s = times.total_s + record.publish_s;
    record.exit_status = run_status == 0 ? 0 : 3;
    print_screen_summary(record, totals);
    int st = 0;
    ornax_write_run_info(record, totals, st);
    if (st != 0) note_failure((dir / run_info_name).string(), run_status);
}
