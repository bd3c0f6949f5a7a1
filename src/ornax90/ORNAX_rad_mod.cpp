// Radiation: sun position, solar partition, canopy radiative properties, net radiation.
#include "ORNAX_rad_mod.hpp"

#include <algorithm>
#include <cmath>

#include "ORNAX_log_mod.hpp"
#include "fixed_text_mod.hpp"
#include "ornax_constants_mod.hpp"

void ornax_get_sun_zen(float lat, float lon, float stdlon, int doy, int year, float t, float& zen,
                       float& sunrise, float& sunset, int& status) {
    status = 0;
    const float phi = lat * ornax_deg2rad;
    // days from the epoch of the orbital elements, leap days not counted
    const float days = static_cast<float>(doy) + 365.0f * static_cast<float>(year) - 693482.0f;
    const float g = ornax_deg2rad * (0.9856f * days - 1.0f);  // mean anomaly (rad)
    const float centre = 0.03348f * std::sin(g) + 0.0003502845f * std::sin(2.0f * g);
    const float lambda = ornax_deg2rad * (0.9856479f * days - 79.828f) + centre;
    const float delta = std::asin(std::sin(lambda) * std::sin(23.44f * ornax_deg2rad));
    // sunrise hour angle; clamped so that polar day and night stay defined
    float arg = -(std::sin(phi) * std::sin(delta)) / (std::cos(phi) * std::cos(delta));
    arg = std::clamp(arg, -1.0f, 1.0f);
    const float w0h = 3.8197186f * std::acos(arg);  // half day length (h)
    // equation of time (h)
    const float eot =
        (9.4564f * std::sin(2.0f * lambda) / std::cos(delta) - 4.0f * centre / ornax_deg2rad) /
        60.0f;
    float dl = lon - stdlon;
    if (dl > 180.0f) dl -= 360.0f;
    if (dl < -180.0f) dl += 360.0f;
    const float m = dl / 15.0f;  // longitude offset from the standard meridian (h)
    sunrise = 12.0f - m - eot - w0h;
    sunset = 12.0f - m - eot + w0h;
    float cosz =
        std::cos(phi) * std::cos(delta) * std::cos((t + eot + m - 12.0f) * 1.5707964f / 6.0f) +
        std::sin(phi) * std::sin(delta);
    // rounding must not carry the cosine outside [-1, 1]
    zen = std::acos(std::clamp(cosz, -1.0f, 1.0f));
}

void ornax_get_rad_comps(float sdn, float zen, Ornaxradiationpartitiondatatype& part,
                         float& sdn_used, int& status) {
    status = 0;
    const float c = std::cos(zen);
    if (c <= 0.01f) {
        // sun at or below the horizon: all diffuse, no insolation used
        part = {1.0f, 0.5f, 0.5f, 1.0f, 1.0f, 0.0f, 0.0f};
        sdn_used = 0.0f;
        return;
    }
    const float elev = 90.0f - zen / ornax_deg2rad;  // solar elevation (degrees)
    const float airmass = (std::sqrt(c * c + 0.0025f) - c) / 0.00125f - 2.8f / (elev * elev);
    // visible: direct beam at normal incidence and potential on the horizontal (W m-2)
    const float rdv = 600.0f * std::exp(-0.16f * airmass);
    const float pv = c * ((600.0f - rdv) * 0.4f + rdv);
    // near-infrared, with water-vapour absorption w (W m-2)
    const float lg = std::log10(1.0f / c);
    const float w = 1320.0f * std::pow(10.0f, 0.4459f * lg - 1.195f - 0.0345f * lg * lg);
    const float rdn = std::max(720.0f * std::exp(-0.05f * airmass) - w, 0.0f);
    const float pn = rdn * c + (720.0f - rdn - w) * 0.54f * c;
    const float ratio = std::min(sdn / (pv + pn), 1.0f);
    const float dv = rdv * c / pv;  // potential direct share, visible
    const float dn = rdn * c / pn;  // potential direct share, near-infrared
    float fdirv = (1.0f - std::pow((0.9f - std::min(ratio, 0.9f)) / 0.7f, 0.6667f)) * dv;
    fdirv = std::clamp(fdirv, 0.0f, dv);
    float fdirn = (1.0f - std::pow((0.88f - std::min(ratio, 0.88f)) / 0.68f, 0.6667f)) * dn;
    fdirn = std::clamp(fdirn, 0.0f, dn);
    if (fdirv < 0.01f && fdirn > 0.01f) fdirv = 0.011f;
    if (fdirn < 0.01f && fdirv > 0.01f) fdirn = 0.011f;
    part.clearness = ratio;
    part.visible_share = pv / (pv + pn);
    part.nir_share = pn / (pv + pn);
    part.direct_visible = fdirv;
    part.diffuse_visible = 1.0f - fdirv;
    part.direct_nir = fdirn;
    part.diffuse_nir = 1.0f - fdirn;
    sdn_used = sdn;
}

namespace {

// Transmittance of a canopy of reflectance rc, extinction k and leaf absorptivity a over
// a soil of reflectance rs; denom receives the denominator.
float canopy_transmittance(float rc, float k, float a, float rs, float lai, float om,
                           float& denom) {
    const float x = lai * std::sqrt(a) * k * om;
    denom = (rs * rc - 1.0f) + rc * (rc - rs) * std::exp(-2.0f * x);
    return ((rc * rc - 1.0f) * std::exp(-x)) / denom;
}

// Reflectance of canopy plus soil.
float canopy_reflectance(float rc, float k, float a, float rs, float lai, float om) {
    const float x = std::exp(-2.0f * lai * std::sqrt(a) * k * om) * (rc - rs) / (rs * rc - 1.0f);
    return (rc + x) / (1.0f + rc * x);
}

// Reflectance of an infinitely deep canopy of horizontal leaves of absorptivity a.
float deep_canopy_reflectance(float a) { return (1.0f - std::sqrt(a)) / (1.0f + std::sqrt(a)); }

}  // namespace

void ornax_get_rad_props(const Ornaxlandtype& land, float fg, float zen, float clump, float xlai,
                         float rsoilv, float rsoiln, Ornaxcanopyradtype& props, int& status) {
    status = 0;
    if (xlai <= 0.0f || clump <= 0.0f) {
        // leafless point: the soil is seen through an empty canopy
        props = {rsoilv, rsoiln, 0.5f * (rsoilv + rsoiln), 1.0f, 1.0f, 1.0f, 1.0f, 1.0f};
        return;
    }
    const float lai = xlai;
    const float om = clump;
    // band absorptivities mixing live and dead leaves
    const float av = fg * land.aleafv + (1.0f - fg) * land.adeadv;
    const float an = fg * land.aleafn + (1.0f - fg) * land.adeadn;
    const float al = fg * land.aleafl + (1.0f - fg) * land.adeadl;
    const float kd = 0.804f - 0.0683f * std::log(om * lai);  // diffuse extinction
    const float rhv = deep_canopy_reflectance(av);
    const float rhn = deep_canopy_reflectance(an);
    const float rcdv = 2.0f * kd * rhv / (1.0f + kd);
    const float rcdn = 2.0f * kd * rhn / (1.0f + kd);
    float denom = 0.0f;
    const float tdifvis = canopy_transmittance(rcdv, kd, av, rsoilv, lai, om, denom);
    if (std::fabs(denom) <= 1.0e-6f) {
        status = 3;
        return;
    }
    const float tdifnir = canopy_transmittance(rcdn, kd, an, rsoiln, lai, om, denom);
    const float tth = std::exp(-lai * std::sqrt(al) * kd * om);
    const float cosz = std::cos(zen);
    const float kb = 0.5f / cosz;  // beam extinction
    const float rcbv = 2.0f * kb * rhv / (1.0f + kb);
    const float rcbn = 2.0f * kb * rhn / (1.0f + kb);
    const float rdifv = canopy_reflectance(rcdv, kd, av, rsoilv, lai, om);
    const float rbeamv = canopy_reflectance(rcbv, kb, av, rsoilv, lai, om);
    const float rbeamn = canopy_reflectance(rcbn, kb, an, rsoiln, lai, om);
    props.albvis = 0.2f * rdifv + 0.8f * rbeamv;
    props.albnir = rbeamn;
    props.albedo = 0.5f * props.albvis + 0.5f * props.albnir;
    props.tdirvis = canopy_transmittance(rcbv, kb, av, rsoilv, lai, om, denom);
    props.tdirnir = canopy_transmittance(rcbn, kb, an, rsoiln, lai, om, denom);
    props.tdifvis = tdifvis;
    props.tdifnir = tdifnir;
    props.tth = tth;
    if (debug_iflag > 0) {
        ornax_log_msg(
            (FreeLine() << "In get_rad_props, 0.5/cos(zen), zen, cos(zen)" << kb << zen << cosz)
                .str());
    }
}

void ornax_get_net_rad_day(const Ornaxradiationpartitiondatatype& part, float emis_soil,
                           float rsoilv, float rsoiln, float ts, float tc, float lwdn, float sdn,
                           const Ornaxcanopyradtype& props, float& rnet, float& rnsoil,
                           float& rncan, float& swup, float& lwup, int& status) {
    const float fv = part.visible_share;
    const float fn = part.nir_share;
    const float as = rsoilv * fv + rsoiln * fn;  // soil albedo
    // short-wave transmittance of the canopy, both bands, direct and diffuse
    const float tsw =
        fn * (props.tdirnir * part.direct_nir + part.diffuse_nir * props.tdifnir) +
        fv * (props.tdirvis * part.direct_visible + part.diffuse_visible * props.tdifvis);
    const float tck = tc + ornax_tkelvin;
    const float tsk = ts + ornax_tkelvin;
    const float lc = ornax_canopy_sigma * tck * tck * tck * tck;                  // canopy emission
    const float ls = emis_soil * ornax_stefan_boltzmann * tsk * tsk * tsk * tsk;  // soil emission
    const float tl = props.tth;
    const float soil_sw = sdn * (1.0f - as) * tsw;
    const float canopy_sw = sdn * (1.0f - tsw) * (1.0f - props.albedo);
    rnsoil = soil_sw + ((1.0f - tl) * lc + tl * lwdn - ls);
    rncan = canopy_sw + (lwdn + ls - 2.0f * lc) * (1.0f - tl);
    rnet = rnsoil + rncan;
    swup = sdn - (soil_sw + canopy_sw);
    lwup = lwdn + (sdn - swup) - rnet;
    status = 0;
}

void ornax_get_net_rad_night(const Ornaxradiationpartitiondatatype& /*part*/, float emis_soil,
                             float /*rsoilv*/, float /*rsoiln*/, float ts, float tc, float lwdn,
                             float sdn, const Ornaxcanopyradtype& props, float& rnet, float& rnsoil,
                             float& rncan, float& swup, float& lwup, int& status) {
    const float tck = tc + ornax_tkelvin;
    const float tsk = ts + ornax_tkelvin;
    const float lc = ornax_canopy_sigma * tck * tck * tck * tck;
    const float ls = emis_soil * ornax_stefan_boltzmann * tsk * tsk * tsk * tsk;
    const float tl = props.tth;
    rnsoil = (1.0f - tl) * lc + tl * lwdn - ls;
    rncan = (lwdn + ls - 2.0f * lc) * (1.0f - tl);
    rnet = rnsoil + rncan;
    swup = sdn;
    lwup = lwdn + (sdn - swup) - rnet;
    status = 3;  // its one caller does not look at it
}

void ornax_get_net_rad_simple(float sdn, float ta, const Ornaxradiationpartitiondatatype& part,
                              float albedo, float& rnet, int& status) {
    const float tk = ta + ornax_tkelvin;
    const float b = 0.84f * part.clearness;
    // sky emissivity rises from the clear-sky value with cloudiness (1 - b)
    const float sky =
        0.98f * (b + (1.0f - b) * 9.2e-6f * tk * tk) * ornax_stefan_boltzmann * tk * tk * tk * tk;
    const float tsurf = tk + 4.0f;
    const float surface = 0.98f * ornax_stefan_boltzmann * tsurf * tsurf * tsurf * tsurf;
    rnet = sky - surface + (1.0f - albedo) * sdn;
    status = 0;
}
