// Atmosphere: canopy architecture (roughness, displacement, in-canopy wind), Monin-Obukhov
// stability corrections, the series resistances of the two-source scheme and the solution
// for air, canopy and soil temperature with the split of sensible and latent heat.
#pragma once

#include "ornax90/ORNAX_data_mod.hpp"

// Zeta limits of the two observation times.
struct Ornaxzetalimits {
    float upper = 0.0f;
    float lower = 0.0f;
};

// Canopy geometry from LAI, clumping, view angle theta (degrees), wind height zu (m) and
// leaf size xl (m); updates hc, d, z0m and sets the wind-profile exponent, the near-soil
// wind ratio, lnzu, lnhc and ftheta of geom. A class of zero canopy height on the bare
// branch gets the floor z0m = 0.005 m.
void ornax_canopy_arch(float xlai, float clump, float theta, float zu, float xl,
                       const Ornaxlandtype& land, Ornaxcanopygeomtype& geom, int& status);

// Stability corrections for momentum and heat for zeta = (z - d)/L.
void ornax_psimhn_ky(float zeta, float& psim, float& psih, int& status);

// Inputs of the resistances that are not in the canopy geometry, over the lane number V
// of the core's physics (float: one point).
template <class V> struct Ornaxresistancelanes {
    V h{};      // sensible heat (W m-2)
    V u{};      // wind at the blending height (m s-1)
    V ta{};     // air temperature (deg C)
    V ts{};     // soil temperature (deg C)
    V rhocp{};  // volumetric heat capacity of air (J m-3 K-1)
    V xl{};     // leaf size (m)
    V xlai{};   // leaf area index
    V zu{};     // reference height (m)
    V fc{};     // cover fraction
    Ornaxzetalimits zeta_limits;
    int region_switch = 0;  // 1: soil-resistance correction on
    V rs_correct{};
};
using Ornaxresistanceinputs = Ornaxresistancelanes<float>;

// Aerodynamic, soil-surface and leaf boundary-layer resistances (s m-1); updates the
// stored psim and psih of geom. On status 3 ra, rs and rx are left as they were.
void ornax_get_resistance(const Ornaxresistanceinputs& in, Ornaxcanopygeomtype& geom, float& ra,
                          float& rs, float& rx, int& status);

// Air temperature and component fluxes at observation time k (1 or 2) for the time's
// trial sensible heat, radiometric temperature trad (deg C), cover fraction fc and green
// fraction fg; works on the time-k fields and the shared latent fluxes of the state.
void ornax_find_ta(int k, float trad, float fc, float fg, const Ornaxinputvartype& input,
                   Ornaxdailyvartype& state, Ornaxzetalimits limits, int region_switch,
                   int& status);
