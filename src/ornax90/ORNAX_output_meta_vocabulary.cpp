// Output metadata: meaning, unit and CF standard name of the 42 output variables and
// of the quality raster, and the meaning of each quality flag.
#include <string_view>

#include "ORNAX_output_meta_mod.hpp"

namespace {

struct VarRow {
    std::string_view name, description, units, cf_units, standard_name;
};

constexpr std::string_view deg_c = "deg C", w_m2 = "W m-2", mj_day = "MJ m-2 day-1";
constexpr std::string_view degc_cf = "degC", rad_cf = "rad", s_m = "s m-1";
// Fluxes and daily totals: a daily total in MJ m-2 day-1 is a mean flux in other units,
// so the flux standard names hold for both.
constexpr std::string_view up_le = "surface_upward_latent_heat_flux";
constexpr std::string_view up_h = "surface_upward_sensible_heat_flux";
constexpr std::string_view soil_g = "downward_heat_flux_in_soil";
constexpr std::string_view net_rad = "surface_net_downward_radiative_flux";
constexpr std::string_view sw_up = "surface_upwelling_shortwave_flux_in_air";
constexpr std::string_view lw_up = "surface_upwelling_longwave_flux_in_air";

constexpr VarRow var_rows[] = {
    {"TC1", "canopy temperature, time 1", deg_c, degc_cf, "canopy_temperature"},
    {"TS1", "soil surface temperature, time 1", deg_c, degc_cf, ""},
    {"TA1", "modelled air temperature, time 1", deg_c, degc_cf, "air_temperature"},
    {"XLEC1", "canopy latent heat, time 1 (not computed; 0)", w_m2, w_m2, ""},
    {"XLES1", "soil latent heat, time 1 (not computed; 0)", w_m2, w_m2, ""},
    {"XLE1", "total latent heat, time 1 (not computed; 0)", w_m2, w_m2, ""},
    {"HC1", "canopy sensible heat, time 1 (not computed; 0)", w_m2, w_m2, ""},
    {"HS1", "soil sensible heat, time 1 (not computed; 0)", w_m2, w_m2, ""},
    {"H1", "total sensible heat, time 1 (not computed; 0)", w_m2, w_m2, ""},
    {"G1", "soil heat flux, time 1 (not computed; 0)", w_m2, w_m2, ""},
    {"ZEN1", "solar zenith angle, time 1", "radians", rad_cf, "solar_zenith_angle"},
    {"RNET1", "net radiation, time 1", w_m2, w_m2, net_rad},
    {"TC2", "canopy temperature, time 2", deg_c, degc_cf, "canopy_temperature"},
    {"TS2", "soil surface temperature, time 2", deg_c, degc_cf, ""},
    {"XLEC2", "canopy latent heat (transpiration), time 2", w_m2, w_m2, ""},
    {"XLES2", "soil latent heat (evaporation), time 2", w_m2, w_m2, ""},
    {"XLE2", "total latent heat, time 2", w_m2, w_m2, up_le},
    {"HC2", "canopy sensible heat, time 2", w_m2, w_m2, ""},
    {"HS2", "soil sensible heat, time 2", w_m2, w_m2, ""},
    {"H2", "total sensible heat, time 2", w_m2, w_m2, up_h},
    {"G2", "soil heat flux, time 2", w_m2, w_m2, soil_g},
    {"ZEN2", "solar zenith angle, time 2", "radians", rad_cf, "solar_zenith_angle"},
    {"RNET2", "net radiation, time 2", w_m2, w_m2, net_rad},
    {"TA2", "modelled air temperature, time 2", deg_c, degc_cf, "air_temperature"},
    {"Z2", "boundary-layer height, time 2", "m", "m", "atmosphere_boundary_layer_thickness"},
    {"RA2", "aerodynamic resistance, time 2", s_m, s_m, ""},
    {"RS2", "soil-surface resistance, time 2", s_m, s_m, ""},
    {"RX2", "leaf boundary-layer resistance, time 2", s_m, s_m, ""},
    {"SWUP", "reflected short-wave, time 2", w_m2, w_m2, sw_up},
    {"LWUP", "upward long-wave, time 2", w_m2, w_m2, lw_up},
    {"SNETDAY", "daily net radiation", mj_day, mj_day, net_rad},
    {"RSOILDAY", "daily soil net radiation", mj_day, mj_day, ""},
    {"GDAY", "daily soil heat flux (always 0)", mj_day, mj_day, soil_g},
    {"SDDAY", "daily insolation", mj_day, mj_day, "surface_downwelling_shortwave_flux_in_air"},
    {"SWUPDAY", "daily reflected short-wave", mj_day, mj_day, sw_up},
    {"LWUPDAY", "daily upward long-wave", mj_day, mj_day, lw_up},
    {"LWDNDAY", "daily downward long-wave", mj_day, mj_day,
     "surface_downwelling_longwave_flux_in_air"},
    {"EREFDAY", "daily FAO-56 grass reference evapotranspiration energy", mj_day, mj_day, ""},
    {"HDAY", "daily sensible heat", mj_day, mj_day, up_h},
    {"EDAY", "daily evapotranspiration energy", mj_day, mj_day, up_le},
    {"ESDAY", "daily soil evaporation energy", mj_day, mj_day, ""},
    {"ECDAY", "daily canopy transpiration energy", mj_day, mj_day, ""},
    {"region_qc", "quality flag (0 = computed)", "1", "1", ""},
};

}  // namespace

bool ornax_output_var_info(const std::string& name, Ornaxoutputvarinfotype& info) {
    for (const VarRow& row : var_rows) {
        if (row.name != name) continue;
        info = {std::string(row.name), std::string(row.description), std::string(row.units),
                std::string(row.cf_units), std::string(row.standard_name)};
        // the descriptions of instantaneous values end in the time they hold at
        const std::string_view d = row.description;
        if (d.find(", time 1") != std::string_view::npos) info.observation = 1;
        if (d.find(", time 2") != std::string_view::npos) info.observation = 2;
        return true;
    }
    return false;
}

const std::vector<Ornaxqualityflaginfotype>& ornax_quality_flags() {
    // 127 with the bit of each input that was found cleared: 2 land parameters,
    // 32 vegetation, 4 + 8 + 64 satellite, 16 meteorology; 1 stays until the core ran.
    static const std::vector<Ornaxqualityflaginfotype> flags = {
        {0, "computed", "computed"},
        {1, "core_failed_or_outlier", "core failed or outlier"},
        {3, "land_input_missing_or_impossible", "land input missing or impossible"},
        {17, "meteorology_missing", "meteorology missing"},
        {33, "vegetation_missing_or_impossible", "vegetation missing or impossible"},
        {77, "satellite_observation_missing", "satellite observation missing"},
        {93, "satellite_and_meteorology_missing", "satellite and meteorology missing"},
        {125, "vegetation_missing", "vegetation missing"},
        {127, "not_land_or_snow_or_no_observation_time", "not land, snow or no obs. time"},
        {ornax_qc_observation_times, "observation_times_outside_the_morning",
         "obs. times outside the morning"},
        {255, "line_failed", "line failed as a whole"},
    };
    return flags;
}

bool ornax_quality_flag_valid(float value) {
    if (!(value >= 0.0f && value <= static_cast<float>(ornax_quality_flag_max))) return false;
    const int flag = static_cast<int>(value);
    if (static_cast<float>(flag) != value) return false;
    for (const Ornaxqualityflaginfotype& listed : ornax_quality_flags())
        if (listed.value == flag) return true;
    return flag % 2 == 1 && flag <= ornax_quality_flag_not_land;  // 1 + input bits 2..64
}
