// Line arrays of the region data record: allocation, release and their extents.
#include <gtest/gtest.h>

#include "ornax90/ORNAX_region_mod.hpp"
#include "support/region_sim.hpp"

namespace {

Spatialinfodata make_grid(int ncols, int nlayers, int nhours, float missing) {
    Spatialinfodata grid;
    grid.west_lon = -100.0f;
    grid.dlon = 0.05f;
    grid.east_lon = grid.west_lon + grid.dlon * static_cast<float>(ncols);
    grid.south_lat = 35.0f;
    grid.dlat = 0.05f;
    grid.nrows = 10;
    grid.north_lat = grid.south_lat + grid.dlat * 10.0f;
    grid.ncols = ncols;
    grid.nlayers = nlayers;
    grid.nhours = nhours;
    grid.spare_value = missing;
    return grid;
}

struct Grids {
    Spatialinfodata run = make_grid(6, 30, 24, -999.0f);
    Spatialinfodata land = make_grid(7, 30, 24, -9999.0f);
    Spatialinfodata veg = make_grid(8, 30, 24, -9999.0f);
    Spatialinfodata snow = make_grid(9, 30, 24, -9999.0f);
    Spatialinfodata met = make_grid(5, 30, 24, -9999.0f);
    Spatialinfodata sat = make_grid(4, 30, 12, -8888.0f);
};

void init(Ornaxregiondatatype& region, const Grids& g, int& status) {
    ornax_init_region_data(region, g.run, g.land, g.veg, g.snow, g.met, g.sat, status);
}

}  // namespace

TEST(RegionSimData, ExtentsFollowEachGrid) {
    RegionLogCapture log;
    Grids g;
    Ornaxregiondatatype region;
    region.out_var_count = 3;
    int status = -1;
    init(region, g, status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(region.Landcover.size(), 7u);
    EXPECT_EQ(region.rs_correct.size(), 7u);
    EXPECT_EQ(region.xlai.size(), 8u);
    EXPECT_EQ(region.snow_mask.size(), 9u);
    EXPECT_EQ(region.taobs2.size(), 5u);
    EXPECT_EQ(region.th_pblk.size(), 5u * 30u);
    EXPECT_EQ(region.lwdn_day.size(), 5u * 24u);
    // Hourly insolation takes the satellite grid's hours, not the meteorological ones.
    EXPECT_EQ(region.sdn_day.size(), 4u * 12u);
    EXPECT_EQ(region.tloc2.size(), 4u);
    EXPECT_EQ(region.xlon.size(), 6u);
    EXPECT_EQ(region.out_var_matrix.size(), 6u * 3u);
    EXPECT_EQ(region.met_nlayers, 30);
    EXPECT_EQ(region.sat_nhours, 12);
    // Satellite arrays start at the satellite grid's missing value; quality flags at 0.
    for (float v : region.trad1) EXPECT_EQ(v, -8888.0f);
    for (float v : region.sdn_day) EXPECT_EQ(v, -8888.0f);
    ASSERT_EQ(region.qc_flag.size(), 6u);
    for (float v : region.qc_flag) EXPECT_EQ(v, 0.0f);
    EXPECT_EQ(log.text(), "");
}

TEST(RegionSimData, SecondAllocationWithoutReleaseFailsOnLandcover) {
    RegionLogCapture log;
    Grids g;
    Ornaxregiondatatype region;
    int status = -1;
    init(region, g, status);
    ASSERT_EQ(status, 0);
    region.Landcover[0] = 5.0f;
    init(region, g, status);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(log.count("Cannot allocate"), 1);
    EXPECT_EQ(log.count("for regional Landcover matrix."), 1);
    // The arrays of the first allocation are untouched.
    EXPECT_EQ(region.Landcover[0], 5.0f);

    ornax_finalize_region_data(region, status);
    EXPECT_EQ(status, 0);
    init(region, g, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(region.Landcover[0], 0.0f);
}

TEST(RegionSimData, ReleaseOfEmptyRecordIsQuietAndReleaseEmptiesEverything) {
    RegionLogCapture log;
    Ornaxregiondatatype region;
    int status = -1;
    ornax_finalize_region_data(region, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(log.text(), "");

    Grids g;
    region.out_var_count = 2;
    init(region, g, status);
    ASSERT_EQ(status, 0);
    ornax_finalize_region_data(region, status);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(region.Landcover.empty());
    EXPECT_TRUE(region.sdn_day.empty());
    EXPECT_TRUE(region.z_pbli.empty());
    EXPECT_TRUE(region.out_var_matrix.empty());
    EXPECT_TRUE(region.qc_flag.empty());
    EXPECT_FALSE(region.line_allocated);
    EXPECT_EQ(region.out_var_count, 2);  // the output list outlives the line
    EXPECT_EQ(log.text(), "");
}
