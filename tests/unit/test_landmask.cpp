// Land mask of the common grid: UMD window geometry, building the land cells from a
// (sparse) UMD land-cover raster, and the land subset file round trip and its checks.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "ornax90/ORNAX_region_io_mod.hpp"
#include "support/temp_dir.hpp"

namespace {

using namespace temp_dir_test;
using LandMaskTest = TempDirTest;

// A global UMD raster that is empty apart from the given pixels (big-endian reals).
struct UmdPixel {
    int col, row;
    float value;
};
void write_sparse_umd(const fs::path& path, const std::vector<UmdPixel>& pixels) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(ftruncate(fileno(out), 4LL * ornax_umd_ncols * ornax_umd_nrows), 0);
    for (const UmdPixel& p : pixels) {
        const std::uint32_t bits = std::bit_cast<std::uint32_t>(p.value);
        const unsigned char be[4] = {
            static_cast<unsigned char>(bits >> 24), static_cast<unsigned char>(bits >> 16),
            static_cast<unsigned char>(bits >> 8), static_cast<unsigned char>(bits)};
        const long long record = static_cast<long long>(p.row - 1) * ornax_umd_ncols + p.col;
        fseeko(out, (record - 1) * 4, SEEK_SET);
        std::fwrite(be, 1, 4, out);
    }
    std::fclose(out);
}

// A 4 x 4 common grid at 0.25 degree from -100 W, 35 N (UMD window 100 x 100 pixels,
// blocks of 25 x 25, first UMD pixel column 7999 and row 9499).
Ornaxcommonblock small_grid(const fs::path& dir) {
    Ornaxcommonblock common;
    common.west_lon = -100.0f;
    common.east_lon = -99.0f;
    common.dlon = 0.25f;
    common.south_lat = 35.0f;
    common.north_lat = 36.0f;
    common.dlat = 0.25f;
    common.ncols = 4;
    common.nrows = 4;
    common.nhours = 8;
    common.met_flag = 4;
    common.umd_landcover_file = (dir / "umd.bin").string();
    common.land_subset_file = (dir / "subset.dat").string();
    return common;
}

Ornaxcommonblock grid_from(float west, float east, float south, float north, float step) {
    Ornaxcommonblock common;
    common.west_lon = west;
    common.east_lon = east;
    common.south_lat = south;
    common.north_lat = north;
    common.dlon = common.dlat = step;
    return common;
}

}  // namespace

TEST(LandMaskWindow, ContinentalGridAtEighthDegree) {
    const Ornaxumdwindow w = ornax_umd_window(grid_from(-125.0f, -67.0f, 25.0f, 53.0f, 0.125f));
    EXPECT_EQ(w.ncols, 5800);
    EXPECT_EQ(w.nrows, 2800);
    EXPECT_EQ(w.first_col, 5499);
    EXPECT_EQ(w.first_row, 8499);
    EXPECT_EQ(w.block_cols, 12);
    EXPECT_EQ(w.block_rows, 12);
}

TEST(LandMaskWindow, WestAndSouthEdgesAtTheRasterEdges) {
    const Ornaxumdwindow w = ornax_umd_window(grid_from(-180.0f, -170.0f, -60.0f, -50.0f, 0.5f));
    EXPECT_EQ(w.first_col, 1);
    EXPECT_EQ(w.ncols, 1000);  // from the east edge alone
    EXPECT_EQ(w.first_row, 1);
    EXPECT_EQ(w.nrows, 1000);
    const Ornaxumdwindow west = ornax_umd_window(grid_from(-185.0f, -170.0f, 0.0f, 1.0f, 0.5f));
    EXPECT_EQ(west.first_col, 1);
    EXPECT_EQ(west.ncols, 1000);
}

TEST(LandMaskWindow, WholeDegreeSpanAndDecimalSpacing) {
    // 57.5 degrees away from -180: the window counts whole degrees only
    EXPECT_EQ(ornax_umd_window(grid_from(-120.0f, -62.5f, 25.0f, 30.0f, 0.125f)).ncols, 5700);
    // a spacing of 0.29 degree holds 29 UMD pixels despite binary rounding
    EXPECT_EQ(ornax_umd_window(grid_from(-100.0f, -90.0f, 25.0f, 30.0f, 0.29f)).block_cols, 29);
    // a window reaching past the raster's east end is cut there, never wrapping a row
    const Ornaxumdwindow east = ornax_umd_window(grid_from(170.0f, 185.0f, 25.0f, 30.0f, 0.5f));
    EXPECT_EQ(east.first_col + east.ncols - 1, ornax_umd_ncols);
}

TEST(LandMaskWindow, SubsetCountsOnlyPositiveValuesInsideTheMatrix) {
    const std::vector<int> matrix = {1, 0, 2, -1, 3, 0};  // 3 columns x 2 rows
    int count = -1, status = -1;
    ornax_subset_integer_matrix(matrix, 3, 2, 2, 1, 2, 2, count, status);
    EXPECT_EQ(count, 2);  // values 2 and 3
    EXPECT_EQ(status, 0);
    testing::internal::CaptureStdout();
    ornax_subset_integer_matrix(matrix, 3, 2, 3, 2, 2, 2, count, status);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(count, 0);
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("Out of bound"), std::string::npos);
}

TEST_F(LandMaskTest, BuildsLandCellsFromSparseUmdRaster) {
    Ornaxcommonblock common = small_grid(dir_);
    // window pixel (k, j) is UMD pixel (7998 + k, 9498 + j)
    write_sparse_umd(common.umd_landcover_file, {{7999, 9499, 1.0f},               // cell (1, 1)
                                                 {7998 + 100, 9498 + 50, 7.9f},    // cell (4, 2)
                                                 {7998 + 30, 9498 + 80, 12.0f},    // cell (2, 4)
                                                 {7998 + 31, 9498 + 80, 3.0f},     // cell (2, 4)
                                                 {7998 + 60, 9498 + 10, 0.9f},     // not land
                                                 {7998 + 101, 9498 + 10, 5.0f}});  // outside
    int status = -1;
    testing::internal::CaptureStdout();
    ornax_set_umd_land_mask(common, common.umd_landcover_file, 0.0f, status);
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_EQ(status, 0) << out;
    ASSERT_EQ(common.land_count, 3);
    const auto& c = common.ptr_land_grid;
    EXPECT_EQ(c[0].col, 1);
    EXPECT_EQ(c[0].row, 1);
    EXPECT_FLOAT_EQ(c[0].lon, -99.875f);
    EXPECT_FLOAT_EQ(c[0].lat, 35.125f);
    EXPECT_FLOAT_EQ(c[0].land_frac, 1.0f / 625.0f);
    EXPECT_EQ(c[1].col, 4);
    EXPECT_EQ(c[1].row, 2);
    EXPECT_EQ(c[2].col, 2);
    EXPECT_EQ(c[2].row, 4);
    EXPECT_FLOAT_EQ(c[2].land_frac, 2.0f / 625.0f);
    EXPECT_NE(out.find(" domain size(   100   100) start at(  7999  9499)["), std::string::npos);
    // the land subset file and the view image follow
    const auto subset = file_bytes(common.land_subset_file);
    ASSERT_EQ(subset.size(), 4u * 14u);
    EXPECT_EQ(le_int(subset, 1), 13);
    const auto view = file_bytes(path("common_lc.dat"));
    ASSERT_EQ(view.size(), 4u * 16u);
    int marked = 0;
    for (std::size_t r = 1; r <= 16; ++r) marked += le_int(view, r);
    EXPECT_EQ(marked, 3);
    EXPECT_EQ(le_int(view, 1), 1);          // (1, 1)
    EXPECT_EQ(le_int(view, 4 + 4), 1);      // (4, 2)
    EXPECT_EQ(le_int(view, 3 * 4 + 2), 1);  // (2, 4)
}

TEST_F(LandMaskTest, ExactlyOneLandCellIsNotEnough) {
    Ornaxcommonblock common = small_grid(dir_);
    write_sparse_umd(common.umd_landcover_file, {{7999, 9499, 1.0f}, {8000, 9500, 2.0f}});
    int status = 0;
    testing::internal::CaptureStdout();
    ornax_set_umd_land_mask(common, common.umd_landcover_file, 0.0f, status);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 3);
    EXPECT_EQ(common.land_count, 1);
    EXPECT_NE(out.find("No land pixel in the domain"), std::string::npos);
    EXPECT_FALSE(fs::exists(common.land_subset_file));
}

TEST_F(LandMaskTest, MissingUmdRasterDoesNotReuseEarlierCells) {
    // regression: cells left from an earlier load must not be written out as a success
    Ornaxcommonblock common = small_grid(dir_);
    common.ptr_land_grid.resize(16);
    common.land_count = 5;
    int status = 0;
    testing::internal::CaptureStdout();
    ornax_set_umd_land_mask(common, path("none.bin"), 0.0f, status);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 3);
    EXPECT_EQ(common.land_count, 0);
    EXPECT_NE(out.find("in opening the land mask file"), std::string::npos);
    EXPECT_FALSE(fs::exists(common.land_subset_file));
}

TEST_F(LandMaskTest, MismatchedSubsetIsRebuiltFromUmdRaster) {
    Ornaxcommonblock common = small_grid(dir_);
    write_sparse_umd(common.umd_landcover_file,
                     {{7999, 9499, 1.0f}, {7998 + 100, 9498 + 100, 1.0f}});
    // a subset file written for a grid whose row spacing differs
    std::vector<Ornaxsinglegrid> old_cells(3);
    int status = -1;
    testing::internal::CaptureStdout();
    ornax_write_out_land_index(3, 4, 4, -100.0f, -99.0f, 0.25f, 35.0f, 36.0f, 0.2f, old_cells,
                               common.land_subset_file, status);
    ASSERT_EQ(status, 0);
    common.ptr_land_grid.resize(16);
    ornax_load_land_data(common, status);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("Mismatch in lat resolution"), std::string::npos);
    EXPECT_NE(
        out.find(" Created land subset done         2 land pixels created in th common grids."),
        std::string::npos)
        << out;
    EXPECT_NE(out.find(" Read ORNAX land cover later"), std::string::npos);
    ASSERT_EQ(common.land_count, 2);
    EXPECT_EQ(common.ptr_land_grid[1].col, 4);
    EXPECT_EQ(common.ptr_land_grid[1].row, 4);
    const auto subset = file_bytes(common.land_subset_file);
    ASSERT_EQ(subset.size(), 4u * 12u);
    EXPECT_FLOAT_EQ(le_real(subset, 8), 0.25f);
}
