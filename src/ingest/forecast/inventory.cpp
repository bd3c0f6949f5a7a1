// What forecast GRIB2 files hold, from their keys alone.
#include "ingest/forecast/inventory.hpp"

#include <eccodes.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <tuple>

#include "ingest/common/support.hpp"
#include "ingest/forecast/day.hpp"
#include "ingest/forecast/field_names.hpp"
#include "ingest/forecast/fields.hpp"

namespace {

std::string key_text(codes_handle* h, const char* key) {
    char value[256] = {0};
    std::size_t length = sizeof value;
    if (codes_get_string(h, key, value, &length) != 0) return "";
    return value;
}

long key_long(codes_handle* h, const char* key) {
    long value = 0;
    return codes_get_long(h, key, &value) == 0 ? value : 0;
}

// The table row of a field, or nullptr.
const ForecastVariable* row_of(const std::string& name, const std::string& level_type, long level,
                               const std::string& step_type) {
    for (const ForecastVariable& v : forecast_variables()) {
        if (name != v.short_name || step_type != v.step_type) continue;
        if (std::strcmp(v.level_type, "isobaric") == 0) {
            if (level_type == "isobaricInhPa" || level_type == "isobaricInPa") return &v;
            continue;
        }
        if (level_type == v.level_type && level == v.level) return &v;
    }
    return nullptr;
}

// Valid times (instant) and windows (reference, start, end) of every quantity.
struct Found {
    std::map<std::string, std::set<std::int64_t>> instant;
    std::map<std::string, std::set<std::tuple<std::int64_t, long, long>>> averages;
    std::set<std::string> any;
};

// A three-hour mean ending at t can be formed (the conversion's rule).
bool mean_ending(const Found& f, const std::string& name, std::int64_t t) {
    const auto it = f.averages.find(name);
    if (it == f.averages.end()) return false;
    for (const auto& [ref, a, b] : it->second) {
        if (ref + b != t) continue;
        if (b - a == 3) return true;
        if (b - a > 3 && it->second.count({ref, a, b - 3}) != 0) return true;
    }
    return false;
}

}  // namespace

void forecast_inventory(const std::vector<std::string>& files, std::int64_t first, int days,
                        std::vector<ForecastFileInventory>& inventory,
                        std::vector<std::string>& problems) {
    inventory.clear();
    Found found;
    std::set<std::string> unit_told;
    for (const std::string& file : files) {
        ForecastFileInventory inv;
        inv.file = file;
        std::string kind;
        if (!ingest_file_kind(file, kind)) {
            problems.push_back(file + ": " + kind);
            continue;
        }
        if (kind != "a GRIB file") {
            problems.push_back(file + ": is " + kind + ", not a GRIB file");
            continue;
        }
        std::FILE* in = std::fopen(file.c_str(), "rb");
        if (in == nullptr) {
            problems.push_back(file + ": cannot be opened");
            continue;
        }
        codes_grib_multi_support_on(nullptr);
        int err = 0;
        while (codes_handle* h = codes_handle_new_from_file(nullptr, in, PRODUCT_GRIB, &err)) {
            ++inv.fields;
            GribFieldNames names;
            grib_field_names(h, names);
            const std::string &name = names.short_name, &units = names.units;
            const std::string level_type = key_text(h, "typeOfLevel"),
                              step_type = key_text(h, "stepType");
            const long level = key_long(h, "level");
            std::size_t length = 1;
            codes_set_string(h, "stepUnits", "h", &length);
            const long start = key_long(h, "startStep"), end = key_long(h, "endStep");
            const std::int64_t ref =
                forecast_hours(key_long(h, "dataDate"), key_long(h, "dataTime"));
            codes_handle_delete(h);
            inv.references.insert(ref);
            if (step_type == "instant")
                inv.steps.insert(end);
            else
                inv.windows.insert({start, end});
            const ForecastVariable* v = row_of(name, level_type, level, step_type);
            if (v == nullptr) continue;
            if (*v->units != '\0' && units != v->units) {
                if (unit_told.insert(file + v->name).second)
                    problems.push_back(file + ": " + v->name + " (" + v->meaning + ") is in '" +
                                       units + "', expected '" + v->units + "'");
                continue;
            }
            found.any.insert(v->name);
            if (step_type == "instant")
                found.instant[v->name].insert(ref + end);
            else
                found.averages[v->name].insert({ref, start, end});
        }
        std::fclose(in);
        if (err != 0 && inv.fields == 0)
            problems.push_back(file + ": no GRIB field can be read (" +
                               std::string(codes_get_error_message(err)) + ")");
        inventory.push_back(inv);
    }
    if (files.empty()) return;
    const std::string where = files.size() == 1 ? files.front() : "the forecast files";
    for (const char* name : {"orog", "lsm"})
        if (found.any.count(name) == 0)
            problems.push_back(where + ": " + name + " (" + forecast_variable(name)->meaning +
                               ") is in no file");
    for (const ForecastVariable& v : forecast_variables()) {
        if (v.role == FieldRole::constant || std::strcmp(v.name, "2r") == 0) continue;
        std::vector<std::string> missing;
        for (int s = 0; s < days * forecast_steps_per_day; ++s) {
            const std::int64_t t = first + 3 * s;
            bool ok = false;
            if (std::strcmp(v.step_type, "avg") == 0)
                ok = mean_ending(found, v.name, t) || mean_ending(found, v.name, t + 3);
            else if (std::strcmp(v.name, "2sh") == 0)
                ok = found.instant["2sh"].count(t) != 0 || found.instant["2r"].count(t) != 0;
            else
                ok = found.instant[v.name].count(t) != 0;
            if (!ok) missing.push_back(forecast_time_text(t));
        }
        if (missing.empty()) continue;
        std::string list = missing.front();
        if (missing.size() > 1) list += " and " + std::to_string(missing.size() - 1) + " more";
        problems.push_back(where + ": " + v.name + " (" + v.meaning + ") is missing at " + list +
                           (std::strcmp(v.step_type, "avg") == 0
                                ? " (no average over a window ending then)"
                                : ""));
    }
}

std::string forecast_inventory_text(const ForecastFileInventory& f) {
    std::string text = std::to_string(f.fields) + " fields; reference";
    for (std::int64_t r : f.references) text += " " + forecast_time_text(r);
    text += "; steps";
    for (long s : f.steps) text += " " + std::to_string(s);
    text += " h; averaging windows";
    if (f.windows.empty()) text += " none";
    for (const auto& [a, b] : f.windows) text += " " + std::to_string(a) + "-" + std::to_string(b);
    return f.windows.empty() ? text : text + " h";
}
