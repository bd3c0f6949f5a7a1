// Site input file, land-cover class table, site report, domain descriptions and the
// meteorological configuration.
#pragma once

#include <string>

#include "ORNAX_data_mod.hpp"

// ===================================================================================
// Site input file (site work)
// ===================================================================================


// ---- end of site input file ----


// ===================================================================================
// Land cover class table (site work)
// ===================================================================================


// ---- end of land cover class table ----


// ===================================================================================
// Site report (site work)
// ===================================================================================


// ---- end of site report ----


// ===================================================================================
// Domain description (raster work)
// ===================================================================================

// Reads a domain description: a header line, then east_lon, west_lon, dlon, north_lat,
// south_lat, dlat (f7.2 in columns 31-37, two implied decimals without a point), ncols,
// nrows, nlayers, nhours (i10 in columns 31-40) and spare_value (f7.2). Checks that west
// lies west of east, south south of north, and that ncols and nrows differ from the box
// over the step by at most one cell; every failed check is logged, sets status 3 and
// reading goes on. A missing or unreadable value line is logged with the file name and
// the line number, sets status 3 and leaves its field unchanged.
void read_domain_info_from_txt(const std::string& file_name, Spatialinfodata& grid, int& status);

// ---- end of domain description ----


// ===================================================================================
// Meteorological configuration (forcing-a work)
// ===================================================================================


// ---- end of meteorological configuration ----

