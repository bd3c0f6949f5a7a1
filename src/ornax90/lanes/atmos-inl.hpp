// Atmosphere over a lane number V: canopy architecture, stability corrections, the series
// resistances and the two-source air-temperature solution. A mask argument names the
// lanes a call is for; the others keep their values.
//
// Included by lanes/physics-inl.hpp only, inside the namespace of a lane number.

// Canopy geometry from LAI, clumping, view angle theta (degrees), wind height zu (m), leaf
// size xl (m) and the water class (1 or 0); updates hc, d, z0m and sets the wind-profile
// exponent, the near-soil wind ratio, lnzu, lnhc and ftheta of geom.
template <class V>
void lanes_canopy_arch(V xlai, V clump, V theta, V zu, V xl, V water,
                       Ornaxcanopygeomlanes<V>& geom) {
    const V om = clump;
    const V lai = xlai;
    // cover fraction seen by the satellite at its view zenith
    geom.ftheta = 1.0f - lane_exp(-0.5f * om * lai / lane_cos(theta * ornax_pi / 180.0f));
    geom.ftheta = lane_min(geom.ftheta, V(0.8f));
    // A perennial class takes the same branches as any other: keeping the previous
    // geometry would leave a fresh state with zero roughness and undefined resistances.
    const lane_mask<V> is_water = water > 0.5f;
    const lane_mask<V> bare = !is_water && (geom.hc < 0.01f || geom.fc <= 0.01f);
    const lane_mask<V> vegetated = !is_water && !bare;
    // open water roughness; bare or sparse ground of zero canopy height gets the floor
    const V z0m = lane_select(is_water, V(3.5e-4f),
                              lane_select(bare, lane_select(geom.z0m == 0.0f, V(0.005f), geom.z0m),
                                          lane_max(geom.z0m, V(0.005f))));
    const V d = lane_select(is_water, V(0.0f), geom.d);
    const V hc = lane_select(vegetated, lane_max(geom.hc, d + z0m + 0.001f), geom.hc);
    geom.lnzu = lane_log(lane_select(vegetated, zu - d, zu) / z0m);
    geom.lnhc = lane_select(vegetated, lane_log((hc - d) / z0m), V(0.0f));
    if (lane_any(vegetated)) {
        const V lm = lane_sqrt(4.0f * xl / (ornax_pi * lai / hc));  // mixing length (m)
        const V atten = lane_sqrt(0.2f * om * lai * hc / lm);       // wind attenuation
        const V ratio =
            lane_select(hc > 0.5f, lane_exp(-(1.0f - 0.05f / hc) * atten), lane_exp(-0.9f * atten));
        geom.soil_wind_ratio =
            lane_select(vegetated, lane_min(ratio, V(0.95f)), geom.soil_wind_ratio);
        geom.wind_exp = lane_select(vegetated, -(1.0f - (d + z0m) / hc) * atten, geom.wind_exp);
    }
    geom.wind_exp = lane_select(bare, V(0.0f), geom.wind_exp);
    geom.z0m = z0m;
    geom.d = d;
    geom.hc = hc;
}

// The unstable stability corrections from the powers of x = -zeta: psim from xm^0.75 and
// xm^0.33 for xm = min(x, 15.025), psih from x^0.78.
template <class V> V lanes_psim_of(V xm075, V xm033) {
    static const float ref075 = std::pow(0.0059f, 0.75f);
    static const float ref033 = std::pow(0.0059f, 0.33f);
    return 1.47f * lane_log((xm075 + 0.28f) / (ref075 + 0.28f)) - 1.29f * (xm033 - ref033);
}
template <class V> V lanes_psih_of(V x078) {
    return 1.2f * lane_log((x078 + 0.33f) / 0.33f);
}
// ln 15.025, the limit of x in psim, once per instruction set.
template <class V> float lanes_psi_log_limit() {
    static const float log_limit = lane_first(lane_log(V(15.025f)));
    return log_limit;
}

// Stability corrections for momentum and heat for zeta = (z - d)/L.
template <class V> void lanes_psimhn(V zeta, V& psim, V& psih) {
    const V x = -zeta;
    const lane_mask<V> stable = x < 0.0059f;  // stable or near neutral
    if (lane_all(stable)) {
        psim = psih = V(0.0f);
        return;
    }
    V x078, xm075, xm033;
    lane_powers_below(x, 15.025f, lanes_psi_log_limit<V>(), 0.78f, 0.75f, 0.33f, x078, xm075,
                      xm033);
    psim = lane_select(stable, V(0.0f), lanes_psim_of(xm075, xm033));
    psih = lane_select(stable, V(0.0f), lanes_psih_of(x078));
}

// The momentum correction alone for zeta, the psim of lanes_psimhn.
template <class V> V lanes_psim(V zeta) {
    const V x = -zeta;
    const lane_mask<V> stable = x < 0.0059f;  // stable or near neutral
    if (lane_all(stable)) return V(0.0f);
    V xm075, xm033;
    lane_powers_of_min(x, 15.025f, lanes_psi_log_limit<V>(), 0.75f, 0.33f, xm075, xm033);
    return lane_select(stable, V(0.0f), lanes_psim_of(xm075, xm033));
}

// The heat correction alone for zeta, the psih of lanes_psimhn.
template <class V> V lanes_psih(V zeta) {
    const V x = -zeta;
    const lane_mask<V> stable = x < 0.0059f;  // stable or near neutral
    if (lane_all(stable)) return V(0.0f);
    return lane_select(stable, V(0.0f), lanes_psih_of(lane_pow(x, V(0.78f))));
}

// Both corrections for zeta_a and the momentum correction for zeta_b at once, the same
// numbers as lanes_psimhn gives for each; the two computations overlap.
template <class V> void lanes_psimhn_pair(V zeta_a, V zeta_b, V& psim_a, V& psih_a, V& psim_b) {
    const V xa = -zeta_a, xb = -zeta_b;
    const lane_mask<V> stable_a = xa < 0.0059f, stable_b = xb < 0.0059f;
    if (lane_all(stable_a) || lane_all(stable_b)) {
        lanes_psimhn(zeta_a, psim_a, psih_a);
        psim_b = lanes_psim(zeta_b);
        return;
    }
    const float log_limit = lanes_psi_log_limit<V>();
    V xa078, xam075, xam033, xbm075, xbm033;
    lane_powers_below(xa, 15.025f, log_limit, 0.78f, 0.75f, 0.33f, xa078, xam075, xam033);
    lane_powers_of_min(xb, 15.025f, log_limit, 0.75f, 0.33f, xbm075, xbm033);
    psim_a = lane_select(stable_a, V(0.0f), lanes_psim_of(xam075, xam033));
    psih_a = lane_select(stable_a, V(0.0f), lanes_psih_of(xa078));
    psim_b = lane_select(stable_b, V(0.0f), lanes_psim_of(xbm075, xbm033));
}

template <class V> V lanes_limit_zeta(V zeta, Ornaxzetalimits limits) {
    return lane_max(lane_min(zeta, V(limits.upper)), V(limits.lower));
}

// Two passes of the stability parameter from the stored psim; returns the final zeta and
// the new psim, psih, and the momentum correction psim_c at the canopy top (zeta scaled by
// (hc - d)/(zu - d) and limited to [-0.5, 0.4]), which the second pass's do not need.
template <class V>
V lanes_update_stability(const Ornaxresistancelanes<V>& in, const Ornaxcanopygeomlanes<V>& geom,
                         V& psim, V& psih, V& psim_c) {
    const auto canopy_zeta = [&](V z) {
        return lane_max(lane_min(z * (geom.hc - geom.d) / (in.zu - geom.d), V(0.4f)), V(-0.5f));
    };
    const float k = ornax_von_karman;
    const V zd = in.zu - geom.d;
    const lane_mask<V> first = lane_abs(geom.lnzu - geom.psim) > 0.0f;
    const V ustar = k * in.u / (geom.lnzu - geom.psim);  // friction velocity (m s-1)
    V zeta = lane_select(first,
                         -(zd * ornax_gravity * in.h * k) /
                             (in.rhocp * (in.ta + 273.0f) * ustar * ustar * ustar),
                         V(0.0f));
    zeta = lanes_limit_zeta(zeta, in.zeta_limits);
    psim = lanes_psim(zeta);
    const lane_mask<V> second = first && lane_abs(geom.lnzu - psim) > 0.0f;
    // the first pass's heat correction stands only in the lanes the second pass leaves
    if (!lane_all(second)) psih = lanes_psih(zeta);
    if (lane_any(second)) {
        const V ustar2 = k * in.u / (geom.lnzu - psim);
        V zeta2 = zeta * (ustar * ustar * ustar) / (ustar2 * ustar2 * ustar2);
        zeta2 = lanes_limit_zeta(zeta2, in.zeta_limits);
        V psim2(0.0f), psih2(0.0f);
        zeta = lane_select(second, zeta2, zeta);
        lanes_psimhn_pair(zeta2, canopy_zeta(zeta), psim2, psih2, psim_c);
        psim = lane_select(second, psim2, psim);
        psih = lane_select(second, psih2, psih);
    } else {
        psim_c = lanes_psim(canopy_zeta(zeta));
    }
    return zeta;
}

// Aerodynamic, soil-surface and leaf boundary-layer resistances (s m-1) of the lanes in
// `active`; updates their stored psim and psih. leaf_wind is exp(wind-profile exponent),
// the leaf-height wind over the canopy-top wind, which callers that run the resistances
// repeatedly on one geometry take once. Returns the active lanes that fail; their ra, rs
// and rx are left as they were.
template <class V>
lane_mask<V> lanes_resistance(const Ornaxresistancelanes<V>& in, lane_mask<V> active,
                              Ornaxcanopygeomlanes<V>& geom, V leaf_wind, V& ra, V& rs, V& rx) {
    V psim(0.0f), psih(0.0f), psim_c(0.0f);
    lanes_update_stability(in, geom, psim, psih, psim_c);
    geom.psim = lane_select(active, psim, geom.psim);
    geom.psih = lane_select(active, psih, geom.psih);
    const lane_mask<V> bare = geom.hc < 1.0e-6f || in.fc <= 0.01f;
    const V ustar = ornax_von_karman * in.u / (geom.lnzu - psim);
    if (lane_any(active && bare)) {
        // bare soil: scalar roughness from the roughness Reynolds number
        const V t = 273.16f + (in.ts + in.ta) / 2.0f;
        const V nu = lane_pow(t / 296.16f, V(1.5f)) * (689.32f / (393.16f + t)) * 1.8325e-5f /
                     (in.rhocp / 1010.0f);  // kinematic viscosity (m2 s-1)
        const V re = geom.z0m * ustar / nu;
        const V z0h = geom.z0m * lane_exp(-0.4f * (4.0f * lane_pow(re, V(0.15f)) - 5.0f));
        const V ra_bare = (lane_log((in.zu - geom.d) / z0h) - psih) / (ornax_von_karman * ustar);
        const lane_mask<V> m = active && bare;
        ra = lane_select(m, ra_bare, ra);
        rs = lane_select(m, V(0.0f), rs);
        rx = lane_select(m, V(10000.0f), rx);
    }
    const lane_mask<V> canopy = active && !bare;
    const lane_mask<V> failed =
        canopy && (lane_abs(in.u) <= 1.0e-10f || lane_abs(geom.lnzu - psim) <= 1.0e-10f);
    if (!lane_any(canopy && !failed)) return failed;
    const lane_mask<V> ok = canopy && !failed;
    const V ra_new = (geom.lnzu - psih) * (geom.lnzu - psim) / (0.16f * in.u);
    const V dt = in.ts - in.ta;  // soil minus air temperature (K)
    const V uc = (geom.lnhc - psim_c) / (geom.lnzu - psim) * in.u;  // canopy top wind
    const V us = geom.soil_wind_ratio * uc;                         // near-soil wind (m s-1)
    V rs_new = lane_select(dt > 1.0f, 1.0f / (0.0038f * lane_pow(dt, V(0.33f)) + 0.012f * us),
                           1.0f / (0.0038f + 0.012f * us));
    if (in.region_switch == 1) {
        rs_new = lane_select(in.rs_correct > 0.0f && in.rs_correct < 1.0f, rs_new * in.rs_correct,
                             rs_new);
    }
    const V ud = uc * leaf_wind;  // wind at the leaf height (m s-1)
    ra = lane_select(ok, ra_new, ra);
    rs = lane_select(ok, rs_new, rs);
    const V rx_new = lane_select(in.xlai > 1.0e-10f && lane_abs(ud) > 1.0e-10f,
                                 180.0f * lane_sqrt(in.xl / ud) / in.xlai, V(10000.0f));
    rx = lane_select(ok, rx_new, rx);
    return failed;
}
template <class V>
lane_mask<V> lanes_resistance(const Ornaxresistancelanes<V>& in, lane_mask<V> active,
                              Ornaxcanopygeomlanes<V>& geom, V& ra, V& rs, V& rx) {
    return lanes_resistance(in, active, geom, lane_exp(geom.wind_exp), ra, rs, rx);
}

// Calls the resistances of the lanes in m for one time with that time's temperatures;
// leaf_wind as for lanes_resistance.
template <class V>
void lanes_time_resistances(Ornaxobstimelanes<V>& ob, const Ornaxpointlanes<V>& p, V fc,
                            Ornaxcanopygeomlanes<V>& geom, V leaf_wind, Ornaxzetalimits limits,
                            int region_switch, lane_mask<V> m) {
    Ornaxresistancelanes<V> in;
    in.h = ob.h;
    in.u = ob.u;
    in.ta = ob.ta;
    in.ts = ob.ts;
    in.rhocp = ob.rhocp;
    in.xl = p.xl;
    in.xlai = p.xlai;
    in.zu = p.zu;
    in.fc = fc;
    in.zeta_limits = limits;
    in.region_switch = region_switch;
    in.rs_correct = p.rs_correct;
    lanes_resistance(in, m, geom, leaf_wind, ob.ra, ob.rs, ob.rx);
}

// Air temperature at the blending height that the radiometric temperature, the resistances
// and the sensible heat of canopy and soil imply (deg C).
template <class V> V lanes_air_temperature(const Ornaxobstimelanes<V>& ob, V trad, V f) {
    return trad - ob.ra * ob.h / ob.rhocp - ob.hc * f * (0.5f * ob.rx) / ob.rhocp -
           ob.rs * (1.0f - f) * (ob.h - ob.hc) / ob.rhocp;
}

// Canopy-air, canopy and soil temperatures that follow from Ta (deg C), in the lanes of m.
template <class V>
void lanes_layer_temperatures(Ornaxobstimelanes<V>& ob, V trad, V f, lane_mask<V> m) {
    ob.tac = lane_select(m, ob.ta + ob.ra * ob.h / ob.rhocp, ob.tac);
    ob.tc = lane_select(m, ob.tac + ob.hc * (0.5f * ob.rx) / ob.rhocp, ob.tc);
    ob.ts = lane_select(m, (trad - ob.tc * f) / (1.0f - f), ob.ts);
}

// Soil sensible heat through the soil-surface resistance (W m-2).
template <class V> V lanes_soil_sensible_heat(const Ornaxobstimelanes<V>& ob) {
    return lane_select(ob.rs > 0.0f, (ob.ts - ob.tac) * ob.rhocp / ob.rs, ob.h - ob.hc);
}

// The values a pass of the air-temperature solution writes. A pass reads nothing else that
// changes, so a pass that leaves them as they were leaves every later pass nothing to do.
template <class V> struct Ornaxpasslanes {
    std::array<V, 11> v;
    Ornaxpasslanes(const Ornaxobstimelanes<V>& ob, const Ornaxcorelanes<V>& state)
        : v{ob.ta,
            ob.tac,
            ob.tc,
            ob.ts,
            ob.hc,
            ob.ra,
            ob.rs,
            ob.rx,
            state.canopy.psim,
            state.canopy.psih,
            state.xlec} {}
    bool same(const Ornaxpasslanes& o) const {
        for (std::size_t n = 0; n < v.size(); ++n) {
            if (!lane_same_bits(v[n], o.v[n])) return false;
        }
        return true;
    }
};

// Air temperature and component fluxes at observation time k (1 or 2) for the time's
// trial sensible heat, radiometric temperature trad (deg C), cover fraction fc and green
// fraction fg; works on the time-k fields and the shared latent fluxes of the state.
template <class V>
void lanes_find_ta(int k, V trad, V fc, V fg, const Ornaxpointlanes<V>& p, Ornaxcorelanes<V>& state,
                   Ornaxzetalimits limits, int region_switch) {
    constexpr int sweeps = 20;  // fixed number of passes of the temperature solution
    Ornaxobstimelanes<V>& ob = state.obs[k - 1];
    Ornaxcanopygeomlanes<V>& geom = state.canopy;
    const V f = geom.ftheta;
    // the geometry stays as it is through the passes
    const V leaf_wind = lane_exp(geom.wind_exp);
    static const float log_ten = lane_first(lane_log(V(10.0f)));
    ob.ts = (trad - ob.tc * f) / (1.0f - f);
    V le = ob.rnet - ob.h - ob.g;
    const lane_mask<V> dry = le < 0.0f;
    if (lane_any(dry)) {
        // no energy left for evaporation: soil heat takes the rest
        le = lane_select(dry, V(0.0f), le);
        ob.g = lane_select(dry, ob.rnet - ob.h, ob.g);
        state.xles = lane_select(dry, V(0.0f), state.xles);
        state.xlec = lane_select(dry, V(0.0f), state.xlec);
        ob.hs = lane_select(dry, ob.rnsoil - ob.g, ob.hs);
        ob.hc = lane_select(dry, ob.h - ob.hs, ob.hc);
        for (int pass = 0; pass < sweeps; ++pass) {
            const Ornaxpasslanes<V> before(ob, state);
            lanes_time_resistances(ob, p, fc, geom, leaf_wind, limits, region_switch, dry);
            lanes_layer_temperatures(ob, trad, f, dry);
            if (before.same(Ornaxpasslanes<V>(ob, state))) break;  // the rest repeat this one
        }
    }
    const lane_mask<V> wet = !dry;
    if (lane_any(wet)) {
        lanes_time_resistances(ob, p, fc, geom, leaf_wind, limits, region_switch, wet);
        ob.tac = lane_select(wet, ob.ta + ob.ra * ob.h / ob.rhocp, ob.tac);
        for (int pass = 0; pass < sweeps; ++pass) {
            const Ornaxpasslanes<V> before(ob, state);
            const V es =
                6.108f * lane_pow_of(10.0f, log_ten, 7.5f * ob.tac / (237.3f + ob.tac));  // mb
            const V lambda = 1.0e6f * (2.501f - 0.00237f * ob.tac);                       // J kg-1
            const V tk = ob.tac + ornax_tkelvin;
            const V slope = 0.00217f * lambda * es / (tk * tk);
            // canopy transpiration, Priestley-Taylor with alpha = 1.3 (W m-2)
            state.xlec =
                lane_select(wet, slope / (slope + 0.66f) * 1.3f * ob.rncan * fg, state.xlec);
            ob.hc = lane_select(wet, ob.rncan - state.xlec, ob.hc);
            ob.ta = lane_select(wet, lanes_air_temperature(ob, trad, f), ob.ta);
            lanes_time_resistances(ob, p, fc, geom, leaf_wind, limits, region_switch, wet);
            lanes_layer_temperatures(ob, trad, f, wet);
            if (before.same(Ornaxpasslanes<V>(ob, state))) break;  // the rest repeat this one
        }
    }
    ob.hs = lanes_soil_sensible_heat(ob);
    state.xles = ob.rnsoil - ob.hs - ob.g;
    if (k != 1) {
        // no condensation on the soil at the second time: the canopy takes the rest
        const lane_mask<V> clip = state.xles < -0.001f;
        if (lane_any(clip)) {
            state.xles = lane_select(clip, V(0.0f), state.xles);
            ob.hs = lane_select(clip, ob.rnsoil - ob.g, ob.hs);
            ob.hc = lane_select(clip, ob.h - ob.hs, ob.hc);
            state.xlec = lane_select(clip, ob.rncan - ob.hc, state.xlec);
            const lane_mask<V> none = clip && state.xlec < -0.001f;
            state.xlec = lane_select(none, V(0.0f), state.xlec);
            ob.hc = lane_select(none, ob.rncan, ob.hc);
            ob.ta = lane_select(clip, lanes_air_temperature(ob, trad, f), ob.ta);
            lanes_layer_temperatures(ob, trad, f, clip);
            ob.hs = lane_select(clip, lanes_soil_sensible_heat(ob), ob.hs);
        }
    }
    state.xle = le;
}
