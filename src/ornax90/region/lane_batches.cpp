// Batches of points on the vector core: one point per lane of the widest vector the
// processor has (chosen at run time), lanes refilled with the next point as soon as theirs
// finishes. Compiled once per instruction set; the run-time dispatch picks one.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "ornax90/region/lane_batches.cpp"
// Sizeless vector types cannot be members of the lane number.
#define HWY_DISABLED_TARGETS (HWY_SVE | HWY_SVE2 | HWY_SVE_256 | HWY_SVE2_128 | HWY_RVV)
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "ornax90/ORNAX_core_mod.hpp"
#include "ornax90/ORNAX_data_mod.hpp"
#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/ORNAX_utl_mod.hpp"
#include "utils/fixed_text.hpp"
#include "ornax90/ornax_constants_mod.hpp"
#include "ornax90/lanes/vector-inl.hpp"

HWY_BEFORE_NAMESPACE();
namespace ornax_lanes {
namespace HWY_NAMESPACE {

// A record of one point (all floats) into lane l of the lanes record, and back.
template <class One, class Many> void put_lane(const One& one, std::size_t l, Many& many) {
    const std::size_t n = hn::Lanes(Lanetag());
    const float* src = reinterpret_cast<const float*>(&one);
    float* dst = reinterpret_cast<float*>(&many);
    for (std::size_t f = 0; f < sizeof(One) / sizeof(float); ++f) dst[f * n + l] = src[f];
}
template <class One, class Many> void get_lane(const Many& many, std::size_t l, One& one) {
    const std::size_t n = hn::Lanes(Lanetag());
    const float* src = reinterpret_cast<const float*>(&many);
    float* dst = reinterpret_cast<float*>(&one);
    for (std::size_t f = 0; f < sizeof(One) / sizeof(float); ++f) dst[f] = src[f * n + l];
}
float lane_value(const Lanef& v, std::size_t l) {
    HWY_ALIGN float values[hn::MaxLanes(Lanetag())];
    hn::Store(v.v, Lanetag(), values);
    return values[l];
}

// A point whose heat-flux solution converged, waiting for its daily integration.
struct Convergedpoint {
    Ornaxcorepoint* point;
    Ornaxcorelanes<float> state;
};

// Daily integration of up to one vector of converged points; unused lanes repeat the first.
void integrate_daily(std::vector<Convergedpoint>& queue) {
    const std::size_t n = hn::Lanes(Lanetag());
    Ornaxcorelanes<Lanef> state;
    Ornaxpointlanes<Lanef> point;
    for (std::size_t l = 0; l < n; ++l) {
        const Convergedpoint& c = queue[l < queue.size() ? l : 0];
        put_lane(c.state, l, state);
        put_lane(ornax_point_lanes(*c.point->land, *c.point->input), l, point);
    }
    Ornaxoutputlanes<Lanef> output;
    const Lanem failed = lanes_integrate_daily_flux(point, state, output);
    const Lanef failed_lanes = lane_select(failed, Lanef(1.0f), Lanef(0.0f));
    for (std::size_t l = 0; l < queue.size(); ++l) {
        Ornaxcorepoint& p = *queue[l].point;
        get_lane(output, l, p.output);
        p.daily_failed = lane_value(failed_lanes, l) != 0.0f;
        // a value that is not a number must not leave the core
        p.status = ornax_output_is_finite(p.output) ? 0 : 3;
    }
    queue.clear();
}

void RunPoints(Ornaxcorepoint* points, std::size_t count, int region_switch, int debug_flag,
               std::vector<Ornaxdailyvartype>* kept_states) {
    const std::size_t n = hn::Lanes(Lanetag());
    static_assert(sizeof(Lanef) == sizeof(hn::Vec<Lanetag>));
    Ornaxcorelanes<Lanef> state;
    Ornaxpointlanes<Lanef> point;
    Ornaxhnlanes<Lanef> loop;
    // each lane's start state and its table; a kept table is written again from its start
    // for every point, and no entry beyond what a point wrote is read
    std::vector<Ornaxdailyvartype> own_states;
    std::vector<Ornaxdailyvartype>& states = kept_states != nullptr ? *kept_states : own_states;
    states.resize(n);
    const Lanetable table{&states};
    std::vector<Ornaxcorepoint*> in_lane(n, nullptr);
    std::vector<Convergedpoint> converged_queue;
    converged_queue.reserve(n);
    std::size_t next = 0;
    // Loads the next point that passes the run initialisation into lane l.
    const auto fill = [&](std::size_t l) {
        in_lane[l] = nullptr;
        Ornaxdailyvartype& start = states[l];
        while (next < count) {
            Ornaxcorepoint& p = points[next++];
            p.diagnostics = Ornaxcorediagnostics{};
            p.daily_failed = false;
            static_cast<Ornaxcorelanes<float>&>(start) = Ornaxcorelanes<float>{};
            int st = 0;
            ornax_run_init(*p.land, *p.input, start, debug_flag, st);
            if (st != 0) {
                p.status = ornax_status_failure;
                continue;
            }
            put_lane(static_cast<const Ornaxcorelanes<float>&>(start), l, state);
            put_lane(ornax_point_lanes(*p.land, *p.input), l, point);
            // the new HN stands at the trial HN when the first table lookup is out of range
            const Ornaxhnlanes<float> first{ornax_hn_trial, ornax_hn_trial, 1.0f, 0.0f};
            put_lane(first, l, loop);
            in_lane[l] = &p;
            return;
        }
    };
    for (std::size_t l = 0; l < n; ++l) fill(l);
    std::size_t busy = 0;
    for (std::size_t l = 0; l < n; ++l) busy += in_lane[l] != nullptr;
    if (busy > 0 && busy < n) {
        // fewer points than lanes: the empty lanes run a copy of lane 0
        Ornaxcorelanes<float> s0;
        Ornaxpointlanes<float> p0;
        Ornaxhnlanes<float> h0;
        get_lane(state, 0, s0);
        get_lane(point, 0, p0);
        get_lane(loop, 0, h0);
        for (std::size_t l = busy; l < n; ++l) {
            put_lane(s0, l, state);
            put_lane(p0, l, point);
            put_lane(h0, l, loop);
            states[l] = states[0];
        }
    }
    while (busy > 0) {
        Lanem converged, failed;
        lanes_hn_iteration(point, state, table, region_switch, loop, converged, failed);
        if (!lane_any(converged || failed)) continue;
        const Lanef done =
            lane_select(converged, Lanef(1.0f), lane_select(failed, Lanef(2.0f), Lanef(0.0f)));
        HWY_ALIGN float outcome[hn::MaxLanes(Lanetag())];
        hn::Store(done.v, Lanetag(), outcome);
        for (std::size_t l = 0; l < n; ++l) {
            Ornaxcorepoint* p = in_lane[l];
            if (p == nullptr || outcome[l] == 0.0f) continue;
            p->diagnostics.hn_evaluations = static_cast<int>(lane_value(loop.evaluations, l));
            p->diagnostics.final_hn = lane_value(loop.hn, l);
            if (outcome[l] == 1.0f) {
                converged_queue.push_back(Convergedpoint{p, {}});
                get_lane(state, l, converged_queue.back().state);
                if (converged_queue.size() == n) integrate_daily(converged_queue);
            } else {
                p->status = ornax_status_failure;
            }
            fill(l);
            if (in_lane[l] == nullptr) --busy;
        }
    }
    if (!converged_queue.empty()) integrate_daily(converged_queue);
}

const char* TargetName() {
    return hwy::TargetName(HWY_TARGET);
}
int LaneCount() {
    return static_cast<int>(hn::Lanes(Lanetag()));
}

}  // namespace HWY_NAMESPACE
}  // namespace ornax_lanes
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace ornax_lanes {
HWY_EXPORT(RunPoints);
HWY_EXPORT(TargetName);
HWY_EXPORT(LaneCount);
}  // namespace ornax_lanes

void ornax_lanes_run(std::span<Ornaxcorepoint> points, int debug_flag, int region_switch,
                     Ornaxlaneworkspace* workspace) {
    if (debug_iflag > 0 || ornax_debug != 0) {
        // diagnostic lines come one point after the other from the one-lane instance
        for (Ornaxcorepoint& p : points) {
            p.daily_failed = false;
            ornax(*p.land, *p.input, p.output, debug_flag, region_switch, p.status, &p.diagnostics);
        }
        return;
    }
    std::vector<Ornaxdailyvartype>* kept = workspace != nullptr ? &workspace->states : nullptr;
    HWY_DYNAMIC_DISPATCH(ornax_lanes::RunPoints)
    (points.data(), points.size(), region_switch, debug_flag, kept);
    for (const Ornaxcorepoint& p : points) {
        if (p.daily_failed) ornax_log_msg("Error in");
    }
}

std::string ornax_lanes_instruction_set() {
    return HWY_DYNAMIC_DISPATCH(ornax_lanes::TargetName)();
}

int ornax_lanes_width() {
    return HWY_DYNAMIC_DISPATCH(ornax_lanes::LaneCount)();
}
#endif  // HWY_ONCE
