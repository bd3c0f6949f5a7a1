// An hourly tab-separated table of one site's energy balance, read into a tower record:
//   Site year DOY time S_dn Rn G H LE T_A1 u T_S T_C T_R1 RH ea LAI h_C f_c VZA T_A0 T_R0
// (time the middle of its hour, local standard time; temperatures in K; S_dn, Rn, G, H, LE in
// W m-2 with H and LE counted negative upward; ea in mb; 9999 for a missing value). Each hour
// becomes the two half-hours it covers, with its values; H and LE take the upward-positive
// sign of the tower records; the vapour-pressure deficit comes from T_A1 and ea.
#pragma once

#include <array>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ornax90/ornax_constants_mod.hpp"
#include "ornax90/type_kinds.hpp"
#include "tower_sites/record.hpp"

namespace tower {

inline constexpr float hourly_table_missing = 9999.0f;
inline constexpr std::array<const char*, 22> hourly_table_names = {
    "Site", "year", "DOY",  "time", "S_dn", "Rn",  "G",   "H",   "LE",  "T_A1", "u",
    "T_S",  "T_C",  "T_R1", "RH",   "ea",   "LAI", "h_C", "f_c", "VZA", "T_A0", "T_R0"};
enum HourlyField {
    hf_site,
    hf_year,
    hf_doy,
    hf_time,
    hf_sdn,
    hf_rn,
    hf_g,
    hf_h,
    hf_le,
    hf_ta,
    hf_u,
    hf_ts,
    hf_tc,
    hf_trad,
    hf_rh,
    hf_ea,
    hf_lai,
    hf_hc,
    hf_fc,
    hf_vza
};

// true when the file's first line is the hourly table's header
inline bool is_hourly_table(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    return std::getline(in, line) && line.rfind("Site\tyear\tDOY\ttime", 0) == 0;
}

// Reads an hourly table into a record named "monsoon90_SITE" (SITE the table's site number).
// Refused, with "FILE:LINE: reason", like the comma-separated records; also when the table
// holds more than one site or its canopy values change from row to row.
inline void read_hourly_table(const std::string& path, TowerRecord& record, std::string& message,
                              int& status) {
    status = ornax_status_failure;
    record = TowerRecord{path, "", {}, true};
    std::ifstream in(path);
    if (!in) {
        message = path + ": cannot be opened";
        return;
    }
    auto where = [&](long line) { return path + ":" + std::to_string(line) + ": "; };
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> header;
    {
        std::stringstream words(line);
        std::string w;
        while (std::getline(words, w, '\t')) header.push_back(w);
    }
    if (header.size() != hourly_table_names.size() ||
        !std::equal(header.begin(), header.end(), hourly_table_names.begin())) {
        message = where(1) + "the header is not that of the hourly table";
        return;
    }
    long number = 1;
    float site = missing;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        std::vector<std::string> fields;
        std::stringstream words(line);
        std::string w;
        while (std::getline(words, w, '\t')) fields.push_back(w);
        if (fields.size() != header.size()) {
            message = where(number) + std::to_string(fields.size()) + " fields, the header has " +
                      std::to_string(header.size());
            return;
        }
        std::array<float, hourly_table_names.size()> v{};
        for (size_t i = 0; i < fields.size(); ++i) {
            if (fields[i] == "NA" || !read_field(fields[i], v[i])) {
                message = where(number) + hourly_table_names[i] + " \"" + fields[i] +
                          "\" is not a number";
                return;
            }
            if (v[i] == hourly_table_missing) v[i] = missing;
        }
        const float time = v[hf_time];
        const bool valid_time = time * 2 == std::floor(time * 2) &&
                                time - std::floor(time) == 0.5f && time > 0 && time < 24;
        if (!valid_time || v[hf_doy] != std::floor(v[hf_doy]) || v[hf_doy] < 1 || v[hf_doy] > 366 ||
            v[hf_year] != std::floor(v[hf_year])) {
            message = where(number) + "time " + fields[hf_doy] + " " + fields[hf_time] +
                      " is not the middle of an hour of a day of the year";
            return;
        }
        if (site != missing && v[hf_site] != site) {
            message = where(number) + "a second site in the table (one site per record)";
            return;
        }
        site = v[hf_site];
        std::array<float*, 4> canopy = {&record.xlai, &record.canopy_height, &record.cover,
                                        &record.view_angle};
        const std::array<HourlyField, 4> canopy_fields = {hf_lai, hf_hc, hf_fc, hf_vza};
        for (size_t i = 0; i < canopy.size(); ++i) {
            if (*canopy[i] != missing && v[canopy_fields[i]] != *canopy[i]) {
                message = where(number) + hourly_table_names[canopy_fields[i]] +
                          " changes from the rows before (one value per record)";
                return;
            }
            *canopy[i] = v[canopy_fields[i]];
        }
        TowerRow row;
        row.year = static_cast<int>(v[hf_year]);
        row.doy = static_cast<int>(v[hf_doy]);
        auto& x = row.values;
        const float ta = v[hf_ta] == missing ? missing : v[hf_ta] - ornax_tkelvin;
        x[tair] = ta;
        x[insolation] = v[hf_sdn];
        x[rn] = v[hf_rn];
        x[g] = v[hf_g];
        x[h] = v[hf_h] == missing ? missing : -v[hf_h];
        x[le] = v[hf_le] == missing ? missing : -v[hf_le];
        x[le_qc] = 0.0f;
        x[h_qc] = 0.0f;
        x[wind] = v[hf_u];
        x[t_rad] = v[hf_trad] == missing ? missing : v[hf_trad] - ornax_tkelvin;
        x[vpd] = ta == missing || v[hf_ea] == missing
                     ? missing
                     : 0.1f * (saturation_vapour_pressure(ta) - v[hf_ea]);
        for (float start : {time - 0.5f, time}) {
            row.hour = start;
            if (!append_in_time(record, row)) {
                message = where(number) + "time does not follow the row before it";
                return;
            }
        }
    }
    if (record.rows.empty()) {
        message = where(number) + "no rows after the header";
        return;
    }
    record.site = "monsoon90_" + std::to_string(static_cast<int>(site));
    status = 0;
}

}  // namespace tower
