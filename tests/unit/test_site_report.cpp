// Site report: order and layout of the 41 lines, overflow asterisks, the class line
// and the energy-balance residual.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ornax90/ORNAX_io_mod.hpp"

namespace {

struct ReportCase {
    Ornaxlandtype land;
    Ornaxinputvartype in;
    Ornaxoutputvartype out;
};

ReportCase typical_case() {
    ReportCase c;
    c.land.landcover = 13;
    c.land.lc_name = " Cropland" + std::string(291, ' ');
    c.in.lat = 36.605f, c.in.lon = -97.488f, c.in.fc = 0.745f, c.in.xlai = 2.731f;
    c.in.tloc1 = 7.417f, c.in.tloc2 = 10.433f;
    c.out.TC1 = 20.5f, c.out.TC2 = 28.25f, c.out.RNET2 = 400.0f, c.out.XLE2 = 250.0f,
    c.out.G2 = 50.0f;
    c.out.H2 = 100.0f, c.out.Z2 = 812.5f, c.out.RA2 = 12.34567f, c.out.EDAY = 12.3456f;
    c.out.SDDAY = 27.9f;
    return c;
}

}  // namespace

TEST(SiteReport, LinesInOrderWithLabelsRightAligned) {
    ReportCase c = typical_case();
    std::vector<std::string> lines = ornax_site_report_lines(c.land, c.in, c.out);
    ASSERT_EQ(lines.size(), 41u);
    EXPECT_EQ(lines[0], " ----- ORNAX Site Inputs ---------------------");
    EXPECT_EQ(lines[1], "   Site lc                  13 Cropland");
    EXPECT_EQ(lines[2], "                  At Lat, Lon:    36.605   -97.488");
    EXPECT_EQ(lines[3], "            Canopy FC, XLAI :      0.745     2.731");
    EXPECT_EQ(lines[4], "    Tloc1, Tloc2 ( Obs time):      7.417    10.433");
    EXPECT_EQ(lines[9], " ----- ORNAX Site Outputs --------------------");
    EXPECT_EQ(lines[10], "            Morning variables      TIME1     TIME2");
    EXPECT_EQ(lines[11], "       TC1,TC2 (canopy temp):     20.500    28.250");
    EXPECT_EQ(lines[16], " ----------T2 only----------------------------");
    EXPECT_EQ(lines[17], "      Z2 (boundary layer ht):    812.500");
    EXPECT_EQ(lines[18], "       RA2 (aerodynamic res):     12.346");
    EXPECT_EQ(lines[30], "       Energy balance(w m-2):      0.000");  // 400 - 250 - 50 - 100
    EXPECT_EQ(lines[31], " ------------------------------------------");
    EXPECT_EQ(lines[32].size(), 40u);
    EXPECT_EQ(lines[32].substr(0, 30), "       Daily integrated fluxes");
    EXPECT_EQ(lines[36], "         Total ET (MJ day-1):     12.346");
    EXPECT_EQ(lines[40], "  Short wave down sdn(w m-2):     27.900");
    for (std::size_t i : {2u, 3u, 11u, 12u, 17u, 25u, 33u, 40u})
        EXPECT_EQ(lines[i][30 + 6], '.') << i;
}

TEST(SiteReport, OverflowPrintsAsterisksInItsFieldOnly) {
    ReportCase c = typical_case();
    c.out.RX2 = 1.0e7f;
    c.out.TC1 = -1.0e6f;
    std::vector<std::string> lines = ornax_site_report_lines(c.land, c.in, c.out);
    EXPECT_EQ(lines[20], "            RX2   (b.l. res): **********");
    EXPECT_EQ(lines[11], "       TC1,TC2 (canopy temp): **********    28.250");
}

TEST(SiteReport, BlankClassDescriptionEndsAfterTheClass) {
    ReportCase c = typical_case();
    c.land.lc_name = std::string(300, ' ');
    c.land.landcover = 7;
    std::vector<std::string> lines = ornax_site_report_lines(c.land, c.in, c.out);
    EXPECT_EQ(lines[1], "   Site lc                   7");
}
