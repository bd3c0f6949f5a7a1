// Files derived at test time from the real samples with what real archives contain (a
// scale left out or applied twice, a scan time that disagrees with the coverage, several
// bands, fill values without a nodata tag, recipe numbers out of range): each is refused
// naming the file, the field and the cause; the unchanged sample still converts.
#include <ostream>
#include <gdal.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "support/ingest_land.hpp"
#include "support/netcdf_edit.hpp"
#include "support/temp_dir.hpp"
#include "ingest/common/plausibility.hpp"
#include "ingest/common/support.hpp"
#include "ingest/raster/convert.hpp"
#include "ingest/raster/grid_warp.hpp"
#include "ingest/raster/ims_ascii.hpp"
#include "ingest/region/recipe.hpp"
#include "ingest/satellite/abi_scan.hpp"

namespace {

using land_test::make_grid;
using land_test::real_sample;

// ---- the checks themselves, on values of the kinds the converters meet ----

struct ValueCase {
    const char* name;
    const char* key;
    std::vector<float> values;
    const char* message;  // empty: no problem
};

class FieldPlausibility : public ::testing::TestWithParam<ValueCase> {};

TEST_P(FieldPlausibility, NamesTheLikelyCause) {
    const ValueCase& c = GetParam();
    std::vector<std::string> problems;
    check_field_plausible("f.grib2", "field 3", "u", c.key, std::span<const float>(c.values),
                          problems);
    if (*c.message == '\0') {
        EXPECT_TRUE(problems.empty()) << ingest_problems_text(problems);
        return;
    }
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].rfind("f.grib2: field 3", 0), 0u) << problems[0];
    EXPECT_NE(problems[0].find(c.message), std::string::npos) << problems[0];
}

const ValueCase value_cases[] = {
    {"air_temperature", "2t", {280.0f, 290.0f, 300.0f}, ""},
    {"kelvin_twice", "2t", {553.0f, 563.0f, 573.0f}, "converted to K twice"},
    {"celsius", "2t", {7.0f, 17.0f, 27.0f}, "deg C?"},
    {"grams_per_kilogram", "2sh", {9.0f, 11.8f, 14.0f}, "values 11.8 median"},
    {"grams_named", "2sh", {9.0f, 11.8f, 14.0f}, "g/kg? expected 0..0.05 kg/kg"},
    {"kilowatts", "dlwrf", {0.3f, 0.35f, 0.4f}, "kW m-2?"},
    {"one_fill_among_data", "2t", {280.0f, 290.0f, 5146.0f}, "outside the physical range"},
    {"only_missing", "2t", {NAN, NAN}, "no valid value"},
    {"leaf_area_unscaled", "lai", {30.0f, 44.0f, 50.0f}, "95th percentile 44"},
    {"leaf_area_fill_scaled", "lai", {2.0f, 3.0f, 25.5f}, "outside the physical range"},
    {"surface_counts", "trad", {40000.0f, 41000.0f, 42000.0f}, "without their scale_factor"},
};

// Cases print by name in test listings.
void PrintTo(const ValueCase& c, std::ostream* os) {
    *os << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, FieldPlausibility, ::testing::ValuesIn(value_cases),
                         [](const ::testing::TestParamInfo<ValueCase>& info) {
                             return std::string(info.param.name);
                         });

// The statistics named in a refusal are those of the sorted values, whatever their order.
struct OrderCase {
    const char* name;
    const char* key;
    std::vector<float> values;
    const char* statistic;  // "median", "p95" or "outside"
};

class PlausibilityOrder : public ::testing::TestWithParam<OrderCase> {};

std::vector<float> ramp(int n, float first, float step) {
    std::vector<float> v;
    for (int k = 0; k < n; ++k) v.push_back(first + step * static_cast<float>(k));
    return v;
}

TEST_P(PlausibilityOrder, StatisticsOfTheSortedValues) {
    const OrderCase& c = GetParam();
    std::vector<float> sorted = c.values;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t n = sorted.size();
    std::string want;
    if (std::strcmp(c.statistic, "median") == 0)
        want = "values " + ingest_number(sorted[(n - 1) / 2]) + " median";
    else if (std::strcmp(c.statistic, "p95") == 0)
        want = "95th percentile " +
               ingest_number(sorted[static_cast<std::size_t>(0.95 * static_cast<double>(n - 1))]);
    else
        want = "values outside the physical range 150..360 K (from " + ingest_number(sorted[0]) +
               " to " + ingest_number(sorted[n - 1]);
    std::mt19937 shuffle(7);
    std::vector<float> values = c.values;
    for (int round = 0; round < 4; ++round) {
        std::shuffle(values.begin(), values.end(), shuffle);
        std::vector<std::string> problems;
        check_field_plausible("f.tif", "band 1", "", c.key, std::span<const float>(values),
                              problems);
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_NE(problems[0].find(want), std::string::npos) << problems[0] << " / " << want;
    }
}

std::vector<float> with_fills() {
    std::vector<float> v = ramp(200, 280.0f, 0.1f);
    v.insert(v.end(), {5000.0f, 100.0f, 4000.0f});
    return v;
}

const OrderCase order_cases[] = {
    {"median_of_odd_count", "2t", ramp(101, 10.0f, 0.25f), "median"},
    {"median_of_even_count", "2t", ramp(100, 10.0f, 0.25f), "median"},
    {"median_of_one", "2t", {12.5f}, "median"},
    {"percentile_95", "lai", ramp(200, 0.1f, 0.1f), "p95"},
    {"percentile_95_of_two", "lai", {11.0f, 30.0f}, "p95"},
    {"extremes_and_count", "2t", with_fills(), "outside"},
};

void PrintTo(const OrderCase& c, std::ostream* os) {
    *os << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, PlausibilityOrder, ::testing::ValuesIn(order_cases),
                         [](const ::testing::TestParamInfo<OrderCase>& info) {
                             return std::string(info.param.name);
                         });

// The values given as distinct values and their counts give the lines of the values one
// by one: each value of a case repeated 1 to 3 times, the distinct values in reverse order.
std::vector<std::string> counted_and_single(const char* key, const std::vector<float>& values,
                                            std::vector<std::string>& single) {
    std::vector<float> repeated;
    std::vector<ValueCount> counted;
    for (std::size_t k = 0; k < values.size(); ++k) {
        const std::size_t times = 1 + k % 3;
        repeated.insert(repeated.end(), times, values[k]);
        const auto same = std::find_if(counted.begin(), counted.end(), [&](const ValueCount& c) {
            return c.value == values[k] || (std::isnan(c.value) && std::isnan(values[k]));
        });
        if (same != counted.end())
            same->count += times;
        else
            counted.push_back({values[k], times});
    }
    std::reverse(counted.begin(), counted.end());
    check_field_plausible("f.tif", "band 1", "u", key, std::span<const float>(repeated), single);
    std::vector<std::string> lines;
    check_counted_field_plausible("f.tif", "band 1", "u", key, counted, lines);
    return lines;
}

TEST_P(FieldPlausibility, CountedValuesGiveTheSameLines) {
    std::vector<std::string> single;
    EXPECT_EQ(counted_and_single(GetParam().key, GetParam().values, single), single);
}

TEST_P(PlausibilityOrder, CountedValuesGiveTheSameLines) {
    std::vector<std::string> single;
    EXPECT_EQ(counted_and_single(GetParam().key, GetParam().values, single), single);
    EXPECT_EQ(single.size(), 1u);
}

TEST(PlausibilityOrder, CountsEveryValueOutsideTheRange) {
    std::vector<float> values = with_fills();
    std::vector<std::string> problems;
    check_field_plausible("f.tif", "band 1", "", "2t", std::span<const float>(values), problems);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find(": 3 of 203 values outside"), std::string::npos) << problems[0];
}

TEST(FillValues, WithoutBitmapAreMissing) {
    for (double fill : {9999.0, 9.999e20, -9.999e20, 1.0e30, 123.0})
        EXPECT_TRUE(ingest_is_fill(fill, 123.0)) << fill;
    EXPECT_FALSE(ingest_is_fill(288.5, 9999.0));
}

TEST(HeightOfLevel, HeightTimesGravityRefused) {
    std::vector<double> heights(10, 5500.0), geopotential(10, 5500.0 * 9.80665);
    std::vector<std::string> problems;
    check_height_of_level("f.grib2", "field 9", 50000.0, heights, problems);
    EXPECT_TRUE(problems.empty()) << ingest_problems_text(problems);
    check_height_of_level("f.grib2", "field 9", 50000.0, geopotential, problems);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("height multiplied by g"), std::string::npos) << problems[0];
}

// ---- the surface-temperature scan ----

struct ScanCase {
    const char* name;
    std::function<bool(int)> edit;
    const char* message;  // empty: read
};

class ScanDerived : public temp_dir_test::TempDirTest,
                    public ::testing::WithParamInterface<ScanCase> {};

TEST_P(ScanDerived, RefusedNamingTheCause) {
    const std::string lst = real_sample(
        "goes/OR_ABI-L2-LSTM2-M6_G16_s20211381700538_e20211381700595_c20211381701211.nc");
    if (lst.empty()) GTEST_SKIP() << "real sample absent";
    const ScanCase& c = GetParam();
    const std::string file = path(std::string(c.name) + ".nc");
    ASSERT_TRUE(netcdf_edit::derive(lst, file, c.edit));
    GeosScan scan;
    std::string error;
    int status = 0;
    read_geos_scan(file, "LST", "K", scan, error, status);
    if (*c.message == '\0') {
        EXPECT_EQ(status, 0) << error;
        EXPECT_GT(scan.valid, 0);
        return;
    }
    EXPECT_EQ(status, 3);
    EXPECT_NE(error.find(file), std::string::npos) << error;
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
}

const ScanCase scan_cases[] = {
    {"unchanged", [](int) { return true; }, ""},
    {"without_scale_and_offset",
     [](int nc) {
         return netcdf_edit::delete_att(nc, "LST", "scale_factor") &&
                netcdf_edit::delete_att(nc, "LST", "add_offset");
     },
     "LST (radiometric surface temperature): values"},
    {"scale_doubled", [](int nc) { return netcdf_edit::set_att(nc, "LST", "scale_factor", 0.005); },
     "expected 213..343 K"},
    {"time_two_hours_off", [](int nc) { return netcdf_edit::shift_scalar(nc, "t", 7200.0); },
     "lies outside the scan's coverage"},
};

// Cases print by name in test listings.
void PrintTo(const ScanCase& c, std::ostream* os) {
    *os << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, ScanDerived, ::testing::ValuesIn(scan_cases),
                         [](const ::testing::TestParamInfo<ScanCase>& info) {
                             return std::string(info.param.name);
                         });

// ---- rasters GDAL opens ----

struct RasterCase {
    const char* name;
    const char* sample;      // real sample, relative to the samples folder
    const char* subdataset;  // GDAL name of its field ("" for the file itself)
    const char* translate;   // gdal_translate options making the derived file
    int band;                // RasterRules::band
    const char* quantity;    // RasterRules::quantity
    double scale;            // a scale the user gives (0: the file's own, if any)
    const char* message;     // empty: converted
};

class RasterDerived : public temp_dir_test::TempDirTest,
                      public ::testing::WithParamInterface<RasterCase> {};

TEST_P(RasterDerived, RefusedNamingTheCause) {
    const RasterCase& c = GetParam();
    const std::string file = real_sample(c.sample);
    if (file.empty()) GTEST_SKIP() << "real sample absent";
    const std::string source =
        *c.subdataset ? "HDF4_EOS:EOS_GRID:\"" + file + "\":" + c.subdataset : file;
    const bool ascii = std::string(c.translate).find("AAIGrid") != std::string::npos;
    const std::string derived = path(std::string(c.name) + (ascii ? ".aai" : ".tif"));
    const std::string cmd = std::string("gdal_translate -q ") + c.translate + " '" + source +
                            "' '" + derived + "' > /dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) GTEST_SKIP() << "gdal_translate not available";
    RasterRules rules;
    rules.resampling = Resampling::average;
    rules.allow_partial = true;
    rules.band = c.band;
    rules.quantity = c.quantity;
    if (c.scale != 0.0) {
        rules.scale_given = true;
        rules.scale = c.scale;
    }
    std::vector<float> values;
    nlohmann::json details;
    std::string error;
    int status = 0;
    prepare_raster({derived}, make_grid(-179.5f, 1.0f, 0.05f, 40, 40), rules, values, details,
                   error, status);
    if (*c.message == '\0') {
        EXPECT_EQ(status, 0) << error;
        return;
    }
    EXPECT_EQ(status, 3);
    EXPECT_NE(error.find(derived), std::string::npos) << error;
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
}

const char* const lai = "modis/MCD15A2.A2002185.h00v08.005.2007172150237.hdf";
const char* const lai_field = "MOD_Grid_MOD15A2:Lai_1km";

// The ASCII grid (with no side file) keeps neither the scale nor the fill of the tile.
const char* const bare = "-of AAIGrid -a_nodata none --config GDAL_PAM_ENABLED NO";

const RasterCase raster_cases[] = {
    {"three_bands", lai, lai_field, "-b 1 -b 1 -b 1", 0, "", 0.0, "3 bands: name the one to read"},
    {"three_bands_band_named", lai, lai_field, "-b 1 -b 1 -b 1", 2, "lai", 0.0, ""},
    {"band_beyond_the_file", lai, lai_field, "-b 1 -b 1", 3, "", 0.0, "no band 3"},
    {"leaf_area_codes_without_nodata", lai, lai_field, bare, 0, "lai", 0.1, "95th percentile 25.4"},
    {"leaf_area_without_scale", lai, lai_field, bare, 0, "lai", 0.0, "95th percentile 254"},
};

// Cases print by name in test listings.
void PrintTo(const RasterCase& c, std::ostream* os) {
    *os << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, RasterDerived, ::testing::ValuesIn(raster_cases),
                         [](const ::testing::TestParamInfo<RasterCase>& info) {
                             return std::string(info.param.name);
                         });

// ---- the band read carries its own scale and nodata ----

struct BandCase {
    int band;
    const char* message;  // empty: converted
};

class BandMetadata : public temp_dir_test::TempDirTest,
                     public ::testing::WithParamInterface<BandCase> {};

// Three bands of the same leaf-area counts on the tile's own grid (a uniform 45, as the
// tile's land holds too few for a statistic): band 1 without scale, band 2 with scale 0.1,
// band 3 with scale 100; nodata 255 (one value for the file in a GeoTIFF).
TEST_P(BandMetadata, ScaleAndNodataOfTheBandRead) {
    const std::string file = real_sample(lai);
    if (file.empty()) GTEST_SKIP() << "real sample absent";
    ingest_gdal_init();
    GDALDatasetH src =
        GDALOpen(("HDF4_EOS:EOS_GRID:\"" + file + "\":" + lai_field).c_str(), GA_ReadOnly);
    if (src == nullptr) GTEST_SKIP() << "no HDF4 driver";
    const int nx = GDALGetRasterXSize(src), ny = GDALGetRasterYSize(src);
    std::vector<float> counts(static_cast<std::size_t>(nx) * ny, 45.0f);
    double gt[6];
    GDALGetGeoTransform(src, gt);
    const std::string wkt = GDALGetProjectionRef(src);
    GDALClose(src);
    const std::string derived = path("three_bands.tif");
    GDALDatasetH ds =
        GDALCreate(GDALGetDriverByName("GTiff"), derived.c_str(), nx, ny, 3, GDT_Byte, nullptr);
    ASSERT_NE(ds, nullptr);
    GDALSetGeoTransform(ds, gt);
    GDALSetProjection(ds, wkt.c_str());
    for (int b = 1; b <= 3; ++b)
        ASSERT_EQ(GDALRasterIO(GDALGetRasterBand(ds, b), GF_Write, 0, 0, nx, ny, counts.data(), nx,
                               ny, GDT_Float32, 0, 0),
                  CE_None);
    GDALSetRasterScale(GDALGetRasterBand(ds, 2), 0.1);
    GDALSetRasterNoDataValue(GDALGetRasterBand(ds, 1), 255.0);
    GDALSetRasterScale(GDALGetRasterBand(ds, 3), 100.0);
    GDALClose(ds);
    const BandCase& c = GetParam();
    RasterRules rules;
    rules.resampling = Resampling::average;
    rules.allow_partial = true;
    rules.band = c.band;
    rules.quantity = "lai";
    std::vector<float> values;
    nlohmann::json details;
    std::string error;
    int status = 0;
    const float grid_missing = -9999.0f;
    prepare_raster({derived}, make_grid(-179.5f, 1.0f, 0.05f, 40, 40, grid_missing), rules, values,
                   details, error, status);
    if (*c.message == '\0') {
        ASSERT_EQ(status, 0) << error;
        EXPECT_DOUBLE_EQ(details[0]["scale"].get<double>(), 0.1);
        EXPECT_DOUBLE_EQ(details[0]["fill"].get<double>(), 255.0);
        for (float v : values) EXPECT_TRUE(v == grid_missing || std::fabs(v - 4.5f) < 1e-4f) << v;
        return;
    }
    EXPECT_EQ(status, 3);
    EXPECT_NE(error.find("band " + std::to_string(c.band)), std::string::npos) << error;
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
}

void PrintTo(const BandCase& c, std::ostream* os) {
    *os << "band " << c.band;
}

const BandCase band_cases[] = {
    {1, "(scale 1, offset 0 from none"},
    {2, ""},
    {3, "(scale 100, offset 0 from file"},
};

INSTANTIATE_TEST_SUITE_P(Cases, BandMetadata, ::testing::ValuesIn(band_cases),
                         [](const ::testing::TestParamInfo<BandCase>& info) {
                             return "band_" + std::to_string(info.param.band);
                         });

// ---- recipe numbers ----

struct RecipeNumberCase {
    const char* key;
    const char* value;
    const char* message;  // empty: accepted
};

// The example recipe beside the example's sources (made once), with one key changed.
class RecipeNumbers : public ::testing::TestWithParam<RecipeNumberCase> {
protected:
    static void SetUpTestSuite() {
        dir_ = std::filesystem::temp_directory_path() /
               ("ornax_recipe_numbers_" + std::to_string(getpid()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        const std::string cmd = std::string("'") + ORNAX_TOOLS_DIR +
                                "/ornax_make_region_sources' -o '" + (dir_ / "sources").string() +
                                "' > /dev/null 2>&1";
        made_ = std::system(cmd.c_str()) == 0;
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(dir_); }
    static std::filesystem::path dir_;
    static bool made_;
};
std::filesystem::path RecipeNumbers::dir_;
bool RecipeNumbers::made_ = false;

TEST_P(RecipeNumbers, CheckedWithTheModelsRanges) {
    const RecipeNumberCase& c = GetParam();
    ASSERT_TRUE(made_) << "the example's sources could not be made";
    std::ifstream in(std::string(ORNAX_SOURCE_DIR) + "/examples/region/recipe.txt");
    ASSERT_TRUE(in) << "no example recipe";
    std::string text;
    for (std::string line; std::getline(in, line);)
        if (line.rfind(std::string(c.key) + " ", 0) != 0 &&
            line.rfind(std::string(c.key) + "=", 0) != 0)
            text += line + "\n";
    text += std::string(c.key) + " = " + c.value + "\n";
    const std::string file = (dir_ / (std::string("recipe_") + c.key + ".txt")).string();
    std::ofstream(file) << text;
    RegionRecipe recipe;
    std::string error;
    int status = 0;
    read_region_recipe(file, recipe, error, status);
    if (*c.message == '\0') {
        EXPECT_EQ(status, 0) << error;
        return;
    }
    EXPECT_EQ(status, 3);
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
}

const RecipeNumberCase recipe_number_cases[] = {
    {"rsoilv", "7", "rsoilv = 7 is outside 0..1 (soil reflectance)"},
    {"rsoiln", "-0.2", "outside 0..1 (soil reflectance)"},
    {"rs_correction", "500", "outside 0..100 (soil resistance correction)"},
    {"xl", "5", "outside 0.001..2 m (leaf size)"},
    {"aleafv", "1.5", "(leaf absorptivity)"},
    {"rsoilv", "0.15", ""},
};

// Cases print by name in test listings.
void PrintTo(const RecipeNumberCase& c, std::ostream* os) {
    *os << c.key << "=" << c.value;
}

INSTANTIATE_TEST_SUITE_P(Cases, RecipeNumbers, ::testing::ValuesIn(recipe_number_cases),
                         [](const ::testing::TestParamInfo<RecipeNumberCase>& info) {
                             std::string name =
                                 std::string(info.param.key) + "_" + info.param.value;
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return name;
                         });

}  // namespace

namespace {

// ---- the ASCII snow-and-ice grid's cell positions ----

struct PositionCase {
    const char* name;
    const char* which;  // "lat" or "lon": the file one value is changed in
    std::size_t cell;   // value changed (0-based)
    float value;
    const char* message;
};

class ImsPositions : public temp_dir_test::TempDirTest,
                     public ::testing::WithParamInterface<PositionCase> {};

TEST_P(ImsPositions, ImpossiblePositionRefusedNamingIt) {
    const PositionCase& c = GetParam();
    const std::string asc = real_sample("ims/ims2013001_00UTC_4km_v1.2.asc");
    const std::string lat = real_sample("ims/imslat_4km.bin");
    const std::string lon = real_sample("ims/imslon_4km.bin");
    if (asc.empty() || lat.empty() || lon.empty()) GTEST_SKIP() << "real sample absent";
    const std::string changed = path(std::string(c.which) + ".bin");
    std::vector<unsigned char> bytes =
        temp_dir_test::file_bytes(std::string(c.which) == "lat" ? lat : lon);
    ASSERT_GE(bytes.size(), 4 * (c.cell + 1));
    std::memcpy(bytes.data() + 4 * c.cell, &c.value, 4);  // little-endian hosts
    std::ofstream(changed, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
    RasterRules rules;
    rules.lat_file = std::string(c.which) == "lat" ? changed : lat;
    rules.lon_file = std::string(c.which) == "lon" ? changed : lon;
    rules.allow_partial = true;
    ASSERT_TRUE(parse_class_map("2=0,4=4", rules.class_map));
    std::vector<float> values;
    nlohmann::json details;
    std::string error;
    int status = 0;
    prepare_raster({asc}, make_grid(-79.4f, 38.7f, 0.02f, 8, 8), rules, values, details, error,
                   status);
    EXPECT_EQ(status, 3);
    EXPECT_NE(error.find(asc), std::string::npos) << error;
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
}

const PositionCase position_cases[] = {
    {"longitude_beyond_360", "lon", 37, 1000.0f, "row 2, column 13 (value 38)"},
    {"latitude_beyond_the_pole", "lat", 0, 95.0f, "latitude 95"},
    {"longitude_not_a_number", "lon", 799, NAN, "row 32, column 25 (value 800)"},
};

// Cases print by name in test listings.
void PrintTo(const PositionCase& c, std::ostream* os) {
    *os << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, ImsPositions, ::testing::ValuesIn(position_cases),
                         [](const ::testing::TestParamInfo<PositionCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
