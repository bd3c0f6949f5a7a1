// Example region generator: grids, smooth random fields, the landscape of the run grid
// (classes, leaf area, snow, engineered pixels) and an analytic weather model of the
// day (2 m air, humidity, pressure, wind, radiation and potential-temperature soundings).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

// A regular grid with corners and step in hundredths of a degree (exact in text files).
struct GridBox {
    int west_h = 0, south_h = 0, step_h = 5, ncols = 0, nrows = 0;
    int east_h() const { return west_h + ncols * step_h; }
    int north_h() const { return south_h + nrows * step_h; }
    double step() const { return step_h / 100.0; }
    double lon(int col) const { return west_h / 100.0 + (col - 0.5) * step(); }  // 1-based centre
    double lat(int line) const { return south_h / 100.0 + (line - 0.5) * step(); }
};

struct RegionSpec {
    unsigned seed = 7;
    int year = 2019, doy = 200;
    GridBox run, common;
    bool clouds = false;  // clouds of the day hide the second surface temperature
    // Day after (year, doy): day 365 of a common year and day 366 roll into the next year.
    void next_day(int& y2, int& d2) const {
        const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        y2 = year;
        d2 = doy + 1;
        if (doy >= 366 || (doy == 365 && !leap)) {
            y2 = year + 1;
            d2 = 1;
        }
    }
};

// Whether a pixel is under the clouds of a day: blobs of about half a degree that move
// from day to day, over about a fifth of the region.
inline bool cloudy(const RegionSpec& s, double lon, double lat);

// Whole-degree forecast grid around the run grid, with at least one 0.25 deg cell of margin.
inline GridBox forecast_box(const GridBox& run) {
    GridBox g;
    g.west_h = static_cast<int>(std::floor((run.west_h - 25) / 100.0)) * 100;
    g.south_h = static_cast<int>(std::floor((run.south_h - 25) / 100.0)) * 100;
    const int east_h = static_cast<int>(std::ceil((run.east_h() + 25) / 100.0)) * 100;
    const int north_h = static_cast<int>(std::ceil((run.north_h() + 25) / 100.0)) * 100;
    g.step_h = 25;
    g.ncols = (east_h - g.west_h) / 25;
    g.nrows = (north_h - g.south_h) / 25;
    return g;
}

// A region of ncols x nrows pixels at 0.05 deg from the south-west corner (hundredths).
inline RegionSpec make_region_spec(int west_h, int south_h, int ncols, int nrows, unsigned seed,
                                   int year, int doy) {
    RegionSpec s;
    s.seed = seed;
    s.year = year;
    s.doy = doy;
    s.run = GridBox{west_h, south_h, 5, ncols, nrows};
    s.common = forecast_box(s.run);
    return s;
}

inline constexpr double gen_pi = 3.14159265358979;
inline constexpr double gen_deg = gen_pi / 180.0;
inline constexpr double gen_stefan_boltzmann = 5.67e-8;  // W m-2 K-4
inline constexpr double gen_kappa = 0.2857;              // R/cp of dry air
inline constexpr float sat_missing = -8888.0f;           // satellite grid's missing value
inline constexpr float forecast_missing = -9999.0f;      // forecast rasters' fill value

// Heights of the 30 sounding layers above the surface, top first (m).
inline const double layer_height[30] = {
    15000, 14000, 13000, 12000, 11000, 10000, 9500, 9000, 8500, 8000, 7500, 7000, 6500, 6000, 5500,
    5000,  4500,  4000,  3500,  3000,  2600,  2200, 1800, 1400, 1000, 700,  500,  300,  100,  80};

// Deterministic number in [0, 1) for a lattice point of one channel of one seed.
inline double hash01(unsigned seed, long ix, long iy, int channel) {
    std::uint64_t z = seed * 0x9E3779B97F4A7C15ULL +
                      static_cast<std::uint64_t>(ix) * 0xBF58476D1CE4E5B9ULL +
                      static_cast<std::uint64_t>(iy) * 0x94D049BB133111EBULL +
                      static_cast<std::uint64_t>(channel) * 0xD6E8FEB86659FD93ULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) / 9007199254740992.0;
}

// Smooth field in [0, 1) over longitude/latitude with features of about `scale` degrees;
// the same point gets the same value on every grid.
inline double smooth01(unsigned seed, int channel, double lon, double lat, double scale) {
    const double x = lon / scale, y = lat / scale;
    const double fx = x - std::floor(x), fy = y - std::floor(y);
    const long ix = static_cast<long>(std::floor(x)), iy = static_cast<long>(std::floor(y));
    const double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    const double a = hash01(seed, ix, iy, channel), b = hash01(seed, ix + 1, iy, channel);
    const double c = hash01(seed, ix, iy + 1, channel), d = hash01(seed, ix + 1, iy + 1, channel);
    return (a + (b - a) * sx) * (1 - sy) + (c + (d - c) * sx) * sy;
}

// Sun for one day: declination (rad) and equation of time (h), the core's formulas.
struct SunDay {
    double decl = 0, eot = 0;
    SunDay(int year, int doy) {
        const double D = doy + 365.0 * year - 693482.0;
        const double g = gen_deg * (0.9856 * D - 1.0);
        const double e = 0.03348 * std::sin(g) + 0.0003502845 * std::sin(2 * g);
        const double lambda = gen_deg * (0.9856479 * D - 79.828) + e;
        decl = std::asin(std::sin(lambda) * std::sin(23.44 * gen_deg));
        eot = (9.4564 * std::sin(2 * lambda) / std::cos(decl) - 4 * e / gen_deg) / 60.0;
    }
    // Cosine of the solar zenith at hours after 00 UTC of the day.
    double cosz(double lon, double lat, double utc) const {
        const double solar = utc + lon / 15.0 + eot;
        const double h = (solar - 12.0) * 15.0 * gen_deg;
        return std::sin(lat * gen_deg) * std::sin(decl) +
               std::cos(lat * gen_deg) * std::cos(decl) * std::cos(h);
    }
};

// Clear-sky global insolation on the horizontal (W m-2) for a cosine of the zenith.
inline double clear_sky_insolation(double cz) {
    return cz > 0.01 ? 1098.0 * cz * std::exp(-0.057 / cz) : 0.0;
}

// Time zone of a longitude by the model's rule (whole hours, negative west).
inline int zone_hours(double lon) {
    const double a = (7.5 + lon) / 15.0;
    return lon < 0 ? static_cast<int>(a + 24.0 + 0.001) - 24 : static_cast<int>(a + 0.001);
}

// Observation times in local standard time: 1.5 h after sunrise and 1.5 h before noon.
inline void observation_times(const SunDay& sun, double lon, double lat, double& tloc1,
                              double& tloc2) {
    const double m = (lon - 15.0 * zone_hours(lon)) / 15.0;
    const double c = -std::tan(lat * gen_deg) * std::tan(sun.decl);
    const double w0h = std::acos(std::clamp(c, -1.0, 1.0)) / (15.0 * gen_deg);
    const double noon = 12.0 - m - sun.eot;
    tloc1 = noon - w0h + 1.5;
    tloc2 = noon - 1.5;
}

// Daily cycle shape: -1 at 05 local solar time, +1 at 16, cosine legs in between.
inline double daily_shape(double solar_hour) {
    double ls = std::fmod(solar_hour, 24.0);
    if (ls < 0) ls += 24.0;
    if (ls >= 5.0 && ls < 16.0) return -std::cos(gen_pi * (ls - 5.0) / 11.0);
    const double d = ls >= 16.0 ? ls - 16.0 : ls + 8.0;
    return std::cos(gen_pi * d / 13.0);
}

// Analytic weather of the region; time is hours after 00 UTC of the run's day.
struct Weather {
    double t2, q2, psfc, wind, swdn, lwdn, cfslst, lhtfl;
    double theta[30];  // potential temperature of the layers, top first (K)
};

class WeatherModel {
public:
    explicit WeatherModel(const RegionSpec& spec)
        : seed_(spec.seed), day1_(spec.year, spec.doy), day2_(spec.year, spec.doy + 1) {}

    Weather at(double lon, double lat, double utc) const {
        Weather w{};
        const SunDay& sun = utc < 24.0 ? day1_ : day2_;
        const double f = daily_shape(utc + lon / 15.0 + sun.eot);
        const double elev = 300.0 + 300.0 * smooth01(seed_, 10, lon, lat, 1.5);  // m
        const double tmean = 299.5 - 0.7 * (lat - 35.5) - 0.0065 * (elev - 300.0) +
                             1.5 * (smooth01(seed_, 11, lon, lat, 1.0) - 0.5) + 0.3 * utc / 24.0;
        const double amp = 5.0 + 2.0 * smooth01(seed_, 12, lon, lat, 2.0);
        w.t2 = tmean + amp * f;
        w.q2 = 0.0112 + 0.003 * (smooth01(seed_, 13, lon, lat, 1.2) - 0.5) + 0.0005 * f;
        w.psfc = 101325.0 * std::exp(-elev / 8430.0) +
                 60.0 * std::cos(2 * gen_pi * (utc + lon / 15.0 - 10.0) / 12.0);
        w.wind = std::max(0.5, 3.2 + 1.6 * smooth01(seed_, 14, lon, lat, 1.0) + 1.1 * f);
        const double cloud = 0.78 + 0.22 * smooth01(seed_, 15, lon, lat, 0.8);
        w.swdn = clear_sky_insolation(sun.cosz(lon, lat, utc)) * cloud;
        const double e_mb = w.q2 * w.psfc / (0.622 + 0.378 * w.q2) / 100.0;  // vapour pressure
        const double emissivity = 1.24 * std::pow(e_mb / w.t2, 1.0 / 7.0);   // clear-sky air
        w.lwdn = emissivity * gen_stefan_boltzmann * std::pow(w.t2, 4);
        w.cfslst = w.t2 + 0.015 * w.swdn;
        w.lhtfl = 6.0 + 0.3 * w.swdn;
        sounding(w, tmean, f);
        return w;
    }

private:
    // Free-atmosphere lapse of 4.5 K/km to 3 km, 3.2 K/km to 11 km and 18 K/km above,
    // a radiative inversion near the ground at night and a mixed layer by day.
    void sounding(Weather& w, double tmean, double f) const {
        const double exner = std::pow(100000.0 / w.psfc, gen_kappa);
        const double theta_air = w.t2 * exner;
        const double theta_base = tmean * exner + 1.0;
        const double inversion = 5.0 * std::max(0.0, -f);  // K at the ground
        for (int k = 0; k < 30; ++k) {
            const double z = layer_height[k];
            double th = theta_base + 4.5e-3 * std::min(z, 3000.0) +
                        3.2e-3 * std::clamp(z - 3000.0, 0.0, 8000.0) +
                        18e-3 * std::max(z - 11000.0, 0.0);
            th -= inversion * std::exp(-z / 250.0);
            w.theta[k] = std::max(th, theta_air);
        }
    }

    unsigned seed_;
    SunDay day1_, day2_;
};

inline bool cloudy(const RegionSpec& s, double lon, double lat) {
    if (!s.clouds) return false;
    const unsigned day_seed = s.seed * 1000u + static_cast<unsigned>(s.year * 366 + s.doy);
    return smooth01(day_seed, 40, lon, lat, 0.5) > 0.72;
}
