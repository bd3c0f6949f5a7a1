// ornax_composite: gap-filled daily evapotranspiration, window composites and their
// standardized anomalies from the dated output folders of region runs.
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "composite/options.hpp"
#include "composite/run.hpp"
#include "composite/anomaly.hpp"
#include "ornax90/type_kinds.hpp"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    Ornaxcompositeoptionstype options;
    std::string why;
    int status = 0;
    ornax_composite_parse(args, options, why, status);
    if (status == 1) {
        std::printf("%s", ornax_composite_usage(argv[0]).c_str());
        return 0;
    }
    if (status != 0) {
        std::fprintf(stderr, "ornax_composite: %s\n%s", why.c_str(),
                     ornax_composite_usage(argv[0]).c_str());
        return 2;
    }
    options.command_line.assign(argv, argv + argc);
    Ornaxcompositereporttype report;
    try {
        if (options.anomaly_inputs.empty())
            ornax_composite_run(options, report, status);
        else
            ornax_composite_anomalies(options, report, status);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "ornax_composite: not enough memory for the grid\n");
        return ornax_status_failure;
    }
    if (status == 0) return 0;
    // A NetCDF file whose writes failed (a full device) stays open inside the HDF5 library,
    // whose own exit handler would close it again and crash; the outcome is settled (nothing
    // published, every message out), so the process ends without the exit handlers.
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(ornax_status_failure);
}
