// Radiation over a lane number V (one float, or a vector of floats with one point per
// lane): sun position, partition of insolation, canopy radiative properties and net
// radiation. Branches are masks and selects, so every lane follows its own branch.
//
// Included by lanes/physics-inl.hpp only, inside the namespace of a lane number.

template <class V> using lane_mask = decltype(std::declval<V>() < std::declval<V>());

// Solar zenith (rad) at local standard time t (h), with the day's sunrise and sunset (h).
// The sunrise hour-angle argument is clamped to [-1, 1] (polar day and night).
template <class V>
void lanes_sun_zen(V lat, V lon, V stdlon, V days, V t, V& zen, V& sunrise, V& sunset) {
    const V phi = lat * ornax_deg2rad;
    const V g = ornax_deg2rad * (0.9856f * days - 1.0f);  // mean anomaly (rad)
    const V centre = 0.03348f * lane_sin(g) + 0.0003502845f * lane_sin(2.0f * g);
    const V lambda = ornax_deg2rad * (0.9856479f * days - 79.828f) + centre;
    const V delta = lane_asin(lane_sin(lambda) * std::sin(23.44f * ornax_deg2rad));
    V arg = -(lane_sin(phi) * lane_sin(delta)) / (lane_cos(phi) * lane_cos(delta));
    arg = lane_min(lane_max(arg, V(-1.0f)), V(1.0f));
    const V w0h = 3.8197186f * lane_acos(arg);  // half day length (h)
    // equation of time (h)
    const V eot =
        (9.4564f * lane_sin(2.0f * lambda) / lane_cos(delta) - 4.0f * centre / ornax_deg2rad) /
        60.0f;
    V dl = lon - stdlon;
    dl = lane_select(dl > 180.0f, dl - 360.0f, dl);
    dl = lane_select(dl < -180.0f, dl + 360.0f, dl);
    const V m = dl / 15.0f;  // longitude offset from the standard meridian (h)
    sunrise = 12.0f - m - eot - w0h;
    sunset = 12.0f - m - eot + w0h;
    const V cosz =
        lane_cos(phi) * lane_cos(delta) * lane_cos((t + eot + m - 12.0f) * 1.5707964f / 6.0f) +
        lane_sin(phi) * lane_sin(delta);
    // rounding must not carry the cosine outside [-1, 1]
    zen = lane_acos(lane_min(lane_max(cosz, V(-1.0f)), V(1.0f)));
}

// Partition of measured insolation sdn (W m-2) at solar zenith zen (rad); returns the
// insolation used.
template <class V> V lanes_rad_comps(V sdn, V zen, Ornaxradiationpartitionlanes<V>& part) {
    const V c = lane_cos(zen);
    const lane_mask<V> night = c <= 0.01f;  // sun at or below the horizon: all diffuse
    if (lane_all(night)) {
        part = {1.0f, 0.5f, 0.5f, 1.0f, 1.0f, 0.0f, 0.0f};
        return V(0.0f);
    }
    const V elev = 90.0f - zen / ornax_deg2rad;  // solar elevation (degrees)
    const V airmass = (lane_sqrt(c * c + 0.0025f) - c) / 0.00125f - 2.8f / (elev * elev);
    // visible: direct beam at normal incidence and potential on the horizontal (W m-2)
    const V rdv = 600.0f * lane_exp(-0.16f * airmass);
    const V pv = c * ((600.0f - rdv) * 0.4f + rdv);
    // near-infrared, with water-vapour absorption w (W m-2)
    const V lg = lane_log10(1.0f / c);
    static const float log_ten = lane_first(lane_log(V(10.0f)));
    const V w = 1320.0f * lane_pow_of(10.0f, log_ten, 0.4459f * lg - 1.195f - 0.0345f * lg * lg);
    const V rdn = lane_max(720.0f * lane_exp(-0.05f * airmass) - w, V(0.0f));
    const V pn = rdn * c + (720.0f - rdn - w) * 0.54f * c;
    const V ratio = lane_min(sdn / (pv + pn), V(1.0f));
    const V dv = rdv * c / pv;  // potential direct share, visible
    const V dn = rdn * c / pn;  // potential direct share, near-infrared
    V fdirv = (1.0f - lane_pow((0.9f - lane_min(ratio, V(0.9f))) / 0.7f, V(0.6667f))) * dv;
    fdirv = lane_min(lane_max(fdirv, V(0.0f)), dv);
    V fdirn = (1.0f - lane_pow((0.88f - lane_min(ratio, V(0.88f))) / 0.68f, V(0.6667f))) * dn;
    fdirn = lane_min(lane_max(fdirn, V(0.0f)), dn);
    fdirv = lane_select(fdirv < 0.01f && fdirn > 0.01f, V(0.011f), fdirv);
    fdirn = lane_select(fdirn < 0.01f && fdirv > 0.01f, V(0.011f), fdirn);
    part.clearness = lane_select(night, V(1.0f), ratio);
    part.visible_share = lane_select(night, V(0.5f), pv / (pv + pn));
    part.nir_share = lane_select(night, V(0.5f), pn / (pv + pn));
    part.direct_visible = lane_select(night, V(0.0f), fdirv);
    part.diffuse_visible = lane_select(night, V(1.0f), 1.0f - fdirv);
    part.direct_nir = lane_select(night, V(0.0f), fdirn);
    part.diffuse_nir = lane_select(night, V(1.0f), 1.0f - fdirn);
    return lane_select(night, V(0.0f), sdn);
}

// Transmittance of a canopy of reflectance rc, extinction k and leaf absorptivity a over
// a soil of reflectance rs; denom receives the denominator.
template <class V> V lanes_canopy_transmittance(V rc, V k, V a, V rs, V lai, V om, V& denom) {
    const V x = lai * lane_sqrt(a) * k * om;
    denom = (rs * rc - 1.0f) + rc * (rc - rs) * lane_exp(-2.0f * x);
    return ((rc * rc - 1.0f) * lane_exp(-x)) / denom;
}

// Reflectance of canopy plus soil.
template <class V> V lanes_canopy_reflectance(V rc, V k, V a, V rs, V lai, V om) {
    const V x = lane_exp(-2.0f * lai * lane_sqrt(a) * k * om) * (rc - rs) / (rs * rc - 1.0f);
    return (rc + x) / (1.0f + rc * x);
}

template <class V>
void lanes_select_props(lane_mask<V> m, const Ornaxcanopyradlanes<V>& yes,
                        Ornaxcanopyradlanes<V>& props) {
    props.albvis = lane_select(m, yes.albvis, props.albvis);
    props.albnir = lane_select(m, yes.albnir, props.albnir);
    props.albedo = lane_select(m, yes.albedo, props.albedo);
    props.tdirvis = lane_select(m, yes.tdirvis, props.tdirvis);
    props.tdirnir = lane_select(m, yes.tdirnir, props.tdirnir);
    props.tdifvis = lane_select(m, yes.tdifvis, props.tdifvis);
    props.tdifnir = lane_select(m, yes.tdifnir, props.tdifnir);
    props.tth = lane_select(m, yes.tth, props.tth);
}

// Canopy albedos and transmittances at solar zenith zen (rad) from the point's leaf
// absorptivities, fg, clump, xlai and soil reflectances. A leafless point (xlai <= 0 or
// clump <= 0) has transmittances 1 and the soil's albedos. Returns the lanes that fail
// (undefined diffuse visible transmittance); their properties are left as they were.
template <class V>
lane_mask<V> lanes_rad_props(const Ornaxpointlanes<V>& p, V zen, Ornaxcanopyradlanes<V>& props) {
    const lane_mask<V> leafless = p.xlai <= 0.0f || p.clump <= 0.0f;
    const V lai = p.xlai;
    const V om = p.clump;
    const V fg = p.fg;
    // band absorptivities mixing live and dead leaves
    const V av = fg * p.aleafv + (1.0f - fg) * p.adeadv;
    const V an = fg * p.aleafn + (1.0f - fg) * p.adeadn;
    const V al = fg * p.aleafl + (1.0f - fg) * p.adeadl;
    const V kd = 0.804f - 0.0683f * lane_log(om * lai);  // diffuse extinction
    // reflectance of an infinitely deep canopy of horizontal leaves
    const V rhv = (1.0f - lane_sqrt(av)) / (1.0f + lane_sqrt(av));
    const V rhn = (1.0f - lane_sqrt(an)) / (1.0f + lane_sqrt(an));
    const V rcdv = 2.0f * kd * rhv / (1.0f + kd);
    const V rcdn = 2.0f * kd * rhn / (1.0f + kd);
    V denom(0.0f);
    const V tdifvis = lanes_canopy_transmittance(rcdv, kd, av, p.rsoilv, lai, om, denom);
    const lane_mask<V> failed = !leafless && lane_abs(denom) <= 1.0e-6f;
    const V tdifnir = lanes_canopy_transmittance(rcdn, kd, an, p.rsoiln, lai, om, denom);
    const V cosz = lane_cos(zen);
    const V kb = 0.5f / cosz;  // beam extinction
    const V rcbv = 2.0f * kb * rhv / (1.0f + kb);
    const V rcbn = 2.0f * kb * rhn / (1.0f + kb);
    const V rdifv = lanes_canopy_reflectance(rcdv, kd, av, p.rsoilv, lai, om);
    const V rbeamv = lanes_canopy_reflectance(rcbv, kb, av, p.rsoilv, lai, om);
    const V rbeamn = lanes_canopy_reflectance(rcbn, kb, an, p.rsoiln, lai, om);
    Ornaxcanopyradlanes<V> canopy;
    canopy.albvis = 0.2f * rdifv + 0.8f * rbeamv;
    canopy.albnir = rbeamn;
    canopy.albedo = 0.5f * canopy.albvis + 0.5f * canopy.albnir;
    canopy.tdirvis = lanes_canopy_transmittance(rcbv, kb, av, p.rsoilv, lai, om, denom);
    canopy.tdirnir = lanes_canopy_transmittance(rcbn, kb, an, p.rsoiln, lai, om, denom);
    canopy.tdifvis = tdifvis;
    canopy.tdifnir = tdifnir;
    canopy.tth = lane_exp(-lai * lane_sqrt(al) * kd * om);
    // leafless: the soil is seen through an empty canopy
    const Ornaxcanopyradlanes<V> soil{
        p.rsoilv, p.rsoiln, 0.5f * (p.rsoilv + p.rsoiln), 1.0f, 1.0f, 1.0f, 1.0f, 1.0f};
    lanes_select_props(leafless, soil, canopy);
    lanes_select_props(!failed, canopy, props);
    if constexpr (std::is_same_v<V, float>) {
        if (debug_iflag > 0 && !leafless && !failed) {
            ornax_log_msg(
                (FreeLine() << "In get_rad_props, 0.5/cos(zen), zen, cos(zen)" << kb << zen << cosz)
                    .str());
        }
    }
    return failed;
}

// Net radiation by day: total, soil and canopy, reflected short-wave and upward long-wave
// (W m-2) from soil and canopy temperatures ts, tc (deg C), long-wave down lwdn and
// insolation sdn (W m-2).
template <class V>
void lanes_net_rad_day(const Ornaxradiationpartitionlanes<V>& part, V emis_soil, V rsoilv, V rsoiln,
                       V ts, V tc, V lwdn, V sdn, const Ornaxcanopyradlanes<V>& props, V& rnet,
                       V& rnsoil, V& rncan, V& swup, V& lwup) {
    const V fv = part.visible_share;
    const V fn = part.nir_share;
    const V as = rsoilv * fv + rsoiln * fn;  // soil albedo
    // short-wave transmittance of the canopy, both bands, direct and diffuse
    const V tsw = fn * (props.tdirnir * part.direct_nir + part.diffuse_nir * props.tdifnir) +
                  fv * (props.tdirvis * part.direct_visible + part.diffuse_visible * props.tdifvis);
    const V tck = tc + ornax_tkelvin;
    const V tsk = ts + ornax_tkelvin;
    const V lc = ornax_canopy_sigma * tck * tck * tck * tck;                  // canopy emission
    const V ls = emis_soil * ornax_stefan_boltzmann * tsk * tsk * tsk * tsk;  // soil emission
    const V tl = props.tth;
    const V soil_sw = sdn * (1.0f - as) * tsw;
    const V canopy_sw = sdn * (1.0f - tsw) * (1.0f - props.albedo);
    rnsoil = soil_sw + ((1.0f - tl) * lc + tl * lwdn - ls);
    rncan = canopy_sw + (lwdn + ls - 2.0f * lc) * (1.0f - tl);
    rnet = rnsoil + rncan;
    swup = sdn - (soil_sw + canopy_sw);
    lwup = lwdn + (sdn - swup) - rnet;
}

// Net radiation by night: the long-wave terms alone.
template <class V>
void lanes_net_rad_night(V emis_soil, V ts, V tc, V lwdn, V sdn,
                         const Ornaxcanopyradlanes<V>& props, V& rnet, V& rnsoil, V& rncan, V& swup,
                         V& lwup) {
    const V tck = tc + ornax_tkelvin;
    const V tsk = ts + ornax_tkelvin;
    const V lc = ornax_canopy_sigma * tck * tck * tck * tck;
    const V ls = emis_soil * ornax_stefan_boltzmann * tsk * tsk * tsk * tsk;
    const V tl = props.tth;
    rnsoil = (1.0f - tl) * lc + tl * lwdn - ls;
    rncan = (lwdn + ls - 2.0f * lc) * (1.0f - tl);
    rnet = rnsoil + rncan;
    swup = sdn;
    lwup = lwdn + (sdn - swup) - rnet;
}

// Net radiation (W m-2) of a reference grass surface of the given albedo at air
// temperature ta (deg C) under insolation sdn (W m-2).
template <class V>
V lanes_net_rad_simple(V sdn, V ta, const Ornaxradiationpartitionlanes<V>& part, float albedo) {
    const V tk = ta + ornax_tkelvin;
    const V b = 0.84f * part.clearness;
    // sky emissivity rises from the clear-sky value with cloudiness (1 - b)
    const V sky =
        0.98f * (b + (1.0f - b) * 9.2e-6f * tk * tk) * ornax_stefan_boltzmann * tk * tk * tk * tk;
    const V tsurf = tk + 4.0f;
    const V surface = 0.98f * ornax_stefan_boltzmann * tsurf * tsurf * tsurf * tsurf;
    return sky - surface + (1.0f - albedo) * sdn;
}
