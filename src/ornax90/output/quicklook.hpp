// Quicklook maps of a region run: PNG pictures of one output variable (viridis colour
// ramp, missing pixels grey, a colour bar with the unit) and of the quality flags
// (categorical colours with a legend), north up, with a title and the grid's corners.
// Files are written under a temporary name and renamed into place.
#pragma once

#include <string>
#include <vector>

#include "ornax90/ORNAX_data_mod.hpp"

struct Ornaxrgbtype {
    unsigned char r = 0, g = 0, b = 0;
};

// Colour of missing pixels.
inline constexpr Ornaxrgbtype ornax_quicklook_missing{150, 150, 150};

// Colour of the viridis ramp at t (0 dark blue-violet to 1 yellow; t clamped to [0, 1]).
Ornaxrgbtype ornax_viridis(float t);

// Colour of a quality flag on the quality map.
Ornaxrgbtype ornax_quality_colour(int flag);

// Map of values (grid.ncols x grid.nrows, line 1 = south first), scaled between the
// smallest and largest valid value; `missing` and non-finite values grey. status 0 or 3.
void ornax_write_value_quicklook(const std::string& path, const std::vector<float>& values,
                                 const Spatialinfodata& grid, float missing,
                                 const std::string& title, const std::string& units, int& status);

// Map of quality flags (grid.ncols x grid.nrows, south first) with a legend giving each
// flag's meaning and pixel count. status 0 or 3.
void ornax_write_quality_quicklook(const std::string& path, const std::vector<unsigned char>& flags,
                                   const Spatialinfodata& grid, const std::string& title,
                                   int& status);

// Five column bytes of the 5 x 7 glyph of a printable ASCII character (bit 0 = top row);
// a blank glyph for any other character.
const unsigned char* ornax_quicklook_glyph(char c);
