// Input checks shared by the site and region runs: the one table of physically possible
// input values, the check of a site's or pixel's records against it, the comparison of
// every input raster's size with the grid that describes it, and the observation times.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "ornax90/ORNAX_data_mod.hpp"
#include "ornax90/output/quality.hpp"

// Plausible range of one input quantity, in the core's units; `qc_bits` names the region
// input it belongs to (0: given by the run itself, checked in site mode only).
struct Ornaxinputrange {
    const char* quantity;
    float low;
    float high;
    const char* unit;
    int qc_bits;
};

// The whole range table, one row per quantity.
std::span<const Ornaxinputrange> ornax_input_range_table();

// Row of the range table by quantity ("soil reflectance"); nullptr when none.
const Ornaxinputrange* ornax_input_range(const std::string& quantity);

// First value found outside its range.
struct Ornaxrangefailure {
    std::string field;  // record field, with the level or hour for series ("taobs_day(5)")
    float value = 0.0f;
    const Ornaxinputrange* range = nullptr;
};

// Checks every input of a land record and an input record against the range table (the
// first `nhours` hourly values, the first `npbl` sounding levels). Also checks that the
// first observation precedes the second and that the day exists in the year. Returns the
// OR of the quality bits of the failed inputs (a failure of bit 0 still counts in
// `failures`); `first` describes the first failure.
int ornax_check_input_ranges(const Ornaxlandtype& land, const Ornaxinputvartype& input, int nhours,
                             int& failures, Ornaxrangefailure& first);

// Checks the class parameters of one class-table row (leaf values, heights, leaf size,
// cover). 0 when possible, else 3 with `first` set.
int ornax_check_class_ranges(const Ornaxlandtype& entry, Ornaxrangefailure& first);

// "FIELD = VALUE is outside LOW..HIGH UNIT (QUANTITY)".
std::string ornax_range_failure_text(const Ornaxrangefailure& failure);

// Size a raster of ncols x nrows x layers 4-byte values must have, in bytes.
long long ornax_raster_bytes(int ncols, int nrows, int layers);

// Compares one raster file's size with its grid. 0 when equal; 1 when the file does not
// exist; 3 when its size differs (logged with the file, its size and the expected size).
int ornax_check_raster_size(const std::string& file, int ncols, int nrows, int layers);

// Before the line loop of a region run: every input raster (land, vegetation, snow,
// satellite, insolation) must exist and hold exactly its grid; the forecast-model rasters
// of the day and the next must hold exactly the common grid's columns x rows x steps
// (x layers for the profile). A missing forecast-model file is logged (the meteorology
// of the pixels that need it then reads as missing). 0, or 3 with every problem logged.
int ornax_check_region_input_sizes(const Ornaxregiondatatype& region, const Spatialinfodata& land,
                                   const Spatialinfodata& veg, const Spatialinfodata& snow,
                                   const Spatialinfodata& sat, const Ornaxcommonblock& common,
                                   int year, int doy);

// Shortest time between the two observations (h): the morning rise of the surface
// temperature over a shorter time says nothing about the heat taken up by the air.
inline constexpr float ornax_min_observation_gap = 0.5f;

// Solar zenith (rad, 80 deg) below which the first observation is in daylight.
inline constexpr float ornax_daylight_zenith = 1.3962634f;

// The two observation times (local standard time, h) against the morning the method
// assumes: the second at least ornax_min_observation_gap after the first, both between
// the point's sunrise and its solar noon (so times in UTC given for local times are
// caught), and an insolation above 0 at the first when the sun stands higher than
// ornax_daylight_zenith. 0, or 3 with `why` telling what does not fit.
int ornax_check_observation_times(const Ornaxinputvartype& input, std::string& why);
