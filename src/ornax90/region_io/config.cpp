// Region configuration file: the labelled lines, the rules that turn each value into a
// stored path (HOME_DIR prefix, day directories) and the checks on the referenced files.
#include "ornax90/ORNAX_region_io_mod.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <utility>

#include "ornax90/ORNAX_log_mod.hpp"
#include "utils/fixed_text.hpp"

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
    const char* label;  // the label this system writes in columns 1-30
};

// Lines 6 to 65 of the configuration file, in order.
constexpr ConfigLine config_lines[region_config_last_line - region_config_first_line + 1] = {
    {ConfigRule::plain, ConfigCheck::required, "Land cover class table"},      // 6
    {ConfigRule::home, ConfigCheck::required, "Reserved file"},                // 7 reserved file
    {ConfigRule::plain, ConfigCheck::required, "Land domain"},                 // 8 land domain
    {ConfigRule::directory_line, ConfigCheck::none, "Static data directory"},  // 9
    {ConfigRule::in_directory, ConfigCheck::warned, "Land cover"},             // 10 land cover
    {ConfigRule::in_directory, ConfigCheck::warned, "Live leaf absorptivity NIR"},  // 11 aleafn
    {ConfigRule::in_directory, ConfigCheck::warned, "Live leaf absorptivity VIS"},  // 12 aleafv
    {ConfigRule::in_directory, ConfigCheck::warned, "Live leaf absorptivity TIR"},  // 13 aleafl
    {ConfigRule::in_directory, ConfigCheck::warned, "Dead leaf absorptivity NIR"},  // 14 adeadn
    {ConfigRule::in_directory, ConfigCheck::warned, "Dead leaf absorptivity VIS"},  // 15 adeadv
    {ConfigRule::in_directory, ConfigCheck::warned, "Dead leaf absorptivity TIR"},  // 16 adeadl
    {ConfigRule::in_directory, ConfigCheck::required, "Soil reflectance NIR"},      // 17 rsoiln
    {ConfigRule::in_directory, ConfigCheck::required, "Soil reflectance VIS"},      // 18 rsoilv
    {ConfigRule::in_directory, ConfigCheck::none, "Soil resistance factor"},        // 19
    {ConfigRule::in_directory, ConfigCheck::warned, "Leaf size"},                   // 20 leaf size
    {ConfigRule::in_directory, ConfigCheck::warned, "View zenith angle"},  // 21 view zenith angle
    {ConfigRule::separator, ConfigCheck::none, "------------------------------"},  // 22
    {ConfigRule::plain, ConfigCheck::required, "Vegetation domain"},  // 23 vegetation domain
    {ConfigRule::directory_line, ConfigCheck::none, "Vegetation directory"},  // 24
    {ConfigRule::dated, ConfigCheck::required, "Leaf area index"},            // 25 leaf area index
    {ConfigRule::separator, ConfigCheck::none, "------------------------------"},  // 26
    {ConfigRule::plain, ConfigCheck::required, "Snow domain"},                     // 27 snow domain
    {ConfigRule::directory_line, ConfigCheck::none, "Snow directory"},  // 28 snow directory
    {ConfigRule::dated, ConfigCheck::required, "Snow mask"},            // 29 snow mask
    {ConfigRule::separator, ConfigCheck::none, "------------------------------"},   // 30
    {ConfigRule::plain, ConfigCheck::required, "Meteorological configuration"},     // 31
    {ConfigRule::directory_line, ConfigCheck::none, "Observation time directory"},  // 32
    {ConfigRule::dated, ConfigCheck::required, "Local time 1"},                     // 33 tloc1
    {ConfigRule::dated, ConfigCheck::none, "Spare file 1"},                         // 34 spare 1
    {ConfigRule::dated, ConfigCheck::none, "Spare file 2"},                         // 35 spare 2
    {ConfigRule::dated, ConfigCheck::none, "Spare file 3"},                         // 36 spare 3
    {ConfigRule::dated, ConfigCheck::none, "Spare file 4"},                         // 37 spare 4
    {ConfigRule::dated, ConfigCheck::none, "Spare file 5"},                         // 38 spare 5
    {ConfigRule::dated, ConfigCheck::none, "Local time 2"},                         // 39 tloc2
    {ConfigRule::dated, ConfigCheck::none, "Spare file 6"},                         // 40 spare 6
    {ConfigRule::dated, ConfigCheck::none, "Spare file 7"},                         // 41 spare 7
    {ConfigRule::dated, ConfigCheck::none, "Spare file 8"},                         // 42 spare 8
    {ConfigRule::dated, ConfigCheck::none, "Spare file 9"},                         // 43 spare 9
    {ConfigRule::dated, ConfigCheck::none, "Spare file 10"},                        // 44 spare 10
    {ConfigRule::dated, ConfigCheck::none, "Spare file 11"},                        // 45 spare 11
    {ConfigRule::dated, ConfigCheck::none, "Spare file 12"},                        // 46 spare 12
    {ConfigRule::dated, ConfigCheck::none, "Spare file 13"},                        // 47 spare 13
    {ConfigRule::dated, ConfigCheck::none, "Spare file 14"},                        // 48 spare 14
    {ConfigRule::dated, ConfigCheck::none, "Spare file 15"},                        // 49 spare 15
    {ConfigRule::dated, ConfigCheck::none, "Spare file 16"},                        // 50 spare 16
    {ConfigRule::dated, ConfigCheck::none, "Spare file 17"},                        // 51 spare 17
    {ConfigRule::separator, ConfigCheck::none, "------------------------------"},   // 52
    {ConfigRule::plain, ConfigCheck::required, "Satellite domain"},  // 53 satellite domain
    {ConfigRule::directory_line, ConfigCheck::none, "Surface temperature directory"},  // 54
    {ConfigRule::dated, ConfigCheck::required, "Surface temperature 1"},               // 55 trad1
    {ConfigRule::dated, ConfigCheck::required, "Surface temperature 2"},               // 56 trad2
    {ConfigRule::separator, ConfigCheck::none, "------------------------------"},      // 57
    {ConfigRule::directory_line, ConfigCheck::none, "Insolation directory"},           // 58
    {ConfigRule::fixed_year, ConfigCheck::required, "Insolation 1"},                   // 59 sdn1
    {ConfigRule::fixed_year, ConfigCheck::required, "Insolation 2"},                   // 60 sdn2
    {ConfigRule::separator, ConfigCheck::none, "------------------------------"},      // 61
    {ConfigRule::plain, ConfigCheck::required, "Run domain"},            // 62 run domain
    {ConfigRule::plain, ConfigCheck::required, "Output variable list"},  // 63 output variable list
    {ConfigRule::home, ConfigCheck::none, "Output directory"},  // 64 output directory (optional)
    {ConfigRule::home, ConfigCheck::none, "Spare directory"},   // 65 spare directory (optional)
};

constexpr int config_header_lines = 5;
constexpr int config_optional_from = 64;  // lines from here on may be missing
constexpr int config_home_length = 256;   // longest HOME_DIR used

// State of one reading: HOME_DIR, the date pieces and the current directory.
struct ConfigContext {
    std::string home;
    bool home_set = false;          // HOME_DIR is in the environment
    bool home_unset_noted = false;  // the log said HOME_DIR is not set
    std::string date_directory;     // "/YYYYDDD/"
    std::string insolation_day;     // "2011DDD"
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
    ornax_log_failure(
        (FreeLine() << "Region configuration file " << file << " line" << line << what).str());
}

// The line (6..65) whose own label, as this system writes it, is `label` (normalised),
// other than `line` itself and not shared with it; 0 when there is none. A file with
// labels of its own never matches; a label of another line means lines swapped or shifted.
int line_of_foreign_label(const std::string& label, int line) {
    if (label.empty()) return 0;
    const std::string own = normalise_label(config_lines[line - region_config_first_line].label);
    if (label == own) return 0;
    for (int other = region_config_first_line; other <= region_config_last_line; ++other)
        if (normalise_label(config_lines[other - region_config_first_line].label) == label)
            return other;
    return 0;
}

// The configuration has no comments: the place of a line alone says what it holds, so a
// comment line would shift every later value. true (logged) for a line that starts with
// '#' or '!'.
bool is_comment_line(const std::string& file, int line, const std::string& text) {
    const std::string content = trim_both(text);
    if (content.empty() || (content[0] != '#' && content[0] != '!')) return false;
    log_config_failure(file, line,
                       "is a comment line (\"" + content.substr(0, 40) +
                           "\"); the file has none, each line's place says what it holds");
    return true;
}

// Lines 6-65: a comment line, or a line labelled as another line is (swapped or shifted
// lines), stops the reading. true when the line may be read.
bool config_line_in_place(const LabelledLineReader& reader, const std::string& file, int line) {
    if (is_comment_line(file, line, reader.line())) return false;
    const int other = line_of_foreign_label(normalise_label(reader.label()), line);
    if (other == 0) return true;
    const std::string expected = config_lines[line - region_config_first_line].label;
    log_config_failure(file, line,
                       "holds the label \"" + trim_both(reader.label()) + "\" of line " +
                           std::to_string(other) + " (\"" + expected +
                           "\" expected here): lines swapped or shifted");
    return false;
}

// A file named by a line that does not exist: its path and " not exist.", then the
// configuration file and the line that named it.
void log_missing_file(const std::string& path, const std::string& note, const std::string& file,
                      int line, bool fails) {
    const std::string where = "named by region configuration file " + file + " line " +
                              std::to_string(line) +
                              (path.empty() ? ", which holds no value in columns 31-286" : "");
    if (fails) {
        ornax_log_failure(
            path + " not exist." + note,
            file + " line " + std::to_string(line) + ": the file \"" + trim_both(path) +
                "\" it names does not exist" + note +
                (path.find(".") == std::string::npos || path.find_first_of("/") == std::string::npos
                     ? " (is " + file + " a region configuration? A site file runs with -s)"
                     : ""));
        ornax_log_failure(where);
    } else {
        ornax_log_msg(path + " not exist.");
        ornax_log_msg(where);
    }
}

// Reads lines 1 to 65 and stores the paths of lines 6 to 65; returns 0 or 3.
int read_config_values(LabelledLineReader& reader, const std::string& file, ConfigContext& context,
                       RegionConfigPaths& paths) {
    constexpr int value_width = 256;  // value in columns 31-286
    std::string value;
    for (int line = 1; line <= region_config_last_line; ++line) {
        bool present =
            line <= config_header_lines ? reader.skip() : reader.text(value_width, value);
        if (!present) {
            if (line >= config_optional_from) return 0;
            log_config_failure(file, line, "is missing: the file ends early");
            return ornax_status_failure;
        }
        if (line <= config_header_lines) continue;
        if (!config_line_in_place(reader, file, line)) return ornax_status_failure;
        const ConfigLine& rule = config_lines[line - region_config_first_line];
        if (rule.rule == ConfigRule::separator) continue;
        std::string path = compose_path(context, rule.rule, value);
        if (rule.rule == ConfigRule::home || rule.rule == ConfigRule::directory_line) {
            std::string note;
            path = ornax_home_prefixed_path(context.home, value, note);
            if (!note.empty())
                ornax_log_msg("Region configuration file " + file + " line " +
                              std::to_string(line) + ": " + note);
            if (!context.home_set && !context.home_unset_noted) {
                context.home_unset_noted = true;
                ornax_log_msg("HOME_DIR is not set: region configuration file " + file + " line " +
                              std::to_string(line) +
                              " and the lines after it that HOME_DIR "
                              "begins take their values (\"" +
                              value + "\") as written");
            }
        }
        if (static_cast<int>(path.size()) > region_config_path_length) {
            log_config_failure(file, line, "gives a path longer than 300 characters");
            return ornax_status_failure;
        }
        if (rule.rule == ConfigRule::directory_line) {
            context.directory = path;
            continue;
        }
        paths[static_cast<std::size_t>(line)] = path;
        if (rule.check == ConfigCheck::none || config_file_exists(path)) continue;
        {
            // a path that HOME_DIR should have begun says where the search went wrong
            const bool homeless = !context.home_set && rule.rule != ConfigRule::plain;
            const bool required = rule.check == ConfigCheck::required;
            log_missing_file(path, homeless ? " HOME_DIR is not set." : "", file, line, required);
        }
        if (rule.check == ConfigCheck::required) return ornax_status_failure;
    }
    return 0;
}

}  // namespace

void ornax_read_region_config_paths(const std::string& config_file, int year, int doy,
                                    RegionConfigPaths& paths, int& status) {
    status = 0;
    paths.fill(std::string());
    if (year < 1900 || year > 2100 || doy < 1 || doy > 366) {
        ornax_log_failure((FreeLine() << "Year" << year << "and day" << doy
                                      << "lie outside the years 1900 to 2100 and days 1 to 366 "
                                         "of a region configuration")
                              .str());
        status = ornax_status_failure;
        return;
    }
    ConfigContext context;
    const char* home = std::getenv("HOME_DIR");  // unset counts as empty
    context.home = trim_right(home != nullptr ? home : "");
    context.home_set = home != nullptr;
    if (static_cast<int>(context.home.size()) > config_home_length) {
        ornax_log_failure("HOME_DIR is longer than 256 characters");
        status = ornax_status_failure;
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
        ornax_log_failure("Error in opening the input config file " + name + ": " +
                          std::strerror(errno));
        status = ornax_status_failure;
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
    if (status != 0) return;
    // the insolation rasters are named after the year 2011 whatever the run's year
    ornax_log_msg("Insolation files (named after the year 2011, whatever the run's year " +
                  std::to_string(year) + "): line 59 " + region.sdn1_file + ", line 60 " +
                  region.sdn2_file);
}

std::string ornax_region_config_text(const std::array<std::string, 4>& header,
                                     const RegionConfigPaths& values) {
    std::vector<std::string> lines(header.begin(), header.end());
    lines.push_back(std::string(30, '-'));
    for (int line = region_config_first_line; line <= region_config_last_line; ++line) {
        const ConfigLine& rule = config_lines[line - region_config_first_line];
        lines.push_back(rule.rule == ConfigRule::separator
                            ? std::string(rule.label)
                            : labelled_line(rule.label, values[static_cast<std::size_t>(line)]));
    }
    return join_lines(lines);
}
