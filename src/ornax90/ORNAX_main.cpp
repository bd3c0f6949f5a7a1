// Main program: command line, run log, dispatch on the run mode.
//
// Exit status: 0 when the run succeeded or --help / -h / --version was the only
// argument, 2 after the usage text (fewer than two arguments otherwise), 3 on any failure
// (log not opened, bad region arguments, mode not implemented, site or region run failed).
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "ORNAX_cmdline_mod.hpp"
#include "ORNAX_data_mod.hpp"
#include "ORNAX_log_mod.hpp"
#include "ORNAX_run_mod.hpp"
#include "ORNAX_version_mod.hpp"
#include "fixed_text_mod.hpp"

namespace {

constexpr int exit_success = 0;
constexpr int exit_usage = 2;
constexpr int exit_failure = 3;

// Screen output reaches the terminal before the process ends, on every path.
int finish(int exit_status) {
    std::cout.flush();
    std::fflush(stdout);
    std::fflush(stderr);
    return exit_status;
}

// Runs the chosen mode; status 0 on success.
int dispatch(const Ornaxcommandlinetype& command_line) {
    int status = 0;
    if (command_line.run_mode == ornax_run_mode_site) {
        ornax_run_point(command_line.landcover_file, command_line.site_input_file,
                        ornax_run_mode_site, command_line.input_flag, status);
        if (status != 0) {
            FreeLine message;
            message << "Error in executing ORNAX with data in " << command_line.site_input_file
                    << " and land cover in " << command_line.landcover_file;
            ornax_log_msg(message.str());
        }
    } else if (command_line.run_mode == ornax_run_mode_region) {
        ornax_log_msg(
            (FreeLine() << "Run in region mode: " << command_line.region_config_file).str());
        ornax_run_region(command_line.region_config_file, ornax_run_mode_region,
                         command_line.region_switch, command_line.year, command_line.doy, status);
        if (status != 0) {
            ornax_log_msg(
                (FreeLine() << "Error in calculate data in" << command_line.region_config_file)
                    .str());
        }
    } else {
        ornax_log_msg((FreeLine() << "Unimplemented mode: " << command_line.run_mode).str());
        status = 3;
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string program_name = argc > 0 ? argv[0] : "ornax.x";
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h")) {
        ornax_display_usage_msg(program_name);
        return finish(exit_success);
    }
    if (arguments.size() == 1 && arguments[0] == "--version") {
        std::cout << ornax_version_line() << std::endl;
        return finish(exit_success);
    }
    if (arguments.size() < 2) {
        ornax_display_usage_msg(program_name);
        return finish(exit_usage);
    }

    ornax_debug = 0;
    std::string log_file_name;
    int status = 0;
    ornax_log_open(log_file_name, status);
    if (status != 0) {
        ornax_log_msg((FreeLine() << "Log file open error!").str());
        return finish(exit_failure);
    }
    std::cout << (FreeLine() << "Running msg in " << log_file_name).str() << std::endl;

    debug_iflag = 0;
    Ornaxcommandlinetype command_line;
    ornax_parse_arguments(arguments, command_line, status);
    if (status != 0) return finish(exit_failure);  // logged; the log ends without its exit line
    debug_iflag = command_line.debug_level;

    status = dispatch(command_line);
    ornax_log_msg("ORNAX main program exit");
    ornax_log_close();
    return finish(status == 0 ? exit_success : exit_failure);
}
