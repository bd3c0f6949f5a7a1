// Reading forecast-model GRIB2 files with the ECMWF library (eccodes).
#include "ingest/forecast/grib.hpp"

#include <eccodes.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

#include "utils/fixed_text.hpp"
#include "ingest/common/isolated_read.hpp"
#include "ingest/common/plausibility.hpp"
#include "ingest/common/support.hpp"
#include "ingest/forecast/field_names.hpp"

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
struct HandleDeleter {
    void operator()(codes_handle* h) const { codes_handle_delete(h); }
};
using Handle = std::unique_ptr<codes_handle, HandleDeleter>;

std::string key_text(codes_handle* h, const char* key) {
    char value[256] = {0};
    std::size_t length = sizeof value;
    if (codes_get_string(h, key, value, &length) != 0) return "";
    return value;
}

long key_long(codes_handle* h, const char* key, long fallback = 0) {
    long value = 0;
    return codes_get_long(h, key, &value) == 0 ? value : fallback;
}

double key_double(codes_handle* h, const char* key,
                  double fallback = std::numeric_limits<double>::quiet_NaN()) {
    double value = 0.0;
    return codes_get_double(h, key, &value) == 0 ? value : fallback;
}

// A name for a grid type the converter does not read.
std::string grid_type_words(const std::string& type) {
    if (type.find("_gg") != std::string::npos) return type + " (a Gaussian grid)";
    if (type.rfind("rotated", 0) == 0) return type + " (a rotated grid)";
    if (type == "sh") return type + " (spherical harmonics)";
    return type;
}

// The field's keys that decide whether and how it is used.
struct FieldKeys {
    std::string short_name, level_type, step_type, grid_type, units;
    long level = 0, param_id = 0, start = 0, end = 0, offset = 0;
    long data_time = 0;                 // HHMM of the reference time
    std::string step_unit;              // unit of the file's steps ("h", "m", "s"...)
    long start_file = 0, end_file = 0;  // steps in that unit
    std::int64_t reference = 0;
    std::string key_error;  // the first key the library could not give, with its error
};

// A key the field must have: its error recorded when the library cannot give it.
long required_long(codes_handle* h, const char* key, std::string& key_error) {
    long value = 0;
    const int err = codes_get_long(h, key, &value);
    if (err != 0 && key_error.empty())
        key_error = std::string("key ") + key + ": " + codes_get_error_message(err);
    return value;
}

FieldKeys read_keys(codes_handle* h) {
    FieldKeys k;
    GribFieldNames names;
    grib_field_names(h, names);
    k.short_name = std::move(names.short_name);
    k.level_type = key_text(h, "typeOfLevel");
    k.step_type = key_text(h, "stepType");
    k.grid_type = key_text(h, "gridType");
    k.units = std::move(names.units);
    k.level = required_long(h, "level", k.key_error);
    k.param_id = names.param_id;
    k.offset = key_long(h, "offset");
    k.data_time = required_long(h, "dataTime", k.key_error);
    // the file's own unit of the step (code table 4.4): 0 minute, 13 second
    const long unit = key_long(h, "indicatorOfUnitOfTimeRange", 1);
    k.step_unit = unit == 0 ? "m" : unit == 13 ? "s" : "h";
    k.end_file = key_long(h, "forecastTime");
    k.start_file = k.end_file;
    // steps in hours whatever unit the file uses
    std::size_t length = 1;
    const int err = codes_set_string(h, "stepUnits", "h", &length);
    if (err != 0 && k.key_error.empty())
        k.key_error = std::string("steps in hours: ") + codes_get_error_message(err);
    k.start = required_long(h, "startStep", k.key_error);
    k.end = required_long(h, "endStep", k.key_error);
    k.reference = forecast_hours(required_long(h, "dataDate", k.key_error), k.data_time);
    return k;
}

// The table row a field belongs to, and its pressure (Pa) for pressure levels.
const ForecastVariable* match(const FieldKeys& k, double& pressure) {
    pressure = 0.0;
    for (const ForecastVariable& v : forecast_variables()) {
        if (k.short_name != v.short_name || k.step_type != v.step_type) continue;
        if (std::strcmp(v.level_type, "isobaric") == 0) {
            if (k.level_type == "isobaricInhPa")
                pressure = 100.0 * static_cast<double>(k.level);
            else if (k.level_type == "isobaricInPa")
                pressure = static_cast<double>(k.level);
            else
                continue;
            return &v;
        }
        if (k.level_type == v.level_type && k.level == v.level) return &v;
    }
    return nullptr;
}

void read_grid(codes_handle* h, ForecastGrid& g, std::string& problem) {
    g.ni = key_long(h, "Ni");
    g.nj = key_long(h, "Nj");
    g.lat_first = key_double(h, "latitudeOfFirstGridPointInDegrees");
    g.lat_last = key_double(h, "latitudeOfLastGridPointInDegrees");
    g.lon_first = key_double(h, "longitudeOfFirstGridPointInDegrees");
    const double lon_last = key_double(h, "longitudeOfLastGridPointInDegrees");
    g.dlon = key_double(h, "iDirectionIncrementInDegrees");
    if (g.ni > 1 && !(g.dlon > 0.0)) {  // increment not given: from the first and last points
        double span = std::fmod(lon_last - g.lon_first + 720.0, 360.0);
        g.dlon = span / static_cast<double>(g.ni - 1);
    }
    if (g.ni < 2 || g.nj < 2 || !(g.dlon > 0.0) || !std::isfinite(g.lat_first) ||
        !std::isfinite(g.lat_last) || g.lat_first == g.lat_last) {
        problem = "a grid of " + std::to_string(g.ni) + " x " + std::to_string(g.nj) +
                  " points that the converter cannot interpolate from";
        return;
    }
    if (key_long(h, "iScansNegatively") != 0 || key_long(h, "jPointsAreConsecutive") != 0) {
        problem = "a scanning mode other than rows from west to east (iScansNegatively and "
                  "jPointsAreConsecutive 0)";
        return;
    }
    g.global_lon = std::fabs(g.dlon * static_cast<double>(g.ni) - 360.0) < 1e-3;
}

// Values with missing points as NaN: the bitmap's, and fill values written without one.
void decode(codes_handle* h, std::vector<double>& values, std::string& problem) {
    std::size_t size = 0;
    int err = codes_get_size(h, "values", &size);
    values.resize(size);
    if (err == 0 && size > 0) err = codes_get_double_array(h, "values", values.data(), &size);
    if (size == 0 || err != 0) {
        problem = std::string("values could not be decoded") +
                  (err != 0 ? std::string(" (") + codes_get_error_message(err) + ")" : "");
        return;
    }
    const double missing = key_double(h, "missingValue", 9999.0);
    for (double& x : values)
        if (ingest_is_fill(x, missing)) x = std::numeric_limits<double>::quiet_NaN();
}

// Step between two packed values: 2^E / 10^D of simple and complex packing (0 when the
// field is not packed by scale factors).
double packing_step(codes_handle* h) {
    const long e = key_long(h, "binaryScaleFactor", 0), d = key_long(h, "decimalScaleFactor", 0);
    if (e == 0 && d == 0) return 0.0;
    return std::ldexp(1.0, static_cast<int>(e)) / std::pow(10.0, static_cast<double>(d));
}

// The field's values against the physical range of its quantity (and a height against
// the height of its pressure level).
void check_plausible(const std::string& file, const std::string& field, const FieldKeys& k,
                     const ForecastVariable& v, double pressure, const std::vector<double>& values,
                     std::string& problem) {
    std::vector<std::string> problems;
    check_field_plausible(file, field, k.units, v.name, values, problems);
    if (problems.empty() && std::strcmp(v.name, "gh") == 0)
        check_height_of_level(file, field, pressure, values, problems);
    if (!problems.empty()) problem = ingest_problems_text(problems);
}

}  // namespace

void forecast_read_files(const std::vector<std::string>& files, const Spatialinfodata& common,
                         std::int64_t keep_from, std::int64_t keep_to, ForecastStore& store,
                         ForecastReadSummary& summary, std::string& error, int& status) {
    status = 0;
    codes_grib_multi_support_on(nullptr);  // u and v packed in one message are two fields
    std::vector<CellWeights> weights;
    bool have_grid = false;
    std::vector<double> values;
    for (const std::string& file : files) {
        ingest_isolated_reading(file);
        std::unique_ptr<std::FILE, FileCloser> in(std::fopen(file.c_str(), "rb"));
        if (!in) {
            error = "cannot open " + file + ": " + std::strerror(errno);
            status = ingest_status_failed;
            return;
        }
        long field = 0;
        int err = 0;
        for (;;) {
            Handle h(codes_handle_new_from_file(nullptr, in.get(), PRODUCT_GRIB, &err));
            if (!h) break;
            ++field;
            ++summary.fields_read;
            const FieldKeys k = read_keys(h.get());
            const std::string where = file + " field " + std::to_string(field) + " (" +
                                      k.short_name + ", " + k.level_type + " " +
                                      std::to_string(k.level) + ", message at byte " +
                                      std::to_string(k.offset) + ")";
            if (k.grid_type != "regular_ll") {
                error = where + ": grid type " + grid_type_words(k.grid_type) +
                        " is not read; only regular latitude/longitude grids (regular_ll)";
                status = ingest_status_failed;
                return;
            }
            double pressure = 0.0;
            const ForecastVariable* v = match(k, pressure);
            if (v == nullptr) continue;
            if (!k.key_error.empty()) {
                error = where + ": ecCodes cannot read its " + k.key_error;
                status = ingest_status_failed;
                return;
            }
            if (k.data_time % 100 != 0) {
                error = where + ": reference time " + std::to_string(k.data_time / 100) + ":" +
                        (k.data_time % 100 < 10 ? "0" : "") + std::to_string(k.data_time % 100) +
                        " UTC is not a whole hour; the conversion steps by whole hours";
                status = ingest_status_failed;
                return;
            }
            if (k.step_unit != "h") {
                error = where + ": steps in " + (k.step_unit == "s" ? "seconds" : "minutes") +
                        " (forecast time " + std::to_string(k.end_file) + " " + k.step_unit +
                        "): the conversion reads steps in hours only";
                status = ingest_status_failed;
                return;
            }
            if (v->role != FieldRole::constant &&
                ((k.reference + k.end) % 3 != 0 || (k.reference + k.start) % 3 != 0)) {
                ++summary.fields_off_axis;
                if (summary.fields_off_axis == 1)
                    ingest_message(where + ": valid at " + forecast_time_text(k.reference + k.end) +
                                   " (steps " + std::to_string(k.start) + "-" +
                                   std::to_string(k.end) +
                                   " h), off the 3-hour time axis: not used (the same for "
                                   "every such field)");
                continue;
            }
            const bool constant = v->role == FieldRole::constant;
            if (constant && store.constant(v->name) != nullptr) continue;
            if (!constant && (k.reference + k.end < keep_from || k.reference + k.end > keep_to))
                continue;
            if (v->units[0] != '\0' && k.units != v->units) {
                error = where + ": " + v->meaning + " in \"" + k.units + "\", expected \"" +
                        v->units + "\"";
                status = ingest_status_failed;
                return;
            }
            ForecastGrid grid;
            std::string problem;
            read_grid(h.get(), grid, problem);
            if (problem.empty() && !have_grid) {
                forecast_bilinear_weights(grid, common, weights, summary.shifts, problem, status);
                status = 0;
                summary.grid = grid;
                have_grid = problem.empty();
            } else if (problem.empty() && !grid.same_as(summary.grid)) {
                problem = "its grid (" + grid.describe() + ") differs from that of the fields " +
                          "read before (" + summary.grid.describe() + ")";
            }
            if (problem.empty()) decode(h.get(), values, problem);
            if (problem.empty() && values.size() != static_cast<std::size_t>(grid.ni * grid.nj))
                problem = std::to_string(values.size()) + " values for a grid of " +
                          std::to_string(grid.ni * grid.nj) + " points";
            if (problem.empty())
                check_plausible("", std::string(v->name), k, *v, pressure, values, problem);
            if (!problem.empty()) {
                error = where + ": " + problem;
                status = ingest_status_failed;
                return;
            }
            StoredField stored;
            stored.variable = v->name;
            stored.pressure = pressure;
            stored.reference = k.reference;
            stored.start = std::string(v->step_type) == "avg" ? k.start : k.end;
            stored.end = k.end;
            stored.source = file + " field " + std::to_string(field) + " (paramId " +
                            std::to_string(k.param_id) + ")";
            stored.precision = packing_step(h.get());
            forecast_interpolate(values, weights, stored.cells);
            store.add(std::move(stored));
            if (!store.conflicts.empty()) {
                error = store.conflicts.front();
                status = ingest_status_failed;
                return;
            }
            ++summary.fields_used;
        }
        if (err != 0) {
            error = file + ": GRIB decoding failed after field " + std::to_string(field) + ": " +
                    codes_get_error_message(err);
            status = ingest_status_failed;
            return;
        }
        if (field == 0) {
            error = file + ": no GRIB field in the file";
            status = ingest_status_failed;
            return;
        }
    }
}
