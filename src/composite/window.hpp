// Windows over the days of a range and the per-pixel sums of a window's composite.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "composite/days.hpp"
#include "composite/gapfill.hpp"

struct Ornaxcompositewindowtype {
    int first = 0, last = 0;  // days of the range (from 0), inclusive
    int first_year = 0, first_doy = 0, last_year = 0, last_doy = 0;
    int days() const { return last - first + 1; }
    std::string label() const;  // "2019200_2019206"
};

// Windows over the days of the range: consecutive `window_days`-day windows from the
// first day, or calendar months when window_days is 0. A window the range does not cover
// whole is left out and named in `left_out`.
std::vector<Ornaxcompositewindowtype>
ornax_composite_windows(const std::vector<Ornaxcompositedaytype>& days, int window_days,
                        std::vector<std::string>& left_out);

// Sums of one window, per pixel.
struct Ornaxcompositeaccumtype {
    std::vector<double> et_sum, ratio_sum;
    std::vector<unsigned short> et_days, ratio_days, observed_days, filled_days;
};
void ornax_composite_accum_reset(Ornaxcompositeaccumtype& accum, std::size_t pixels);
void ornax_composite_accum_add(Ornaxcompositeaccumtype& accum, const Ornaxfilleddaytype& day,
                               float missing);

// The composite rasters of a window, in the order of ornax_composite_variables(): ET sum
// (MJ m-2) and in mm of water, written only where every day of the window has ET;
// mean ratio over the days with a ratio; counts of observed and filled days.
void ornax_composite_accum_result(const Ornaxcompositeaccumtype& accum, int window_days,
                                  float missing, std::vector<std::vector<float>>& rasters);
