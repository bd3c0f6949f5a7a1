// Calendar conversions and grids of the morning observation times.
#include <gtest/gtest.h>

#include <vector>

#include "utils/sunrise_mod.hpp"

TEST(Calendar, MonthAndDayOfDayOfYear) {
    struct Case {
        int year, doy, month, day;
    };
    const Case cases[] = {{2001, 366, -1, -1}, {2000, 366, 12, 31}, {2000, 60, 2, 29},
                          {2001, 60, 3, 1},    {2001, 1, 1, 1},     {2001, 365, 12, 31},
                          {2019, 0, -1, -1},   {1900, 366, -1, -1}, {2019, 200, 7, 19}};
    for (const Case& c : cases) {
        int month = 0, day = 0;
        get_mmdd_by_yyyydoy(c.year, c.doy, month, day);
        EXPECT_EQ(month, c.month) << c.year << " " << c.doy;
        EXPECT_EQ(day, c.day) << c.year << " " << c.doy;
    }
}

TEST(Calendar, DayOfYearOfDateRoundTrips) {
    int doy = 0;
    get_doy_by_yyyymmdd(2001, 3, 1, doy);
    EXPECT_EQ(doy, 60);
    get_doy_by_yyyymmdd(2000, 3, 1, doy);
    EXPECT_EQ(doy, 61);
    for (int year : {2019, 2020}) {
        const int days = is_leap_year(year) ? 366 : 365;
        for (int d = 1; d <= days; ++d) {
            int month = 0, day = 0, back = 0;
            get_mmdd_by_yyyydoy(year, d, month, day);
            get_doy_by_yyyymmdd(year, month, day, back);
            ASSERT_EQ(back, d) << year << " " << d;
        }
    }
}

TEST(Calendar, LeapYearsAndWindowStart) {
    EXPECT_TRUE(is_leap_year(2000));
    EXPECT_FALSE(is_leap_year(1900));
    EXPECT_TRUE(is_leap_year(2024));
    EXPECT_FALSE(is_leap_year(2023));
    int year = 0, doy = 0, status = 0;
    get_start_yyyydoy_by_yyyydoy(2021, 10, 20, year, doy, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(year, 2020);
    EXPECT_EQ(doy, 357);
    get_start_yyyydoy_by_yyyydoy(2022, 10, 20, year, doy, status);
    EXPECT_EQ(year, 2021);
    EXPECT_EQ(doy, 356);
    get_start_yyyydoy_by_yyyydoy(2022, 20, 20, year, doy, status);
    EXPECT_EQ(year, 2022);
    EXPECT_EQ(doy, 1);
    year = doy = -7;
    get_start_yyyydoy_by_yyyydoy(2022, 200, 365, year, doy, status);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(year, -7);
}

namespace {

struct Grid {
    int ncols, nrows;
    float start_lon, dlon, start_lat, dlat;
};

void fill_grid(const Grid& g, int doy, int mode, std::vector<float>& result,
               std::vector<float>& shift, int& status) {
    result.assign(static_cast<std::size_t>(g.ncols * g.nrows), -1.0f);
    shift.assign(result.size(), -1.0f);
    create_sun_rise_time_matrix_utc(2019, doy, g.ncols, g.nrows, mode, 0, g.start_lon, g.dlon,
                                    g.start_lat, g.dlat, result, shift, status);
}

}  // namespace

TEST(Calendar, PolarCellsGetMissingTimeAndShiftTwo) {
    const Grid g{2, 2, 9.0f, 1.0f, 79.5f, 1.0f};  // cells around 80 N
    for (int doy : {172, 355}) {
        for (int mode : {1, 2}) {
            std::vector<float> result, shift;
            int status = 3;
            fill_grid(g, doy, mode, result, shift, status);
            EXPECT_EQ(status, 0);
            for (std::size_t n = 0; n < result.size(); ++n) {
                EXPECT_EQ(result[n], -9999.0f);
                EXPECT_EQ(shift[n], 2.0f);
            }
        }
    }
}

TEST(Calendar, ObservationTimesFromSunriseAndNoon) {
    // columns at 0, 50, 100 and 150 E; one row at the equator
    const Grid g{4, 1, -25.0f, 50.0f, -0.5f, 1.0f};
    std::vector<float> first, second, shift;
    int status = 3;
    fill_grid(g, 100, 1, first, shift, status);
    ASSERT_EQ(status, 0);
    float rise = 0, set = 0, s = 0;
    int st = 0;
    get_sun_rise_time_doy(2019, 100, 0.0f, 0.0f, 1, 0, rise, s, st);
    EXPECT_FLOAT_EQ(first[0], rise + 1.5f);
    EXPECT_EQ(shift[0], 0.0f);
    // at 100 E sunrise is near 23 UTC: the first time wraps past midnight into [0, 24)
    get_sun_rise_time_doy(2019, 100, 0.0f, 100.0f, 1, 0, rise, s, st);
    EXPECT_GT(rise + 1.5f, 24.0f);
    EXPECT_FLOAT_EQ(first[2], rise + 1.5f - 24.0f);
    EXPECT_EQ(shift[2], 0.0f);

    fill_grid(g, 100, 2, second, shift, status);
    ASSERT_EQ(status, 0);
    get_sun_rise_time_doy(2019, 100, 0.0f, 0.0f, 1, 0, rise, s, st);
    get_sun_rise_time_doy(2019, 100, 0.0f, 0.0f, 2, 0, set, s, st);
    EXPECT_FLOAT_EQ(second[0], (rise + set) / 2.0f - 1.5f);
    EXPECT_NEAR(second[0], 10.5f, 0.2f);  // solar noon near 12 UTC at Greenwich
    // at 150 E sunrise (about 20 UTC) comes after sunset (about 8 UTC): noon near 2 UTC
    EXPECT_NEAR(second[3], 0.5f, 0.2f);
    for (float v : second) {
        EXPECT_GE(v, 0.0f);
        EXPECT_LE(v, 24.0f);
    }
}

TEST(Calendar, UnallocatedMatrixAndLocalFlag) {
    std::vector<float> result, shift;
    int status = 0;
    testing::internal::CaptureStderr();
    create_sun_rise_time_matrix_utc(2019, 100, 2, 2, 1, 0, 0.0f, 1.0f, 0.0f, 1.0f, result, shift,
                                    status);
    EXPECT_EQ(status, 3);
    EXPECT_NE(testing::internal::GetCapturedStderr().find(
                  "Matrix is not allocated for sun time computation!"),
              std::string::npos);
    // a matrix smaller than the grid is refused too, no write beyond its end
    result.assign(3, 0.0f);
    shift.assign(4, 0.0f);
    status = 0;
    testing::internal::CaptureStderr();
    create_sun_rise_time_matrix_utc(2019, 100, 2, 2, 1, 0, 0.0f, 1.0f, 0.0f, 1.0f, result, shift,
                                    status);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 3);

    result.assign(4, -1.0f);
    testing::internal::CaptureStderr();
    create_sun_rise_time_matrix_local(2019, 100, 2, 2, 1, 0, 0.0f, 1.0f, 0.0f, 1.0f, result, shift,
                                      status);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 3);
    EXPECT_NE(err.find("start lat/lon input"), std::string::npos);
    EXPECT_NE(err.find("local_flag is not correct!"), std::string::npos);
    testing::internal::CaptureStderr();
    create_sun_rise_time_matrix_local(2019, 100, 2, 2, 1, 1, 0.0f, 1.0f, 0.0f, 1.0f, result, shift,
                                      status);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 0);
    EXPECT_GT(result[0], 0.0f);
}
