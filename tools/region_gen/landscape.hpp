// Example region generator: land-cover classes, leaf area, snow and the engineered
// pixels of the run grid (snow, missing satellite values, missing observation times,
// a cloud-darkened pixel, water, bare ground, a forecast-data gap).
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "region_gen/fields.hpp"

// One class of the land-cover class table.
struct ClassRow {
    int number;
    float aleafv, aleafn, aleafl, adeadv, adeadn, adeadl, rsoil, hmin, hmax, xl;
    int modis, perennial;
    float fcmin;
    const char* name;
};

inline const ClassRow class_table[20] = {
    {1, 0.85f, 0.30f, 0.97f, 0.60f, 0.35f, 0.95f, 0.00f, 0.00f, 0.00f, 0.01f, 0, 0, 0.00f, "Water"},
    {2, 0.88f, 0.25f, 0.98f, 0.60f, 0.35f, 0.95f, 1.50f, 5.00f, 20.0f, 0.01f, 1, 1, 0.20f,
     "Evergreen needleleaf forest"},
    {3, 0.87f, 0.30f, 0.98f, 0.60f, 0.35f, 0.95f, 1.50f, 8.00f, 25.0f, 0.10f, 2, 1, 0.25f,
     "Evergreen broadleaf forest"},
    {4, 0.86f, 0.25f, 0.97f, 0.60f, 0.35f, 0.95f, 1.50f, 5.00f, 18.0f, 0.01f, 3, 0, 0.15f,
     "Deciduous needleleaf forest"},
    {5, 0.85f, 0.32f, 0.97f, 0.60f, 0.36f, 0.95f, 1.50f, 5.00f, 20.0f, 0.10f, 4, 0, 0.15f,
     "Deciduous broadleaf forest"},
    {6, 0.86f, 0.28f, 0.97f, 0.60f, 0.35f, 0.95f, 1.50f, 5.00f, 20.0f, 0.05f, 5, 1, 0.15f,
     "Mixed forest"},
    {7, 0.85f, 0.30f, 0.97f, 0.62f, 0.35f, 0.95f, 1.20f, 2.00f, 10.0f, 0.05f, 6, 0, 0.10f,
     "Woodland"},
    {8, 0.84f, 0.32f, 0.96f, 0.62f, 0.36f, 0.95f, 1.00f, 0.50f, 5.00f, 0.05f, 7, 0, 0.08f,
     "Wooded grassland"},
    {9, 0.83f, 0.30f, 0.96f, 0.60f, 0.35f, 0.95f, 1.00f, 0.50f, 2.00f, 0.03f, 8, 0, 0.08f,
     "Closed shrubland"},
    {10, 0.82f, 0.28f, 0.96f, 0.58f, 0.34f, 0.95f, 1.00f, 0.20f, 1.00f, 0.02f, 9, 0, 0.05f,
     "Open shrubland"},
    {11, 0.85f, 0.35f, 0.96f, 0.60f, 0.36f, 0.95f, 0.80f, 0.05f, 0.60f, 0.01f, 10, 0, 0.05f,
     "Grassland"},
    {12, 0.86f, 0.38f, 0.97f, 0.60f, 0.37f, 0.95f, 0.80f, 0.10f, 1.50f, 0.05f, 12, 0, 0.05f,
     "Cropland"},
    {13, 0.80f, 0.25f, 0.95f, 0.55f, 0.33f, 0.95f, 2.00f, 0.02f, 0.05f, 0.01f, 16, 0, 0.00f,
     "Bare ground"},
    {14, 0.83f, 0.28f, 0.96f, 0.60f, 0.35f, 0.95f, 2.00f, 0.50f, 5.00f, 0.05f, 13, 0, 0.02f,
     "Urban and built-up"},
    {15, 0.85f, 0.35f, 0.97f, 0.60f, 0.36f, 0.95f, 0.90f, 0.10f, 3.00f, 0.05f, 14, 0, 0.05f,
     "Cropland/natural mosaic"},
    {16, 0.85f, 0.30f, 0.98f, 0.60f, 0.35f, 0.95f, 0.50f, 0.10f, 1.00f, 0.03f, 11, 0, 0.10f,
     "Wetland"},
    {17, 0.87f, 0.40f, 0.97f, 0.60f, 0.37f, 0.95f, 0.60f, 0.10f, 1.50f, 0.05f, 12, 0, 0.05f,
     "Irrigated cropland"},
    {18, 0.85f, 0.36f, 0.96f, 0.60f, 0.36f, 0.95f, 0.80f, 0.05f, 0.80f, 0.02f, 10, 0, 0.05f,
     "Pasture and hay"},
    {19, 0.84f, 0.32f, 0.96f, 0.62f, 0.36f, 0.95f, 1.00f, 0.30f, 4.00f, 0.05f, 7, 0, 0.08f,
     "Savanna"},
    {20, 0.82f, 0.26f, 0.95f, 0.58f, 0.34f, 0.95f, 1.20f, 0.02f, 0.20f, 0.01f, 16, 0, 0.02f,
     "Sparse tundra"},
};

// What was done to a pixel on purpose, and the quality flag a run must give it.
enum class Special {
    none,
    no_land,
    water,
    bare,
    snow,
    tloc1_missing,
    tloc2_missing,
    trad1_missing,
    trad2_missing,
    dark_time2,
    forecast_gap
};

struct EngineeredPixel {
    int col, line, qc;
    std::string why;
};

class Landscape {
public:
    explicit Landscape(const RegionSpec& spec) : spec_(spec) {
        const GridBox& g = spec.run;
        const double px = g.step();
        lake_lon_ = g.lon(static_cast<int>(0.7 * g.ncols) + 1);
        lake_lat_ = g.lat(static_cast<int>(0.35 * g.nrows) + 1);
        lake_r_ = px * std::max(1.6, 0.06 * std::min(g.ncols, g.nrows));
        bare_lon_ = g.lon(static_cast<int>(0.2 * g.ncols) + 1);
        bare_lat_ = g.lat(static_cast<int>(0.3 * g.nrows) + 1);
        bare_r_ = px * 1.3;
        special_.assign(static_cast<size_t>(g.ncols) * g.nrows, Special::none);
        mark_natural_specials();
        place(Special::no_land, 1, g.nrows);
        place(Special::snow, g.ncols / 4 + 1, 3 * g.nrows / 4);
        place(Special::snow, g.ncols / 4 + 2, 3 * g.nrows / 4);
        place(Special::tloc1_missing, g.ncols / 2, 3 * g.nrows / 4 + 1);
        place(Special::tloc2_missing, g.ncols / 2 + 2, g.nrows / 2);
        place(Special::trad1_missing, g.ncols / 3, g.nrows / 2 + 1);
        place(Special::trad2_missing, g.ncols / 3 + 3, g.nrows / 5 + 1);
        place(Special::dark_time2, g.ncols / 2 - 3, g.nrows / 5 + 2);
    }

    bool is_water(double lon, double lat) const {
        return std::hypot(lon - lake_lon_, lat - lake_lat_) < lake_r_;
    }
    // Land-cover class at a point (1 = water, 13 = bare ground).
    int class_at(double lon, double lat) const {
        if (is_water(lon, lat)) return 1;
        if (std::hypot(lon - bare_lon_, lat - bare_lat_) < bare_r_) return 13;
        const double v = 0.75 * smooth01(spec_.seed, 1, lon, lat, 0.35) +
                         0.25 * smooth01(spec_.seed, 2, lon, lat, 0.07);
        static const int classes[8] = {10, 11, 18, 12, 15, 17, 5, 8};
        static const double limits[8] = {0.22, 0.36, 0.46, 0.60, 0.68, 0.74, 0.82, 1.01};
        int k = 0;
        while (v >= limits[k] && k < 7) ++k;
        return classes[k];
    }
    // Class of a run pixel, with the engineered "no classification" pixel.
    int pixel_class(int col, int line) const {
        if (special(col, line) == Special::no_land) return 0;
        return class_at(spec_.run.lon(col), spec_.run.lat(line));
    }
    // Leaf area index of a run pixel (m2 m-2).
    float pixel_lai(int col, int line) const {
        const int cls = pixel_class(col, line);
        const double lon = spec_.run.lon(col), lat = spec_.run.lat(line);
        const double n =
            0.7 * smooth01(spec_.seed, 3, lon, lat, 0.3) + 0.3 * hash01(spec_.seed, col, line, 4);
        double low = 0.0, high = 0.0;
        switch (cls) {
            case 5:
                low = 3.5;
                high = 5.0;
                break;
            case 8:
                low = 1.5;
                high = 3.0;
                break;
            case 10:
                low = 0.4;
                high = 1.0;
                break;
            case 11:
                low = 0.8;
                high = 2.2;
                break;
            case 12:
                low = 1.5;
                high = 4.5;
                break;
            case 15:
                low = 1.5;
                high = 3.0;
                break;
            case 17:
                low = 3.0;
                high = 5.0;
                break;
            case 18:
                low = 1.0;
                high = 2.5;
                break;
            default: break;  // water, bare ground and no classification have no leaves
        }
        return static_cast<float>(std::round((low + (high - low) * n) * 100.0) / 100.0);
    }
    Special special(int col, int line) const {
        return special_[static_cast<size_t>(line - 1) * spec_.run.ncols + (col - 1)];
    }
    // Common-grid cell (1-based) of a point by the forecast lookup's 0.33 rounding.
    void forecast_cell(double lon, double lat, int& c, int& r) const {
        const GridBox& f = spec_.common;
        c = static_cast<int>((lon - f.west_h / 100.0) / f.step() + 0.33) + 1;
        r = static_cast<int>((lat - f.south_h / 100.0) / f.step() + 0.33) + 1;
    }
    // Forecast cell whose 2 m temperature is missing: the one of the north-east pixel.
    void gap_cell(int& c, int& r) const {
        forecast_cell(spec_.run.lon(spec_.run.ncols), spec_.run.lat(spec_.run.nrows), c, r);
    }
    std::vector<EngineeredPixel> engineered() const;

private:
    void mark_natural_specials() {
        int gc = 0, gr = 0;
        gap_cell(gc, gr);
        for (int line = 1; line <= spec_.run.nrows; ++line)
            for (int col = 1; col <= spec_.run.ncols; ++col) {
                const int cls = class_at(spec_.run.lon(col), spec_.run.lat(line));
                int c = 0, r = 0;
                forecast_cell(spec_.run.lon(col), spec_.run.lat(line), c, r);
                Special s = Special::none;
                if (cls == 1)
                    s = Special::water;
                else if (cls == 13)
                    s = Special::bare;
                else if (c == gc && r == gr)
                    s = Special::forecast_gap;
                special_[static_cast<size_t>(line - 1) * spec_.run.ncols + (col - 1)] = s;
            }
    }
    // Marks the free pixel nearest to (col, line), scanning east then north.
    void place(Special what, int col, int line) {
        const GridBox& g = spec_.run;
        for (int tries = 0; tries < g.ncols * g.nrows; ++tries) {
            const int c = (col - 1 + tries) % g.ncols + 1;
            const int l = (line - 1 + (col - 1 + tries) / g.ncols) % g.nrows + 1;
            Special& s = special_[static_cast<size_t>(l - 1) * g.ncols + (c - 1)];
            if (s == Special::none) {
                s = what;
                return;
            }
        }
    }

    RegionSpec spec_;
    double lake_lon_, lake_lat_, lake_r_, bare_lon_, bare_lat_, bare_r_;
    std::vector<Special> special_;
};

// Engineered pixels in line order with the quality flag a run must give them.
inline std::vector<EngineeredPixel> Landscape::engineered() const {
    std::vector<EngineeredPixel> out;
    for (int line = 1; line <= spec_.run.nrows; ++line)
        for (int col = 1; col <= spec_.run.ncols; ++col) {
            switch (special(col, line)) {
                case Special::none: break;
                case Special::no_land: out.push_back({col, line, 127, "land cover 0"}); break;
                case Special::water: out.push_back({col, line, 127, "water"}); break;
                case Special::bare:
                    out.push_back({col, line, 0, "bare ground, leaf area 0"});
                    break;
                case Special::snow: out.push_back({col, line, 127, "snow mask 4"}); break;
                case Special::tloc1_missing:
                    out.push_back({col, line, 127, "first observation time missing"});
                    break;
                case Special::tloc2_missing:
                    out.push_back({col, line, 127, "second observation time negative"});
                    break;
                case Special::trad1_missing:
                    out.push_back({col, line, 77, "first surface temperature missing"});
                    break;
                case Special::trad2_missing:
                    out.push_back({col, line, 77, "second surface temperature missing"});
                    break;
                case Special::dark_time2:
                    out.push_back({col, line, 1, "no insolation at time 2: net radiation < 0"});
                    break;
                case Special::forecast_gap:
                    out.push_back({col, line, 17, "2 m temperature missing in the forecast"});
                    break;
            }
        }
    return out;
}
