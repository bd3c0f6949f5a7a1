// Command line of the main program: usage text and option reading.
#include "ORNAX_cmdline_mod.hpp"

#include <array>
#include <iostream>

#include "ORNAX_log_mod.hpp"
#include "fixed_text_mod.hpp"

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

bool leap_year(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

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

enum class Option { input, site, landcover, file_list, region0, region1, debug, unknown };

// First option, in the order of the table, whose text occurs anywhere in the argument.
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
        if (argument.find(text) != std::string::npos) return option;
    return Option::unknown;
}

// Optional last day of a region range: LAST_DOY >= DOY in the same year, or LAST_DOY < DOY
// in the next year (the range crosses the year end).
void read_last_day(const std::string& text, Ornaxcommandlinetype& command_line, int& status) {
    const int read = whole_number(text, 366);
    const int year = read >= 0 && read < command_line.doy ? command_line.year + 1 : command_line.year;
    const int days = leap_year(year) ? 366 : 365;
    const int last = whole_number(text, days);
    if (last < 0 || year > max_year) {
        ornax_log_failure("Invalid last day in the regional mode: \"" + text +
                          "\" is not a whole number from 1 to " + std::to_string(days) +
                          " (a day of year " + std::to_string(year) + ")");
        status = 3;
        return;
    }
    command_line.last_doy = last;
}

// Region options: FILE YEAR DOY after the option at index i (0-based). The year must be a
// whole number 1..9999 and the day one of the year's days (366 in a leap year).
void read_region_option(const std::vector<std::string>& arguments, std::size_t i, int region_switch,
                        Ornaxcommandlinetype& command_line, int& status) {
    command_line.region_config_file = argument_text(arguments, i + 1);
    command_line.run_mode = ornax_run_mode_region;
    command_line.region_switch = region_switch;
    if (i + 3 >= arguments.size()) {
        ornax_log_failure((FreeLine() << "issing input year and day in the regional mode!").str());
        status = 3;
        return;
    }
    if (!file_argument_fits(arguments[i], command_line.region_config_file)) {
        status = 3;
        return;
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
        ornax_log_failure("Invalid input year and day in the regional mode: " + problem);
        status = 3;
        return;
    }
    command_line.year = year;
    command_line.doy = doy;
    status = 0;
    // a last day begins with a digit; anything else after the day is not read, as before
    const std::string last = argument_text(arguments, i + 4);
    if (!last.empty() && last[0] >= '0' && last[0] <= '9') read_last_day(last, command_line, status);
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
        box_row("version 0.5, 03-10-2015"),
        stars,
    };
    for (const std::string& row : box) screen << (FreeLine() << row).str() << '\n';
    FreeLine usage;
    usage << "Usage: " << trim_right(program_name) << " [OPTION...] [FILE]";
    screen << usage.str() << '\n';
    static constexpr std::array<std::string_view, 13> options = {
        "[OPTION...] - ORNAX has the following running modes",
        "Single site mode: input is ASCII file, outputs to the screen",
        "  -s [FILE]   use input data in [FILE] to compute daily ET",
        "              this is for ORNAX90 inputs only.",
        "  -l [FILE]   use input land cover parameters in [FILE] to",
        "              compute daily ET",
        "Region mode: inputs/outputs are binary files",
        "  -r0 [FILE] [YEAR] [DOY]    region ESI model",
        "  -r1 [FILE] [YEAR] [DOY]    region ET model",
        "                             use soil resistance correction",
        "              [FILE] regional configuration file ",
        "              [YEAR][DOY] on Year and DOY",
        "Examples:",
    };
    for (std::string_view row : options) screen << (FreeLine() << row).str() << '\n';
    screen << example_row("ornax.x -s ornax_site.in",
                          "#Compute ET from ASCII file lc11_0251_0150.dat")
           << '\n'
           << example_row("", "#and landcover.txt(default)") << '\n'
           << example_row("ornax.x -s ornax_site.in -l lc00.txt",
                          "#Compute ET from in.dat and use the")
           << '\n'
           << example_row("", "#land cover parameters in the lc00.txt") << '\n'
           << example_row("ornax.x -r0 na8km.cfg 2014 183",
                          "#Compute ET map from data files listed ")
           << '\n'
           << example_row("", "#in na8km.cfg for day 2014 183") << '\n';
    screen.flush();
}

void ornax_display_usage_msg(std::string_view program_name) {
    ornax_display_usage_msg(program_name, std::cout);
}

void ornax_parse_arguments(const std::vector<std::string>& all_arguments,
                           Ornaxcommandlinetype& command_line, int& status) {
    status = 0;
    // the switches of a range run, taken out before the options are read in pairs
    std::vector<std::string> arguments;
    for (const std::string& argument : all_arguments) {
        const std::string text = trim_right(argument);
        if (text == "--force")
            command_line.force = true;
        else if (text == "--dated")
            command_line.dated = true;
        else
            arguments.push_back(argument);
    }
    for (std::size_t i = 0; i < arguments.size(); i += 2) {
        const std::string value = argument_text(arguments, i + 1);
        const Option option = match_option(argument_text(arguments, i));
        const bool names_file = option == Option::input || option == Option::site ||
                                option == Option::landcover || option == Option::file_list;
        if (names_file && !file_argument_fits(arguments[i], value)) {
            status = 3;
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
            case Option::region0: read_region_option(arguments, i, 0, command_line, status); return;
            case Option::region1: read_region_option(arguments, i, 1, command_line, status); return;
            case Option::debug:
                // character code of the first character minus that of "0" (a blank value: " ")
                command_line.debug_level =
                    static_cast<std::int16_t>((value.empty() ? ' ' : value[0]) - '0');
                break;
            case Option::unknown: ornax_log_msg((FreeLine() << "Unknown option!").str()); break;
        }
    }
}
