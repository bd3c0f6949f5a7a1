// Atmosphere: canopy architecture (roughness, displacement, in-canopy wind), Monin-Obukhov
// stability corrections, the series resistances of the two-source scheme and the solution
// for air, canopy and soil temperature with the split of sensible and latent heat.
#pragma once

#include "ornax90/ORNAX_data_mod.hpp"

// Canopy geometry from LAI, clumping, view angle theta (degrees), wind height zu (m) and
// leaf size xl (m); updates hc, d, z0m and sets the wind-profile exponent, the near-soil
// wind ratio, lnzu, lnhc and ftheta of geom. A class of zero canopy height on the bare
// branch gets the floor z0m = 0.005 m.
void ornax_canopy_arch(float xlai, float clump, float theta, float zu, float xl,
                       const Ornaxlandtype& land, Ornaxcanopygeomtype& geom, int& status);

// Stability corrections for momentum and heat for zeta = (z - d)/L.
void ornax_psimhn_ky(float zeta, float& psim, float& psih, int& status);

// The resistance inputs of one point (Ornaxresistancelanes: ORNAX_data_mod.hpp).
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
