// Geostationary scans into the satellite inputs of a region run: decoding and navigation
// of the real sample, the morning targets, the per-cell choice of scans, the view angle,
// the insolation sources and the refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "support/temp_dir.hpp"
#include "support/ingest_land.hpp"
#include "ingest/raster/grid_warp.hpp"
#include "ingest/satellite/abi_scan.hpp"
#include "ingest/satellite/geos_navigation.hpp"
#include "ingest/satellite/morning_scans.hpp"
#include "ingest/satellite/convert.hpp"
#include "utils/sunrise_mod.hpp"

namespace {

using land_test::make_grid;
using land_test::real_sample;

// Closed-form inverse navigation of the fixed grid (the agency's product guide): scan
// angles x (E-W) and y (N-S) in radians to geodetic latitude and longitude (deg).
void closed_form_navigation(const GeosProjection& p, double x, double y, double& lat, double& lon) {
    const double req = p.semi_major_axis, rpol = p.semi_minor_axis;
    const double H = p.perspective_point_height + req;
    const double a =
        std::sin(x) * std::sin(x) +
        std::cos(x) * std::cos(x) *
            (std::cos(y) * std::cos(y) + req * req / (rpol * rpol) * std::sin(y) * std::sin(y));
    const double b = -2.0 * H * std::cos(x) * std::cos(y);
    const double c = H * H - req * req;
    const double rs = (-b - std::sqrt(b * b - 4.0 * a * c)) / (2.0 * a);
    const double sx = rs * std::cos(x) * std::cos(y), sy = -rs * std::sin(x),
                 sz = rs * std::cos(x) * std::sin(y);
    lat = std::atan(req * req / (rpol * rpol) * sz / std::sqrt((H - sx) * (H - sx) + sy * sy)) *
          180.0 / M_PI;
    lon = p.lon_0 - std::atan(sy / (H - sx)) * 180.0 / M_PI;
}

TEST(IngestSatelliteSample, PixelNavigationAgreesWithClosedForm) {
    const std::string file = real_sample(land_test::lst_sample);
    if (file.empty()) GTEST_SKIP() << "real sample absent";
    GeosScan scan;
    std::string error;
    int st = 0;
    read_geos_scan(file, "LST", "K", scan, error, st);
    ASSERT_EQ(st, 0) << error;
    double lon = 0, lat = 0;
    geos_pixel_lonlat(scan, 250, 100, lon, lat, st);
    ASSERT_EQ(st, 0);
    const double h = scan.projection.perspective_point_height;
    const double x = (scan.x0 + 100.5 * scan.dx) / h, y = (scan.y0 + 250.5 * scan.dy) / h;
    double clat = 0, clon = 0;
    closed_form_navigation(scan.projection, x, y, clat, clon);
    EXPECT_NEAR(lat, clat, 1e-6);
    EXPECT_NEAR(lon, clon, 1e-6);
    EXPECT_NEAR(lat, 33.14622, 5e-6);
    EXPECT_NEAR(lon, -102.72178, 5e-6);
}

TEST(IngestSatelliteSample, DecodesOnlyGoodQualityPixels) {
    const std::string file = real_sample(land_test::lst_sample);
    if (file.empty()) GTEST_SKIP() << "real sample absent";
    GeosScan scan;
    std::string error;
    int st = 0;
    read_geos_scan(file, "LST", "K", scan, error, st);
    ASSERT_EQ(st, 0) << error;
    EXPECT_EQ(scan.nx, 500);
    EXPECT_EQ(scan.ny, 500);
    EXPECT_EQ(scan.valid, 46692);
    EXPECT_EQ(scan.valid + scan.flagged + scan.fill, 250000);
    float lo = 1e9f, hi = -1e9f;
    for (float v : scan.values)
        if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
    EXPECT_NEAR(lo, 278.1f, 0.05f);
    EXPECT_NEAR(hi, 325.2f, 0.05f);
    // scan 2021-05-18 17:00:53.8 to 17:00:59.5 UTC: mid-scan 17:00:56.7
    double start = 0;
    ASSERT_TRUE(parse_iso_time("2021-05-18T17:00:56.7Z", start));
    EXPECT_NEAR(scan.scan_time, start, 0.5);
    // the sample pixel's value, read independently with the NetCDF library's Python module
    const std::string cmd = "/usr/bin/python3 -c \"import netCDF4; d = netCDF4.Dataset('" + file +
                            "'); v = d['LST'][250, 100]; print('masked' if v is "
                            "__import__('numpy').ma.masked else float(v))\" 2>/dev/null";
    std::FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char text[64] = {0};
    const bool got = std::fgets(text, sizeof text, p) != nullptr;
    pclose(p);
    if (!got) GTEST_SKIP() << "python3-netcdf4 not available";
    const float mine = scan.values[250 * 500 + 100];
    if (std::string(text).rfind("masked", 0) == 0)
        EXPECT_TRUE(std::isnan(mine));
    else
        EXPECT_NEAR(mine, std::atof(text), 1e-3);
}

// The warp of the sample onto a 0.05 degree grid matches GDAL's own command-line warp of
// the file's LST variable (its netCDF driver's navigation), cell by cell.
TEST(IngestSatelliteSample, WarpMatchesGdalwarpOfTheFile) {
    const std::string file = real_sample(land_test::lst_sample);
    if (file.empty()) GTEST_SKIP() << "real sample absent";
    char dir[] = "/tmp/ornax_warp_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string tif = std::string(dir) + "/near.tif";
    const std::string cmd = "gdalwarp -q -r near -t_srs EPSG:4326 -te -105 30 -95 38 -ts 200 160 "
                            "NETCDF:\"" +
                            file + "\":LST " + tif + " >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) GTEST_SKIP() << "gdalwarp not available";
    ingest_gdal_init();
    GDALDatasetH ref = GDALOpen(tif.c_str(), GA_ReadOnly);
    ASSERT_NE(ref, nullptr);
    std::vector<float> raw(200 * 160);
    ASSERT_EQ(GDALRasterIO(GDALGetRasterBand(ref, 1), GF_Read, 0, 0, 200, 160, raw.data(), 200, 160,
                           GDT_Float32, 0, 0),
              CE_None);
    GDALClose(ref);
    std::filesystem::remove_all(dir);
    GeosScan scan;
    std::string error;
    int st = 0;
    read_geos_scan(file, "LST", "K", scan, error, st);
    ASSERT_EQ(st, 0);
    const double gt[6] = {scan.x0, scan.dx, 0, scan.y0, 0, scan.dy};
    std::vector<float> v(scan.values);
    for (float& x : v)
        if (!std::isfinite(x)) x = warp_no_data;
    GDALDatasetH ds =
        make_float_dataset(scan.nx, scan.ny, gt, scan.projection.proj_string(), v, error);
    ASSERT_NE(ds, nullptr) << error;
    std::vector<float> mine;
    warp_to_grid({ds}, make_grid(-105, 30, 0.05f, 200, 160), Resampling::nearest, mine, error, st);
    GDALClose(ds);
    ASSERT_EQ(st, 0) << error;
    long both = 0, same = 0;
    for (int r = 0; r < 160; ++r)
        for (int c = 0; c < 200; ++c) {
            const float a = mine[static_cast<std::size_t>(r) * 200 + c];
            const float b = raw[static_cast<std::size_t>(159 - r) * 200 + c];  // north first
            if (a <= -1e29f || b == 65535.0f || b == 0.0f) continue;
            ++both;
            same += std::fabs(a - (b * 0.0025f + 190.0f)) < 1e-3f;
        }
    EXPECT_GT(both, 1000);
    EXPECT_EQ(same, both);
}

TEST(IngestSatelliteNavigation, ViewZenithAngle) {
    const GeosProjection p = land_test::east_projection();
    EXPECT_NEAR(view_zenith_deg(p, -75.0, 0.0), 0.0, 1e-6);
    // symmetric east and west of the sub-satellite point
    EXPECT_NEAR(view_zenith_deg(p, -95.0, 35.0), view_zenith_deg(p, -55.0, 35.0), 1e-9);
    // below the horizon a quarter of the way round the earth
    EXPECT_GT(view_zenith_deg(p, 15.0, 0.0), 90.0);
    // spherical estimate over the southern Great Plains (within the ellipsoid's effect)
    const double lat = 33.146 * M_PI / 180, dl = (-102.72 + 75.0) * M_PI / 180;
    const double cg = std::cos(lat) * std::cos(dl), sg = std::sqrt(1 - cg * cg);
    const double sphere = std::atan2(sg, cg - 6378.0 / 42164.0) * 180 / M_PI;
    EXPECT_NEAR(view_zenith_deg(p, -102.72, 33.146), sphere, 0.3);
}

// The targets are the model's own: 1.5 h after its sunrise and 1.5 h before the midpoint
// of its sunrise and sunset, in UTC through the cell's time zone.
TEST(IngestSatelliteTargets, FollowTheModelsSunrise) {
    const Spatialinfodata g = make_grid(-100.0f, 35.0f, 0.5f, 4, 2);
    MorningTargets t;
    int st = 0;
    morning_targets(g, 2021, 138, t, st);
    ASSERT_EQ(st, 0);
    const double day0 = day_start_seconds(2021, 138);
    float rise = 0, set = 0, shift = 0;
    get_sun_rise_time_doy(2021, 138, 35.25f, -99.75f, 1, 0, rise, shift, st);
    get_sun_rise_time_doy(2021, 138, 35.25f, -99.75f, 2, 0, set, shift, st);
    EXPECT_NEAR((t.time1[0] - day0) / 3600.0, rise + 1.5, 2e-3);
    // sunset falls after 00 UTC of the next day here: the midpoint is taken across midnight
    const double noon = rise <= set ? (rise + set) / 2.0 : (rise + set + 24.0) / 2.0;
    EXPECT_NEAR((t.time2[0] - day0) / 3600.0, noon - 1.5, 2e-3);
    EXPECT_EQ(t.zone[0], -7);
    EXPECT_LT(t.time1[0], t.time2[0]);
    // polar night: no target
    const Spatialinfodata polar = make_grid(20.0f, 80.0f, 1.0f, 1, 1);
    morning_targets(polar, 2021, 355, t, st);
    EXPECT_TRUE(std::isnan(t.time1[0]));
    EXPECT_TRUE(std::isnan(t.time2[0]));
}

// The targets kept from the last call are those of its grid and day: another grid, another
// day or the first grid again give what each gives alone, and the time zone follows the
// column across a zone boundary.
TEST(IngestSatelliteTargets, KeptTargetsFollowTheGridAndDay) {
    const Spatialinfodata a = make_grid(-100.0f, 35.0f, 0.5f, 10, 3);
    Spatialinfodata b = a;
    b.south_lat = 45.0f;
    MorningTargets first, other, next_day, again;
    int st = 0;
    morning_targets(a, 2021, 138, first, st);
    morning_targets(b, 2021, 138, other, st);
    morning_targets(a, 2021, 139, next_day, st);
    morning_targets(a, 2021, 138, again, st);
    EXPECT_NE(first.time1, other.time1);
    EXPECT_NE(first.time1, next_day.time1);
    EXPECT_EQ(first.time1, again.time1);
    EXPECT_EQ(first.time2, again.time2);
    EXPECT_EQ(first.zone, again.zone);
    // columns west of 97.5 W are in zone -7, those east of it in -6, on every row
    for (int r = 0; r < a.nrows; ++r)
        for (int c = 0; c < a.ncols; ++c) {
            const float lon = a.west_lon + (c + 0.5f) * a.dlon;
            EXPECT_EQ(first.zone[static_cast<std::size_t>(r * a.ncols + c)], lon < -97.5f ? -7 : -6)
                << lon;
        }
}

struct ChoiceCase {
    const char* name;
    std::vector<double> scan_minutes;  // scan times, minutes after the target
    std::vector<float> values;         // the cell's value in each scan (NaN: not valid)
    int expected;                      // index of the chosen scan, -1 none
};
// The case's own name in test listings, not its bytes.
void PrintTo(const ChoiceCase& c, std::ostream* os) {
    *os << c.name;
}

class IngestSatelliteChoice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(IngestSatelliteChoice, NearestValidScanWithinTolerance) {
    const ChoiceCase& c = GetParam();
    const double target = 1.6e9;
    std::vector<GridScan> scans;
    for (std::size_t k = 0; k < c.scan_minutes.size(); ++k)
        scans.push_back({target + 60.0 * c.scan_minutes[k], {c.values[k]}});
    std::vector<int> chosen;
    nearest_scans(scans, {target}, default_scan_tolerance_s, chosen);
    EXPECT_EQ(chosen[0], c.expected);
}

const float nan_value = NAN;
INSTANTIATE_TEST_SUITE_P(
    Cases, IngestSatelliteChoice,
    ::testing::Values(
        ChoiceCase{"nearest_of_three", {-20, 5, 40}, {300, 301, 302}, 1},
        ChoiceCase{"cloudy_nearest_takes_next_valid", {-20, 5, 40}, {300, nan_value, 302}, 0},
        ChoiceCase{"only_valid_beyond_tolerance_is_missing",
                   {-20, 5, 40},
                   {nan_value, nan_value, 302},
                   -1},
        ChoiceCase{"exactly_at_tolerance_counts", {30}, {300}, 0},
        ChoiceCase{"tie_takes_the_earlier_scan", {10, -10}, {300, 301}, 1},
        ChoiceCase{"warp_no_data_is_not_valid", {0}, {warp_no_data}, -1},
        ChoiceCase{"no_scans", {}, {}, -1}),
    [](const auto& info) { return std::string(info.param.name); });

// Across a wide grid the cells' mornings differ by hours: a scan taken before the western
// cell's sunrise lies within a wide tolerance of its first target but is not used there,
// while the eastern cell, whose sun rose earlier, takes it.
TEST(IngestSatelliteChoiceTarget, ScanOutsideACellsMorningNotUsedThere) {
    const Spatialinfodata g = make_grid(-120.0f, 35.0f, 15.0f, 3, 1);  // 120 W to 75 W
    MorningTargets t;
    int st = 0;
    morning_targets(g, 2021, 138, t, st);
    ASSERT_EQ(st, 0);
    ASSERT_EQ(t.window_start.size(), 3u);
    const double west_sunrise = t.window_start[0];
    ASSERT_LT(t.window_start[2], west_sunrise - 3600.0);  // the east's sun rose hours before
    const std::vector<GridScan> scans = {{west_sunrise - 600.0, {300.0f, 300.0f, 300.0f}}};
    const double tolerance = 180.0 * 60.0;
    ASSERT_LT(t.time1[0] - scans[0].time, tolerance);  // near the west's target, but at night
    std::vector<int> any, morning;
    nearest_scans(scans, t.time1, tolerance, any);
    nearest_morning_scans(scans, t, 1, tolerance, morning);
    EXPECT_EQ(any[0], 0);  // the distance alone would take it
    EXPECT_EQ(morning[0], -1);
    EXPECT_EQ(morning[2], 0);
    // after a cell's solar noon a scan is not its second observation either
    const std::vector<GridScan> late = {{t.window_end[2] + 600.0, {300.0f, 300.0f, 300.0f}}};
    nearest_morning_scans(late, t, 2, tolerance, morning);
    EXPECT_EQ(morning[2], -1);
}

TEST(IngestSatelliteChoiceTarget, MissingTargetTakesNothing) {
    std::vector<GridScan> scans = {{1.6e9, {300.0f}}};
    std::vector<int> chosen;
    nearest_scans(scans, {NAN}, default_scan_tolerance_s, chosen);
    EXPECT_EQ(chosen[0], -1);
}

// ---- the whole satellite preparation on synthetic scans ----

class IngestSatellitePrepare : public temp_dir_test::TempDirTest {
protected:
    // Four scans bracketing both targets of the grid's cells (2021 day 138, 100 W).
    void SetUp() override {
        TempDirTest::SetUp();
        grid_ = make_grid(-100.5f, 35.0f, 0.1f, 10, 6, -8888.0f);
        int st = 0;
        morning_targets(grid_, 2021, 138, targets_, st);
        t1_ = targets_.time1[0], t2_ = targets_.time2[0];
    }
    std::string scan(const char* name, double time, double kelvin, bool cloudy_east = false) {
        const std::string f = path(name);
        EXPECT_TRUE(
            land_test::write_scan(f, -101.5, 34.0, -99.0, 36.5, time, [=](double lon, double) {
                return cloudy_east && lon > -100.0 ? NAN : kelvin;
            }));
        return f;
    }
    SatelliteRequest request(std::vector<std::string> files) {
        SatelliteRequest rq;
        rq.grid = grid_;
        rq.year = 2021, rq.doy = 138;
        rq.lst_files = std::move(files);
        return rq;
    }
    Spatialinfodata grid_;
    MorningTargets targets_;
    double t1_ = 0, t2_ = 0;
};

TEST_F(IngestSatellitePrepare, TakesTheScanNearestEachTarget) {
    const auto rq = request({scan("a.nc", t1_ - 1200, 290.0), scan("b.nc", t1_ + 300, 292.0, true),
                             scan("c.nc", t2_ + 600, 305.0), scan("d.nc", t2_ + 3000, 310.0)});
    SatelliteResult out;
    std::string error;
    int st = 0;
    prepare_satellite(rq, out, error, st);
    ASSERT_EQ(st, 0) << error;
    const auto& r = out.rasters;
    ASSERT_EQ(r.count("sdn1"), 0u);                   // no insolation source
    const std::size_t west = 0, east = 9;             // cells of the first row
    EXPECT_NEAR(r.at("trad1")[west], 292.0f, 0.01f);  // b.nc, 5 min after
    EXPECT_NEAR(r.at("trad1")[east], 290.0f, 0.01f);  // b.nc cloudy: a.nc, 20 min
    EXPECT_NEAR(r.at("trad2")[west], 305.0f, 0.01f);
    const double day0 = day_start_seconds(2021, 138);
    EXPECT_NEAR(r.at("tloc1")[west], (t1_ + 300 - day0) / 3600.0 + targets_.zone[0], 1e-3);
    EXPECT_NEAR(r.at("tloc2")[east], (t2_ + 600 - day0) / 3600.0 + targets_.zone[9], 1e-3);
    EXPECT_GT(r.at("theta")[west], 30.0f);
    EXPECT_LT(r.at("theta")[west], 60.0f);
    EXPECT_EQ(out.manifest["insolation_source"], "none");
    EXPECT_EQ(out.manifest["scans"].size(), 4u);
    EXPECT_FALSE(out.manifest["scans"][3]["used"].get<bool>());  // d.nc: 50 min off
    EXPECT_EQ(out.manifest["resampling"], "average");            // 0.1 deg cells, 2-3 km pixels
    EXPECT_EQ(out.manifest["cells_outside_projection_domain"], 0);
}

// Cells from which the satellite (above 75 W) is below the horizon lie outside its
// projection's domain: they stay missing and the manifest counts them.
TEST_F(IngestSatellitePrepare, CellsBeyondTheDiskAreCounted) {
    grid_ = make_grid(-170.5f, 35.0f, 1.0f, 71, 1, -8888.0f);
    const auto rq = request({scan("a.nc", t1_ - 600, 290.0), scan("c.nc", t2_ + 600, 305.0)});
    SatelliteResult out;
    std::string error;
    int st = 0;
    prepare_satellite(rq, out, error, st);
    ASSERT_EQ(st, 0) << error;
    const std::vector<float>& theta = out.rasters.at("theta");
    const long missing = std::count(theta.begin(), theta.end(), -8888.0f);
    EXPECT_GT(missing, 10);
    EXPECT_LT(missing, 71);
    EXPECT_EQ(theta.front(), -8888.0f);  // 170 W
    EXPECT_NE(theta.back(), -8888.0f);   // 100 W
    EXPECT_EQ(out.manifest["cells_outside_projection_domain"], missing);
}

TEST_F(IngestSatellitePrepare, NoScanNearATargetLeavesItMissing) {
    const auto rq = request({scan("a.nc", t1_, 290.0)});
    SatelliteResult out;
    std::string error;
    int st = 0;
    prepare_satellite(rq, out, error, st);
    ASSERT_EQ(st, 0) << error;
    for (float v : out.rasters.at("trad2")) EXPECT_EQ(v, -8888.0f);
    for (float v : out.rasters.at("tloc2")) EXPECT_EQ(v, -8888.0f);
}

TEST_F(IngestSatellitePrepare, InsolationFromSatelliteFiles) {
    const std::string ins = path("dsr.nc");
    ASSERT_TRUE(land_test::write_scan(
        ins, -101.5, 34.0, -99.0, 36.5, t1_ + 600, [](double, double) { return 612.0; }, "W m-2",
        "DSR"));
    auto rq = request({scan("a.nc", t1_, 290.0)});
    rq.insolation_files = {ins};
    SatelliteResult out;
    std::string error;
    int st = 0;
    prepare_satellite(rq, out, error, st);
    ASSERT_EQ(st, 0) << error;
    EXPECT_NEAR(out.rasters.at("sdn1")[0], 612.0f, 0.05f);
    EXPECT_EQ(out.rasters.at("sdn2")[0], -8888.0f);  // no insolation scan near time 2
}

TEST_F(IngestSatellitePrepare, InsolationFromForecastShortwave) {
    // forecast grid of 1 degree: steps 00..21 UTC hold 100 x step number (W m-2)
    const Spatialinfodata met = make_grid(-102.0f, 33.0f, 1.0f, 4, 4, -9999.0f);
    std::filesystem::create_directories(path("met/2021138"));
    std::vector<float> v(16 * 8);
    for (int s = 0; s < 8; ++s)
        for (int k = 0; k < 16; ++k) v[static_cast<std::size_t>(s) * 16 + k] = 100.0f * s;
    std::ofstream(path("met/2021138/swdn.bin"), std::ios::binary)
        .write(reinterpret_cast<const char*>(v.data()), static_cast<std::streamsize>(v.size() * 4));
    auto rq = request({scan("a.nc", t1_, 290.0)});
    rq.met_root = path("met");
    rq.met_grid = met;
    SatelliteResult out;
    std::string error;
    int st = 0;
    prepare_satellite(rq, out, error, st);
    ASSERT_EQ(st, 0) << error;
    const double hours = (t1_ - day_start_seconds(2021, 138)) / 3600.0;
    EXPECT_NEAR(out.rasters.at("sdn1")[0], 100.0 * hours / 3.0, 0.5);
    // the second target lies after 21 UTC? no: before it, so a value too
    EXPECT_NEAR(out.rasters.at("sdn2")[0],
                100.0 * (targets_.time2[0] - day_start_seconds(2021, 138)) / 3600.0 / 3.0, 0.5);
}

struct RefusalCase {
    const char* name;
    const char* expected;  // a piece of the message
};

TEST_F(IngestSatellitePrepare, Refusals) {
    const std::string good = scan("good.nc", t1_, 290.0);
    const std::string other_day = scan("other_day.nc", t1_ + 3 * 86400.0, 290.0);
    const std::string celsius = path("celsius.nc");
    ASSERT_TRUE(land_test::write_scan(
        celsius, -101.5, 34.0, -99.0, 36.5, t1_, [](double, double) { return 20.0; }, "degC"));
    const std::string far_away = path("far.nc");
    ASSERT_TRUE(land_test::write_scan(far_away, -80.0, 20.0, -78.0, 22.0, t1_,
                                      [](double, double) { return 300.0; }));
    const std::string not_netcdf = path("text.nc");
    std::ofstream(not_netcdf) << "not a scan\n";
    const std::string good_again = scan("good_again.nc", t1_, 290.0);
    const std::string warmer = scan("warmer.nc", t1_, 295.0);
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{good, other_day}, "not on or beside the run's day"},
        {{celsius}, "is in 'degC', expected 'K'"},
        {{far_away}, "outside every scan's footprint"},
        {{not_netcdf}, "not a NetCDF file"},
        {{}, "no surface temperature file"},
        {{good, warmer}, "are scans of the same time"},
        {{warmer, good}, "are scans of the same time"},
    };
    for (const auto& [files, expected] : cases) {
        SatelliteResult out;
        std::string error;
        int st = 0;
        prepare_satellite(request(files), out, error, st);
        EXPECT_EQ(st, 3) << expected;
        EXPECT_NE(error.find(expected), std::string::npos) << error;
    }
    // an identical duplicate is the same scan
    SatelliteResult out;
    std::string error;
    int st = 0;
    prepare_satellite(request({good, good_again}), out, error, st);
    EXPECT_EQ(st, 0) << error;
}

}  // namespace
