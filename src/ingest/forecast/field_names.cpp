// Field names of the GRIB library, kept per kind of field.
#include "ingest/forecast/field_names.hpp"

#include <array>
#include <climits>
#include <map>
#include <mutex>

namespace {

// The coded keys the parameter tables of GRIB edition 2 match on for the product
// templates kept below: the parameter, both fixed surfaces, the statistics and its time
// range, the generating process and the tables' versions and centre.
constexpr std::array<const char*, 20> kind_keys = {
    "discipline",
    "parameterCategory",
    "parameterNumber",
    "productDefinitionTemplateNumber",
    "typeOfFirstFixedSurface",
    "scaleFactorOfFirstFixedSurface",
    "scaledValueOfFirstFixedSurface",
    "typeOfSecondFixedSurface",
    "scaleFactorOfSecondFixedSurface",
    "scaledValueOfSecondFixedSurface",
    "typeOfStatisticalProcessing",
    "lengthOfTimeRange",
    "indicatorOfUnitForTimeRange",
    "typeOfGeneratingProcess",
    "typeOfProcessedData",
    "productionStatusOfProcessedData",
    "centre",
    "subCentre",
    "tablesVersion",
    "localTablesVersion",
};
using FieldKind = std::array<long, kind_keys.size()>;

// Product templates whose names the keys above decide: analysis or forecast at a point in
// time (0), an ensemble member (1), and both as statistics over a time range (8, 11).
bool kept_template(long number) {
    return number == 0 || number == 1 || number == 8 || number == 11;
}

std::string key_text(codes_handle* h, const char* key) {
    char value[256] = {0};
    std::size_t length = sizeof value;
    if (codes_get_string(h, key, value, &length) != 0) return "";
    return value;
}

struct KeptNames {
    std::mutex lock;
    std::map<FieldKind, GribFieldNames> names;
};

KeptNames& kept_names() {
    static KeptNames kept;
    return kept;
}

}  // namespace

void grib_field_names_direct(codes_handle* h, GribFieldNames& names) {
    names.short_name = key_text(h, "shortName");
    names.units = key_text(h, "units");
    long id = 0;
    names.param_id = codes_get_long(h, "paramId", &id) == 0 ? id : 0;
}

void grib_field_names(codes_handle* h, GribFieldNames& names) {
    long edition = 0;
    if (codes_get_long(h, "edition", &edition) != 0 || edition != 2) {
        grib_field_names_direct(h, names);
        return;
    }
    FieldKind kind{};
    for (std::size_t k = 0; k < kind_keys.size(); ++k) {
        long value = 0;
        kind[k] = codes_get_long(h, kind_keys[k], &value) == 0 ? value : LONG_MIN;
    }
    if (!kept_template(kind[3])) {
        grib_field_names_direct(h, names);
        return;
    }
    KeptNames& kept = kept_names();
    {
        const std::lock_guard<std::mutex> hold(kept.lock);
        const auto it = kept.names.find(kind);
        if (it != kept.names.end()) {
            names = it->second;
            return;
        }
    }
    grib_field_names_direct(h, names);
    const std::lock_guard<std::mutex> hold(kept.lock);
    kept.names.emplace(kind, names);
}
