// The boundary-layer table of the core state, written entry by entry on demand. The
// heights and the heat-content terms of a run of entries that share a level pair are
// formed a vector at a time; the running integral adds them one after the other, so every
// entry is the same arithmetic as the entry-by-entry loop. Compiled once per instruction
// set; the run-time dispatch picks one.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "ornax90/lanes/pbl_table.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "ornax90/lanes/pbl_table.hpp"

HWY_BEFORE_NAMESPACE();
namespace ornax_pbl_lanes {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

constexpr float theta_step = 0.01f;  // potential-temperature step of the table (K)

// Entries b.built .. entries - 1 (0-based) of a started table, entries at most the size.
void ExtendTable(Ornaxpbltable& b, int entries, float* integral, float* height) {
    const hn::ScalableTag<float> d;
    const hn::RebindToSigned<decltype(d)> di;
    const int lanes = static_cast<int>(hn::Lanes(d));
    // one value before the vector's (the previous entry's) and the vector itself
    HWY_ALIGN float t_run[hn::MaxLanes(d) + 1];
    HWY_ALIGN float h_run[hn::MaxLanes(d) + 1];
    HWY_ALIGN float terms[hn::MaxLanes(d)];
    const std::array<float, ornax_max_pbl_levels>& z = b.z;
    const std::array<float, ornax_max_pbl_levels>& th = b.th;
    int i = b.pair;
    float p = b.prev_theta;   // previous potential temperature (K)
    float q = b.prev_height;  // previous height (m)
    float s = b.integral;     // running integral (K m)
    int j = b.built;
    while (j < entries && !b.ended) {
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
        // entries j .. j + count - 1 take this pair: entry j, and those of the vector up
        // to the first whose target passes th[i + 1]
        const auto number = hn::ConvertTo(d, hn::Iota(di, j + 1));
        const auto targets = hn::Add(hn::Set(d, b.theta0), hn::Mul(hn::Set(d, theta_step), number));
        const intptr_t past = hn::FindFirstTrue(d, hn::Gt(targets, hn::Set(d, th[i + 1])));
        const int below = past < 0 ? lanes : std::max(1, static_cast<int>(past));
        const int count = std::min(below, entries - j);
        const auto heights = hn::Add(
            hn::Set(d, z[i]),
            hn::Div(hn::Mul(hn::Set(d, z[i + 1] - z[i]), hn::Sub(targets, hn::Set(d, th[i]))),
                    hn::Set(d, th[i + 1] - th[i])));
        t_run[0] = p;
        h_run[0] = q;
        hn::StoreU(targets, d, t_run + 1);
        hn::StoreU(heights, d, h_run + 1);
        // (t + previous t) / 2 (h - previous h) of every entry
        const auto mean = hn::Mul(hn::Add(targets, hn::LoadU(d, t_run)), hn::Set(d, 0.5f));
        hn::Store(hn::Mul(mean, hn::Sub(heights, hn::LoadU(d, h_run))), d, terms);
        for (int n = 0; n < count; ++n) {
            s = s + terms[n];
            integral[j + n] = s;
            height[j + n] = h_run[n + 1];
        }
        p = t_run[count];
        q = h_run[count];
        j += count;
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

}  // namespace HWY_NAMESPACE
}  // namespace ornax_pbl_lanes
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace ornax_pbl_lanes {
HWY_EXPORT(ExtendTable);
}  // namespace ornax_pbl_lanes

void lanes_extend_pbl_table(Ornaxpbltable& b, int entries, std::vector<float>& integral,
                            std::vector<float>& height) {
    entries = std::min(entries, ornax_pbl_table_size);
    if (static_cast<int>(integral.size()) < ornax_pbl_table_size) {
        integral.resize(ornax_pbl_table_size);
        height.resize(ornax_pbl_table_size);
    }
    if (b.built >= entries) return;
    HWY_DYNAMIC_DISPATCH(ornax_pbl_lanes::ExtendTable)(b, entries, integral.data(), height.data());
}
#endif  // HWY_ONCE
