// Command line of the main program: usage text and option reading.
#include "ornax90/command_line/options.hpp"

#include <array>
#include <iostream>

#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/command_line/version.hpp"
#include "utils/fixed_text.hpp"

namespace {

constexpr int usage_box_width = 56;       // asterisk box over the usage text
constexpr int usage_comment_column = 40;  // example comments start here (1-based)
constexpr std::size_t argument_length = 300;

// Inner row of the asterisk box: "* text ... *", blank-padded to the box width.
std::string box_row(std::string_view text) {
    std::string row = "* ";
    row += text;
    row.resize(usage_box_width - 1, ' ');
    return row + "*";
}

// Example line: the command, blanks up to the comment column, the comment.
std::string example_row(std::string_view command, std::string_view comment) {
    std::string row(command);
    row.resize(usage_comment_column - 1, ' ');
    return row + std::string(comment);
}

constexpr int max_year = 9999;  // years are written in four digits

// An argument as the program holds it, trailing blanks removed; a value beyond the last
// argument reads as blank. Values longer than their 300-character field are refused by
// the option reader, never cut.
std::string argument_text(const std::vector<std::string>& arguments, std::size_t index) {
    if (index >= arguments.size()) return std::string();
    return trim_right(arguments[index]);
}

// A file name argument that fits its field; otherwise the cause is logged, false.
bool file_argument_fits(const std::string& option, const std::string& value) {
    if (value.size() <= argument_length) return true;
    ornax_log_failure("The file name after " + option + " is longer than " +
                      std::to_string(argument_length) + " characters: " + value.substr(0, 60) +
                      "...");
    return false;
}

bool leap_year(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// A whole number of digits only (surrounding blanks allowed) in 1..maximum, else -1.
int whole_number(const std::string& text, int maximum) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return -1;
    long long value = 0;
    for (std::size_t i = first; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return -1;
        value = value * 10 + (text[i] - '0');
        if (value > maximum) return -1;
    }
    return value >= 1 ? static_cast<int>(value) : -1;
}

// Usage errors: the argument named, logged and kept as the cause for the screen.
void refuse(const std::string& why, int& status) {
    ornax_log_failure(why + " (ornax.x --help shows the usage)");
    status = ornax_status_usage;
}

enum class Option { input, site, landcover, file_list, region0, region1, debug, unknown };

// The option an argument is, matched whole.
Option match_option(const std::string& argument) {
    static constexpr std::array<std::pair<std::string_view, Option>, 7> options = {{
        {"-i", Option::input},
        {"-s", Option::site},
        {"-l", Option::landcover},
        {"-b", Option::file_list},
        {"-r0", Option::region0},
        {"-r1", Option::region1},
        {"-d", Option::debug},
    }};
    for (const auto& [text, option] : options)
        if (argument == text) return option;
    return Option::unknown;
}

// Optional last day of a region range: LAST_DOY >= DOY in the same year, or LAST_DOY < DOY
// in the next year (the range crosses the year end).
void read_last_day(const std::string& text, Ornaxcommandlinetype& command_line, int& status) {
    const int read = whole_number(text, 366);
    const int year =
        read >= 0 && read < command_line.doy ? command_line.year + 1 : command_line.year;
    const int days = leap_year(year) ? 366 : 365;
    const int last = whole_number(text, days);
    if (last < 0 || year > max_year) {
        refuse("Invalid last day in the regional mode: \"" + text +
                   "\" is not a whole number from 1 to " + std::to_string(days) +
                   " (a day of year " + std::to_string(year) + ")",
               status);
        return;
    }
    command_line.last_doy = last;
}

bool starts_with_digit(const std::string& text) {
    return !text.empty() && text[0] >= '0' && text[0] <= '9';
}

// Region options: FILE YEAR DOY [LAST_DOY] after the option at index i (0-based). The year
// must be a whole number 1..9999 and the day one of the year's days (366 in a leap year).
// Returns the index of the first argument after them.
std::size_t read_region_option(const std::vector<std::string>& arguments, std::size_t i,
                               int region_switch, Ornaxcommandlinetype& command_line, int& status) {
    const std::string option = trim_right(arguments[i]);
    command_line.region_config_file = argument_text(arguments, i + 1);
    command_line.run_mode = ornax_run_mode_region;
    command_line.region_switch = region_switch;
    // the year and the day are the next two arguments that are not options
    std::size_t given = 0;
    while (given < 2 && i + 2 + given < arguments.size() &&
           match_option(trim_right(arguments[i + 2 + given])) == Option::unknown &&
           trim_right(arguments[i + 2 + given]).rfind("--", 0) != 0)
        ++given;
    if (i + 1 >= arguments.size() || given < 2) {
        ornax_log_failure((FreeLine() << "issing input year and day in the regional mode!").str());
        refuse(option + (i + 1 < arguments.size() ? " " + command_line.region_config_file : "") +
                   ": " + (i + 1 >= arguments.size() ? "the configuration file, " : "") +
                   "the year and the day of year are missing (" + option +
                   " CONFIG YEAR DOY [LAST_DOY])",
               status);
        return arguments.size();
    }
    if (!file_argument_fits(arguments[i], command_line.region_config_file)) {
        status = ornax_status_usage;
        return arguments.size();
    }
    const std::string year_text = argument_text(arguments, i + 2);
    const std::string day_text = argument_text(arguments, i + 3);
    const int year = whole_number(year_text, max_year);
    const int days = year > 0 && leap_year(year) ? 366 : 365;
    const int doy = whole_number(day_text, days);
    std::string problem;
    if (year < 0) {
        problem = "year \"" + year_text + "\" is not a whole number from 1 to 9999";
    } else if (doy < 0) {
        problem = "day \"" + day_text + "\" is not a whole number from 1 to " +
                  std::to_string(days) + " (a day of year " + std::to_string(year) + ")";
    }
    if (!problem.empty()) {
        refuse("Invalid input year and day in the regional mode: " + problem, status);
        return arguments.size();
    }
    command_line.year = year;
    command_line.doy = doy;
    // a last day begins with a digit
    const std::string last = argument_text(arguments, i + 4);
    if (starts_with_digit(last)) {
        read_last_day(last, command_line, status);
        return i + 5;
    }
    return i + 4;
}

}  // namespace

void ornax_display_usage_msg(std::string_view program_name, std::ostream& screen) {
    const std::string stars(usage_box_width, '*');
    const std::array<std::string, 7> box = {
        stars,
        box_row("ORNAX: two-source energy balance with a growing PBL"),
        box_row(""),
        box_row("ORNAX90 model, C++ edition"),
        box_row("Compute the daily ET locally or in a region."),
        box_row(ornax_version_line()),
        stars,
    };
    for (const std::string& row : box) screen << (FreeLine() << row).str() << '\n';
    FreeLine usage;
    usage << "Usage: " << trim_right(program_name) << " [OPTION...]";
    screen << usage.str() << '\n';
    static constexpr std::array<std::string_view, 24> options = {
        "Single site mode: input is an ASCII file, report on the screen",
        "  -s FILE     site input data in FILE",
        "  -l FILE     land-cover class table (default landcover.txt)",
        "Region mode: inputs and outputs are binary rasters",
        "  -r0 CONFIG YEAR DOY [LAST_DOY]   region ET model",
        "  -r1 CONFIG YEAR DOY [LAST_DOY]   with soil-resistance correction",
        "              CONFIG region configuration file; its paths marked",
        "              for it are prefixed with the environment variable",
        "              HOME_DIR, which must then be set",
        "              YEAR 1..9999, DOY 1..365 (366 in a leap year);",
        "              LAST_DOY runs every day to it, each into its folder",
        "              <output dir>/YYYYDDD (smaller than DOY: next year)",
        "  --force     run again days already published complete",
        "  --dated     one day's outputs into its dated folder too",
        "Any mode:",
        "  -d N        debug level N (extra diagnostic lines in the log)",
        "  --help, -h  this text;  --version  version and source commit",
        "              (each alone)",
        "Options are matched whole and may come in any order.",
        "The run log is ORNAX-YYYYMMDD-ThhHmmm.log in the working directory.",
        "Exit status: 0 success, 2 usage error (unknown option, missing",
        "  or invalid argument: named on stderr), 3 failure (cause on",
        "  stderr and in the log)",
        "Examples:",
    };
    for (std::string_view row : options) screen << (FreeLine() << row).str() << '\n';
    screen << example_row("ornax.x -s cropland_site.dat", "#site run on cropland_site.dat with")
           << '\n'
           << example_row("", "#the table landcover.txt (default)") << '\n'
           << example_row("ornax.x -s site.dat -l lc00.txt", "#site run on site.dat with the")
           << '\n'
           << example_row("", "#land-cover table lc00.txt") << '\n'
           << example_row("ornax.x -r0 region.cfg 2019 200", "#ET map of 2019 day 200 from the")
           << '\n'
           << example_row("", "#files region.cfg names (HOME_DIR set)") << '\n';
    screen.flush();
}

void ornax_display_usage_msg(std::string_view program_name) {
    ornax_display_usage_msg(program_name, std::cout);
}

void ornax_parse_arguments(const std::vector<std::string>& arguments,
                           Ornaxcommandlinetype& command_line, int& status) {
    status = 0;
    bool region_read = false;
    for (std::size_t i = 0; i < arguments.size() && status == 0;) {
        const std::string word = trim_right(arguments[i]);
        if (word == "--force") {
            command_line.force = true;
            ++i;
            continue;
        }
        if (word == "--dated") {
            command_line.dated = true;
            ++i;
            continue;
        }
        const Option option = match_option(word);
        if (option == Option::unknown) {
            ornax_log_msg((FreeLine() << "Unknown option!").str());
            refuse(!word.empty() && word[0] == '-'
                       ? "unknown option \"" + word + "\""
                       : "unexpected argument \"" + word + "\" (not after an option that takes it)",
                   status);
            return;
        }
        if (option == Option::region0 || option == Option::region1) {
            if (region_read) {
                refuse("a second region option \"" + word + "\": one region run per command",
                       status);
                return;
            }
            region_read = true;
            i = read_region_option(arguments, i, option == Option::region1 ? 1 : 0, command_line,
                                   status);
            continue;
        }
        // every other option takes one value
        const std::string value = argument_text(arguments, i + 1);
        if (i + 1 >= arguments.size() || match_option(value) != Option::unknown) {
            refuse("option " + word + " needs " +
                       (option == Option::debug ? "a debug level N" : "a file name"),
                   status);
            return;
        }
        if (option != Option::debug && !file_argument_fits(arguments[i], value)) {
            status = ornax_status_usage;
            return;
        }
        switch (option) {
            case Option::input: command_line.site_input_file = value; break;
            case Option::site:
                command_line.input_flag = 2;
                command_line.site_input_file = value;
                break;
            case Option::landcover: command_line.landcover_file = value; break;
            case Option::file_list:
                command_line.file_list = value;
                command_line.run_mode = ornax_run_mode_list;
                break;
            case Option::debug: {
                const int level = value == "0" ? 0 : whole_number(value, 99);
                if (level < 0) {
                    refuse("debug level \"" + value +
                               "\" after -d is not a whole number from 0 to 99",
                           status);
                    return;
                }
                command_line.debug_level = static_cast<std::int16_t>(level);
                break;
            }
            default: break;
        }
        i += 2;
    }
}
