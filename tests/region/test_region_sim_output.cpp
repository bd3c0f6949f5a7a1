// Region outputs: the line of every output raster and of the quality raster, and the
// pixel input dump of the output directory.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "ornax90/ORNAX_region_mod.hpp"
#include "ornax90/file_io_mod.hpp"
#include "support/region_sim_line.hpp"
#include "support/region_sim.hpp"

namespace {

std::vector<float> read_floats(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    std::vector<float> values(bytes.size() / 4);
    for (std::size_t i = 0; i < values.size(); ++i) {
        // Little-endian 4-byte reals.
        const std::uint32_t word = static_cast<std::uint32_t>(bytes[4 * i]) |
                                   static_cast<std::uint32_t>(bytes[4 * i + 1]) << 8 |
                                   static_cast<std::uint32_t>(bytes[4 * i + 2]) << 16 |
                                   static_cast<std::uint32_t>(bytes[4 * i + 3]) << 24;
        std::memcpy(&values[i], &word, sizeof word);
    }
    return values;
}

void fake_core(const Ornaxlandtype&, const Ornaxinputvartype& input, Ornaxoutputvartype& output,
               int, int, int& status) {
    output.XLE2 = 300.0f + input.lon;
    output.H2 = 50.0f;
    output.EDAY = 10.0f;
    output.SDDAY = 25.0f;  // the day's insolation bounds EDAY
    status = 0;
}

// A line of 100001 pixels at 0.001 degrees (100 degrees wide).
void make_long_line(RegionLine& line, const RegionTempDir& dir) {
    for (Spatialinfodata* grid :
         {&line.run, &line.land, &line.veg, &line.snow, &line.met, &line.sat}) {
        grid->dlon = 0.001f;
        grid->east_lon = grid->west_lon + grid->dlon * static_cast<float>(grid->ncols);
    }
    line.region.output_dir = dir.path().string();
    line.region.snow_mask[0] = 4.0f;
}

}  // namespace

TEST(RegionSimOutput, ListOrderSetsRasterOrderAndLinesGoToTheirRecords) {
    RegionLogCapture log;
    RegionTempDir dir;
    RegionLine line(3, {"EDAY", "XLE2"});
    line.run.nrows = 2;
    const int units[3] = {301, 302, 303};
    const char* names[3] = {"EDAY.bin", "XLE2.bin", "region_qc.bin"};
    int status = -1;
    for (int i = 0; i < 3; ++i) {
        raster_open_output(units[i], dir.file(names[i]), status);
        ASSERT_EQ(status, 0);
    }
    line.region.snow_mask[2] = 4.0f;
    line.simulate(fake_core, status);
    ASSERT_EQ(status, 0);
    // Line 2 first: each line lands at its own record whatever the order.
    ornax_write_region_outputs(line.run, line.region, units, 2, status);
    EXPECT_EQ(status, 0);
    line.region.qc_flag.assign(3, 55.0f);
    ornax_write_region_outputs(line.run, line.region, units, 1, status);
    EXPECT_EQ(status, 0);
    for (int unit : units) raster_close_output(unit, status);

    const std::vector<float> eday = read_floats(dir.file("EDAY.bin"));
    const std::vector<float> xle2 = read_floats(dir.file("XLE2.bin"));
    const std::vector<float> qc = read_floats(dir.file("region_qc.bin"));
    ASSERT_EQ(eday.size(), 6u);
    ASSERT_EQ(xle2.size(), 6u);
    ASSERT_EQ(qc.size(), 6u);
    EXPECT_EQ(eday[3], 10.0f);
    EXPECT_EQ(eday[5], -999.0f);  // the snow pixel
    EXPECT_FLOAT_EQ(xle2[4], 300.0f + line.region.xlon[1]);
    EXPECT_EQ(qc[3], 0.0f);
    EXPECT_EQ(qc[5], 127.0f);
    EXPECT_EQ(qc[0], 55.0f);
    EXPECT_EQ(log.text(), "");
}

TEST(RegionSimOutput, TooFewUnitsFailWithoutWriting) {
    RegionLogCapture log;
    RegionLine line(3, {"EDAY", "XLE2"});
    const int units[2] = {301, 302};
    int status = -1;
    ornax_write_region_outputs(line.run, line.region, units, 1, status);
    EXPECT_EQ(status, 3);
}

TEST(RegionSimOutput, FailedWriteIsReportedEvenWhenTheQualityLineSucceeds) {
    RegionLogCapture log;
    RegionTempDir dir;
    RegionLine line(3, {"EDAY", "XLE2"});
    const int units[3] = {301, 302, 303};
    int status = -1;
    raster_open_output(301, dir.file("EDAY.bin"), status);
    raster_open_output(303, dir.file("region_qc.bin"), status);  // XLE2's unit is not open
    ornax_write_region_outputs(line.run, line.region, units, 1, status);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(log.count("Error in writing var XLE2 Error!"), 1);
    raster_close_output(301, status);
    raster_close_output(303, status);
    EXPECT_EQ(read_floats(dir.file("region_qc.bin")).size(), 3u);
}

TEST(RegionSimOutput, EveryHundredThousandthComputedPixelIsDumped) {
    RegionTempDir dir;
    // 100001 pixels, the first under snow: the 100000th computed pixel is the last one.
    RegionLogCapture log;
    RegionLine line(100001, {"XLE2"}, 0, 0, 2, 24);  // the day needs 24 hours
    make_long_line(line, dir);
    int status = -1;
    line.simulate(fake_core, status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(line.region.qc_flag[100000], 0.0f);
    EXPECT_EQ(log.text(), "");
    std::ifstream dump(dir.file("pixel_dump.txt"));
    ASSERT_TRUE(dump.good());
    std::string text((std::istreambuf_iterator<char>(dump)), std::istreambuf_iterator<char>());
    // One block, for the last pixel.
    std::size_t blocks = 0;
    for (auto at = text.find("ORNAX run at :"); at != std::string::npos;
         at = text.find("ORNAX run at :", at + 1)) {
        ++blocks;
    }
    EXPECT_EQ(blocks, 1u);
    char position[32];
    std::snprintf(position, sizeof position, "%10.3f", line.region.xlon[100000]);
    EXPECT_NE(text.find(position), std::string::npos) << text.substr(0, 800);

    // With one computed pixel fewer there is no dump.
    std::filesystem::remove(dir.file("pixel_dump.txt"));
    int release = 0;
    ornax_finalize_region_data(line.region, release);
    line = RegionLine(100001, {"XLE2"}, 0, 0, 2, 1);
    make_long_line(line, dir);
    line.region.snow_mask[1] = 4.0f;
    line.simulate(fake_core, status);
    EXPECT_FALSE(std::filesystem::exists(dir.file("pixel_dump.txt")));
}
