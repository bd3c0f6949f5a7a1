// The check of a region recipe's sources from their metadata.
#include "ingest/region/check.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <future>
#include <system_error>

#include "ingest/common/support.hpp"
#include "ingest/forecast/inventory.hpp"
#include "ingest/raster/convert.hpp"
#include "ingest/raster/isolated_reads.hpp"
#include "ingest/satellite/abi_scan.hpp"
#include "ingest/satellite/isolated_reads.hpp"
#include "ingest/satellite/morning_scans.hpp"

namespace {

std::string utc_text(double seconds) {
    const std::time_t t = static_cast<std::time_t>(std::floor(seconds));
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &tm);
    return text;
}

std::string minutes_text(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f min", seconds / 60.0);
    return text;
}

std::string percent_text(double share) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %%", 100.0 * share);
    return text;
}

// Each problem under the recipe key it belongs to.
void add_under(const RegionRecipe& r, const std::string& key, const std::vector<std::string>& found,
               std::vector<std::string>& problems) {
    for (const std::string& p : found) problems.push_back(r.where(key) + ": " + p);
}

void check_forecast(const RegionRecipe& r, std::vector<std::string>& problems,
                    std::vector<std::string>& inventory) {
    std::vector<ForecastFileInventory> files;
    std::vector<std::string> found;
    const std::int64_t first =
        static_cast<std::int64_t>(std::llround(day_start_seconds(r.year, r.doy) / 3600.0));
    forecast_inventory(r.forecast, first, 2, files, found);  // the run reads the next day too
    add_under(r, "forecast", found, problems);
    for (const ForecastFileInventory& f : files)
        inventory.push_back("forecast " + f.file + ": " + forecast_inventory_text(f));
}

void check_scans(const RegionRecipe& r, const RegionGrids& g, const std::string& key,
                 const std::vector<std::string>& files, const std::string& variable,
                 const std::string& units, std::vector<std::string>& problems,
                 std::vector<std::string>& inventory) {
    MorningTargets targets;
    int st = 0;
    morning_targets(g.run, r.year, r.doy, targets, st);
    if (st != 0) {
        problems.push_back(r.where(key) + ": the morning target times cannot be formed");
        return;
    }
    const double tolerance = r.lst_tolerance * 60.0, day0 = day_start_seconds(r.year, r.doy);
    std::vector<GeosScan> scans;
    for (const std::string& file : files) {
        GeosScan scan;
        std::string error;
        read_geos_header_isolated(file, variable, units, scan, error, st);
        if (st != 0) {
            problems.push_back(r.where(key) + ": " + error);
            continue;
        }
        if (!scans.empty() && !scan.projection.same_as(scans.front().projection))
            problems.push_back(r.where(key) + ": " + file + ": another satellite or fixed grid (" +
                               scan.projection.proj_string() + ") than " + scans.front().file);
        if (scan.scan_time < day0 - 86400.0 || scan.scan_time >= day0 + 2 * 86400.0)
            problems.push_back(r.where(key) + ": " + file + ": scanned at " +
                               utc_text(scan.scan_time) + ", not on or beside the run's day");
        scans.push_back(scan);
    }
    // distance of each scan from every cell's two targets
    for (const GeosScan& scan : scans) {
        std::string text = key + " " + scan.file + ": scanned " + utc_text(scan.scan_time) +
                           ", satellite " + (scan.platform.empty() ? "?" : scan.platform);
        bool near_any = false;  // lies within the tolerance of some cell's target
        for (int t = 0; t < 2; ++t) {
            const std::vector<double>& target = t == 0 ? targets.time1 : targets.time2;
            double lo = INFINITY, hi = -INFINITY;
            for (double x : target) {
                if (std::isnan(x)) continue;
                const double d = std::fabs(scan.scan_time - x);
                lo = std::min(lo, d), hi = std::max(hi, d);
            }
            near_any = near_any || lo <= tolerance;
            text += "; from target " + std::to_string(t + 1) + ": " +
                    (std::isfinite(lo) ? minutes_text(lo) + " to " + minutes_text(hi) : "none");
        }
        if (!near_any) text += " (not used: farther than " + minutes_text(tolerance) + ")";
        inventory.push_back(text);
    }
    if (scans.empty()) return;
    std::vector<GridScan> times;
    for (const GeosScan& s : scans) times.push_back({s.scan_time, {}});
    for (int t = 0; t < 2; ++t) {
        const std::vector<double>& target = t == 0 ? targets.time1 : targets.time2;
        long none = 0;
        for (double x : target) {
            bool found = false;
            for (const GridScan& s : times) found = found || std::fabs(s.time - x) <= tolerance;
            none += !found;
        }
        inventory.push_back(key + ": target " + std::to_string(t + 1) + ": " +
                            std::to_string(none) + " of " + std::to_string(target.size()) +
                            " cells have no scan within " + minutes_text(tolerance));
        if (none > 0 && (none == static_cast<long>(target.size()) || !r.allow_partial))
            problems.push_back(
                r.where(key) + ": " + std::to_string(none) + " of " +
                std::to_string(target.size()) + " cells have no scan within " +
                minutes_text(tolerance) + " of their target time " + std::to_string(t + 1) +
                (none < static_cast<long>(target.size()) ? " (allow_partial accepts that)" : ""));
    }
}

void check_raster(const RegionRecipe& r, const RegionGrids& g, const std::string& key,
                  const std::vector<std::string>& sources, std::vector<std::string>& problems,
                  std::vector<std::string>& inventory) {
    if (sources.empty()) return;  // the recipe's problem was already named
    RasterRules rules;
    rules.allow_partial = r.allow_partial;
    const auto window = r.values.find(key + "_window");
    if (window != r.values.end() && !window->second.empty()) {
        rules.check_day = true;
        rules.year = r.year, rules.doy = r.doy;
        rules.window_days = std::atoi(window->second.c_str());
    }
    RasterInventory inv;
    std::vector<std::string> found;
    inspect_raster_isolated(sources, g.run, rules, inv, found);
    add_under(r, key, found, problems);
    for (const RasterSourceInfo& s : inv.sources) {
        char nodata[48] = "none";
        if (s.has_nodata) std::snprintf(nodata, sizeof nodata, "%g", s.nodata);
        inventory.push_back(
            key + " " + s.source + ": product " + s.product + ", period " + s.period + ", CRS " +
            (s.crs.empty() ? "none" : s.crs) + ", nodata " + nodata + ", covers " +
            (std::isnan(s.cover) ? "(placed cell by cell)" : percent_text(s.cover)) +
            " of the grid");
    }
    if (sources.size() > 1 && !std::isnan(inv.cover))
        inventory.push_back(key + ": the " + std::to_string(sources.size()) +
                            " tiles together cover " + percent_text(inv.cover) + " of the grid");
}
// The scans and rasters of the recipe.
void check_later(const RegionRecipe& r, const RegionGrids& g, std::vector<std::string>& problems,
                 std::vector<std::string>& inventory) {
    check_scans(r, g, "lst", r.lst, "LST", "K", problems, inventory);
    if (!r.insolation_files.empty())
        check_scans(r, g, "insolation", r.insolation_files, "DSR", "W m-2", problems, inventory);
    check_raster(r, g, "landcover", r.landcover, problems, inventory);
    check_raster(r, g, "lai", r.lai, problems, inventory);
    if (!r.snow.empty()) check_raster(r, g, "snow", r.snow, problems, inventory);
    for (const LandParameter& p : r.land)
        if (p.source == LandSource::raster)
            check_raster(r, g, p.key, p.sources, problems, inventory);
}

}  // namespace

void region_check_sources(const RegionRecipe& r, const RegionGrids& g,
                          std::vector<std::string>& problems, std::vector<std::string>& inventory) {
    // the forecast files (read by the GRIB library alone) beside the scans and rasters;
    // their problems and inventory come first, as they are listed
    std::vector<std::string> forecast_problems, forecast_inventory;
    std::future<void> forecast;
    try {
        forecast = std::async(std::launch::async,
                              [&] { check_forecast(r, forecast_problems, forecast_inventory); });
    } catch (const std::system_error&) {
        check_forecast(r, forecast_problems, forecast_inventory);  // no thread: here
    }
    std::vector<std::string> later_problems, later_inventory;
    check_later(r, g, later_problems, later_inventory);
    if (forecast.valid()) forecast.get();
    for (auto* list : {&forecast_problems, &later_problems})
        problems.insert(problems.end(), list->begin(), list->end());
    for (auto* list : {&forecast_inventory, &later_inventory})
        inventory.insert(inventory.end(), list->begin(), list->end());
}
