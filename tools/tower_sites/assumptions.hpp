// The assumptions the site files of a tower record rest on, one printed line each: what the
// record measures, what it lacks and what stands in for it.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "ornax90/ORNAX_data_mod.hpp"
#include "ornax90/ORNAX_utl_mod.hpp"
#include "tower_sites/record.hpp"
#include "tower_sites/site_day.hpp"

namespace tower {

inline std::string trimmed(const std::string& text) {
    const size_t start = text.find_first_not_of(' ');
    const size_t end = text.find_last_not_of(' ');
    return start == std::string::npos ? std::string() : text.substr(start, end - start + 1);
}

// Every assumption the site files of a record rest on, one line each.
inline std::vector<std::string> assumption_lines(const TowerSite& site, const TowerRecord& record,
                                                 const Ornaxlandtype& class_entry,
                                                 const std::string& table) {
    std::array<bool, column_names.size()> any{};
    for (const TowerRow& r : record.rows)
        for (size_t c = 0; c < any.size(); ++c) any[c] = any[c] || r.values[c] != missing;
    int zone = 0, status = 0;
    ornax_time_zone_hours(site.lon, zone, status);
    char buf[512];
    std::vector<std::string> lines;
    auto add = [&](const char* fmt, auto... args) {
        std::snprintf(buf, sizeof buf, fmt, args...);
        lines.emplace_back(buf);
    };
    auto given = [](float of_record) { return of_record != missing ? "the record's" : "assumed"; };
    const Ornaxlandtype land = site_land(class_entry, site, record);
    add("site %s (%s): lat %.4f lon %.4f (not in the record)", site.name, site.description,
        static_cast<double>(site.lat), static_cast<double>(site.lon));
    add("land class %d (%s) of %s; leaf values and leaf size from the class", site.landcover,
        trimmed(class_entry.lc_name).c_str(), table.c_str());
    add("leaf area index %.2f (%s) for every day; canopy height %.2f m (%s) as hmin and hmax; "
        "fcmin %.2f (%s)",
        static_cast<double>(known(record.xlai, site.xlai)), given(record.xlai),
        static_cast<double>(land.hmin), given(record.canopy_height),
        static_cast<double>(land.fcmin),
        record.cover != missing ? "the record's cover fraction" : "the class's");
    add("record clock UTC%+.0f, %s; model local standard time UTC%+d, so the record is shifted "
        "by %+.0f h",
        static_cast<double>(site.record_utc_offset),
        record.hourly ? "hourly values, each given to both half-hours of its hour"
                      : "each stamp the start of its half-hour",
        zone, static_cast<double>(static_cast<float>(zone) - site.record_utc_offset));
    add("observation times: the half-hour centred nearest sunrise + %.1f h and nearest %.1f h "
        "before the midpoint of sunrise and sunset",
        static_cast<double>(first_time_after_sunrise),
        static_cast<double>(second_time_before_midday));
    if (any[t_rad])
        add("surface temperature: the record's radiometric temperature, view angle %.1f deg",
            static_cast<double>(known(record.view_angle, 0.0f)));
    else
        add("surface temperature: LW_up = e sigma T^4 + (1 - e) LW_down with emissivity e = %.2f; "
            "view angle 0",
            static_cast<double>(surface_emissivity));
    add(any[lw_down] ? "downward long-wave: measured LW_down"
                     : "downward long-wave: not measured; clear-sky 1.24 (e/T)^(1/7) sigma T^4 "
                       "from air temperature and vapour pressure (too low under cloud)");
    if (any[insolation])
        add("insolation: the record's measured insolation, negative values as 0");
    else
        add("insolation: PPFD / %.2f umol J-1 (PAR 0.46 of the global short-wave at 4.57 "
            "umol J-1); negative PPFD as 0, missing PPFD with the sun down as 0",
            static_cast<double>(ppfd_per_insolation));
    add("humidity: vapour pressure = saturation at Tair - VPD (mb)%s",
        record.hourly ? ", the record's vapour pressure" : "");
    if (any[pressure])
        add("pressure: kPa x 10 (mb)");
    else
        add("pressure: not measured; %.1f mb, the standard atmosphere at the site's %.0f m",
            static_cast<double>(standard_pressure(site.elevation)),
            static_cast<double>(site.elevation));
    add("wind: as measured at the tower, used as the wind at the model's 50 m");
    add("sounding: none measured; %zu levels 10 to 5300 m, potential temperature of the first "
        "time's air temperature rising %.1f K km-1 (a 6.5 K km-1 standard lapse)",
        sounding_heights.size(), static_cast<double>(sounding_theta_gradient * 1000.0f));
    add("hourly series: hour h the mean of the half-hours centred at h -/+ 15 min; NDVI 0 "
        "(not used)");
    if (record.hourly)
        add("fluxes: H and LE of the record counted negative upward, taken with the opposite "
            "sign; no quality flags, every value taken as measured");
    add("measured daily ET: daytime LE (half-hours centred between sunrise and sunset) x 1800 s, "
        "MJ m-2 day-1; night LE left out (shown apart)");
    add("closure: daytime (H + LE) / (Rn - G)%s; the corrected ET scales LE by its inverse at "
        "the same Bowen ratio (H and LE at time 2 likewise), none for a closure outside %.1f to "
        "%.1f",
        any[g] ? "" : " with G not measured, taken as 0", static_cast<double>(closure_low),
        static_cast<double>(closure_high));
    add("days skipped: a half-hour missing at the observation times, in the hourly series or in "
        "daytime LE, H, Rn; daytime LE or H with qc above 1; more than %.0f %% of daytime LE "
        "gap-filled; an input outside its range",
        static_cast<double>(max_filled_share * 100.0f));
    return lines;
}

}  // namespace tower
