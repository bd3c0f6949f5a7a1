// `ornax_ingest satellite`: geostationary surface-temperature scans into the satellite
// rasters of one day of a region run.
#pragma once

#include <cstdio>

int ingest_satellite_run(int argc, char** argv);
void ingest_satellite_usage(std::FILE* stream);
