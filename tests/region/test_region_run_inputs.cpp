// Reading one line of region inputs: the input grid's line of a run latitude, the
// weighted step status, and the land, snow, vegetation and satellite readers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ornax90/ORNAX_region_io_mod.hpp"
#include "support/region_run.hpp"

namespace {

using namespace region_run_test;

Spatialinfodata small_grid(float spare) {
    Spatialinfodata g;
    g.west_lon = -99.0f;
    g.east_lon = -98.8f;
    g.dlon = 0.05f;
    g.south_lat = 35.0f;
    g.north_lat = 35.15f;
    g.dlat = 0.05f;
    g.ncols = 4;
    g.nrows = 3;
    g.spare_value = spare;
    return g;
}

// A raster of 4 x 3 values: line n holds 10 n + column.
void write_small_raster(const fs::path& path) {
    std::vector<float> v;
    for (int line = 1; line <= 3; ++line)
        for (int col = 1; col <= 4; ++col) v.push_back(10.0f * line + col);
    write_floats(path, v);
}

TEST(RegionInputs, LineOfALatitudeTruncatesTowardZero) {
    Spatialinfodata g = small_grid(-9999.0f);
    EXPECT_EQ(ornax_region_input_line(g, 35.025f), 1);
    EXPECT_EQ(ornax_region_input_line(g, 35.125f), 3);
    EXPECT_EQ(ornax_region_input_line(g, 34.99f), 1);   // less than one cell south: line 1
    EXPECT_EQ(ornax_region_input_line(g, 34.94f), 0);   // further south: outside the grid
    EXPECT_EQ(ornax_region_input_line(g, 35.175f), 4);  // north of the grid
}

TEST(RegionInputs, AnyNonZeroStepFailsTheLine) {
    long long sum = -1;
    const int none[5] = {0, 0, 0, 0, 0};
    EXPECT_FALSE(ornax_region_input_failed(none, sum));
    EXPECT_EQ(sum, 0);
    const int snow[5] = {0, 3, 0, 0, 0};
    EXPECT_TRUE(ornax_region_input_failed(snow, sum));
    EXPECT_EQ(sum, 30);
    const int two[5] = {3, 0, 0, 3, 0};
    EXPECT_TRUE(ornax_region_input_failed(two, sum));
    EXPECT_EQ(sum, 3003);
    // A negative land status cancels the snow failure in the sum; the line still fails.
    const int cancel[5] = {-10, 1, 0, 0, 0};
    EXPECT_TRUE(ornax_region_input_failed(cancel, sum));
    EXPECT_EQ(sum, 0);
}

class RegionInputReaders : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* n : {"lc", "an",   "av",  "al",    "dn", "dv", "dl", "xl", "rn", "rv",
                              "rs", "snow", "lai", "theta", "t1", "t2", "l1", "l2", "s1", "s2"})
            write_small_raster(dir.path() / (std::string(n) + ".bin"));
        auto f = [&](const char* n) { return (dir.path() / (std::string(n) + ".bin")).string(); };
        r.landcover_file = f("lc");
        r.aleafn_file = f("an");
        r.aleafv_file = f("av");
        r.aleafl_file = f("al");
        r.adeadn_file = f("dn");
        r.adeadv_file = f("dv");
        r.adeadl_file = f("dl");
        r.xl_file = f("xl");
        r.rsoiln_file = f("rn");
        r.rsoilv_file = f("rv");
        r.rs_correction_file = f("rs");
        r.snow_mask_file = f("snow");
        r.xlai_file = f("lai");
        r.theta_file = f("theta");
        r.trad1_file = f("t1");
        r.trad2_file = f("t2");
        r.tloc1_file = f("l1");
        r.tloc2_file = f("l2");
        r.sdn1_file = f("s1");
        r.sdn2_file = f("s2");
        for (std::vector<float>* v :
             {&r.Landcover, &r.aleafn, &r.aleafv, &r.aleafl, &r.adeadn,     &r.adeadv,
              &r.adeadl,    &r.xl,     &r.rsoiln, &r.rsoilv, &r.rs_correct, &r.snow_mask,
              &r.xlai,      &r.clump,  &r.fg,     &r.theta,  &r.trad1,      &r.trad2,
              &r.tloc1,     &r.tloc2,  &r.sdn1,   &r.sdn2})
            v->assign(4, 42.0f);
    }
    ScratchDir dir{"inputs"};
    Ornaxregiondatatype r;
    Spatialinfodata grid = small_grid(-8888.0f);
    std::vector<Ornaxlandtype> table;
};

TEST_F(RegionInputReaders, LandParametersReadTheLineOfTheLatitude) {
    int status = -1;
    ornax_read_region_land_parms(grid, r, table, 0, 35.075f, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(r.Landcover, (std::vector<float>{21, 22, 23, 24}));
    EXPECT_EQ(r.rs_correct, (std::vector<float>{21, 22, 23, 24}));
    EXPECT_EQ(r.xl[3], 24.0f);
}

TEST_F(RegionInputReaders, MissingCorrectionFactorFailsEvenWithoutTheCorrection) {
    fs::remove(dir.path() / "rs.bin");
    LogCapture log(dir.path() / "log.txt");
    int status = 0;
    ornax_read_region_land_parms(grid, r, table, 0, 35.075f, status);
    EXPECT_NE(status, 0);
    EXPECT_TRUE(log.contains("Error loading soil resistance correction!"));
    EXPECT_EQ(r.rsoilv[0], 21.0f);  // the reads before it went through
}

TEST_F(RegionInputReaders, LatitudeSouthOfTheGridFailsTheStep) {
    LogCapture log(dir.path() / "log.txt");
    int status = 0;
    ornax_read_region_snowmask(grid, r, 34.9f, status);
    EXPECT_NE(status, 0);
    EXPECT_EQ(r.snow_mask, (std::vector<float>(4, 0.0f)));  // zeros stay where nothing was read
}

TEST_F(RegionInputReaders, VegetationStartsFromTheMissingValue) {
    Spatialinfodata veg = small_grid(-9999.0f);
    int status = 0;
    ornax_read_region_vegetation_data(veg, r, 35.125f, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(r.xlai, (std::vector<float>{31, 32, 33, 34}));
    EXPECT_EQ(r.clump, (std::vector<float>(4, 1.0f)));
    EXPECT_EQ(r.fg, (std::vector<float>(4, 1.0f)));
    LogCapture log(dir.path() / "log.txt");
    fs::remove(dir.path() / "lai.bin");
    ornax_read_region_vegetation_data(veg, r, 35.125f, status);
    EXPECT_NE(status, 0);
    EXPECT_EQ(r.xlai, (std::vector<float>(4, -9999.0f)));
}

TEST_F(RegionInputReaders, SatelliteReadsStopAtTheFirstFailure) {
    fs::remove(dir.path() / "t1.bin");
    LogCapture log(dir.path() / "log.txt");
    int status = 0;
    ornax_read_region_goes_data(grid, r, 35.025f, status);
    EXPECT_EQ(status, 3);
    EXPECT_TRUE(log.contains("Reading TRAD1 error"));
    EXPECT_EQ(r.theta, (std::vector<float>{11, 12, 13, 14}));
    for (const std::vector<float>* later : {&r.trad2, &r.tloc1, &r.tloc2, &r.sdn1, &r.sdn2})
        EXPECT_EQ(*later, (std::vector<float>(4, 42.0f)));
}

}  // namespace
