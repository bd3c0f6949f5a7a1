// The satellite inputs of a region run from geostationary scans.
#include "ingest/satellite/convert.hpp"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <functional>
#include <limits>

#include "ingest/common/support.hpp"
#include "ingest/satellite/abi_scan.hpp"
#include "ingest/satellite/geos_navigation.hpp"
#include "ingest/satellite/isolated_reads.hpp"
#include "ornax90/type_kinds.hpp"

namespace {

constexpr double seconds_per_day = 86400.0;

std::string iso_time(double seconds) {
    const std::time_t t = static_cast<std::time_t>(std::floor(seconds));
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

// Reads every scan of one variable; all must share one fixed grid and lie within a day of
// the run's day. Each scan goes to `each` as soon as it is read and checked, so that a
// step that is done with its values can drop them before the next scan is read.
bool read_scans(const std::vector<std::string>& files, const std::string& variable,
                const std::string& units, double day0, std::vector<GeosScan>& scans,
                const std::function<bool(GeosScan&)>& each, std::string& error) {
    for (const std::string& file : files) {
        GeosScan scan;
        int st = 0;
        read_geos_scan_isolated(file, variable, units, scan, error, st);
        if (st != 0) return false;
        if (scan.scan_time < day0 - seconds_per_day ||
            scan.scan_time >= day0 + 2 * seconds_per_day) {
            error = file + ": scanned at " + iso_time(scan.scan_time) +
                    ", not on or beside the run's day " + iso_time(day0).substr(0, 10);
            return false;
        }
        if (!scans.empty() && !scan.projection.same_as(scans.front().projection)) {
            error = file + ": another satellite or fixed grid (" + scan.projection.proj_string() +
                    ") than " + scans.front().file + " (" + scans.front().projection.proj_string() +
                    ")";
            return false;
        }
        if (!each(scan)) return false;
        scans.push_back(std::move(scan));
    }
    return true;
}

// Nearest for a grid finer than the scans' pixels, average of the valid pixels otherwise.
Resampling choose_resampling(const SatelliteRequest& rq, GDALDatasetH first) {
    if (rq.resampling_given) return rq.resampling;
    const Spatialinfodata& g = rq.grid;
    const double lon = g.west_lon + 0.5 * g.ncols * g.dlon,
                 lat = g.south_lat + 0.5 * g.nrows * g.dlat;
    const double cell_km = g.dlat * 111.2;
    const double pixel_km = pixel_size_km(first, lon, lat);
    return pixel_km > 0.0 && cell_km > pixel_km ? Resampling::average : Resampling::nearest;
}

// The scans of one variable warped onto the grid one by one (NaN where a scan has no
// valid value); each scan's values are dropped once warped.
struct ScanWarps {
    const SatelliteRequest& rq;
    Resampling method = Resampling::nearest;
    std::vector<GridScan> out;
    nlohmann::json& sources;
    std::vector<std::array<double, 4>> boxes;

    bool warp(GeosScan& sc, std::string& error) {
        const double gt[6] = {sc.x0, sc.dx, 0.0, sc.y0, 0.0, sc.dy};
        std::vector<float>& v = sc.values;  // warped in place: the dataset's band is v
        for (float& x : v)
            if (!std::isfinite(x)) x = warp_no_data;
        GDALDatasetH ds =
            make_float_dataset(sc.nx, sc.ny, gt, sc.projection.proj_string(), v, error);
        if (ds == nullptr) {
            error = sc.file + ": " + error;
            return false;
        }
        if (out.empty()) method = choose_resampling(rq, ds);
        std::array<double, 4> box{};
        int st = 0;
        footprint_lonlat(ds, box.data(), error, st);
        if (st == 0) boxes.push_back(box);
        GridScan gs;
        gs.time = sc.scan_time;
        warp_to_grid({ds}, rq.grid, method, gs.values, error, st);
        GDALClose(ds);
        std::vector<float>().swap(v);
        if (st != 0) {
            error = sc.file + ": " + error;
            return false;
        }
        long on_grid = 0;
        for (float& x : gs.values) {
            if (x <= -1.0e29f)
                x = std::numeric_limits<float>::quiet_NaN();
            else
                ++on_grid;
        }
        sources.push_back({{"file", sc.file},
                           {"variable", sc.variable},
                           {"units", sc.units},
                           {"platform", sc.platform},
                           {"scan_time", iso_time(sc.scan_time)},
                           {"time_coverage_start", sc.time_coverage_start},
                           {"projection", sc.projection.proj_string()},
                           {"nominal_satellite_subpoint_lon", sc.projection.nominal_subpoint_lon},
                           {"pixels_good", sc.valid},
                           {"pixels_flagged", sc.flagged},
                           {"pixels_fill", sc.fill},
                           {"grid_cells_with_value", on_grid}});
        out.push_back(std::move(gs));
        return true;
    }
};

// Reads and warps every scan of one variable onto the grid.
bool read_and_warp_scans(const SatelliteRequest& rq, const std::vector<std::string>& files,
                         const std::string& variable, const std::string& units, double day0,
                         std::vector<GeosScan>& scans, Resampling& method,
                         std::vector<GridScan>& out, nlohmann::json& sources, std::string& error) {
    ScanWarps warps{rq, Resampling::nearest, {}, sources, {}};
    if (!read_scans(
            files, variable, units, day0, scans,
            [&](GeosScan& scan) { return warps.warp(scan, error); }, error))
        return false;
    method = warps.method;
    out = std::move(warps.out);
    if (cells_inside(rq.grid, warps.boxes) == 0) {
        error = "the satellite grid lies outside every scan's footprint (" +
                std::to_string(scans.size()) + " files)";
        return false;
    }
    return true;
}

// Largest difference (K or W m-2) between two scans of one time that still counts as the
// same scan: beyond the products' packing steps (0.0025 K for the surface temperature).
constexpr float same_scan_tolerance = 0.01f;

// Two scans of one time must agree wherever both have a value: which one is used must not
// depend on the order of the files. Identical duplicates are fine.
bool same_time_scans_agree(const std::vector<GeosScan>& scans, const std::vector<GridScan>& grids,
                           std::string& error) {
    for (std::size_t a = 0; a < grids.size(); ++a)
        for (std::size_t b = a + 1; b < grids.size(); ++b) {
            if (grids[a].time != grids[b].time) continue;
            float largest = 0.0f;
            for (std::size_t k = 0; k < grids[a].values.size() && k < grids[b].values.size(); ++k)
                if (std::isfinite(grids[a].values[k]) && std::isfinite(grids[b].values[k]))
                    largest = std::max(largest, std::fabs(grids[a].values[k] - grids[b].values[k]));
            if (largest > same_scan_tolerance) {
                error = scans[a].file + " and " + scans[b].file + " are scans of the same time (" +
                        iso_time(grids[a].time) + ") that differ by up to " +
                        ingest_number(largest) + " " + scans[a].units + "; give one of them";
                return false;
            }
        }
    return true;
}

// Insolation at both observations: from satellite insolation scans (nearest valid scan
// within the tolerance) or from the forecast shortwave interpolated in time.
bool insolation(const SatelliteRequest& rq, double day0, const std::vector<double>& obs1,
                const std::vector<double>& obs2, SatelliteResult& result, std::string& error) {
    const Spatialinfodata& g = rq.grid;
    const std::size_t n = obs1.size();
    nlohmann::json& m = result.manifest;
    if (rq.insolation_files.empty() && rq.met_root.empty()) {
        m["insolation_source"] = "none";
        result.notes.push_back("sdn1.bin and sdn2.bin not written: no insolation source "
                               "(--insolation FILE... or --met-root MET_ROOT)");
        return true;
    }
    std::vector<float> sdn1(n, g.spare_value), sdn2(n, g.spare_value);
    if (!rq.insolation_files.empty()) {
        std::vector<GeosScan> scans;
        std::vector<GridScan> grids;
        Resampling method = Resampling::nearest;
        m["insolation_scans"] = nlohmann::json::array();
        if (!read_and_warp_scans(rq, rq.insolation_files, rq.insolation_variable, "W m-2", day0,
                                 scans, method, grids, m["insolation_scans"], error) ||
            !same_time_scans_agree(scans, grids, error))
            return false;
        std::vector<int> p1, p2;
        nearest_scans(grids, obs1, rq.tolerance_s, p1);
        nearest_scans(grids, obs2, rq.tolerance_s, p2);
        for (std::size_t k = 0; k < n; ++k) {
            if (p1[k] >= 0) sdn1[k] = grids[static_cast<std::size_t>(p1[k])].values[k];
            if (p2[k] >= 0) sdn2[k] = grids[static_cast<std::size_t>(p2[k])].values[k];
        }
        m["insolation_source"] = "satellite insolation files, variable " + rq.insolation_variable;
    } else {
        ForecastShortwave sw;
        int st = 0;
        read_forecast_shortwave(rq.met_root, rq.met_grid, rq.year, rq.doy, sw, error, st);
        if (st != 0) return false;
        for (int row = 0; row < g.nrows; ++row)
            for (int c = 0; c < g.ncols; ++c) {
                const std::size_t k = static_cast<std::size_t>(row) * g.ncols + c;
                const double lon = g.west_lon + (c + 0.5) * g.dlon,
                             lat = g.south_lat + (row + 0.5) * g.dlat;
                const float a =
                    std::isfinite(obs1[k]) ? sw.at((obs1[k] - day0) / 3600.0, lon, lat) : NAN;
                const float b =
                    std::isfinite(obs2[k]) ? sw.at((obs2[k] - day0) / 3600.0, lon, lat) : NAN;
                if (std::isfinite(a)) sdn1[k] = a;
                if (std::isfinite(b)) sdn2[k] = b;
            }
        m["insolation_source"] = "forecast shortwave swdn.bin under " + rq.met_root +
                                 ", linear in time between the three-hourly steps, nearest "
                                 "forecast cell";
    }
    result.rasters["sdn1"] = std::move(sdn1);
    result.rasters["sdn2"] = std::move(sdn2);
    return true;
}

}  // namespace

void prepare_satellite(const SatelliteRequest& rq, SatelliteResult& result, std::string& error,
                       int& status) {
    ingest_gdal_init();
    status = ornax_status_failure;
    result = SatelliteResult{};
    const Spatialinfodata& g = rq.grid;
    const double day0 = day_start_seconds(rq.year, rq.doy);
    const float miss = g.spare_value;
    const std::size_t n = static_cast<std::size_t>(g.ncols) * g.nrows;
    std::vector<GeosScan> scans;
    if (rq.lst_files.empty()) {
        error = "no surface temperature file given";
        return;
    }
    nlohmann::json& m = result.manifest;
    m["scans"] = nlohmann::json::array();
    std::vector<GridScan> lst;
    Resampling method = Resampling::nearest;
    if (!read_and_warp_scans(rq, rq.lst_files, "LST", "K", day0, scans, method, lst, m["scans"],
                             error) ||
        !same_time_scans_agree(scans, lst, error))
        return;
    MorningTargets tg;
    int st = 0;
    morning_targets(g, rq.year, rq.doy, tg, st);
    std::vector<int> pick1, pick2;
    nearest_morning_scans(lst, tg, 1, rq.tolerance_s, pick1);
    nearest_morning_scans(lst, tg, 2, rq.tolerance_s, pick2);
    auto& r = result.rasters;
    for (const char* name : {"trad1", "trad2", "tloc1", "tloc2", "theta"}) r[name].assign(n, miss);
    std::vector<double> obs1(tg.time1), obs2(tg.time2);  // observation (else target) times
    for (std::size_t k = 0; k < n; ++k) {
        if (pick1[k] >= 0) {
            const GridScan& s = lst[static_cast<std::size_t>(pick1[k])];
            r["trad1"][k] = s.values[k];  // K, as the region run reads it
            r["tloc1"][k] = local_hours(s.time, day0, tg.zone[k]);
            obs1[k] = s.time;
        }
        if (pick2[k] >= 0) {
            const GridScan& s = lst[static_cast<std::size_t>(pick2[k])];
            r["trad2"][k] = s.values[k];
            r["tloc2"][k] = local_hours(s.time, day0, tg.zone[k]);
            obs2[k] = s.time;
        }
    }
    // a cell with the satellite below its horizon lies outside the fixed grid's projection
    // domain: it stays missing, and is counted
    long outside_domain = 0;
    for (int row = 0; row < g.nrows; ++row)
        for (int c = 0; c < g.ncols; ++c) {
            const double z =
                view_zenith_deg(scans.front().projection, g.west_lon + (c + 0.5) * g.dlon,
                                g.south_lat + (row + 0.5) * g.dlat);
            if (z < 90.0)
                r["theta"][static_cast<std::size_t>(row) * g.ncols + c] = static_cast<float>(z);
            else
                ++outside_domain;
        }
    m["cells_outside_projection_domain"] = outside_domain;
    std::vector<bool> used(lst.size(), false);
    for (int p : pick1)
        if (p >= 0) used[static_cast<std::size_t>(p)] = true;
    for (int p : pick2)
        if (p >= 0) used[static_cast<std::size_t>(p)] = true;
    for (std::size_t s = 0; s < lst.size(); ++s) {
        m["scans"][s]["used"] = static_cast<bool>(used[s]);
        if (!used[s]) result.notes.push_back(rq.lst_files[s] + ": no cell took this scan");
    }
    m["resampling"] = resampling_name(method);
    m["tolerance_minutes"] = rq.tolerance_s / 60.0;
    m["targets"] = "sunrise + 1.5 h and solar noon - 1.5 h (the model's sunrise routine)";
    m["conversions"] = {"trad = LST in K as the scans give it (the region run converts to deg C)",
                        "tloc = scan time (UTC) + the cell's time-zone hours, local standard hours",
                        "theta = zenith angle of the satellite from the cell, deg",
                        "only pixels with DQF = 0 count; a cell without a valid scan within the "
                        "tolerance of its target is missing"};
    if (rq.insolation_later && rq.insolation_files.empty() && !rq.met_root.empty()) {
        result.obs1 = std::move(obs1);
        result.obs2 = std::move(obs2);
    } else if (!insolation(rq, day0, obs1, obs2, result, error)) {
        return;
    }
    m["missing_value"] = miss;
    status = 0;
}

void satellite_forecast_insolation(const SatelliteRequest& rq, SatelliteResult& result,
                                   std::string& error, int& status) {
    status = ornax_status_failure;
    const double day0 = day_start_seconds(rq.year, rq.doy);
    const bool ok = insolation(rq, day0, result.obs1, result.obs2, result, error);
    result.obs1.clear();
    result.obs2.clear();
    if (ok) status = 0;
}
