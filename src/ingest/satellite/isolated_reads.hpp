// Geostationary scans read in a child process (common/isolated_read): a NetCDF or HDF5
// crash, a hang or a memory exhaustion on a corrupt file is a refusal naming it.
#pragma once

#include <string>

#include "ingest/common/isolated_read.hpp"
#include "ingest/satellite/abi_scan.hpp"
#include "ingest/satellite/convert.hpp"

// read_geos_scan and read_geos_header in a child process.
void read_geos_scan_isolated(const std::string& file, const std::string& variable,
                             const std::string& expected_units, GeosScan& scan, std::string& error,
                             int& status);
void read_geos_header_isolated(const std::string& file, const std::string& variable,
                               const std::string& expected_units, GeosScan& scan,
                               std::string& error, int& status);

// prepare_satellite in a child process: the scans decoded and warped there (so that the
// converter itself never starts the warper's threads), the rasters handed back.
void prepare_satellite_isolated(const SatelliteRequest& request, SatelliteResult& result,
                                std::string& error, int& status);

// A scan as bytes, and back.
void pack_geos_scan(const GeosScan& scan, IsolatedBytes& out);
bool unpack_geos_scan(IsolatedBytes& in, GeosScan& scan);
