// Boundary layer: sounding table and layer growth.
#include "ornax90/ORNAX_pbl_mod.hpp"

#include <algorithm>
#include <cmath>

#include "ornax90/lanes/one.hpp"
#include "ornax90/ornax_constants_mod.hpp"

using namespace ornax_one_lane;

namespace {

constexpr float theta_step = 0.01f;  // potential-temperature step of the table (K)

}  // namespace

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

void ornax_extend_pbl_table(Ornaxpbltable& b, int entries, std::vector<float>& integral,
                            std::vector<float>& height) {
    entries = std::min(entries, ornax_pbl_table_size);
    if (static_cast<int>(integral.size()) < ornax_pbl_table_size) {
        integral.resize(ornax_pbl_table_size);
        height.resize(ornax_pbl_table_size);
    }
    const std::array<float, ornax_max_pbl_levels>& z = b.z;
    const std::array<float, ornax_max_pbl_levels>& th = b.th;
    int i = b.pair;
    float p = b.prev_theta;   // previous potential temperature (K)
    float q = b.prev_height;  // previous height (m)
    float s = b.integral;     // running integral (K m)
    int j = b.built;
    for (; j < entries && !b.ended; ++j) {
        // target 0.01 (j + 1) K above theta0; formed from theta0 rather than by adding
        // 0.01 K to the previous target, whose rounding in single precision drifts
        const float t = b.theta0 + theta_step * static_cast<float>(j + 1);
        if (t > th[i + 1]) {
            // move up to the first level above the pair that reaches t
            int k = i + 2;
            while (k < ornax_max_pbl_levels && th[k] < t) ++k;
            if (k >= ornax_max_pbl_levels) {  // the sounding ends below t
                b.ended = true;
                break;
            }
            i = k - 1;
        }
        const float h = z[i] + (z[i + 1] - z[i]) * (t - th[i]) / (th[i + 1] - th[i]);
        s = s + (t + p) * 0.5f * (h - q);
        integral[j] = s;
        height[j] = h;
        p = t;
        q = h;
    }
    // after the end of the sounding every entry repeats the last one written (z1 and 0
    // when none was)
    for (; j < entries; ++j) {
        height[j] = j > 0 ? height[j - 1] : b.z1;
        integral[j] = j > 0 ? integral[j - 1] : 0.0f;
    }
    b.pair = i, b.prev_theta = p, b.prev_height = q, b.integral = s;
    b.built = std::max(b.built, j);
}

void ornax_get_pbl_table(float z1, const std::array<float, ornax_max_pbl_levels>& z,
                         const std::array<float, ornax_max_pbl_levels>& th, int npbl, float& theta0,
                         std::vector<float>& integral, std::vector<float>& height, int& status) {
    integral.resize(ornax_pbl_table_size);
    height.resize(ornax_pbl_table_size);
    Ornaxpbltable build;
    ornax_start_pbl_table(z1, z, th, npbl, build, theta0, status);
    if (status == 0) ornax_extend_pbl_table(build, ornax_pbl_table_size, integral, height);
}

void ornax_grow_pbl(float ta1, float ta2, float tsec1, float tsec2, float rhocp1, float rhocp2,
                    float theta0, const std::vector<float>& integral,
                    const std::vector<float>& height, float z1, float& z2, float& new_hn,
                    int& status) {
    const Lanetable table{integral.data(), height.data(), nullptr};
    lanes_grow_pbl(ta1, ta2, tsec1, tsec2, rhocp1, rhocp2, theta0, table, z1, z2, new_hn);
    status = 0;
}
