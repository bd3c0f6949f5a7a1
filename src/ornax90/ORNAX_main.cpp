// Main program: command line, run log, dispatch on the run mode.
//
// A last day after the day runs every day of the range, each into its dated folder.
//
// Exit status: 0 when the run succeeded or --help / -h / --version was the only
// argument, 2 after the usage text (fewer than two arguments otherwise) and for a command
// line that cannot be run (an unknown option, a missing or invalid argument: named on the
// standard error stream), 3 on any failure (log not opened, mode not implemented, site or region
// run failed, a day of a range failed, the screen report not written). A failed run names its cause
// on the standard error stream as well as in the log.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "ornax90/command_line/options.hpp"
#include "ornax90/ORNAX_data_mod.hpp"
#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/ORNAX_run_mod.hpp"
#include "ornax90/command_line/version.hpp"
#include "utils/fixed_text.hpp"

namespace {

constexpr int exit_success = 0;
constexpr int exit_usage = 2;
constexpr int exit_failure = 3;

// The screen stream over the C standard output, keeping the reason of its first failed
// write or flush (a full device, a closed pipe).
class CheckedScreen : public std::streambuf {
public:
    int error_number = 0;

protected:
    int overflow(int c) override {
        if (c == EOF) return 0;
        if (std::fputc(c, stdout) == EOF) return failed();
        return c;
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        const std::size_t written = std::fwrite(text, 1, static_cast<std::size_t>(count), stdout);
        if (written != static_cast<std::size_t>(count)) failed();
        return static_cast<std::streamsize>(written);
    }
    int sync() override { return std::fflush(stdout) == 0 ? 0 : failed(); }

private:
    int failed() {
        if (error_number == 0) {
            error_number = errno != 0 ? errno : EIO;
            ornax_note_screen_failure(error_number);
        }
        return EOF;
    }
};

CheckedScreen checked_screen;
std::streambuf* standard_screen = nullptr;

// std::cout gets its own buffer back before checked_screen is destroyed: the final flush
// of the standard streams at exit must not reach a destroyed buffer.
void restore_standard_screen() {
    std::cout.flush();
    if (standard_screen != nullptr) std::cout.rdbuf(standard_screen);
}

// Screen output reaches the terminal before the process ends, on every path; a report
// that cannot be written fails the run.
int finish(int exit_status) {
    std::cout.flush();
    if (std::fflush(stdout) != 0 && checked_screen.error_number == 0)
        checked_screen.error_number = errno != 0 ? errno : EIO;
    if (checked_screen.error_number != 0 || std::ferror(stdout)) {
        const int reason = checked_screen.error_number != 0 ? checked_screen.error_number : EIO;
        std::fprintf(stderr, "ornax.x: cannot write to the standard output: %s\n",
                     std::strerror(reason));
        if (exit_status == 0) exit_status = ornax_status_failure;
    }
    std::fflush(stderr);
    return exit_status;
}

// The causes of a failed run on the standard error stream: the first one and, when there
// are more, the last one, then where the whole story is.
void show_failure_causes(const std::string& log_file_name) {
    const std::vector<std::string> causes = ornax_failure_causes();
    if (!causes.empty()) std::fprintf(stderr, "ornax.x: %s\n", causes.front().c_str());
    if (causes.size() > 1) std::fprintf(stderr, "ornax.x: %s\n", causes.back().c_str());
    if (!log_file_name.empty())
        std::fprintf(stderr, "ornax.x: run log %s\n", log_file_name.c_str());
}

// The run record at the top of the log: command line, version and source commit.
void log_run_record(const std::string& program_name, const std::vector<std::string>& arguments) {
    std::string line = " Command line: ";
    line += program_name;
    for (const std::string& argument : arguments) {
        line += ' ';
        line += argument;
    }
    ornax_log_plain(line);
    line.assign(1, ' ');
    line.append(ornax_version_line());
    ornax_log_plain(line);
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
            ornax_log_failure(message.str());
        }
    } else if (command_line.run_mode == ornax_run_mode_region) {
        ornax_log_msg(
            (FreeLine() << "Run in region mode: " << command_line.region_config_file).str());
        ornax_log_msg(command_line.region_switch == 1 ? " Soil-resistance correction on (-r1)"
                                                      : " Soil-resistance correction off (-r0)");
        if (command_line.last_doy == 0 && !command_line.dated) {
            ornax_run_region(command_line.region_config_file, ornax_run_mode_region,
                             command_line.region_switch, command_line.year, command_line.doy,
                             status);
        } else {  // a range, or one day in its dated folder
            Ornaxregionrangetype range;
            range.config_file = command_line.region_config_file;
            range.region_switch = command_line.region_switch;
            range.days =
                ornax_region_range_days(command_line.year, command_line.doy, command_line.last_doy);
            range.force = command_line.force;
            ornax_run_region_range(range, status);
        }
        if (status != 0) {
            ornax_log_failure(
                (FreeLine() << "Error in calculate data in" << command_line.region_config_file)
                    .str(),
                "Error in calculating the data of region configuration " +
                    trim_right(command_line.region_config_file));
        }
    } else {
        ornax_log_failure((FreeLine() << "Unimplemented mode: " << command_line.run_mode).str());
        status = ornax_status_failure;
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string program_name = argc > 0 ? argv[0] : "ornax.x";
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    standard_screen = std::cout.rdbuf(&checked_screen);
    std::atexit(restore_standard_screen);
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

    // A file-size limit or a closed pipe on the screen makes a write fail with its reason
    // instead of ending the process.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    ornax_debug = 0;
    std::string log_file_name;
    int status = 0;
    ornax_log_open(log_file_name, status);
    if (status != 0) {
        ornax_log_msg((FreeLine() << "Log file open error!").str());
        return finish(exit_failure);
    }
    std::cout << (FreeLine() << "Running msg in " << log_file_name).str() << std::endl;
    log_run_record(program_name, arguments);

    debug_iflag = 0;
    Ornaxcommandlinetype command_line;
    ornax_parse_arguments(arguments, command_line, status);
    if (status != 0) {  // logged; the log ends without its exit line
        show_failure_causes(log_file_name);
        return finish(status == ornax_status_usage ? exit_usage : exit_failure);
    }
    debug_iflag = command_line.debug_level;

    try {
        status = dispatch(command_line);
    } catch (const std::bad_alloc&) {
        ornax_log_failure("Out of memory");
        status = ornax_status_failure;
    }
    ornax_log_msg("ORNAX main program exit");
    ornax_log_close();
    const int exit_status = finish(status == 0 ? exit_success : exit_failure);
    if (exit_status != exit_success) show_failure_causes(log_file_name);
    return exit_status;
}
