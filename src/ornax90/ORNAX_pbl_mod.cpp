// Boundary layer: sounding table and layer growth.
#include "ornax90/ORNAX_pbl_mod.hpp"

#include <algorithm>
#include <cmath>

#include "ornax90/lanes/one.hpp"
#include "ornax90/ornax_constants_mod.hpp"

using namespace ornax_one_lane;

void ornax_start_pbl_table(float z1, const std::array<float, ornax_max_pbl_levels>& z,
                           const std::array<float, ornax_max_pbl_levels>& th, int npbl,
                           Ornaxpbltable& build, float& theta0, int& status) {
    build = Ornaxpbltable{};
    const int levels = std::min(npbl, ornax_max_pbl_levels);
    // level pair (i, i + 1), 0-based, that brackets z1
    int i = 0;
    for (;;) {
        const int n = i + 1;
        if (n >= levels) {  // no valid level above z1
            status = ornax_status_failure;
            return;
        }
        if (z1 < z[n]) break;
        i = n;
    }
    theta0 = th[i] + (th[i + 1] - th[i]) * (z1 - z[i]) / (z[i + 1] - z[i]);
    build.z = z;
    build.th = th;
    build.z1 = z1;
    build.theta0 = theta0;
    build.pair = i;
    build.prev_theta = theta0;
    build.prev_height = z1;
    build.integral = 0.0f;
    status = 0;
}

void ornax_get_pbl_table(float z1, const std::array<float, ornax_max_pbl_levels>& z,
                         const std::array<float, ornax_max_pbl_levels>& th, int npbl, float& theta0,
                         std::vector<float>& integral, std::vector<float>& height, int& status) {
    integral.resize(ornax_pbl_table_size);
    height.resize(ornax_pbl_table_size);
    Ornaxpbltable build;
    ornax_start_pbl_table(z1, z, th, npbl, build, theta0, status);
    if (status == 0) lanes_extend_pbl_table(build, ornax_pbl_table_size, integral, height);
}

void ornax_grow_pbl(float ta1, float ta2, float tsec1, float tsec2, float rhocp1, float rhocp2,
                    float theta0, const std::vector<float>& integral,
                    const std::vector<float>& height, float z1, float& z2, float& new_hn,
                    int& status) {
    const Lanetable table{integral.data(), height.data(), nullptr};
    lanes_grow_pbl(ta1, ta2, tsec1, tsec2, rhocp1, rhocp2, theta0, table, z1, z2, new_hn);
    status = 0;
}
