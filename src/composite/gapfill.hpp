// Gap-filled daily evapotranspiration of the days of a range.
//
// Gap filling: on a day a pixel was computed (quality flag "computed", EDAY and EREFDAY
// valid, EREFDAY > 0) its ratio EDAY / EREFDAY is observed. Between two observations at
// most `max_gap` missing days apart the ratio is interpolated linearly in day number and
// the filled daily ET is that ratio times the day's reference ET; where the day has no
// reference ET either, the reference ET is interpolated the same way (flag
// "filled_with_interpolated_reference"). Before the first, after the last observation and
// across longer gaps the pixel stays missing ("not_filled"). Days are streamed: a day is
// final once the `max_gap` days after it are read, so at most max_gap + 1 days of two
// rasters are held, whatever the length of the range.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "composite/days.hpp"

// Default longest run of missing days that is filled (days).
inline constexpr int ornax_composite_default_max_gap = 10;
// Longest gap accepted on the command line (days): the ring of held days stays small.
inline constexpr int ornax_composite_max_gap_limit = 60;

// One finished day: ET (observed or filled), the ratio behind it, the fill flag and the
// distance in days to the nearest observation (missing where not filled).
struct Ornaxfilleddaytype {
    int index = 0;  // day of the range, from 0
    std::vector<float> et, ratio, distance;
    std::vector<unsigned char> flag;
};

// Streaming gap filler over days pushed in order.
struct Ornaxgapfillertype {
    int max_gap = ornax_composite_default_max_gap;
    std::size_t pixels = 0;
    float missing = -999.0f;
    int pushed = 0;    // days pushed so far
    int finished = 0;  // days handed over so far
    // ring of max_gap + 1 days: EDAY where observed, EREFDAY where valid, NaN elsewhere
    std::vector<std::vector<float>> ring_eday, ring_eref;
    // per pixel: last observation before the day being finished and the next one after it
    // (next_day -1: not looked for yet; a large value: none within the gap)
    struct Track {
        std::vector<int> prev_day, next_day;
        std::vector<float> prev_value, next_value;
    } ratio_track, eref_track;
    Ornaxfilleddaytype out;  // reused for every day handed over
};

using Ornaxfilleddaysink = std::function<void(const Ornaxfilleddaytype&, int& status)>;

// Sizes the filler (max_gap days, 0 to ornax_composite_max_gap_limit). status 3 otherwise.
void ornax_gapfill_init(Ornaxgapfillertype& filler, std::size_t pixels, int max_gap, float missing,
                        int& status);
// The next day of the range: its rasters, or null pointers for a day without outputs.
// Every day that becomes final is handed to `sink` in order; status 3 when sink fails.
void ornax_gapfill_push(Ornaxgapfillertype& filler, const Ornaxcompositedayrasterstype* rasters,
                        const Ornaxfilleddaysink& sink, int& status);
// Hands over the days still held (the range has ended).
void ornax_gapfill_finish(Ornaxgapfillertype& filler, const Ornaxfilleddaysink& sink, int& status);
