// ornax_ingest region --check: every problem of a recipe and its sources in one run, read
// from the sources' metadata alone, with nothing written; the inventory of what the
// sources hold; a tile's real (sinusoidal) outline rather than its bounding box.
#include <ostream>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "region_gen/sources.hpp"
#include "support/sinusoidal_tile.hpp"

namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

// The example sources of a 20 x 12 cell region, a scan in deg C and two sinusoidal tiles:
// one whose outline covers only the western part of the grid although its bounding box
// holds all of it, and one that covers the grid.
class RegionCheckTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char pattern[] = "/tmp/ornax_check_XXXXXX";
        dir_ = mkdtemp(pattern);
        const RegionSpec spec = make_region_spec(-10000, 3400, 20, 12, 7, 2019, 200);
        std::string error;
        int st = 0;
        write_example_sources(dir_ / "sources", spec, error, st);
        ASSERT_EQ(st, 0) << error;
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
        // east edge through -99.5 at 34.3 N: the western half of the grid
        write_sinusoidal_tile((dir_ / "half.tif").string(), sinusoidal_x(-130.0, 34.0),
                              sinusoidal_x(-99.5, 34.3), 30.0, 40.0, 5000.0, "RSC", st);
        ASSERT_EQ(st, 0);
        // a soil-resistance correction missing everywhere, and one missing west of -99.25
        std::vector<double> none(110 * 70, -9999.0), most(110 * 70, 1.0);
        for (int r = 0; r < 70; ++r)
            for (int c = 0; c < 80; ++c) most[static_cast<std::size_t>(r) * 110 + c] = -9999.0;
        write_geotiff((dir_ / "rsc_none.tif").string(), -100.05, 34.65, 0.01, 110, 70, false, none,
                      -9999.0, 1.0, 0.0, {"SHORTNAME=RSC"}, error, st);
        ASSERT_EQ(st, 0);
        write_geotiff((dir_ / "rsc_most.tif").string(), -100.05, 34.65, 0.01, 110, 70, false, most,
                      -9999.0, 1.0, 0.0, {"SHORTNAME=RSC"}, error, st);
        ASSERT_EQ(st, 0);
        write_sinusoidal_tile((dir_ / "whole.tif").string(), sinusoidal_x(-130.0, 34.0),
                              sinusoidal_x(-95.0, 34.0), 30.0, 40.0, 5000.0, "RSC", st);
        ASSERT_EQ(st, 0);
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
    static std::string replaced(std::string text, const std::string& key, const std::string& line) {
        const std::regex re("(^|\\n)" + key + " = [^\\n]*\\n");
        return std::regex_replace(text, re, "$1" + line + "\n");
    }
    // Writes the recipe and runs the subcommand with options; the exit status.
    static int ingest(const std::string& recipe, const std::string& options) {
        std::ofstream(dir_ / "recipe.txt") << recipe;
        const std::string command = "cd '" + dir_.string() + "' && '" + ORNAX_INGEST_EXE +
                                    "' --log ingest.log region " + options +
                                    " recipe.txt > out.txt 2> err.txt";
        const int raw = std::system(command.c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    static std::string err() { return slurp(dir_ / "err.txt"); }
    static std::string out() { return slurp(dir_ / "out.txt"); }
    static bool nothing_written() {
        for (const auto& e : fs::directory_iterator(dir_))
            if (e.path().filename().string().rfind("region", 0) == 0) return false;
        return true;
    }
    static fs::path dir_;
};
fs::path RegionCheckTest::dir_;

struct Planted {
    const char* name;
    const char* key;
    const char* line;
    const char* message;  // what the problem's line says
};

const Planted planted[] = {
    {"MissingForecastSteps", "forecast", "forecast = sources/forecast/gfs.t*.f00*.grib2",
     "forecast: the forecast files: 2t (2 m temperature) is missing at"},
    {"NoScanNearTheFirstTarget", "lst", "lst = sources/lst/*s20192001[2458]*.nc",
     "cells have no scan within 30 min of their target time 1"},
    {"TileCoveringPartOfTheGrid", "rs_correction", "rs_correction = half.tif", "half.tif: cover 1"},
    {"ScanInWrongUnit", "lst", "lst = celsius/*.nc", "LST is in 'degC', expected 'K'"},
    {"MissingFile", "snow", "snow = sources/no_snow.tif", "snow: no such file: "},
    {"LeafAreaOfAnotherPeriod", "lai_window", "lai_window = 0\ndoy = 201", "not for the run's day"},
};

class RegionCheckPlanted : public RegionCheckTest, public ::testing::WithParamInterface<Planted> {};

TEST_P(RegionCheckPlanted, IsListedAndNothingIsWritten) {
    const Planted& p = GetParam();
    std::string recipe = base_recipe();
    if (std::string(p.name) == "LeafAreaOfAnotherPeriod")
        recipe = replaced(recipe, "doy", "doy = 201");
    else
        recipe = replaced(recipe, p.key, p.line);
    EXPECT_EQ(ingest(recipe, "--check"), 3) << err();
    EXPECT_NE(err().find(p.message), std::string::npos) << err();
    EXPECT_TRUE(nothing_written());
    // the conversion runs the same check and stops on the same problem
    EXPECT_EQ(ingest(recipe, ""), 3) << err();
    EXPECT_NE(err().find(p.message), std::string::npos) << err();
    EXPECT_TRUE(nothing_written());
}

// Cases print by name in test listings.
void PrintTo(const Planted& c, std::ostream* os) {
    *os << c.name;
}

INSTANTIATE_TEST_SUITE_P(Check, RegionCheckPlanted, ::testing::ValuesIn(planted),
                         [](const auto& info) { return std::string(info.param.name); });

// The planted problems that can stand together in one recipe (one key each).
bool combinable(const Planted& p) {
    return std::string(p.name) != "LeafAreaOfAnotherPeriod" &&
           std::string(p.name) != "ScanInWrongUnit";
}

TEST_F(RegionCheckTest, ListsEveryProblemInOneRun) {
    std::string recipe = base_recipe();
    for (const Planted& p : planted) {
        if (combinable(p)) recipe = replaced(recipe, p.key, p.line);
    }
    recipe = replaced(recipe, "spacing", "spacing = 0.05\nnot a key line");
    EXPECT_EQ(ingest(recipe, "--check"), 3) << err();
    const std::string e = err();
    for (const Planted& p : planted) {
        if (combinable(p)) {
            EXPECT_NE(e.find(p.message), std::string::npos) << p.name << "\n" << e;
        }
    }
    EXPECT_NE(e.find("\"not a key line\" is not of the form key = value"), std::string::npos) << e;
    EXPECT_TRUE(nothing_written());
}

TEST_F(RegionCheckTest, EveryRecipeProblemInOneRun) {
    std::string recipe = replaced(base_recipe(), "year", "year = 1850");
    recipe = replaced(recipe, "west", "west = -100.005");
    recipe = replaced(recipe, "lai", "lai = sources/none/*.tif");
    recipe += "outputs = EDAY NOTAVAR\ncolour = blue\n";
    EXPECT_EQ(ingest(recipe, "--check"), 3) << err();
    for (const char* m : {"recipe.txt:2: year", "whole number of hundredths", "no file matches",
                          "\"NOTAVAR\" is not an output variable", "unknown key \"colour\""})
        EXPECT_NE(err().find(m), std::string::npos) << m << "\n" << err();
}

TEST_F(RegionCheckTest, GoodRecipePassesWithAnInventory) {
    EXPECT_EQ(
        ingest(replaced(base_recipe(), "rs_correction", "rs_correction = whole.tif"), "--check"), 0)
        << err();
    const std::string o = out();
    EXPECT_NE(o.find("gfs.t2019071900z.f003.grib2: 43 fields; reference 2019-07-19 00 UTC; "
                     "steps 3 h; averaging windows 0-3 h"),
              std::string::npos)
        << o;
    EXPECT_NE(o.find("satellite G16; from target 1: "), std::string::npos) << o;
    EXPECT_NE(o.find("lst: target 1: 0 of 240 cells have no scan within 30 min"), std::string::npos)
        << o;
    EXPECT_NE(o.find("lai_8day.tif: product LAI8D, period 2019-07-12 to 2019-07-19, CRS WGS 84, "
                     "nodata 255, covers 100.0 % of the grid"),
              std::string::npos)
        << o;
    EXPECT_NE(o.find("whole.tif: product RSC"), std::string::npos) << o;
    EXPECT_TRUE(nothing_written());
}

TEST_F(RegionCheckTest, PartialCoverGoesOnWhenAllowed) {
    const std::string recipe = replaced(base_recipe(), "rs_correction", "rs_correction = half.tif");
    EXPECT_EQ(ingest(recipe, "--check --allow-partial"), 0) << err();
    // the real outline: about half the grid (its bounding box would hold all of it)
    const std::string o = out();
    std::smatch m;
    ASSERT_TRUE(std::regex_search(o, m, std::regex("half.tif: .*covers ([0-9.]+) % of the grid")))
        << o;
    EXPECT_NEAR(std::stod(m[1].str()), 50.0, 6.0);
    EXPECT_EQ(ingest(recipe + "allow_partial = yes\n", "--check"), 0) << err();
}

TEST_F(RegionCheckTest, WrongFileAsRecipeIsNamed) {
    const std::string command = "cd '" + dir_.string() + "' && '" + ORNAX_INGEST_EXE +
                                "' --log ingest.log region --check sources/landcover.tif "
                                "2> err.txt; '" +
                                ORNAX_INGEST_EXE +
                                "' --log ingest.log region --check absent.txt 2>> err.txt";
    EXPECT_EQ(std::system(command.c_str()) == 0, false);
    EXPECT_NE(err().find("landcover.tif: is a GeoTIFF, not a recipe text"), std::string::npos)
        << err();
    EXPECT_NE(err().find("absent.txt: no such file"), std::string::npos) << err();
}

struct Emptiness {
    const char* name;
    const char* file;
    int exit;
    const char* message;
};

const Emptiness emptiness[] = {
    {"AllMissingIsRefused", "rsc_none.tif", 3,
     "static/rs_correct.bin would be missing at every one of its 240 cells"},
    {"MostlyMissingIsWarned", "rsc_most.tif", 0,
     "warning: recipe.txt:20: rs_correction: static/rs_correct.bin is missing at 75.0 % of its "
     "cells (180 of 240)"},
};

class RegionEmptiness : public RegionCheckTest, public ::testing::WithParamInterface<Emptiness> {};

TEST_P(RegionEmptiness, OfAConvertedRaster) {
    const Emptiness& e = GetParam();
    const std::string recipe =
        replaced(base_recipe(), "rs_correction", std::string("rs_correction = ") + e.file);
    EXPECT_EQ(ingest(recipe, "--check"), 0) << err();  // the metadata cannot tell
    EXPECT_EQ(ingest(recipe, ""), e.exit) << err();
    EXPECT_NE(err().find(e.message), std::string::npos) << err();
    EXPECT_EQ(nothing_written(), e.exit != 0);
    fs::remove_all(dir_ / "region");
}

// Cases print by name in test listings.
void PrintTo(const Emptiness& c, std::ostream* os) {
    *os << c.name;
}

INSTANTIATE_TEST_SUITE_P(Region, RegionEmptiness, ::testing::ValuesIn(emptiness),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
