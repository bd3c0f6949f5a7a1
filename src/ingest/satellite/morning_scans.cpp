// The two morning observations of every cell.
#include "ingest/satellite/morning_scans.hpp"

#include <cmath>
#include <limits>
#include <mutex>

#include "ornax90/ORNAX_utl_mod.hpp"
#include "ingest/satellite/abi_scan.hpp"
#include "utils/sunrise_mod.hpp"

namespace {

void compute_targets(const Spatialinfodata& grid, int year, int doy, MorningTargets& targets,
                     int& status) {
    const std::size_t n = static_cast<std::size_t>(grid.ncols) * grid.nrows;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    targets.time1.assign(n, nan);
    targets.time2.assign(n, nan);
    targets.window_start.assign(n, nan);
    targets.window_end.assign(n, nan);
    targets.zone.assign(n, 0);
    // local standard times of both targets, from the model's sunrise routine
    std::vector<float> local1(n, sunrise_no_time), local2(n, sunrise_no_time), shift(n, 0.0f);
    int st1 = 0, st2 = 0;
    create_sun_rise_time_matrix_utc(year, doy, grid.ncols, grid.nrows, 1, 1, grid.west_lon,
                                    grid.dlon, grid.south_lat, grid.dlat, local1, shift, st1);
    create_sun_rise_time_matrix_utc(year, doy, grid.ncols, grid.nrows, 2, 1, grid.west_lon,
                                    grid.dlon, grid.south_lat, grid.dlat, local2, shift, st2);
    status = st1 != 0 || st2 != 0 ? 3 : 0;
    const double day0 = day_start_seconds(year, doy);
    // the time zone follows the longitude alone: once per column
    std::vector<int> column_zone(static_cast<std::size_t>(grid.ncols), 0);
    std::vector<char> column_ok(column_zone.size(), 0);
    for (int c = 0; c < grid.ncols; ++c) {
        const float lon = grid.west_lon + (c + 0.5f) * grid.dlon;
        int st = 0;
        ornax_time_zone_hours(lon, column_zone[static_cast<std::size_t>(c)], st);
        column_ok[static_cast<std::size_t>(c)] = st == 0;
    }
    for (int r = 0; r < grid.nrows; ++r)
        for (int c = 0; c < grid.ncols; ++c) {
            const std::size_t k = static_cast<std::size_t>(r) * grid.ncols + c;
            if (!column_ok[static_cast<std::size_t>(c)]) continue;
            const int zone = column_zone[static_cast<std::size_t>(c)];
            targets.zone[k] = zone;
            if (local1[k] != sunrise_no_time) targets.time1[k] = day0 + (local1[k] - zone) * 3600.0;
            if (local2[k] != sunrise_no_time) targets.time2[k] = day0 + (local2[k] - zone) * 3600.0;
            targets.window_start[k] = targets.time1[k] - first_obs_after_sunrise * 3600.0;
            targets.window_end[k] = targets.time2[k] + second_obs_before_noon * 3600.0;
        }
}

// The targets of the last grid and day asked for: the recipe check and the conversion
// that follows it ask for the same ones.
struct KeptTargets {
    std::mutex lock;
    bool known = false;
    float west = 0.0f, dlon = 0.0f, south = 0.0f, dlat = 0.0f;
    int ncols = 0, nrows = 0, year = 0, doy = 0, status = 0;
    MorningTargets targets;

    bool same(const Spatialinfodata& g, int y, int d) const {
        return known && g.west_lon == west && g.dlon == dlon && g.south_lat == south &&
               g.dlat == dlat && g.ncols == ncols && g.nrows == nrows && y == year && d == doy;
    }
};

KeptTargets& kept_targets() {
    static KeptTargets kept;
    return kept;
}

}  // namespace

void morning_targets(const Spatialinfodata& grid, int year, int doy, MorningTargets& targets,
                     int& status) {
    KeptTargets& kept = kept_targets();
    const std::lock_guard<std::mutex> hold(kept.lock);
    if (!kept.same(grid, year, doy)) {
        kept.known = false;
        compute_targets(grid, year, doy, kept.targets, kept.status);
        kept.west = grid.west_lon, kept.dlon = grid.dlon, kept.south = grid.south_lat;
        kept.dlat = grid.dlat, kept.ncols = grid.ncols, kept.nrows = grid.nrows;
        kept.year = year, kept.doy = doy, kept.known = true;
    }
    targets = kept.targets;
    status = kept.status;
}

namespace {

// Nearest valid scan of each cell; with a window, only scans inside the cell's.
void nearest_in_window(const std::vector<GridScan>& scans, const std::vector<double>& target,
                       const MorningTargets* window, double tolerance_s, std::vector<int>& chosen) {
    chosen.assign(target.size(), -1);
    for (std::size_t k = 0; k < target.size(); ++k) {
        if (!std::isfinite(target[k])) continue;
        double best = tolerance_s;
        for (std::size_t s = 0; s < scans.size(); ++s) {
            if (window != nullptr && !(scans[s].time >= window->window_start[k] &&
                                       scans[s].time <= window->window_end[k]))
                continue;  // before the cell's sunrise or after its noon
            const float v = k < scans[s].values.size() ? scans[s].values[k] : NAN;
            const double d = std::fabs(scans[s].time - target[k]);
            // the earlier scan wins a tie, so the choice does not depend on the file order
            const bool better =
                d < best || (d == best && chosen[k] >= 0 && scans[s].time < scans[chosen[k]].time);
            if (std::isfinite(v) && v > -1.0e29f && (better || (d == best && chosen[k] < 0))) {
                best = d;
                chosen[k] = static_cast<int>(s);
            }
        }
    }
}

}  // namespace

void nearest_scans(const std::vector<GridScan>& scans, const std::vector<double>& target,
                   double tolerance_s, std::vector<int>& chosen) {
    nearest_in_window(scans, target, nullptr, tolerance_s, chosen);
}

void nearest_morning_scans(const std::vector<GridScan>& scans, const MorningTargets& targets,
                           int observation, double tolerance_s, std::vector<int>& chosen) {
    const std::vector<double>& target = observation == 1 ? targets.time1 : targets.time2;
    const bool windowed =
        targets.window_start.size() == target.size() && targets.window_end.size() == target.size();
    nearest_in_window(scans, target, windowed ? &targets : nullptr, tolerance_s, chosen);
}
