// Standardized anomalies of composite files of several years.
#pragma once

#include "composite/options.hpp"
#include "composite/run.hpp"

// Standardized anomalies of the mean ratio of composite files of several years: each
// window (same first day of year and length) across the years present. status 0 or 3.
void ornax_composite_anomalies(const Ornaxcompositeoptionstype& options,
                               Ornaxcompositereporttype& report, int& status);
