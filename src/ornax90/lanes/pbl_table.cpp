// The boundary-layer table of the core state, written entry by entry on demand.
#include "ornax90/lanes/pbl_table.hpp"

#include <algorithm>

namespace {

constexpr float theta_step = 0.01f;  // potential-temperature step of the table (K)

}  // namespace

void lanes_extend_pbl_table(Ornaxpbltable& b, int entries, std::vector<float>& integral,
                            std::vector<float>& height) {
    entries = std::min(entries, ornax_pbl_table_size);
    if (static_cast<int>(integral.size()) < ornax_pbl_table_size) {
        integral.resize(ornax_pbl_table_size);
        height.resize(ornax_pbl_table_size);
    }
    const std::array<float, ornax_max_pbl_levels>& z = b.z;
    const std::array<float, ornax_max_pbl_levels>& th = b.th;
    // the values of the bracketing pair in locals, which the stores into the table cannot
    // alias
    const float theta0 = b.theta0;
    float* const out_integral = integral.data();
    float* const out_height = height.data();
    int i = b.pair;
    float z_low = z[i], dz = z[i + 1] - z[i];
    float th_low = th[i], th_high = th[i + 1], dth = th[i + 1] - th[i];
    float p = b.prev_theta;   // previous potential temperature (K)
    float q = b.prev_height;  // previous height (m)
    float s = b.integral;     // running integral (K m)
    int j = b.built;
    bool ended = b.ended;
    for (; j < entries && !ended; ++j) {
        // target 0.01 (j + 1) K above theta0; formed from theta0 rather than by adding
        // 0.01 K to the previous target, whose rounding in single precision drifts
        const float t = theta0 + theta_step * static_cast<float>(j + 1);
        if (t > th_high) {
            // move up to the first level above the pair that reaches t
            int k = i + 2;
            while (k < ornax_max_pbl_levels && th[k] < t) ++k;
            if (k >= ornax_max_pbl_levels) {  // the sounding ends below t
                ended = true;
                break;
            }
            i = k - 1;
            z_low = z[i], dz = z[i + 1] - z[i];
            th_low = th[i], th_high = th[i + 1], dth = th[i + 1] - th[i];
        }
        const float h = z_low + dz * (t - th_low) / dth;
        s = s + (t + p) * 0.5f * (h - q);
        out_integral[j] = s;
        out_height[j] = h;
        p = t;
        q = h;
    }
    // after the end of the sounding every entry repeats the last one written (z1 and 0
    // when none was)
    for (; j < entries; ++j) {
        height[j] = j > 0 ? height[j - 1] : b.z1;
        integral[j] = j > 0 ? integral[j - 1] : 0.0f;
    }
    b.ended = ended;
    b.pair = i, b.prev_theta = p, b.prev_height = q, b.integral = s;
    b.built = std::max(b.built, j);
}
