// Forecast-model fields: the table of input quantities, the forecast grid and its
// bilinear weights, the store of interpolated fields and the time axis.
#include "ingest/forecast/fields.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>

#include "utils/fixed_text.hpp"
#include "ingest/common/support.hpp"
#include "ornax90/type_kinds.hpp"

namespace {

const std::vector<ForecastVariable> variables = {
    {"t", "t", "isobaric", 0, "instant", "K", FieldRole::profile, "temperature"},
    {"gh", "gh", "isobaric", 0, "instant", "gpm", FieldRole::profile, "geopotential height"},
    {"orog", "orog", "surface", 0, "instant", "m", FieldRole::constant, "surface height"},
    {"lsm", "lsm", "surface", 0, "instant", "", FieldRole::constant, "land-sea mask"},
    {"sp", "sp", "surface", 0, "instant", "Pa", FieldRole::surface, "surface pressure"},
    {"2t", "2t", "heightAboveGround", 2, "instant", "K", FieldRole::surface, "2 m temperature"},
    {"2sh", "2sh", "heightAboveGround", 2, "instant", "kg kg**-1", FieldRole::surface,
     "2 m specific humidity"},
    {"2r", "2r", "heightAboveGround", 2, "instant", "%", FieldRole::surface,
     "2 m relative humidity"},
    {"10u", "10u", "heightAboveGround", 10, "instant", "m s**-1", FieldRole::surface,
     "10 m eastward wind"},
    {"10v", "10v", "heightAboveGround", 10, "instant", "m s**-1", FieldRole::surface,
     "10 m northward wind"},
    {"skin t", "t", "surface", 0, "instant", "K", FieldRole::surface, "surface (skin) temperature"},
    {"dlwrf", "dlwrf", "surface", 0, "avg", "W m**-2", FieldRole::surface,
     "downward long-wave radiation"},
    {"dswrf", "dswrf", "surface", 0, "avg", "W m**-2", FieldRole::surface,
     "downward short-wave radiation"},
    {"lhtfl", "lhtfl", "surface", 0, "avg", "W m**-2", FieldRole::surface, "latent heat flux"},
};

std::string store_key(const std::string& variable, double pressure, std::int64_t reference,
                      long start, long end) {
    char text[160];
    std::snprintf(text, sizeof text, "%s|%.3f|%lld|%ld|%ld", variable.c_str(), pressure,
                  static_cast<long long>(reference), start, end);
    return text;
}

// Position of a longitude in a grid's columns, in the grid's own convention: the shift
// of 0 or +-360 degrees that brings it inside, or false when none does.
bool column_position(const ForecastGrid& g, double lon, double& x, double& shift) {
    const double tolerance = 1e-6;
    if (g.global_lon) {
        double offset = std::fmod(lon - g.lon_first, 360.0);
        if (offset < 0.0) offset += 360.0;
        if (offset > 360.0 - tolerance * g.dlon) offset = 0.0;
        shift = g.lon_first + offset - lon;
        shift = std::round(shift / 360.0) * 360.0;
        x = offset / g.dlon;
        return true;
    }
    const double span = g.dlon * static_cast<double>(g.ni - 1);
    for (double s : {0.0, 360.0, -360.0}) {
        const double offset = lon + s - g.lon_first;
        if (offset >= -tolerance * g.dlon && offset <= span + tolerance * g.dlon) {
            x = std::clamp(offset / g.dlon, 0.0, static_cast<double>(g.ni - 1));
            shift = s;
            return true;
        }
    }
    return false;
}

}  // namespace

const std::vector<ForecastVariable>& forecast_variables() {
    return variables;
}

const ForecastVariable* forecast_variable(const std::string& name) {
    for (const ForecastVariable& v : variables)
        if (name == v.name) return &v;
    return nullptr;
}

bool ForecastGrid::same_as(const ForecastGrid& o) const {
    return ni == o.ni && nj == o.nj && lat_first == o.lat_first && lat_last == o.lat_last &&
           lon_first == o.lon_first && dlon == o.dlon;
}

std::string ForecastGrid::describe() const {
    return std::to_string(ni) + " x " + std::to_string(nj) + ", latitudes " +
           ingest_number(lat_first) + " to " + ingest_number(lat_last) + ", longitudes " +
           ingest_number(lon_first) + " to " + ingest_number(lon_first + dlon * (ni - 1)) +
           " step " + ingest_number(dlon);
}

void forecast_bilinear_weights(const ForecastGrid& g, const Spatialinfodata& common,
                               std::vector<CellWeights>& weights, std::vector<double>& shifts,
                               std::string& error, int& status) {
    status = 0;
    shifts.clear();
    weights.assign(static_cast<std::size_t>(common.ncols) * common.nrows, CellWeights{});
    const double dlat = (g.lat_last - g.lat_first) / static_cast<double>(g.nj - 1);
    for (int r = 1; r <= common.nrows; ++r) {
        const double lat =
            static_cast<double>(common.south_lat) + (r - 0.5) * static_cast<double>(common.dlat);
        const double y = (lat - g.lat_first) / dlat;
        if (y < -1e-6 || y > static_cast<double>(g.nj - 1) + 1e-6) {
            error = "common-grid row " + std::to_string(r) + " (latitude " + ingest_number(lat) +
                    ") lies outside the forecast grid (" + g.describe() + ")";
            status = ornax_status_failure;
            return;
        }
        const double yc = std::clamp(y, 0.0, static_cast<double>(g.nj - 1));
        const long j0 = std::min(static_cast<long>(std::floor(yc)), g.nj - 2);
        const double fy = yc - static_cast<double>(j0);
        for (int c = 1; c <= common.ncols; ++c) {
            const double lon =
                static_cast<double>(common.west_lon) + (c - 0.5) * static_cast<double>(common.dlon);
            double x = 0.0, shift = 0.0;
            if (!column_position(g, lon, x, shift)) {
                error = "common-grid column " + std::to_string(c) + " (longitude " +
                        ingest_number(lon) + ") lies outside the forecast grid (" + g.describe() +
                        ")";
                status = ornax_status_failure;
                return;
            }
            if (std::find(shifts.begin(), shifts.end(), shift) == shifts.end())
                shifts.push_back(shift);
            long i0 = static_cast<long>(std::floor(x));
            if (!g.global_lon) i0 = std::min(i0, g.ni - 2);
            const double fx = x - static_cast<double>(i0);
            const long i1 = (i0 + 1) % g.ni;
            CellWeights& w = weights[static_cast<std::size_t>(r - 1) * common.ncols + (c - 1)];
            w.point = {static_cast<std::uint32_t>(j0 * g.ni + i0),
                       static_cast<std::uint32_t>(j0 * g.ni + i1),
                       static_cast<std::uint32_t>((j0 + 1) * g.ni + i0),
                       static_cast<std::uint32_t>((j0 + 1) * g.ni + i1)};
            w.weight = {static_cast<float>((1.0 - fx) * (1.0 - fy)),
                        static_cast<float>(fx * (1.0 - fy)), static_cast<float>((1.0 - fx) * fy),
                        static_cast<float>(fx * fy)};
        }
    }
}

void forecast_interpolate(const std::vector<double>& field, const std::vector<CellWeights>& weights,
                          std::vector<float>& cells) {
    cells.resize(weights.size());
    for (std::size_t i = 0; i < weights.size(); ++i) {
        const CellWeights& w = weights[i];
        double sum = 0.0;
        for (int k = 0; k < 4; ++k) {
            if (w.weight[k] == 0.0f) continue;
            sum += static_cast<double>(w.weight[k]) * field[w.point[k]];  // NaN propagates
        }
        cells[i] = static_cast<float>(sum);
    }
}

void ForecastStore::add(StoredField field) {
    const std::string key =
        store_key(field.variable, field.pressure, field.reference, field.start, field.end);
    const auto known = fields_.find(key);
    if (known != fields_.end()) {
        const StoredField& first = known->second;
        const double tolerance = std::max(first.precision, field.precision) + 1.0e-5;
        double largest = 0.0;
        std::size_t at = 0;
        const bool same_size = first.cells.size() == field.cells.size();
        for (std::size_t i = 0; same_size && i < field.cells.size(); ++i) {
            const double a = first.cells[i], b = field.cells[i];
            if (std::isnan(a) != std::isnan(b)) {
                largest = std::numeric_limits<double>::infinity();
                at = i;
                break;
            }
            const double d = std::fabs(a - b);
            if (d > largest && d > tolerance + 1.0e-6 * std::fabs(a)) {
                largest = d;
                at = i;
            }
        }
        if (!same_size || largest > 0.0)
            conflicts.push_back(
                field.variable + " at " + forecast_time_text(field.valid()) +
                (field.pressure > 0.0 ? ", " + ingest_number(field.pressure / 100.0) + " hPa"
                                      : std::string()) +
                " is given twice with different values: " + first.source + " and " + field.source +
                " differ by " +
                (std::isinf(largest) ? std::string("a missing value") : ingest_number(largest)) +
                " at cell " + std::to_string(at) + " (packing step " +
                ingest_number(std::max(first.precision, field.precision)) + ")");
        ++duplicates;
        return;
    }
    fields_.emplace(key, std::move(field));
}

const StoredField* ForecastStore::instant(const std::string& variable, double pressure,
                                          std::int64_t t) const {
    const StoredField* best = nullptr;
    for (const auto& [key, f] : fields_) {
        if (f.variable != variable || f.pressure != pressure || f.start != f.end || f.valid() != t)
            continue;
        if (best == nullptr || f.reference > best->reference) best = &f;
    }
    return best;
}

const StoredField* ForecastStore::constant(const std::string& variable) const {
    for (const auto& [key, f] : fields_)
        if (f.variable == variable) return &f;
    return nullptr;
}

std::vector<const StoredField*> ForecastStore::averages_ending(const std::string& variable,
                                                               std::int64_t t) const {
    std::vector<const StoredField*> found;
    for (const auto& [key, f] : fields_)
        if (f.variable == variable && f.end > f.start && f.valid() == t) found.push_back(&f);
    return found;
}

const StoredField* ForecastStore::average(const std::string& variable, std::int64_t reference,
                                          long start, long end) const {
    auto it = fields_.find(store_key(variable, 0.0, reference, start, end));
    return it == fields_.end() ? nullptr : &it->second;
}

std::vector<double> ForecastStore::levels(const std::string& variable, std::int64_t t) const {
    std::vector<double> found;
    for (const auto& [key, f] : fields_)
        if (f.variable == variable && f.start == f.end && f.valid() == t &&
            std::find(found.begin(), found.end(), f.pressure) == found.end())
            found.push_back(f.pressure);
    std::sort(found.begin(), found.end(), std::greater<double>());
    return found;
}

std::int64_t forecast_hours(long yyyymmdd, long hhmm) {
    using namespace std::chrono;
    const year_month_day date{year{static_cast<int>(yyyymmdd / 10000)},
                              month{static_cast<unsigned>(yyyymmdd / 100 % 100)},
                              day{static_cast<unsigned>(yyyymmdd % 100)}};
    const std::int64_t days = sys_days(date).time_since_epoch().count();
    return days * 24 + hhmm / 100;
}

std::string forecast_time_text(std::int64_t hours) {
    using namespace std::chrono;
    const sys_days day{days{hours >= 0 ? hours / 24 : (hours - 23) / 24}};
    const year_month_day date{day};
    const long hour = static_cast<long>(hours - day.time_since_epoch().count() * 24);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02ld UTC", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()), hour);
    return text;
}
