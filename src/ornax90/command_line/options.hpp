// Command line of the main program: the usage text and the reading of the options into
// the run's file names, run mode and switches.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

inline constexpr int ornax_run_mode_site = 0;    // default: one site from a text file
inline constexpr int ornax_run_mode_list = 1;    // -b: file list, not implemented
inline constexpr int ornax_run_mode_region = 2;  // -r0 / -r1: region run
inline constexpr int ornax_switch_unset = -1;    // region model switch before -r0 / -r1
inline constexpr int ornax_status_usage = 2;     // a command line that cannot be run
inline constexpr int ornax_usage_line_count = 38;

// Values the main program keeps for the length of the run. File names are trimmed and
// hold at most 300 characters (a longer one is refused).
struct Ornaxcommandlinetype {
    std::string site_input_file = "in.dat";
    std::string landcover_file = "landcover.txt";
    std::string file_list = "filelist.txt";
    std::string region_config_file = "region_file.in";
    int run_mode = ornax_run_mode_site;
    int input_flag = 1;                      // -s sets 2
    int region_switch = ornax_switch_unset;  // -r0 sets 0, -r1 sets 1
    int year = 0;                            // year of a region run
    int doy = 0;                             // day of year of a region run
    int last_doy = 0;              // last day of a range of days (0: one day); below doy: next year
    bool force = false;            // --force: days already published complete are run again
    bool dated = false;            // --dated: a single day's outputs go to its dated folder too
    std::int16_t debug_level = 0;  // -d N
};

// Prints the usage text (ornax_usage_line_count lines) with the program name as invoked.
void ornax_display_usage_msg(std::string_view program_name, std::ostream& screen);
void ornax_display_usage_msg(std::string_view program_name);

// Reads the options (arguments after the program name), each matched whole: -i FILE,
// -s FILE, -l FILE, -b FILE, -d N, -r0|-r1 CONFIG YEAR DOY [LAST_DOY], --force, --dated, in
// any order (options may follow the region option's values). YEAR is a whole number
// 1..9999, DOY one of that year's days; LAST_DOY (an argument beginning with a digit) makes
// a range: a day of the same year not before DOY or, when smaller, a day of the next year.
// status ornax_status_usage (2), the cause logged naming the argument, for an unknown
// option or stray argument, an option without its value, a missing or invalid year or day,
// a debug level that is not a whole number 0..99, a file name longer than 300 characters,
// or a second region option; "Unknown option!" and "issing input year and day in the
// regional mode!" are logged before the cause, as ever.
void ornax_parse_arguments(const std::vector<std::string>& arguments,
                           Ornaxcommandlinetype& command_line, int& status);
