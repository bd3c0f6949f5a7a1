// Region configuration, land mask, line-by-line meteorology and the reading of one line
// of region inputs.
#pragma once

#include <string>

#include "ORNAX_data_mod.hpp"

// ===================================================================================
// Region configuration file (raster work)
// ===================================================================================


// ---- end of region configuration file ----


// ===================================================================================
// Land mask and land subset (forcing-a work)
// ===================================================================================


// ---- end of land mask and land subset ----


// ===================================================================================
// Line-by-line meteorological processing (forcing-b work)
// ===================================================================================


// ---- end of line-by-line meteorological processing ----


// ===================================================================================
// Per-pixel meteorology at observation times (forcing-b work)
// ===================================================================================


// ---- end of per-pixel meteorology at observation times ----


// ===================================================================================
// Region inputs (region-driver work)
// ===================================================================================


// ---- end of region inputs ----

