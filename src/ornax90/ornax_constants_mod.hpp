// Calendar tables and physical constants, each defined once with its unit.
#pragma once

#include <array>

// Days of each month in a common year (index 0 = January).
inline constexpr std::array<int, 12> ornax_const_day_in_month = {31, 28, 31, 30, 31, 30,
                                                                 31, 31, 30, 31, 30, 31};
// Days before the first of each month in a common year (index 0 = January).
inline constexpr std::array<int, 12> ornax_const_jday_in_year = {0,   31,  59,  90,  120, 151,
                                                                 181, 212, 243, 273, 304, 334};

// ---- physical constants of the model core (add below, one definition each, with unit) ----
inline constexpr float ornax_deg2rad = 0.017453292f;       // radians per degree
inline constexpr float ornax_pi = 3.1415927f;              // pi
inline constexpr float ornax_tkelvin = 273.15f;            // deg C to K offset (K)
inline constexpr float ornax_stefan_boltzmann = 5.67e-8f;  // W m-2 K-4
inline constexpr float ornax_canopy_sigma = 5.6133e-8f;    // 0.99 x Stefan-Boltzmann, W m-2 K-4
inline constexpr float ornax_von_karman = 0.4f;            // von Karman constant
inline constexpr float ornax_gravity = 9.8f;               // m s-2
inline constexpr float ornax_heating_delay = 1.75f;        // heating start after sunrise (h)
inline constexpr float ornax_hn_trial = 80.0f;             // first trial HN (W m-2)
inline constexpr float ornax_pbl_initial_height = 50.0f;   // initial boundary-layer height (m)
inline constexpr float ornax_hn_ramp_seconds =
    10800.0f;  // HN is reached 3 h after heating start (s)
// Latent heat of vaporisation at about 20 deg C, FAO-56's fixed value: an evaporation
// energy in MJ m-2 divided by it is the evaporated water in kg m-2 (mm of water)
inline constexpr float ornax_latent_heat_mj_per_kg = 2.45f;  // MJ kg-1

// Thermodynamics of air (potential temperature, humidity of the forcing rasters)
inline constexpr double ornax_gas_constant_dry_air = 287.04;  // J kg-1 K-1
inline constexpr double ornax_cp_dry_air = 1004.64;           // J kg-1 K-1 at constant pressure
inline constexpr double ornax_theta_reference_pressure = 100000.0;  // Pa (1000 hPa)
inline constexpr double ornax_water_air_molar_ratio =
    0.622;  // gas constants dry air / water vapour
