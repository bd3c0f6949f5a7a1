// The daily integration over a lane number V: hourly radiation and soil heat budget, the
// FAO-56 grass reference evapotranspiration and the daily totals.
//
// Included by lanes/physics-inl.hpp only, inside the namespace of a lane number.

// Coefficients of the departure curve dT(t) = b t^2 + a t + c (K, t in h), zero at sunrise
// and sunset and equal to temp - taobs2 at tloc2.
template <class V>
void lanes_gettdepart2(V temp, V taobs2, V tloc2, V sunrise, V sunset, V& b, V& a, V& c) {
    const V q = sunrise;
    const V r = sunset;
    const V t2 = tloc2;
    const V dep = temp - taobs2;  // departure at the second observation (K)
    a = dep / (t2 + (q - r) * (t2 * t2 - q * q) / (r * r - q * q) - q);
    b = (q - r) * a / (r * r - q * q);
    c = -q * a - q * (b * q);
}

// FAO-56 Penman-Monteith hourly grass reference latent heat flux (W m-2).
template <class V> V lanes_fao_pm(V sdn, V zen, V ta, V pres, V ea, V u) {
    const V es = 0.6108f * lane_exp(17.2694f * ta / (ta + 237.3f));  // kPa
    Ornaxradiationpartitionlanes<V> part;
    const V sdn_used = lanes_rad_comps(sdn, zen, part);
    const V rn = lanes_net_rad_simple(sdn_used, ta, part, 0.23f);
    const V slope = 4098.029f * es / ((ta + 237.3f) * (ta + 237.3f));  // kPa K-1
    const V rh = 3600.0f * rn / 1000000.0f;                            // MJ m-2 h-1
    // soil heat taken as 0.1 Rn
    const V a = lane_select(rn > 1.0e-6f, (rh - 0.1f * rh) * 0.408f * slope, V(0.0f));
    const V lambda = 2.501f - 0.00237f * ta;                              // MJ kg-1
    const V gamma = pres * 0.1f * 1010.0f * 1.0e-6f / (0.622f * lambda);  // kPa K-1
    // ea in mb, 0.1 ea in kPa; hourly ET in mm h-1
    const V et = (a + u * gamma * 37.0f * (es - 0.1f * ea) / (ta + ornax_tkelvin)) /
                 ((1.0f + 0.24f * u) * gamma + slope);
    return et * lambda * 1000000.0f / 3600.0f;
}

// Daily total (MJ m-2 day-1) of 24 hourly values (W m-2); -9999 if any value is missing.
template <class V> V lanes_hourly_to_daily(const std::array<V, ornax_hours_per_day>& hourly) {
    V sum(0.0f);
    lane_mask<V> missing = V(0.0f) != V(0.0f);  // none yet
    for (const V& value : hourly) {
        missing = missing || lane_abs(value + 9999.0f) < 1.0e-6f;
        sum = sum + value;
    }
    return lane_select(missing, V(ornax_missing_value), sum * 3600.0f * 1.0e-6f);
}

// Hourly budget of slot i (0-based). Returns the lanes whose canopy properties fail.
template <class V>
lane_mask<V> lanes_hourly_budget(int i, const Ornaxpointlanes<V>& p, Ornaxcorelanes<V>& state,
                                 const std::array<V, 3>& canopy, const std::array<V, 3>& soil) {
    const V t = p.tloc_day[i];
    const V sdn = p.sdn_day[i];
    const V lwdn = p.lwdn_day[i];
    const V ta = p.taobs_day[i];
    V zen(0.0f), rise(0.0f), set(0.0f);
    lanes_sun_zen(p.lat, p.lon, state.stdlon, p.days, t, zen, rise, set);
    Ornaxradiationpartitionlanes<V> part;
    state.sdn_hour[i] = lanes_rad_comps(sdn, zen, part);
    if constexpr (std::is_same_v<V, float>) {
        if (debug_iflag > 0) {
            ornax_log_msg("In SDN" + write_i(i + 1, 3) + write_f(sdn, 10, 2) +
                          write_f(state.sdn_hour[i], 10, 2) + write_f(zen, 10, 4) +
                          write_f(std::cos(zen), 10, 4));
            ornax_log_msg("Rad comp at:" + write_i(i + 1, 3) + write_f(part.clearness, 10, 2) +
                          write_f(part.visible_share, 10, 2) + write_f(part.nir_share, 10, 2) +
                          write_f(part.diffuse_visible, 10, 2) + write_f(part.diffuse_nir, 10, 2) +
                          write_f(part.direct_visible, 10, 2) + write_f(part.direct_nir, 10, 2));
        }
    }
    Ornaxcanopyradlanes<V> props;
    const lane_mask<V> failed = lanes_rad_props(p, zen, props);
    if constexpr (std::is_same_v<V, float>) {
        if (failed) return failed;
    }
    const lane_mask<V> day = state.sunrise < t && t < state.sunset;
    V rnet(0.0f), rnsoil(0.0f), rncan(0.0f), swup(0.0f), lwup(0.0f), g(0.0f), eref(0.0f);
    if (lane_any(day)) {
        // a morning colder than the air does not cool the surfaces below it
        const auto at = [t](const std::array<V, 3>& curve) {
            return curve[0] * t * t + curve[1] * t + curve[2];
        };
        const lane_mask<V> curves = canopy[0] != ornax_missing_value;
        const V tc = lane_select(curves, ta + lane_max(V(0.0f), at(canopy)), ta + 2.0f);
        const V ts = lane_select(curves, ta + lane_max(V(0.0f), at(soil)), ta + 4.0f);
        lanes_net_rad_day(part, p.emis_soil, p.rsoilv, p.rsoiln, ts, tc, lwdn, sdn, props, rnet,
                          rnsoil, rncan, swup, lwup);
        g = lanes_soil_heat(rnsoil, t, state.sunrise, state.sunset);
        const lane_mask<V> sunny = day && sdn > 1.0e-6f;
        if (lane_any(sunny)) {
            eref = lane_select(
                sunny, lanes_fao_pm(sdn, zen, ta, p.pres_day[i], p.spfh_day[i], p.wind_day[i]),
                V(0.0f));
        }
    }
    if (lane_any(!day)) {
        V rnet_n(0.0f), rnsoil_n(0.0f), rncan_n(0.0f), swup_n(0.0f), lwup_n(0.0f);
        lanes_net_rad_night(p.emis_soil, ta, ta, lwdn, sdn, props, rnet_n, rnsoil_n, rncan_n,
                            swup_n, lwup_n);
        rnet = lane_select(day, rnet, rnet_n);
        swup = lane_select(day, swup, swup_n);
        lwup = lane_select(day, lwup, lwup_n);
        rnsoil = lane_select(day, rnsoil, V(0.0f));
        g = lane_select(day, g, V(0.0f));
    }
    state.rnet_hour[i] = rnet;
    state.rnsoil_hour[i] = rnsoil;
    state.g_hour[i] = g;
    state.swup_hour[i] = swup;
    state.lwup_hour[i] = lwup;
    state.eref_hour[i] = eref;
    if constexpr (std::is_same_v<V, float>) {
        if (debug_iflag > 0) ornax_log_msg((FreeLine() << "xlwdn_sdn" << lwdn << sdn).str());
    }
    return failed;
}

template <class V>
void lanes_copy_instantaneous(const Ornaxcorelanes<V>& state, Ornaxoutputlanes<V>& out) {
    const Ornaxobstimelanes<V>& o1 = state.obs[0];
    const Ornaxobstimelanes<V>& o2 = state.obs[1];
    out.TS1 = o1.ts;
    out.TS2 = o2.ts;
    out.TC1 = o1.tc;
    out.TC2 = o2.tc;
    out.TA1 = o1.ta;
    out.TA2 = o2.ta;
    out.RNET1 = o1.rnet;
    out.ZEN1 = o1.zen;
    out.RNET2 = o2.rnet;
    out.ZEN2 = o2.zen;
    out.XLEC2 = state.xlec;
    out.XLES2 = state.xles;
    out.XLE2 = state.xle;
    out.HC2 = o2.hc;
    out.HS2 = o2.hs;
    out.H2 = o2.h;
    out.G2 = o2.g;
    out.Z2 = state.z2;
    out.RA2 = o2.ra;
    out.RS2 = o2.rs;
    out.RX2 = o2.rx;
    out.SWUP = o2.swup;
    out.LWUP = o2.lwup;
}

// Daily evapotranspiration from the second-time latent heat scaled by daily over
// instantaneous insolation (missing values when either insolation is not positive), in the
// lanes of m; returns the reference flux at the second time.
template <class V>
V lanes_daily_flux_clear_sdn(const Ornaxpointlanes<V>& p, const Ornaxcorelanes<V>& state,
                             Ornaxoutputlanes<V>& out, lane_mask<V> m) {
    const lane_mask<V> defined = p.sdn2 > 0.0f && out.SDDAY > 0.0f;
    const V ratio = p.sdn2 / out.SDDAY;  // instantaneous over daily insolation
    const V eday = out.XLE2 / ratio;
    const V esday = lane_select(lane_abs(out.XLE2) > 1.0e-6f, eday * out.XLES2 / out.XLE2, V(0.0f));
    const V missing(ornax_missing_value);
    const V eref2 = lanes_fao_pm(p.sdn2, out.ZEN2, p.taobs2, p.pres2, p.spfh2, state.obs[1].u);
    const lane_mask<V> store = m && defined;
    const lane_mask<V> unset = m && !defined;
    out.EDAY = lane_select(store, eday, lane_select(unset, missing, out.EDAY));
    out.ESDAY = lane_select(store, esday, lane_select(unset, missing, out.ESDAY));
    out.ECDAY = lane_select(store, eday - esday, lane_select(unset, missing, out.ECDAY));
    // daily soil heat taken as 0
    out.HDAY = lane_select(store, out.SNETDAY - eday, lane_select(unset, missing, out.HDAY));
    out.GDAY = lane_select(m, V(0.0f), out.GDAY);
    if constexpr (std::is_same_v<V, float>) {
        if (debug_iflag >= 1 && m) {
            const auto print = [](const char* label, float value) {
                std::string text(label);
                text.resize(15, ' ');  // labels are texts of 15 characters
                std::printf("%s%s\n", write_a(text, 27).c_str(), write_f(value, 7, 2).c_str());
            };
            print(" RNDAY", out.SNETDAY);
            print(" RN soil DAY", out.RSOILDAY);
            print(" swup dAY", out.SWUPDAY);
            print(" xlwup dAY", out.LWUPDAY);
            print(" xlwdn dAY", out.LWDNDAY);
            print(" HDAY", out.HDAY);
            print(" GDAY", out.GDAY);
            print(" EDAY", out.EDAY);
            print(" ESDAY", out.ESDAY);
            print(" ECDAY", out.ECDAY);
            print(" EREFDAY", out.EREFDAY);
            print(" EREFDAY2", eref2);
            print(" SDAY", out.SDDAY);
        }
    }
    return eref2;
}

// Fills the output record from the converged state: instantaneous values and daily totals.
// Returns the lanes whose hourly canopy properties fail; their daily values stay 0.
template <class V>
lane_mask<V> lanes_integrate_daily_flux(const Ornaxpointlanes<V>& p, Ornaxcorelanes<V>& state,
                                        Ornaxoutputlanes<V>& out) {
    reset_out_lanes(out);
    lanes_copy_instantaneous(state, out);
    std::array<V, 3> canopy, soil;  // b, a, c of the departure curves
    lanes_gettdepart2(out.TC2, p.taobs2, p.tloc2, state.sunrise, state.sunset, canopy[0], canopy[1],
                      canopy[2]);
    lanes_gettdepart2(out.TS2, p.taobs2, p.tloc2, state.sunrise, state.sunset, soil[0], soil[1],
                      soil[2]);
    if constexpr (std::is_same_v<V, float>) {
        if (debug_iflag > 0) {
            ornax_log_msg((FreeLine() << "canopy:" << out.TC2 << state.sunset << canopy[0]
                                      << canopy[1] << canopy[2])
                              .str());
            ornax_log_msg((FreeLine()
                           << "soil  :" << out.TS2 << state.sunset << soil[0] << soil[1] << soil[2])
                              .str());
        }
    }
    lane_mask<V> failed = V(0.0f) != V(0.0f);  // none yet
    for (int i = 0; i < ornax_hours_per_day; ++i) {
        failed = failed || lanes_hourly_budget(i, p, state, canopy, soil);
        if constexpr (std::is_same_v<V, float>) {
            if (failed) {
                ornax_log_msg("Error in");
                return failed;
            }
        }
    }
    const lane_mask<V> ok = !failed;
    out.SNETDAY = lane_select(ok, lanes_hourly_to_daily(state.rnet_hour), out.SNETDAY);
    out.RSOILDAY = lane_select(ok, lanes_hourly_to_daily(state.rnsoil_hour), out.RSOILDAY);
    out.GDAY = lane_select(ok, lanes_hourly_to_daily(state.g_hour), out.GDAY);
    out.SDDAY = lane_select(ok, lanes_hourly_to_daily(state.sdn_hour), out.SDDAY);
    out.SWUPDAY = lane_select(ok, lanes_hourly_to_daily(state.swup_hour), out.SWUPDAY);
    out.LWUPDAY = lane_select(ok, lanes_hourly_to_daily(state.lwup_hour), out.LWUPDAY);
    out.EREFDAY = lane_select(ok, lanes_hourly_to_daily(state.eref_hour), out.EREFDAY);
    if constexpr (std::is_same_v<V, float>) {
        if (debug_iflag > 0) {
            ornax_log_msg((FreeLine() << "eref:" << out.EREFDAY).str());
            FreeLine hours;
            hours << "eref hour";
            for (float value : state.eref_hour) hours << value;
            ornax_log_msg(hours.str());
        }
    }
    out.LWDNDAY = lane_select(ok, lanes_hourly_to_daily(p.lwdn_day), out.LWDNDAY);
    lanes_daily_flux_clear_sdn(p, state, out, ok);
    return failed;
}
