// A pixel run through the line simulation gets exactly the outputs of the model core run
// on the land and input records the pixel's inputs stand for.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "ornax90/ORNAX_core_mod.hpp"
#include "ornax90/ORNAX_io_mod.hpp"
#include "ornax90/ORNAX_region_mod.hpp"
#include "support/region_sim_line.hpp"
#include "support/region_sim.hpp"

namespace {

constexpr float kelvin = 273.15f;

// Every output variable, in code order.
void list_every_variable(Ornaxregiondatatype& region) {
    for (int code = 1; code <= ornax_max_out_vars; ++code) {
        for (const char* name :
             {"TC1",     "TS1",     "TA1",     "XLEC1",    "XLES1", "XLE1",  "HC1",
              "HS1",     "H1",      "G1",      "ZEN1",     "RNET1", "TC2",   "TS2",
              "XLEC2",   "XLES2",   "XLE2",    "HC2",      "HS2",   "H2",    "G2",
              "ZEN2",    "RNET2",   "TA2",     "Z2",       "RA2",   "RS2",   "RX2",
              "SWUP",    "LWUP",    "SNETDAY", "RSOILDAY", "GDAY",  "SDDAY", "SWUPDAY",
              "LWUPDAY", "LWDNDAY", "EREFDAY", "HDAY",     "EDAY",  "ESDAY", "ECDAY"}) {
            if (get_var_index(name) == code) {
                region.out_var_list[static_cast<std::size_t>(code - 1)] = {name, code};
            }
        }
    }
    region.out_var_count = ornax_max_out_vars;
}

// Line arrays of column c holding the site's inputs in the units of the gridded inputs.
void put_site_in_column(const Ornaxlandtype& land, const Ornaxinputvartype& site, int c,
                        Ornaxregiondatatype& r) {
    const std::size_t i = static_cast<std::size_t>(c - 1);
    r.Landcover[i] = static_cast<float>(land.landcover);
    r.aleafv[i] = land.aleafv, r.aleafn[i] = land.aleafn, r.aleafl[i] = land.aleafl;
    r.adeadv[i] = land.adeadv, r.adeadn[i] = land.adeadn, r.adeadl[i] = land.adeadl;
    r.xl[i] = land.xl;
    r.rsoiln[i] = 0.36f, r.rsoilv[i] = 0.22f, r.rs_correct[i] = 1.4f;
    r.snow_mask[i] = 0.0f;
    r.xlai[i] = site.xlai;
    r.theta[i] = site.theta;
    r.trad1[i] = site.trad1 + kelvin, r.trad2[i] = site.trad2 + kelvin;
    r.tloc1[i] = site.tloc1, r.tloc2[i] = site.tloc2;
    r.sdn1[i] = site.sdn1, r.sdn2[i] = site.sdn2;
    r.taobs1[i] = site.taobs1 + kelvin, r.taobs2[i] = site.taobs2 + kelvin;
    r.spfh1[i] = site.spfh1 / 100.0f, r.spfh2[i] = site.spfh2 / 100.0f;
    r.wind1[i] = site.wind1, r.wind2[i] = site.wind2;
    r.pres1[i] = site.pres1 * 100.0f, r.pres2[i] = site.pres2 * 100.0f;
    r.lwdn1[i] = site.lwdn1, r.lwdn2[i] = site.lwdn2;
    const int levels = site.npbl;
    for (int k = 1; k <= levels; ++k) {
        // The line holds the sounding from the top down.
        const std::size_t j = region_2d_index(c, k, r.met_ncols);
        r.z_pbli[j] = site.z_pbli[static_cast<std::size_t>(levels - k)];
        r.th_pblk[j] = site.th_pblk[static_cast<std::size_t>(levels - k)];
    }
    for (int h = 1; h <= 24; ++h) {
        const std::size_t s = static_cast<std::size_t>(h - 1);
        const std::size_t j = region_2d_index(c, h, r.met_ncols);
        r.taobs_day[j] = site.taobs_day[s] + kelvin;
        r.spfh_day[j] = site.spfh_day[s] / 100.0f;
        r.wind_day[j] = site.wind_day[s];
        r.pres_day[j] = site.pres_day[s] * 100.0f;
        r.lwdn_day[j] = site.lwdn_day[s];
        r.sdn_day[region_2d_index(c, h, r.sdn_day_ncols)] = site.sdn_day[s];
    }
}

// The input record the pixel stands for, built from the documented conversions.
Ornaxinputvartype expected_input(const Ornaxinputvartype& site, const Ornaxlandtype& land,
                                 float lat, float lon) {
    Ornaxinputvartype in = site;
    in.lat = lat, in.lon = lon;
    in.xndvi = 1.0f, in.clump = 1.0f, in.fg = 1.0f, in.zu = 50.0f, in.zblend = 50.0f;
    in.emis_soil = 0.92f;
    in.rsoiln = 0.36f, in.rsoilv = 0.22f, in.rs_correct = 1.4f;
    in.xl = land.xl;
    in.fc = std::clamp(1.0f - std::exp(-0.5f * site.xlai), 0.0f, 1.0f);
    in.hc = (land.hmax - land.hmin) * in.fc + land.hmin;
    in.trad1 = (site.trad1 + kelvin) - kelvin, in.trad2 = (site.trad2 + kelvin) - kelvin;
    in.taobs1 = (site.taobs1 + kelvin) - kelvin, in.taobs2 = (site.taobs2 + kelvin) - kelvin;
    in.spfh1 = 100.0f * (site.spfh1 / 100.0f), in.spfh2 = 100.0f * (site.spfh2 / 100.0f);
    in.pres1 = 0.01f * (site.pres1 * 100.0f), in.pres2 = 0.01f * (site.pres2 * 100.0f);
    for (std::size_t s = 0; s < 24; ++s) {
        in.tloc_day[s] = static_cast<float>(s);
        in.taobs_day[s] = (site.taobs_day[s] + kelvin) - kelvin;
        in.spfh_day[s] = 100.0f * (site.spfh_day[s] / 100.0f);
        in.pres_day[s] = 0.01f * (site.pres_day[s] * 100.0f);
    }
    return in;
}

}  // namespace

TEST(RegionSimCore, PixelGetsExactlyTheCoreOutputsOfItsRecords) {
    RegionLogCapture log;
    Ornaxlandtype land;
    Ornaxinputvartype site;
    int status = -1;
    ornax_read_site_inputs(ORNAX_REFERENCE_DIR "/site/savanna.dat", land, site, status);
    ASSERT_EQ(status, 0);
    ASSERT_GT(site.npbl, 0);

    // Three columns on every grid; the site's inputs at column 2, whose centre is the site.
    const float dlon = 0.05f;
    const float west = site.lon - 1.5f * dlon;
    Spatialinfodata grid = region_test_grid(west, 3, -9999.0f, site.npbl, 24);
    grid.south_lat = site.lat - 0.5f * grid.dlat;
    Spatialinfodata run = grid, sat = grid;
    run.spare_value = -999.0f;
    sat.spare_value = -8888.0f;
    Ornaxregiondatatype region;
    list_every_variable(region);
    ornax_init_region_data(region, run, grid, grid, grid, grid, sat, status);
    ASSERT_EQ(status, 0);
    std::vector<Ornaxlandtype> table(20);
    Ornaxlandtype& entry = table[static_cast<std::size_t>(land.landcover - 1)];
    entry = land;
    entry.aleafv = entry.aleafn = entry.aleafl = 0.0f;  // leaf values come from the line
    entry.xl = 0.0f;
    put_site_in_column(land, site, 2, region);

    const float lat = site.lat;
    ornax_simulate_region(region, run, grid, grid, grid, grid, sat, table, 20, site.year, site.doy,
                          1, lat, status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(region.qc_flag[1], 0.0f) << log.text();
    EXPECT_EQ(region.qc_flag[0], 127.0f);  // columns 1 and 3 hold no land class
    EXPECT_EQ(region.qc_flag[2], 127.0f);

    Ornaxlandtype expected_land = land;
    expected_land.lc_name.clear();
    const Ornaxinputvartype input = expected_input(site, land, lat, region.xlon[1]);
    // a region line runs the vector core
    Ornaxcorepoint point{};
    point.land = &expected_land;
    point.input = &input;
    ornax_lanes_run(std::span<Ornaxcorepoint>(&point, 1), 2, 1);
    ASSERT_EQ(point.status, 0);
    const Ornaxoutputvartype& output = point.output;
    for (int code = 1; code <= ornax_max_out_vars; ++code) {
        float value = 0.0f;
        ornax_output_value_by_code(output, code, value);
        EXPECT_EQ(region.out_var_matrix[region_2d_index(2, code, 3)], value)
            << region.out_var_list[static_cast<std::size_t>(code - 1)].name;
    }
}
