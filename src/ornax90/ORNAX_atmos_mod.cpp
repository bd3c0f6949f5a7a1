// Atmosphere: canopy architecture, stability corrections, resistances and the two-source
// air-temperature solution. The physics is the one-lane instance of the core's lane physics.
#include "ornax90/ORNAX_atmos_mod.hpp"

#include "ornax90/lanes/one.hpp"

using namespace ornax_one_lane;

void ornax_canopy_arch(float xlai, float clump, float theta, float zu, float xl,
                       const Ornaxlandtype& land, Ornaxcanopygeomtype& geom, int& status) {
    lanes_canopy_arch(xlai, clump, theta, zu, xl, land.water_flag == 1 ? 1.0f : 0.0f, geom);
    status = 0;
}

void ornax_psimhn_ky(float zeta, float& psim, float& psih, int& status) {
    lanes_psimhn(zeta, psim, psih);
    status = 0;
}

void ornax_get_resistance(const Ornaxresistanceinputs& in, Ornaxcanopygeomtype& geom, float& ra,
                          float& rs, float& rx, int& status) {
    status = lanes_resistance(in, true, geom, ra, rs, rx) ? 3 : 0;
}

void ornax_find_ta(int k, float trad, float fc, float fg, const Ornaxinputvartype& input,
                   Ornaxdailyvartype& state, Ornaxzetalimits limits, int region_switch,
                   int& status) {
    lanes_find_ta(k, trad, fc, fg, ornax_point_lanes(Ornaxlandtype{}, input), state, limits,
                  region_switch);
    status = 0;
}
