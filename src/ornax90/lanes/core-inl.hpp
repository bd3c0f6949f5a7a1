// The heat-flux solution over a lane number V: soil heat, boundary-layer growth, one
// evaluation of the balance and one step of the outer relaxation of HN. The diagnostic
// lines of the one-lane instance keep their order; the vector instance writes none.
//
// Included by lanes/physics-inl.hpp only, inside the namespace of a lane number.

// Soil heat flux (W m-2) as a share of soil net radiation that follows the time of day t (h).
template <class V> V lanes_soil_heat(V rnsoil, V t, V sunrise, V sunset) {
    const V s = 3600.0f * (t - (sunrise + sunset) / 2.0f);  // seconds from solar noon
    const V g = 0.35f * rnsoil * lane_cos(6.2831855f * (10800.0f + s) / 100000.0f);
    if constexpr (std::is_same_v<V, float>) {
        if (debug_iflag == 1) {
            ornax_log_msg("---------get_soil_heat--------");
            ornax_log_msg(
                (FreeLine() << "In rnsoil, t_loc, start_end" << rnsoil << t << sunrise << sunset)
                    .str());
            ornax_log_msg((FreeLine() << "Out g:" << g).str());
            ornax_log_msg((FreeLine() << "time" << s).str());
        }
    }
    return g;
}

// Grows the layer from z1 between times tsec1 and tsec2 (s after the heating start) with
// air temperatures ta1, ta2 (deg C): sets z2 (m) and the HN (W m-2) whose linearly rising
// flux supplies the heat taken up; both are left as they are where the rise lies outside
// the table.
template <class V, class Table>
void lanes_grow_pbl(V ta1, V ta2, V tsec1, V tsec2, V rhocp1, V rhocp2, V theta0,
                    const Table& table, V z1, V& z2, V& new_hn) {
    const V t1 = ta1 + ornax_tkelvin;
    const V t2 = ta2 + ornax_tkelvin;
    // table index of the rise, truncated toward zero
    const V j = lane_trunc((t2 - t1) / 0.01f);
    const lane_mask<V> inside = j >= 1.0f && j <= static_cast<float>(ornax_pbl_table_size);
    if (lane_any(inside)) {
        const V entry = lane_select(inside, j, V(1.0f));
        const V zt = table.height_at(entry);
        // heat content gained by the layer above the morning profile (K m)
        const V c = table.integral_at(entry) - (zt - z1) * (theta0 - t1);
        const V hn = (zt * t2 - z1 * t1 - c) * (rhocp1 + rhocp2) * ornax_hn_ramp_seconds /
                     (tsec2 * tsec2 - tsec1 * tsec1);
        z2 = lane_select(inside, zt, z2);
        new_hn = lane_select(inside, hn, new_hn);
    }
    if constexpr (std::is_same_v<V, float>) {
        if (!inside && ornax_debug == 1) {
            if (j > static_cast<float>(ornax_pbl_table_size)) {
                ornax_log_msg((FreeLine() << "Temp increase is too large: " << (t2 - t1)).str());
                ornax_log_msg("Error in ORNAX_grow_pbl");
            } else {
                std::printf("%s\n", (FreeLine() << "Lower air temp at time 2(" << ta2
                                                << ") than time 1(" << ta1 << ")")
                                        .str()
                                        .c_str());
            }
        }
    }
}

// Canopy geometry and the radiative properties of both observation times; returns the
// lanes whose time-1 properties fail.
template <class V>
lane_mask<V> lanes_update_fc(const Ornaxpointlanes<V>& p, Ornaxcorelanes<V>& state) {
    lanes_canopy_arch(p.xlai, p.clump, p.theta, p.zu, p.xl, p.water, state.canopy);
    const lane_mask<V> failed = lanes_rad_props(p, state.obs[0].zen, state.obs[0].rad);
    if constexpr (std::is_same_v<V, float>) {
        if (failed) {
            if (debug_iflag > 0) std::printf("Error in ORNAX_get_rad_props\n");
            return failed;
        }
        if (debug_iflag > 0) {
            ornax_log_msg(
                (FreeLine() << "After get rad props, albedo1" << state.obs[0].rad.albedo).str());
        }
    }
    lanes_rad_props(p, state.obs[1].zen, state.obs[1].rad);
    return failed;
}

inline constexpr Ornaxzetalimits lanes_zeta_limits_time1{0.4f, -0.5f};
inline constexpr Ornaxzetalimits lanes_zeta_limits_time2{0.0f, -10.0f};

// One evaluation of the balance at both observation times for the trial HN; new_hn is
// updated from the boundary-layer growth. Returns the lanes whose time-2 net radiation
// is negative (their evaluation failed).
template <class V, class Table>
lane_mask<V> lanes_find_hn(const Ornaxpointlanes<V>& p, Ornaxcorelanes<V>& state,
                           const Table& table, V hn, V& new_hn, int region_switch) {
    Ornaxobstimelanes<V>& o1 = state.obs[0];
    Ornaxobstimelanes<V>& o2 = state.obs[1];
    // sensible heat rising linearly from the heating start (W m-2)
    o1.h = o1.tsec * hn / ornax_hn_ramp_seconds;
    o2.h = o2.tsec * hn / ornax_hn_ramp_seconds;
    // fixed partition: 80 % direct visible, all-direct near-infrared
    const Ornaxradiationpartitionlanes<V> part{1.0f, 0.5f, 0.5f, 0.2f, 0.0f, 0.8f, 1.0f};
    lanes_net_rad_day(part, p.emis_soil, p.rsoilv, p.rsoiln, o1.ts, o1.tc, p.lwdn1, p.sdn1, o1.rad,
                      o1.rnet, o1.rnsoil, o1.rncan, o1.swup, o1.lwup);
    lanes_net_rad_day(part, p.emis_soil, p.rsoilv, p.rsoiln, o2.ts, o2.tc, p.lwdn2, p.sdn2, o2.rad,
                      o2.rnet, o2.rnsoil, o2.rncan, o2.swup, o2.lwup);
    const lane_mask<V> failed = o2.rnet < 0.0f;
    if constexpr (std::is_same_v<V, float>) {
        if (failed) {
            if (debug_iflag == 1) {
                ornax_log_msg(
                    (FreeLine() << "Net rad day error at time 2 in find_hn" << o2.rnet).str());
            }
            return failed;
        }
        if (debug_iflag == 1) {
            const auto pair = [](const char* label, float v1, float v2) {
                ornax_log_msg(std::string(label) + write_f(v1, 10, 3) + write_f(v2, 10, 3));
            };
            pair("In findhn: SDN", p.sdn1, p.sdn2);
            pair("In findhn: temp_soil", o1.ts, o2.ts);
            pair("In findhn: temp_canopy", o1.tc, o2.tc);
            pair("In findhn: h_canopy", o1.hc, o2.hc);
            pair("In findhn: Rnet", o1.rnet, o2.rnet);
        }
    }
    o1.g = lanes_soil_heat(o1.rnsoil, p.tloc1, state.sunrise, state.sunset);
    o2.g = lanes_soil_heat(o2.rnsoil, p.tloc2, state.sunrise, state.sunset);
    lanes_find_ta(1, p.trad1, p.fc, p.fg, p, state, lanes_zeta_limits_time1, region_switch);
    lanes_find_ta(2, p.trad2, p.fc, p.fg, p, state, lanes_zeta_limits_time2, region_switch);
    o2.ta = lane_max(o2.ta, o1.ta + 0.5f);
    lanes_grow_pbl(o1.ta, o2.ta, o1.tsec, o2.tsec, o1.rhocp, o2.rhocp, state.theta0, table,
                   state.z1, state.z2, new_hn);
    // the flux at the second time cannot exceed the available energy
    new_hn = lane_select(o2.tsec * new_hn / ornax_hn_ramp_seconds > o2.rnet - o2.g,
                         ornax_hn_ramp_seconds * (o2.rnet - o2.g) / o2.tsec, new_hn);
    return failed;
}

// The outer loop's values of each lane: trial HN, the HN of the last evaluation, the
// iteration number i (from 1) and the count of evaluations made.
template <class V> struct Ornaxhnlanes {
    V hn{};
    V new_hn{};
    V iteration{};
    V evaluations{};
};

inline constexpr float lanes_hn_tolerance = 0.1f;         // convergence of HN (W m-2)
inline constexpr float lanes_hn_max_iterations = 300.0f;  // the evaluation with i = 301 is the last

// One iteration of the outer loop: canopy update, one evaluation, the convergence test and
// the relaxed trial HN. Sets the lanes that converged and those that failed (failed
// evaluation or no convergence by i = 301); both keep their trial HN.
template <class V, class Table>
void lanes_hn_iteration(const Ornaxpointlanes<V>& p, Ornaxcorelanes<V>& state, const Table& table,
                        int region_switch, Ornaxhnlanes<V>& loop, lane_mask<V>& converged,
                        lane_mask<V>& failed) {
    const lane_mask<V> fc_failed = lanes_update_fc(p, state);
    if constexpr (std::is_same_v<V, float>) {
        if (fc_failed) {
            converged = false;
            failed = true;
            return;
        }
    }
    const lane_mask<V> hn_failed =
        lanes_find_hn(p, state, table, loop.hn, loop.new_hn, region_switch);
    if constexpr (std::is_same_v<V, float>) {
        if (hn_failed && debug_iflag > 0) ornax_log_msg("Find hn error, converg loop stopped.");
    }
    loop.evaluations = lane_select(fc_failed, loop.evaluations, loop.evaluations + 1.0f);
    const V change = loop.new_hn - loop.hn;
    converged = !fc_failed && !hn_failed && lane_abs(change) <= lanes_hn_tolerance;
    failed = fc_failed || hn_failed || (!converged && loop.iteration > lanes_hn_max_iterations);
    // relaxation factor 0.25, halved after 20 iterations, a third after 40, ...
    const V relaxed = loop.hn + 0.25f * change / (lane_trunc(0.05f * loop.iteration) + 1.0f);
    loop.hn = lane_select(converged || failed, loop.hn, relaxed);
    loop.iteration = loop.iteration + 1.0f;
}
