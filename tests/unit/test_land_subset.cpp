// Land subset file: round trip, checks against the common grid, and the fall-back to
// the UMD land cover in the land loading.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "ornax90/ORNAX_region_io_mod.hpp"
#include "support/temp_dir.hpp"

namespace {

using namespace temp_dir_test;
using LandSubsetTest = TempDirTest;

Ornaxsinglegrid cell_at(float lon, float lat) {
    Ornaxsinglegrid cell;
    cell.lon = lon;
    cell.lat = lat;
    return cell;
}

// 8 x 6 grid at 0.5 degree from -100 W, 30 N; three land cells.
struct SubsetCase {
    int ncols = 8, nrows = 6;
    float west = -100.0f, east = -96.0f, dlon = 0.5f, south = 30.0f, north = 33.0f, dlat = 0.5f;
    std::vector<Ornaxsinglegrid> cells = {cell_at(-99.75f, 30.25f), cell_at(-97.25f, 31.75f),
                                          cell_at(-96.25f, 32.75f)};
};

int write_case(const SubsetCase& c, const std::string& file) {
    int status = -1;
    ornax_write_out_land_index(3, c.ncols, c.nrows, c.west, c.east, c.dlon, c.south, c.north,
                               c.dlat, c.cells, file, status);
    return status;
}

int load_case(const SubsetCase& c, const std::string& file, int& count,
              std::vector<Ornaxsinglegrid>& cells) {
    int status = -1;
    ornax_load_land_subset(c.ncols, c.nrows, c.west, c.east, c.dlon, c.south, c.north, c.dlat, file,
                           count, cells, status);
    return status;
}

}  // namespace

TEST_F(LandSubsetTest, ThreeCellsRoundTripInFourteenRecords) {
    SubsetCase c;
    const std::string file = path("subset.dat");
    testing::internal::CaptureStdout();
    ASSERT_EQ(write_case(c, file), 0);
    const auto bytes = file_bytes(file);
    ASSERT_EQ(bytes.size(), 14u * 4u);
    EXPECT_EQ(le_int(bytes, 1), 13);
    EXPECT_EQ(le_int(bytes, 2), 3);
    EXPECT_FLOAT_EQ(le_real(bytes, 3), -100.0f);
    EXPECT_FLOAT_EQ(le_real(bytes, 5), 0.5f);
    EXPECT_FLOAT_EQ(le_real(bytes, 13), -96.25f);  // lon of cell 3
    EXPECT_FLOAT_EQ(le_real(bytes, 14), 32.75f);   // lat of cell 3
    EXPECT_FALSE(fs::exists(file + ".tmp" + std::to_string(getpid())));

    int count = 0;
    std::vector<Ornaxsinglegrid> cells(c.ncols * c.nrows);
    EXPECT_EQ(load_case(c, file, count, cells), 0);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(count, 3);
    EXPECT_EQ(cells[0].col, 1);
    EXPECT_EQ(cells[0].row, 1);
    EXPECT_EQ(cells[1].col, 6);
    EXPECT_EQ(cells[1].row, 4);
    EXPECT_EQ(cells[2].col, 8);
    EXPECT_EQ(cells[2].row, 6);
    EXPECT_FLOAT_EQ(cells[1].lon, -97.25f);
    const auto view = file_bytes(path("common_lc.dat"));
    ASSERT_EQ(view.size(), 4u * 48u);
    EXPECT_EQ(le_int(view, 1), 1);
    EXPECT_EQ(le_int(view, 3 * 8 + 6), 1);
    EXPECT_EQ(le_int(view, 48), 1);
    EXPECT_EQ(le_int(view, 2), 0);
}

TEST_F(LandSubsetTest, GridMismatchesAreRejected) {
    SubsetCase c;
    const std::string file = path("subset.dat");
    testing::internal::CaptureStdout();
    ASSERT_EQ(write_case(c, file), 0);
    testing::internal::GetCapturedStdout();
    struct Variant {
        const char* message;
        SubsetCase grid;
    };
    std::vector<Variant> variants(7);
    variants[0] = {"Mismatch in west lon:", c};
    variants[0].grid.west = -100.01f;
    variants[1] = {"Mismatch in east lon", c};
    variants[1].grid.east = -95.0f;
    variants[2] = {"Mismatch in lon resolution", c};
    variants[2].grid.dlon = 0.25f;
    variants[3] = {"Mismatch in south lat", c};
    variants[3].grid.south = 29.5f;
    variants[4] = {"Mismatch in north lat", c};
    variants[4].grid.north = 33.5f;
    variants[5] = {"Mismatch in lat resolution", c};
    variants[5].grid.dlat = 0.5001f;
    variants[6] = {"Mismatch in total pixel number:", c};
    variants[6].grid.ncols = 1;
    variants[6].grid.nrows = 2;
    for (const Variant& v : variants) {
        int count = 0;
        std::vector<Ornaxsinglegrid> cells(48);
        testing::internal::CaptureStdout();
        EXPECT_EQ(load_case(v.grid, file, count, cells), 3) << v.message;
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find(v.message), std::string::npos) << out;
        EXPECT_EQ(count, 0);
    }
}

TEST_F(LandSubsetTest, TruncatedOrMissingFileIsRejected) {
    // regression: a file cut short used to leave cells unset while reporting success
    SubsetCase c;
    const std::string file = path("subset.dat");
    testing::internal::CaptureStdout();
    ASSERT_EQ(write_case(c, file), 0);
    auto bytes = file_bytes(file);
    bytes.resize(bytes.size() - 4);
    write_bytes(file, bytes);
    int count = 0;
    std::vector<Ornaxsinglegrid> cells(48);
    EXPECT_EQ(load_case(c, file, count, cells), 3);
    EXPECT_EQ(load_case(c, path("absent.dat"), count, cells), 3);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("ends before record          14"), std::string::npos) << out;
    EXPECT_NE(out.find("Open file error"), std::string::npos);
    EXPECT_EQ(count, 0);
}

TEST_F(LandSubsetTest, ReferenceSubsetMatchesReferenceGrid) {
    const std::string file =
        std::string(ORNAX_REFERENCE_DIR) + "/region/data/config/land_subset.dat";
    int count = 0, status = -1;
    std::vector<Ornaxsinglegrid> cells(16 * 12);
    testing::internal::CaptureStdout();
    ornax_load_land_subset(16, 12, -100.0f, -96.0f, 0.25f, 34.0f, 37.0f, 0.25f, file, count, cells,
                           status);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 0);
    ASSERT_EQ(count, 192);
    EXPECT_EQ(cells[0].col, 1);
    EXPECT_EQ(cells[0].row, 1);
    EXPECT_EQ(cells[191].col, 16);
    EXPECT_EQ(cells[191].row, 12);
}

TEST_F(LandSubsetTest, LoadLandDataFallsBackAndReadsForecastMask) {
    Ornaxcommonblock common;
    common.ncols = 8;
    common.nrows = 6;
    common.west_lon = -100.0f;
    common.east_lon = -96.0f;
    common.dlon = 0.5f;
    common.south_lat = 30.0f;
    common.north_lat = 33.0f;
    common.dlat = 0.5f;
    common.land_index_option = 0;
    common.land_subset_file = path("missing.dat");
    common.umd_landcover_file = path("missing_umd.bin");
    common.met_flag = 4;
    int status = 0;
    testing::internal::CaptureStdout();
    ornax_load_land_data(common, status);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 3);
    EXPECT_NE(out.find(" Load land subset failed\n Create a new land subset\n"), std::string::npos);
    EXPECT_NE(out.find(" Process land subset error"), std::string::npos);

    // a good subset file with an unknown source flag: cells loaded, status 3
    SubsetCase c;
    common.land_subset_file = path("subset.dat");
    common.met_flag = 7;
    testing::internal::CaptureStdout();
    ASSERT_EQ(write_case(c, common.land_subset_file), 0);
    ornax_load_land_data(common, status);
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 3);
    EXPECT_EQ(common.land_count, 3);
    EXPECT_NE(out.find(" Load land subset done         3records loaded"), std::string::npos);
    EXPECT_NE(out.find(" Unknown meteorological flag!"), std::string::npos);

    // forecast-model source: the forecast-model land mask is read into the store
    common.met_flag = 3;
    common.gfs_struc.nlon = 2;
    common.gfs_struc.nlat = 1;
    common.gfs_land_file = path("gfs_land.bin");
    write_bytes(common.gfs_land_file, {1, 0, 0, 0, 0, 0, 0, 0});
    testing::internal::CaptureStdout();
    ornax_load_land_data(common, status);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 0);
    ASSERT_EQ(common.gfs_struc.land.size(), 2u);
    EXPECT_EQ(common.gfs_struc.land[0], 1);
    EXPECT_EQ(common.gfs_struc.land[1], 0);
}
