// Main program of the region run shared among the processes of an MPI job:
//     mpirun -np N ornax_mpi.x [--force] [--dated] -r0|-r1 CONFIG YEAR DOY [LAST_DOY]
// Same arguments, files and outputs as ornax.x in region mode, ranges of days included. Process 0
// writes the run log and the screen's "Running msg in" line. Every process ends with the same exit
// status: 0 success (or --help, -h, --version alone), 2 usage shown (fewer than two
// arguments, or not a region run), 3 on any failure of any process. A process that stops
// unexpectedly aborts the whole job.
#include <mpi.h>

#include <csignal>
#include <cstdio>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "ornax90/command_line/options.hpp"
#include "ornax90/ORNAX_data_mod.hpp"
#include "ornax90/ORNAX_log_mod.hpp"
#include "mpi/region.hpp"
#include "ornax90/command_line/version.hpp"
#include "utils/fixed_text.hpp"

namespace {

constexpr int exit_success = 0;
constexpr int exit_usage = 2;
constexpr int exit_failure = 3;

int finish(int exit_status) {
    std::cout.flush();
    std::fflush(stdout);
    std::fflush(stderr);
    return exit_status;
}

// The run record at the top of the log: command line, version and source commit.
void log_run_record(const std::string& program_name, const std::vector<std::string>& arguments) {
    std::string line = " Command line: ";
    line += program_name;
    for (const std::string& argument : arguments) line.append(" ").append(argument);
    ornax_log_plain(line);
    line.assign(1, ' ');
    line.append(ornax_version_line());
    ornax_log_plain(line);
}

// The causes of a failed run on the standard error stream: the first and the last one,
// then where the whole story is.
void show_failure_causes(const std::string& log_file_name) {
    const std::vector<std::string> causes = ornax_failure_causes();
    if (!causes.empty()) std::fprintf(stderr, "ornax_mpi.x: %s\n", causes.front().c_str());
    if (causes.size() > 1) std::fprintf(stderr, "ornax_mpi.x: %s\n", causes.back().c_str());
    std::fprintf(stderr, "ornax_mpi.x: run log %s\n", log_file_name.c_str());
}

// The run of one process; every process takes the same path and returns the same status.
int run(MPI_Comm comm, const std::string& program_name, const std::vector<std::string>& arguments) {
    int rank = 0;
    MPI_Comm_rank(comm, &rank);
    const bool leading = rank == 0;
    if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h")) {
        if (leading) ornax_display_usage_msg(program_name);
        return finish(exit_success);
    }
    if (arguments.size() == 1 && arguments[0] == "--version") {
        if (leading) std::cout << ornax_version_line() << std::endl;
        return finish(exit_success);
    }
    if (arguments.size() < 2) {
        if (leading) ornax_display_usage_msg(program_name);
        return finish(exit_usage);
    }

    // A file-size limit or a closed pipe on the screen makes a write fail with its reason
    // instead of ending the process.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    ornax_debug = 0;
    int status = 0;
    std::string log_file_name;
    // A follower's own messages before the run are dropped: the leader gives them too.
    Ornaxmessagebuffer ignored;
    std::optional<OrnaxMessageCapture> capture;
    if (!leading) capture.emplace(ignored);
    if (leading) {
        ornax_log_open(log_file_name, status);
        if (status != 0) {
            ornax_log_msg((FreeLine() << "Log file open error!").str());
        } else {
            std::cout << (FreeLine() << "Running msg in " << log_file_name).str() << std::endl;
            log_run_record(program_name, arguments);
        }
    }
    MPI_Bcast(&status, 1, MPI_INT, 0, comm);
    if (status != 0) return finish(exit_failure);

    debug_iflag = 0;
    Ornaxcommandlinetype command_line;
    ornax_parse_arguments(arguments, command_line, status);
    capture.reset();
    if (status != 0) {  // logged; the log ends without its exit line
        if (leading) show_failure_causes(log_file_name);
        return finish(status == ornax_status_usage ? exit_usage : exit_failure);
    }
    debug_iflag = command_line.debug_level;

    if (command_line.run_mode != ornax_run_mode_region) {
        if (leading) {
            std::cerr << "ornax_mpi.x runs the region mode only (-r0 or -r1 CONFIG YEAR DOY); "
                         "run ornax.x for the other modes\n";
            ornax_log_msg((FreeLine() << "Unimplemented mode: " << command_line.run_mode).str());
            ornax_log_close();
        }
        return finish(exit_usage);
    }
    if (leading) {
        ornax_log_msg(
            (FreeLine() << "Run in region mode: " << command_line.region_config_file).str());
        ornax_log_msg(command_line.region_switch == 1 ? " Soil-resistance correction on (-r1)"
                                                      : " Soil-resistance correction off (-r0)");
    }
    if (command_line.last_doy == 0 && !command_line.dated) {
        ornax_mpi_run_region(comm, command_line.region_config_file, command_line.region_switch,
                             command_line.year, command_line.doy, "", status);
    } else {  // a range, or one day in its dated folder
        Ornaxregionrangetype range;
        range.config_file = command_line.region_config_file;
        range.region_switch = command_line.region_switch;
        range.days =
            ornax_region_range_days(command_line.year, command_line.doy, command_line.last_doy);
        range.force = command_line.force;
        ornax_mpi_run_region_range(comm, range, status);
    }
    if (leading) {
        if (status != 0)
            ornax_log_failure(
                (FreeLine() << "Error in calculate data in" << command_line.region_config_file)
                    .str(),
                "Error in calculating the data of region configuration " +
                    trim_right(command_line.region_config_file));
        ornax_log_msg("ORNAX main program exit");
        ornax_log_close();
        if (status != 0) show_failure_causes(log_file_name);
    }
    return finish(status == 0 ? exit_success : exit_failure);
}

}  // namespace

int main(int argc, char** argv) {
    // Only the main thread calls MPI; the OpenMP threads of the line loop never do.
    int provided = 0;
    MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
    const std::string program_name = argc > 0 ? argv[0] : "ornax_mpi.x";
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    int exit_status = exit_failure;
    try {
        exit_status = run(MPI_COMM_WORLD, program_name, arguments);
    } catch (const std::exception& error) {
        // The others may wait in a collective call for this process: end them all.
        std::fprintf(stderr, "ornax_mpi.x: stopped: %s\n", error.what());
        MPI_Abort(MPI_COMM_WORLD, exit_failure);
    }
    MPI_Finalize();
    return exit_status;
}
