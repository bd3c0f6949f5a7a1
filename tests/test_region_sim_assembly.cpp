// Assembly of a pixel's land and input records from the line arrays.
#include <gtest/gtest.h>

#include <cmath>

#include "ORNAX_region_mod.hpp"
#include "test_region_sim_line_support.hpp"

TEST(RegionSimAssembly, LandClassIsTruncatedAndMustBeALandClassOfTheTable) {
    RegionLine line(4, {});
    Ornaxregiondatatype& r = line.region;
    auto class_status = [&](float value, int count = 20) {
        r.Landcover[1] = value;
        Ornaxlandtype land;
        int status = -1;
        ornax_set_land_parms_by_col_row(line.land, r, 2, 1, line.table, count, land, status);
        return status;
    };
    EXPECT_EQ(class_status(2.0f), 0);
    EXPECT_EQ(class_status(20.9f), 0);
    EXPECT_EQ(class_status(1.99f), 3);
    EXPECT_EQ(class_status(1.0f), 3);
    EXPECT_EQ(class_status(21.0f), 3);
    EXPECT_EQ(class_status(-9999.0f), 3);
    EXPECT_EQ(class_status(std::nanf("")), 3);
    EXPECT_EQ(class_status(12.0f, 11), 3);  // the table holds 11 classes only
}

TEST(RegionSimAssembly, LandRecordTakesLeavesFromTheLineAndTheRestFromTheTable) {
    RegionLine line(4, {});
    Ornaxregiondatatype& r = line.region;
    r.Landcover[2] = 7.6f;
    r.aleafn[2] = 0.41f;
    r.adeadl[2] = 0.77f;
    r.xl[2] = 0.08f;
    Ornaxlandtype land;
    int status = -1;
    ornax_set_land_parms_by_col_row(line.land, r, 3, 1, line.table, 20, land, status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(land.landcover, 7);
    EXPECT_EQ(land.aleafn, 0.41f);
    EXPECT_EQ(land.aleafv, 0.83f);
    EXPECT_EQ(land.adeadl, 0.77f);
    EXPECT_EQ(land.xl, 0.08f);
    EXPECT_FLOAT_EQ(land.hmax, 1.7f);
    EXPECT_EQ(land.hmin, 0.1f);
    EXPECT_EQ(land.modis_class, 107);
    EXPECT_EQ(land.water_flag, 0);
}

TEST(RegionSimAssembly, ColumnsAndRowsOutsideTheGridOrTheLineFail) {
    RegionLine line(4, {});
    Ornaxregiondatatype& r = line.region;
    Ornaxlandtype land;
    Ornaxinputvartype input;
    int status = -1;
    for (auto [col, row] : {std::pair{0, 1}, std::pair{5, 1}, std::pair{1, 0}, std::pair{1, 5}}) {
        ornax_set_land_parms_by_col_row(line.land, r, col, row, line.table, 20, land, status);
        EXPECT_EQ(status, 3);
        ornax_set_vegetation_by_col_row(line.veg, r, col, row, land, input, status);
        EXPECT_EQ(status, 3);
        ornax_set_goes_gsip16_by_col_row(line.sat, r, col, row, input, status);
        EXPECT_EQ(status, 3);
        ornax_set_meteo_by_col_row(line.met, r, col, row, input, status);
        EXPECT_EQ(status, 3);
    }
    // A grid wider than the line held: the column is inside the grid, not the line.
    Spatialinfodata wide = line.sat;
    wide.ncols = 6;
    ornax_set_goes_gsip16_by_col_row(wide, r, 6, 1, input, status);
    EXPECT_EQ(status, 3);
    Spatialinfodata wide_land = line.land;
    wide_land.ncols = 6;
    ornax_set_land_parms_by_col_row(wide_land, r, 6, 1, line.table, 20, land, status);
    EXPECT_EQ(status, 3);
}

TEST(RegionSimAssembly, CoverFractionAndCanopyHeight) {
    RegionLine line(3, {});
    Ornaxregiondatatype& r = line.region;
    Ornaxlandtype land;
    land.hmin = 0.5f;
    land.hmax = 4.5f;
    land.xl = 0.07f;
    land.fcmin = 0.3f;  // not applied in region mode
    r.xlai[0] = 0.0f;
    r.xlai[1] = 2.0f;
    r.xlai[2] = -9999.0f;
    Ornaxinputvartype input;
    int status = -1;
    ornax_set_vegetation_by_col_row(line.veg, r, 1, 1, land, input, status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(input.fc, 0.0f);
    EXPECT_EQ(input.hc, 0.5f);
    EXPECT_EQ(input.xl, 0.07f);
    EXPECT_EQ(input.xndvi, 1.0f);
    ornax_set_vegetation_by_col_row(line.veg, r, 2, 1, land, input, status);
    EXPECT_NEAR(input.fc, 1.0f - std::exp(-1.0f), 1e-6f);
    EXPECT_NEAR(input.hc, 4.0f * (1.0f - std::exp(-1.0f)) + 0.5f, 1e-5f);
    ornax_set_vegetation_by_col_row(line.veg, r, 3, 1, land, input, status);
    EXPECT_EQ(input.fc, 0.0f);  // limited, never below 0 or not a number
}

TEST(RegionSimAssembly, SatelliteObservationsAndMissingValues) {
    RegionLine line(3, {});
    Ornaxregiondatatype& r = line.region;
    Ornaxinputvartype input;
    int status = -1;
    ornax_set_goes_gsip16_by_col_row(line.sat, r, 1, 1, input, status);
    ASSERT_EQ(status, 0);
    EXPECT_FLOAT_EQ(input.trad1, 296.0f - 273.15f);
    EXPECT_FLOAT_EQ(input.trad2, 306.0f - 273.15f);
    EXPECT_EQ(input.tloc1, 8.5f);
    EXPECT_EQ(input.sdn2, 650.0f);
    EXPECT_EQ(input.sdn_day[11], 80.0f * 6.0f);

    // A missing surface temperature leaves temperatures and times as they were.
    r.trad2[1] = line.sat.spare_value;
    r.theta[1] = 12.0f;
    r.sdn1[1] = 111.0f;
    Ornaxinputvartype second;
    ornax_set_goes_gsip16_by_col_row(line.sat, r, 2, 1, second, status);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(second.trad1, 0.0f);
    EXPECT_EQ(second.tloc1, 0.0f);
    EXPECT_EQ(second.theta, 12.0f);
    EXPECT_EQ(second.sdn1, 111.0f);

    // A negative hourly insolation becomes the missing value, the other hours are kept.
    r.sdn_day[region_2d_index(3, 5, r.sat_ncols)] = -0.01f;
    Ornaxinputvartype third;
    ornax_set_goes_gsip16_by_col_row(line.sat, r, 3, 1, third, status);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(third.sdn_day[4], -8888.0f);
    EXPECT_EQ(third.sdn_day[7], 80.0f * 2.0f);
    EXPECT_FLOAT_EQ(third.trad1, 296.0f - 273.15f);
}

TEST(RegionSimAssembly, MeteorologyIsConvertedAndTheSoundingTurned) {
    RegionLine line(3, {});
    Ornaxregiondatatype& r = line.region;
    Ornaxinputvartype input;
    int status = -1;
    ornax_set_meteo_by_col_row(line.met, r, 2, 1, input, status);
    ASSERT_EQ(status, 0);
    EXPECT_NEAR(input.taobs1, 20.2f, 1e-4f);  // 293.35 K
    EXPECT_FLOAT_EQ(input.taobs2, 24.0f);
    EXPECT_FLOAT_EQ(input.spfh1, 1.2f);    // humidity x 100
    EXPECT_FLOAT_EQ(input.pres1, 950.0f);  // Pa -> mb
    EXPECT_FLOAT_EQ(input.pres2, 951.0f);
    EXPECT_EQ(input.wind2, 4.0f);
    EXPECT_EQ(input.lwdn1, 340.0f);
    // Lowest level first after the turn.
    EXPECT_EQ(input.z_pbli[0], 80.0f);
    EXPECT_EQ(input.z_pbli[1], 100.0f);
    EXPECT_EQ(input.z_pbli[29], 15000.0f);
    EXPECT_FLOAT_EQ(input.th_pblk[0], 300.0f + 0.004f * 80.0f);
    EXPECT_FLOAT_EQ(input.th_pblk[29], 300.0f + 0.004f * 15000.0f);
    EXPECT_NEAR(input.taobs_day[0], 17.3f, 1e-4f);
    EXPECT_FLOAT_EQ(input.spfh_day[23], 1.1f);
    EXPECT_FLOAT_EQ(input.pres_day[9], 950.1f);
    EXPECT_FLOAT_EQ(input.wind_day[9], 3.0f);
    EXPECT_EQ(input.lwdn_day[23], 354.0f);

    r.taobs1[0] = line.met.spare_value;
    Ornaxinputvartype missing;
    ornax_set_meteo_by_col_row(line.met, r, 1, 1, missing, status);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(missing.taobs2, 0.0f);
}

TEST(RegionSimAssembly, SoundingsAndDaysLongerThanTheInputRecordFail) {
    RegionLine line(2, {}, 0, 0, 42, 24);
    Ornaxinputvartype input;
    int status = -1;
    ornax_set_meteo_by_col_row(line.met, line.region, 1, 1, input, status);
    EXPECT_EQ(status, 3);
    RegionLine hours(2, {}, 0, 0, 30, 25);
    ornax_set_meteo_by_col_row(hours.met, hours.region, 1, 1, input, status);
    EXPECT_EQ(status, 3);
    ornax_set_goes_gsip16_by_col_row(hours.sat, hours.region, 1, 1, input, status);
    EXPECT_EQ(status, 3);
}
