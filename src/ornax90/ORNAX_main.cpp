// Main program: command line, run log, dispatch on the run mode.
#include <cstdio>
#include <iostream>
#include <string>

#include "ORNAX_log_mod.hpp"
#include "ORNAX_run_mod.hpp"

int main(int argc, char** argv) {
    if (argc - 1 < 2) {
        std::cout << " Usage: " << argv[0] << " [OPTION...] [FILE]" << std::endl;
        return 2;
    }
    std::string log_name;
    int status = 0;
    ornax_log_open(log_name, status);
    if (status != 0) {
        ornax_log_msg("Log file open error!");
        return 3;
    }
    std::cout << " Running msg in " << log_name << std::endl;
    ornax_log_msg("ORNAX main program exit");
    ornax_log_close();
    return 0;
}
