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
inline constexpr int ornax_usage_line_count = 27;

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
    int last_doy = 0;      // last day of a range of days (0: one day); below doy: next year
    bool force = false;    // --force: days already published complete are run again
    bool dated = false;    // --dated: a single day's outputs go to its dated folder too
    std::int16_t debug_level = 0;            // -d N
};

// Prints the 27-line usage text with the program name as invoked.
void ornax_display_usage_msg(std::string_view program_name, std::ostream& screen);
void ornax_display_usage_msg(std::string_view program_name);

// Reads the options (arguments after the program name) in pairs. An argument selects the
// first option whose text occurs anywhere inside it, tried in the order -i -s -l -b -r0 -r1
// -d; anything else logs "Unknown option!" and skips the pair. -r0/-r1 take the file, the
// year and the day and end the reading. status 3 (the cause logged, naming the argument)
// when a file name is longer than 300 characters, or a region option lacks its year and
// day, or they are not whole numbers within 1..9999 and the days of that year.
// --force and --dated, anywhere, set their switches. After the day an optional last day
// (an argument beginning with a digit) makes a range: a day of the same year not before the first day, or, when smaller than
// the first day, a day of the next year (a range crossing the year end).
void ornax_parse_arguments(const std::vector<std::string>& arguments,
                           Ornaxcommandlinetype& command_line, int& status);
