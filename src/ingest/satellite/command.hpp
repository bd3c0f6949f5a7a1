// `ornax_ingest satellite`: geostationary surface-temperature scans into the satellite
// rasters of one day of a region run.
#pragma once

#include <cstdio>
#include <string>

#include "ingest/satellite/convert.hpp"

int ingest_satellite_run(int argc, char** argv);
void ingest_satellite_usage(std::FILE* stream);

// The rasters of a prepared request and manifest.json, in a folder staged beside out_dir
// and renamed into place at the end (an existing folder only with replace). Returns an
// exit code; the message names what failed.
int satellite_write_outputs(const std::string& out_dir, bool replace, const std::string& grid_name,
                            const std::string& command, const SatelliteRequest& rq,
                            const SatelliteResult& out);
