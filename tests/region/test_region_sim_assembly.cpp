// Assembly of a pixel's land and input records from the line arrays.
#include <gtest/gtest.h>

#include <cmath>

#include "ornax90/ORNAX_region_io_mod.hpp"
#include "ornax90/ORNAX_region_mod.hpp"
#include "support/region_sim_line.hpp"

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

TEST(RegionSimAssembly, MissingSatelliteValues) {
    RegionLine line(3, {});
    Ornaxregiondatatype& r = line.region;
    int status = -1;
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
    r.sdn_day[region_2d_index(3, 5, r.sdn_day_ncols)] = -0.01f;
    Ornaxinputvartype third;
    ornax_set_goes_gsip16_by_col_row(line.sat, r, 3, 1, third, status);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(third.sdn_day[4], -8888.0f);
    EXPECT_EQ(third.sdn_day[7], 80.0f * 2.0f);
    EXPECT_FLOAT_EQ(third.trad1, 296.0f - 273.15f);
}

TEST(RegionSimAssembly, HourlyInsolationIsReadAsTheArrayIsHeld) {
    // The meteorology copied in an hourly insolation of 2 columns x 12 hours, while the
    // satellite grid has 3 columns and 24 hours.
    RegionLine line(3, {});
    Ornaxregiondatatype& r = line.region;
    Ornaxmeteoornax model;
    model.ncols = 2;
    model.nlayers = 30;
    model.nhours = 12;
    model.swdn_surface_series.assign(2 * 12, 0.0f);
    model.swdn_surface_series[region_2d_index(2, 10, 2)] = 555.0f;
    int status = -1;
    ornax_set_ornax_met_byline(r, model, status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(r.sdn_day_ncols, 2);
    EXPECT_EQ(r.sdn_day_nhours, 12);
    line.sat.nhours = 12;
    Ornaxinputvartype input;
    ornax_set_goes_gsip16_by_col_row(line.sat, r, 2, 1, input, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(input.sdn_day[9], 555.0f);
    // Column 3 is not held: its hours are missing.
    ornax_set_goes_gsip16_by_col_row(line.sat, r, 3, 1, input, status);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(input.sdn_day[0], -8888.0f);
    // Hours past those held are missing.
    line.sat.nhours = 24;
    ornax_set_goes_gsip16_by_col_row(line.sat, r, 1, 1, input, status);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(input.sdn_day[11], 0.0f);
    EXPECT_EQ(input.sdn_day[12], -8888.0f);
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
