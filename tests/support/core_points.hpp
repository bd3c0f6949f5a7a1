// Points for the model-core tests and benchmark: the reference site files read with the
// fixed-column toolkit, and a deterministic spread of realistic mid-latitude summer points.
#pragma once

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "ornax90/ORNAX_data_mod.hpp"
#include "ornax90/ORNAX_rad_mod.hpp"
#include "utils/fixed_text.hpp"

namespace core_points {

inline std::vector<std::string> read_lines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(trim_right(line));
    return lines;
}

// Reals of a "(1x, a30, nf10.d)" line.
inline void read_reals(const std::string& line, int count, int decimals, float* out[]) {
    for (int n = 0; n < count; ++n)
        read_fixed_real(line, 32 + 10 * n, 41 + 10 * n, decimals, *out[n]);
}

// Land and input records of a site input file; the class values of the table replace the
// file's land values except the six leaf values, the input keeps fc, hc, xl of the file.
inline bool load_site_case(const std::string& site_file, const std::string& table_file,
                           Ornaxlandtype& land, Ornaxinputvartype& in) {
    const std::vector<std::string> l = read_lines(site_file);
    if (l.size() < 48) return false;
    land = Ornaxlandtype{};
    in = Ornaxinputvartype{};
    read_fixed_int(l[1], 32, 41, land.landcover);
    read_fixed_int(l[2], 32, 41, land.modis_class);
    read_fixed_int(l[2], 42, 51, land.water_flag);
    read_fixed_int(l[2], 52, 61, land.perennial_flag);
    float* live[] = {&land.aleafv, &land.aleafn, &land.aleafl};
    read_reals(l[3], 3, 3, live);
    float* dead[] = {&land.adeadv, &land.adeadn, &land.adeadl};
    read_reals(l[4], 3, 3, dead);
    float* xl[] = {&land.xl};
    read_reals(l[5], 1, 3, xl);
    float* heights[] = {&land.hmin, &land.hmax};
    read_reals(l[6], 2, 3, heights);
    float* soil[] = {&land.rsoil, &land.fcmin};
    read_reals(l[7], 2, 3, soil);
    in.landcover = land.landcover;
    float* pos[] = {&in.lon, &in.lat};
    read_reals(l[9], 2, 3, pos);
    read_fixed_int(l[10], 32, 41, in.year);
    read_fixed_int(l[10], 42, 51, in.doy);
    float* veg[] = {&in.xlai, &in.xndvi};
    read_reals(l[11], 2, 3, veg);
    float* view[] = {&in.theta};
    read_reals(l[12], 1, 3, view);
    float* pairs[][2] = {{&in.tloc1, &in.tloc2}, {&in.trad1, &in.trad2}, {&in.sdn1, &in.sdn2},
                         {&in.lwdn1, &in.lwdn2}, {&in.wind1, &in.wind2}, {&in.taobs1, &in.taobs2},
                         {&in.pres1, &in.pres2}};
    for (int n = 0; n < 7; ++n) read_reals(l[13 + n], 2, 3, pairs[n]);
    float* hum[] = {&in.spfh1, &in.spfh2};
    read_reals(l[20], 2, 5, hum);
    read_fixed_int(l[21], 32, 41, in.npbl);
    for (int k = 0; k < in.npbl; ++k) {
        read_fixed_real(l[23 + k], 5, 24, 4, in.z_pbli[k]);
        read_fixed_real(l[23 + k], 25, 44, 4, in.th_pblk[k]);
    }
    const std::size_t hour0 = 24 + in.npbl;
    if (l.size() < hour0 + 24) return false;
    for (int h = 0; h < 24; ++h) {
        const std::string& s = l[hour0 + h];
        read_fixed_real(s, 2, 5, 1, in.tloc_day[h]);
        float* cols[] = {&in.sdn_day[h],  &in.taobs_day[h], &in.spfh_day[h],
                         &in.pres_day[h], &in.wind_day[h],  &in.lwdn_day[h]};
        for (int c = 0; c < 6; ++c) read_fixed_real(s, 6 + 12 * c, 17 + 12 * c, 4, *cols[c]);
    }
    // values the site reader derives
    in.zblend = 50.0f;
    in.clump = 1.0f;
    in.zu = 50.0f;
    in.fg = 1.0f;
    in.xl = land.xl;
    in.rsoilv = 0.24f;
    in.rsoiln = 0.38f;
    in.emis_soil = 0.92f;
    in.fc = std::fmax(std::fmin(1.0f - std::exp(-0.5f * in.xlai), 1.0f), 0.0f);
    if (in.fc < land.fcmin) in.fc = land.fcmin;
    in.hc = (land.hmax - land.hmin) * in.fc + land.hmin;
    // class values of the table
    for (const std::string& row : read_lines(table_file)) {
        int cls = 0;
        if (row.size() < 108 || read_fixed_int(row, 1, 3, cls) != text_field_ok) continue;
        if (cls != land.landcover) continue;
        read_fixed_real(row, 52, 59, 2, land.rsoil);
        read_fixed_real(row, 60, 67, 2, land.hmin);
        read_fixed_real(row, 68, 75, 2, land.hmax);
        read_fixed_real(row, 76, 83, 2, land.xl);
        read_fixed_int(row, 84, 91, land.modis_class);
        read_fixed_int(row, 92, 99, land.perennial_flag);
        read_fixed_real(row, 100, 107, 2, land.fcmin);
        land.water_flag = cls == 1 ? 1 : 0;
    }
    return true;
}

// A realistic clear mid-latitude summer point, varied deterministically by n.
inline void make_summer_point(int n, Ornaxlandtype& land, Ornaxinputvartype& in) {
    const float r1 = std::fmod(0.6180339f * static_cast<float>(n + 1), 1.0f);
    const float r2 = std::fmod(0.4142135f * static_cast<float>(n + 3), 1.0f);
    const float r3 = std::fmod(0.7320508f * static_cast<float>(n + 5), 1.0f);
    land = Ornaxlandtype{};
    land.landcover = 2 + n % 18;
    land.aleafv = 0.85f, land.aleafn = 0.25f + 0.1f * r1, land.aleafl = 0.96f;
    land.adeadv = 0.6f, land.adeadn = 0.36f, land.adeadl = 0.95f;
    land.xl = 0.02f + 0.1f * r2;
    land.hmin = 0.1f + 2.0f * r3;
    land.hmax = land.hmin + 10.0f * r1;
    land.perennial_flag = n % 7 == 0 ? 1 : 0;
    land.fcmin = 0.02f;
    in = Ornaxinputvartype{};
    in.year = 2015;
    in.doy = 150 + (n * 7) % 90;
    in.lat = 30.0f + 20.0f * r1;
    in.lon = -120.0f + 45.0f * r2;
    in.landcover = land.landcover;
    in.npbl = 30;
    in.xlai = 0.2f + 4.5f * r3;
    in.xndvi = 0.5f;
    in.theta = 30.0f + 25.0f * r2;
    in.xl = land.xl;
    in.fc = std::fmax(1.0f - std::exp(-0.5f * in.xlai), land.fcmin);
    in.hc = (land.hmax - land.hmin) * in.fc + land.hmin;
    const float stdlon = 15.0f * std::round(in.lon / 15.0f);
    const float tmin = 10.0f + 12.0f * r2;  // morning air temperature (deg C)
    float zen = 0.0f, rise = 0.0f, set = 0.0f;
    int st = 0;
    for (int h = 0; h < 24; ++h) {
        const float t = static_cast<float>(h);
        ornax_get_sun_zen(in.lat, in.lon, stdlon, in.doy, in.year, t, zen, rise, set, st);
        in.tloc_day[h] = t;
        in.sdn_day[h] = std::fmax(0.0f, 950.0f * std::cos(zen) * (0.8f + 0.15f * r3));
        in.taobs_day[h] = tmin + 8.0f * std::fmax(0.0f, std::sin((t - 7.0f) * 0.2618f));
        in.spfh_day[h] = 8.0f + 10.0f * r1;
        in.pres_day[h] = 960.0f + 40.0f * r3;
        in.wind_day[h] = 2.0f + 4.0f * r2;
        in.lwdn_day[h] = 290.0f + 2.5f * in.taobs_day[h];
    }
    in.tloc1 = 7.5f + 1.0f * r1;
    in.tloc2 = 10.0f + 1.0f * r3;
    const float obs_t[2] = {in.tloc1, in.tloc2};
    float sdn[2], ta[2];
    for (int k = 0; k < 2; ++k) {
        ornax_get_sun_zen(in.lat, in.lon, stdlon, in.doy, in.year, obs_t[k], zen, rise, set, st);
        sdn[k] = 950.0f * std::cos(zen) * (0.8f + 0.15f * r3);
        ta[k] = tmin + 8.0f * std::fmax(0.0f, std::sin((obs_t[k] - 7.0f) * 0.2618f));
    }
    in.sdn1 = sdn[0], in.sdn2 = sdn[1];
    in.taobs1 = ta[0], in.taobs2 = ta[1];
    in.trad1 = ta[0] + 1.0f + 2.0f * r2;
    in.trad2 = ta[1] + 4.0f + 10.0f * r1;
    in.lwdn1 = 290.0f + 2.5f * ta[0], in.lwdn2 = 290.0f + 2.5f * ta[1];
    in.wind1 = 1.5f + 3.0f * r2, in.wind2 = 2.0f + 4.0f * r3;
    in.pres1 = in.pres2 = 960.0f + 40.0f * r3;
    in.spfh1 = in.spfh2 = 8.0f + 10.0f * r1;
    // stable morning sounding: surface inversion over a 4 K/km free atmosphere
    float z = 10.0f;
    for (int k = 0; k < in.npbl; ++k) {
        in.z_pbli[k] = z;
        in.th_pblk[k] = 273.15f + tmin + 1.5f + 2.0f * std::fmin(z, 300.0f) / 300.0f + 0.004f * z;
        z *= 1.28f;
    }
}

}  // namespace core_points
