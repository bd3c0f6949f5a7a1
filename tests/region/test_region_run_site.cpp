// A computed pixel of a generated region, its inputs dumped in the site input format and
// run in site mode, gives the region's outputs again (up to the site file's rounding and
// the site mode's default soil reflectances).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "ornax90/ORNAX_core_mod.hpp"
#include "ornax90/ORNAX_io_mod.hpp"
#include "ornax90/ORNAX_region_io_mod.hpp"
#include "ornax90/ORNAX_region_mod.hpp"
#include "ornax90/ORNAX_run_mod.hpp"
#include "support/region_run.hpp"

namespace {

using namespace region_run_test;

// Value printed after a site report label (columns 31-40 of its line).
float report_value(const std::string& report, const std::string& label) {
    const size_t at = report.find(label);
    if (at == std::string::npos) return NAN;
    const size_t line = report.rfind('\n', at) + 1;
    return std::stof(report.substr(line + 30, 10));
}

struct CapturedPixel {
    Ornaxlandtype land;
    Ornaxinputvartype input;
};

// Runs line `line` of the region in dir in-process and returns every pixel the core saw.
std::vector<CapturedPixel> capture_line(const fs::path& dir, int line, Spatialinfodata& run,
                                        std::vector<float>& qc) {
    const fs::path here = fs::current_path();
    fs::current_path(dir);
    setenv("HOME_DIR", dir.c_str(), 1);
    Ornaxregiondatatype region;
    int st = 0;
    ornax_read_region_config_file("config/region.cfg", region, 2019, 200, st);
    EXPECT_EQ(st, 0);
    Spatialinfodata land, veg, snow, sat;
    read_domain_info_from_txt(region.land_domain_file, land, st);
    read_domain_info_from_txt(region.vegetation_domain_file, veg, st);
    read_domain_info_from_txt(region.snow_domain_file, snow, st);
    read_domain_info_from_txt(region.satellite_domain_file, sat, st);
    read_domain_info_from_txt(region.run_domain_file, run, st);
    std::vector<Ornaxlandtype> table;
    int nclasses = 0;
    ornax_read_landcover_table(region.landcover_table_file, table, nclasses, st);
    Ornaxcommonblock common;
    Ornaxmeteoornax met;
    ornax_get_static_region_data(common, met, region, 2019, 200, st);
    EXPECT_EQ(st, 0);
    const float lat = run.south_lat + (static_cast<float>(line) - 0.5f) * run.dlat;
    ornax_init_region_data(region, run, land, veg, snow, land, sat, st);
    ornax_read_region_data(region, common, met, run, land, veg, snow, land, sat, table, nclasses, 0,
                           2019, 200, lat, st);
    EXPECT_EQ(st, 0);
    std::vector<CapturedPixel> seen;
    const Ornaxpixelcore core = [&](const Ornaxlandtype& l, const Ornaxinputvartype& in,
                                    Ornaxoutputvartype& out, int debug, int sw, int& status) {
        ornax(l, in, out, debug, sw, status);
        seen.push_back({l, in});
    };
    ornax_simulate_region_with_core(region, run, land, veg, snow, land, sat, table, nclasses, 2019,
                                    200, 0, lat, core, st);
    qc = region.qc_flag;
    ornax_finalize_region_data(region, st);
    ornax_common_grid_finalize(common, st);
    fs::current_path(here);
    return seen;
}

TEST(RegionRunSite, ComputedPixelRerunInSiteModeGivesItsOutputs) {
    constexpr int kCols = 20, kRows = 12, kLine = 9;
    ScratchDir dir("site_rerun");
    make_region(dir.path(), kCols, kRows, 5);
    ASSERT_EQ(run_ornax(dir.path(), "-r0 config/region.cfg 2019 200"), 0) << log_text(dir.path());
    Spatialinfodata run;
    std::vector<float> qc;
    const std::vector<CapturedPixel> pixels = capture_line(dir.path(), kLine, run, qc);
    ASSERT_FALSE(pixels.empty());

    // The computed pixel whose soil reflectances lie nearest the site mode's defaults.
    int best = -1, col = 0;
    float best_gap = 1e9f;
    for (size_t i = 0; i < pixels.size(); ++i) {
        const int k = static_cast<int>((pixels[i].input.lon - run.west_lon) / run.dlon) + 1;
        const float gap =
            std::fabs(pixels[i].input.rsoilv - 0.24f) + std::fabs(pixels[i].input.rsoiln - 0.38f);
        if (k >= 1 && k <= kCols && qc[k - 1] == 0.0f && gap < best_gap) {
            best = static_cast<int>(i);
            col = k;
            best_gap = gap;
        }
    }
    ASSERT_GE(best, 0) << "no computed pixel on line " << kLine;
    // The pixel's inputs are in the core's units: deg C, mb, humidity x 100.
    const Ornaxinputvartype& in = pixels[best].input;
    const size_t at = static_cast<size_t>(kLine - 1) * kCols + (col - 1);
    EXPECT_NEAR(in.trad1, read_floats(dir.path() / "lst" / "2019200" / "trad1.bin")[at] - 273.15f,
                1e-3f);
    EXPECT_NEAR(in.tloc2, read_floats(dir.path() / "goes" / "2019200" / "tloc2.bin")[at], 1e-5f);
    EXPECT_GT(in.taobs1, 10.0f);
    EXPECT_LT(in.taobs1, 35.0f);
    EXPECT_GT(in.pres2, 900.0f);
    EXPECT_LT(in.pres2, 1013.0f);
    EXPECT_GT(in.spfh2, 0.5f);
    EXPECT_LT(in.spfh2, 2.0f);
    EXPECT_EQ(in.npbl, 30);
    EXPECT_LT(in.z_pbli[0], in.z_pbli[1]);  // the sounding rises with the index

    int st = 0;
    ornax_write_site_inputs((dir.path() / "pixel.dat").string(), pixels[best].land,
                            pixels[best].input, st);
    ASSERT_EQ(st, 0);
    ASSERT_EQ(run_ornax(dir.path(), "-s pixel.dat -l config/landcover.txt"), 0);
    const std::string report = read_text(dir.path() / "run.out");

    const float eday = read_floats(dir.path() / "output" / "EDAY.bin")[at];
    const float xle2 = read_floats(dir.path() / "output" / "XLE2.bin")[at];
    const float h2 = read_floats(dir.path() / "output" / "H2.bin")[at];
    EXPECT_NEAR(report_value(report, "Total ET (MJ day-1): "), eday, 0.03f * eday) << report;
    EXPECT_NEAR(report_value(report, "Total latent(w m-2): "), xle2, 0.03f * xle2) << report;
    EXPECT_NEAR(report_value(report, "Total sensible(w m-2): "), h2, 8.0f) << report;
}

}  // namespace
