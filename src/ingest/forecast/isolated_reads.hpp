// The GRIB2 files of a conversion read in a child process (common/isolated_read): a
// decoder crash, a hang or a memory exhaustion on a corrupt file is a refusal naming it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ingest/common/isolated_read.hpp"
#include "ingest/forecast/grib.hpp"

// forecast_read_files in a child process, its store and summary handed back whole.
void forecast_read_files_isolated(const std::vector<std::string>& files,
                                  const Spatialinfodata& common, std::int64_t keep_from,
                                  std::int64_t keep_to, ForecastStore& store,
                                  ForecastReadSummary& summary, std::string& error, int& status);

// The store and summary as bytes, and back (false when the bytes do not hold them).
void pack_forecast_read(const ForecastStore& store, const ForecastReadSummary& summary,
                        IsolatedBytes& out);
bool unpack_forecast_read(IsolatedBytes& in, ForecastStore& store, ForecastReadSummary& summary);
