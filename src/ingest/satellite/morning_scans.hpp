// The two morning observations of every cell: the target times the model uses (1.5 h
// after sunrise and 1.5 h before solar noon, from its sunrise routine), and per cell the
// valid scan nearest each target within a tolerance. A cell without a valid scan near a
// target stays missing; nothing is taken from another time.
#pragma once

#include <string>
#include <vector>

#include "ornax90/ORNAX_data_mod.hpp"

// Largest distance between a scan and a target time that still counts (s).
inline constexpr double default_scan_tolerance_s = 30.0 * 60.0;

// Target times of every cell of a grid (south row first), seconds since 1970-01-01 UTC;
// NaN where the sun does not rise or set. zone holds the cell's time-zone hours (the
// model's rule), with which local standard hours are formed. The cell's morning runs from
// its sunrise (window_start) to its solar noon (window_end): a scan outside it is never
// taken there, whatever the tolerance.
struct MorningTargets {
    std::vector<double> time1, time2;
    std::vector<double> window_start, window_end;
    std::vector<int> zone;
};
void morning_targets(const Spatialinfodata& grid, int year, int doy, MorningTargets& targets,
                     int& status);

// One scan warped onto the grid: values south row first, NaN (or any non-finite value)
// where the scan has no valid value; time in seconds since 1970-01-01 UTC.
struct GridScan {
    double time = 0.0;
    std::vector<float> values;
};

// For every cell, the index of the valid scan nearest the cell's target, or -1 when no
// valid scan lies within tolerance_s of it (or the target is missing).
void nearest_scans(const std::vector<GridScan>& scans, const std::vector<double>& target,
                   double tolerance_s, std::vector<int>& chosen);
// The same for observation 1 or 2 of the targets, with only the scans inside each cell's
// morning window.
void nearest_morning_scans(const std::vector<GridScan>& scans, const MorningTargets& targets,
                           int observation, double tolerance_s, std::vector<int>& chosen);

// Local standard hours (the model's observation-time convention) of a UTC time at a cell
// of time zone `zone`: hours since 00 UTC of the run's day plus the zone.
inline float local_hours(double time, double day_start, int zone) {
    return static_cast<float>((time - day_start) / 3600.0 + zone);
}
