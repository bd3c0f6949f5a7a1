// One day of a flux-tower record turned into the records of a site input file, and the
// measured fluxes the site run's results are compared with. Everything the record does not
// measure is an assumption named here (and printed by `assumption_lines`).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "ornax90/ORNAX_data_mod.hpp"
#include "ornax90/ORNAX_rad_mod.hpp"
#include "ornax90/ORNAX_utl_mod.hpp"
#include "ornax90/input_check/ranges.hpp"
#include "ornax90/ornax_constants_mod.hpp"
#include "tower_sites/record.hpp"

namespace tower {

// What the records do not hold about their sites: position, land class of the class table,
// leaf area and canopy height (`missing`: the record gives them), the time zone of the
// record's clock (h east of UTC) and the elevation, for a pressure the record lacks.
struct TowerSite {
    const char* name;
    const char* description;
    float lat;
    float lon;
    int landcover;
    float xlai;
    float canopy_height;  // m
    float record_utc_offset;
    float elevation;  // m
};

inline constexpr std::array<TowerSite, 4> tower_sites = {{
    {"AT_Neu", "mown mountain meadow", 47.1167f, 11.3175f, 11, 3.0f, 0.3f, 1.0f, 970.0f},
    {"DE_Tha", "spruce forest", 50.9626f, 13.5651f, 2, 7.0f, 27.0f, 1.0f, 380.0f},
    {"FR_Pue", "evergreen oak forest", 43.7413f, 3.5957f, 3, 2.9f, 5.5f, 1.0f, 270.0f},
    {"monsoon90_1", "semi-arid shrubland", 31.7437f, -110.0522f, 8, missing, missing, -7.0f,
     1372.0f},
}};

inline const TowerSite* find_site(const std::string& name) {
    for (const TowerSite& s : tower_sites)
        if (name == s.name) return &s;
    return nullptr;
}

// surface emissivity that turns upwelling long-wave into a radiometric temperature
inline constexpr float surface_emissivity = 0.98f;
// PPFD per W m-2 of global insolation: PAR is 0.46 of the global short-wave, 4.57 umol J-1
inline constexpr float ppfd_per_insolation = 2.1f;
// potential temperature gradient of the assumed sounding: g / cp less a 6.5 K km-1 lapse
inline constexpr float sounding_theta_gradient = 0.0033f;  // K m-1
inline constexpr std::array<float, 23> sounding_heights = {
    10,   25,   50,   80,   120,  170,  230,  300,  400,  520,  660, 820,
    1000, 1250, 1500, 1800, 2150, 2550, 3000, 3500, 4000, 4600, 5300};  // m above ground
// the observation times, as the region run places them: sunrise + 1.5 h, and 1.5 h before
// the midpoint of sunrise and sunset (h)
inline constexpr float first_time_after_sunrise = 1.5f;
inline constexpr float second_time_before_midday = 1.5f;
// a day whose daytime latent heat is gap-filled in more than this share is skipped
inline constexpr float max_filled_share = 1.0f / 3.0f;
inline constexpr float filled_good_qc = 1.0f;  // qc 0 measured, 1 filled with good quality
inline constexpr float half_hour_seconds = 1800.0f;
// a day's closure outside these bounds (rain, dew, a failing sensor) gives no corrected ET
inline constexpr float closure_low = 0.5f;
inline constexpr float closure_high = 1.5f;

struct TowerDay {
    int year = 0;
    int doy = 0;
    std::string skipped;  // why the day is not usable; empty for a usable day
    Ornaxlandtype land;
    Ornaxinputvartype input;
    int daytime_half_hours = 0;
    int filled_half_hours = 0;  // daytime LE with qc 1
    float et_day = 0.0f;        // measured daytime latent heat sum (MJ m-2 day-1)
    float et_night = 0.0f;      // the night's half-hours of the same day (MJ m-2 day-1)
    float closure = 0.0f;       // daytime (H + LE) / (Rn - G)
    bool g_measured = false;    // G measured at every daytime half-hour
    // measured at the second observation time (W m-2); G `missing` when not measured
    float rn2 = missing, h2 = missing, le2 = missing, g2 = missing;
    // closure-corrected daily ET: LE scaled so that H + LE = Rn - G at the same Bowen ratio
    // a measured flux scaled by the day's closure, `missing` when the closure is implausible
    float closed(float flux) const {
        return flux != missing && closure >= closure_low && closure <= closure_high ? flux / closure
                                                                                    : missing;
    }
    float et_day_closed() const { return closed(et_day); }
};

// surface pressure of the standard atmosphere at an elevation (mb)
inline float standard_pressure(float elevation) {
    return 1013.25f * std::pow(1.0f - 2.25577e-5f * elevation, 5.25588f);
}

// clear-sky downward long-wave (W m-2), emissivity 1.24 (e/T)^(1/7), e in mb, T in K
inline float clear_sky_longwave(float ta, float vapour_pressure) {
    const float tk = ta + ornax_tkelvin;
    const float emissivity = 1.24f * std::pow(std::max(vapour_pressure, 0.01f) / tk, 1.0f / 7.0f);
    return emissivity * ornax_stefan_boltzmann * tk * tk * tk * tk;
}

// radiometric surface temperature (deg C) from upwelling and downward long-wave (W m-2):
// LW_up = e sigma T^4 + (1 - e) LW_down
inline float radiometric_temperature(float lw_up, float lw_down) {
    const float emitted = (lw_up - (1.0f - surface_emissivity) * lw_down) /
                          (surface_emissivity * ornax_stefan_boltzmann);
    return std::pow(std::max(emitted, 0.0f), 0.25f) - ornax_tkelvin;
}

// The half-hours of a record by their place from the first row's day.
class HalfHours {
public:
    explicit HalfHours(const TowerRecord& record) {
        if (record.rows.empty()) return;
        first_doy_ = record.rows.front().doy;
        for (const TowerRow& r : record.rows) {
            const size_t k = index(r.doy, r.hour);
            if (k >= rows_.size()) rows_.resize(k + 1, nullptr);
            rows_[k] = &r;
        }
    }
    // the row of the half-hour starting at `hour` of `doy` (hour may leave the day)
    const TowerRow* at(int doy, float hour) const {
        const float k = (static_cast<float>(doy - first_doy_) * 24.0f + hour) * 2.0f;
        if (k < 0.0f) return nullptr;
        const size_t i = static_cast<size_t>(std::lround(k));
        return i < rows_.size() ? rows_[i] : nullptr;
    }

private:
    size_t index(int doy, float hour) const {
        return static_cast<size_t>(
            std::lround((static_cast<float>(doy - first_doy_) * 24.0f + hour) * 2.0f));
    }
    int first_doy_ = 0;
    std::vector<const TowerRow*> rows_;
};

// "13:30" for a time of day in hours.
inline std::string clock(float hours) {
    const int minutes = static_cast<int>(std::lround(hours * 60.0f));
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d", ((minutes / 60) % 24 + 24) % 24,
                  ((minutes % 60) + 60) % 60);
    return text;
}

struct DayClock {
    float shift = 0.0f;                   // record time - model local standard time (h)
    float sunrise = 0.0f, sunset = 0.0f;  // model local standard time (h)
    float pressure = 0.0f;                // mb, for a record without pressure
};

// The row whose half-hour is centred at model time t of the day; nullptr when absent.
inline const TowerRow* row_centred(const HalfHours& rows, int doy, const DayClock& c, float t) {
    return rows.at(doy, t + c.shift - 0.25f);
}

// Meteorology of one half-hour as the site file holds it; false when a value is missing.
struct Meteo {
    float sdn, taobs, spfh, pres, wind, lwdn;
};
// `pressure_mb` stands in for a pressure the record does not hold.
inline bool meteo_of(const TowerRow* r, bool sun_up, float pressure_mb, Meteo& m,
                     std::string& lacking) {
    if (r == nullptr) {
        lacking = "the half-hour is not in the record";
        return false;
    }
    for (Column c : {tair, vpd, pressure, wind}) {
        if (!r->has(c) && !(c == pressure && pressure_mb > 0.0f)) {
            lacking = std::string(column_names[c]) + " is missing";
            return false;
        }
    }
    if (sun_up && !r->has(ppfd) && !r->has(insolation)) {
        lacking = "PPFD is missing with the sun up";
        return false;
    }
    m.taobs = r->values[tair];
    m.sdn = r->has(insolation) ? std::max(r->values[insolation], 0.0f)
            : r->has(ppfd)     ? std::max(r->values[ppfd], 0.0f) / ppfd_per_insolation
                               : 0.0f;
    m.spfh = std::max(saturation_vapour_pressure(m.taobs) - 10.0f * r->values[vpd], 0.01f);
    m.pres = r->has(pressure) ? 10.0f * r->values[pressure] : pressure_mb;
    m.wind = r->values[wind];
    m.lwdn = r->has(lw_down) ? r->values[lw_down] : clear_sky_longwave(m.taobs, m.spfh);
    return true;
}

// The observation time nearest `target` at the centre of one of the record's half-hours.
inline float centred_time(float target) {
    return std::round((target - 0.25f) * 2.0f) / 2.0f + 0.25f;
}

// The hourly slot h: the mean of the two half-hours centred a quarter-hour either side.
inline bool hourly_slot(const HalfHours& rows, int doy, const DayClock& c, int h, Meteo& out,
                        std::string& lacking) {
    const float t = static_cast<float>(h);
    const bool sun_up = t > c.sunrise && t < c.sunset;
    Meteo a{}, b{};
    std::string why_a, why_b;
    const bool has_a = meteo_of(row_centred(rows, doy, c, t - 0.25f), sun_up, c.pressure, a, why_a);
    const bool has_b = meteo_of(row_centred(rows, doy, c, t + 0.25f), sun_up, c.pressure, b, why_b);
    if (!has_a && !has_b) {
        lacking = "hour " + clock(t) + ": " + why_b;
        return false;
    }
    if (!has_a || !has_b) {
        out = has_a ? a : b;
        return true;
    }
    out = {0.5f * (a.sdn + b.sdn),   0.5f * (a.taobs + b.taobs), 0.5f * (a.spfh + b.spfh),
           0.5f * (a.pres + b.pres), 0.5f * (a.wind + b.wind),   0.5f * (a.lwdn + b.lwdn)};
    return true;
}

// The measured fluxes of the day's daytime half-hours (centred between sunrise and sunset)
// and the night's latent heat; false with the reason when the day cannot be measured.
inline bool measured_fluxes(const HalfHours& rows, const DayClock& c, TowerDay& day) {
    float le_sum = 0.0f, turbulent = 0.0f, available = 0.0f;
    day.g_measured = true;
    for (int k = 0; k < half_hours_per_day; ++k) {
        const float t = 0.25f + 0.5f * static_cast<float>(k);
        const TowerRow* r = row_centred(rows, day.doy, c, t);
        const bool daytime = t > c.sunrise && t < c.sunset;
        if (!daytime) {
            if (r != nullptr && r->has(le))
                day.et_night += r->values[le] * half_hour_seconds * 1e-6f;
            continue;
        }
        if (r == nullptr) {
            day.skipped = "daytime half-hour at " + clock(t) + " is not in the record";
            return false;
        }
        for (Column col : {le, h, rn, le_qc, h_qc}) {
            if (!r->has(col)) {
                day.skipped = std::string(column_names[col]) + " missing at " + clock(t);
                return false;
            }
        }
        if (r->values[le_qc] > filled_good_qc || r->values[h_qc] > filled_good_qc) {
            day.skipped = "LE or H filled with lower quality (qc above 1) at " + clock(t);
            return false;
        }
        ++day.daytime_half_hours;
        if (r->values[le_qc] > 0.0f) ++day.filled_half_hours;
        le_sum += r->values[le];
        turbulent += r->values[le] + r->values[h];
        if (!r->has(g)) day.g_measured = false;
        available += r->values[rn] - (r->has(g) ? r->values[g] : 0.0f);
    }
    if (day.daytime_half_hours == 0) {
        day.skipped = "no daytime half-hour";
        return false;
    }
    const float filled =
        static_cast<float>(day.filled_half_hours) / static_cast<float>(day.daytime_half_hours);
    if (filled > max_filled_share) {
        char text[96];
        std::snprintf(text, sizeof text, "%d of %d daytime LE half-hours gap-filled",
                      day.filled_half_hours, day.daytime_half_hours);
        day.skipped = text;
        return false;
    }
    day.et_day = le_sum * half_hour_seconds * 1e-6f;
    day.closure = available > 0.0f ? turbulent / available : 0.0f;
    const TowerRow* r2 = row_centred(rows, day.doy, c, day.input.tloc2);
    day.rn2 = r2->values[rn];
    day.h2 = r2->values[h];
    day.le2 = r2->values[le];
    day.g2 = r2->has(g) ? r2->values[g] : missing;
    return true;
}

// The record's value where it gives one, else the site's.
inline float known(float of_record, float of_site) {
    return of_record != missing ? of_record : of_site;
}

// The land record of the site file: the class's values from the table, the canopy height
// as both hmin and hmax (so the site's hc is that height at any cover), and a cover fraction
// the record gives as the least cover fcmin.
inline Ornaxlandtype site_land(const Ornaxlandtype& class_entry, const TowerSite& site,
                               const TowerRecord& record) {
    Ornaxlandtype land = class_entry;
    land.landcover = site.landcover;
    land.hmin = known(record.canopy_height, site.canopy_height);
    land.hmax = land.hmin;
    land.fcmin = known(record.cover, land.fcmin);
    return land;
}

// The day's clock: the record's shift from the model's local standard time and the sunrise
// and sunset as the core takes them (local standard time of the zone's meridian). false
// when the sun does not rise and set.
inline bool day_clock(const TowerSite& site, int year, int doy, DayClock& c) {
    int zone = 0, status = 0;
    ornax_time_zone_hours(site.lon, zone, status);
    c.shift = site.record_utc_offset - static_cast<float>(zone);
    c.pressure = standard_pressure(site.elevation);
    float zenith = 0.0f;
    int sun_status = 0;
    ornax_get_sun_zen(site.lat, site.lon, 15.0f * static_cast<float>(zone), doy, year, 12.0f,
                      zenith, c.sunrise, c.sunset, sun_status);
    return status == 0 && sun_status == 0 && c.sunrise < c.sunset;
}

// The two observation times and their values; false with the reason when one is missing.
inline bool observation_inputs(const HalfHours& rows, int doy, const DayClock& c,
                               Ornaxinputvartype& in, std::string& lacking) {
    in.tloc1 = centred_time(c.sunrise + first_time_after_sunrise);
    in.tloc2 = centred_time(0.5f * (c.sunrise + c.sunset) - second_time_before_midday);
    for (int i = 0; i < 2; ++i) {
        const float t = i == 0 ? in.tloc1 : in.tloc2;
        const TowerRow* r = row_centred(rows, doy, c, t);
        Meteo m{};
        std::string why;
        if (!meteo_of(r, true, c.pressure, m, why) || !(r->has(t_rad) || r->has(lw_up))) {
            lacking = "observation time " + clock(t) + ": " +
                      (why.empty() ? std::string("LW_up is missing") : why);
            return false;
        }
        const float trad =
            r->has(t_rad) ? r->values[t_rad] : radiometric_temperature(r->values[lw_up], m.lwdn);
        (i == 0 ? in.trad1 : in.trad2) = trad;
        (i == 0 ? in.sdn1 : in.sdn2) = m.sdn;
        (i == 0 ? in.lwdn1 : in.lwdn2) = m.lwdn;
        (i == 0 ? in.wind1 : in.wind2) = m.wind;
        (i == 0 ? in.taobs1 : in.taobs2) = m.taobs;
        (i == 0 ? in.pres1 : in.pres2) = m.pres;
        (i == 0 ? in.spfh1 : in.spfh2) = m.spfh;
    }
    return true;
}

// The assumed sounding: the potential temperature of the first time's air at its pressure,
// rising by the assumed gradient with height.
inline void assumed_sounding(Ornaxinputvartype& in) {
    const float kappa = static_cast<float>(ornax_gas_constant_dry_air / ornax_cp_dry_air);
    const float theta_surface = (in.taobs1 + ornax_tkelvin) * std::pow(1000.0f / in.pres1, kappa);
    in.npbl = static_cast<int>(sounding_heights.size());
    for (size_t k = 0; k < sounding_heights.size(); ++k) {
        in.z_pbli[k] = sounding_heights[k];
        in.th_pblk[k] = theta_surface + sounding_theta_gradient * sounding_heights[k];
    }
}

// The 24 hourly values; false with the reason when an hour has no value.
inline bool hourly_series(const HalfHours& rows, int doy, const DayClock& c, Ornaxinputvartype& in,
                          std::string& lacking) {
    for (int hour = 0; hour < ornax_hours_per_day; ++hour) {
        Meteo m{};
        if (!hourly_slot(rows, doy, c, hour, m, lacking)) return false;
        const size_t i = static_cast<size_t>(hour);
        in.tloc_day[i] = static_cast<float>(hour);
        in.sdn_day[i] = m.sdn;
        in.taobs_day[i] = m.taobs;
        in.spfh_day[i] = m.spfh;
        in.pres_day[i] = m.pres;
        in.wind_day[i] = m.wind;
        in.lwdn_day[i] = m.lwdn;
    }
    return true;
}

// The first input outside the range table, as a reason; empty when every input is in range.
inline std::string range_failure(const Ornaxlandtype& land, const Ornaxinputvartype& in) {
    int failures = 0;
    Ornaxrangefailure first;
    ornax_check_input_ranges(land, in, ornax_hours_per_day, failures, first);
    if (failures == 0) return "";
    char text[128];
    std::snprintf(text, sizeof text, "%s = %g is outside the %s range", first.field.c_str(),
                  static_cast<double>(first.value),
                  first.range != nullptr ? first.range->quantity : "input");
    return text;
}

// Builds the day `doy` of a record; day.skipped says why when it is not usable.
inline void build_tower_day(const TowerRecord& record, const HalfHours& rows, const TowerSite& site,
                            const Ornaxlandtype& class_entry, int doy, TowerDay& day) {
    day = TowerDay{};
    day.year = record.rows.front().year;
    day.doy = doy;
    day.land = site_land(class_entry, site, record);
    DayClock c;
    if (!day_clock(site, day.year, doy, c)) {
        day.skipped = "no sunrise and sunset at the site on this day";
        return;
    }
    Ornaxinputvartype& in = day.input;
    in.year = day.year;
    in.doy = doy;
    in.lat = site.lat;
    in.lon = site.lon;
    in.landcover = site.landcover;
    in.xlai = known(record.xlai, site.xlai);
    in.xndvi = 0.0f;                            // not used by the core
    in.theta = known(record.view_angle, 0.0f);  // else the radiometer looks down
    if (!observation_inputs(rows, doy, c, in, day.skipped)) return;
    assumed_sounding(in);
    if (!hourly_series(rows, doy, c, in, day.skipped)) return;
    ornax_site_canopy(day.land, in);
    day.skipped = range_failure(day.land, in);
    if (day.skipped.empty()) measured_fluxes(rows, c, day);
}

}  // namespace tower
