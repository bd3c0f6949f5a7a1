// The table of the output variables. Units: temperatures deg C, fluxes W m-2, zenith
// angles radians, Z2 m, resistances s m-1, daily totals MJ m-2 day-1.
#include "ornax90/output/variables.hpp"

namespace {

using O = Ornaxoutputvartype;

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

constexpr Ornaxoutputvariabletype output_variables[] = {
    {"TC1", &O::TC1, "canopy temperature, time 1", deg_c, degc_cf, "canopy_temperature"},
    {"TS1", &O::TS1, "soil surface temperature, time 1", deg_c, degc_cf, ""},
    {"TA1", &O::TA1, "modelled air temperature, time 1", deg_c, degc_cf, "air_temperature"},
    {"XLEC1", &O::XLEC1, "canopy latent heat, time 1 (not computed; 0)", w_m2, w_m2, ""},
    {"XLES1", &O::XLES1, "soil latent heat, time 1 (not computed; 0)", w_m2, w_m2, ""},
    {"XLE1", &O::XLE1, "total latent heat, time 1 (not computed; 0)", w_m2, w_m2, ""},
    {"HC1", &O::HC1, "canopy sensible heat, time 1 (not computed; 0)", w_m2, w_m2, ""},
    {"HS1", &O::HS1, "soil sensible heat, time 1 (not computed; 0)", w_m2, w_m2, ""},
    {"H1", &O::H1, "total sensible heat, time 1 (not computed; 0)", w_m2, w_m2, ""},
    {"G1", &O::G1, "soil heat flux, time 1 (not computed; 0)", w_m2, w_m2, ""},
    {"ZEN1", &O::ZEN1, "solar zenith angle, time 1", "radians", rad_cf, "solar_zenith_angle"},
    {"RNET1", &O::RNET1, "net radiation, time 1", w_m2, w_m2, net_rad},
    {"TC2", &O::TC2, "canopy temperature, time 2", deg_c, degc_cf, "canopy_temperature"},
    {"TS2", &O::TS2, "soil surface temperature, time 2", deg_c, degc_cf, ""},
    {"XLEC2", &O::XLEC2, "canopy latent heat (transpiration), time 2", w_m2, w_m2, ""},
    {"XLES2", &O::XLES2, "soil latent heat (evaporation), time 2", w_m2, w_m2, ""},
    {"XLE2", &O::XLE2, "total latent heat, time 2", w_m2, w_m2, up_le},
    {"HC2", &O::HC2, "canopy sensible heat, time 2", w_m2, w_m2, ""},
    {"HS2", &O::HS2, "soil sensible heat, time 2", w_m2, w_m2, ""},
    {"H2", &O::H2, "total sensible heat, time 2", w_m2, w_m2, up_h},
    {"G2", &O::G2, "soil heat flux, time 2", w_m2, w_m2, soil_g},
    {"ZEN2", &O::ZEN2, "solar zenith angle, time 2", "radians", rad_cf, "solar_zenith_angle"},
    {"RNET2", &O::RNET2, "net radiation, time 2", w_m2, w_m2, net_rad},
    {"TA2", &O::TA2, "modelled air temperature, time 2", deg_c, degc_cf, "air_temperature"},
    {"Z2", &O::Z2, "boundary-layer height, time 2", "m", "m",
     "atmosphere_boundary_layer_thickness"},
    {"RA2", &O::RA2, "aerodynamic resistance, time 2", s_m, s_m, ""},
    {"RS2", &O::RS2, "soil-surface resistance, time 2", s_m, s_m, ""},
    {"RX2", &O::RX2, "leaf boundary-layer resistance, time 2", s_m, s_m, ""},
    {"SWUP", &O::SWUP, "reflected short-wave, time 2", w_m2, w_m2, sw_up},
    {"LWUP", &O::LWUP, "upward long-wave, time 2", w_m2, w_m2, lw_up},
    {"SNETDAY", &O::SNETDAY, "daily net radiation", mj_day, mj_day, net_rad},
    {"RSOILDAY", &O::RSOILDAY, "daily soil net radiation", mj_day, mj_day, ""},
    {"GDAY", &O::GDAY, "daily soil heat flux (always 0)", mj_day, mj_day, soil_g},
    {"SDDAY", &O::SDDAY, "daily insolation", mj_day, mj_day,
     "surface_downwelling_shortwave_flux_in_air"},
    {"SWUPDAY", &O::SWUPDAY, "daily reflected short-wave", mj_day, mj_day, sw_up},
    {"LWUPDAY", &O::LWUPDAY, "daily upward long-wave", mj_day, mj_day, lw_up},
    {"LWDNDAY", &O::LWDNDAY, "daily downward long-wave", mj_day, mj_day,
     "surface_downwelling_longwave_flux_in_air"},
    {"EREFDAY", &O::EREFDAY, "daily FAO-56 grass reference evapotranspiration energy", mj_day,
     mj_day, ""},
    {"HDAY", &O::HDAY, "daily sensible heat", mj_day, mj_day, up_h},
    {"EDAY", &O::EDAY, "daily evapotranspiration energy", mj_day, mj_day, up_le},
    {"ESDAY", &O::ESDAY, "daily soil evaporation energy", mj_day, mj_day, ""},
    {"ECDAY", &O::ECDAY, "daily canopy transpiration energy", mj_day, mj_day, ""},
};
static_assert(std::size(output_variables) == ornax_max_out_vars,
              "one table row per output list code");

}  // namespace

std::span<const Ornaxoutputvariabletype> ornax_output_variables() {
    return output_variables;
}
