// `ornax_ingest raster`: any raster GDAL opens (or an ASCII snow-and-ice grid) onto one
// model grid, as one model raster with its manifest.
#pragma once

#include <cstdio>

int ingest_raster_run(int argc, char** argv);
void ingest_raster_usage(std::FILE* stream);
