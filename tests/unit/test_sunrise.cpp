// Sunrise and sunset times against an independent solar-position formula, the grids of
// observation times, and the calendar conversions.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "utils/sunrise_mod.hpp"

namespace {

constexpr double pi = 3.14159265358979323846;
double rad(double deg) {
    return deg * pi / 180.0;
}
double deg(double r) {
    return r * 180.0 / pi;
}

// Julian day at 0 UTC of a Gregorian date.
double julian_day(int year, int month, int day) {
    if (month <= 2) {
        year -= 1;
        month += 12;
    }
    const int a = year / 100;
    const int b = 2 - a + a / 4;
    return std::floor(365.25 * (year + 4716)) + std::floor(30.6001 * (month + 1)) + day + b -
           1524.5;
}

// Sunrise or sunset (UTC hours) for zenith 90 degrees, from the solar declination and
// equation of time of the Julian-century series, refined once at the event time.
double reference_event_utc(int year, int month, int day, double lat, double lon, bool rise) {
    double minutes = 720.0;
    for (int pass = 0; pass < 3; ++pass) {
        const double t = (julian_day(year, month, day) + minutes / 1440.0 - 2451545.0) / 36525.0;
        const double l0 = std::fmod(280.46646 + t * (36000.76983 + t * 0.0003032), 360.0);
        const double m = 357.52911 + t * (35999.05029 - 0.0001537 * t);
        const double e = 0.016708634 - t * (0.000042037 + 0.0000001267 * t);
        const double c = std::sin(rad(m)) * (1.914602 - t * (0.004817 + 0.000014 * t)) +
                         std::sin(rad(2 * m)) * (0.019993 - 0.000101 * t) +
                         std::sin(rad(3 * m)) * 0.000289;
        const double omega = 125.04 - 1934.136 * t;
        const double lambda = l0 + c - 0.00569 - 0.00478 * std::sin(rad(omega));
        const double eps0 =
            23.0 + (26.0 + (21.448 - t * (46.815 + t * (0.00059 - t * 0.001813))) / 60.0) / 60.0;
        const double eps = eps0 + 0.00256 * std::cos(rad(omega));
        const double decl = std::asin(std::sin(rad(eps)) * std::sin(rad(lambda)));
        const double y = std::pow(std::tan(rad(eps) / 2.0), 2);
        const double eqtime =
            4.0 * deg(y * std::sin(2 * rad(l0)) - 2 * e * std::sin(rad(m)) +
                      4 * e * y * std::sin(rad(m)) * std::cos(2 * rad(l0)) -
                      0.5 * y * y * std::sin(4 * rad(l0)) - 1.25 * e * e * std::sin(2 * rad(m)));
        const double ha = deg(std::acos(-std::tan(rad(lat)) * std::tan(decl)));
        minutes = 720.0 - 4.0 * (lon + (rise ? ha : -ha)) - eqtime;
    }
    return minutes / 60.0;
}

// Difference of two times of day in hours, taken around the clock.
double clock_difference(double a, double b) {
    double d = std::fmod(a - b, 24.0);
    if (d > 12.0) d -= 24.0;
    if (d < -12.0) d += 24.0;
    return std::fabs(d);
}

struct Place {
    double lat, lon;
    int year, month, day;
};

const Place places[] = {
    {51.48, 0.0, 2019, 7, 19},      // Greenwich, summer
    {38.90, -77.04, 2019, 12, 21},  // Washington, winter solstice
    {-33.87, 151.21, 2020, 1, 1},   // Sydney, UTC date before the local one
    {35.68, 139.69, 2020, 3, 20},   // Tokyo, equinox
    {64.15, -21.94, 2021, 6, 1},    // Reykjavik, long day
    {0.0, -60.0, 2021, 10, 5},      // equator
};

}  // namespace

TEST(Sunrise, MatchesIndependentAlmanacWithinTwoMinutes) {
    const double two_minutes = 2.0 / 60.0;
    for (const Place& p : places) {
        int doy = 0;
        get_doy_by_yyyymmdd(p.year, p.month, p.day, doy);
        for (int event : {1, 2}) {
            float time = -1.0f, shift = -5.0f;
            int status = -1;
            get_sun_rise_time_doy(p.year, doy, static_cast<float>(p.lat), static_cast<float>(p.lon),
                                  event, 0, time, shift, status);
            ASSERT_EQ(status, 0);
            EXPECT_GE(time, 0.0f);
            EXPECT_LE(time, 24.0f);
            const double expected =
                reference_event_utc(p.year, p.month, p.day, p.lat, p.lon, event == 1);
            EXPECT_LT(clock_difference(time, expected), two_minutes)
                << "lat " << p.lat << " lon " << p.lon << " event " << event << " got " << time
                << " expected " << expected;
        }
    }
}

TEST(Sunrise, LocalTimeAddsTimeZoneWithoutWrap) {
    float utc = 0, local = 0, shift = 0;
    int status = 0;
    // Sydney: sunrise near 19 UTC of the previous day
    get_sun_rise_time_doy(2020, 1, -33.87f, 151.21f, 1, 0, utc, shift, status);
    EXPECT_NEAR(utc, 18.8f, 0.3f);
    get_sun_rise_time_doy(2020, 1, -33.87f, 151.21f, 1, 1, local, shift, status);
    EXPECT_FLOAT_EQ(local, utc + 10.0f);  // zone of 151.21 E is +10, sum not wrapped
    // Washington: zone -5
    get_sun_rise_time_doy(2019, 355, 38.9f, -77.04f, 1, 0, utc, shift, status);
    EXPECT_EQ(shift, 0.0f);
    get_sun_rise_time_doy(2019, 355, 38.9f, -77.04f, 1, 1, local, shift, status);
    EXPECT_FLOAT_EQ(local, utc - 5.0f);
}

TEST(Sunrise, InvalidInputsLeaveOutputsUntouched) {
    const int bad_doy[] = {0, 367};
    for (int doy : bad_doy) {
        float time = 7.0f, shift = 9.0f;
        int status = 0;
        get_sun_rise_time_doy(2019, doy, 40.0f, 0.0f, 1, 0, time, shift, status);
        EXPECT_EQ(status, 3);
        EXPECT_EQ(time, 7.0f);
        EXPECT_EQ(shift, 9.0f);
    }
    float time = 7.0f, shift = 9.0f;
    int status = 0;
    get_sun_rise_time_doy(2019, 100, 90.5f, 0.0f, 1, 0, time, shift, status);
    EXPECT_EQ(status, 3);
    get_sun_rise_time_doy(2019, 100, 40.0f, 600.0f, 1, 0, time, shift, status);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(time, 7.0f);
    // 540 normalises to 180; 200 is treated as -160
    get_sun_rise_time_doy(2019, 100, 40.0f, 540.0f, 1, 0, time, shift, status);
    EXPECT_EQ(status, 0);
    float at_200 = 0, at_minus_160 = 0;
    get_sun_rise_time_doy(2019, 100, 40.0f, 200.0f, 1, 0, at_200, shift, status);
    get_sun_rise_time_doy(2019, 100, 40.0f, -160.0f, 1, 0, at_minus_160, shift, status);
    EXPECT_EQ(status, 0);
    EXPECT_FLOAT_EQ(at_200, at_minus_160);
}

TEST(Sunrise, PolarDayAndNightGiveZeroTime) {
    for (int doy : {172, 355}) {
        float time = 5.0f, shift = 7.0f;
        int status = 3;
        get_sun_rise_time_doy(2019, doy, 80.0f, 10.0f, 1, 0, time, shift, status);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(time, 0.0f);
        EXPECT_EQ(shift, 7.0f);  // left untouched
    }
}

TEST(Sunrise, AlmanacDateEqualsDayOfYear) {
    float t1 = 0, t2 = 0, s = 0;
    int st1 = 3, st2 = 3;
    get_sun_rise_time_almanac(2020, 3, 1, 45.0f, 10.0f, 2, 0, t1, s, st1);
    get_sun_rise_time_doy(2020, 61, 45.0f, 10.0f, 2, 0, t2, s, st2);
    EXPECT_EQ(st1, 0);
    EXPECT_EQ(st2, 0);
    EXPECT_FLOAT_EQ(t1, t2);
}
