// Site run and region run drivers.
#include "ORNAX_run_mod.hpp"

#include "ORNAX_log_mod.hpp"

// ===================================================================================
// Site run (site work)
// ===================================================================================

void ornax_run_point(const std::string&, const std::string&, int, int, int& status) {
    ornax_log_msg(" Site mode is not available in this build");
    status = 3;
}

// ---- end of site run ----

// ===================================================================================
// Region run (region-driver work)
// ===================================================================================

void ornax_run_region(const std::string&, int, int, int, int, int& status) {
    ornax_log_msg(" Region mode is not available in this build");
    status = 3;
}

// ---- end of region run ----
