// Set-up and release of the model grid's line arrays, and the copy of a line's meteorology
// into the region data record.
#include <gtest/gtest.h>

#include <string>

#include "ornax90/ORNAX_data_mod.hpp"
#include "ornax90/ORNAX_region_io_mod.hpp"

namespace {

Ornaxmeteoornax sized_grid(int ncols, int nrows, int nlayers, int nhours) {
    Ornaxmeteoornax grid;
    grid.ncols = ncols;
    grid.nrows = nrows;
    grid.nlayers = nlayers;
    grid.nhours = nhours;
    grid.undef = -9999.0f;
    return grid;
}

}  // namespace

TEST(ModelGrid, InitAllocatesLineShapesAndFinalizeReleases) {
    Ornaxcommonblock common;
    Ornaxmeteoornax grid = sized_grid(5, 3, 4, 24);
    int status = 3;
    ornax_ornax_grid_init(grid, common, status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(grid.lon.size(), 5u);
    EXPECT_EQ(grid.taobs2.size(), 5u);
    EXPECT_EQ(grid.th_pblk1.size(), 20u);
    EXPECT_EQ(grid.temp_surface_series.size(), 120u);
    EXPECT_EQ(grid.pressure_profile.size(), 480u);
    EXPECT_EQ(met_index2(5, 2, 3), 11u);
    EXPECT_EQ(met_index3(5, 4, 2, 3, 2), 31u);
    ornax_ornax_grid_finalize(grid, status);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(grid.land.empty());
    EXPECT_TRUE(grid.height_profile.empty());
    EXPECT_TRUE(grid.th_pblk2.empty());
    // a released grid can be set up again for the next line
    ornax_ornax_grid_init(grid, common, status);
    EXPECT_EQ(status, 0);
}

TEST(ModelGrid, SizeNotSetIsRejectedWithBothNumbers) {
    Ornaxcommonblock common;
    for (int ncols : {1, 4}) {
        Ornaxmeteoornax grid = sized_grid(ncols, ncols == 1 ? 4 : 1, 2, 24);
        int status = 0;
        testing::internal::CaptureStdout();
        ornax_ornax_grid_init(grid, common, status);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(status, 3);
        EXPECT_NE(out.find("ORNAX spatial domain size is not set"), std::string::npos);
        EXPECT_NE(out.find("           1"), std::string::npos);
        EXPECT_NE(out.find("           4"), std::string::npos);
        EXPECT_TRUE(grid.land.empty());
        EXPECT_TRUE(grid.taobs1.empty());
    }
}

TEST(ModelGrid, SecondInitWithoutFinalizeFailsAtLand) {
    Ornaxcommonblock common;
    Ornaxmeteoornax grid = sized_grid(3, 3, 2, 24);
    int status = 0;
    ornax_ornax_grid_init(grid, common, status);
    ASSERT_EQ(status, 0);
    testing::internal::CaptureStdout();
    ornax_ornax_grid_init(grid, common, status);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), " Cannot allocate ORNAX grid land matrix\n");
    EXPECT_EQ(status, 3);
}

TEST(ModelGrid, FinalizeOfFreshGridIsSilentAndZeroExtentsAreAllowed) {
    Ornaxmeteoornax fresh;
    int status = 3;
    testing::internal::CaptureStdout();
    ornax_ornax_grid_finalize(fresh, status);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(status, 0);

    Ornaxcommonblock common;
    Ornaxmeteoornax grid = sized_grid(3, 3, 0, 0);
    ornax_ornax_grid_init(grid, common, status);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(grid.pot_profile.empty());
    EXPECT_EQ(grid.lat.size(), 3u);
}

TEST(ModelGrid, CopyGivesRegionTheModelShapesAndSoundingHeights) {
    Ornaxcommonblock common;
    Ornaxmeteoornax grid = sized_grid(3, 3, 30, 24);
    int status = 0;
    ornax_ornax_grid_init(grid, common, status);
    for (std::size_t n = 0; n < grid.temp_surface_series.size(); ++n) {
        grid.temp_surface_series[n] = 280.0f + static_cast<float>(n);
        grid.swdn_surface_series[n] = 10.0f * static_cast<float>(n);
    }
    grid.taobs1 = {1.0f, 2.0f, 3.0f};
    grid.lwdn2 = {4.0f, 5.0f, 6.0f};
    grid.th_pblk1[met_index2(3, 2, 30)] = 301.0f;
    grid.th_pblk2[met_index2(3, 2, 30)] = 999.0f;

    Ornaxregiondatatype region;
    region.taobs1.assign(7, 0.0f);  // wrong extent before the copy
    region.taobs_day.assign(7 * 24, 0.0f);
    region.z_pbli.assign(3 * 41, 0.0f);
    ornax_set_ornax_met_byline(region, grid, status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(region.taobs1, grid.taobs1);
    EXPECT_EQ(region.lwdn2, grid.lwdn2);
    EXPECT_EQ(region.taobs_day, grid.temp_surface_series);
    EXPECT_EQ(region.sdn_day, grid.swdn_surface_series);
    EXPECT_EQ(region.th_pblk.size(), 90u);
    EXPECT_EQ(region.th_pblk[region_2d_index(2, 30, 3)], 301.0f);  // layer values of time 1
    EXPECT_EQ(region.z_pbli.size(), 90u);
    EXPECT_EQ(region.met_ncols, 3);
    EXPECT_EQ(region.met_nlayers, 30);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(region.z_pbli[region_2d_index(i, 1, 3)], 15000.0f);
        EXPECT_EQ(region.z_pbli[region_2d_index(i, 21, 3)], 2600.0f);
        EXPECT_EQ(region.z_pbli[region_2d_index(i, 30, 3)], 80.0f);
    }
    // a grid with more layers than the height table is refused
    grid.nlayers = 31;
    ornax_set_ornax_met_byline(region, grid, status);
    EXPECT_EQ(status, 3);
}
