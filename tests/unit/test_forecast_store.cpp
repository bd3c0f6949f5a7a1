// Forecast-model store and common grid: configuration reading, land-mask reading,
// set-up and release.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "baseforcing/GFS/GFS_io_mod.hpp"
#include "ornax90/ORNAX_data_mod.hpp"
#include "support/raster.hpp"
#include "support/temp_dir.hpp"

namespace {

using namespace temp_dir_test;
using GfsStoreTest = TempDirTest;

const std::string reference_gfs_config =
    std::string(ORNAX_REFERENCE_DIR) + "/region/data/config/gfs.cfg";

std::vector<std::string> lines_of(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

void write_lines(const fs::path& path, const std::vector<std::string>& lines) {
    std::ofstream out(path);
    for (const std::string& line : lines) out << line << '\n';
}

}  // namespace

TEST(GfsStore, FreshStoreAndCommonGridDefaults) {
    Gfs_struc_block store;
    EXPECT_FLOAT_EQ(store.plevels.front(), 10000.0f);
    EXPECT_FLOAT_EQ(store.plevels[17], 92500.0f);
    EXPECT_FLOAT_EQ(store.plevels.back(), 100000.0f);
    EXPECT_TRUE(store.land.empty());
    Ornaxcommonblock common;
    EXPECT_FLOAT_EQ(common.layer_heights.front(), 15000.0f);
    EXPECT_FLOAT_EQ(common.layer_heights[20], 2600.0f);
    EXPECT_FLOAT_EQ(common.layer_heights.back(), 80.0f);
    // finalising a store that was never set up is quiet and succeeds
    int status = -1;
    testing::internal::CaptureStderr();
    gfs_finalize(store, status);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(status, 0);
}

TEST(GfsStore, ReadsReferenceConfiguration) {
    Gfs_struc_block store;
    store.land_file = "left over";
    int status = -1;
    raster_test::ScratchDir dir;
    raster_test::LogCapture log(dir);
    testing::internal::CaptureStderr();
    gfs_read_config(reference_gfs_config, store, status);
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(status, 0) << err;
    // the log keeps the line as it always was; the screen sets the file name apart
    EXPECT_TRUE(log.contains(" Start reading the GFS config" + reference_gfs_config)) << log.text();
    EXPECT_NE(err.find(" Start reading the GFS configuration file " + reference_gfs_config),
              std::string::npos)
        << err;
    EXPECT_EQ(err.find("config" + reference_gfs_config), std::string::npos) << err;
    EXPECT_EQ(store.nlon, 16);
    EXPECT_EQ(store.nlat, 12);
    EXPECT_EQ(store.nlev, 21);
    EXPECT_EQ(store.ntime, 8);
    EXPECT_EQ(store.nspare, 0);
    EXPECT_FLOAT_EQ(store.spare_e, -9990.0f);
    EXPECT_EQ(store.gfs_text_1, "/data/gfs/0p25");
    EXPECT_FLOAT_EQ(store.grid_value_1, -100.0f);
    EXPECT_FLOAT_EQ(store.grid_value_2, -96.0f);
    EXPECT_FLOAT_EQ(store.grid_value_6, 0.25f);  // line 9
    EXPECT_FLOAT_EQ(store.grid_value_3, 34.0f);
    EXPECT_FLOAT_EQ(store.grid_value_5, 0.25f);
    EXPECT_EQ(store.gfs_text_6, "HGT_sfc");
    EXPECT_EQ(store.gfs_text_10, "DSWRF_sfc");
    EXPECT_EQ(store.gfs_text_5, "RH_2m");
    EXPECT_EQ(store.gfs_text_2, "HGT_prs");
    EXPECT_EQ(store.gfs_text_3, "TMP_prs");
    EXPECT_EQ(store.gfs_text_15, "SPFH_prs");
    EXPECT_EQ(store.gfs_text_4, "");
    EXPECT_EQ(store.land_file, "");  // the store was reset
}

TEST_F(GfsStoreTest, ConfigurationErrorsNameFileAndLine) {
    std::vector<std::string> lines = lines_of(reference_gfs_config);
    ASSERT_EQ(lines.size(), 33u);
    Gfs_struc_block store;
    int status = 0;

    const std::string short_file = path("short.cfg");
    write_lines(short_file, std::vector<std::string>(lines.begin(), lines.begin() + 20));
    testing::internal::CaptureStderr();
    gfs_read_config(short_file, store, status);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 3);
    EXPECT_NE(err.find(short_file + " ends before line          21"), std::string::npos) << err;

    lines[14].replace(30, 10, "    1x2   ");  // nlat
    const std::string bad_file = path("bad.cfg");
    write_lines(bad_file, lines);
    testing::internal::CaptureStderr();
    gfs_read_config(bad_file, store, status);
    err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 3);
    EXPECT_NE(err.find(bad_file + " at line          15"), std::string::npos) << err;

    testing::internal::CaptureStderr();
    gfs_read_config(path("absent.cfg"), store, status);
    err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 3);
    EXPECT_NE(err.find("Error in opening the GFS configuration file!"), std::string::npos);
}

TEST_F(GfsStoreTest, LandMaskReadAndItsFailures) {
    Gfs_struc_block store;
    store.nlon = 3;
    store.nlat = 2;
    int status = -1;
    gfs_init(store, status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(store.land.size(), 6u);
    const std::string file = path("land.bin");
    // little-endian integers 1, 0, 2, 258, -1, 7
    write_bytes(file,
                {1, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 2, 1, 0, 0, 255, 255, 255, 255, 7, 0, 0, 0});
    gfs_read_land_data(file + "   ", store, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(store.land_file, file);
    EXPECT_EQ(store.land, (std::vector<int>{1, 0, 2, 258, -1, 7}));

    write_bytes(file, {1, 0, 0, 0, 0, 0, 0, 0});
    testing::internal::CaptureStderr();
    gfs_read_land_data(file, store, status);
    EXPECT_EQ(status, 3);
    gfs_read_land_data(path("absent.bin"), store, status);
    EXPECT_EQ(status, 3);
    store.nlat = 0;
    gfs_read_land_data(file, store, status);
    EXPECT_EQ(status, 3);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Read in GFS land mask file ...failed\n"), std::string::npos);
    EXPECT_NE(err.find("Error in opening the input file " + path("absent.bin") + "\n"),
              std::string::npos);
    EXPECT_NE(err.find("wrong record size in the GFS input\n"), std::string::npos);

    gfs_finalize(store, status);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(store.land.empty());
}

TEST_F(GfsStoreTest, CommonGridSetUpAndRelease) {
    Ornaxcommonblock common;
    common.ncols = 0;
    common.nrows = 12;
    int status = 0;
    testing::internal::CaptureStdout();
    ornax_common_grid_init(common, status);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 3);
    EXPECT_TRUE(common.ptr_land_grid.empty());
    EXPECT_EQ(out.find(" program:  VESK"), 0u);
    EXPECT_NE(out.find(std::string(300 - 14, ' ') + "  routine:  VESK_common_grid_init"),
              std::string::npos);
    EXPECT_NE(out.find(" Wrong matrix dimension size           0          12\n"), std::string::npos)
        << out;

    common.ncols = 16;
    common.nhours = 0;
    testing::internal::CaptureStdout();
    ornax_common_grid_init(common, status);
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 3);
    EXPECT_EQ(common.ptr_land_grid.size(), 192u);
    EXPECT_NE(out.find("  status = wrong time size"), std::string::npos);

    // flag 2 fails the set-up but is accepted by the release
    common.nhours = 8;
    common.met_flag = 2;
    testing::internal::CaptureStdout();
    ornax_common_grid_init(common, status);
    EXPECT_EQ(status, 3);
    ornax_common_grid_finalize(common, status);
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find(" Wrong meteorological flag in the input config file"), std::string::npos);
    EXPECT_NE(out.find(" Releasing 3-d data in the common grid"), std::string::npos);
    EXPECT_TRUE(common.ptr_land_grid.empty());
    common.met_flag = 1;
    testing::internal::CaptureStdout();
    ornax_common_grid_finalize(common, status);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 3);
}

TEST_F(GfsStoreTest, CommonGridGoesOnWithoutForecastConfiguration) {
    Ornaxcommonblock common;
    common.ncols = 4;
    common.nrows = 3;
    common.nhours = 8;
    common.met_flag = 3;
    common.gfs_config_file = path("absent.cfg");
    int status = -1;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    ornax_common_grid_init(common, status);
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find(" CFSR Ini with" + common.gfs_config_file), std::string::npos);
    EXPECT_NE(err.find("Error in opening the GFS configuration file!"), std::string::npos);

    common.gfs_config_file = reference_gfs_config;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    ornax_common_grid_init(common, status);
    testing::internal::GetCapturedStderr();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 0);
    EXPECT_EQ(common.gfs_struc.land.size(), 16u * 12u);
    EXPECT_EQ(common.land_count, 0);
}
