// Radiation: sun position, partition of insolation into visible/near-infrared and
// direct/diffuse parts, canopy radiative properties (two-stream canopy over a reflecting
// soil) and the net radiation of soil and canopy by day, by night and for a reference grass.
// All routines are pure; status 0 on success.
#pragma once

#include "ornax90/ORNAX_data_mod.hpp"

// Solar zenith (rad) at local standard time t (h), with the day's sunrise and sunset (h).
// The sunrise hour-angle argument is clamped to [-1, 1]: polar day gives sunrise 12 h
// before sunset around noon, polar night gives sunrise = sunset at solar noon.
void ornax_get_sun_zen(float lat, float lon, float stdlon, int doy, int year, float t, float& zen,
                       float& sunrise, float& sunset, int& status);

// Partition of measured insolation sdn (W m-2) at solar zenith zen (rad).
void ornax_get_rad_comps(float sdn, float zen, Ornaxradiationpartitiondatatype& part,
                         float& sdn_used, int& status);

// Canopy albedos and transmittances at solar zenith zen (rad). A leafless point
// (xlai <= 0 or clump <= 0) has transmittances 1 and the soil's albedos. status 3 when
// the diffuse visible transmittance is undefined.
void ornax_get_rad_props(const Ornaxlandtype& land, float fg, float zen, float clump, float xlai,
                         float rsoilv, float rsoiln, Ornaxcanopyradtype& props, int& status);

// Net radiation by day: total, soil and canopy, reflected short-wave and upward long-wave
// (W m-2) from soil and canopy temperatures ts, tc (deg C), long-wave down lwdn and
// insolation sdn (W m-2).
void ornax_get_net_rad_day(const Ornaxradiationpartitiondatatype& part, float emis_soil,
                           float rsoilv, float rsoiln, float ts, float tc, float lwdn, float sdn,
                           const Ornaxcanopyradtype& props, float& rnet, float& rnsoil,
                           float& rncan, float& swup, float& lwup, int& status);

// Net radiation by night: the long-wave terms alone. Always reports status 3.
void ornax_get_net_rad_night(const Ornaxradiationpartitiondatatype& part, float emis_soil,
                             float rsoilv, float rsoiln, float ts, float tc, float lwdn, float sdn,
                             const Ornaxcanopyradtype& props, float& rnet, float& rnsoil,
                             float& rncan, float& swup, float& lwup, int& status);

// Net radiation (W m-2) of a reference grass surface of the given albedo at air
// temperature ta (deg C) under insolation sdn (W m-2).
void ornax_get_net_rad_simple(float sdn, float ta, const Ornaxradiationpartitiondatatype& part,
                              float albedo, float& rnet, int& status);
