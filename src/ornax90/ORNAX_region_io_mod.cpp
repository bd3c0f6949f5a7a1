// Region configuration, land mask, line-by-line meteorology and the reading of one line
// of region inputs.
#include "ORNAX_region_io_mod.hpp"

#include "ORNAX_log_mod.hpp"
#include "fixed_text_mod.hpp"

// ===================================================================================
// Region configuration file (raster work)
// ===================================================================================

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <utility>

namespace {

// How a configuration value becomes a stored path.
enum class ConfigRule {
    plain,           // the value itself
    home,            // HOME_DIR + value
    directory_line,  // HOME_DIR + value becomes the current directory; nothing stored
    in_directory,    // current directory + "/" + value
    dated,           // current directory + "/YYYYDDD/" + value
    fixed_year,      // current directory + "/" + value + "2011" + DDD + ".dat"
    separator        // skipped
};

// What is done when the stored path names no file.
enum class ConfigCheck { none, required, warned };

struct ConfigLine {
    ConfigRule rule;
    ConfigCheck check;
};

// Lines 6 to 65 of the configuration file, in order.
constexpr ConfigLine config_lines[region_config_last_line - region_config_first_line + 1] = {
    {ConfigRule::plain, ConfigCheck::required},            // 6 land-cover class table
    {ConfigRule::home, ConfigCheck::required},             // 7 reserved file
    {ConfigRule::plain, ConfigCheck::required},            // 8 land domain
    {ConfigRule::directory_line, ConfigCheck::none},       // 9 static land directory
    {ConfigRule::in_directory, ConfigCheck::warned},       // 10 land cover
    {ConfigRule::in_directory, ConfigCheck::warned},       // 11 aleafn
    {ConfigRule::in_directory, ConfigCheck::warned},       // 12 aleafv
    {ConfigRule::in_directory, ConfigCheck::warned},       // 13 aleafl
    {ConfigRule::in_directory, ConfigCheck::warned},       // 14 adeadn
    {ConfigRule::in_directory, ConfigCheck::warned},       // 15 adeadv
    {ConfigRule::in_directory, ConfigCheck::warned},       // 16 adeadl
    {ConfigRule::in_directory, ConfigCheck::required},     // 17 rsoiln
    {ConfigRule::in_directory, ConfigCheck::required},     // 18 rsoilv
    {ConfigRule::in_directory, ConfigCheck::none},         // 19 soil resistance correction
    {ConfigRule::in_directory, ConfigCheck::warned},       // 20 leaf size
    {ConfigRule::in_directory, ConfigCheck::warned},       // 21 view zenith angle
    {ConfigRule::separator, ConfigCheck::none},            // 22
    {ConfigRule::plain, ConfigCheck::required},            // 23 vegetation domain
    {ConfigRule::directory_line, ConfigCheck::none},       // 24 vegetation directory
    {ConfigRule::dated, ConfigCheck::required},            // 25 leaf area index
    {ConfigRule::separator, ConfigCheck::none},            // 26
    {ConfigRule::plain, ConfigCheck::required},            // 27 snow domain
    {ConfigRule::directory_line, ConfigCheck::none},       // 28 snow directory
    {ConfigRule::dated, ConfigCheck::required},            // 29 snow mask
    {ConfigRule::separator, ConfigCheck::none},            // 30
    {ConfigRule::plain, ConfigCheck::required},            // 31 meteorological configuration
    {ConfigRule::directory_line, ConfigCheck::none},       // 32 observation directory
    {ConfigRule::dated, ConfigCheck::required},            // 33 tloc1
    {ConfigRule::dated, ConfigCheck::none},                // 34 spare 1
    {ConfigRule::dated, ConfigCheck::none},                // 35 spare 2
    {ConfigRule::dated, ConfigCheck::none},                // 36 spare 3
    {ConfigRule::dated, ConfigCheck::none},                // 37 spare 4
    {ConfigRule::dated, ConfigCheck::none},                // 38 spare 5
    {ConfigRule::dated, ConfigCheck::none},                // 39 tloc2
    {ConfigRule::dated, ConfigCheck::none},                // 40 spare 6
    {ConfigRule::dated, ConfigCheck::none},                // 41 spare 7
    {ConfigRule::dated, ConfigCheck::none},                // 42 spare 8
    {ConfigRule::dated, ConfigCheck::none},                // 43 spare 9
    {ConfigRule::dated, ConfigCheck::none},                // 44 spare 10
    {ConfigRule::dated, ConfigCheck::none},                // 45 spare 11
    {ConfigRule::dated, ConfigCheck::none},                // 46 spare 12
    {ConfigRule::dated, ConfigCheck::none},                // 47 spare 13
    {ConfigRule::dated, ConfigCheck::none},                // 48 spare 14
    {ConfigRule::dated, ConfigCheck::none},                // 49 spare 15
    {ConfigRule::dated, ConfigCheck::none},                // 50 spare 16
    {ConfigRule::dated, ConfigCheck::none},                // 51 spare 17
    {ConfigRule::separator, ConfigCheck::none},            // 52
    {ConfigRule::plain, ConfigCheck::required},            // 53 satellite domain
    {ConfigRule::directory_line, ConfigCheck::none},       // 54 surface temperature directory
    {ConfigRule::dated, ConfigCheck::required},            // 55 trad1
    {ConfigRule::dated, ConfigCheck::required},            // 56 trad2
    {ConfigRule::separator, ConfigCheck::none},            // 57
    {ConfigRule::directory_line, ConfigCheck::none},       // 58 insolation directory
    {ConfigRule::fixed_year, ConfigCheck::required},       // 59 sdn1
    {ConfigRule::fixed_year, ConfigCheck::required},       // 60 sdn2
    {ConfigRule::separator, ConfigCheck::none},            // 61
    {ConfigRule::plain, ConfigCheck::required},            // 62 run domain
    {ConfigRule::plain, ConfigCheck::required},            // 63 output variable list
    {ConfigRule::home, ConfigCheck::none},                 // 64 output directory (optional)
    {ConfigRule::home, ConfigCheck::none},                 // 65 spare directory (optional)
};

constexpr int config_header_lines = 5;
constexpr int config_optional_from = 64;  // lines from here on may be missing
constexpr int config_home_length = 256;   // longest HOME_DIR used

// State of one reading: HOME_DIR, the date pieces and the current directory.
struct ConfigContext {
    std::string home;
    std::string date_directory;  // "/YYYYDDD/"
    std::string insolation_day;  // "2011DDD"
    std::string directory;
};

// Path of one value line under its rule.
std::string compose_path(const ConfigContext& context, ConfigRule rule, const std::string& value) {
    switch (rule) {
    case ConfigRule::plain: return value;
    case ConfigRule::home:
    case ConfigRule::directory_line: return context.home + value;
    case ConfigRule::in_directory: return context.directory + "/" + value;
    case ConfigRule::dated: return context.directory + context.date_directory + value;
    case ConfigRule::fixed_year:
        return context.directory + "/" + value + context.insolation_day + ".dat";
    case ConfigRule::separator: break;
    }
    return std::string();
}

// A file that exists (a directory does not count as the file a line names).
bool config_file_exists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error) && !std::filesystem::is_directory(path, error);
}

void log_config_failure(const std::string& file, int line, const std::string& what) {
    ornax_log_msg((FreeLine() << "Region configuration file " << file << " line" << line << what)
                      .str());
}

// Reads lines 1 to 65 and stores the paths of lines 6 to 65; returns 0 or 3.
int read_config_values(LabelledLineReader& reader, const std::string& file, ConfigContext& context,
                       RegionConfigPaths& paths) {
    constexpr int value_width = 256;  // value in columns 31-286
    std::string value;
    for (int line = 1; line <= region_config_last_line; ++line) {
        bool present = line <= config_header_lines ? reader.skip() : reader.text(value_width, value);
        if (!present) {
            if (line >= config_optional_from) return 0;
            log_config_failure(file, line, "is missing: the file ends early");
            return 3;
        }
        if (line <= config_header_lines) continue;
        const ConfigLine& rule = config_lines[line - region_config_first_line];
        if (rule.rule == ConfigRule::separator) continue;
        std::string path = compose_path(context, rule.rule, value);
        if (static_cast<int>(path.size()) > region_config_path_length) {
            log_config_failure(file, line, "gives a path longer than 300 characters");
            return 3;
        }
        if (rule.rule == ConfigRule::directory_line) {
            context.directory = path;
            continue;
        }
        paths[static_cast<std::size_t>(line)] = path;
        if (rule.check == ConfigCheck::none || config_file_exists(path)) continue;
        ornax_log_msg(path + " not exist.");
        if (rule.check == ConfigCheck::required) return 3;
    }
    return 0;
}

}  // namespace

void ornax_read_region_config_paths(const std::string& config_file, int year, int doy,
                                    RegionConfigPaths& paths, int& status) {
    status = 0;
    paths.fill(std::string());
    if (year < 1900 || year > 2100 || doy < 1 || doy > 366) {
        status = 3;
        return;
    }
    ConfigContext context;
    const char* home = std::getenv("HOME_DIR");  // unset counts as empty
    context.home = trim_right(home != nullptr ? home : "");
    if (static_cast<int>(context.home.size()) > config_home_length) {
        ornax_log_msg("HOME_DIR is longer than 256 characters");
        status = 3;
        return;
    }
    // Date directory "/YYYYDDD/" (layout a1, i4.4, i3.3, a1).
    context.date_directory.append("/").append(write_i(year, 4, 4)).append(write_i(doy, 3, 3));
    context.date_directory.append("/");
    // The insolation rasters are named after one fixed year, which has no day 366.
    context.insolation_day.append("2011").append(write_i(doy == 366 ? 365 : doy, 3, 3));

    constexpr int config_unit = 11;  // fixed unit of the configuration file, outside the pool
    std::string name = trim_right(config_file);
    std::FILE* stream = ornax_unit_open(config_unit, name, "r");
    if (stream == nullptr) {
        ornax_log_msg("Error in opening the input config file");
        status = 3;
        return;
    }
    LabelledLineReader reader(stream);
    status = read_config_values(reader, name, context, paths);
    ornax_unit_close(config_unit);
}

namespace {

// File-name field of the region data record filled by each path line.
struct RegionConfigField {
    int line;
    std::string Ornaxregiondatatype::*field;
};

constexpr RegionConfigField region_config_fields[] = {
    {6, &Ornaxregiondatatype::landcover_table_file},
    {7, &Ornaxregiondatatype::reserved_file},
    {8, &Ornaxregiondatatype::land_domain_file},
    {10, &Ornaxregiondatatype::landcover_file},
    {11, &Ornaxregiondatatype::aleafn_file},
    {12, &Ornaxregiondatatype::aleafv_file},
    {13, &Ornaxregiondatatype::aleafl_file},
    {14, &Ornaxregiondatatype::adeadn_file},
    {15, &Ornaxregiondatatype::adeadv_file},
    {16, &Ornaxregiondatatype::adeadl_file},
    {17, &Ornaxregiondatatype::rsoiln_file},
    {18, &Ornaxregiondatatype::rsoilv_file},
    {19, &Ornaxregiondatatype::rs_correction_file},
    {20, &Ornaxregiondatatype::xl_file},
    {21, &Ornaxregiondatatype::theta_file},
    {23, &Ornaxregiondatatype::vegetation_domain_file},
    {25, &Ornaxregiondatatype::xlai_file},
    {27, &Ornaxregiondatatype::snow_domain_file},
    {29, &Ornaxregiondatatype::snow_mask_file},
    {31, &Ornaxregiondatatype::met_config_file},
    {33, &Ornaxregiondatatype::tloc1_file},
    {34, &Ornaxregiondatatype::spare_file_1},
    {35, &Ornaxregiondatatype::spare_file_2},
    {36, &Ornaxregiondatatype::spare_file_3},
    {37, &Ornaxregiondatatype::spare_file_4},
    {38, &Ornaxregiondatatype::spare_file_5},
    {39, &Ornaxregiondatatype::tloc2_file},
    {40, &Ornaxregiondatatype::spare_file_6},
    {41, &Ornaxregiondatatype::spare_file_7},
    {42, &Ornaxregiondatatype::spare_file_8},
    {43, &Ornaxregiondatatype::spare_file_9},
    {44, &Ornaxregiondatatype::spare_file_10},
    {45, &Ornaxregiondatatype::spare_file_11},
    {46, &Ornaxregiondatatype::spare_file_12},
    {47, &Ornaxregiondatatype::spare_file_13},
    {48, &Ornaxregiondatatype::spare_file_14},
    {49, &Ornaxregiondatatype::spare_file_15},
    {50, &Ornaxregiondatatype::spare_file_16},
    {51, &Ornaxregiondatatype::spare_file_17},
    {53, &Ornaxregiondatatype::satellite_domain_file},
    {55, &Ornaxregiondatatype::trad1_file},
    {56, &Ornaxregiondatatype::trad2_file},
    {59, &Ornaxregiondatatype::sdn1_file},
    {60, &Ornaxregiondatatype::sdn2_file},
    {62, &Ornaxregiondatatype::run_domain_file},
    {63, &Ornaxregiondatatype::out_list_file},
    {64, &Ornaxregiondatatype::output_dir},
    {65, &Ornaxregiondatatype::spare_dir},
};

}  // namespace

void ornax_read_region_config_file(const std::string& config_file, Ornaxregiondatatype& region,
                                   int year, int doy, int& status) {
    region = Ornaxregiondatatype{};  // releases every array, every field to its initial value
    RegionConfigPaths paths;
    ornax_read_region_config_paths(config_file, year, doy, paths, status);
    for (const RegionConfigField& entry : region_config_fields)
        region.*entry.field = paths[static_cast<std::size_t>(entry.line)];
}

// ---- end of region configuration file ----


// ===================================================================================
// Land mask and land subset (forcing-a work)
// ===================================================================================

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <new>

#include "GFS_io_mod.hpp"

namespace {

inline constexpr double land_umd_step = 0.01;            // degrees per UMD pixel
inline constexpr double land_umd_west_centre = 179.995;  // -(centre of UMD column 1)
inline constexpr double land_umd_south_centre = 59.995;  // -(centre of UMD row 1)
inline constexpr float land_match_tolerance = 1.0e-6f;   // grid values of a subset file (degrees)
inline constexpr int land_subset_header_records = 8;
const char* const land_common_lc_file = "common_lc.dat";

void land_screen(const std::string& line) {
    std::cout << line << '\n';
}

void land_put_int(unsigned char* p, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    for (int b = 0; b < 4; ++b)
        p[b] = static_cast<unsigned char>(bits >> (8 * b));
}

void land_put_real(unsigned char* p, float value) {
    land_put_int(p, std::bit_cast<std::int32_t>(value));
}

std::uint32_t land_bits(const unsigned char* p, bool big_endian) {
    std::uint32_t bits = 0;
    for (int b = 0; b < 4; ++b) {
        const int shift = big_endian ? 8 * (3 - b) : 8 * b;
        bits |= static_cast<std::uint32_t>(p[b]) << shift;
    }
    return bits;
}

std::int32_t land_get_int(const unsigned char* p) {
    return static_cast<std::int32_t>(land_bits(p, false));
}

float land_get_real(const unsigned char* p) {
    return std::bit_cast<float>(land_bits(p, false));
}

// Integer part of a real, with NaN read as 0 and huge values held inside the int range.
int land_integer_part(double value) {
    if (std::isnan(value)) return 0;
    return static_cast<int>(std::clamp(value, -2.0e9, 2.0e9));
}

// Whole steps in a span: the integer part of span / step, allowing for the binary
// rounding of decimal spacings (0.29 / 0.01 counts 29 steps, not 28).
int land_whole_steps(double span, double step) {
    return land_integer_part(span / step + 1.0e-4);
}

// Image of the land cells: 1 on a land cell, 0 elsewhere, written to the working directory.
// A directory that is not writable loses only this view file.
void land_write_common_lc(int ncols, int nrows, int land_count,
                          const std::vector<Ornaxsinglegrid>& cells) {
    if (ncols < 1 || nrows < 1) return;
    const std::size_t size = static_cast<std::size_t>(ncols) * static_cast<std::size_t>(nrows);
    std::vector<unsigned char> bytes(4 * size, 0);
    const int count = std::clamp(land_count, 0, static_cast<int>(cells.size()));
    for (int i = 0; i < count; ++i) {
        const Ornaxsinglegrid& cell = cells[static_cast<std::size_t>(i)];
        if (cell.col < 1 || cell.col > ncols || cell.row < 1 || cell.row > nrows) continue;
        const std::size_t at = static_cast<std::size_t>(cell.row - 1) * ncols + (cell.col - 1);
        land_put_int(&bytes[4 * at], 1);
    }
    const int unit = ornax_get_next_unit_number();
    if (std::FILE* out = ornax_unit_open(unit, land_common_lc_file, "wb"))
        std::fwrite(bytes.data(), 1, bytes.size(), out);
    ornax_release_unit_number(unit);
}

}  // namespace

Ornaxumdwindow ornax_umd_window(const Ornaxcommonblock& common) {
    Ornaxumdwindow window;
    if (common.west_lon <= -180.0f) {
        window.ncols = land_whole_steps(common.east_lon + 180.0, land_umd_step);
        window.first_col = 1;
    } else {
        // the span in whole degrees times 100
        window.ncols = 100 * land_integer_part(common.east_lon - common.west_lon);
        window.first_col =
            land_integer_part((common.west_lon + land_umd_west_centre) / land_umd_step);
    }
    if (common.south_lat <= -60.0f) {
        window.nrows = land_whole_steps(common.north_lat + 60.0, land_umd_step);
        window.first_row = 1;
    } else {
        window.nrows = 100 * land_integer_part(common.north_lat - common.south_lat);
        window.first_row =
            land_integer_part((common.south_lat + land_umd_south_centre) / land_umd_step);
    }
    // a window never leaves the raster, so every window row is one run of consecutive pixels
    window.first_col = std::max(window.first_col, 1);
    window.first_row = std::max(window.first_row, 1);
    window.ncols = std::min(window.ncols, ornax_umd_ncols - window.first_col + 1);
    window.nrows = std::min(window.nrows, ornax_umd_nrows - window.first_row + 1);
    window.block_rows = land_whole_steps(common.dlat, land_umd_step);
    window.block_cols = land_whole_steps(common.dlon, land_umd_step);
    return window;
}

void ornax_subset_integer_matrix(const std::vector<int>& matrix, int ncols, int nrows,
                                 int first_col, int first_row, int block_cols, int block_rows,
                                 int& count, int& status) {
    count = 0;
    for (int row = first_row; row < first_row + block_rows; ++row) {
        for (int col = first_col; col < first_col + block_cols; ++col) {
            if (col < 1 || col > ncols || row < 1 || row > nrows) {
                land_screen(FreeLine() << "Out of bound" << col << row);
                continue;
            }
            if (matrix[static_cast<std::size_t>(row - 1) * ncols + (col - 1)] > 0) ++count;
        }
    }
    status = 0;
}

namespace {

// Grid values of a land subset file (records 3 to 8) and what they must match.
struct LandSubsetCheck {
    const char* message;
    float grid_value;
};

// Reads and checks records 1 to 8 of a land subset file, then the land cells.
void land_read_subset(std::FILE* in, const std::string& name, const float (&grid)[6], int ncols,
                      int nrows, int& land_count, std::vector<Ornaxsinglegrid>& cells,
                      int& status) {
    unsigned char header[4 * land_subset_header_records];
    if (std::fread(header, 1, sizeof header, in) != sizeof header) {
        land_screen(FreeLine() << "Error in reading the land subset file " << name);
        status = 3;
        return;
    }
    const std::int32_t record_count = land_get_int(&header[0]);
    land_count = land_get_int(&header[4]);
    if (land_count < 0 || static_cast<std::int64_t>(ncols) * nrows < land_count) {
        land_screen(FreeLine() << "Mismatch in total pixel number:" << land_count << " vs " << ncols
                               << nrows);
        status = 3;
    } else if (record_count != 2 * land_count + 7) {
        land_screen(FreeLine() << "Mismatch in record count:" << record_count << "vs"
                               << 2 * land_count + 7);
        status = 3;
    }
    const LandSubsetCheck checks[6] = {
        {"Mismatch in west lon:", grid[0]},      {"Mismatch in east lon", grid[1]},
        {"Mismatch in lon resolution", grid[2]}, {"Mismatch in south lat", grid[3]},
        {"Mismatch in north lat", grid[4]},      {"Mismatch in lat resolution", grid[5]}};
    for (int i = 0; i < 6; ++i) {
        const float file_value = land_get_real(&header[8 + 4 * i]);
        if (!(std::fabs(file_value - checks[i].grid_value) <= land_match_tolerance)) {
            land_screen(FreeLine()
                        << checks[i].message << file_value << "vs" << checks[i].grid_value);
            status = 3;
        }
    }
    if (status != 0) return;
    land_screen(FreeLine() << "Read in the details" << land_count);
    std::vector<unsigned char> bytes(8 * static_cast<std::size_t>(land_count));
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), in);
    if (got != bytes.size()) {
        // a truncated file is rejected rather than leaving cells unset
        land_screen(FreeLine() << "Land subset file " << name << " ends before record"
                               << static_cast<int>(land_subset_header_records + 1 + got / 4));
        status = 3;
        return;
    }
    if (cells.size() < static_cast<std::size_t>(land_count)) cells.resize(land_count);
    const float west_lon = grid[0], dlon = grid[2], south_lat = grid[3], dlat = grid[5];
    for (int i = 0; i < land_count; ++i) {
        Ornaxsinglegrid& cell = cells[static_cast<std::size_t>(i)];
        cell.lon = land_get_real(&bytes[8 * static_cast<std::size_t>(i)]);
        cell.lat = land_get_real(&bytes[8 * static_cast<std::size_t>(i) + 4]);
        cell.col = land_integer_part(1.0f + (cell.lon - west_lon) / dlon);
        cell.row = land_integer_part(1.0f + (cell.lat - south_lat) / dlat);
    }
    land_screen(FreeLine() << "Read in loop done"
                           << land_subset_header_records + 1 + 2 * land_count);
}

}  // namespace

void ornax_load_land_subset(int ncols, int nrows, float west_lon, float east_lon, float dlon,
                            float south_lat, float north_lat, float dlat,
                            const std::string& file_name, int& land_count,
                            std::vector<Ornaxsinglegrid>& land_cells, int& status) {
    status = 0;
    const std::string name = trim_right(file_name);
    land_screen(FreeLine() << "Loading..." << name);
    const int unit = ornax_get_next_unit_number();
    std::FILE* in = ornax_unit_open(unit, name, "rb");
    if (in == nullptr) {
        land_screen(FreeLine() << "Open file error" << name << unit);
        status = 3;
    } else {
        const float grid[6] = {west_lon, east_lon, dlon, south_lat, north_lat, dlat};
        land_read_subset(in, name, grid, ncols, nrows, land_count, land_cells, status);
    }
    ornax_release_unit_number(unit);
    // a rejected file leaves no land cells behind
    if (status != 0) land_count = 0;
    land_screen(" Output the land mask to common_lc.dat");
    land_write_common_lc(ncols, nrows, land_count, land_cells);
}

namespace {

// Land subset file contents: record count, land count, grid edges and spacings, then
// longitude and latitude of every land cell.
std::vector<unsigned char> land_subset_bytes(int land_count, const float (&grid)[6],
                                             const std::vector<Ornaxsinglegrid>& cells) {
    std::vector<unsigned char> bytes(
        4 * (land_subset_header_records + 2 * static_cast<std::size_t>(land_count)));
    land_put_int(&bytes[0], 2 * land_count + 7);
    land_put_int(&bytes[4], land_count);
    for (int i = 0; i < 6; ++i)
        land_put_real(&bytes[8 + 4 * i], grid[i]);
    for (int i = 0; i < land_count; ++i) {
        const std::size_t at = 4 * (land_subset_header_records + 2 * static_cast<std::size_t>(i));
        land_put_real(&bytes[at], cells[static_cast<std::size_t>(i)].lon);
        land_put_real(&bytes[at + 4], cells[static_cast<std::size_t>(i)].lat);
    }
    return bytes;
}

// Writes a file through a temporary file of the same directory renamed into place, so
// that no reader ever sees a partly written file. Status 0, 3 on failure.
int land_write_atomically(const std::string& name, const std::vector<unsigned char>& bytes) {
    const std::string temporary = name + ".tmp" + std::to_string(static_cast<long>(getpid()));
    const int unit = ornax_get_next_unit_number();
    std::FILE* out = ornax_unit_open(unit, temporary, "wb");
    if (out == nullptr) {
        land_screen(FreeLine() << "Error " << errno << "in opening" << name);
        ornax_release_unit_number(unit);
        return 3;
    }
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    written = std::fflush(out) == 0 && written;
    ornax_release_unit_number(unit);
    if (written && std::rename(temporary.c_str(), name.c_str()) == 0) return 0;
    land_screen(FreeLine() << "Error in writing" << name);
    std::remove(temporary.c_str());
    return 3;
}

}  // namespace

void ornax_write_out_land_index(int land_count, int ncols, int nrows, float west_lon,
                                float east_lon, float dlon, float south_lat, float north_lat,
                                float dlat, const std::vector<Ornaxsinglegrid>& land_cells,
                                const std::string& file_name, int& status) {
    const std::string name = trim_right(file_name);
    if (land_count < 0 || static_cast<std::size_t>(land_count) > land_cells.size()) {
        land_screen(FreeLine() << "Land cell count out of range:" << land_count);
        status = 3;
    } else {
        const float grid[6] = {west_lon, east_lon, dlon, south_lat, north_lat, dlat};
        status = land_write_atomically(name, land_subset_bytes(land_count, grid, land_cells));
        if (status == 0)
            land_screen(FreeLine()
                        << "Write " << 2 * land_count + 7 << "bytes to " << name << "successfully");
    }
    land_screen(" Write out the land mask file for GRADS view");
    land_write_common_lc(ncols, nrows, land_count, land_cells);
}

namespace {

// Integer part of a UMD land-cover value (land classes are 1 and above).
int land_umd_class(const unsigned char* p) {
    return land_integer_part(std::bit_cast<float>(land_bits(p, true)));
}

// Reads the UMD window one row at a time: the pixels of a window row are consecutive in
// the raster, so each row is one read. Matrix is window columns x rows, column fastest.
bool land_read_umd_window(const std::string& name, const Ornaxumdwindow& window,
                          std::vector<int>& matrix) {
    const int unit = ornax_get_next_unit_number();
    std::FILE* in = ornax_unit_open(unit, name, "rb");
    if (in == nullptr) {
        land_screen(FreeLine() << "Error" << errno << "in opening the land mask file" << name);
        ornax_release_unit_number(unit);
        return false;
    }
    std::vector<unsigned char> row_bytes(4 * static_cast<std::size_t>(window.ncols));
    bool read_ok = true;
    for (int j = 1; j <= window.nrows && read_ok; ++j) {
        // 1-based record of window pixel (1, j)
        const std::int64_t record =
            static_cast<std::int64_t>(window.first_row + j - 2) * ornax_umd_ncols +
            window.first_col;
        read_ok = fseeko(in, static_cast<off_t>((record - 1) * 4), SEEK_SET) == 0 &&
                  std::fread(row_bytes.data(), 1, row_bytes.size(), in) == row_bytes.size();
        if (!read_ok) break;
        int* out = &matrix[static_cast<std::size_t>(j - 1) * window.ncols];
        for (int k = 0; k < window.ncols; ++k)
            out[k] = land_umd_class(&row_bytes[4 * static_cast<std::size_t>(k)]);
    }
    if (read_ok) {
        const std::int64_t first_record =
            static_cast<std::int64_t>(window.first_row - 1) * ornax_umd_ncols + window.first_col;
        land_screen(FreeLine() << "domain_pos (1,1) = " << static_cast<long long>(first_record));
    } else {
        land_screen(FreeLine() << "Error in reading the UMD land mask from file:" << name);
    }
    ornax_release_unit_number(unit);
    return read_ok;
}

// Adds a land cell for every common-grid cell whose UMD block holds a land pixel.
void land_find_cells(Ornaxcommonblock& common, const Ornaxumdwindow& window,
                     const std::vector<int>& matrix) {
    const int block_rows = std::clamp(window.block_rows, 1, ornax_umd_nrows);
    const int block_cols = std::clamp(window.block_cols, 1, ornax_umd_ncols);
    const std::size_t cells =
        static_cast<std::size_t>(common.ncols) * static_cast<std::size_t>(common.nrows);
    if (common.ptr_land_grid.size() < cells) common.ptr_land_grid.resize(cells);
    common.land_count = 0;
    land_screen(FreeLine() << "Start domain loop" << common.nrows << common.ncols);
    land_screen(FreeLine() << "Land grid matrix"
                           << static_cast<long long>(common.ptr_land_grid.size())
                           << static_cast<long long>(cells));
    land_screen(FreeLine() << "Domain" << window.ncols << window.nrows);
    land_screen(FreeLine() << "Grid" << block_cols << block_rows);
    for (int j = 1; j <= common.nrows; ++j) {
        for (int k = 1; k <= common.ncols; ++k) {
            int count = 0, status = 0;
            ornax_subset_integer_matrix(matrix, window.ncols, window.nrows,
                                        (k - 1) * block_cols + 1, (j - 1) * block_rows + 1,
                                        block_cols, block_rows, count, status);
            if (count < 1) continue;
            Ornaxsinglegrid& cell =
                common.ptr_land_grid[static_cast<std::size_t>(common.land_count)];
            ++common.land_count;
            cell.lat = common.south_lat + (static_cast<float>(j) - 0.5f) * common.dlat;
            cell.lon = common.west_lon + (static_cast<float>(k) - 0.5f) * common.dlon;
            cell.row = j;
            cell.col = k;
            cell.land_frac = static_cast<float>(count) / static_cast<float>(block_rows) /
                             static_cast<float>(block_cols);
        }
    }
    land_screen(" Done with domain check with UMD land mask");
    land_screen(FreeLine() << "Total land pixels are: " << common.land_count);
    land_screen(FreeLine() << "The land frac in this area is:"
                           << static_cast<float>(common.land_count) /
                                  static_cast<float>(common.nrows) /
                                  static_cast<float>(common.ncols));
}

// Counts the land pixels of the window and reports them; false when there is none.
bool land_window_has_land(const Ornaxumdwindow& window, const std::vector<int>& matrix) {
    const auto land = static_cast<long long>(
        std::count_if(matrix.begin(), matrix.end(), [](int value) { return value >= 1; }));
    land_screen(" Read in the domain data successfully, searching for land pixels");
    const double share = static_cast<double>(land) / static_cast<double>(matrix.size());
    land_screen(" domain(" + write_i(window.ncols, 6) + "," + write_i(window.nrows, 6) + ") with" +
                write_i(land, 10) + " land pixels, about" + write_f(share, 8, 3) +
                " of total area");
    if (land > 0) return true;
    land_screen(FreeLine() << "Domain read error at (col, row):" << window.first_col
                           << window.first_row);
    return false;
}

}  // namespace

void ornax_set_umd_land_mask(Ornaxcommonblock& common, const std::string& umd_file,
                             float /*spare_value*/, int& status) {
    // cells of an earlier, failed attempt never count
    common.land_count = 0;
    const Ornaxumdwindow window = ornax_umd_window(common);
    const std::int64_t first_record =
        static_cast<std::int64_t>(window.first_row - 1) * ornax_umd_ncols + window.first_col;
    land_screen(" domain size(" + write_i(window.ncols, 6) + write_i(window.nrows, 6) +
                ") start at(" + write_i(window.first_col, 6) + write_i(window.first_row, 6) + ")[" +
                write_i(first_record, 15) + "]");
    std::vector<int> matrix;
    bool allocated = window.ncols >= 1 && window.nrows >= 1;
    try {
        if (allocated)
            matrix.assign(
                static_cast<std::size_t>(window.ncols) * static_cast<std::size_t>(window.nrows), 0);
    } catch (const std::bad_alloc&) {
        allocated = false;
    }
    if (!allocated) {
        land_screen(" Error in allocating memory for the land mask domain");
        status = 3;
        return;
    }
    land_screen(FreeLine() << "grid_row_num = " << window.block_rows);
    land_screen(FreeLine() << "grid_col_num = " << window.block_cols);
    if (land_read_umd_window(trim_right(umd_file), window, matrix) &&
        land_window_has_land(window, matrix))
        land_find_cells(common, window, matrix);
    std::vector<int>().swap(matrix);
    if (common.land_count < 2) {
        land_screen(" No land pixel in the domain");
        status = 3;
        return;
    }
    land_screen(FreeLine() << "land number" << common.land_count << " to file "
                           << trim_right(common.land_subset_file));
    ornax_write_out_land_index(common.land_count, common.ncols, common.nrows, common.west_lon,
                               common.east_lon, common.dlon, common.south_lat, common.north_lat,
                               common.dlat, common.ptr_land_grid, common.land_subset_file, status);
}

void ornax_load_land_data(Ornaxcommonblock& common, int& status) {
    status = 0;
    int step_status = 0;
    if (common.land_index_option == 1) {
        ornax_set_umd_land_mask(common, common.umd_landcover_file, common.land_spare_value,
                                step_status);
        if (step_status != 0) {
            land_screen(" Process land subset failed");
            status = 3;
            return;
        }
        land_screen(" Process land subset done" + write_i(common.land_count, 10) +
                    "records are land pixels");
    } else {
        ornax_load_land_subset(common.ncols, common.nrows, common.west_lon, common.east_lon,
                               common.dlon, common.south_lat, common.north_lat, common.dlat,
                               common.land_subset_file, common.land_count, common.ptr_land_grid,
                               step_status);
        if (step_status == 0) {
            land_screen(" Load land subset done" + write_i(common.land_count, 10) +
                        "records loaded");
        } else {
            land_screen(" Load land subset failed");
            land_screen(" Create a new land subset");
            ornax_set_umd_land_mask(common, common.umd_landcover_file, common.land_spare_value,
                                    step_status);
            if (step_status != 0) {
                land_screen(" Process land subset error");
                status = 3;
                return;
            }
            land_screen(" Created land subset done" + write_i(common.land_count, 10) +
                        " land pixels created in th common grids.");
        }
    }
    if (common.met_flag == 2 || common.met_flag == 3) {
        // the forecast-model land mask reports its own failures
        gfs_read_land_data(common.gfs_land_file, common.gfs_struc, step_status);
    } else if (common.met_flag == 4) {
        land_screen(" Read ORNAX land cover later");
    } else {
        land_screen(" Unknown meteorological flag!");
        status = 3;
    }
}

// ---- end of land mask and land subset ----


// ===================================================================================
// Line-by-line meteorological processing (forcing-b work)
// ===================================================================================

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include <unistd.h>

#include "ORNAX_io_mod.hpp"
#include "file_io_mod.hpp"
#include "ornax_constants_mod.hpp"
#include "sunrise_mod.hpp"

namespace {

constexpr int met_surface_files = 8;
// Surface rasters of a day, in reading order.
constexpr std::array<const char*, met_surface_files> surface_file_names = {
    "psfc_series.bin", "t2_series.bin", "q2_series.bin", "wind_surface.bin",
    "lwdn.bin",        "swdn.bin",      "cfslst.bin",    "lhtfl.bin"};
enum SurfaceFile { psfc_file, t2_file, q2_file, wind_file, lwdn_file, swdn_file, cfslst_file,
                   lhtfl_file };
constexpr float forcing_column_offset = 0.33f;  // shift of a centre before truncation
constexpr float obs1_after_sunrise = 1.5f;      // first observation after sunrise (h)

void screen_line(const std::string& line) {
    std::printf("%s\n", line.c_str());
}

// One day of forecast-model values for one row of the common grid.
struct MetDayBuffers {
    Real3dArray pot;                                      // (columns, layers, time steps)
    std::array<Real2dArray, met_surface_files> surface;   // (columns, time steps) per file
};

// Reads row `row` of the day's nine rasters; false when the profile read failed.
bool read_met_day(const Ornaxcommonblock& common, const std::string& dir, int row, float undef,
                  MetDayBuffers& day) {
    int status = 0;
    day.pot.allocate(common.ncols, common.nlayers, common.nhours, undef);
    read_4d_real_by_line(dir + "pot_profile.bin", common.ncols, common.nrows, common.nlayers,
                         common.nhours, row, common.undef, day.pot, status);
    const bool profile_read = status == 0;
    for (int n = 0; n < met_surface_files; ++n) {
        Real2dArray& buffer = day.surface[static_cast<std::size_t>(n)];
        buffer.allocate(common.ncols, common.nhours, undef);
        int read_status = 0;
        read_3d_real_by_line(dir + surface_file_names[static_cast<std::size_t>(n)], common.ncols,
                             common.nrows, common.nhours, row, 0.0f, buffer, read_status);
    }
    return profile_read;
}

// A cache raster is trusted only when it holds exactly one grid of 4-byte values.
bool cache_raster_valid(const std::string& path, int ncols, int nrows) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    const std::uintmax_t expected =
        4u * static_cast<std::uintmax_t>(ncols) * static_cast<std::uintmax_t>(nrows);
    return !error && static_cast<std::uintmax_t>(size) == expected;
}

// Writes a cache raster through a temporary file of the same directory and a rename, so
// that no reader ever sees a partly written file.
void write_cache_raster(const Real2dArray& image, int ncols, int nrows, const std::string& path) {
    const std::string temporary = path + ".tmp" + std::to_string(static_cast<long>(getpid()));
    int status = 0;
    write_out_2d_real(image, ncols, nrows, temporary, status);
    if (status != 0 || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
    }
}

// Row `row` of the observation-time grid of `mode` (1: first, 2: second), computed for the
// whole model grid and written to the cache raster `path`. False when it cannot be computed.
bool compute_sunrise_row(const Ornaxmeteoornax& grid, int year, int solar_doy, int mode, int row,
                         const std::string& path, std::vector<float>& values) {
    Real2dArray matrix;
    matrix.allocate(grid.ncols, grid.nrows, grid.undef);
    std::vector<float> day_shift(matrix.values.size(), grid.undef);
    int status = 0;
    create_sun_rise_time_matrix_utc(year, solar_doy, grid.ncols, grid.nrows, mode, 0,
                                    grid.start_lon, grid.dlon, grid.start_lat, grid.dlat,
                                    matrix.values, day_shift, status);
    if (status != 0) {
        return false;
    }
    for (int i = 1; i <= grid.ncols; ++i) {
        values[static_cast<std::size_t>(i - 1)] = matrix(i, row);
    }
    write_cache_raster(matrix, grid.ncols, grid.nrows, path);
    return true;
}

// Reads row `row` of a cache raster; on failure the row holds no observation time.
bool read_sunrise_row(const Ornaxmeteoornax& grid, const std::string& path, int row,
                      std::vector<float>& values) {
    int status = 0;
    read_2d_real_by_line(path, grid.ncols, grid.nrows, row, 0, values, status);
    values.resize(static_cast<std::size_t>(grid.ncols), sunrise_no_time);
    if (status != 0) {
        screen_line((FreeLine() << "Error read in rise15filename ").str());
        std::fill(values.begin(), values.end(), sunrise_no_time);
        return false;
    }
    return true;
}

// The first and second observation times (UTC hours) of every column of row `row`, from
// the day's cache rasters, or computed for the whole grid (and cached) when either is
// missing or of the wrong size. False when a row could not be had.
bool load_sunrise_rows(const Ornaxmeteoornax& grid, int year, int jday, int solar_doy, int row,
                       std::vector<float>& rise15, std::vector<float>& rise55) {
    const std::string dir = ornax_sunrise_dir(grid.met_dir, year, jday);
    const std::string rise15_file = dir + "rise15MET";
    const std::string rise55_file = dir + "rise55MET";
    if (cache_raster_valid(rise15_file, grid.ncols, grid.nrows) &&
        cache_raster_valid(rise55_file, grid.ncols, grid.nrows)) {
        bool ok = read_sunrise_row(grid, rise15_file, row, rise15);
        if (ok && grid.ncols >= 100) {
            screen_line((FreeLine() << "rise15temp(100) =" << rise15[99]).str());
        }
        ok = read_sunrise_row(grid, rise55_file, row, rise55) && ok;
        return ok;
    }
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    const bool first = compute_sunrise_row(grid, year, solar_doy, 1, row, rise15_file, rise15);
    const bool second = compute_sunrise_row(grid, year, solar_doy, 2, row, rise55_file, rise55);
    return first && second;
}

struct LineArray {
    std::vector<float>* array;
    std::size_t size;
};

// Every line array of the model grid with the extent it must have.
std::array<LineArray, 36> line_arrays(Ornaxmeteoornax& g) {
    const std::size_t nc = static_cast<std::size_t>(std::max(g.ncols, 0));
    const std::size_t nl = static_cast<std::size_t>(std::max(g.nlayers, 0));
    const std::size_t nh = static_cast<std::size_t>(std::max(g.nhours, 0));
    return {{{&g.land, nc}, {&g.lat, nc}, {&g.lon, nc}, {&g.sun_rise_time1, nc},
             {&g.sun_rise_time2, nc}, {&g.lwdn_surface_series, nc * nh},
             {&g.swdn_surface_series, nc * nh}, {&g.cfslst_surface_series, nc * nh},
             {&g.lhtfl_surface_series, nc * nh}, {&g.wind_surface_series, nc * nh},
             {&g.temp_surface_series, nc * nh}, {&g.pres_surface_series, nc * nh},
             {&g.spfh_surface_series, nc * nh}, {&g.temp_profile, nc * nl * nh},
             {&g.spfh_profile, nc * nl * nh}, {&g.pressure_profile, nc * nl * nh},
             {&g.height_profile, nc * nl * nh}, {&g.pot_profile, nc * nl * nh},
             {&g.taobs1, nc}, {&g.taobs2, nc}, {&g.pres1, nc}, {&g.pres2, nc},
             {&g.spfh1, nc}, {&g.spfh2, nc}, {&g.wind1, nc}, {&g.wind2, nc},
             {&g.lwdn1, nc}, {&g.lwdn2, nc}, {&g.swdn1, nc}, {&g.swdn2, nc},
             {&g.cfslst1, nc}, {&g.cfslst2, nc}, {&g.lhtfl1, nc}, {&g.lhtfl2, nc},
             {&g.th_pblk1, nc * nl}, {&g.th_pblk2, nc * nl}}};
}

// Fills every line array with the fill value; false when the arrays are not set up.
bool fill_line_arrays(Ornaxmeteoornax& grid) {
    if (grid.ncols < 1) {
        return false;
    }
    for (const LineArray& entry : line_arrays(grid)) {
        if (entry.array->size() != entry.size) {
            return false;
        }
    }
    for (const LineArray& entry : line_arrays(grid)) {
        std::fill(entry.array->begin(), entry.array->end(), grid.undef);
    }
    return true;
}

// The first eight values of column c of a (columns, time steps) buffer.
std::array<float, 8> column_series(const Real2dArray& buffer, int c) {
    std::array<float, 8> values{};
    for (int t = 1; t <= 8; ++t) {
        values[static_cast<std::size_t>(t - 1)] = buffer(c, t);
    }
    return values;
}

// The first eight values of layer k of column c of a (columns, layers, time steps) buffer.
std::array<float, 8> column_series(const Real3dArray& buffer, int c, int k) {
    std::array<float, 8> values{};
    for (int t = 1; t <= 8; ++t) {
        values[static_cast<std::size_t>(t - 1)] = buffer(c, k, t);
    }
    return values;
}

// Reduces column c of the forecast-model rows to column i of the model grid.
void reduce_column(const Ornaxcommonblock& common, const MetDayBuffers& day1,
                   const MetDayBuffers& day2, int c, int i, float t1, float t2,
                   std::vector<float>& series, Ornaxmeteoornax& grid) {
    const float lon = grid.lon[static_cast<std::size_t>(i - 1)];
    float v1 = 0.0f, v2 = 0.0f;
    int status = 0;
    for (int k = 1; k <= common.nlayers; ++k) {
        if (grid.nhours >= 1) {
            grid.height_profile[met_index3(grid.ncols, grid.nlayers, i, k, 1)] =
                common.layer_heights[static_cast<std::size_t>(k - 1)];
        }
        ornax_get_local_time_vars(lon, t1, t2, column_series(day1.pot, c, k),
                                  column_series(day2.pot, c, k), common.undef, common.nhours, v1,
                                  v2, series, grid.nhours, status);
        grid.th_pblk1[met_index2(grid.ncols, i, k)] = v1;
        grid.th_pblk2[met_index2(grid.ncols, i, k)] = v2;
        for (int h = 1; h <= grid.nhours; ++h) {
            grid.pot_profile[met_index3(grid.ncols, grid.nlayers, i, k, h)] =
                series[static_cast<std::size_t>(h - 1)];
        }
    }
    struct SurfaceTarget {
        SurfaceFile file;
        std::vector<float>* at_obs1;
        std::vector<float>* at_obs2;
        std::vector<float>* hourly;
    };
    const SurfaceTarget targets[] = {
        {t2_file, &grid.taobs1, &grid.taobs2, &grid.temp_surface_series},
        {q2_file, &grid.spfh1, &grid.spfh2, &grid.spfh_surface_series},
        {psfc_file, &grid.pres1, &grid.pres2, &grid.pres_surface_series},
        {wind_file, &grid.wind1, &grid.wind2, &grid.wind_surface_series},
        {lwdn_file, &grid.lwdn1, &grid.lwdn2, &grid.lwdn_surface_series},
        {swdn_file, &grid.swdn1, &grid.swdn2, &grid.swdn_surface_series},
        {cfslst_file, &grid.cfslst1, &grid.cfslst2, &grid.cfslst_surface_series},
        {lhtfl_file, &grid.lhtfl1, &grid.lhtfl2, &grid.lhtfl_surface_series}};
    for (const SurfaceTarget& target : targets) {
        const std::size_t f = static_cast<std::size_t>(target.file);
        ornax_get_local_time_vars(lon, t1, t2, column_series(day1.surface[f], c),
                                  column_series(day2.surface[f], c), common.undef, common.nhours,
                                  v1, v2, series, grid.nhours, status);
        (*target.at_obs1)[static_cast<std::size_t>(i - 1)] = v1;
        (*target.at_obs2)[static_cast<std::size_t>(i - 1)] = v2;
        for (int h = 1; h <= grid.nhours; ++h) {
            (*target.hourly)[met_index2(grid.ncols, i, h)] =
                series[static_cast<std::size_t>(h - 1)];
        }
    }
}

// 1-based cell of a coordinate on a grid whose first cell starts at `start`, with the
// centre offset of the forecast-model grids; 0 when it cannot be represented.
int forcing_cell(float coordinate, float start, float spacing) {
    const float cell = std::trunc((coordinate - start) / spacing + forcing_column_offset) + 1.0f;
    if (!(cell >= -1.0e6f && cell <= 1.0e6f)) {
        return 0;
    }
    return static_cast<int>(cell);
}

// The day after (year, jday): the next year's first day follows day 366, and day 365 of a
// common year.
void following_day(int year, int jday, int& next_year, int& next_jday) {
    next_year = year;
    next_jday = jday + 1;
    if (jday == 366 || (jday == 365 && !is_leap_year(year))) {
        next_year = year + 1;
        next_jday = 1;
    }
}

// Reads both days' forecast-model rows and reduces every column of the line; false when a
// profile could not be read.
bool reduce_line(const Ornaxcommonblock& common, Ornaxmeteoornax& grid, int year, int jday,
                 int forcing_row, const std::vector<float>& rise15,
                 const std::vector<float>& rise55) {
    MetDayBuffers day1, day2;
    bool ok = true;
    if (!read_met_day(common, ornax_met_day_dir(common.met_data_dir, year, jday), forcing_row,
                      grid.undef, day1)) {
        screen_line((FreeLine() << "Error read in the profile data").str());
        ok = false;
    }
    int year2 = 0, jday2 = 0;
    following_day(year, jday, year2, jday2);
    if (!read_met_day(common, ornax_met_day_dir(common.met_data_dir, year2, jday2), forcing_row,
                      grid.undef, day2)) {
        screen_line((FreeLine() << "Error read in the profile2 data").str());
        ok = false;
    }
    std::vector<float> series(static_cast<std::size_t>(std::max(grid.nhours, 0)));
    for (int i = 1; i <= grid.ncols; ++i) {
        const int c = forcing_cell(grid.lon[static_cast<std::size_t>(i - 1)], common.west_lon,
                                   common.dlon);
        if (c < 1 || c > common.ncols) {
            continue;  // outside the forecast-model grid: the column keeps the fill value
        }
        reduce_column(common, day1, day2, c, i, rise15[static_cast<std::size_t>(i - 1)],
                      rise55[static_cast<std::size_t>(i - 1)], series, grid);
    }
    return ok;
}

// The common grid can feed the line: eight time steps a day, no more layers than the model
// grid and the layer-height table hold.
bool common_grid_usable(const Ornaxcommonblock& common, const Ornaxmeteoornax& grid) {
    return common.nhours >= 8 && common.nlayers >= 0 && common.nlayers <= grid.nlayers &&
           common.nlayers <= static_cast<int>(common.layer_heights.size()) && common.ncols >= 1 &&
           common.nrows >= 1;
}

}  // namespace

std::string ornax_sunrise_dir(const std::string& met_dir, int year, int doy) {
    return trim_right(met_dir) + "/" + write_i(year, 4) + write_i(doy, 3, 3) + "/";
}

std::string ornax_met_day_dir(const std::string& data_root, int year, int doy) {
    return trim_right(data_root) + "/" + write_i(year, 4, 4) + write_i(doy, 3, 3) + "/";
}

void ornax_process_ornax_met_byline(const Ornaxcommonblock& common, Ornaxmeteoornax& grid,
                                    int year, int doy, float pline, int& status) {
    status = 0;
    // every value of the line starts as the fill value, so that a failure leaves fill
    if (!fill_line_arrays(grid)) {
        status = 3;
        return;
    }
    int month = -1, day = -1;
    get_mmdd_by_yyyydoy(year, doy, month, day);
    if (day < 1 || year < 1 || month < 1) {
        status = 3;
        return;
    }
    const int jday = day + ornax_const_jday_in_year[static_cast<std::size_t>(month - 1)] +
                     (is_leap_year(year) && month > 2 ? 1 : 0);
    int solar_doy = 0;
    get_doy_by_yyyymmdd(year, month, day, solar_doy);
    for (int i = 1; i <= grid.ncols; ++i) {
        grid.lat[static_cast<std::size_t>(i - 1)] = pline;
        grid.lon[static_cast<std::size_t>(i - 1)] =
            grid.start_lon + grid.dlon * (static_cast<float>(i) - 0.5f);
    }
    const float row_real = std::trunc((pline - grid.start_lat) / grid.dlat) + 1.0f;
    if (!(row_real >= 1.0f && row_real <= static_cast<float>(grid.nrows))) {
        status = 3;  // the line lies outside the model grid: it keeps the fill value
        return;
    }
    const int row = static_cast<int>(row_real);
    std::vector<float> rise15(static_cast<std::size_t>(grid.ncols), grid.undef);
    std::vector<float> rise55(rise15);
    if (!load_sunrise_rows(grid, year, jday, solar_doy, row, rise15, rise55)) {
        status = 3;
    }
    for (int i = 0; i < grid.ncols; ++i) {
        const std::size_t n = static_cast<std::size_t>(i);
        const bool missing = rise15[n] == sunrise_no_time || rise15[n] == grid.undef;
        grid.sun_rise_time1[n] = missing ? grid.undef : rise15[n] - obs1_after_sunrise;
        grid.sun_rise_time2[n] = rise55[n];
    }
    const int forcing_row = forcing_cell(pline, common.south_lat, common.dlat);
    screen_line((FreeLine() << "pline_ornaxgrid = " << row).str());
    screen_line((FreeLine() << "at " << pline).str());
    screen_line((FreeLine() << "pline =" << forcing_row).str());
    if (!common_grid_usable(common, grid) || forcing_row < 1 || forcing_row > common.nrows) {
        status = 3;
        return;
    }
    if (!reduce_line(common, grid, year, jday, forcing_row, rise15, rise55)) {
        status = 3;
    }
}

void ornax_pro_region_meteorological_data(const Ornaxcommonblock& common,
                                          Ornaxmeteoornax& grid, Ornaxregiondatatype& region,
                                          int year, int doy, float pline, int& status) {
    int release_status = 0;
    int init_status = 0;
    ornax_ornax_grid_init(grid, common, init_status);
    if (init_status != 0) {
        screen_line((FreeLine() << "ORNAX_ornax_grid_init...failed").str());
        // release a partial set-up, so that the next line can set up its arrays again
        ornax_ornax_grid_finalize(grid, release_status);
        status = 3;
        return;
    }
    int process_status = 0;
    ornax_process_ornax_met_byline(common, grid, year, doy, pline, process_status);
    int copy_status = 0;
    ornax_set_ornax_met_byline(region, grid, copy_status);
    if (copy_status != 0) {
        screen_line((FreeLine() << "ORNAX_set_ornax_met_byline failed").str());
    }
    ornax_ornax_grid_finalize(grid, release_status);
    status = (process_status != 0 || copy_status != 0 || release_status != 0) ? 3 : 0;
}



void ornax_read_region_meteorological_data(const std::string& config_file,
                                           Ornaxregiondatatype& region, int year, int doy,
                                           float pline, int& status) {
    Ornaxcommonblock common;
    Ornaxmeteoornax grid;
    int step_status = 0;
    ornax_vesk_read_config(config_file, common, grid, step_status);
    if (step_status != 0) {
        screen_line((FreeLine() << "Error in reading the configuration file").str());
        screen_line((FreeLine() << "Main Program exit...").str());
        status = 3;
        return;
    }
    int release_status = 0;
    ornax_common_grid_init(common, step_status);
    if (step_status == 0) {
        ornax_ornax_grid_init(grid, common, step_status);
    }
    if (step_status != 0) {
        screen_line((FreeLine() << "Error in allocating the memory!").str());
        screen_line((FreeLine() << "Main Program exit...").str());
        ornax_ornax_grid_finalize(grid, release_status);
        ornax_common_grid_finalize(common, release_status);
        status = 3;
        return;
    }
    int land_status = 0;
    ornax_load_land_data(common, land_status);
    if (land_status != 0) {
        screen_line((FreeLine() << "Error in loading the land mask file").str());
    }
    int process_status = 0;
    ornax_process_ornax_met_byline(common, grid, year, doy, pline, process_status);
    int copy_status = 0;
    ornax_set_ornax_met_byline(region, grid, copy_status);
    ornax_ornax_grid_finalize(grid, release_status);
    int common_release = 0;
    ornax_common_grid_finalize(common, common_release);
    status = (land_status != 0 || process_status != 0 || copy_status != 0 ||
              release_status != 0 || common_release != 0) ? 3 : 0;
}

// ---- end of line-by-line meteorological processing ----


// ===================================================================================
// Per-pixel meteorology at observation times (forcing-b work)
// ===================================================================================
namespace {

constexpr int window_points = 16;        // three-hourly points of the two-day window
constexpr int window_steps_per_day = 8;  // values of each day used (00 to 21 UTC)
constexpr float window_step_hours = 3.0f;
constexpr float fill_tolerance = 1.0e-6f;

// Sounding heights above the surface (m), layer 1 (the top) first.
constexpr std::array<float, 30> height_from_surface = {
    15000.0f, 14000.0f, 13000.0f, 12000.0f, 11000.0f, 10000.0f, 9500.0f, 9000.0f,
    8500.0f,  8000.0f,  7500.0f,  7000.0f,  6500.0f,  6000.0f,  5500.0f, 5000.0f,
    4500.0f,  4000.0f,  3500.0f,  3000.0f,  2600.0f,  2200.0f,  1800.0f, 1400.0f,
    1000.0f,  700.0f,   500.0f,   300.0f,   100.0f,   80.0f};

// Value of the two-day window at x hours after 00 UTC of the requested day.
float window_value(const std::array<float, window_points>& vv, float x, float fill) {
    const float slot = std::trunc(x / window_step_hours) + 1.0f;
    // a bracketing pair of points exists for slots 1..15 (0 to 45 h); NaN fails too
    if (!(slot >= 1.0f && slot <= static_cast<float>(window_points - 1))) {
        return fill;
    }
    const int idx = static_cast<int>(slot) - 1;
    const float y1 = vv[static_cast<std::size_t>(idx)];
    const float y2 = vv[static_cast<std::size_t>(idx + 1)];
    if (std::fabs(y1 - fill) <= fill_tolerance || std::fabs(y2 - fill) <= fill_tolerance) {
        return fill;
    }
    const float x1 = window_step_hours * static_cast<float>(idx);
    return ornax_linear_interp(x, x1, x1 + window_step_hours, y1, y2);
}

// Makes a region array an exact copy of a model grid array.
void copy_line_array(std::vector<float>& region_field, const std::vector<float>& grid_field) {
    region_field.assign(grid_field.begin(), grid_field.end());
}

}  // namespace

float ornax_linear_interp(float x, float x1, float x2, float y1, float y2) {
    if (std::fabs(x2 - x1) > 1.0e-6f) {
        return y1 + (x - x1) / (x2 - x1) * (y2 - y1);
    }
    return 0.0f;
}

void ornax_get_local_time_vars(float lon, float t1, float t2, std::span<const float> day1,
                               std::span<const float> day2, float fill, int /*steps*/,
                               float& value1, float& value2, std::span<float> series,
                               int nhours, int& status) {
    const std::size_t hours = static_cast<std::size_t>(std::max(nhours, 0));
    if (day1.size() < window_steps_per_day || day2.size() < window_steps_per_day ||
        series.size() < hours) {
        value1 = value2 = fill;
        std::fill(series.begin(), series.end(), fill);
        status = 3;
        return;
    }
    std::array<float, window_points> vv{};
    for (int k = 0; k < window_steps_per_day; ++k) {
        vv[static_cast<std::size_t>(k)] = day1[static_cast<std::size_t>(k)];
        vv[static_cast<std::size_t>(k + window_steps_per_day)] = day2[static_cast<std::size_t>(k)];
    }
    value1 = window_value(vv, t1, fill);
    // a second observation earlier in the UTC day than the first falls after midnight UTC
    value2 = window_value(vv, t1 <= t2 ? t2 : t2 + 24.0f, fill);
    for (std::size_t h = 0; h < hours; ++h) {
        // UTC time of local mean solar hour h; east of Greenwich the local day lies in
        // the window's second day
        float x = static_cast<float>(h) - (lon / 180.0f) * 12.0f;
        if (lon >= 0.0f) {
            x += 24.0f;
        }
        series[h] = window_value(vv, x, fill);
    }
    status = 0;
}

void ornax_set_ornax_met_byline(Ornaxregiondatatype& region, const Ornaxmeteoornax& grid,
                                int& status) {
    if (grid.nlayers > static_cast<int>(height_from_surface.size()) || grid.ncols < 0 ||
        grid.nlayers < 0) {
        status = 3;
        return;
    }
    copy_line_array(region.taobs1, grid.taobs1);
    copy_line_array(region.taobs2, grid.taobs2);
    copy_line_array(region.pres1, grid.pres1);
    copy_line_array(region.pres2, grid.pres2);
    copy_line_array(region.spfh1, grid.spfh1);
    copy_line_array(region.spfh2, grid.spfh2);
    copy_line_array(region.wind1, grid.wind1);
    copy_line_array(region.wind2, grid.wind2);
    copy_line_array(region.lwdn1, grid.lwdn1);
    copy_line_array(region.lwdn2, grid.lwdn2);
    copy_line_array(region.taobs_day, grid.temp_surface_series);
    copy_line_array(region.spfh_day, grid.spfh_surface_series);
    copy_line_array(region.pres_day, grid.pres_surface_series);
    copy_line_array(region.wind_day, grid.wind_surface_series);
    copy_line_array(region.lwdn_day, grid.lwdn_surface_series);
    copy_line_array(region.sdn_day, grid.swdn_surface_series);
    copy_line_array(region.th_pblk, grid.th_pblk1);
    // the meteorological line arrays now have the model grid's extents
    region.met_ncols = grid.ncols;
    region.met_nlayers = grid.nlayers;
    region.met_nhours = grid.nhours;
    region.sdn_day_ncols = grid.ncols;
    region.sdn_day_nhours = grid.nhours;
    region.z_pbli.assign(static_cast<std::size_t>(grid.ncols) *
                             static_cast<std::size_t>(grid.nlayers), 0.0f);
    for (int k = 1; k <= grid.nlayers; ++k) {
        for (int i = 1; i <= grid.ncols; ++i) {
            region.z_pbli[region_2d_index(i, k, grid.ncols)] =
                height_from_surface[static_cast<std::size_t>(k - 1)];
        }
    }
    status = 0;
}



// ---- end of per-pixel meteorology at observation times ----


// ===================================================================================
// Region inputs (region-driver work)
// ===================================================================================

#include <algorithm>
#include <utility>

#include "file_io_mod.hpp"

namespace {

// Reads line `line` of a raster on `grid` into values, which must hold the grid's
// columns. A line outside the grid fails like a read beyond the file's end.
void read_region_line(const std::string& file_name, const Spatialinfodata& grid, int line,
                      std::vector<float>& values, int& status) {
    status = 0;
    if (line < 1 || line > grid.nrows || static_cast<int>(values.size()) != grid.ncols) {
        ornax_log_msg((FreeLine() << "File " << trim_right(file_name) << " read error! line" << line
                                  << "of" << grid.nrows << "lines," << grid.ncols << "columns for"
                                  << static_cast<int>(values.size()) << "values")
                          .str());
        status = 3;
        return;
    }
    read_2d_real_by_line(file_name, grid.ncols, grid.nrows, line, 0, values, status);
}

}  // namespace

int ornax_region_input_line(const Spatialinfodata& grid, float lat) {
    if (grid.dlat <= 0.0f) return 0;
    return static_cast<int>((lat - grid.south_lat) / grid.dlat) + 1;
}

void ornax_read_region_land_parms(const Spatialinfodata& land_grid, Ornaxregiondatatype& region,
                                  const std::vector<Ornaxlandtype>&, int, float lat, int& status) {
    status = 0;
    const int line = ornax_region_input_line(land_grid, lat);
    int read_status = 0;
    read_region_line(region.landcover_file, land_grid, line, region.Landcover, read_status);
    if (read_status != 0) {
        ornax_log_plain((FreeLine() << "Error loading land parameter").str());
        status = read_status;
        return;
    }
    const std::pair<const std::string*, std::vector<float>*> leaves[] = {
        {&region.aleafn_file, &region.aleafn}, {&region.aleafv_file, &region.aleafv},
        {&region.aleafl_file, &region.aleafl}, {&region.adeadn_file, &region.adeadn},
        {&region.adeadv_file, &region.adeadv}, {&region.adeadl_file, &region.adeadl},
        {&region.xl_file, &region.xl}};
    int failed = 0;  // every leaf raster is read; any failure fails the step
    for (const auto& [file, values] : leaves) {
        read_region_line(*file, land_grid, line, *values, read_status);
        if (read_status != 0) ++failed;
    }
    if (failed != 0) {
        status = 3;
        return;
    }
    const struct {
        const std::string* file;
        std::vector<float>* values;
        const char* message;
    } soils[] = {{&region.rsoiln_file, &region.rsoiln, "Error loading soil parameter rsoiln"},
                 {&region.rsoilv_file, &region.rsoilv, "Error loading soil parameter rsoilv"},
                 {&region.rs_correction_file, &region.rs_correct,
                  "Error loading soil resistance correction!"}};
    for (const auto& soil : soils) {
        read_region_line(*soil.file, land_grid, line, *soil.values, read_status);
        if (read_status != 0) {
            ornax_log_plain((FreeLine() << soil.message).str());
            status = read_status;
        }
    }
}

void ornax_read_region_snowmask(const Spatialinfodata& snow_grid, Ornaxregiondatatype& region,
                                float lat, int& status) {
    std::fill(region.snow_mask.begin(), region.snow_mask.end(), 0.0f);
    read_region_line(region.snow_mask_file, snow_grid, ornax_region_input_line(snow_grid, lat),
                     region.snow_mask, status);
}

void ornax_read_region_vegetation_data(const Spatialinfodata& veg_grid, Ornaxregiondatatype& region,
                                       float lat, int& status) {
    std::fill(region.xlai.begin(), region.xlai.end(), veg_grid.spare_value);
    std::fill(region.clump.begin(), region.clump.end(), 1.0f);
    std::fill(region.fg.begin(), region.fg.end(), 1.0f);
    read_region_line(region.xlai_file, veg_grid, ornax_region_input_line(veg_grid, lat),
                     region.xlai, status);
}

void ornax_read_region_goes_data(const Spatialinfodata& sat_grid, Ornaxregiondatatype& region,
                                 float lat, int& status) {
    status = 0;
    const int line = ornax_region_input_line(sat_grid, lat);
    const struct {
        const std::string* file;
        std::vector<float>* values;
        const char* message;
    } reads[] = {{&region.theta_file, &region.theta, "Reading view angle error"},
                 {&region.trad1_file, &region.trad1, "Reading TRAD1 error"},
                 {&region.trad2_file, &region.trad2, "Reading TRAD2 error"},
                 {&region.tloc1_file, &region.tloc1, "Reading time tloc1 error"},
                 {&region.tloc2_file, &region.tloc2, "Reading time tloc2 error"},
                 {&region.sdn1_file, &region.sdn1, "Reading time sdn1 error"},
                 {&region.sdn2_file, &region.sdn2, "Reading time sdn2 error"}};
    for (const auto& r : reads) {
        int read_status = 0;
        read_region_line(*r.file, sat_grid, line, *r.values, read_status);
        if (read_status != 0) {
            ornax_log_plain((FreeLine() << r.message).str());
            status = 3;
            return;
        }
    }
}

bool ornax_region_input_failed(const int step_status[5], long long& weighted_sum) {
    long long weight = 1;
    bool failed = false;
    weighted_sum = 0;
    for (int i = 0; i < 5; ++i) {
        weighted_sum += weight * step_status[i];
        weight *= 10;
        failed = failed || step_status[i] != 0;
    }
    return failed;
}

void ornax_read_region_data(Ornaxregiondatatype& region, Ornaxcommonblock& common,
                            Ornaxmeteoornax& met_grid, const Spatialinfodata&,
                            const Spatialinfodata& land_grid, const Spatialinfodata& veg_grid,
                            const Spatialinfodata& snow_grid, const Spatialinfodata&,
                            const Spatialinfodata& sat_grid,
                            const std::vector<Ornaxlandtype>& table, int, int region_switch,
                            int year, int doy, float lat, int& status) {
    int step[5] = {0, 0, 0, 0, 0};
    ornax_read_region_land_parms(land_grid, region, table, region_switch, lat, step[0]);
    if (step[0] != 0) ornax_log_msg((FreeLine() << "Read land parameters error" << step[0]).str());
    ornax_read_region_snowmask(snow_grid, region, lat, step[1]);
    if (step[1] != 0) ornax_log_msg((FreeLine() << "Read snow mask error" << step[1]).str());
    ornax_read_region_vegetation_data(veg_grid, region, lat, step[2]);
    if (step[2] != 0) ornax_log_plain((FreeLine() << "Read vegetation error" << step[2]).str());
    ornax_pro_region_meteorological_data(common, met_grid, region, year, doy, lat, step[3]);
    if (step[3] != 0)
        ornax_log_plain((FreeLine() << "Process Meteorological data error" << step[3]).str());
    ornax_read_region_goes_data(sat_grid, region, lat, step[4]);
    if (step[4] != 0) ornax_log_plain((FreeLine() << "Read GOES data error" << step[4]).str());

    long long sum = 0;
    status = 0;
    if (ornax_region_input_failed(step, sum)) {
        ornax_log_plain((FreeLine() << "Eorros in the input data" << sum).str());
        status = 3;
    }
}

// ---- end of region inputs ----
