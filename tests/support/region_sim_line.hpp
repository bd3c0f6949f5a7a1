// Test support: one hand-built line of region inputs on small 0.05-degree grids, every
// input present and plausible, ready for the pixel simulation.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "ornax90/ORNAX_region_mod.hpp"

inline Spatialinfodata region_test_grid(float west, int ncols, float missing, int nlayers = 30,
                                        int nhours = 24) {
    Spatialinfodata grid;
    grid.dlon = 0.05f;
    grid.dlat = 0.05f;
    grid.west_lon = west;
    grid.east_lon = west + grid.dlon * static_cast<float>(ncols);
    grid.south_lat = 35.0f;
    grid.nrows = 4;
    grid.north_lat = 35.2f;
    grid.ncols = ncols;
    grid.nlayers = nlayers;
    grid.nhours = nhours;
    grid.spare_value = missing;
    return grid;
}

// Sounding heights of the meteorological line, top level first (m).
inline const float region_test_heights[30] = {
    15000, 14000, 13000, 12000, 11000, 10000, 9500, 9000, 8500, 8000, 7500, 7000, 6500, 6000, 5500,
    5000,  4500,  4000,  3500,  3000,  2600,  2200, 1800, 1400, 1000, 700,  500,  300,  100,  80};

struct RegionLine {
    Spatialinfodata run, land, veg, snow, met, sat;
    Ornaxregiondatatype region;
    std::vector<Ornaxlandtype> table;
    float lat = 35.025f;

    // ncols run columns from -100 degrees; the satellite grid starts sat_shift columns
    // further east; the meteorological grid holds met_cols columns (ncols when 0).
    // nlayers sounding levels and nhours hourly values on the meteorological and
    // satellite grids.
    RegionLine(int ncols, std::initializer_list<const char*> outputs, int sat_shift = 0,
               int met_cols = 0, int nlayers = 30, int nhours = 24)
        : run(region_test_grid(-100.0f, ncols, -999.0f, nlayers, nhours)),
          land(region_test_grid(-100.0f, ncols, -9999.0f)),
          veg(region_test_grid(-100.0f, ncols, -9999.0f)),
          snow(region_test_grid(-100.0f, ncols, -9999.0f)),
          met(region_test_grid(-100.0f, met_cols > 0 ? met_cols : ncols, -9999.0f, nlayers,
                               nhours)),
          sat(region_test_grid(-100.0f + 0.05f * static_cast<float>(sat_shift), ncols - sat_shift,
                               -8888.0f, nlayers, nhours)),
          table(20) {
        for (const char* name : outputs) {
            Ornaxoutputrecordtype& entry = region.out_var_list[region.out_var_count++];
            entry.name = name;
            entry.code = get_var_index(name);
        }
        int status = -1;
        ornax_init_region_data(region, run, land, veg, snow, met, sat, status);
        EXPECT_EQ(status, 0);
        fill_table();
        fill_land();
        fill_meteorology();
        fill_satellite();
    }

    void simulate(const Ornaxpixelcore& core, int& status, int region_switch = 0) {
        ornax_simulate_region_with_core(region, run, land, veg, snow, met, sat, table, 20, 2019,
                                        200, region_switch, lat, core, status);
    }

    void fill_table() {
        for (int c = 1; c <= 20; ++c) {
            Ornaxlandtype& entry = table[static_cast<std::size_t>(c - 1)];
            entry.landcover = c;
            entry.rsoil = 0.5f;
            entry.hmin = 0.1f;
            entry.hmax = 1.0f + 0.1f * static_cast<float>(c);
            entry.fcmin = 0.05f;
            entry.water_flag = c == 1 ? 1 : 0;
            entry.modis_class = c + 100;
        }
    }

    void fill_land() {
        for (std::size_t i = 0; i < region.Landcover.size(); ++i) {
            region.Landcover[i] = 10.0f;
            region.aleafv[i] = 0.83f;
            region.aleafn[i] = 0.35f;
            region.aleafl[i] = 0.95f;
            region.adeadv[i] = 0.49f;
            region.adeadn[i] = 0.13f;
            region.adeadl[i] = 0.95f;
            region.xl[i] = 0.05f;
            region.rsoiln[i] = 0.3f;
            region.rsoilv[i] = 0.2f;
            region.rs_correct[i] = 1.0f;
        }
        for (float& v : region.snow_mask) v = 0.0f;
        for (float& v : region.xlai) v = 2.0f;
    }

    void fill_meteorology() {
        const int n = region.met_ncols;
        for (int c = 1; c <= n; ++c) {
            const std::size_t i = static_cast<std::size_t>(c - 1);
            region.taobs1[i] = 293.15f + 0.1f * static_cast<float>(c % 100);  // K
            region.taobs2[i] = 297.15f;
            region.spfh1[i] = 0.012f;  // kg/kg
            region.spfh2[i] = 0.013f;
            region.wind1[i] = 3.0f;  // m s-1
            region.wind2[i] = 4.0f;
            region.pres1[i] = 95000.0f;  // Pa
            region.pres2[i] = 95100.0f;
            region.lwdn1[i] = 340.0f;  // W m-2
            region.lwdn2[i] = 360.0f;
            for (int level = 1; level <= met.nlayers; ++level) {
                const std::size_t j = region_2d_index(c, level, n);
                // Levels past the table (longer test soundings) sit 1 km apart above it.
                const float z = level <= 30 ? region_test_heights[level - 1]
                                            : 15000.0f + 1000.0f * static_cast<float>(level - 30);
                region.z_pbli[j] = z;
                // Potential temperature rising with height (K).
                region.th_pblk[j] = 300.0f + 0.004f * z;
            }
            for (int h = 1; h <= met.nhours; ++h) {
                const std::size_t j = region_2d_index(c, h, n);
                region.taobs_day[j] = 290.15f + 0.3f * static_cast<float>(h);
                region.spfh_day[j] = 0.011f;
                region.wind_day[j] = 2.0f + 0.1f * static_cast<float>(h);
                region.pres_day[j] = 95000.0f + static_cast<float>(h);
                region.lwdn_day[j] = 330.0f + static_cast<float>(h);
            }
        }
    }

    void fill_satellite() {
        const int n = region.sdn_day_ncols;
        for (int c = 1; c <= n; ++c) {
            const std::size_t i = static_cast<std::size_t>(c - 1);
            region.theta[i] = 40.0f;   // degrees
            region.trad1[i] = 296.0f;  // K
            region.trad2[i] = 306.0f;
            region.tloc1[i] = 8.5f;  // h
            region.tloc2[i] = 10.5f;
            region.sdn1[i] = 350.0f;  // W m-2
            region.sdn2[i] = 650.0f;
            for (int h = 1; h <= sat.nhours; ++h) {
                region.sdn_day[region_2d_index(c, h, n)] =
                    (h >= 7 && h <= 19) ? 80.0f * static_cast<float>(h - 6) : 0.0f;
            }
        }
    }
};
