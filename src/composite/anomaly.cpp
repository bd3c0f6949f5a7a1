// Standardized anomalies of the mean ratio of composites over several years: for each
// window of each file, the years whose files hold a window with the same first day of
// year and length give per pixel the count n, the mean and the sample standard deviation
// of RATIO_MEAN; the anomaly is (x - mean) / sd where n >= min_years and sd > 0.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>

#include "ornax90/ORNAX_run_mod.hpp"
#include "composite/anomaly.hpp"
#include "composite/vocabulary.hpp"
#include "composite/days.hpp"
#include "composite/window.hpp"
#include "composite/options.hpp"
#include "composite/run.hpp"
#include "composite/netcdf_file.hpp"
#include "utils/sunrise_mod.hpp"
#include "ornax90/type_kinds.hpp"
#include "ornax90/output/publish.hpp"
#include "ornax90/output/run_info.hpp"

namespace {

namespace fs = std::filesystem;

struct Step {
    std::size_t file = 0, step = 0;
    Ornaxcompositewindowtype window;
    int key_doy = 0, key_days = 0;  // first day of year and length: the same window of a year
};

struct Source {
    std::string path;
    int id = -1, ratio_var = -1;
    Ornaxcompositegridtype grid;
};

void note(Ornaxcompositereporttype& report, const std::string& message) {
    std::fprintf(stderr, "ornax_composite: %s\n", message.c_str());
    report.messages.push_back(message);
}

// Year and day of year of a day counted from 1970-01-01.
void day_of_epoch(long days, int& year, int& doy) {
    year = 1970;
    while (days < 0) days += is_leap_year(--year) ? 366 : 365;
    while (days >= (is_leap_year(year) ? 366 : 365)) days -= is_leap_year(year++) ? 366 : 365;
    doy = static_cast<int>(days) + 1;
}

bool open_source(Source& src, std::vector<Step>& steps, std::size_t index, std::string& why) {
    Ornaxncfiletype nc;
    if (!nc.ok(nc_open(src.path.c_str(), NC_NOWRITE, &src.id), "open")) {
        why = src.path + ": " + nc_strerror(nc.status);
        return false;
    }
    int lat_dim = -1, lon_dim = -1, time_dim = -1, lat_var = -1, lon_var = -1, bnds_var = -1;
    size_t nlat = 0, nlon = 0, ntime = 0;
    nc.ok(nc_inq_dimid(src.id, "lat", &lat_dim), "lat");
    nc.ok(nc_inq_dimid(src.id, "lon", &lon_dim), "lon");
    nc.ok(nc_inq_dimid(src.id, "time", &time_dim), "time");
    nc.ok(nc_inq_dimlen(src.id, lat_dim, &nlat), "lat");
    nc.ok(nc_inq_dimlen(src.id, lon_dim, &nlon), "lon");
    nc.ok(nc_inq_dimlen(src.id, time_dim, &ntime), "time");
    nc.ok(nc_inq_varid(src.id, "lat", &lat_var), "lat");
    nc.ok(nc_inq_varid(src.id, "lon", &lon_var), "lon");
    nc.ok(nc_inq_varid(src.id, "time_bnds", &bnds_var), "time_bnds");
    nc.ok(nc_inq_varid(src.id, "RATIO_MEAN", &src.ratio_var), "RATIO_MEAN");
    if (nc.status != NC_NOERR || nlat < 2 || nlon < 2) {
        why = src.path + " is not a composite file of ornax_composite (" +
              (nc.status != NC_NOERR ? nc.failure() : std::string("grid under 2 x 2")) + ")";
        return false;
    }
    std::vector<double> lat(nlat), lon(nlon), bnds(2 * ntime);
    float missing = 0.0f;
    nc.ok(nc_get_var_double(src.id, lat_var, lat.data()), "lat");
    nc.ok(nc_get_var_double(src.id, lon_var, lon.data()), "lon");
    if (ntime > 0) nc.ok(nc_get_var_double(src.id, bnds_var, bnds.data()), "time_bnds");
    nc.ok(nc_get_att_float(src.id, src.ratio_var, "_FillValue", &missing), "_FillValue");
    if (nc.status != NC_NOERR) {
        why = src.path + ": " + nc.failure();
        return false;
    }
    Spatialinfodata& g = src.grid.grid;
    g.ncols = static_cast<int>(nlon);
    g.nrows = static_cast<int>(nlat);
    g.dlon = static_cast<float>(lon[1] - lon[0]);
    g.dlat = static_cast<float>(lat[1] - lat[0]);
    g.west_lon = static_cast<float>(lon[0] - 0.5 * (lon[1] - lon[0]));
    g.south_lat = static_cast<float>(lat[0] - 0.5 * (lat[1] - lat[0]));
    g.east_lon = g.west_lon + g.ncols * g.dlon;
    g.north_lat = g.south_lat + g.nrows * g.dlat;
    g.spare_value = missing;
    for (size_t k = 0; k < ntime; ++k) {
        Step s;
        s.file = index;
        s.step = k;
        const long start = std::lround(bnds[2 * k]), end = std::lround(bnds[2 * k + 1]);
        day_of_epoch(start, s.window.first_year, s.window.first_doy);
        day_of_epoch(end - 1, s.window.last_year, s.window.last_doy);
        s.window.first = static_cast<int>(start);
        s.window.last = static_cast<int>(end - 1);
        s.key_doy = s.window.first_doy;
        s.key_days = static_cast<int>(end - start);
        steps.push_back(s);
    }
    return true;
}

bool read_ratio(const Source& src, std::size_t step, std::vector<float>& values) {
    const Spatialinfodata& g = src.grid.grid;
    values.resize(static_cast<std::size_t>(g.ncols) * static_cast<std::size_t>(g.nrows));
    const size_t start[3] = {step, 0, 0};
    const size_t count[3] = {1, static_cast<size_t>(g.nrows), static_cast<size_t>(g.ncols)};
    return nc_get_vara_float(src.id, src.ratio_var, start, count, values.data()) == NC_NOERR;
}

// The anomaly rasters of step `target` among the steps of its window in every year.
bool anomaly_of(const std::vector<Source>& sources, const std::vector<Step>& steps,
                const Step& target, int min_years, std::vector<std::vector<float>>& rasters) {
    const float missing = sources.front().grid.grid.spare_value;
    std::vector<float> x, member;
    if (!read_ratio(sources[target.file], target.step, x)) return false;
    const std::size_t pixels = x.size();
    std::vector<double> sum(pixels, 0.0), sum2(pixels, 0.0);
    std::vector<int> years(pixels, 0);
    for (const Step& s : steps) {
        if (s.key_doy != target.key_doy || s.key_days != target.key_days) continue;
        if (!read_ratio(sources[s.file], s.step, member)) return false;
        for (std::size_t i = 0; i < pixels; ++i) {
            const float v = member[i];
            if (v == missing || !std::isfinite(v)) continue;
            sum[i] += v;
            sum2[i] += static_cast<double>(v) * v;
            ++years[i];
        }
    }
    rasters.assign(ornax_anomaly_variables().size(), std::vector<float>(pixels, missing));
    for (std::size_t i = 0; i < pixels; ++i) {
        const int n = years[i];
        rasters[0][i] = x[i];
        rasters[3][i] = static_cast<float>(n);
        if (n > 0) rasters[2][i] = static_cast<float>(sum[i] / n);
        if (n < min_years) {
            rasters[4][i] = ornax_anomaly_too_few_years;
            continue;
        }
        const double mean = sum[i] / n;
        const double variance = std::max(0.0, (sum2[i] - n * mean * mean) / (n - 1));
        const double sd = std::sqrt(variance);
        // a spread below float resolution of the mean is no spread
        if (!(sd > 1e-6 * std::max(1.0, std::fabs(mean)))) {
            rasters[4][i] = ornax_anomaly_no_spread;
            continue;
        }
        rasters[4][i] = ornax_anomaly_ok;
        if (x[i] != missing && std::isfinite(x[i]))
            rasters[1][i] = static_cast<float>((x[i] - mean) / sd);
    }
    return true;
}

}  // namespace

void ornax_composite_anomalies(const Ornaxcompositeoptionstype& options,
                               Ornaxcompositereporttype& report, int& status) {
    status = ornax_status_failure;
    report = Ornaxcompositereporttype{};
    std::vector<Source> sources(options.anomaly_inputs.size());
    std::vector<Step> steps;
    std::string why;
    bool ok = true;
    for (std::size_t k = 0; k < sources.size() && ok; ++k) {
        sources[k].path = options.anomaly_inputs[k];
        ok = open_source(sources[k], steps, k, why);
        if (ok && k > 0 && !sources[k].grid.same_as(sources.front().grid)) {
            why = "refused: " + sources[k].path + " is on the grid " + sources[k].grid.text() +
                  ", not " + sources.front().grid.text() + " of " + sources.front().path;
            ok = false;
        }
        // one file per year: a window of the same year in two files would count that year twice
        for (std::size_t a = 0; ok && a < steps.size(); ++a)
            for (std::size_t b = a + 1; ok && b < steps.size(); ++b)
                if (steps[b].file == k && steps[a].file != k &&
                    steps[a].window.first_year == steps[b].window.first_year &&
                    steps[a].key_doy == steps[b].key_doy &&
                    steps[a].key_days == steps[b].key_days) {
                    why = "refused: " + sources[steps[a].file].path + " and " + sources[k].path +
                          " both hold the window from " +
                          std::to_string(steps[a].window.first_year) + " day " +
                          std::to_string(steps[a].key_doy) + " (anomalies need one file per year)";
                    ok = false;
                }
    }
    std::stable_sort(steps.begin(), steps.end(),
                     [](const Step& a, const Step& b) { return a.window.first < b.window.first; });
    Ornaxcompositenctype file;
    if (ok && steps.empty()) {
        why = "the composite files hold no window";
        ok = false;
    }
    // written under a staging name beside the anomaly file, then switched into place
    const fs::path target = fs::absolute(options.anomaly_output).lexically_normal();
    const std::string staged = ornax_publish_staging_name(target.string());
    if (ok) {
        ornax_publish_recover(target.parent_path().string());
        ornax_composite_nc_open(file, staged, sources.front().grid, ornax_anomaly_variables(), why,
                                status);
        ok = status == 0;
    }
    std::vector<std::vector<float>> rasters;
    for (std::size_t k = 0; k < steps.size() && ok; ++k) {
        ok = anomaly_of(sources, steps, steps[k], options.min_years, rasters);
        if (!ok) why = "cannot read RATIO_MEAN of " + sources[steps[k].file].path;
        if (ok) ornax_composite_nc_append(file, steps[k].window, rasters, why, status);
        ok = ok && status == 0;
    }
    for (Source& src : sources)
        if (src.id >= 0) nc_close(src.id);
    if (ok) {
        std::string inputs;
        for (const std::string& path : options.anomaly_inputs)
            inputs += (inputs.empty() ? "" : " ") + path;
        std::string command;
        for (const std::string& word : options.command_line)
            command += (command.empty() ? "" : " ") + word;
        ornax_composite_nc_close(
            file, "ornax standardized anomalies of the mean ratio of ET to reference ET",
            {{"history", ornax_utc_now() + ": " + command},
             {"comment", "RATIO_ANOMALY = (RATIO_MEAN - mean) / sd over the years whose files "
                         "hold the window (same first day of year and length); sd the sample "
                         "standard deviation; flagged too_few_years under " +
                             std::to_string(options.min_years) + " years"},
             {"min_years", std::to_string(options.min_years)},
             {"composite_files", inputs}},
            why, status);
        if (status == 0) ornax_publish({{staged, target.string()}}, true, why, status);
        ok = status == 0;
        std::remove(staged.c_str());  // left only when the switch failed
    } else if (file.nc.id >= 0) {
        ornax_composite_nc_abort(file);
    }
    if (!ok) {
        status = ornax_status_failure;
        return note(report, why);
    }
    note(report, std::to_string(steps.size()) + " windows of " + std::to_string(sources.size()) +
                     " composite files, anomalies written to " + options.anomaly_output);
    status = 0;
}
