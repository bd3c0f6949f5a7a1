// Whole-raster plausibility of a region's inputs, before the line loop: the distribution of
// each raster's valid values (a sample) against what its quantity can be, so that a raster
// in the wrong unit, zero-filled or missing everywhere is refused instead of computed.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "ornax90/input_check/plausibility.hpp"
#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/ORNAX_region_io_mod.hpp"
#include "ornax90/file_io_mod.hpp"
#include "utils/fixed_text.hpp"
#include "utils/sunrise_mod.hpp"

namespace {

constexpr float missing_tolerance = 1e-6f;  // a value within this of the missing value is missing

using Plausible = Ornaxplausible;
constexpr float unbounded = ornax_plausible_unbounded;

// The region's rasters hold K, Pa, kg/kg, m s-1 and W m-2 (the pixel assembly converts
// them); the forecast fields the converters read are in the units of the GRIB tables.
// Medians catch a wrong unit or scale; value bounds catch what no field can hold.
constexpr Plausible plausible_table[] = {
    {"2t", "2 m air temperature", "K", 180.0f, 340.0f, false, unbounded, false, 150.0f, 360.0f},
    {"theta", "potential temperature", "K", 200.0f, 700.0f, false, unbounded, false, 150.0f,
     800.0f},
    {"sp", "surface pressure", "Pa", 30000.0f, 110000.0f, false, unbounded, false, 20000.0f,
     115000.0f},
    {"2sh", "specific humidity", "kg/kg", 0.0f, 0.05f, true, unbounded, false, -1.0e-4f, 0.06f},
    {"wind", "wind speed", "m s-1", 0.0f, 50.0f, false, unbounded, false, 0.0f, 100.0f},
    {"dlwrf", "downward long-wave", "W m-2", 100.0f, 600.0f, false, unbounded, false, 0.0f,
     1000.0f},
    {"dswrf", "downward short-wave", "W m-2", 0.0f, 1500.0f, false, unbounded, true, -10.0f,
     1500.0f},
    {"trad", "radiometric surface temperature", "K", 213.0f, 343.0f, false, unbounded, false,
     173.15f, 373.15f},
    {"sdn", "insolation at an observation", "W m-2", 0.0f, 1500.0f, true, unbounded, false, 0.0f,
     1500.0f},
    {"lai", "leaf area index", "", -unbounded, unbounded, false, 10.0f, false, 0.0f, 15.0f},
    {"t", "temperature", "K", 150.0f, 340.0f, false, unbounded, false, 120.0f, 360.0f},
    {"skin t", "surface (skin) temperature", "K", 180.0f, 350.0f, false, unbounded, false, 150.0f,
     373.15f},
    {"gh", "geopotential height", "gpm", -1000.0f, 60000.0f, false, unbounded, false, -1500.0f,
     80000.0f},
    {"orog", "surface height", "m", -500.0f, 9000.0f, false, unbounded, false, -1000.0f, 9000.0f},
    {"lsm", "land-sea mask", "", 0.0f, 1.0f, false, unbounded, false, 0.0f, 1.0f},
    // a median at or below 1 % is a field of fractions, not of percent
    {"2r", "2 m relative humidity", "%", 1.01f, 100.0f, false, unbounded, false, -1.0f, 110.0f},
    {"10u", "10 m eastward wind", "m s-1", -50.0f, 50.0f, false, unbounded, false, -100.0f, 100.0f},
    {"10v", "10 m northward wind", "m s-1", -50.0f, 50.0f, false, unbounded, false, -100.0f,
     100.0f},
    {"lhtfl", "latent heat flux", "W m-2", -500.0f, 1000.0f, false, unbounded, false, -2000.0f,
     3000.0f},
    {"any", "", "", -unbounded, unbounded, false, unbounded, false, -unbounded, unbounded},
};

const Plausible& row(const char* key) {
    const Plausible* p = ornax_plausible(key);
    return p != nullptr ? *p : plausible_table[std::size(plausible_table) - 1];
}

const Plausible& air_temperature = row("2t");
const Plausible& potential_temperature = row("theta");
const Plausible& surface_pressure = row("sp");
const Plausible& specific_humidity = row("2sh");
const Plausible& wind_speed = row("wind");
const Plausible& longwave = row("dlwrf");
const Plausible& shortwave = row("dswrf");
const Plausible& surface_temperature = row("trad");
const Plausible& insolation = row("sdn");
const Plausible& leaf_area = row("lai");
const Plausible& any_values = row("any");

// Sample: at most sample_runs runs of sample_run consecutive values spread evenly over the
// file (the whole raster when it holds no more than their product, 65,536 values).
constexpr std::int64_t sample_runs = 256;
constexpr std::int64_t sample_run = 256;

// Values of the sample of a raster of `count` values, in file order; false when unreadable.
bool read_sample(const std::string& path, std::int64_t count, std::vector<float>& values) {
    values.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in || count <= 0) return false;
    const bool whole = count <= sample_runs * sample_run;
    const std::int64_t runs = whole ? 1 : sample_runs;
    const std::int64_t length = whole ? count : sample_run;
    std::vector<unsigned char> bytes(static_cast<std::size_t>(4 * length));
    std::vector<float> run(static_cast<std::size_t>(length));
    for (std::int64_t r = 0; r < runs; ++r) {
        const std::int64_t first = whole ? 0 : r * (count - length) / (runs - 1);
        in.seekg(4 * first);
        in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!in) return false;
        raster_decode_le(bytes.data(), run.size(), run.data());
        values.insert(values.end(), run.begin(), run.end());
    }
    return true;
}

std::string range_text(const Plausible& p) {
    std::string unit = *p.unit ? std::string(" ") + p.unit : std::string();
    return trim_both(free_real(p.median_low)) + ".." + trim_both(free_real(p.median_high)) + unit;
}

bool is_missing(float value, float missing) {
    return !std::isfinite(value) || std::fabs(value - missing) <= missing_tolerance;
}

// Checks the sample of one raster of `count` values against what its quantity can be.
// 0, or 3 with `failure` the line naming the raster, its median (or percentile) and the
// expected range. A raster that cannot be read is left to the size check.
int check_raster_plausible(const std::string& file, const Plausible& p, std::int64_t count,
                           float missing, std::string& failure) {
    const std::string path = trim_right(file);
    std::vector<float> valid;
    failure.clear();
    if (!read_sample(path, count, valid)) return 0;  // the size check reports it
    valid.erase(std::remove_if(valid.begin(), valid.end(),
                               [missing](float v) { return is_missing(v, missing); }),
                valid.end());
    const std::string name =
        "Raster " + path + (*p.quantity ? std::string(" (") + p.quantity + ")" : "");
    if (valid.empty()) {
        failure = (FreeLine() << name + " holds only its grid's missing value" << missing
                              << "(or values that are not numbers)")
                      .str();
        return ornax_status_failure;
    }
    const double fractions[] = {0.5, 0.9, 0.95};
    float at[3];
    ornax_sample_quantiles(valid, fractions, at);
    const float median = at[0], p90 = at[1], p95 = at[2];
    const bool inside = p.median_open ? median > p.median_low && median < p.median_high
                                      : median >= p.median_low && median <= p.median_high;
    if (!inside) {
        failure = name + ": median " + trim_both(free_real(median)) + ", expected " +
                  range_text(p) + ": wrong unit or scale?";
        return ornax_status_failure;
    }
    if (p95 > p.p95_high) {
        failure = name + ": 95th percentile " + trim_both(free_real(p95)) + ", expected at most " +
                  trim_both(free_real(p.p95_high)) + ": a scale factor not applied?";
        return ornax_status_failure;
    }
    if (p.some_positive && p90 <= 0.0f) {
        failure = name + ": 90th percentile " + trim_both(free_real(p90)) + ", expected above 0 " +
                  p.unit + " in daylight: a zero-filled raster?";
        return ornax_status_failure;
    }
    return 0;
}

// Rasters of the forecast model of the day (the next day's follow the same rules).
struct ForecastRaster {
    const char* name;
    const Plausible* plausible;
};

const ForecastRaster forecast_rasters[] = {
    {"pot_profile.bin", &potential_temperature},
    {"psfc_series.bin", &surface_pressure},
    {"t2_series.bin", &air_temperature},
    {"q2_series.bin", &specific_humidity},
    {"wind_surface.bin", &wind_speed},
    {"lwdn.bin", &longwave},
    {"swdn.bin", &shortwave},
};

// The surface temperature rises through the morning almost everywhere; over most of the
// scene a fall means the two observation lines are swapped.
int check_morning_rise(const Ornaxregiondatatype& r, const std::vector<float>& trad1,
                       const std::vector<float>& trad2, float missing) {
    if (trad1.size() != trad2.size() || trad1.empty()) return 0;
    std::size_t pairs = 0, falls = 0;
    for (std::size_t i = 0; i < trad1.size(); ++i) {
        if (is_missing(trad1[i], missing) || is_missing(trad2[i], missing)) continue;
        ++pairs;
        falls += trad2[i] < trad1[i];
    }
    if (pairs == 0 || falls * 2 <= pairs) return 0;
    ornax_log_failure((FreeLine() << "The surface temperature falls from the first to the second "
                                     "observation at"
                                  << static_cast<int>(100 * falls / pairs)
                                  << "% of the sampled pixels: are the lines of "
                                  << trim_right(r.trad1_file) << " and " << trim_right(r.trad2_file)
                                  << " (region configuration lines 55 and 56) swapped?")
                          .str());
    return ornax_status_failure;
}

}  // namespace

std::span<const Ornaxplausible> ornax_plausible_table() {
    return plausible_table;
}

const Ornaxplausible* ornax_plausible(const std::string& key) {
    for (const Ornaxplausible& p : plausible_table)
        if (key == p.key) return &p;
    return nullptr;
}

void ornax_sample_quantiles(std::vector<float>& values, std::span<const double> fractions,
                            float* quantiles) {
    // Each selection leaves the values above its place behind it, so the next (higher)
    // place is selected among those alone.
    std::size_t below = 0;  // values before this place are settled
    const double last = static_cast<double>(values.size() - 1);
    for (std::size_t i = 0; i < fractions.size(); ++i) {
        const auto at = static_cast<std::size_t>(fractions[i] * last);
        if (at >= below) {
            std::nth_element(values.begin() + static_cast<std::ptrdiff_t>(below),
                             values.begin() + static_cast<std::ptrdiff_t>(at), values.end());
            below = at + 1;
        }
        quantiles[i] = values[at];
    }
}

int ornax_check_region_input_plausibility(const Ornaxregiondatatype& r, const Spatialinfodata& land,
                                          const Spatialinfodata& veg, const Spatialinfodata& snow,
                                          const Spatialinfodata& sat,
                                          const Ornaxcommonblock& common, int year, int doy) {
    struct Input {
        const std::string* file;
        const Spatialinfodata* grid;
        const Plausible* plausible;
    };
    const Input inputs[] = {{&r.landcover_file, &land, &any_values},
                            {&r.aleafn_file, &land, &any_values},
                            {&r.aleafv_file, &land, &any_values},
                            {&r.aleafl_file, &land, &any_values},
                            {&r.adeadn_file, &land, &any_values},
                            {&r.adeadv_file, &land, &any_values},
                            {&r.adeadl_file, &land, &any_values},
                            {&r.rsoiln_file, &land, &any_values},
                            {&r.rsoilv_file, &land, &any_values},
                            {&r.xl_file, &land, &any_values},
                            {&r.xlai_file, &veg, &leaf_area},
                            {&r.snow_mask_file, &snow, &any_values},
                            {&r.theta_file, &sat, &any_values},
                            {&r.tloc1_file, &sat, &any_values},
                            {&r.tloc2_file, &sat, &any_values},
                            {&r.trad1_file, &sat, &surface_temperature},
                            {&r.trad2_file, &sat, &surface_temperature},
                            {&r.sdn1_file, &sat, &insolation},
                            {&r.sdn2_file, &sat, &insolation}};
    // every raster of the check, in the order its failures are logged
    struct Check {
        std::string file;
        const Plausible* plausible;
        std::int64_t count;
        float missing;
    };
    std::vector<Check> checks;
    for (const Input& in : inputs)
        checks.push_back(
            {*in.file, in.plausible,
             static_cast<std::int64_t>(in.grid->ncols) * static_cast<std::int64_t>(in.grid->nrows),
             in.grid->spare_value});
    const std::size_t region_checks = checks.size();
    int next_year = year, next_doy = doy + 1;
    if (doy >= (is_leap_year(year) ? 366 : 365)) {
        next_year = year + 1;
        next_doy = 1;
    }
    for (const auto& [y, d] : {std::pair{year, doy}, std::pair{next_year, next_doy}}) {
        const std::string dir = ornax_met_day_dir(common.met_data_dir, y, d);
        for (const ForecastRaster& f : forecast_rasters) {
            const bool profile = std::string(f.name) == ornax_met_profile_file;
            const std::int64_t count = static_cast<std::int64_t>(common.ncols) * common.nrows *
                                       common.nhours * (profile ? common.nlayers : 1);
            checks.push_back({dir + f.name, f.plausible, count, common.undef});
        }
    }
    // The rasters are read and checked side by side; their failures are logged afterwards
    // in the order above, whatever the thread count.
    std::vector<std::string> failures(checks.size());
    std::vector<int> statuses(checks.size(), 0);
    std::vector<float> trad1, trad2;
    bool trad_read = false;
    const std::int64_t sat_count =
        static_cast<std::int64_t>(sat.ncols) * static_cast<std::int64_t>(sat.nrows);
    const long long tasks = static_cast<long long>(checks.size()) + 1;
#pragma omp parallel for schedule(dynamic, 1)
    for (long long t = 0; t < tasks; ++t) {
        const auto i = static_cast<std::size_t>(t);
        try {
            if (i == checks.size()) {
                // the two surface temperatures at the same sample of cells, missing kept
                trad_read = read_sample(trim_right(r.trad1_file), sat_count, trad1) &&
                            read_sample(trim_right(r.trad2_file), sat_count, trad2);
            } else {
                const Check& c = checks[i];
                statuses[i] =
                    check_raster_plausible(c.file, *c.plausible, c.count, c.missing, failures[i]);
            }
        } catch (const std::bad_alloc&) {
            if (i < checks.size()) {
                statuses[i] = ornax_status_failure;
                failures[i] = "Out of memory in the plausibility check of " + checks[i].file;
            }
        }
    }
    int status = 0;
    for (std::size_t i = 0; i < region_checks; ++i) {
        if (statuses[i] == 0) continue;
        ornax_log_failure(failures[i]);
        status = ornax_status_failure;
    }
    if (status == 0 && trad_read) status = check_morning_rise(r, trad1, trad2, sat.spare_value);
    for (std::size_t i = region_checks; i < checks.size(); ++i) {
        if (statuses[i] == 0) continue;
        ornax_log_failure(failures[i]);
        status = ornax_status_failure;
    }
    if (status != 0)
        ornax_log_failure("Region run stopped before writing: an input raster is not what its "
                          "quantity can be (the log names it)");
    return status;
}
