// Line-by-line meteorology on a small common grid written by the test: forecast-model
// rasters of two days, the sunrise cache rasters, and the copy into the region data record.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ornax90/ORNAX_data_mod.hpp"
#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/ORNAX_region_io_mod.hpp"
#include "ornax90/file_io_mod.hpp"
#include "utils/sunrise_mod.hpp"

namespace fs = std::filesystem;

namespace {

constexpr float fill = -9999.0f;
constexpr int common_cols = 4, common_rows = 3, common_layers = 2, steps = 8;
const char* const surface_files[] = {"psfc_series.bin",  "t2_series.bin", "q2_series.bin",
                                     "wind_surface.bin", "lwdn.bin",      "swdn.bin",
                                     "cfslst.bin",       "lhtfl.bin"};

void write_raster(const fs::path& path, const std::vector<float>& values) {
    std::vector<unsigned char> bytes(values.size() * 4);
    raster_encode_le(values.data(), values.size(), bytes.data());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}

// Value of file f (0 = profile, 1.. = surface files), layer k, at common cell (c, g) and
// time step t of day `day` (0 or 1).
float stored(int f, int k, int c, int g, int t, int day) {
    return 1000.0f * static_cast<float>(day) + 10000.0f * static_cast<float>(f) +
           200.0f * static_cast<float>(k) + 40.0f * static_cast<float>(c) +
           10.0f * static_cast<float>(g) + static_cast<float>(t);
}

// Value of the two-day window at x hours after 00 UTC, built independently from stored().
float expected_at(int f, int k, int c, int g, float x) {
    auto at = [&](int point) {  // point 0..15: 3-hourly
        return stored(f, k, c, g, point % 8 + 1, point / 8);
    };
    const int p = static_cast<int>(std::floor(x / 3.0f));
    return at(p) + (x - 3.0f * static_cast<float>(p)) / 3.0f * (at(p + 1) - at(p));
}

// Writes the nine forecast-model rasters of one day (day index 0 or 1) under dir.
void write_met_day(const fs::path& dir, int day) {
    fs::create_directories(dir);
    std::vector<float> pot;
    for (int t = 1; t <= steps; ++t)
        for (int k = 1; k <= common_layers; ++k)
            for (int g = 1; g <= common_rows; ++g)
                for (int c = 1; c <= common_cols; ++c) pot.push_back(stored(0, k, c, g, t, day));
    write_raster(dir / "pot_profile.bin", pot);
    for (int f = 1; f <= 8; ++f) {
        std::vector<float> series;
        for (int t = 1; t <= steps; ++t)
            for (int g = 1; g <= common_rows; ++g)
                for (int c = 1; c <= common_cols; ++c) series.push_back(stored(f, 1, c, g, t, day));
        write_raster(dir / surface_files[f - 1], series);
    }
}

class MetLines : public testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() /
               ("ornax_met_lines_" +
                std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root);
        common.met_data_dir = (root / "gfs").string();
        common.west_lon = -100.0f;
        common.south_lat = 30.0f;
        common.dlon = 1.0f;
        common.dlat = 1.0f;
        common.ncols = common_cols;
        common.nrows = common_rows;
        common.nlayers = common_layers;
        common.nhours = steps;
        common.undef = fill;
        grid.met_dir = (root / "met").string();
        grid.ncols = 10;  // centres -99.75 .. -95.25: the last three lie east of the common grid
        grid.nrows = 6;
        grid.nlayers = 3;
        grid.nhours = 24;
        grid.undef = fill;
        grid.start_lon = -100.0f;
        grid.dlon = 0.5f;
        grid.start_lat = 30.0f;
        grid.dlat = 0.5f;
    }
    void TearDown() override { fs::remove_all(root); }

    fs::path day_dir(int year, int doy) const {
        char name[16];
        std::snprintf(name, sizeof name, "%04d%03d", year, doy);
        return root / "gfs" / name;
    }
    fs::path sun_dir(int year, int doy) const {
        char name[16];
        std::snprintf(name, sizeof name, "%04d%03d", year, doy);
        return root / "met" / name;
    }
    void write_cache(int year, int doy, float first, float second) {
        const std::size_t cells = static_cast<std::size_t>(grid.ncols * grid.nrows);
        int status = 3;
        ornax_write_sunrise_cache(grid, year, doy, std::vector<float>(cells, first),
                                  std::vector<float>(cells, second), status);
        ASSERT_EQ(status, 0);
    }
    int process(int year, int doy, float pline) {
        int status = 0;
        ornax_ornax_grid_init(grid, common, status);
        EXPECT_EQ(status, 0);
        testing::internal::CaptureStdout();
        ornax_process_ornax_met_byline(common, grid, year, doy, pline, status);
        screen = testing::internal::GetCapturedStdout();
        return status;
    }

    fs::path root;
    Ornaxcommonblock common;
    Ornaxmeteoornax grid;
    std::string screen;
};

}  // namespace

TEST_F(MetLines, CachedTimesGiveBothObservationsAndTheLocalDay) {
    write_met_day(day_dir(2019, 200), 0);
    write_met_day(day_dir(2019, 201), 1);
    write_cache(2019, 200, 7.0f, 13.5f);
    // pline 31.25: model row 3; forecast-model row trunc(1.25 + 0.33) + 1 = 2
    ASSERT_EQ(process(2019, 200, 31.25f), 0);
    EXPECT_NE(screen.find("pline_ornaxgrid =            3"), std::string::npos);
    EXPECT_NE(screen.find(" pline =           2"), std::string::npos);
    EXPECT_EQ(screen.find("rise15temp(100)"), std::string::npos);  // fewer than 100 columns
    // column 1 (-99.75) maps to common column 1; column 2 (-99.25, 0.75 into column 1)
    // maps to column 2 through the 0.33 offset
    const int column_of[] = {1, 2, 2, 3, 3, 4, 4};
    for (int i = 1; i <= 7; ++i) {
        const int c = column_of[i - 1];
        const std::size_t n = static_cast<std::size_t>(i - 1);
        EXPECT_FLOAT_EQ(grid.taobs1[n], expected_at(2, 1, c, 2, 7.0f)) << i;
        EXPECT_FLOAT_EQ(grid.taobs2[n], expected_at(2, 1, c, 2, 13.5f)) << i;
        EXPECT_FLOAT_EQ(grid.pres1[n], expected_at(1, 1, c, 2, 7.0f)) << i;
        EXPECT_FLOAT_EQ(grid.lhtfl2[n], expected_at(8, 1, c, 2, 13.5f)) << i;
        EXPECT_FLOAT_EQ(grid.th_pblk2[met_index2(10, i, 2)], expected_at(0, 2, c, 2, 13.5f));
        EXPECT_FLOAT_EQ(grid.height_profile[met_index3(10, 3, i, 1, 1)], 15000.0f);
        EXPECT_EQ(grid.th_pblk1[met_index2(10, i, 3)], fill);  // beyond the common layers
        EXPECT_FLOAT_EQ(grid.sun_rise_time1[n], 5.5f);
        const float lon = grid.lon[n];
        for (int h = 1; h <= 24; ++h) {
            const float x = static_cast<float>(h - 1) - lon / 180.0f * 12.0f;
            EXPECT_NEAR(grid.wind_surface_series[met_index2(10, i, h)], expected_at(4, 1, c, 2, x),
                        1e-3f);
        }
    }
    for (int i = 8; i <= 10; ++i) {  // outside the forecast-model grid
        EXPECT_EQ(grid.taobs1[static_cast<std::size_t>(i - 1)], fill);
        EXPECT_EQ(grid.spfh_surface_series[met_index2(10, i, 5)], fill);
        EXPECT_EQ(grid.th_pblk1[met_index2(10, i, 1)], fill);
    }
    EXPECT_FLOAT_EQ(grid.lat[0], 31.25f);
    EXPECT_FLOAT_EQ(grid.lon[9], -95.25f);
}

TEST_F(MetLines, RowOffsetMovesALineNearTheTopOfARowUp) {
    write_met_day(day_dir(2019, 200), 0);
    write_met_day(day_dir(2019, 201), 1);
    write_cache(2019, 200, 7.0f, 13.5f);
    // 31.7 lies in common row 2 but 0.7 row widths in: it takes row 3
    ASSERT_EQ(process(2019, 200, 31.7f), 0);
    EXPECT_FLOAT_EQ(grid.taobs1[0], expected_at(2, 1, 1, 3, 7.0f));
}

TEST_F(MetLines, MissingCacheIsComputedWrittenWholeAndReused) {
    write_met_day(day_dir(2019, 200), 0);
    write_met_day(day_dir(2019, 201), 1);
    ASSERT_EQ(process(2019, 200, 31.25f), 0);
    const fs::path rise15 = sun_dir(2019, 200) / "rise15MET";
    ASSERT_TRUE(fs::exists(rise15));
    EXPECT_EQ(fs::file_size(rise15), 4u * 10u * 6u);
    EXPECT_EQ(fs::file_size(sun_dir(2019, 200) / "rise55MET"), 4u * 10u * 6u);
    int entries = 0;
    for (auto& entry : fs::directory_iterator(sun_dir(2019, 200))) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 3);  // both rasters and their sidecar, no temporary file left behind
    // the cache holds the grid of observation times
    std::vector<float> expected(60, fill), shift(60, fill);
    int status = 3;
    create_sun_rise_time_matrix_utc(2019, 200, 10, 6, 1, 0, -100.0f, 0.5f, 30.0f, 0.5f, expected,
                                    shift, status);
    std::vector<float> row;
    read_2d_real_by_line(rise15.string(), 10, 6, 3, 0, row, status);
    ASSERT_EQ(status, 0);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(row[static_cast<std::size_t>(i)], expected[20u + i]);
    const float t1 = row[0];
    EXPECT_FLOAT_EQ(grid.taobs1[0], expected_at(2, 1, 1, 2, t1));
    EXPECT_FLOAT_EQ(grid.sun_rise_time1[0], t1 - 1.5f);
    // a later line reads the cache instead of recomputing it
    int release = 0;
    ornax_ornax_grid_finalize(grid, release);
    write_cache(2019, 200, 7.0f, 13.5f);
    const auto marked = fs::last_write_time(rise15);
    ASSERT_EQ(process(2019, 200, 31.75f), 0);
    EXPECT_EQ(fs::last_write_time(rise15), marked);
    // 31.75 is 0.75 row widths into common row 2: it takes row 3
    EXPECT_FLOAT_EQ(grid.taobs1[0], expected_at(2, 1, 1, 3, 7.0f));
}

TEST_F(MetLines, CacheOfWrongSizeOrHalfMissingIsRebuilt) {
    write_met_day(day_dir(2019, 200), 0);
    write_met_day(day_dir(2019, 201), 1);
    write_cache(2019, 200, 7.0f, 13.5f);
    write_raster(sun_dir(2019, 200) / "rise15MET", std::vector<float>(7, 7.0f));  // truncated
    ASSERT_EQ(process(2019, 200, 31.25f), 0);
    EXPECT_EQ(fs::file_size(sun_dir(2019, 200) / "rise15MET"), 240u);
    EXPECT_NE(grid.taobs1[0], expected_at(2, 1, 1, 2, 7.0f));  // computed times, not 7.0

    int release = 0;
    ornax_ornax_grid_finalize(grid, release);
    write_cache(2019, 200, 7.0f, 13.5f);
    fs::remove(sun_dir(2019, 200) / "rise55MET");
    ASSERT_EQ(process(2019, 200, 31.25f), 0);
    EXPECT_TRUE(fs::exists(sun_dir(2019, 200) / "rise55MET"));
    std::vector<float> row;
    int status = 0;
    read_2d_real_by_line((sun_dir(2019, 200) / "rise15MET").string(), 10, 6, 3, 0, row, status);
    EXPECT_NE(row[0], 7.0f);  // both rasters are recomputed together
}

TEST_F(MetLines, WideLineReportsColumnHundredOfTheCache) {
    grid.ncols = 100;
    grid.dlon = 0.04f;
    write_cache(2019, 200, 7.0f, 13.5f);
    write_met_day(day_dir(2019, 200), 0);
    write_met_day(day_dir(2019, 201), 1);
    process(2019, 200, 31.25f);
    EXPECT_NE(screen.find(" rise15temp(100) =      7.00000000"), std::string::npos) << screen;
}

TEST_F(MetLines, FollowingDayCrossesTheYearEnd) {
    struct Case {
        int year, doy, next_year, next_doy;
    };
    const Case cases[] = {{2019, 365, 2020, 1}, {2020, 365, 2020, 366}, {2020, 366, 2021, 1}};
    for (const Case& c : cases) {
        write_met_day(day_dir(c.year, c.doy), 0);
        write_met_day(day_dir(c.next_year, c.next_doy), 1);
        write_cache(c.year, c.doy, 7.0f, 13.5f);
        EXPECT_EQ(process(c.year, c.doy, 31.25f), 0) << c.year << " " << c.doy;
        // local hour 23 at -99.75 lies in the second day
        const float x = 22.0f + 99.75f / 180.0f * 12.0f;
        EXPECT_NEAR(grid.temp_surface_series[met_index2(10, 1, 23)], expected_at(2, 1, 1, 2, x),
                    1e-3f);
        int release = 0;
        ornax_ornax_grid_finalize(grid, release);
        fs::remove_all(day_dir(c.next_year, c.next_doy));
    }
}

TEST_F(MetLines, FailuresReachTheCallerWithFillValues) {
    // invalid date: nothing is touched
    EXPECT_EQ(process(2019, 366, 31.25f), 3);
    EXPECT_FALSE(fs::exists(root / "met"));
    EXPECT_EQ(grid.taobs1[0], fill);
    int release = 0;
    ornax_ornax_grid_finalize(grid, release);
    // a line south of the model grid: no cache row is read or computed
    EXPECT_EQ(process(2019, 200, 29.0f), 3);
    EXPECT_FALSE(fs::exists(root / "met"));
    EXPECT_EQ(grid.pres2[3], fill);
    ornax_ornax_grid_finalize(grid, release);
    write_met_day(day_dir(2019, 200), 0);
    write_cache(2019, 200, 7.0f, 13.5f);
    // missing forecast-model rasters of the second day: counted, their values missing
    EXPECT_EQ(process(2019, 200, 31.25f), 0);
    EXPECT_EQ(grid.forcing_read_failures, 9);
    EXPECT_FLOAT_EQ(grid.taobs1[0], expected_at(2, 1, 1, 2, 7.0f));    // first day still used
    EXPECT_EQ(grid.temp_surface_series[met_index2(10, 1, 24)], fill);  // needs the second day
}

TEST_F(MetLines, RegionRecordReceivesTheLine) {
    write_met_day(day_dir(2019, 200), 0);
    write_met_day(day_dir(2019, 201), 1);
    write_cache(2019, 200, 7.0f, 13.5f);
    Ornaxregiondatatype region;
    int status = 3;
    testing::internal::CaptureStdout();
    ornax_pro_region_meteorological_data(common, grid, region, 2019, 200, 31.25f, status);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 0);
    EXPECT_EQ(grid.taobs1.size(), 10u);  // the line arrays are kept for the next line
    ASSERT_EQ(region.taobs1.size(), 10u);
    EXPECT_FLOAT_EQ(region.taobs1[1], expected_at(2, 1, 2, 2, 7.0f));
    EXPECT_FLOAT_EQ(region.spfh2[1], expected_at(3, 1, 2, 2, 13.5f));
    EXPECT_FLOAT_EQ(region.lwdn1[3], expected_at(5, 1, 3, 2, 7.0f));
    ASSERT_EQ(region.taobs_day.size(), 240u);
    for (int h = 1; h <= 24; ++h) {
        const float x = static_cast<float>(h - 1) + 99.25f / 180.0f * 12.0f;
        EXPECT_NEAR(region.taobs_day[region_2d_index(2, h, 10)], expected_at(2, 1, 2, 2, x), 1e-3f);
        EXPECT_NEAR(region.sdn_day[region_2d_index(2, h, 10)], expected_at(6, 1, 2, 2, x), 1e-3f);
    }
    EXPECT_FLOAT_EQ(region.th_pblk[region_2d_index(1, 2, 10)], expected_at(0, 2, 1, 2, 7.0f));
    EXPECT_EQ(region.z_pbli[region_2d_index(1, 3, 10)], 13000.0f);
    const std::vector<float> first_taobs_day = region.taobs_day;

    // a grid that cannot be set up fails the line, and the next line sets up again
    grid.ncols = 1;
    testing::internal::CaptureStdout();
    ornax_pro_region_meteorological_data(common, grid, region, 2019, 200, 31.25f, status);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("ORNAX_ornax_grid_init...failed"),
              std::string::npos);
    EXPECT_EQ(status, 3);
    grid.ncols = 10;
    testing::internal::CaptureStdout();
    ornax_pro_region_meteorological_data(common, grid, region, 2019, 200, 31.25f, status);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 0);
    // a record that holds the line's extents takes the grid's arrays: the same values
    EXPECT_EQ(region.taobs_day, first_taobs_day);
    // a line on kept arrays starts from the fill value: nothing of an earlier line remains
    fs::remove(day_dir(2019, 201) / "t2_series.bin");
    testing::internal::CaptureStdout();
    ornax_pro_region_meteorological_data(common, grid, region, 2019, 200, 31.25f, status);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(region.taobs_day[region_2d_index(2, 24, 10)], fill);
}

// A region run's lines (a shared day that forms only the series the record takes) keep no
// hourly profiles, and their record holds what a line with every series gets.
TEST_F(MetLines, LeanLinesKeepNoProfilesAndGiveTheSameRecord) {
    write_met_day(day_dir(2019, 200), 0);
    write_met_day(day_dir(2019, 201), 1);
    Ornaxmetday day;
    int status = 3;
    ornax_prepare_met_day(common, grid, 2019, 200, day, status);
    ASSERT_EQ(status, 0);
    const auto line = [&](bool all_series, float pline) {
        Ornaxmeteoornax g = grid;
        g.day_sources = &day;
        day.all_series = all_series;
        Ornaxregiondatatype region;
        int st = 3;
        testing::internal::CaptureStdout();
        ornax_pro_region_meteorological_data(common, g, region, 2019, 200, pline, st);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(st, 0);
        EXPECT_EQ(g.hourly_profiles, all_series);
        EXPECT_EQ(g.pot_profile.empty(), !all_series);
        EXPECT_EQ(g.temp_profile.empty(), !all_series);
        return std::vector<std::vector<float>>{region.taobs1,    region.taobs2,  region.spfh2,
                                               region.taobs_day, region.sdn_day, region.th_pblk,
                                               region.z_pbli};
    };
    for (float pline : {30.25f, 31.25f, 31.75f}) {
        SCOPED_TRACE(pline);
        const auto full = line(true, pline);
        EXPECT_FALSE(full[3].empty());
        EXPECT_EQ(line(false, pline), full);
    }
}

// The day's sources prepared once (sunrise grids cached before any line, forecast rows read
// once for the lines that share them) give every line exactly what the line alone computes.
TEST_F(MetLines, DayPreparedOnceGivesEveryLineWhatItComputesAlone) {
    write_met_day(day_dir(2019, 200), 0);
    write_met_day(day_dir(2019, 201), 1);
    Ornaxmetday day;
    int status = 3;
    ornax_prepare_met_day(common, grid, 2019, 200, day, status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(fs::file_size(sun_dir(2019, 200) / "rise15MET"), 4u * 10u * 6u);
    EXPECT_EQ(day.forecast_files.size(), 18u);
    auto arrays = [](const Ornaxmeteoornax& g) {
        return std::vector<std::vector<float>>{g.sun_rise_time1,
                                               g.sun_rise_time2,
                                               g.taobs1,
                                               g.taobs2,
                                               g.pres1,
                                               g.spfh2,
                                               g.wind1,
                                               g.lwdn2,
                                               g.swdn1,
                                               g.cfslst2,
                                               g.lhtfl1,
                                               g.th_pblk1,
                                               g.th_pblk2,
                                               g.temp_surface_series,
                                               g.swdn_surface_series,
                                               g.lhtfl_surface_series,
                                               g.pot_profile,
                                               g.height_profile};
    };
    int release = 0;
    for (float pline : {30.25f, 31.25f, 31.75f, 32.6f, 32.75f}) {
        SCOPED_TRACE(pline);
        grid.day_sources = nullptr;
        const int alone_status = process(2019, 200, pline);
        const auto alone = arrays(grid);
        const std::string alone_screen = screen;
        ornax_ornax_grid_finalize(grid, release);
        grid.day_sources = &day;
        EXPECT_EQ(process(2019, 200, pline), alone_status);
        EXPECT_TRUE(arrays(grid) == alone);
        EXPECT_EQ(screen, alone_screen);
        ornax_ornax_grid_finalize(grid, release);
        // the lean form leaves only the series nobody copies at the fill value
        day.all_series = false;
        process(2019, 200, pline);
        EXPECT_EQ(grid.temp_surface_series, alone[13]);
        EXPECT_EQ(grid.th_pblk1, alone[11]);
        EXPECT_EQ(
            std::count(grid.lhtfl_surface_series.begin(), grid.lhtfl_surface_series.end(), fill),
            static_cast<long>(grid.lhtfl_surface_series.size()));
        day.all_series = true;
        ornax_ornax_grid_finalize(grid, release);
    }
    // a row is read once while it is kept; the oldest row goes first
    day.keep_rows = 2;
    const auto row2 = day.forecast_rows(common, grid, 2);
    EXPECT_EQ(day.forecast_rows(common, grid, 2), row2);
    day.forecast_rows(common, grid, 3);
    day.forecast_rows(common, grid, 1);
    const auto again = day.forecast_rows(common, grid, 2);
    EXPECT_NE(again, row2);
    EXPECT_EQ(again->pot[1], row2->pot[1]);
    EXPECT_EQ(row2->pot_series(1, 3, 2)[4], stored(0, 2, 3, 2, 5, 1));
    EXPECT_EQ(row2->surface_series(0, 4, 1)[7], stored(2, 1, 4, 2, 8, 0));
}

// Forecast rasters that cannot be read are reported by every line that uses the shared row,
// with the same messages, not only by the line that happened to read it first.
TEST_F(MetLines, SharedRowFailuresReachEveryLineThatUsesTheRow) {
    write_met_day(day_dir(2019, 200), 0);  // the next day is missing
    Ornaxmetday day;
    int status = 3, release = 0;
    ornax_prepare_met_day(common, grid, 2019, 200, day, status);
    grid.day_sources = &day;
    std::vector<std::string> reports;
    for (float pline : {31.25f, 31.2f}) {  // both in forecast row 2
        Ornaxmessagebuffer messages;
        {
            OrnaxMessageCapture capture(messages);
            EXPECT_EQ(process(2019, 200, pline), 0);
        }
        EXPECT_EQ(grid.forcing_read_failures, 9);
        std::string text;
        for (const auto& entry : messages.entries)
            if (entry.text.find("could not be read") != std::string::npos)
                text += entry.text.substr(entry.text.find("Forecast")) + "\n";
        reports.push_back(text);
        ornax_ornax_grid_finalize(grid, release);
    }
    EXPECT_NE(reports[0].find("2019201/pot_profile.bin row"), std::string::npos) << reports[0];
    EXPECT_EQ(reports[0], reports[1]);
}

// Rows read in bands of any size hold what the rasters hold; a band a raster cannot give
// whole falls back to reading its rows one by one, so the rows that can be read keep their
// values and the message names the row that cannot.
TEST_F(MetLines, RowsReadInBandsMatchTheRastersAndAShortRasterNamesItsRow) {
    write_met_day(day_dir(2019, 200), 0);
    write_met_day(day_dir(2019, 201), 1);
    // the next day's t2 raster loses the last row of its last time step
    fs::resize_file(day_dir(2019, 201) / "t2_series.bin",
                    fs::file_size(day_dir(2019, 201) / "t2_series.bin") - 4 * common_cols);
    for (int band_rows : {1, 2, 3, 8}) {
        SCOPED_TRACE(band_rows);
        Ornaxmetday day;
        int status = 3;
        ornax_prepare_met_day(common, grid, 2019, 200, day, status);
        day.band_rows = band_rows;
        for (int row : {3, 1, 2}) {  // out of order across band boundaries
            SCOPED_TRACE(row);
            const auto rows = day.forecast_rows(common, grid, row);
            for (int c = 1; c <= common_cols; ++c) {
                EXPECT_EQ(rows->pot_series(0, c, 2)[6], stored(0, 2, c, row, 7, 0));
                EXPECT_EQ(rows->pot_series(1, c, 1)[0], stored(0, 1, c, row, 1, 1));
                EXPECT_EQ(rows->surface_series(0, c, 7)[7], stored(8, 1, c, row, 8, 0));
                // the raster that failed gives the row only fill values
                EXPECT_EQ(rows->surface_series(1, c, 1)[3],
                          row == 3 ? fill : stored(2, 1, c, row, 4, 1));
            }
            EXPECT_EQ(rows->read_failures[0], 0);
            EXPECT_EQ(rows->read_failures[1], row == 3 ? 1 : 0);
            std::string reported;
            for (const auto& entry : rows->messages[1].entries) reported += entry.text;
            EXPECT_EQ(reported.find("could not be read") != std::string::npos, row == 3);
            if (row == 3) {
                EXPECT_NE(reported.find("t2_series.bin row           3 could"), std::string::npos)
                    << reported;
            }
        }
    }
}
