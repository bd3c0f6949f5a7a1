// Pixel simulation of one line: quality flags, the outlier screen, the location of each
// input on its own grid, and the output matrix.
#include <gtest/gtest.h>

#include <cmath>

#include "ornax90/ORNAX_region_mod.hpp"
#include "support/region_sim_line.hpp"
#include "support/region_sim.hpp"

namespace {

// A stand-in core whose result is chosen by the pixel's view angle, and whose outputs
// echo a few inputs so that the assembly can be checked through the output matrix.
void scripted_core(const Ornaxlandtype& land, const Ornaxinputvartype& input,
                   Ornaxoutputvartype& output, int debug_flag, int, int& status) {
    status = 0;
    output.XLE2 = 400.0f;
    output.H2 = 80.0f;
    output.TA1 = input.taobs1;  // deg C
    output.TS1 = input.trad1;   // deg C
    output.TC1 = static_cast<float>(land.landcover);
    output.ZEN1 = static_cast<float>(debug_flag);
    if (input.theta == 1.0f) output.XLE2 = 1000.0f;
    if (input.theta == 2.0f) output.XLE2 = 999.9f;
    if (input.theta == 3.0f) output.H2 = -100.0f;
    if (input.theta == 4.0f) output.H2 = -99.9f;
    if (input.theta == 5.0f) output.XLE2 = -0.5f;
    if (input.theta == 6.0f) status = 3;
    if (input.theta == 7.0f) output.XLE2 = std::nanf("");
}

float qc_at(const RegionLine& line, int col) {
    return line.region.qc_flag[col - 1];
}
float out_at(const RegionLine& line, int col, int var) {
    return line.region.out_var_matrix[region_2d_index(col, var, line.run.ncols)];
}

}  // namespace

TEST(RegionSimLine, QualityFlagsOfMissingInputs) {
    RegionLogCapture log;
    RegionLine line(8, {"XLE2", "TA1", "TS1"});
    Ornaxregiondatatype& r = line.region;
    r.snow_mask[0] = 4.0f;               // col 1: snow
    r.trad1[1] = line.sat.spare_value;   // col 2: surface temperature missing
    r.taobs2[3] = line.met.spare_value;  // col 4: meteorology missing
    r.sdn_day[region_2d_index(5, 20, r.sdn_day_ncols)] = -1.0f;  // col 5: hourly insolation
    r.Landcover[5] = 1.0f;                                       // col 6: water
    r.Landcover[6] = 25.0f;                                      // col 7: not a class of the table
    r.trad2[7] = line.sat.spare_value;  // col 8: satellite and meteorology missing
    r.taobs1[7] = line.met.spare_value;
    int status = -1;
    line.simulate(scripted_core, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(qc_at(line, 1), 127.0f);
    EXPECT_EQ(qc_at(line, 2), 77.0f);
    EXPECT_EQ(qc_at(line, 3), 0.0f);
    EXPECT_EQ(qc_at(line, 4), 17.0f);
    EXPECT_EQ(qc_at(line, 5), 77.0f);
    EXPECT_EQ(qc_at(line, 6), 127.0f);
    EXPECT_EQ(qc_at(line, 7), 127.0f);
    EXPECT_EQ(qc_at(line, 8), 93.0f);
    EXPECT_EQ(log.count("Error in get the land params at"), 1);
    // Only the computed pixel has outputs; every other one holds the run grid's missing value.
    for (int col = 1; col <= 8; ++col) {
        for (int var = 1; var <= 3; ++var) {
            if (col == 3) {
                EXPECT_NE(out_at(line, col, var), -999.0f);
            } else {
                EXPECT_EQ(out_at(line, col, var), -999.0f) << col << " " << var;
            }
        }
    }
    // Pixel positions of the line.
    EXPECT_FLOAT_EQ(r.xlon[0], -99.975f);
    EXPECT_FLOAT_EQ(r.xlon[7], -99.625f);
    EXPECT_EQ(r.xlat[4], line.lat);
}

TEST(RegionSimLine, OutlierScreenAtItsLimits) {
    RegionLogCapture log;
    RegionLine line(8, {"XLE2", "H2"});
    for (int col = 1; col <= 8; ++col) line.region.theta[col - 1] = static_cast<float>(col);
    int status = -1;
    line.simulate(scripted_core, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(qc_at(line, 1), 1.0f);  // XLE2 = 1000
    EXPECT_EQ(qc_at(line, 2), 0.0f);  // XLE2 = 999.9
    EXPECT_EQ(qc_at(line, 3), 1.0f);  // H2 = -100
    EXPECT_EQ(qc_at(line, 4), 0.0f);  // H2 = -99.9
    EXPECT_EQ(qc_at(line, 5), 1.0f);  // XLE2 below 0
    EXPECT_EQ(qc_at(line, 6), 1.0f);  // core failure
    EXPECT_EQ(qc_at(line, 7), 1.0f);  // not a number
    EXPECT_EQ(qc_at(line, 8), 0.0f);
    EXPECT_EQ(log.count("Out liers"), 4);
    EXPECT_EQ(out_at(line, 1, 1), -999.0f);
    EXPECT_FLOAT_EQ(out_at(line, 2, 1), 999.9f);
    EXPECT_FLOAT_EQ(out_at(line, 4, 2), -99.9f);
    EXPECT_EQ(out_at(line, 6, 1), -999.0f);
}

TEST(RegionSimLine, OutputsFollowTheListAndTheInputsAreConverted) {
    RegionLine line(3, {"TS1", "TC1", "TA1", "ZEN1"});
    int status = -1;
    line.simulate(scripted_core, status);
    ASSERT_EQ(status, 0);
    for (int col = 1; col <= 3; ++col) {
        EXPECT_EQ(qc_at(line, col), 0.0f);
        EXPECT_FLOAT_EQ(out_at(line, col, 1), line.region.trad1[col - 1] - 273.15f);
        EXPECT_EQ(out_at(line, col, 2), 10.0f);  // class of the pixel
        EXPECT_FLOAT_EQ(out_at(line, col, 3), line.region.taobs1[col - 1] - 273.15f);
        EXPECT_EQ(out_at(line, col, 4), 2.0f);  // the core runs without diagnostics
    }
}

TEST(RegionSimLine, ObservationTimesAreScreenedAtTheSatelliteColumn) {
    // The satellite grid starts two columns east of the others: run column k is
    // satellite column k - 2, and the first two run columns lie outside it.
    RegionLine line(6, {"XLE2"}, /*sat_shift=*/2);
    Ornaxregiondatatype& r = line.region;
    r.tloc1[1] = -1.0f;  // satellite column 2 = run column 4
    r.tloc2[3] = -1.0f;  // satellite column 4 = run column 6
    int status = -1;
    line.simulate(scripted_core, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(qc_at(line, 1), 127.0f);  // no observation times outside the satellite grid
    EXPECT_EQ(qc_at(line, 2), 127.0f);
    EXPECT_EQ(qc_at(line, 3), 0.0f);
    EXPECT_EQ(qc_at(line, 4), 127.0f);
    EXPECT_EQ(qc_at(line, 5), 0.0f);
    EXPECT_EQ(qc_at(line, 6), 127.0f);
}

TEST(RegionSimLine, PixelOutsideTheMeteorologicalDomainKeepsItsFlag) {
    RegionLogCapture log;
    RegionLine line(4, {"XLE2"}, 0, /*met_cols=*/2);
    int status = -1;
    line.simulate(scripted_core, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(qc_at(line, 1), 0.0f);
    EXPECT_EQ(qc_at(line, 2), 0.0f);
    EXPECT_EQ(qc_at(line, 3), 17.0f);
    EXPECT_EQ(qc_at(line, 4), 17.0f);
    EXPECT_EQ(out_at(line, 3, 1), -999.0f);
    EXPECT_EQ(log.count("Error in get the index of Met domain at"), 2);
}

TEST(RegionSimLine, MeteorologyLineShorterThanItsGridCountsAsMissing) {
    // The meteorological arrays hold fewer columns than the grid the pixel is located on.
    RegionLine line(4, {"XLE2"});
    line.region.met_ncols = 2;
    int status = -1;
    line.simulate(scripted_core, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(qc_at(line, 2), 0.0f);
    EXPECT_EQ(qc_at(line, 3), 17.0f);
    EXPECT_EQ(qc_at(line, 4), 17.0f);
}

TEST(RegionSimLine, LineArraysThatDoNotFitTheRunGridFailTheLine) {
    RegionLogCapture log;
    RegionLine line(4, {"XLE2"});
    line.run.ncols = 5;
    int status = -1;
    line.simulate(scripted_core, status);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(log.count("Region line arrays do not hold"), 1);
}
