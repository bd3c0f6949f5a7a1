// Boundary layer: the table of heights and heat-content integrals of the morning sounding,
// and the growth of a well-mixed layer between the two observation times.
#pragma once

#include <vector>

#include "ornax90/ORNAX_data_mod.hpp"
#include "ornax90/lanes/pbl_table.hpp"

// Builds the table from the sounding z_pbli (m) / th_pblk (K) with npbl valid levels:
// entry j (0-based j - 1) is the height where the potential temperature has risen by
// 0.01 j K above theta0, the sounding's value at z1, and the integral of potential
// temperature over height from z1 up to it (K m). When the sounding ends before the last
// entry, the remaining entries repeat the last one written (height z1, integral 0 if none).
// status 3 when no level within npbl lies above z1.
void ornax_get_pbl_table(float z1, const std::array<float, ornax_max_pbl_levels>& z_pbli,
                         const std::array<float, ornax_max_pbl_levels>& th_pblk, int npbl,
                         float& theta0, std::vector<float>& integral, std::vector<float>& height,
                         int& status);

// Starts a table for the sounding (theta0 and the bracketing level pair, no entries yet);
// status 3 when no level within npbl lies above z1.
void ornax_start_pbl_table(float z1, const std::array<float, ornax_max_pbl_levels>& z_pbli,
                           const std::array<float, ornax_max_pbl_levels>& th_pblk, int npbl,
                           Ornaxpbltable& build, float& theta0, int& status);

// The table is written on demand by the lanes (lanes/pbl_table.hpp).

// Grows the layer from z1 between times tsec1 and tsec2 (s after the heating start) with
// air temperatures ta1, ta2 (deg C): sets z2 (m) and the HN (W m-2) whose linearly rising
// flux supplies the heat taken up. z2 and new_hn are left as they are when the rise lies
// outside the table. status 0.
void ornax_grow_pbl(float ta1, float ta2, float tsec1, float tsec2, float rhocp1, float rhocp2,
                    float theta0, const std::vector<float>& integral,
                    const std::vector<float>& height, float z1, float& z2, float& new_hn,
                    int& status);
