// Rasters in common formats onto a model grid: scale, fill and class codes, mosaics of
// tiles, the product's day, the ASCII snow-and-ice grid, and the refusals.
#include <gtest/gtest.h>

#include <cpl_string.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <ostream>

#include "support/temp_dir.hpp"
#include "support/ingest_land.hpp"
#include "ingest/raster/ims_ascii.hpp"
#include "ingest/raster/convert.hpp"

namespace {

using land_test::make_grid;
using land_test::real_sample;

// A one-band Byte GeoTIFF in longitude/latitude from its north-west corner.
void write_tiff(const std::string& file, double west, double north, double step, int nx, int ny,
                const std::vector<unsigned char>& v,
                const std::vector<std::pair<const char*, const char*>>& meta = {},
                bool with_crs = true) {
    ingest_gdal_init();
    GDALDatasetH ds =
        GDALCreate(GDALGetDriverByName("GTiff"), file.c_str(), nx, ny, 1, GDT_Byte, nullptr);
    ASSERT_NE(ds, nullptr);
    double gt[6] = {west, step, 0, north, 0, -step};
    GDALSetGeoTransform(ds, gt);
    if (with_crs) GDALSetProjection(ds, SRS_WKT_WGS84_LAT_LONG);
    for (const auto& [k, val] : meta) GDALSetMetadataItem(ds, k, val, nullptr);
    ASSERT_EQ(GDALRasterIO(GDALGetRasterBand(ds, 1), GF_Write, 0, 0, nx, ny,
                           const_cast<unsigned char*>(v.data()), nx, ny, GDT_Byte, 0, 0),
              CE_None);
    GDALClose(ds);
}

class IngestRaster : public temp_dir_test::TempDirTest {
protected:
    void run(const std::vector<std::string>& sources, const Spatialinfodata& grid,
             const RasterRules& rules) {
        error_.clear();
        prepare_raster(sources, grid, rules, values_, details_, error_, status_);
    }
    std::vector<float> values_;
    nlohmann::json details_;
    std::string error_;
    int status_ = 0;
};

// Codes become missing before scaling: 249 and 255 never turn into 24.9 or 25.5.
TEST_F(IngestRaster, CodesBecomeMissingNeverScaled) {
    write_tiff(path("lai.tif"), 10.0, 2.0, 1.0, 2, 2, {5, 50, 249, 255});
    RasterRules rules;
    rules.scale_given = true, rules.scale = 0.1;
    ASSERT_TRUE(parse_code_list("249-255", rules.missing_codes));
    run({path("lai.tif")}, make_grid(10.0f, 0.0f, 1.0f, 2, 2), rules);
    ASSERT_EQ(status_, 0) << error_;
    // model rows from the south: the tiff's second row comes first
    EXPECT_EQ(values_[0], -9999.0f);
    EXPECT_EQ(values_[1], -9999.0f);
    EXPECT_NEAR(values_[2], 0.5f, 1e-6f);
    EXPECT_NEAR(values_[3], 5.0f, 1e-6f);
    EXPECT_EQ(details_[0]["stored_missing"], 2);
}

// One-band GeoTIFF of any type from values given as doubles, in longitude/latitude.
void write_typed_tiff(const std::string& file, GDALDataType type, int nx, int ny,
                      const std::vector<double>& v, double nodata) {
    ingest_gdal_init();
    GDALDatasetH ds =
        GDALCreate(GDALGetDriverByName("GTiff"), file.c_str(), nx, ny, 1, type, nullptr);
    ASSERT_NE(ds, nullptr);
    double gt[6] = {0.0, 0.01, 0, 6.0, 0, -0.01};
    GDALSetGeoTransform(ds, gt);
    GDALSetProjection(ds, SRS_WKT_WGS84_LAT_LONG);
    GDALSetRasterNoDataValue(GDALGetRasterBand(ds, 1), nodata);
    ASSERT_EQ(GDALRasterIO(GDALGetRasterBand(ds, 1), GF_Write, 0, 0, nx, ny,
                           const_cast<double*>(v.data()), nx, ny, GDT_Float64, 0, 0),
              CE_None);
    GDALClose(ds);
}

struct StoredTypeCase {
    const char* name;
    GDALDataType type;
    double low, high, fill;  // stored values low..high in turn, fill among them
};

void PrintTo(const StoredTypeCase& c, std::ostream* os) {
    *os << c.name;
}

class IngestRasterStoredType : public temp_dir_test::TempDirTest,
                               public ::testing::WithParamInterface<StoredTypeCase> {};

// Integer bands are converted through a table of every stored value: the same grid, counts
// and refusals as the same values stored as floats, over several strips of rows.
TEST_P(IngestRasterStoredType, ConvertsAsTheSameValuesStoredAsFloats) {
    const StoredTypeCase& c = GetParam();
    const int nx = 1100, ny = 600;  // more than one strip of rows
    std::vector<double> v(static_cast<std::size_t>(nx) * ny);
    for (std::size_t k = 0; k < v.size(); ++k)
        v[k] = k % 97 == 0
                   ? c.fill
                   : c.low + static_cast<double>((k * 7919) % 1000) / 999.0 * (c.high - c.low);
    for (double& x : v) x = std::round(x);
    write_typed_tiff(path("int.tif"), c.type, nx, ny, v, c.fill);
    write_typed_tiff(path("float.tif"), GDT_Float32, nx, ny, v, c.fill);
    RasterRules rules;
    rules.resampling = Resampling::average;
    rules.scale_given = true, rules.scale = 0.5, rules.offset = -3.0;
    const double span = c.high - c.low;
    rules.missing_codes = {{c.low + 0.1 * span, c.low + 0.2 * span}, {c.high, c.high}};
    rules.valid_given = true, rules.valid_min = c.low + 0.05 * span, rules.valid_max = c.high;
    const Spatialinfodata grid = make_grid(0.0f, 0.0f, 0.1f, nx / 10, ny / 10);
    std::vector<float> a, b;
    nlohmann::json da, db;
    std::string ea, eb;
    int sa = 0, sb = 0;
    prepare_raster({path("int.tif")}, grid, rules, a, da, ea, sa);
    prepare_raster({path("float.tif")}, grid, rules, b, db, eb, sb);
    ASSERT_EQ(sa, 0) << ea;
    ASSERT_EQ(sb, 0) << eb;
    EXPECT_EQ(a, b);
    EXPECT_EQ(da[0]["stored_valid"], db[0]["stored_valid"]);
    EXPECT_GT(da[0]["stored_missing"].get<long>(), static_cast<long>(v.size() / 97));
    // a class map, and the plausibility check of leaf area (its values far too high)
    RasterRules classes;
    classes.class_map = {{c.low, 1.0f}, {c.high, 2.0f}};
    prepare_raster({path("int.tif")}, grid, classes, a, da, ea, sa);
    prepare_raster({path("float.tif")}, grid, classes, b, db, eb, sb);
    EXPECT_EQ(a, b);
    RasterRules lai;
    lai.quantity = "lai";
    lai.valid_given = true, lai.valid_min = c.low, lai.valid_max = c.high;
    prepare_raster({path("int.tif")}, grid, lai, a, da, ea, sa);
    prepare_raster({path("float.tif")}, grid, lai, b, db, eb, sb);
    EXPECT_EQ(sa, ornax_status_failure);
    EXPECT_NE(ea.find("(leaf area index)"), std::string::npos) << ea;
    EXPECT_EQ(ea.substr(ea.find(": band")), eb.substr(eb.find(": band")));
}

const StoredTypeCase stored_type_cases[] = {
    {"byte", GDT_Byte, 0, 254, 255},
    {"uint16", GDT_UInt16, 100, 60000, 65535},
    {"int16", GDT_Int16, -30000, 30000, -32768},
};

INSTANTIATE_TEST_SUITE_P(Cases, IngestRasterStoredType, ::testing::ValuesIn(stored_type_cases),
                         [](const ::testing::TestParamInfo<StoredTypeCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(IngestRaster, ClassMapAndValidRange) {
    write_tiff(path("snow.tif"), 0.0, 1.0, 1.0, 4, 1, {25, 200, 50, 37});
    RasterRules rules;
    ASSERT_TRUE(parse_class_map("25=0,200=4,37=3", rules.class_map));
    run({path("snow.tif")}, make_grid(0.0f, 0.0f, 1.0f, 4, 1), rules);
    ASSERT_EQ(status_, 0) << error_;
    EXPECT_EQ(values_, (std::vector<float>{0.0f, 4.0f, -9999.0f, 3.0f}));  // cloud: no class
    RasterRules valid;
    valid.valid_given = true, valid.valid_min = 30, valid.valid_max = 100;
    run({path("snow.tif")}, make_grid(0.0f, 0.0f, 1.0f, 4, 1), valid);
    EXPECT_EQ(values_, (std::vector<float>{-9999.0f, -9999.0f, 50.0f, 37.0f}));
}

TEST_F(IngestRaster, TilesMosaicIntoOneGrid) {
    const std::vector<std::pair<const char*, const char*>> meta = {
        {"SHORTNAME", "MCD15A2"},
        {"RANGEBEGINNINGDATE", "2002-07-04"},
        {"RANGEENDINGDATE", "2002-07-11"}};
    write_tiff(path("west.tif"), 0.0, 1.0, 0.5, 2, 2, {1, 2, 3, 4}, meta);
    write_tiff(path("east.tif"), 1.0, 1.0, 0.5, 2, 2, {5, 6, 7, 8}, meta);
    RasterRules rules;
    rules.check_day = true, rules.year = 2002, rules.doy = 187;  // 2002-07-06
    run({path("west.tif"), path("east.tif")}, make_grid(0.0f, 0.0f, 0.5f, 4, 2), rules);
    ASSERT_EQ(status_, 0) << error_;
    EXPECT_EQ(values_, (std::vector<float>{3, 4, 7, 8, 1, 2, 5, 6}));
}

TEST_F(IngestRaster, Refusals) {
    const auto lai = [](const char* name, const char* begin) {
        return std::vector<std::pair<const char*, const char*>>{
            {"SHORTNAME", name}, {"RANGEBEGINNINGDATE", begin}, {"RANGEENDINGDATE", begin}};
    };
    write_tiff(path("a.tif"), 0.0, 1.0, 0.5, 2, 2, {1, 2, 3, 4}, lai("MCD15A2", "2002-07-04"));
    write_tiff(path("snow.tif"), 1.0, 1.0, 0.5, 2, 2, {1, 2, 3, 4}, lai("MOD10A2", "2002-07-04"));
    write_tiff(path("later.tif"), 1.0, 1.0, 0.5, 2, 2, {1, 2, 3, 4}, lai("MCD15A2", "2002-07-12"));
    write_tiff(path("nocrs.tif"), 0.0, 1.0, 0.5, 2, 2, {1, 2, 3, 4}, {}, false);
    write_tiff(path("nodate.tif"), 0.0, 1.0, 0.5, 2, 2, {1, 2, 3, 4});
    std::ofstream(path("junk.tif")) << "no raster\n";
    const Spatialinfodata half = make_grid(0.0f, 0.0f, 0.5f, 2, 2);
    RasterRules plain, dated;
    dated.check_day = true, dated.year = 2002, dated.doy = 200;
    struct Case {
        const char* name;
        std::vector<std::string> sources;
        Spatialinfodata grid;
        const RasterRules* rules;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"tile_of_another_product",
         {path("a.tif"), path("snow.tif")},
         make_grid(0.0f, 0.0f, 0.5f, 4, 2),
         &plain,
         "a tile of another product"},
        {"tile_of_another_period",
         {path("a.tif"), path("later.tif")},
         make_grid(0.0f, 0.0f, 0.5f, 4, 2),
         &plain,
         "a tile of another product"},
        {"product_of_another_day", {path("a.tif")}, half, &dated, "not for the run's day"},
        {"no_date_to_check", {path("nodate.tif")}, half, &dated, "no date"},
        {"no_projection", {path("nocrs.tif")}, half, &plain, "no projection"},
        {"not_a_raster", {path("junk.tif")}, half, &plain, "GDAL cannot open it"},
        {"grid_outside",
         {path("a.tif")},
         make_grid(50.0f, 50.0f, 0.5f, 2, 2),
         &plain,
         "cover 0 of"},
        {"grid_partly_outside",
         {path("a.tif")},
         make_grid(0.0f, 0.0f, 0.5f, 4, 2),
         &plain,
         "--allow-partial"},
        {"no_source", {}, half, &plain, "no source"},
    };
    for (const Case& c : cases) {
        run(c.sources, c.grid, *c.rules);
        EXPECT_EQ(status_, 3) << c.name;
        EXPECT_NE(error_.find(c.expected), std::string::npos) << c.name << ": " << error_;
    }
    RasterRules partial;
    partial.allow_partial = true;
    run({path("a.tif")}, make_grid(0.0f, 0.0f, 0.5f, 4, 2), partial);
    EXPECT_EQ(status_, 0) << error_;
}

TEST_F(IngestRaster, WithoutTheHdf4DriverRefusedBySaying) {
    ingest_gdal_init();
    GDALDriverH hdf4 = GDALGetDriverByName("HDF4");
    if (hdf4 == nullptr) GTEST_SKIP() << "this GDAL has no HDF4 driver to take away";
    GDALDeregisterDriver(hdf4);
    run({"HDF4_EOS:EOS_GRID:\"" + path("tile.hdf") + "\":MOD_Grid_MOD15A2:Lai_1km"},
        make_grid(0.0f, 0.0f, 1.0f, 1, 1), RasterRules{});
    GDALRegisterDriver(hdf4);
    EXPECT_EQ(status_, 3);
    EXPECT_NE(error_.find("no HDF4 driver"), std::string::npos) << error_;
}

// The real snow tile through the class map agrees with GDAL's own command-line warp of
// the same subdataset, cell by cell.
TEST_F(IngestRaster, RealSnowTileMatchesGdalwarp) {
    const std::string hdf = real_sample("modis/MOD10A2.A2022033.h09v05.061.2022042050729.hdf");
    if (hdf.empty()) GTEST_SKIP() << "real sample absent";
    const std::string sds =
        "HDF4_EOS:EOS_GRID:\"" + hdf + "\":MOD_Grid_Snow_500m:Maximum_Snow_Extent";
    const std::string cmd = "gdalwarp -q -r mode -t_srs EPSG:4326 -te -100 35 -95 39 -ts 100 80 '" +
                            sds + "' " + path("ref.tif") + " >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) GTEST_SKIP() << "gdalwarp not available";
    RasterRules rules;
    rules.resampling = Resampling::mode;
    ASSERT_TRUE(parse_class_map("25=0,37=3,100=3,200=4", rules.class_map));
    rules.check_day = true, rules.year = 2022, rules.doy = 36;
    // the tile's sinusoidal outline holds a small part of the grid, though its bounding box
    // holds all of it: refused unless partial cover is allowed
    run({sds}, make_grid(-100.0f, 35.0f, 0.05f, 100, 80), rules);
    ASSERT_EQ(status_, 3);
    EXPECT_NE(error_.find("the sources cover 888 of the grid's 8000 cells"), std::string::npos)
        << error_;
    rules.allow_partial = true;
    run({sds}, make_grid(-100.0f, 35.0f, 0.05f, 100, 80), rules);
    ASSERT_EQ(status_, 0) << error_;
    EXPECT_EQ(details_[0]["product"], "MOD10A2");
    GDALDatasetH ref = GDALOpen(path("ref.tif").c_str(), GA_ReadOnly);
    ASSERT_NE(ref, nullptr);
    std::vector<unsigned char> raw(8000);
    ASSERT_EQ(GDALRasterIO(GDALGetRasterBand(ref, 1), GF_Read, 0, 0, 100, 80, raw.data(), 100, 80,
                           GDT_Byte, 0, 0),
              CE_None);
    GDALClose(ref);
    long snow = 0, mismatched = 0;
    for (int r = 0; r < 80; ++r)
        for (int c = 0; c < 100; ++c) {
            const unsigned char code = raw[static_cast<std::size_t>(79 - r) * 100 + c];
            const float want = code == 25                  ? 0.0f
                               : code == 200               ? 4.0f
                               : code == 37 || code == 100 ? 3.0f
                                                           : -9999.0f;
            const float got = values_[static_cast<std::size_t>(r) * 100 + c];
            mismatched += got != want;
            snow += got == 4.0f;
        }
    EXPECT_EQ(mismatched, 0);
    EXPECT_GT(snow, 100);
}

TEST_F(IngestRaster, RealLeafAreaTileIsAllClassCodes) {
    const std::string hdf = real_sample("modis/MCD15A2.A2002185.h00v08.005.2007172150237.hdf");
    if (hdf.empty()) GTEST_SKIP() << "real sample absent";
    RasterRules rules;
    rules.resampling = Resampling::average;
    rules.allow_partial = true;
    ASSERT_TRUE(parse_code_list("249-255", rules.missing_codes));
    run({"HDF4_EOS:EOS_GRID:\"" + hdf + "\":MOD_Grid_MOD15A2:Lai_1km"},
        make_grid(-179.5f, 1.0f, 0.05f, 40, 40), rules);
    ASSERT_EQ(status_, 0) << error_;
    EXPECT_EQ(details_[0]["scale"], 0.1);
    EXPECT_EQ(details_[0]["stored_valid"], 0);  // every pixel is water (254)
    for (float v : values_) EXPECT_EQ(v, -9999.0f);
}

// ---- the ASCII snow-and-ice grid ----

TEST(IngestImsAscii, ReadsTheRealWindow) {
    const std::string asc = real_sample("ims/ims2013001_00UTC_4km_v1.2.asc");
    if (asc.empty()) GTEST_SKIP() << "real sample absent";
    ImsGrid g;
    std::string error;
    int st = 0;
    read_ims_ascii(asc, g, error, st);
    ASSERT_EQ(st, 0) << error;
    EXPECT_EQ(g.ncols, 25);
    EXPECT_EQ(g.nrows, 32);
    EXPECT_EQ(g.header_lines, 8);
    for (float c : g.codes) EXPECT_TRUE(c == 2.0f || c == 4.0f);
    EXPECT_EQ(g.codes[0], 4.0f);
    EXPECT_EQ(g.codes[2], 2.0f);
}

TEST_F(IngestRaster, ImsGridPlacedByItsPositions) {
    const std::string asc = real_sample("ims/ims2013001_00UTC_4km_v1.2.asc");
    if (asc.empty()) GTEST_SKIP() << "real sample absent";
    RasterRules rules;
    rules.lat_file = real_sample("ims/imslat_4km.bin");
    rules.lon_file = real_sample("ims/imslon_4km.bin");
    rules.allow_partial = true;
    ASSERT_TRUE(parse_class_map("2=0,4=4", rules.class_map));
    rules.check_day = true, rules.year = 2013, rules.doy = 1;
    const Spatialinfodata g = make_grid(-79.4f, 38.7f, 0.02f, 8, 8);
    run({asc}, g, rules);
    ASSERT_EQ(status_, 0) << error_;
    // each cell against the code of the grid cell nearest its centre, found by brute force
    ImsGrid ims;
    int st = 0;
    read_ims_ascii(asc, ims, error_, st);
    std::vector<float> lat, lon;
    read_float32_file(rules.lat_file, 800, lat, error_, st);
    read_float32_file(rules.lon_file, 800, lon, error_, st);
    int agree = 0;
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) {
            const double clon = -79.39 + 0.02 * c, clat = 38.71 + 0.02 * r;
            std::size_t best = 0;
            double d = 1e9;
            for (std::size_t k = 0; k < 800; ++k) {
                const double dk =
                    std::hypot((lon[k] - clon) * std::cos(clat * M_PI / 180), lat[k] - clat);
                if (dk < d) d = dk, best = k;
            }
            agree += values_[static_cast<std::size_t>(r) * 8 + c] ==
                     (ims.codes[best] == 4.0f ? 4.0f : 0.0f);
        }
    EXPECT_EQ(agree, 64);  // guards against taking the positions as cell corners
}

TEST_F(IngestRaster, ImsFaults) {
    std::ofstream(path("bad.asc")) << "header line\nDim Units: Pixels\n2242\n22x2\n";
    ImsGrid g;
    std::string error;
    int st = 0;
    read_ims_ascii(path("bad.asc"), g, error, st);
    EXPECT_EQ(st, 3);
    EXPECT_NE(error.find("line 4"), std::string::npos) << error;
    std::ofstream(path("ok.asc")) << "header\n2242\n4422\n";
    run({path("ok.asc")}, make_grid(0.0f, 0.0f, 1.0f, 1, 1), RasterRules{});
    EXPECT_EQ(status_, 3);
    EXPECT_NE(error_.find("latitude and longitude files"), std::string::npos) << error_;
    RasterRules short_positions;
    short_positions.lat_file = short_positions.lon_file = path("ok.asc");
    run({path("ok.asc")}, make_grid(0.0f, 0.0f, 1.0f, 1, 1), short_positions);
    EXPECT_NE(error_.find("expected 32"), std::string::npos) << error_;
}

TEST(IngestImsAscii, DataDayOfTheName) {
    struct Case {
        const char* name;
        int year, doy;
    };
    for (const Case& c : {Case{"ims2013001_00UTC_4km_v1.2.asc", 2013, 1},
                          Case{"ims2014335_00UTC_4km_v1.2.asc", 2014, 335},
                          Case{"ims2014336_00UTC_4km_v1.3.asc", 2014, 335},
                          Case{"ims2015002_00UTC_1km_v1.3.asc", 2015, 1},
                          Case{"ims2017001_00UTC_1km_v1.3.asc", 2016, 366}}) {
        int y = 0, d = 0;
        ASSERT_TRUE(ims_data_day(c.name, y, d)) << c.name;
        EXPECT_EQ(y, c.year) << c.name;
        EXPECT_EQ(d, c.doy) << c.name;
    }
    int y = 0, d = 0;
    EXPECT_FALSE(ims_data_day("snow_2013001.asc", y, d));
}

TEST(IngestRasterLists, CodeAndClassLists) {
    std::vector<std::pair<double, double>> codes;
    EXPECT_TRUE(parse_code_list("249-255,0", codes));
    EXPECT_EQ(codes, (std::vector<std::pair<double, double>>{{249, 255}, {0, 0}}));
    for (const char* bad : {"", "a", "255-249", "1,,x"}) {
        std::vector<std::pair<double, double>> c;
        EXPECT_FALSE(parse_code_list(bad, c)) << bad;
    }
    std::vector<std::pair<double, float>> map;
    EXPECT_TRUE(parse_class_map("25=0,200=4", map));
    EXPECT_EQ(map.size(), 2u);
    for (const char* bad : {"", "25", "25=a", "25=1=2"}) {
        std::vector<std::pair<double, float>> m;
        EXPECT_FALSE(parse_class_map(bad, m)) << bad;
    }
    EXPECT_EQ(source_file_name("HDF4_EOS:EOS_GRID:\"/d/f.hdf\":G:F"), "/d/f.hdf");
    EXPECT_EQ(source_file_name("NETCDF:/d/f.nc:LST"), "/d/f.nc");
    EXPECT_EQ(source_file_name("/d/f.tif"), "/d/f.tif");
}

}  // namespace
