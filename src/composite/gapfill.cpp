// Gap filling of daily ET over a stream of days: the ratio EDAY / EREFDAY observed on
// computed days, interpolated linearly in day number across at most max_gap missing days,
// times the day's reference ET (itself interpolated where the day has none).
#include <climits>
#include <cmath>
#include <limits>

#include "composite/gapfill.hpp"
#include "composite/vocabulary.hpp"
#include "composite/days.hpp"
#include "ornax90/output/quality.hpp"
#include "ornax90/type_kinds.hpp"

namespace {

constexpr float none = std::numeric_limits<float>::quiet_NaN();
constexpr int not_looked_for = -1;
constexpr int none_within_gap = INT_MAX;

// The computed flag of the quality raster, from the one table of flags.
float computed_flag() {
    for (const Ornaxqualityflaginfotype& flag : ornax_quality_flags())
        if (flag.meaning == "computed") return static_cast<float>(flag.value);
    return 0.0f;
}

bool valid(float value, float missing) {
    return std::isfinite(value) && value != missing;
}

void size_track(Ornaxgapfillertype::Track& track, std::size_t pixels) {
    track.prev_day.assign(pixels, -1);
    track.next_day.assign(pixels, not_looked_for);
    track.prev_value.assign(pixels, none);
    track.next_value.assign(pixels, none);
}

std::size_t slot_of(const Ornaxgapfillertype& filler, int day) {
    return static_cast<std::size_t>(day % (filler.max_gap + 1));
}

// Value of pixel i on day `day` of the ring: the ratio (ratio track) or EREFDAY.
float ring_value(const Ornaxgapfillertype& filler, bool ratio, int day, std::size_t i) {
    const std::size_t slot = slot_of(filler, day);
    const float eref = filler.ring_eref[slot][i];
    if (!ratio) return eref;
    const float eday = filler.ring_eday[slot][i];
    return std::isnan(eday) ? none : eday / eref;
}

// Value of pixel i on day t: observed, or interpolated between the observations around
// it when they are at most max_gap missing days apart. distance: days to the nearer one.
// Days up to t + max_gap are in the ring (or the range ends before).
bool track_value(Ornaxgapfillertype& filler, Ornaxgapfillertype::Track& track, bool ratio, int t,
                 std::size_t i, float& value, int& distance) {
    const float here = ring_value(filler, ratio, t, i);
    if (!std::isnan(here)) {
        track.prev_day[i] = t;
        track.prev_value[i] = here;
        track.next_day[i] = not_looked_for;
        value = here;
        distance = 0;
        return true;
    }
    const int prev = track.prev_day[i];
    if (prev < 0 || t - prev > filler.max_gap) return false;
    if (track.next_day[i] == not_looked_for) {
        // the next observation within reach of the previous one: at most day prev + max_gap + 1
        track.next_day[i] = none_within_gap;
        const int reach = std::min(prev + filler.max_gap + 1, filler.pushed - 1);
        for (int s = t + 1; s <= reach; ++s) {
            const float v = ring_value(filler, ratio, s, i);
            if (std::isnan(v)) continue;
            track.next_day[i] = s;
            track.next_value[i] = v;
            break;
        }
    }
    const int next = track.next_day[i];
    if (next == none_within_gap) return false;
    const float w = static_cast<float>(t - prev) / static_cast<float>(next - prev);
    value = track.prev_value[i] + w * (track.next_value[i] - track.prev_value[i]);
    distance = std::min(t - prev, next - t);
    return true;
}

// Finishes the oldest day held and hands it to sink.
void finish_day(Ornaxgapfillertype& filler, const Ornaxfilleddaysink& sink, int& status) {
    const int t = filler.finished;
    Ornaxfilleddaytype& out = filler.out;
    out.index = t;
    const std::size_t slot = slot_of(filler, t);
    for (std::size_t i = 0; i < filler.pixels; ++i) {
        float ratio = 0.0f, eref = 0.0f;
        int distance = 0, eref_distance = 0;
        const bool has_ratio = track_value(filler, filler.ratio_track, true, t, i, ratio, distance);
        // the reference track is followed every day, so that its observations are kept
        const bool has_eref =
            track_value(filler, filler.eref_track, false, t, i, eref, eref_distance);
        const float eday = filler.ring_eday[slot][i];
        if (has_ratio && distance == 0) {
            out.et[i] = eday;  // the day's own ET, not recomputed from the ratio
            out.flag[i] = ornax_fill_observed;
        } else if (has_ratio && has_eref) {
            out.et[i] = ratio * eref;
            out.flag[i] = eref_distance == 0 ? ornax_fill_filled : ornax_fill_filled_reference;
        } else {
            out.et[i] = filler.missing;
            out.flag[i] = ornax_fill_not_filled;
        }
        const bool filled = out.flag[i] != ornax_fill_not_filled;
        out.ratio[i] = filled ? ratio : filler.missing;
        out.distance[i] = filled ? static_cast<float>(distance) : filler.missing;
    }
    ++filler.finished;
    sink(out, status);
}

}  // namespace

void ornax_gapfill_init(Ornaxgapfillertype& filler, std::size_t pixels, int max_gap, float missing,
                        int& status) {
    status = ornax_status_failure;
    if (max_gap < 0 || max_gap > ornax_composite_max_gap_limit || pixels == 0) return;
    filler = Ornaxgapfillertype{};
    filler.max_gap = max_gap;
    filler.pixels = pixels;
    filler.missing = missing;
    const std::size_t slots = static_cast<std::size_t>(max_gap) + 1;
    filler.ring_eday.assign(slots, std::vector<float>(pixels, none));
    filler.ring_eref.assign(slots, std::vector<float>(pixels, none));
    size_track(filler.ratio_track, pixels);
    size_track(filler.eref_track, pixels);
    filler.out.et.assign(pixels, missing);
    filler.out.ratio.assign(pixels, missing);
    filler.out.distance.assign(pixels, missing);
    filler.out.flag.assign(pixels, static_cast<unsigned char>(ornax_fill_not_filled));
    status = 0;
}

void ornax_gapfill_push(Ornaxgapfillertype& filler, const Ornaxcompositedayrasterstype* rasters,
                        const Ornaxfilleddaysink& sink, int& status) {
    status = 0;
    // the slot of the new day held the day max_gap + 1 before it, finished already
    const std::size_t slot = slot_of(filler, filler.pushed);
    std::vector<float>& eday = filler.ring_eday[slot];
    std::vector<float>& eref = filler.ring_eref[slot];
    const float computed = computed_flag();
    const float missing = filler.missing;
    for (std::size_t i = 0; i < filler.pixels; ++i) {
        eday[i] = eref[i] = none;
        if (rasters == nullptr || rasters->quality[i] != computed) continue;
        const float e = rasters->eday[i], r = rasters->erefday[i];
        if (valid(r, missing) && r >= 0.0f) eref[i] = r;
        // an observed ratio needs a positive reference ET
        if (valid(e, missing) && valid(r, missing) && r > 0.0f) eday[i] = e;
    }
    ++filler.pushed;
    // a day is final once the max_gap days after it are held
    while (status == 0 && filler.pushed - filler.finished > filler.max_gap)
        finish_day(filler, sink, status);
}

void ornax_gapfill_finish(Ornaxgapfillertype& filler, const Ornaxfilleddaysink& sink, int& status) {
    status = 0;
    while (status == 0 && filler.finished < filler.pushed) finish_day(filler, sink, status);
}
