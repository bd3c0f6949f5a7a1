// Boundary layer: sounding table and layer growth.
#include "ORNAX_pbl_mod.hpp"

#include <algorithm>
#include <cmath>

#include "ORNAX_lanes_one.hpp"
#include "ornax_constants_mod.hpp"

using namespace ornax_one_lane;

namespace {

constexpr float theta_step = 0.01f;  // potential-temperature step of the table (K)

// Fills entries from `first` on with the last written entry (or z1 and 0 if none).
void fill_table_tail(int first, float z1, std::vector<float>& integral,
                     std::vector<float>& height) {
    const float last_h = first > 0 ? height[first - 1] : z1;
    const float last_s = first > 0 ? integral[first - 1] : 0.0f;
    for (int j = first; j < ornax_pbl_table_size; ++j) {
        height[j] = last_h;
        integral[j] = last_s;
    }
}

}  // namespace

void ornax_get_pbl_table(float z1, const std::array<float, ornax_max_pbl_levels>& z,
                         const std::array<float, ornax_max_pbl_levels>& th, int npbl, float& theta0,
                         std::vector<float>& integral, std::vector<float>& height, int& status) {
    integral.resize(ornax_pbl_table_size);
    height.resize(ornax_pbl_table_size);
    const int levels = std::min(npbl, ornax_max_pbl_levels);
    // level pair (i, i + 1), 0-based, that brackets z1
    int i = 0;
    for (;;) {
        const int n = i + 1;
        if (n >= levels) {  // no valid level above z1
            status = 3;
            return;
        }
        if (z1 < z[n]) break;
        i = n;
    }
    theta0 = th[i] + (th[i + 1] - th[i]) * (z1 - z[i]) / (z[i + 1] - z[i]);
    float p = theta0;  // previous potential temperature (K)
    float q = z1;      // previous height (m)
    float s = 0.0f;    // running integral (K m)
    for (int j = 0; j < ornax_pbl_table_size; ++j) {
        // target 0.01 (j + 1) K above theta0; formed from theta0 rather than by adding
        // 0.01 K to the previous target, whose rounding in single precision drifts
        const float t = theta0 + theta_step * static_cast<float>(j + 1);
        if (t > th[i + 1]) {
            // move up to the first level above the pair that reaches t
            int k = i + 2;
            while (k < ornax_max_pbl_levels && th[k] < t) ++k;
            if (k >= ornax_max_pbl_levels) {  // the sounding ends below t
                fill_table_tail(j, z1, integral, height);
                status = 0;
                return;
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
    status = 0;
}

void ornax_grow_pbl(float ta1, float ta2, float tsec1, float tsec2, float rhocp1, float rhocp2,
                    float theta0, const std::vector<float>& integral,
                    const std::vector<float>& height, float z1, float& z2, float& new_hn,
                    int& status) {
    const Lanetable table{integral.data(), height.data()};
    lanes_grow_pbl(ta1, ta2, tsec1, tsec2, rhocp1, rhocp2, theta0, table, z1, z2, new_hn);
    status = 0;
}
