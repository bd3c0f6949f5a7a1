// The nine forcing rasters of one day from the forecast fields on the common grid.
#include "ingest/forecast/day.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "utils/fixed_text.hpp"
#include "ingest/common/support.hpp"
#include "ornax90/ornax_constants_mod.hpp"

namespace {

constexpr float nan_value = std::numeric_limits<float>::quiet_NaN();
constexpr double bottom_height = 2.0;  // m: the 2 m temperature is the profile's bottom point

std::string level_text(double pressure) {
    return pressure >= 100.0 ? ingest_number(pressure / 100.0) + " hPa"
                             : ingest_number(pressure) + " Pa";
}

std::string missing_text(const char* name, double pressure, std::int64_t t) {
    const ForecastVariable* v = forecast_variable(name);
    std::string level = v->level_type;
    if (level == "isobaric")
        level = "pressure level " + level_text(pressure);
    else
        level += " " + std::to_string(v->level);
    return std::string(name) + " (" + v->meaning + ", " + level + ", " + v->step_type +
           ") is missing at " + forecast_time_text(t);
}

// The record of one step of a raster.
nlohmann::json& step_record(ForecastDayRasters& day, const std::string& raster, std::int64_t t) {
    nlohmann::json& steps = day.record[raster];
    steps.push_back({{"time", forecast_time_text(t)}, {"fields", nlohmann::json::array()}});
    return steps.back();
}

const StoredField* instant(const ForecastStore& store, const char* name, double pressure,
                           std::int64_t t, nlohmann::json& step, std::string& error) {
    const StoredField* f = store.instant(name, pressure, t);
    if (f == nullptr) {
        if (error.empty()) error = missing_text(name, pressure, t);
        return nullptr;
    }
    step["fields"].push_back(f->source);
    return f;
}

// Mean over the three hours ending at t from an average over a window ending at t: a
// three-hour window directly, a longer window [a, t] with the average over [a, t - 3] of
// the same reference time by mean = (L A(a, t) - (L - 3) A(a, t - 3)) / 3.
bool three_hour_mean(const ForecastStore& store, const char* name, std::int64_t t,
                     std::vector<float>& mean, nlohmann::json& step) {
    std::vector<const StoredField*> windows = store.averages_ending(name, t);
    const StoredField* direct = nullptr;
    const StoredField *longer = nullptr, *partner = nullptr;
    for (const StoredField* w : windows) {
        if (w->end - w->start == 3 && (direct == nullptr || w->reference > direct->reference))
            direct = w;
        if (w->end - w->start > 3 && (longer == nullptr || w->reference > longer->reference)) {
            const StoredField* p = store.average(name, w->reference, w->start, w->end - 3);
            if (p != nullptr) {
                longer = w;
                partner = p;
            }
        }
    }
    if (direct != nullptr) {
        mean = direct->cells;
        step["fields"].push_back(direct->source);
        step["method"] = "average over steps " + std::to_string(direct->start) + "-" +
                         std::to_string(direct->end) + " h used as it is";
        return true;
    }
    if (longer == nullptr) return false;
    const double length = static_cast<double>(longer->end - longer->start);
    mean.resize(longer->cells.size());
    for (std::size_t i = 0; i < mean.size(); ++i)
        mean[i] = static_cast<float>(
            (length * longer->cells[i] - (length - 3.0) * partner->cells[i]) / 3.0);
    step["fields"].push_back(longer->source);
    step["fields"].push_back(partner->source);
    const std::string a = std::to_string(longer->start), b = std::to_string(longer->end),
                      c = std::to_string(longer->end - 3),
                      l = std::to_string(longer->end - longer->start);
    step["method"] = "(" + l + " x average " + a + "-" + b + " h - " +
                     std::to_string(longer->end - 3 - longer->start) + " x average " + a + "-" + c +
                     " h) / 3";
    return true;
}

void flux_step(const ForecastStore& store, const char* name, std::int64_t t, bool radiation,
               ForecastDayRasters& day, const std::string& raster, std::vector<float>& out,
               std::string& error) {
    nlohmann::json& step = step_record(day, raster, t);
    if (!three_hour_mean(store, name, t, out, step)) {
        // no average ends here (the reference time itself): the next step's mean
        nlohmann::json next;
        next["fields"] = nlohmann::json::array();
        if (!three_hour_mean(store, name, t + 3, out, next)) {
            if (error.empty())
                error = missing_text(name, 0.0, t) + " (no average over a window ending then or" +
                        " three hours later)";
            return;
        }
        // at the forecast's own start no average can end: the first window begins there
        bool at_start = false;
        for (const StoredField* w : store.averages_ending(name, t + 3))
            at_start = at_start || (w->reference == t && w->start == 0);
        if (!at_start && !day.substitute_missing_averages) {
            if (error.empty())
                error = missing_text(name, 0.0, t) +
                        " (no average over a window ending then; the next step's mean is "
                        "not used in its place without --substitute-missing-averages)";
            return;
        }
        step["fields"] = next["fields"];
        if (at_start) {
            step["method"] = "no average ends at this time: the mean of the next step (" +
                             next["method"].get<std::string>() + ")";
        } else {
            step["method"] = "average missing: substituted by the mean of the next step, 3 h "
                             "later (" +
                             next["method"].get<std::string>() + ")";
            ingest_message(std::string(name) + " at " + forecast_time_text(t) +
                           ": no average ends at this time; substituted by the mean of the next "
                           "step, a gap of 3 h (--substitute-missing-averages)");
        }
    }
    if (!radiation) return;
    for (float& v : out)
        if (v < 0.0f) {  // de-averaging of packed values can dip below zero at night
            v = 0.0f;
            ++day.radiation_set_to_zero;
        }
}

// Surface series of one step: t2, q2, psfc, wind, lwdn, swdn, cfslst, lhtfl.
void surface_step(const ForecastStore& store, std::int64_t t, std::size_t cells, int step_index,
                  ForecastDayRasters& day, std::string& error) {
    const std::size_t at = static_cast<std::size_t>(step_index) * cells;
    auto put = [&](const char* raster, const std::vector<float>& values) {
        for (ForecastRaster& r : day.rasters)
            if (r.file == raster && values.size() == cells)
                std::copy(values.begin(), values.end(), r.values.begin() + static_cast<long>(at));
    };
    nlohmann::json& s_t2 = step_record(day, "t2_series.bin", t);
    const StoredField* t2 = instant(store, "2t", 0.0, t, s_t2, error);
    nlohmann::json& s_sp = step_record(day, "psfc_series.bin", t);
    const StoredField* sp = instant(store, "sp", 0.0, t, s_sp, error);
    nlohmann::json& s_skin = step_record(day, "cfslst.bin", t);
    const StoredField* skin = instant(store, "skin t", 0.0, t, s_skin, error);
    nlohmann::json& s_wind = step_record(day, "wind_surface.bin", t);
    const StoredField* u = instant(store, "10u", 0.0, t, s_wind, error);
    const StoredField* v = instant(store, "10v", 0.0, t, s_wind, error);
    nlohmann::json& s_q = step_record(day, "q2_series.bin", t);
    const StoredField* q = store.instant("2sh", 0.0, t);
    const StoredField* rh = q == nullptr ? instant(store, "2r", 0.0, t, s_q, error) : nullptr;
    if (q != nullptr) {
        s_q["fields"].push_back(q->source);
        s_q["method"] = "2 m specific humidity as given";
    }
    if (t2) put("t2_series.bin", t2->cells);
    if (sp) put("psfc_series.bin", sp->cells);
    if (skin) put("cfslst.bin", skin->cells);
    if (u && v) {
        std::vector<float> speed(cells);
        for (std::size_t i = 0; i < cells; ++i)
            speed[i] = std::sqrt(u->cells[i] * u->cells[i] + v->cells[i] * v->cells[i]);
        put("wind_surface.bin", speed);
    }
    if (q) put("q2_series.bin", q->cells);
    if (rh && t2 && sp) {
        s_q["fields"].push_back(t2->source);
        s_q["fields"].push_back(sp->source);
        s_q["method"] = "from 2 m relative humidity, 2 m temperature and surface pressure";
        std::vector<float> qs(cells);
        for (std::size_t i = 0; i < cells; ++i)
            qs[i] = static_cast<float>(
                forecast_specific_humidity(rh->cells[i], t2->cells[i], sp->cells[i]));
        put("q2_series.bin", qs);
    }
    const char* fluxes[3][2] = {
        {"dlwrf", "lwdn.bin"}, {"dswrf", "swdn.bin"}, {"lhtfl", "lhtfl.bin"}};
    for (int k = 0; k < 3; ++k) {
        std::vector<float> mean;
        flux_step(store, fluxes[k][0], t, k < 2, day, fluxes[k][1], mean, error);
        put(fluxes[k][1], mean);
    }
}

// The potential-temperature profile of one step.
// Pressure levels of temperature or geopotential height at any step of the day: each is
// required at every step.
std::vector<double> day_levels(const ForecastStore& store, std::int64_t day_start) {
    std::vector<double> levels;
    for (int s = 0; s < forecast_steps_per_day; ++s)
        for (const char* name : {"t", "gh"})
            for (double p : store.levels(name, day_start + 3 * s))
                if (std::find(levels.begin(), levels.end(), p) == levels.end()) levels.push_back(p);
    std::sort(levels.begin(), levels.end(), std::greater<double>());
    return levels;
}

void profile_step(const ForecastStore& store, const Spatialinfodata& common, std::int64_t t,
                  int step_index, const std::vector<double>& levels,
                  const std::array<float, ornax_common_layer_count>& heights,
                  ForecastDayRasters& day, std::string& error) {
    nlohmann::json& step = step_record(day, "pot_profile.bin", t);
    if (levels.empty()) {
        if (error.empty()) error = missing_text("t", 0.0, t) + " on every pressure level";
        return;
    }
    std::vector<const StoredField*> tf, ghf;
    for (double p : levels) {
        tf.push_back(instant(store, "t", p, t, step, error));
        ghf.push_back(instant(store, "gh", p, t, step, error));
    }
    const StoredField* zs = store.constant("orog");
    if (zs == nullptr && error.empty())
        error = "orog (surface height, surface 0) is missing in every file given";
    const StoredField* sp = instant(store, "sp", 0.0, t, step, error);
    const StoredField* t2 = instant(store, "2t", 0.0, t, step, error);
    if (!error.empty()) return;
    step["fields"].push_back(zs->source);
    step["method"] = "potential temperature linear in height between " +
                     std::to_string(levels.size()) + " pressure levels and the 2 m temperature";
    const std::size_t cells = zs->cells.size();
    std::vector<float>& out = day.rasters.front().values;  // pot_profile.bin
    std::vector<double> tv(levels.size()), ghv(levels.size());
    std::array<float, ornax_common_layer_count> theta{};
    for (std::size_t i = 0; i < cells; ++i) {
        for (std::size_t k = 0; k < levels.size(); ++k) {
            tv[k] = tf[k]->cells[i];
            ghv[k] = ghf[k]->cells[i];
        }
        double bad = 0.0;
        const ColumnResult r = forecast_theta_column(levels, tv, ghv, zs->cells[i], sp->cells[i],
                                                     t2->cells[i], heights, theta, bad);
        if (r == ColumnResult::not_monotonic) {
            const int col = static_cast<int>(i % common.ncols) + 1;
            const int row = static_cast<int>(i / common.ncols) + 1;
            error = "geopotential heights do not rise with falling pressure at " + level_text(bad) +
                    " in common-grid cell column " + std::to_string(col) + ", row " +
                    std::to_string(row) + " (latitude " + ingest_number(grid_row_lat(common, row)) +
                    ", longitude " + ingest_number(grid_col_lon(common, col)) + ") at " +
                    forecast_time_text(t);
            return;
        }
        if (r == ColumnResult::above_top) {
            ++day.cells_above_top;
            theta.fill(nan_value);
        }
        for (int k = 0; k < ornax_common_layer_count; ++k)
            out[(static_cast<std::size_t>(step_index) * ornax_common_layer_count + k) * cells + i] =
                theta[k];
    }
}

}  // namespace

double forecast_theta(double t, double p) {
    return t * std::pow(ornax_theta_reference_pressure / p,
                        ornax_gas_constant_dry_air / ornax_cp_dry_air);
}

double forecast_specific_humidity(double rh, double t, double p) {
    const double es = 611.2 * std::exp(17.67 * (t - ornax_tkelvin) / (t - 29.65));
    const double e = rh / 100.0 * es;
    const double eps = ornax_water_air_molar_ratio;
    return eps * e / (p - (1.0 - eps) * e);
}

ColumnResult forecast_theta_column(const std::vector<double>& p, const std::vector<double>& t,
                                   const std::vector<double>& gh, double zs, double sp, double t2,
                                   const std::array<float, ornax_common_layer_count>& heights,
                                   std::array<float, ornax_common_layer_count>& theta,
                                   double& bad_level) {
    // points (height above the surface, theta), from the bottom up
    std::vector<std::pair<double, double>> points = {{bottom_height, forecast_theta(t2, sp)}};
    bool missing = std::isnan(points.front().second);
    double previous = -std::numeric_limits<double>::infinity();
    for (std::size_t k = 0; k < p.size(); ++k) {
        if (!(p[k] < sp)) continue;  // at or below the ground
        const double h = gh[k] - zs;
        if (std::isnan(h) || std::isnan(t[k])) {
            missing = true;
            continue;
        }
        if (!(h > previous)) {
            bad_level = p[k];
            return ColumnResult::not_monotonic;
        }
        previous = h;
        if (h > bottom_height) points.push_back({h, forecast_theta(t[k], p[k])});
    }
    if (missing || std::isnan(sp)) {  // an input of the cell is missing: every height is
        theta.fill(nan_value);
        return ColumnResult::ok;
    }
    for (int k = 0; k < ornax_common_layer_count; ++k) {
        const double z = heights[k];
        if (z > points.back().first) return ColumnResult::above_top;
        std::size_t j = 1;
        while (j + 1 < points.size() && points[j].first < z) ++j;
        const auto& [z0, th0] = points[j - 1];
        const auto& [z1, th1] = points[j];
        theta[k] = static_cast<float>(z <= z0 ? th0 : th0 + (z - z0) / (z1 - z0) * (th1 - th0));
    }
    return ColumnResult::ok;
}

void forecast_make_day(const ForecastStore& store, const Spatialinfodata& common, int year, int doy,
                       ForecastDayRasters& day, std::string& error, int& status) {
    status = 0;
    error.clear();
    const std::size_t cells = static_cast<std::size_t>(common.ncols) * common.nrows;
    const std::size_t steps = forecast_steps_per_day;
    const bool substitute = day.substitute_missing_averages;
    day = ForecastDayRasters{};
    day.substitute_missing_averages = substitute;
    day.rasters = {{"pot_profile.bin", ornax_common_layer_count,
                    std::vector<float>(cells * steps * ornax_common_layer_count, nan_value)}};
    for (const char* f : {"psfc_series.bin", "t2_series.bin", "q2_series.bin", "wind_surface.bin",
                          "lwdn.bin", "swdn.bin", "cfslst.bin", "lhtfl.bin"})
        day.rasters.push_back({f, 1, std::vector<float>(cells * steps, nan_value)});
    const Ornaxcommonblock model_common;  // home of the model's profile heights
    const std::int64_t day_start =
        forecast_hours(static_cast<long>(year) * 10000 + 101, 0) + 24 * (doy - 1);
    const std::vector<double> levels = day_levels(store, day_start);
    for (int s = 0; s < forecast_steps_per_day; ++s) {
        const std::int64_t t = day_start + 3 * s;
        profile_step(store, common, t, s, levels, model_common.layer_heights, day, error);
        if (!error.empty()) break;
        surface_step(store, t, cells, s, day, error);
        if (!error.empty()) break;
    }
    if (!error.empty()) {
        status = ingest_status_failed;
        return;
    }
    day.conversions = {
        "horizontal: bilinear interpolation of every field to the common-grid cell centres, "
        "rows written from the south",
        "pot_profile.bin: theta = T (100000 Pa / p)^(287.04 / 1004.64) on each pressure level "
        "with height above the surface = geopotential height - orography, the 2 m temperature "
        "at the surface pressure as the bottom point at 2 m, linear in height to the 30 model "
        "heights (15000 m first)",
        "wind_surface.bin: sqrt(10u^2 + 10v^2) after interpolation of both components",
        "q2_series.bin: 2 m specific humidity as given, or q = 0.622 e / (p - 0.378 e) with "
        "e = rh / 100 x 611.2 exp(17.67 (T - 273.15) / (T - 29.65)) Pa from 2 m relative "
        "humidity, 2 m temperature and surface pressure",
        "lwdn.bin, swdn.bin, lhtfl.bin: three-hour means ending at each step from the averages "
        "of the files (see each step's method)",
        "units as read: K, kg/kg, Pa, m s-1, W m-2; missing values " +
            ingest_number(forecast_fill)};
}
