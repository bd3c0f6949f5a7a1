// Days of a composite: the calendar days of the range with their dated output folders,
// the check of each day's run record and grid, and the reading of a day's rasters.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <system_error>

#include "ornax90/ORNAX_run_mod.hpp"
#include "composite/days.hpp"
#include "ornax90/file_io_mod.hpp"
#include "utils/sunrise_mod.hpp"
#include "ornax90/type_kinds.hpp"
#include "ornax90/output/sidecars.hpp"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// The three rasters a composite reads from each day.
constexpr const char* day_rasters[] = {"EDAY", "EREFDAY", "region_qc"};

// YYYYDDD of a valid day, or false.
bool parse_day_label(const std::string& text, int& year, int& doy) {
    if (text.size() != 7 || !std::all_of(text.begin(), text.end(), ::isdigit)) return false;
    year = std::stoi(text.substr(0, 4));
    doy = std::stoi(text.substr(4, 3));
    return year >= 1 && doy >= 1 && doy <= (is_leap_year(year) ? 366 : 365);
}

bool read_grid(const json& info, Ornaxcompositegridtype& grid) {
    const json& g = info.at("run_grid");
    Spatialinfodata& s = grid.grid;
    s.ncols = g.at("ncols").get<int>();
    s.nrows = g.at("nrows").get<int>();
    s.west_lon = g.at("west_lon").get<float>();
    s.east_lon = g.at("east_lon").get<float>();
    s.south_lat = g.at("south_lat").get<float>();
    s.north_lat = g.at("north_lat").get<float>();
    s.dlon = g.at("dlon").get<float>();
    s.dlat = g.at("dlat").get<float>();
    s.spare_value = g.at("missing_value").get<float>();
    return s.ncols > 0 && s.nrows > 0 && s.dlon > 0.0f && s.dlat > 0.0f;
}

// Checks one day's record against its date; `why` says what is wrong.
bool check_record(const Ornaxcompositedaytype& day, Ornaxcompositegridtype& grid,
                  std::string& why) {
    const fs::path record = fs::path(day.folder) / "run_info.json";
    std::ifstream in(record);
    if (!in) {
        why = "no run_info.json in " + day.folder + " (no finished run)";
        return false;
    }
    try {
        const json info = json::parse(in);
        const int exit_status = info.at("exit_status").get<int>();
        if (exit_status != 0) {
            why = record.string() + " records a failed run (exit status " +
                  std::to_string(exit_status) + ")";
            return false;
        }
        if (info.at("year").get<int>() != day.year ||
            info.at("day_of_year").get<int>() != day.doy) {
            why = record.string() + " is the record of day " +
                  ornax_day_folder(info.at("year").get<int>(), info.at("day_of_year").get<int>()) +
                  ", not of its folder's day";
            return false;
        }
        if (!read_grid(info, grid)) {
            why = record.string() + " gives an empty grid";
            return false;
        }
    } catch (const json::exception& e) {
        why = record.string() + " cannot be read: " + e.what();
        return false;
    }
    const std::uintmax_t bytes = 4ull * static_cast<std::uintmax_t>(grid.grid.ncols) *
                                 static_cast<std::uintmax_t>(grid.grid.nrows);
    for (const char* name : day_rasters) {
        const fs::path raster = fs::path(day.folder) / (std::string(name) + ".bin");
        std::error_code error;
        const std::uintmax_t size = fs::file_size(raster, error);
        if (error) {
            why = "no " + raster.filename().string() + " in " + day.folder +
                  " (the run did not write it)";
            return false;
        }
        if (size != bytes) {
            why = raster.string() + " holds " + std::to_string(size) + " bytes, not " +
                  std::to_string(bytes) + " for the grid of " + grid.text();
            return false;
        }
    }
    return true;
}

}  // namespace

bool Ornaxcompositegridtype::same_as(const Ornaxcompositegridtype& other) const {
    const Spatialinfodata& a = grid;
    const Spatialinfodata& b = other.grid;
    const auto near = [](float x, float y) {
        return std::fabs(static_cast<double>(x) - y) <= 1e-6;
    };
    return a.ncols == b.ncols && a.nrows == b.nrows && near(a.west_lon, b.west_lon) &&
           near(a.south_lat, b.south_lat) && near(a.dlon, b.dlon) && near(a.dlat, b.dlat) &&
           a.spare_value == b.spare_value;
}

std::string Ornaxcompositegridtype::text() const {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, "%d x %d from %g E %g N, cells %g x %g deg, missing %g",
                  grid.ncols, grid.nrows, ornax_decimal_of(grid.west_lon),
                  ornax_decimal_of(grid.south_lat), ornax_decimal_of(grid.dlon),
                  ornax_decimal_of(grid.dlat), ornax_decimal_of(grid.spare_value));
    return buffer;
}

void ornax_composite_find_days(const std::string& input_dir, int first, int last,
                               std::vector<Ornaxcompositedaytype>& days, std::string& why,
                               int& status) {
    status = ornax_status_failure;
    days.clear();
    std::vector<std::pair<int, std::string>> found;  // YYYYDDD, folder
    std::error_code error;
    fs::directory_iterator it(input_dir, error);
    if (error) {
        why = "cannot list " + input_dir + ": " + error.message();
        return;
    }
    for (const fs::directory_entry& entry : it) {
        int year = 0, doy = 0;
        std::error_code type_error;
        if (!entry.is_directory(type_error)) continue;
        if (!parse_day_label(entry.path().filename().string(), year, doy)) continue;
        found.emplace_back(year * 1000 + doy, entry.path().string());
    }
    std::sort(found.begin(), found.end());
    if (first == 0 && found.empty()) {
        why = input_dir + " holds no dated day folder (YYYYDDD)";
        return;
    }
    if (first == 0) first = found.front().first;
    if (last == 0) last = found.empty() ? first : found.back().first;
    int first_year = 0, first_doy = 0, last_year = 0, last_doy = 0;
    if (!parse_day_label(std::to_string(first), first_year, first_doy) ||
        !parse_day_label(std::to_string(last), last_year, last_doy) || last < first) {
        why = "the range " + std::to_string(first) + " to " + std::to_string(last) +
              " is not two days YYYYDDD in order";
        return;
    }
    for (int year = first_year, doy = first_doy;;) {
        Ornaxcompositedaytype day;
        day.year = year;
        day.doy = doy;
        const int label = year * 1000 + doy;
        const auto at =
            std::lower_bound(found.begin(), found.end(), std::make_pair(label, std::string()));
        if (at != found.end() && at->first == label)
            day.folder = at->second;
        else
            day.why = "no folder " + ornax_day_folder(year, doy) + " in " + input_dir;
        days.push_back(day);
        if (label == last) break;
        if (++doy > (is_leap_year(year) ? 366 : 365)) {
            ++year;
            doy = 1;
        }
    }
    status = 0;
}

void ornax_composite_check_days(std::vector<Ornaxcompositedaytype>& days,
                                Ornaxcompositegridtype& grid, std::string& why, int& status) {
    status = 0;
    bool have_grid = false;
    for (Ornaxcompositedaytype& day : days) {
        day.usable = false;
        if (day.folder.empty()) continue;
        Ornaxcompositegridtype day_grid;
        if (!check_record(day, day_grid, day.why)) continue;
        if (!have_grid) {
            grid = day_grid;
            have_grid = true;
        } else if (!grid.same_as(day_grid)) {
            why = "day " + ornax_day_folder(day.year, day.doy) + " (" + day.folder +
                  ") is on the grid " + day_grid.text() + ", not " + grid.text() +
                  " of the first day: days of different grids are not composited";
            status = ornax_status_failure;
            return;
        }
        day.usable = true;
        day.why.clear();
    }
    if (!have_grid) {
        why = "no day of the range has the outputs of a finished run";
        status = ornax_status_failure;
    }
}

void ornax_composite_read_day(const Ornaxcompositedaytype& day, const Ornaxcompositegridtype& grid,
                              Ornaxcompositedayrasterstype& rasters, std::string& why,
                              int& status) {
    status = ornax_status_failure;
    const std::size_t count =
        static_cast<std::size_t>(grid.grid.ncols) * static_cast<std::size_t>(grid.grid.nrows);
    std::vector<float>* targets[] = {&rasters.eday, &rasters.erefday, &rasters.quality};
    std::vector<unsigned char> bytes(count * 4);
    for (int k = 0; k < 3; ++k) {
        const fs::path path = fs::path(day.folder) / (std::string(day_rasters[k]) + ".bin");
        std::ifstream in(path, std::ios::binary);
        if (!in || !in.read(reinterpret_cast<char*>(bytes.data()),
                            static_cast<std::streamsize>(bytes.size()))) {
            why = path.string() + " cannot be read as " + std::to_string(count) + " 4-byte values";
            return;
        }
        in.peek();
        if (!in.eof()) {
            why = path.string() + " is longer than the grid of " + grid.text();
            return;
        }
        targets[k]->resize(count);
        raster_decode_le(bytes.data(), count, targets[k]->data());
    }
    status = 0;
}
