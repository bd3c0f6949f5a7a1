// Windows of days and the per-pixel sums of a window: ET in MJ m-2 and mm of water, the
// mean ratio and the counts of observed and filled days.
#include <cmath>

#include "ornax90/ORNAX_run_mod.hpp"
#include "composite/window.hpp"
#include "composite/vocabulary.hpp"
#include "composite/days.hpp"
#include "composite/gapfill.hpp"
#include "ornax90/ornax_constants_mod.hpp"
#include "utils/sunrise_mod.hpp"

namespace {

// Month (1-12) of a day of year.
int month_of(int year, int doy) {
    for (int m = 11; m >= 0; --m) {
        const int before = ornax_const_jday_in_year[static_cast<std::size_t>(m)] +
                           (m >= 2 && is_leap_year(year) ? 1 : 0);
        if (doy > before) return m + 1;
    }
    return 1;
}

int month_length(int year, int month) {
    return ornax_const_day_in_month[static_cast<std::size_t>(month - 1)] +
           (month == 2 && is_leap_year(year) ? 1 : 0);
}

Ornaxcompositewindowtype make_window(const std::vector<Ornaxcompositedaytype>& days, int first,
                                     int last) {
    Ornaxcompositewindowtype w;
    w.first = first;
    w.last = last;
    w.first_year = days[static_cast<std::size_t>(first)].year;
    w.first_doy = days[static_cast<std::size_t>(first)].doy;
    w.last_year = days[static_cast<std::size_t>(last)].year;
    w.last_doy = days[static_cast<std::size_t>(last)].doy;
    return w;
}

}  // namespace

std::string Ornaxcompositewindowtype::label() const {
    return ornax_day_folder(first_year, first_doy) + "_" + ornax_day_folder(last_year, last_doy);
}

std::vector<Ornaxcompositewindowtype>
ornax_composite_windows(const std::vector<Ornaxcompositedaytype>& days, int window_days,
                        std::vector<std::string>& left_out) {
    std::vector<Ornaxcompositewindowtype> windows;
    left_out.clear();
    const int count = static_cast<int>(days.size());
    if (count == 0) return windows;
    if (window_days > 0) {
        for (int first = 0; first < count; first += window_days) {
            const int last = first + window_days - 1;
            if (last < count) {
                windows.push_back(make_window(days, first, last));
            } else {
                left_out.push_back(make_window(days, first, count - 1).label() + " (" +
                                   std::to_string(count - first) + " of " +
                                   std::to_string(window_days) + " days)");
            }
        }
        return windows;
    }
    // calendar months: a run of days of one month, kept when it is the whole month
    for (int first = 0; first < count;) {
        const Ornaxcompositedaytype& d = days[static_cast<std::size_t>(first)];
        const int month = month_of(d.year, d.doy);
        int last = first;
        while (last + 1 < count && days[static_cast<std::size_t>(last + 1)].year == d.year &&
               month_of(d.year, days[static_cast<std::size_t>(last + 1)].doy) == month)
            ++last;
        const Ornaxcompositewindowtype w = make_window(days, first, last);
        if (w.days() == month_length(d.year, month))
            windows.push_back(w);
        else
            left_out.push_back(w.label() + " (" + std::to_string(w.days()) + " of " +
                               std::to_string(month_length(d.year, month)) + " days of the month)");
        first = last + 1;
    }
    return windows;
}

void ornax_composite_accum_reset(Ornaxcompositeaccumtype& accum, std::size_t pixels) {
    accum.et_sum.assign(pixels, 0.0);
    accum.ratio_sum.assign(pixels, 0.0);
    accum.et_days.assign(pixels, 0);
    accum.ratio_days.assign(pixels, 0);
    accum.observed_days.assign(pixels, 0);
    accum.filled_days.assign(pixels, 0);
}

void ornax_composite_accum_add(Ornaxcompositeaccumtype& accum, const Ornaxfilleddaytype& day,
                               float missing) {
    for (std::size_t i = 0; i < accum.et_sum.size(); ++i) {
        const unsigned char flag = day.flag[i];
        if (flag == ornax_fill_not_filled) continue;
        if (day.et[i] != missing) {
            accum.et_sum[i] += day.et[i];
            ++accum.et_days[i];
        }
        if (day.ratio[i] != missing) {
            accum.ratio_sum[i] += day.ratio[i];
            ++accum.ratio_days[i];
        }
        if (flag == ornax_fill_observed)
            ++accum.observed_days[i];
        else
            ++accum.filled_days[i];
    }
}

void ornax_composite_accum_result(const Ornaxcompositeaccumtype& accum, int window_days,
                                  float missing, std::vector<std::vector<float>>& rasters) {
    const std::size_t pixels = accum.et_sum.size();
    rasters.assign(ornax_composite_variables().size(), std::vector<float>(pixels, missing));
    for (std::size_t i = 0; i < pixels; ++i) {
        if (accum.et_days[i] == window_days) {
            rasters[0][i] = static_cast<float>(accum.et_sum[i]);  // MJ m-2
            // MJ m-2 / (MJ kg-1) = kg m-2 = mm of water
            rasters[1][i] = static_cast<float>(accum.et_sum[i] / ornax_latent_heat_mj_per_kg);
        }
        if (accum.ratio_days[i] > 0)
            rasters[2][i] = static_cast<float>(accum.ratio_sum[i] / accum.ratio_days[i]);
        rasters[3][i] = static_cast<float>(accum.observed_days[i]);
        rasters[4][i] = static_cast<float>(accum.filled_days[i]);
    }
}
