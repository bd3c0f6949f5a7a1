// Input checks: the range table of every input quantity, the range check of a site's or
// pixel's records, and the raster size checks of a region run.
#include "ornax90/input_check/ranges.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <system_error>

#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/ORNAX_rad_mod.hpp"
#include "ornax90/ORNAX_utl_mod.hpp"
#include "ornax90/ORNAX_region_io_mod.hpp"
#include "utils/fixed_text.hpp"
#include "utils/sunrise_mod.hpp"

namespace {

// Rows of the range table. Ranges catch impossible values, not unusual ones.
enum RangeRow {
    r_surface_temp,
    r_air_temp,
    r_lai,
    r_ndvi,
    r_leaf_abs,
    r_cover,
    r_height,
    r_leaf_size,
    r_soil_resistance,
    r_soil_reflectance,
    r_rs_correct,
    r_view_angle,
    r_obs_time,
    r_insolation,
    r_longwave,
    r_wind,
    r_humidity,
    r_pressure,
    r_sounding_height,
    r_potential_temp,
    r_hour,
    r_latitude,
    r_longitude,
    r_year,
    r_doy,
    r_rows
};

constexpr std::array<Ornaxinputrange, r_rows> range_table = {{
    {"radiometric surface temperature", -100.0f, 100.0f, "deg C", ornax_qc_satellite},
    {"air temperature", -100.0f, 70.0f, "deg C", ornax_qc_meteorology},
    {"leaf area index", 0.0f, 15.0f, "", ornax_qc_vegetation},
    {"NDVI", -1.0f, 1.0f, "", ornax_qc_vegetation},
    {"leaf absorptivity", 0.0f, 1.0f, "", ornax_qc_land},
    {"cover fraction", 0.0f, 1.0f, "", ornax_qc_land},
    {"canopy height", 0.0f, 150.0f, "m", ornax_qc_land},
    {"leaf size", 0.001f, 2.0f, "m", ornax_qc_land},
    {"soil resistance value", 0.0f, 100.0f, "", ornax_qc_land},
    {"soil reflectance", 0.0f, 1.0f, "", ornax_qc_land},
    {"soil resistance correction", 0.0f, 100.0f, "", ornax_qc_land},
    {"view zenith angle", 0.0f, 90.0f, "deg", ornax_qc_satellite},
    {"observation time", 0.0f, 24.0f, "h", ornax_qc_satellite},
    {"insolation", 0.0f, 1500.0f, "W m-2", ornax_qc_satellite},
    {"downward long-wave", 0.0f, 1000.0f, "W m-2", ornax_qc_meteorology},
    {"wind speed", 0.0f, 100.0f, "m s-1", ornax_qc_meteorology},
    {"humidity", 0.0f, 100.0f, "%", ornax_qc_meteorology},
    {"surface pressure", 200.0f, 1150.0f, "mb", ornax_qc_meteorology},
    {"sounding height", -1000.0f, 50000.0f, "m", ornax_qc_meteorology},
    {"potential temperature", 150.0f, 800.0f, "K", ornax_qc_meteorology},
    {"hour of the day", 0.0f, 24.0f, "h", 0},
    {"latitude", -90.0f, 90.0f, "deg", 0},
    {"longitude", -180.0f, 360.0f, "deg", 0},
    {"year", 1900.0f, 2100.0f, "", 0},
    {"day of year", 1.0f, 366.0f, "", 0},
}};

// Collects the failures of one check.
class RangeCheck {
public:
    explicit RangeCheck(Ornaxrangefailure& first) : first_(first) {}

    void value(const char* field, float v, RangeRow row) { test(field, v, row, -1); }
    void series(const char* field, const float* v, int n, RangeRow row) {
        for (int i = 0; i < n; ++i) test(field, v[i], row, i + 1);
    }
    // A failure that is not a range (order, calendar) of the row's input.
    void fail(const char* field, float v, RangeRow row) { record(field, v, row, -1); }

    int bits = 0;
    int failures = 0;

private:
    void test(const char* field, float v, RangeRow row, int index) {
        const Ornaxinputrange& r = range_table[row];
        if (!(v >= r.low && v <= r.high)) record(field, v, row, index);  // NaN fails too
    }
    void record(const char* field, float v, RangeRow row, int index) {
        bits |= range_table[row].qc_bits;
        if (failures++ == 0) {
            first_.field = field;
            if (index > 0) first_.field += "(" + std::to_string(index) + ")";
            first_.value = v;
            first_.range = &range_table[row];
        }
    }
    Ornaxrangefailure& first_;
};

void check_class_values(const Ornaxlandtype& land, RangeCheck& c) {
    c.value("aleafv", land.aleafv, r_leaf_abs);
    c.value("aleafn", land.aleafn, r_leaf_abs);
    c.value("aleafl", land.aleafl, r_leaf_abs);
    c.value("adeadv", land.adeadv, r_leaf_abs);
    c.value("adeadn", land.adeadn, r_leaf_abs);
    c.value("adeadl", land.adeadl, r_leaf_abs);
    c.value("xl", land.xl, r_leaf_size);
    c.value("rsoil", land.rsoil, r_soil_resistance);
    c.value("hmin", land.hmin, r_height);
    c.value("hmax", land.hmax, r_height);
    if (land.hmax < land.hmin) c.fail("hmax", land.hmax, r_height);
    c.value("fcmin", land.fcmin, r_cover);
}

std::uintmax_t size_of(const std::string& path, bool& exists) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    exists = !error;
    return exists ? size : 0;
}

}  // namespace

std::span<const Ornaxinputrange> ornax_input_range_table() {
    return range_table;
}

const Ornaxinputrange* ornax_input_range(const std::string& quantity) {
    for (const Ornaxinputrange& r : range_table)
        if (quantity == r.quantity) return &r;
    return nullptr;
}

int ornax_check_input_ranges(const Ornaxlandtype& land, const Ornaxinputvartype& in, int nhours,
                             int& failures, Ornaxrangefailure& first) {
    RangeCheck c(first);
    check_class_values(land, c);
    c.value("year", static_cast<float>(in.year), r_year);
    const int days = is_leap_year(in.year) ? 366 : 365;
    if (in.doy > days) c.fail("doy", static_cast<float>(in.doy), r_doy);
    c.value("doy", static_cast<float>(in.doy), r_doy);
    c.value("lat", in.lat, r_latitude);
    c.value("lon", in.lon, r_longitude);
    c.value("xlai", in.xlai, r_lai);
    c.value("xndvi", in.xndvi, r_ndvi);
    c.value("xl", in.xl, r_leaf_size);
    c.value("fc", in.fc, r_cover);
    c.value("hc", in.hc, r_height);
    c.value("rsoilv", in.rsoilv, r_soil_reflectance);
    c.value("rsoiln", in.rsoiln, r_soil_reflectance);
    c.value("rs_correct", in.rs_correct, r_rs_correct);
    c.value("theta", in.theta, r_view_angle);
    c.value("tloc1", in.tloc1, r_obs_time);
    c.value("tloc2", in.tloc2, r_obs_time);
    if (!(in.tloc1 < in.tloc2)) c.fail("tloc2", in.tloc2, r_obs_time);
    c.value("trad1", in.trad1, r_surface_temp);
    c.value("trad2", in.trad2, r_surface_temp);
    c.value("sdn1", in.sdn1, r_insolation);
    c.value("sdn2", in.sdn2, r_insolation);
    c.value("lwdn1", in.lwdn1, r_longwave);
    c.value("lwdn2", in.lwdn2, r_longwave);
    c.value("wind1", in.wind1, r_wind);
    c.value("wind2", in.wind2, r_wind);
    c.value("taobs1", in.taobs1, r_air_temp);
    c.value("taobs2", in.taobs2, r_air_temp);
    c.value("pres1", in.pres1, r_pressure);
    c.value("pres2", in.pres2, r_pressure);
    c.value("spfh1", in.spfh1, r_humidity);
    c.value("spfh2", in.spfh2, r_humidity);
    const int levels = std::clamp(in.npbl, 0, ornax_max_pbl_levels);
    c.series("z_pbli", in.z_pbli.data(), levels, r_sounding_height);
    c.series("th_pblk", in.th_pblk.data(), levels, r_potential_temp);
    const int hours = std::clamp(nhours, 0, ornax_hours_per_day);
    c.series("tloc_day", in.tloc_day.data(), hours, r_hour);
    c.series("sdn_day", in.sdn_day.data(), hours, r_insolation);
    c.series("taobs_day", in.taobs_day.data(), hours, r_air_temp);
    c.series("spfh_day", in.spfh_day.data(), hours, r_humidity);
    c.series("pres_day", in.pres_day.data(), hours, r_pressure);
    c.series("wind_day", in.wind_day.data(), hours, r_wind);
    c.series("lwdn_day", in.lwdn_day.data(), hours, r_longwave);
    failures = c.failures;
    return c.bits;
}

int ornax_check_class_ranges(const Ornaxlandtype& entry, Ornaxrangefailure& first) {
    RangeCheck c(first);
    check_class_values(entry, c);
    return c.failures == 0 ? 0 : 3;
}

std::string ornax_range_failure_text(const Ornaxrangefailure& f) {
    if (f.range == nullptr) return f.field;
    std::string unit = *f.range->unit ? std::string(" ") + f.range->unit : std::string();
    return f.field + " = " + trim_both(free_real(f.value)) + " is outside " +
           trim_both(free_real(f.range->low)) + ".." + trim_both(free_real(f.range->high)) + unit +
           " (" + f.range->quantity + ")";
}

long long ornax_raster_bytes(int ncols, int nrows, int layers) {
    return 4LL * ncols * nrows * layers;
}

int ornax_check_raster_size(const std::string& file, int ncols, int nrows, int layers) {
    const std::string path = trim_right(file);
    bool exists = false;
    const std::uintmax_t size = size_of(path, exists);
    if (!exists) return 1;
    const long long expected = ornax_raster_bytes(ncols, nrows, layers);
    if (static_cast<long long>(size) == expected) return 0;
    ornax_log_failure((FreeLine() << "Raster " << path << " holds" << static_cast<long long>(size)
                                  << "bytes; its grid of" << ncols << "columns x" << nrows
                                  << "rows x" << layers << "layers needs" << expected)
                          .str());
    return ornax_status_failure;
}

int ornax_check_region_input_sizes(const Ornaxregiondatatype& r, const Spatialinfodata& land,
                                   const Spatialinfodata& veg, const Spatialinfodata& snow,
                                   const Spatialinfodata& sat, const Ornaxcommonblock& common,
                                   int year, int doy) {
    struct Input {
        const std::string* file;
        const Spatialinfodata* grid;
    };
    const Input inputs[] = {
        {&r.landcover_file, &land},     {&r.aleafn_file, &land}, {&r.aleafv_file, &land},
        {&r.aleafl_file, &land},        {&r.adeadn_file, &land}, {&r.adeadv_file, &land},
        {&r.adeadl_file, &land},        {&r.rsoiln_file, &land}, {&r.rsoilv_file, &land},
        {&r.rs_correction_file, &land}, {&r.xl_file, &land},     {&r.xlai_file, &veg},
        {&r.snow_mask_file, &snow},     {&r.theta_file, &sat},   {&r.trad1_file, &sat},
        {&r.trad2_file, &sat},          {&r.tloc1_file, &sat},   {&r.tloc2_file, &sat},
        {&r.sdn1_file, &sat},           {&r.sdn2_file, &sat}};
    int status = 0;
    for (const Input& in : inputs) {
        const int st = ornax_check_raster_size(*in.file, in.grid->ncols, in.grid->nrows, 1);
        if (st == 1) ornax_log_failure("Input raster " + trim_right(*in.file) + " not exist.");
        if (st != 0) status = ornax_status_failure;
    }
    // forecast-model rasters of the day and the next
    int next_year = year, next_doy = doy + 1;
    if (doy >= (is_leap_year(year) ? 366 : 365)) {
        next_year = year + 1;
        next_doy = 1;
    }
    for (const auto& [y, d] : {std::pair{year, doy}, std::pair{next_year, next_doy}}) {
        const std::string dir = ornax_met_day_dir(common.met_data_dir, y, d);
        // a missing day folder is the cause of the lines' failures that follow: kept as one
        std::error_code absent;
        bool cause_kept = !std::filesystem::exists(dir, absent);
        if (cause_kept)
            ornax_log_failure("Forecast-model folder " + dir + " not exist: the meteorology of " +
                              std::to_string(y) + " day " + std::to_string(d) + " is missing");
        for (const char* name : ornax_met_day_files()) {
            const bool profile = std::string(name) == ornax_met_profile_file;
            const int layers = common.nhours * (profile ? common.nlayers : 1);
            const int st = ornax_check_raster_size(dir + name, common.ncols, common.nrows, layers);
            if (st == 1) {
                const std::string text = "Forecast-model raster " + dir + name +
                                         " not exist: the meteorology that needs it is missing";
                if (cause_kept)
                    ornax_log_msg(text);
                else
                    ornax_log_failure(text);  // the first missing raster of the day
                cause_kept = true;
            }
            if (st == 3) status = ornax_status_failure;
        }
    }
    return status;
}

int ornax_check_observation_times(const Ornaxinputvartype& in, std::string& why) {
    why.clear();
    const auto h = [](float t) { return trim_both(write_f(t, 10, 2)); };
    if (!(in.tloc2 - in.tloc1 >= ornax_min_observation_gap)) {
        why = "second observation " + h(in.tloc2) + " h only " + h(in.tloc2 - in.tloc1) +
              " h after the first " + h(in.tloc1) + " h (at least " + h(ornax_min_observation_gap) +
              " h)";
        return ornax_status_failure;
    }
    int zone = 0, status = 0;
    ornax_time_zone_hours(in.lon, zone, status);
    if (status != 0) return 0;  // the range check reports the longitude
    float zen = 0.0f, sunrise = 0.0f, sunset = 0.0f;
    ornax_get_sun_zen(in.lat, in.lon, 15.0f * static_cast<float>(zone), in.doy, in.year, in.tloc1,
                      zen, sunrise, sunset, status);
    const float noon = 0.5f * (sunrise + sunset);  // solar noon, local standard time (h)
    if (!(in.tloc1 >= sunrise && in.tloc2 <= noon)) {
        why = "observations at " + h(in.tloc1) + " and " + h(in.tloc2) +
              " h lie outside the morning from sunrise " + h(sunrise) + " h to solar noon " +
              h(noon) + " h (local standard time; times in UTC?)";
        return ornax_status_failure;
    }
    // with the sun well above the horizon the first observation cannot be dark: an
    // insolation of 0 is a missing value written as data
    if (zen < ornax_daylight_zenith && !(in.sdn1 > 0.0f)) {
        why = "insolation " + h(in.sdn1) + " W m-2 at the first observation " + h(in.tloc1) +
              " h, in daylight (solar zenith " + h(zen * 180.0f / 3.14159265f) +
              " deg): a missing value written as 0?";
        return ornax_status_failure;
    }
    return 0;
}
