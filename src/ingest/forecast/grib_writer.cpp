// Writes forecast-model fields as GRIB2 messages with the ECMWF library (eccodes).
#include "ingest/forecast/grib_writer.hpp"
#include "ornax90/type_kinds.hpp"

#include <eccodes.h>

#include <cmath>
#include <cstring>
#include <memory>

namespace {

// GRIB2 discipline, category, number and first fixed surface (type, value) of a quantity.
struct GribCodes {
    const char* variable;
    long discipline, category, number, surface, level;
    bool average;
};

const GribCodes codes_table[] = {
    {"t", 0, 0, 0, 100, 0, false},    {"gh", 0, 3, 5, 100, 0, false},
    {"orog", 0, 3, 5, 1, 0, false},   {"lsm", 2, 0, 0, 1, 0, false},
    {"sp", 0, 3, 0, 1, 0, false},     {"2t", 0, 0, 0, 103, 2, false},
    {"2sh", 0, 1, 0, 103, 2, false},  {"2r", 0, 1, 1, 103, 2, false},
    {"10u", 0, 2, 2, 103, 10, false}, {"10v", 0, 2, 3, 103, 10, false},
    {"skin t", 0, 0, 0, 1, 0, false}, {"dlwrf", 0, 5, 3, 1, 0, true},
    {"dswrf", 0, 4, 7, 1, 0, true},   {"lhtfl", 0, 0, 10, 1, 0, true},
};

struct HandleDeleter {
    void operator()(codes_handle* h) const { codes_handle_delete(h); }
};

}  // namespace

void grib_write_field(std::FILE* out, const GribLatLonGrid& grid, const GribFieldSpec& field,
                      const std::vector<double>& values, std::string& error, int& status) {
    status = ornax_status_failure;
    const GribCodes* c = nullptr;
    for (const GribCodes& row : codes_table)
        if (field.variable == row.variable) c = &row;
    if (c == nullptr) {
        error = "no GRIB2 codes for the quantity " + field.variable;
        return;
    }
    if (values.size() != static_cast<std::size_t>(grid.ni * grid.nj)) {
        error = field.variable + ": " + std::to_string(values.size()) + " values for a grid of " +
                std::to_string(grid.ni * grid.nj) + " points";
        return;
    }
    std::unique_ptr<codes_handle, HandleDeleter> h(
        codes_grib_handle_new_from_samples(nullptr, "regular_ll_sfc_grib2"));
    if (!h) {
        error = "the ECMWF library has no GRIB2 sample regular_ll_sfc_grib2";
        return;
    }
    codes_handle* g = h.get();
    int e = 0;
    auto set_long = [&](const char* key, long v) {
        if (e == 0) e = codes_set_long(g, key, v);
    };
    auto set_double = [&](const char* key, double v) {
        if (e == 0) e = codes_set_double(g, key, v);
    };
    set_long("centre", 7);
    if (c->average) set_long("productDefinitionTemplateNumber", 8);
    set_long("discipline", c->discipline);
    set_long("parameterCategory", c->category);
    set_long("parameterNumber", c->number);
    set_long("typeOfFirstFixedSurface", c->surface);
    set_long("scaleFactorOfFirstFixedSurface", 0);
    set_long("scaledValueOfFirstFixedSurface",
             c->surface == 100 ? std::lround(field.pressure) : c->level);
    set_long("dataDate", field.date);
    set_long("dataTime", field.time);
    if (c->average) {
        set_long("typeOfStatisticalProcessing", 0);
        if (e == 0) {
            const std::string range = std::to_string(field.start) + "-" + std::to_string(field.end);
            std::size_t len = range.size();
            e = codes_set_string(g, "stepRange", range.c_str(), &len);
        }
    } else {
        set_long("forecastTime", field.end);
    }
    set_long("Ni", grid.ni);
    set_long("Nj", grid.nj);
    set_long("iScansNegatively", 0);
    set_long("jScansPositively", 0);
    set_double("latitudeOfFirstGridPointInDegrees", grid.lat_first);
    set_double("longitudeOfFirstGridPointInDegrees", grid.lon_first);
    set_double("latitudeOfLastGridPointInDegrees", grid.lat(grid.nj - 1));
    set_double("longitudeOfLastGridPointInDegrees", grid.lon(grid.ni - 1));
    set_double("iDirectionIncrementInDegrees", grid.step);
    set_double("jDirectionIncrementInDegrees", grid.step);
    set_long("bitsPerValue", field.bits);
    if (e == 0) e = codes_set_double_array(g, "values", values.data(), values.size());
    const void* message = nullptr;
    std::size_t size = 0;
    if (e == 0) e = codes_get_message(g, &message, &size);
    if (e != 0) {
        error = field.variable + ": GRIB2 encoding failed: " + codes_get_error_message(e);
        return;
    }
    if (std::fwrite(message, 1, size, out) != size) {
        error = field.variable + ": the GRIB2 message could not be written";
        return;
    }
    status = 0;
}
