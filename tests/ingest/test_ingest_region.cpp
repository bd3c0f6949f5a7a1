// ornax_ingest region: the recipe's checks and refusals (each naming the file, the line
// and the reason, leaving nothing behind), the grids and class values it derives, and a
// region made from real-format sources that the model runs end to end.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <ostream>

#include "ornax90/ORNAX_io_mod.hpp"
#include "region_gen/sources.hpp"
#include "ingest/region/config.hpp"
#include "ingest/region/land.hpp"
#include "ingest/region/recipe.hpp"
#include "support/folder_state.hpp"

namespace {

namespace fs = std::filesystem;

int run_shell(const std::string& command) {
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

// The sources of a 20 x 12 pixel region and a recipe naming them, made once.
class RegionRecipeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char pattern[] = "/tmp/ornax_region_XXXXXX";
        dir_ = mkdtemp(pattern);
        const RegionSpec spec = make_region_spec(-10000, 3400, 20, 12, 7, 2019, 200);
        std::string error;
        int st = 0;
        write_example_sources(dir_ / "sources", spec, error, st);
        ASSERT_EQ(st, 0) << error;
        // a scan in deg C, a leaf-area tile of another product, a raster without georeferencing
        std::vector<double> v(100, 1.0);
        write_geotiff((dir_ / "other_product.tif").string(), -100.05, 34.65, 0.01, 10, 10, true, v,
                      255, 0.1, 0, {"SHORTNAME=OTHER"}, error, st);
        ASSERT_EQ(st, 0);
        GDALDatasetH ds = GDALCreate(GDALGetDriverByName("GTiff"), (dir_ / "no_georef.tif").c_str(),
                                     10, 10, 1, GDT_Byte, nullptr);
        ASSERT_NE(ds, nullptr);
        GDALClose(ds);
        AbiLayout layout;
        GeosProjection p;
        p.perspective_point_height = 35786023.0, p.semi_major_axis = 6378137.0;
        p.semi_minor_axis = 6356752.31414, p.lon_0 = -75.0;
        abi_window(p, -100.1, 33.9, -98.9, 34.7, 5.6e-5, layout, st);
        layout.units = "degC";
        layout.offset = -50.0;
        layout.scan_time = day_start_seconds(2019, 200) + 13 * 3600.0;
        fs::create_directories(dir_ / "celsius");
        write_abi_file((dir_ / "celsius" / "lst_celsius.nc").string(), layout,
                       [](double, double) { return 25.0; }, error, st);
        ASSERT_EQ(st, 0) << error;
    }
    static void TearDownTestSuite() { fs::remove_all(dir_); }

    static std::string base_recipe() {
        return "out = region\n"
               "year = 2019\n"
               "doy = 200\n"
               "west = -100.00\n"
               "east = -99.00\n"
               "south = 34.00\n"
               "north = 34.60\n"
               "spacing = 0.05\n"
               "forecast = sources/forecast/gfs.t*.grib2\n"
               "lst = sources/lst/*.nc\n"
               "class_table = sources/landcover_classes.txt\n"
               "landcover = sources/landcover.tif\n"
               "landcover_missing_codes = 255\n"
               "lai = sources/lai_8day.tif\n"
               "lai_missing_codes = 255\n"
               "lai_window = 0\n"
               "snow = sources/snow.tif\n"
               "rsoilv = 0.24\n"
               "rsoiln = 0.38\n"
               "rs_correction = sources/rs_correction.tif\n";
    }
    // Writes the recipe and runs the subcommand; the exit status.
    static int ingest(const std::string& recipe, const std::string& extra = "") {
        std::ofstream(dir_ / "recipe.txt") << recipe;
        return run_shell("cd '" + dir_.string() + "' && '" + ORNAX_INGEST_EXE +
                         "' --log ingest.log region " + extra + " recipe.txt > out.txt 2> err.txt");
    }
    static std::string err() { return slurp(dir_ / "err.txt"); }
    // Nothing of the region folder, not even a temporary one, is left in the folder.
    static bool nothing_left() {
        for (const auto& e : fs::directory_iterator(dir_))
            if (e.path().filename().string().rfind("region", 0) == 0) return false;
        return true;
    }
    static fs::path dir_;
};
fs::path RegionRecipeTest::dir_;

std::string replaced(std::string text, const std::string& key, const std::string& line) {
    const std::regex re("(^|\\n)" + key + " = [^\\n]*\\n");
    return std::regex_replace(text, re, line.empty() ? "$1" : "$1" + line + "\n");
}

struct Refusal {
    const char* name;
    const char* key;   // key whose line is replaced ("" appends)
    const char* line;  // the new line ("" removes the key)
    const char* message;
};
void PrintTo(const Refusal& c, std::ostream* os) {
    *os << c.name;
}

const Refusal refusals[] = {
    {"MissingKey", "lai", "", "recipe.txt: missing key \"lai\""},
    {"UnknownKeyWithLine", "", "colour = blue", "recipe.txt:21: unknown key \"colour\""},
    {"RepeatedKey", "", "year = 2020", "key \"year\" given again (first on line 2)"},
    {"NotKeyValue", "", "just words", "recipe.txt:21: \"just words\" is not of the form"},
    {"DayTheYearDoesNotHave", "doy", "doy = 366", "recipe.txt:3: doy: \"366\" is not a number"},
    {"YearOutOfRange", "year", "year = 1850", "recipe.txt:2: year"},
    {"EdgesNotWholeCells", "east", "east = -99.02", "is not a whole number of 0.05 degree cells"},
    {"EdgeBeyondHundredths", "west", "west = -100.005", "whole number of hundredths"},
    {"EastWestOfWest", "east", "east = -101.00", "east must lie east of west"},
    {"PatternMatchesNothing", "forecast", "forecast = sources/none/*.grib2", "no file matches"},
    {"UnknownOutput", "", "outputs = EDAY NOTAVAR", "\"NOTAVAR\" is not an output variable"},
    {"ClassForSoilReflectance", "rsoilv", "rsoilv = class", "has no column for rsoilv"},
    {"GridNotCovered", "west", "west = -103.00", "of the grid's"},
    {"ProjectionGdalCannotRead", "landcover", "landcover = no_georef.tif",
     "no_georef.tif: no projection or georeferencing GDAL can read"},
    {"TileOfAnotherProduct", "lai", "lai = sources/lai_8day.tif other_product.tif",
     "a tile of another product"},
    {"LeafAreaOfAnotherPeriod", "doy", "doy = 201", "not for the run's day"},
    {"ClassOutsideTheTable", "landcover_missing_codes",
     "landcover_class_map = 1=30,5=30,8=30,10=30,11=30,12=30,13=30,15=30,17=30,18=30",
     "is not a class of"},
    {"TemperatureInWrongUnit", "lst", "lst = celsius/*.nc", "expected 'K'"},
    {"ForecastDayIncomplete", "forecast", "forecast = sources/forecast/gfs.t*.f00*.grib2",
     "is missing at"},
    {"BadMissingCodes", "lai_missing_codes", "lai_missing_codes = many",
     "recipe.txt:15: lai_missing_codes"},
};

class RegionRefusal : public RegionRecipeTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RegionRefusal, NamesTheReasonAndLeavesNothing) {
    const Refusal& r = GetParam();
    std::string recipe = base_recipe();
    if (*r.key == '\0')
        recipe += std::string(r.line) + "\n";
    else
        recipe = replaced(recipe, r.key, r.line);
    EXPECT_EQ(ingest(recipe), 3) << err();
    EXPECT_NE(err().find(r.message), std::string::npos) << err();
    EXPECT_TRUE(nothing_left());
}

INSTANTIATE_TEST_SUITE_P(Recipe, RegionRefusal, ::testing::ValuesIn(refusals),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RegionRecipeTest, WithoutRecipeIsAUsageError) {
    EXPECT_EQ(run_shell(std::string("'") + ORNAX_INGEST_EXE + "' region 2>/dev/null"), 2);
}

TEST_F(RegionRecipeTest, DefaultsAndPatternsAreRead) {
    std::ofstream(dir_ / "recipe.txt") << "# a comment\n" << base_recipe() << "aleafv = 0.8\n";
    RegionRecipe r;
    std::string error;
    int st = 0;
    read_region_recipe((dir_ / "recipe.txt").string(), r, error, st);
    ASSERT_EQ(st, 0) << error;
    EXPECT_EQ(r.forecast.size(), 16u);  // steps 0 to 45 h
    EXPECT_TRUE(std::is_sorted(r.forecast.begin(), r.forecast.end()));
    EXPECT_EQ(r.forecast_spacing, 0.25);
    EXPECT_TRUE(r.insolation_files.empty());  // insolation from the forecast
    EXPECT_EQ(r.outputs.front(), "EDAY");
    ASSERT_EQ(r.land.size(), 10u);
    for (const LandParameter& p : r.land) {
        if (p.key == "aleafv") {
            EXPECT_EQ(p.source, LandSource::constant);
            EXPECT_EQ(p.value, 0.8);
        }
        if (p.key == "aleafn") {
            EXPECT_EQ(p.source, LandSource::table_class);
        }
        if (p.key == "rs_correction") {
            EXPECT_EQ(p.source, LandSource::raster);
        }
    }
    EXPECT_EQ(r.where("aleafn"), (dir_ / "recipe.txt").string() + ": aleafn (default)");
    EXPECT_EQ(r.out, (dir_ / "region").string());
}

struct GridCase {
    double west, east, south, north, spacing, fs;
    float cw, ce, cs, cn;
    int ncols, nrows;
};
void PrintTo(const GridCase& c, std::ostream* os) {
    *os << c.west << ".." << c.east << " x " << c.south << ".." << c.north << " by " << c.spacing;
}

class RegionGridsTest : public ::testing::TestWithParam<GridCase> {};

TEST_P(RegionGridsTest, CommonGridHasOneWholeCellOfMargin) {
    const GridCase& c = GetParam();
    RegionRecipe r;
    r.west = c.west, r.east = c.east, r.south = c.south, r.north = c.north;
    r.spacing = c.spacing, r.forecast_spacing = c.fs;
    RegionGrids g;
    region_make_grids(r, g);
    EXPECT_EQ(g.run.ncols, c.ncols);
    EXPECT_EQ(g.run.nrows, c.nrows);
    EXPECT_FLOAT_EQ(g.common.west_lon, c.cw);
    EXPECT_FLOAT_EQ(g.common.east_lon, c.ce);
    EXPECT_FLOAT_EQ(g.common.south_lat, c.cs);
    EXPECT_FLOAT_EQ(g.common.north_lat, c.cn);
    EXPECT_EQ(g.common.ncols, static_cast<int>(std::lround((c.ce - c.cw) / c.fs)));
}

INSTANTIATE_TEST_SUITE_P(Edges, RegionGridsTest,
                         ::testing::Values(GridCase{-100, -95, 34, 37, 0.05, 0.25, -100.25f,
                                                    -94.75f, 33.75f, 37.25f, 100, 60},
                                           GridCase{-99.9, -95.1, 34.1, 36.9, 0.1, 0.25, -100.25f,
                                                    -94.75f, 33.75f, 37.25f, 48, 28},
                                           GridCase{10.05, 11.0, -5.0, -4.05, 0.05, 0.5, 9.5f,
                                                    11.5f, -5.5f, -3.5f, 19, 19}));

TEST(RegionClassValue, TakesTheColumnOfTheClassAndMissingWithoutOne) {
    std::vector<Ornaxlandtype> table(3);
    for (int i = 0; i < 3; ++i) {
        table[static_cast<std::size_t>(i)].aleafv = 0.8f + 0.01f * static_cast<float>(i);
        table[static_cast<std::size_t>(i)].xl = 0.1f * static_cast<float>(i + 1);
    }
    const struct {
        const char* field;
        float landcover, expected;
    } cases[] = {{"aleafv", 1, 0.80f},      {"aleafv", 3, 0.82f}, {"xl", 2, 0.2f},
                 {"xl", 0, -9999.0f},       {"xl", 4, -9999.0f},  {"xl", 2.5f, -9999.0f},
                 {"xl", -9999.0f, -9999.0f}};
    for (const auto& c : cases)
        EXPECT_FLOAT_EQ(region_class_value(table, 3, c.field, c.landcover, -9999.0f), c.expected)
            << c.field << " class " << c.landcover;
}

// The whole chain: sources in their own formats -> region folder -> region run.
TEST_F(RegionRecipeTest, RegionFromRealFormatsRunsEndToEnd) {
    ASSERT_EQ(ingest(base_recipe() + "outputs = EDAY H2\n"), 0) << err();
    const fs::path region = dir_ / "region";
    const nlohmann::json m = nlohmann::json::parse(slurp(region / "manifest.json"));
    EXPECT_EQ(m["sources"][0]["sha256"].get<std::string>().size(), 64u);
    EXPECT_EQ(m["day"]["doy"], 200);
    // class values are missing exactly where the land cover has no class of the table: the
    // generator's one pixel of class 0
    EXPECT_EQ(m["land"]["static/aleafn.bin"]["missing"], 1) << m["land"].dump();
    EXPECT_EQ(m["land"]["static/landcover.bin"]["missing"], 0);
    EXPECT_EQ(m["land"]["static/rsoilv.bin"]["valid"], 240);
    for (const char* f : {"met/2019200/manifest.json", "met/2019201/manifest.json",
                          "sat/2019200/manifest.json", "lai/2019200/lai.manifest.json",
                          "static/landcover.manifest.json", "config/land_subset.dat"})
        EXPECT_TRUE(fs::exists(region / f)) << f;
    // every manifest names what it describes by its published path, never a staging name
    for (const auto& e : fs::recursive_directory_iterator(region)) {
        if (e.path().filename().string().find("manifest.json") == std::string::npos) continue;
        const std::string text = slurp(e.path());
        EXPECT_EQ(text.find(".partial-"), std::string::npos) << e.path() << ": " << text;
    }
    // and so do the messages
    EXPECT_EQ(err().find(".partial-"), std::string::npos) << err();
    // trad in K, as the region run reads it
    const std::vector<unsigned char> trad = [&] {
        std::ifstream in(region / "sat/2019200/trad2.bin", std::ios::binary);
        return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
    }();
    ASSERT_EQ(trad.size(), 20u * 12u * 4u);
    float t = 0;
    std::memcpy(&t, trad.data() + 4 * 130, 4);
    EXPECT_GT(t, 280.0f);
    EXPECT_LT(t, 340.0f);
    ASSERT_EQ(run_shell("cd '" + region.string() + "' && env -u HOME_DIR '" + ORNAX_EXE +
                        "' -r0 config/region.cfg 2019 200 > screen.txt 2>&1"),
              0)
        << slurp(region / "screen.txt");
    const std::string eday = slurp(region / "output" / "EDAY.bin");
    ASSERT_EQ(eday.size(), 20u * 12u * 4u);
    int computed = 0;
    for (std::size_t k = 0; k < 240; ++k) {
        float v = 0;
        std::memcpy(&v, eday.data() + 4 * k, 4);
        if (v > 0.0f && v < 40.0f) ++computed;
    }
    EXPECT_GT(computed, 200);
    // an existing folder is kept unless --replace is given
    EXPECT_EQ(ingest(base_recipe()), 3);
    EXPECT_TRUE(fs::exists(region / "output" / "EDAY.bin"));
    EXPECT_EQ(ingest(base_recipe(), "--replace"), 0) << err();
    EXPECT_FALSE(fs::exists(region / "output" / "EDAY.bin"));
    fs::remove_all(region);
}

}  // namespace

namespace {

using folder_state::left_over;
using folder_state::names;

// An output that would replace a source is refused, naming both, and leaves every source
// as it was: the recipe's own folder, the sources' folder, a folder holding both.
struct SourceClash {
    const char* name;
    const char* out;     // --out, relative to the recipe's folder
    const char* source;  // named in the refusal
};

void PrintTo(const SourceClash& c, std::ostream* os) {
    *os << c.name;
}

class RegionSourceClash : public RegionRecipeTest,
                          public ::testing::WithParamInterface<SourceClash> {};

TEST_P(RegionSourceClash, RefusedNamingBothSourcesKept) {
    const SourceClash& c = GetParam();
    const std::string before = slurp(dir_ / "sources" / "landcover_classes.txt");
    const std::string out = (dir_ / c.out).lexically_normal().string();
    EXPECT_EQ(ingest(base_recipe(), "--replace --out '" + out + "'"), 3);
    EXPECT_NE(err().find("would replace the"), std::string::npos) << err();
    EXPECT_NE(err().find(c.source), std::string::npos) << err();
    EXPECT_EQ(slurp(dir_ / "sources" / "landcover_classes.txt"), before);
    EXPECT_TRUE(fs::exists(dir_ / "recipe.txt"));
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, RegionSourceClash,
    ::testing::Values(SourceClash{"RecipeFolder", ".", "recipe.txt"},
                      SourceClash{"SourcesFolder", "sources", "sources/"},
                      SourceClash{"ForecastFolder", "sources/forecast", "forecast file"},
                      SourceClash{"FolderAboveBoth", "..", "recipe"}),
    [](const ::testing::TestParamInfo<SourceClash>& info) { return info.param.name; });

// A conversion killed at rename k of its publications: the next run (refused, as the output
// exists) finds the old or the new output whole and nothing left over; the rerun with
// --replace then completes. k runs over every rename until the conversion completes.
struct KilledProgram {
    const char* name;
    bool region;  // true: the region folder; false: one raster and its manifest
};

void PrintTo(const KilledProgram& p, std::ostream* os) {
    *os << p.name;
}

class ProgramKilled : public RegionRecipeTest, public ::testing::WithParamInterface<KilledProgram> {
protected:
    // The conversion, old (nearest, EDAY) or new (mode, EDAY H2), with extra options and
    // the environment given before the program; the exit status (-1 or 137 when killed).
    static int convert(bool region, bool newer, const std::string& options,
                       const std::string& environment = "") {
        std::string command = "cd '" + dir_.string() + "' && " + environment + " '" +
                              ORNAX_INGEST_EXE + "' --log ingest.log ";
        if (region) {
            std::ofstream(dir_ / "recipe.txt")
                << base_recipe() + "outputs = " + (newer ? "EDAY H2" : "EDAY") + "\n";
            command += "region " + options + " recipe.txt";
        } else {
            command += "raster --grid grid.txt --out lc/landcover.bin --resample " +
                       std::string(newer ? "mode " : "nearest ") + options +
                       " sources/landcover.tif";
        }
        return run_shell(command + " > out.txt 2> err.txt");
    }
    // What tells the two versions apart: the outlist (region), the resampling (raster).
    static std::string version(bool region) {
        if (region) return slurp(dir_ / "region" / "config" / "outlist.txt");
        const std::string manifest = slurp(dir_ / "lc" / "landcover.manifest.json");
        if (manifest.empty()) return "";
        return nlohmann::json::parse(manifest)["resampling"];
    }
};

TEST_P(ProgramKilled, EveryRenameLeavesOldOrNewWhole) {
    const bool region = GetParam().region;
    std::ofstream(dir_ / "recipe.txt") << base_recipe();
    RegionRecipe recipe;
    std::string error;
    int st = 0;
    read_region_recipe((dir_ / "recipe.txt").string(), recipe, error, st);
    ASSERT_EQ(st, 0) << error;
    RegionGrids grids;
    region_make_grids(recipe, grids);
    std::ofstream(dir_ / "grid.txt") << domain_info_text("grid", grids.run);
    fs::remove_all(dir_ / "region");
    fs::remove_all(dir_ / "lc");
    fs::create_directories(dir_ / "lc");
    ASSERT_EQ(convert(region, true, ""), 0) << err();
    const std::string new_version = version(region);
    ASSERT_EQ(convert(region, false, "--replace"), 0) << err();
    const std::string old_version = version(region);
    ASSERT_NE(old_version, new_version);
    const std::string raster_before = region ? "" : slurp(dir_ / "lc" / "landcover.bin");
    bool completed = false;
    for (int k = 1; k < 200 && !completed; ++k) {
        const int code =
            convert(region, true, "--replace", "ORNAX_TEST_FAIL_AT_RENAME=" + std::to_string(k));
        completed = code == 0;
        if (!completed) {
            EXPECT_TRUE(code == -1 || code == 137) << "rename " << k << ": " << err();
        }
        // the next run recovers the folder and is refused: the output exists
        EXPECT_EQ(convert(region, !completed, ""), 3) << "rename " << k;
        const std::string now = version(region);
        EXPECT_TRUE(now == old_version || now == new_version) << "rename " << k << ": " << now;
        EXPECT_EQ(left_over(dir_), std::vector<std::string>{}) << "rename " << k;
        if (!region && now == old_version) {
            EXPECT_EQ(slurp(dir_ / "lc" / "landcover.bin"), raster_before) << "rename " << k;
        }
        // back to the old version for the next kill point
        if (!completed) {
            ASSERT_EQ(convert(region, false, "--replace"), 0) << err();
        }
    }
    EXPECT_TRUE(completed);
    EXPECT_EQ(version(region), new_version);
}

INSTANTIATE_TEST_SUITE_P(Conversions, ProgramKilled,
                         ::testing::Values(KilledProgram{"Raster", false},
                                           KilledProgram{"Region", true}),
                         [](const ::testing::TestParamInfo<KilledProgram>& info) {
                             return info.param.name;
                         });

// The raster subcommand: an output equal to its source is refused and the source kept; an
// existing output is replaced only with --replace.
TEST_F(RegionRecipeTest, RasterNeverReplacesItsSourceAndReplacesOnlyWhenAsked) {
    std::ofstream(dir_ / "recipe.txt") << base_recipe();
    RegionRecipe recipe;
    std::string error;
    int st = 0;
    read_region_recipe((dir_ / "recipe.txt").string(), recipe, error, st);
    ASSERT_EQ(st, 0) << error;
    RegionGrids grids;
    region_make_grids(recipe, grids);
    std::ofstream(dir_ / "grid.txt") << domain_info_text("grid", grids.run);
    const std::string raster = "'" + std::string(ORNAX_INGEST_EXE) + "' --log ingest.log raster ";
    const std::string source = slurp(dir_ / "sources" / "landcover.tif");
    const auto run = [&](const std::string& args) {
        return run_shell("cd '" + dir_.string() + "' && " + raster + args +
                         " > out.txt 2> err.txt");
    };
    EXPECT_EQ(run("--replace --grid grid.txt --out sources/landcover.tif sources/landcover.tif"),
              3);
    EXPECT_NE(err().find("would replace the source"), std::string::npos) << err();
    EXPECT_EQ(slurp(dir_ / "sources" / "landcover.tif"), source);
    EXPECT_EQ(run("--replace --grid grid.txt --out grid.txt sources/landcover.tif"), 3);
    EXPECT_NE(err().find("grid file"), std::string::npos) << err();
    fs::remove_all(dir_ / "lc2");
    fs::create_directories(dir_ / "lc2");
    ASSERT_EQ(run("--grid grid.txt --out lc2/lc.bin sources/landcover.tif"), 0) << err();
    EXPECT_EQ(run("--grid grid.txt --out lc2/lc.bin sources/landcover.tif"), 3);
    EXPECT_NE(err().find("exists already"), std::string::npos) << err();
    EXPECT_EQ(run("--replace --grid grid.txt --out lc2/lc.bin sources/landcover.tif"), 0) << err();
    EXPECT_EQ(names(dir_ / "lc2"), (std::vector<std::string>{"lc.bin", "lc.manifest.json"}));
    fs::remove_all(dir_ / "lc2");
}

}  // namespace
