// Utilities of the model core: run initialisation and input checks, time zone, wind at
// the blending height, heat capacity of air, soil heat flux, and the daily integration of
// the fluxes with an hourly FAO-56 Penman-Monteith grass reference evapotranspiration.
#pragma once

#include <array>
#include <string_view>

#include "ornax90/ORNAX_data_mod.hpp"

// Prepares the working state for a run: checks, sun, heating clock, first guesses,
// canopy, wind, air heat capacity and the boundary-layer table. status 0 or 3.
void ornax_run_init(const Ornaxlandtype& land, const Ornaxinputvartype& input,
                    Ornaxdailyvartype& state, int debug_flag, int& status);

// Range checks of a few inputs; they only write messages (debug_flag 1), status is 0.
void ornax_check_input(const Ornaxinputvartype& input, int debug_flag, int& status);
// status 3 when value lies outside [low, high] (with a log line when debug_flag is 1).
void ornax_check_value(std::string_view name, int debug_flag, float value, float low, float high,
                       int& status);

// Time zone of a longitude (degrees east): zone hours and, in the state, the standard
// meridian. status 3 (zone -999) outside -180 < lon < 180 after folding lon > 180.
void ornax_get_dgmt(float lon, int& zone_hours, Ornaxdailyvartype& state, int& status);
// The same zone hours alone, without a state (status 0 or 3).
void ornax_time_zone_hours(float lon, int& zone_hours, int& status);

// Canopy geometry and the radiative properties of both observation times.
void ornax_update_fc(const Ornaxlandtype& land, const Ornaxinputvartype& input,
                     Ornaxdailyvartype& state, int& status);

// Wind at the blending height over grass (m s-1), kept within [3, 20].
void ornax_scale_wind_height_over_grass(float zu, float zblend, float wind1, float wind2, float& u1,
                                        float& u2, int& status);

// Volumetric heat capacity of moist air (J m-3 K-1) from pressure and vapour pressure (mb)
// and air temperature (deg C).
void ornax_compute_air_vhc(float pres, float ta, float ea, float& rhocp, int& status);

// Soil heat flux (W m-2) as a share of soil net radiation that follows the time of day t (h).
void ornax_get_soil_heat(float rnsoil, float t, float sunrise, float sunset, float& g, int& status);

// Coefficients of the departure curve dT(t) = b t^2 + a t + c (K, t in h), zero at sunrise
// and sunset and equal to temp - taobs2 at tloc2.
void ornax_gettdepart2(float temp, float taobs2, float tloc2, float sunrise, float sunset, float& b,
                       float& a, float& c, int& status);

// FAO-56 Penman-Monteith hourly grass reference latent heat flux (W m-2).
void ornax_fao_pm(float t, float sdn, float zen, float ta, float pres, float ea, float u,
                  float& eref, int& status);

// Daily total (MJ m-2 day-1) of 24 hourly values (W m-2); -9999 if any value is missing.
void ornax_convert_hourly_to_daily(const std::array<float, ornax_hours_per_day>& hourly,
                                   float& total, int& status);

// Fills the output record from the converged state: instantaneous values and daily totals.
void ornax_integrate_daily_flux(const Ornaxlandtype& land, const Ornaxinputvartype& input,
                                Ornaxdailyvartype& state, Ornaxoutputvartype& output, int& status);

// Daily evapotranspiration from the second-time latent heat scaled by daily over
// instantaneous insolation; missing values when either insolation is not positive.
void ornax_daily_flux_clear_sdn(const Ornaxinputvartype& input, const Ornaxdailyvartype& state,
                                Ornaxoutputvartype& output, int& status);
