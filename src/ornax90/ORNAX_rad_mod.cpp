// Radiation: sun position, solar partition, canopy radiative properties, net radiation.
// The physics is the one-lane instance of the core's lane physics.
#include "ornax90/ORNAX_rad_mod.hpp"

#include "ornax90/lanes/one.hpp"

using namespace ornax_one_lane;

void ornax_get_sun_zen(float lat, float lon, float stdlon, int doy, int year, float t, float& zen,
                       float& sunrise, float& sunset, int& status) {
    lanes_sun_zen(lat, lon, stdlon, ornax_sun_days(doy, year), t, zen, sunrise, sunset);
    status = 0;
}

void ornax_get_rad_comps(float sdn, float zen, Ornaxradiationpartitiondatatype& part,
                         float& sdn_used, int& status) {
    sdn_used = lanes_rad_comps(sdn, zen, part);
    status = 0;
}

void ornax_get_rad_props(const Ornaxlandtype& land, float fg, float zen, float clump, float xlai,
                         float rsoilv, float rsoiln, Ornaxcanopyradtype& props, int& status) {
    Ornaxpointlanes<float> p;
    p.aleafv = land.aleafv, p.aleafn = land.aleafn, p.aleafl = land.aleafl;
    p.adeadv = land.adeadv, p.adeadn = land.adeadn, p.adeadl = land.adeadl;
    p.fg = fg, p.clump = clump, p.xlai = xlai, p.rsoilv = rsoilv, p.rsoiln = rsoiln;
    status = lanes_rad_props(p, zen, props) ? 3 : 0;
}

void ornax_get_net_rad_day(const Ornaxradiationpartitiondatatype& part, float emis_soil,
                           float rsoilv, float rsoiln, float ts, float tc, float lwdn, float sdn,
                           const Ornaxcanopyradtype& props, float& rnet, float& rnsoil,
                           float& rncan, float& swup, float& lwup, int& status) {
    lanes_net_rad_day(part, emis_soil, rsoilv, rsoiln, ts, tc, lwdn, sdn, props, rnet, rnsoil,
                      rncan, swup, lwup);
    status = 0;
}

void ornax_get_net_rad_night(const Ornaxradiationpartitiondatatype& /*part*/, float emis_soil,
                             float /*rsoilv*/, float /*rsoiln*/, float ts, float tc, float lwdn,
                             float sdn, const Ornaxcanopyradtype& props, float& rnet, float& rnsoil,
                             float& rncan, float& swup, float& lwup, int& status) {
    lanes_net_rad_night(emis_soil, ts, tc, lwdn, sdn, props, rnet, rnsoil, rncan, swup, lwup);
    status = ornax_status_failure;  // its one caller does not look at it
}

void ornax_get_net_rad_simple(float sdn, float ta, const Ornaxradiationpartitiondatatype& part,
                              float albedo, float& rnet, int& status) {
    rnet = lanes_net_rad_simple(sdn, ta, part, albedo);
    status = 0;
}
