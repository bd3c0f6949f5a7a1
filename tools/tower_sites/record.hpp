// A flux-tower record: half-hourly rows of meteorology and measured fluxes, read from a
// comma-separated file with a header line naming the columns
//   year,doy,hour,Tair,PPFD,VPD,pressure,wind,LW_up,LW_down,Rn,LE,LE_qc,H,H_qc,G
// (deg C, umol m-2 s-1, kPa, kPa, m s-1, W m-2 ...; "NA" for a missing value). The hour is
// the start of the half-hour the values hold, in the record's local standard time.
#pragma once

#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "ornax90/ornax_constants_mod.hpp"

namespace tower {

inline constexpr float missing = -9999.0f;  // a value the record does not hold
inline constexpr int half_hours_per_day = 48;

// The columns after year, doy and hour, in the order of TowerRow::values: the 13 of the
// comma-separated record, then two that only other layouts hold (radiometric surface
// temperature, deg C, and insolation, W m-2, both measured).
enum Column {
    tair,
    ppfd,
    vpd,
    pressure,
    wind,
    lw_up,
    lw_down,
    rn,
    le,
    le_qc,
    h,
    h_qc,
    g,
    t_rad,
    insolation
};
inline constexpr size_t csv_columns = 13;
inline constexpr std::array<const char*, 15> column_names = {
    "Tair", "PPFD",  "VPD", "pressure", "wind", "LW_up", "LW_down",   "Rn",
    "LE",   "LE_qc", "H",   "H_qc",     "G",    "T_R",   "insolation"};

inline constexpr std::array<float, column_names.size()> all_missing() {
    std::array<float, column_names.size()> v{};
    for (float& x : v) x = missing;
    return v;
}

struct TowerRow {
    int year = 0;
    int doy = 0;
    float hour = 0.0f;  // start of the half-hour, local standard time of the record (h)
    std::array<float, column_names.size()> values = all_missing();  // `missing` where absent
    bool has(Column c) const { return values[c] != missing; }
};

struct TowerRecord {
    std::string path;
    std::string site;  // the file name up to the second underscore: "AT_Neu"
    std::vector<TowerRow> rows;
    bool hourly = false;  // hourly values, each given to both half-hours of its hour
    // what the record says of its canopy (`missing` where it says nothing): leaf area index,
    // canopy height (m), cover fraction, view zenith angle of its radiometer (degrees)
    float xlai = missing, canopy_height = missing, cover = missing, view_angle = missing;
};

// Appends `row` when it comes after the record's last row (same year, a later time);
// false, with nothing appended, otherwise.
inline bool append_in_time(TowerRecord& record, const TowerRow& row) {
    if (!record.rows.empty()) {
        const TowerRow& last = record.rows.back();
        const float step = (row.doy - last.doy) * 24.0f + row.hour - last.hour;
        if (row.year != last.year || step <= 0.0f) return false;
    }
    record.rows.push_back(row);
    return true;
}

// vapour pressure at saturation (mb), the Tetens form of the reference evapotranspiration
inline float saturation_vapour_pressure(float ta) {
    return 10.0f * 0.6108f * std::exp(17.2694f * ta / (ta + 237.3f));
}

// The site name of a record file: its name up to the second underscore.
inline std::string site_of(const std::string& path) {
    const std::string name = path.substr(path.find_last_of('/') + 1);
    const size_t first = name.find('_');
    const size_t second = first == std::string::npos ? first : name.find('_', first + 1);
    return second == std::string::npos ? name.substr(0, name.find('.')) : name.substr(0, second);
}

// A number field; false when the text is not a whole number. NA gives `missing`.
inline bool read_field(const std::string& text, float& value) {
    if (text == "NA") {
        value = missing;
        return true;
    }
    if (text.empty()) return false;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(v)) return false;
    value = static_cast<float>(v);
    return true;
}

inline std::vector<std::string> split_commas(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    std::string field;
    while (std::getline(in, field, ',')) fields.push_back(field);
    if (!line.empty() && line.back() == ',') fields.emplace_back();
    return fields;
}

// Reads a record. Refused, with "FILE:LINE: reason" in message, when the file cannot be
// opened, the header lacks a column, a row has another number of fields, a field is not a
// number, the time is not a half-hour of a valid day, or the rows do not follow each other
// by half-hours. status 0 or ornax_status_failure.
inline void read_tower_record(const std::string& path, TowerRecord& record, std::string& message,
                              int& status) {
    status = ornax_status_failure;
    record = TowerRecord{path, site_of(path), {}, false};
    std::ifstream in(path);
    if (!in) {
        message = path + ": cannot be opened";
        return;
    }
    auto where = [&](long line) { return path + ":" + std::to_string(line) + ": "; };
    std::string line;
    if (!std::getline(in, line)) {
        message = where(1) + "empty file, no header line";
        return;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::vector<std::string> header = split_commas(line);
    std::map<std::string, size_t> position;
    for (size_t i = 0; i < header.size(); ++i) position[header[i]] = i;
    std::array<size_t, csv_columns> index{};
    std::array<size_t, 3> time_index{};
    const std::array<const char*, 3> time_names = {"year", "doy", "hour"};
    for (size_t i = 0; i < time_names.size() + csv_columns; ++i) {
        const char* name = i < 3 ? time_names[i] : column_names[i - 3];
        const auto found = position.find(name);
        if (found == position.end()) {
            message = where(1) + "the header has no column \"" + name + "\"";
            return;
        }
        (i < 3 ? time_index[i] : index[i - 3]) = found->second;
    }
    long number = 1;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        const std::vector<std::string> fields = split_commas(line);
        if (fields.size() != header.size()) {
            message = where(number) + std::to_string(fields.size()) + " fields, the header has " +
                      std::to_string(header.size());
            return;
        }
        TowerRow row;
        std::array<float, 3> time{};
        for (size_t i = 0; i < 3; ++i) {
            if (!read_field(fields[time_index[i]], time[i]) || time[i] == missing) {
                message = where(number) + time_names[i] + " \"" + fields[time_index[i]] +
                          "\" is not a number";
                return;
            }
        }
        for (size_t c = 0; c < csv_columns; ++c) {
            if (!read_field(fields[index[c]], row.values[c])) {
                message = where(number) + column_names[c] + " \"" + fields[index[c]] +
                          "\" is neither a number nor NA";
                return;
            }
        }
        const bool whole_day = time[1] == std::floor(time[1]) && time[1] >= 1 && time[1] <= 366;
        const bool half_hour = time[2] * 2 == std::floor(time[2] * 2) && time[2] >= 0 &&
                               time[2] < static_cast<float>(ornax_hours_per_day);
        if (!whole_day || !half_hour || time[0] != std::floor(time[0])) {
            message = where(number) + "time " + fields[time_index[1]] + " " +
                      fields[time_index[2]] + " is not a half-hour of a day of the year";
            return;
        }
        row.year = static_cast<int>(time[0]);
        row.doy = static_cast<int>(time[1]);
        row.hour = time[2];
        if (!append_in_time(record, row)) {
            message = where(number) + "time does not follow the row before it";
            return;
        }
    }
    if (record.rows.empty()) {
        message = where(number) + "no rows after the header";
        return;
    }
    status = 0;
}

}  // namespace tower
