// The output variables of a region run: the one table of the 42 names an output list may
// select, each with the record field its value comes from, its meaning, its unit as the
// model writes it, the same unit in UDUNITS notation and its CF standard name. The output
// list reader, the run's metadata files, the NetCDF export, the Python module and the
// README's list all come from it.
#pragma once

#include <span>
#include <string_view>

#include "ornax90/ORNAX_data_mod.hpp"

struct Ornaxoutputvariabletype {
    std::string_view name;             // raster name without ".bin", e.g. "EDAY"
    float Ornaxoutputvartype::*field;  // where a pixel's value is in the output record
    std::string_view description;      // what the value is
    std::string_view units;            // unit as the model writes it, e.g. "MJ m-2 day-1"
    std::string_view cf_units;         // the same unit in UDUNITS notation
    std::string_view standard_name;    // CF standard name, empty where CF has none
};

// Every output variable; code i of the output list (1-based) is entry i - 1.
std::span<const Ornaxoutputvariabletype> ornax_output_variables();
