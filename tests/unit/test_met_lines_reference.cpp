// The line meteorology of the reference region: the first-observation air temperature of
// every line, as the region run writes it to its line diagnostic raster.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ornax90/ORNAX_data_mod.hpp"
#include "ornax90/ORNAX_region_io_mod.hpp"
#include "ornax90/file_io_mod.hpp"

namespace fs = std::filesystem;

namespace {

const fs::path reference_data = fs::path(ORNAX_REFERENCE_DIR) / "region" / "data";
const fs::path reference_expected = fs::path(ORNAX_REFERENCE_DIR) / "region" / "expected";

// The grids of the reference meteorological configuration ("config/met.cfg").
void reference_grids(const fs::path& met_root, Ornaxcommonblock& common, Ornaxmeteoornax& grid) {
    common.met_data_dir = met_root.string();
    common.west_lon = -100.0f;
    common.east_lon = -96.0f;
    common.dlon = 0.25f;
    common.south_lat = 34.0f;
    common.north_lat = 37.0f;
    common.dlat = 0.25f;
    common.ncols = 16;
    common.nrows = 12;
    common.nlayers = 30;
    common.nhours = 8;
    common.undef = -9999.0f;
    grid.met_dir = met_root.string();
    grid.start_lon = -98.75f;
    grid.dlon = 0.05f;
    grid.start_lat = 35.0f;
    grid.dlat = 0.05f;
    grid.ncols = 30;
    grid.nrows = 20;
    grid.nlayers = 30;
    grid.nhours = 24;
    grid.undef = -9999.0f;
}

}  // namespace

TEST(MetLinesReference, FirstObservationAirTemperatureOfEveryLine) {
    // the sunrise cache is written beside the forecast-model rasters: work on a copy
    const fs::path work = fs::temp_directory_path() / "ornax_met_lines_reference";
    fs::remove_all(work);
    fs::create_directories(work);
    fs::copy(reference_data / "met", work / "met", fs::copy_options::recursive);
    Ornaxcommonblock common;
    Ornaxmeteoornax grid;
    reference_grids(work / "met", common, grid);
    const std::string expected_file = (reference_expected / "testMETtemp15.bin").string();
    for (int line = 1; line <= 20; ++line) {
        const float pline = 35.0f + (static_cast<float>(line) - 0.5f) * 0.05f;
        Ornaxregiondatatype region;
        int status = 3;
        testing::internal::CaptureStdout();
        ornax_pro_region_meteorological_data(common, grid, region, 2019, 200, pline, status);
        testing::internal::GetCapturedStdout();
        ASSERT_EQ(status, 0) << "line " << line;
        std::vector<float> expected;
        read_2d_real_by_line(expected_file, 30, 20, line, 0, expected, status);
        ASSERT_EQ(status, 0);
        ASSERT_EQ(region.taobs1.size(), 30u);
        for (std::size_t i = 0; i < 30; ++i) {
            EXPECT_NEAR(region.taobs1[i], expected[i], 0.001f)
                << "line " << line << " column " << i + 1;
        }
    }
    EXPECT_EQ(fs::file_size(work / "met" / "2019200" / "rise15MET"), 4u * 30u * 20u);
    fs::remove_all(work);
}

TEST(MetLinesReference, SelfContainedLineFromTheConfigurationFile) {
    // the configuration's plain paths are relative to the data directory, its home paths
    // to HOME_DIR: run in a copy of the data directory
    const fs::path work = fs::temp_directory_path() / "ornax_met_lines_reference_self";
    fs::remove_all(work);
    fs::create_directories(work);
    fs::copy(reference_data, work / "data", fs::copy_options::recursive);
    const fs::path previous = fs::current_path();
    const char* previous_home = std::getenv("HOME_DIR");
    const std::string saved_home = previous_home != nullptr ? previous_home : "";
    fs::current_path(work / "data");
    setenv("HOME_DIR", (work / "data").string().c_str(), 1);

    const int line = 5;
    const float pline = 35.0f + (static_cast<float>(line) - 0.5f) * 0.05f;
    Ornaxregiondatatype region;
    int status = 3;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    ornax_read_region_meteorological_data("config/met.cfg", region, 2019, 200, pline, status);
    testing::internal::GetCapturedStderr();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 0);
    std::vector<float> expected;
    int read_status = 0;
    read_2d_real_by_line((reference_expected / "testMETtemp15.bin").string(), 30, 20, line, 0,
                         expected, read_status);
    ASSERT_EQ(region.taobs1.size(), 30u);
    for (std::size_t i = 0; i < 30; ++i) EXPECT_NEAR(region.taobs1[i], expected[i], 0.001f);

    // a missing configuration file ends the line at once
    testing::internal::CaptureStdout();
    ornax_read_region_meteorological_data("config/none.cfg", region, 2019, 200, pline, status);
    const std::string screen = testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 3);
    EXPECT_NE(screen.find("Error in reading the configuration file"), std::string::npos);
    EXPECT_NE(screen.find("Main Program exit..."), std::string::npos);

    fs::current_path(previous);
    if (previous_home != nullptr) {
        setenv("HOME_DIR", saved_home.c_str(), 1);
    } else {
        unsetenv("HOME_DIR");
    }
    fs::remove_all(work);
}
