// ornax_ingest forecast: the profile and humidity formulas, the bilinear weights, a day
// written from real forecast GRIB2 re-stamped with the ECMWF tools and checked against an
// independent computation with the library's Python module, and the refusals.
#include <ostream>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "ingest/forecast/day.hpp"
#include "ingest/forecast/fields.hpp"

namespace {

namespace fs = std::filesystem;

// The real samples beside the project (ORNAX_REALINPUTS names another place).
fs::path realinputs() {
    const char* other = std::getenv("ORNAX_REALINPUTS");
    return other != nullptr ? fs::path(other)
                            : fs::path(ORNAX_SOURCE_DIR) / ".." / "shared" / "realinputs";
}
const fs::path sample_dir = realinputs() / "gfs";
const fs::path sample = sample_dir / "gfs.t12z.pgrbf120.2p5deg.grib2";
const fs::path script_dir = fs::path(ORNAX_SOURCE_DIR) / "tests" / "ingest";

int shell(const std::string& command) {
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

std::string read_text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

std::vector<float> read_floats(const fs::path& path) {
    const std::string bytes = read_text(path);
    std::vector<float> values(bytes.size() / 4);
    for (std::size_t i = 0; i < values.size(); ++i) {
        std::uint32_t u = 0;
        for (int b = 0; b < 4; ++b)
            u |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[4 * i + b]))
                 << (8 * b);
        std::memcpy(&values[i], &u, 4);
    }
    return values;
}

// ---- formulas ----

const std::array<float, ornax_common_layer_count> heights = Ornaxcommonblock{}.layer_heights;

TEST(ForecastFormulas, SpecificHumidityFromRelativeHumidity) {
    // es(300 K) = 611.2 exp(17.67 x 26.85 / 270.35) = 3534.6 Pa; e = 1767.3 Pa
    EXPECT_NEAR(forecast_specific_humidity(50.0, 300.0, 100000.0), 0.011066, 2e-6);
    EXPECT_DOUBLE_EQ(forecast_specific_humidity(0.0, 280.0, 90000.0), 0.0);
    EXPECT_NEAR(forecast_theta(273.15, 100000.0), 273.15, 1e-9);
    EXPECT_NEAR(forecast_theta(250.0, 50000.0), 250.0 * std::pow(2.0, 287.04 / 1004.64), 1e-9);
}

struct ColumnCase {
    const char* name;
    std::vector<double> p, t, gh;
    double zs, sp;
    ColumnResult result;
};

TEST(ForecastFormulas, ThetaColumn) {
    const ColumnCase cases[] = {
        {"two levels above a surface at 100 m",
         {90000, 10000},
         {280, 220},
         {1100, 16100},
         100,
         95000,
         ColumnResult::ok},
        {"level below the ground left out",
         {100000, 90000, 10000},
         {150, 280, 220},
         {50, 1100, 16100},
         100,
         95000,
         ColumnResult::ok},
        {"top level below 15000 m",
         {90000, 20000},
         {280, 220},
         {1100, 12000},
         100,
         95000,
         ColumnResult::above_top},
        {"heights fall as pressure falls",
         {90000, 50000, 10000},
         {280, 250, 220},
         {1100, 900, 16100},
         100,
         95000,
         ColumnResult::not_monotonic},
    };
    for (const ColumnCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::array<float, ornax_common_layer_count> theta{};
        double bad = 0.0;
        const ColumnResult r =
            forecast_theta_column(c.p, c.t, c.gh, c.zs, c.sp, 285.0, heights, theta, bad);
        ASSERT_EQ(r, c.result);
        if (r == ColumnResult::not_monotonic) {
            EXPECT_EQ(bad, 50000.0);
        }
        if (r != ColumnResult::ok) continue;
        // at 1000 m above the surface: between 2 m (theta of 285 K at 95000 Pa) and the
        // 900 hPa level at 1000 m
        const double th_s = forecast_theta(285.0, 95000.0), th_9 = forecast_theta(280.0, 90000.0);
        EXPECT_NEAR(theta[24], th_s + (1000.0 - 2.0) / (1000.0 - 2.0) * (th_9 - th_s), 1e-3);
        const double th_1 = forecast_theta(220.0, 10000.0);
        EXPECT_NEAR(theta[0], th_9 + (15000.0 - 1000.0) / 15000.0 * (th_1 - th_9), 1e-3);
        EXPECT_NEAR(theta[29], th_s + 78.0 / 998.0 * (th_9 - th_s), 1e-3);
    }
}

TEST(ForecastFormulas, MissingInputMakesTheWholeColumnMissing) {
    std::array<float, ornax_common_layer_count> theta{};
    double bad = 0.0;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(forecast_theta_column({90000, 10000}, {nan, 220}, {1100, 16100}, 100, 95000, 285,
                                    heights, theta, bad),
              ColumnResult::ok);
    for (float v : theta) EXPECT_TRUE(std::isnan(v));
}

// ---- bilinear weights ----

Spatialinfodata common_grid(float west, float south, int ncols, int nrows, float step) {
    Spatialinfodata g;
    g.west_lon = west;
    g.east_lon = west + ncols * step;
    g.south_lat = south;
    g.north_lat = south + nrows * step;
    g.dlon = g.dlat = step;
    g.ncols = ncols;
    g.nrows = nrows;
    return g;
}

TEST(ForecastWeights, LongitudeConventionsAndOutsideGrids) {
    ForecastGrid global{144, 73, 90.0, -90.0, 0.0, 2.5, true};
    ForecastGrid east{8, 5, 40.0, 30.0, 260.0, 2.5, false};  // 260..277.5 E, 40..30 N
    struct Case {
        const char* name;
        ForecastGrid grid;
        Spatialinfodata common;
        int status;
        double shift;
    } cases[] = {
        {"west longitudes on a 0..360 grid", global, common_grid(-100, 34, 4, 2, 0.5), 0, 360.0},
        {"across the seam", global, common_grid(358.75f, 0, 2, 1, 0.5), 0, 0.0},
        {"regional grid, west longitudes", east, common_grid(-99, 31, 4, 4, 0.5), 0, 360.0},
        {"west of a regional grid", east, common_grid(-110, 31, 4, 4, 0.5), 3, 0.0},
        {"north of a regional grid", east, common_grid(-99, 39, 4, 4, 0.5), 3, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<CellWeights> w;
        std::vector<double> shifts;
        std::string error;
        int status = -1;
        forecast_bilinear_weights(c.grid, c.common, w, shifts, error, status);
        ASSERT_EQ(status, c.status) << error;
        if (status != 0) {
            EXPECT_NE(error.find("outside the forecast grid"), std::string::npos) << error;
            continue;
        }
        EXPECT_EQ(shifts.front(), c.shift);
        for (const CellWeights& cw : w)
            EXPECT_NEAR(cw.weight[0] + cw.weight[1] + cw.weight[2] + cw.weight[3], 1.0f, 1e-6f);
    }
    // a field equal to its longitude index (0..143) interpolates to the column position;
    // across the seam the last and first columns are neighbours
    std::vector<double> field(144 * 73);
    for (std::size_t i = 0; i < field.size(); ++i) field[i] = static_cast<double>(i % 144);
    std::vector<CellWeights> w;
    std::vector<double> shifts;
    std::string error;
    int status = 0;
    forecast_bilinear_weights(global, common_grid(-100, 34, 1, 1, 0.5), w, shifts, error, status);
    std::vector<float> cells;
    forecast_interpolate(field, w, cells);
    EXPECT_NEAR(cells[0], (360.0 - 99.75) / 2.5, 1e-4);
    field[(22 * 144) + 104] = std::numeric_limits<double>::quiet_NaN();  // a corner missing
    forecast_interpolate(field, w, cells);
    EXPECT_TRUE(std::isnan(cells[0]));
}

// ---- a day from real forecast files ----

class ForecastDay : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!fs::exists(sample)) return;
        dir_ = fs::temp_directory_path() / ("ornax_ingest_forecast_" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        made_ = shell("bash '" + (script_dir / "make_forecast_day.sh").string() + "' '" +
                      sample.string() + "' '" + (dir_ / "grib").string() +
                      "' 20190719 0 45 > /dev/null 2>&1") == 0;
        std::ofstream(dir_ / "grid.txt") << "Domain description            common grid\n"
                                            "East longitude                 -95.00\n"
                                            "West longitude                -100.00\n"
                                            "Longitude resolution             0.25\n"
                                            "North latitude                 37.00\n"
                                            "South latitude                 34.00\n"
                                            "Latitude resolution              0.25\n"
                                            "Number of columns                    20\n"
                                            "Number of rows                       12\n"
                                            "Number of layers                     30\n"
                                            "Number of hours                       8\n"
                                            "Missing value                -9999.0\n";
    }
    static void TearDownTestSuite() {
        if (!dir_.empty()) fs::remove_all(dir_);
    }
    void SetUp() override {
        if (!fs::exists(sample)) GTEST_SKIP() << "no real forecast sample at " << sample;
        ASSERT_TRUE(made_) << "the day's GRIB2 files could not be made with grib_set/grib_copy";
    }
    // Step files of the day (hours 0..21) or of both days.
    static std::string steps(int last = 21, int skip = -1) {
        std::string files;
        for (int s = 0; s <= last; s += 3) {
            if (s == skip) continue;
            char name[32];
            std::snprintf(name, sizeof name, "gfs.t00z.f%03d.grib2", s);
            files += " '" + (dir_ / "grib" / name).string() + "'";
        }
        return files;
    }
    static int ingest(const std::string& out, const std::string& files,
                      const std::string& extra = "") {
        return shell("cd '" + dir_.string() + "' && '" + ORNAX_INGEST_EXE +
                     "' --log ingest.log forecast --grid grid.txt --out '" + out + "' " + extra +
                     " 2019 200" + files + " > out.txt 2> err.txt");
    }
    static std::string err() { return read_text(dir_ / "err.txt"); }
    static fs::path dir_;
    static bool made_;
};
fs::path ForecastDay::dir_;
bool ForecastDay::made_ = false;

TEST_F(ForecastDay, NineRastersAgreeWithAnIndependentComputation) {
    ASSERT_EQ(ingest("met", steps(45), "--land-mask gfs/land.bin"), 0) << err();
    const fs::path day = dir_ / "met" / "2019200";
    const std::size_t cells = 20 * 12;
    for (const char* f : {"psfc_series.bin", "t2_series.bin", "q2_series.bin", "wind_surface.bin",
                          "lwdn.bin", "swdn.bin", "cfslst.bin", "lhtfl.bin"})
        EXPECT_EQ(fs::file_size(day / f), cells * 8 * 4) << f;
    EXPECT_EQ(fs::file_size(day / "pot_profile.bin"), cells * 8 * 30 * 4);
    EXPECT_EQ(fs::file_size(dir_ / "gfs" / "land.bin"), cells * 4);

    // independent values at the south-west and north-east cells, step 06 UTC
    const std::string ref_cmd =
        "/usr/bin/python3 '" + (script_dir / "forecast_reference.py").string() + "' '" +
        (dir_ / "grib" / "gfs.t00z.f006.grib2").string() + "' 34.125,-99.875 36.875,-95.125 > '" +
        (dir_ / "ref.txt").string() + "'";
    ASSERT_EQ(shell(ref_cmd), 0) << "the Python eccodes module is needed (python3-eccodes)";
    std::ifstream ref(dir_ / "ref.txt");
    const std::size_t at[2] = {0, cells - 1};
    const int step = 2;
    for (std::size_t n = 0; n < 2; ++n) {
        std::string line;
        std::getline(ref, line);
        const nlohmann::json r = nlohmann::json::parse(line);
        SCOPED_TRACE(line);
        auto value = [&](const char* file) {
            return read_floats(day / file)[step * cells + at[n]];
        };
        EXPECT_NEAR(value("t2_series.bin"), r["t2"].get<double>(), 1e-3);
        EXPECT_NEAR(value("psfc_series.bin"), r["psfc"].get<double>(), 0.05);
        EXPECT_NEAR(value("cfslst.bin"), r["cfslst"].get<double>(), 1e-3);
        EXPECT_NEAR(value("wind_surface.bin"), r["wind"].get<double>(), 1e-4);
        EXPECT_NEAR(value("q2_series.bin"), r["q2"].get<double>(), 1e-7);
        const std::vector<float> th = read_floats(day / "pot_profile.bin");
        EXPECT_NEAR(th[(step * 30 + 23) * cells + at[n]], r["theta1400"].get<double>(), 2e-3);
        EXPECT_NEAR(th[(step * 30 + 29) * cells + at[n]], r["theta80"].get<double>(), 2e-3);
    }
    // fluxes: the three-hour means m(s) = 100 + 10 s / 3 the files were made to hold,
    // step 00 taking the mean of 03
    const std::vector<float> sw = read_floats(day / "swdn.bin"), lw = read_floats(day / "lwdn.bin"),
                             le = read_floats(day / "lhtfl.bin");
    for (int s = 0; s < 8; ++s) {
        const float m = 100.0f + 10.0f * static_cast<float>(s == 0 ? 1 : s);
        EXPECT_NEAR(sw[s * cells + 7], m, 1e-3) << "step " << s;
        EXPECT_NEAR(lw[s * cells + 7], m + 200.0f, 1e-3) << "step " << s;
        EXPECT_NEAR(le[s * cells + 7], m - 50.0f, 1e-3) << "step " << s;
    }
    std::ifstream in(day / "manifest.json");
    const nlohmann::json doc = nlohmann::json::parse(in);
    EXPECT_EQ(doc["sources"].size(), 16u);
    EXPECT_EQ(doc["sources"][0]["sha256"].get<std::string>().size(), 64u);
    EXPECT_EQ(doc["rasters"]["t2_series.bin"]["missing"], 0);
    EXPECT_EQ(doc["rasters"]["pot_profile.bin"]["valid"], cells * 8 * 30);
    const std::string method = doc["rasters"]["swdn.bin"]["steps"][0]["method"];
    EXPECT_NE(method.find("next step"), std::string::npos) << method;
    EXPECT_EQ(doc["rasters"]["swdn.bin"]["steps"][2]["method"],
              "(6 x average 0-6 h - 3 x average 0-3 h) / 3");
    EXPECT_NE(read_text(dir_ / "out.txt").find("line 15: Number of columns"), std::string::npos);
}

// Each refusal names what is wrong and leaves no day folder, not even a partial one.
TEST_F(ForecastDay, Refusals) {
    const fs::path g = dir_ / "grib";
    const std::string f9 = (g / "gfs.t00z.f009.grib2").string();
    auto variant = [&](const std::string& name, const std::string& tool) {
        const std::string out = (g / name).string();
        EXPECT_EQ(shell(tool + " '" + f9 + "' '" + out + "'"), 0) << tool;
        return steps(21, 9) + " '" + out + "'";
    };
    struct Case {
        const char* name;
        std::string files;
        std::string message;
    } cases[] = {
        {"missing time", steps(21, 9), "missing at 2019-07-19 09 UTC"},
        {"missing variable", variant("no2t.grib2", "grib_copy -w shortName!=2t"),
         "2t (2 m temperature, heightAboveGround 2, instant) is missing at 2019-07-19 09 UTC"},
        {"missing level", variant("no500.grib2", "grib_copy -w level!=500"),
         "t (temperature, pressure level 500 hPa, instant) is missing at 2019-07-19 09 UTC"},
        {"deg C", variant("degc.grib2", "grib_set -w shortName=2t -s offsetValuesBy=-273.15"),
         "deg C?"},
        {"non-monotonic heights",
         variant("bad_gh.grib2", "grib_set -w shortName=gh,level=500 -d 4000"),
         "do not rise with falling pressure at 500 hPa"},
        {"Gaussian grid",
         steps() + " '" + (sample_dir / "gdas.t00z.sfluxgrbf000.msg1.grib2").string() + "'",
         "regular_gg (a Gaussian grid)"},
        {"absent file", steps() + " nosuch.grib2", "nosuch.grib2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string out = "refused_" + std::string(c.name).substr(0, 4);
        EXPECT_EQ(ingest(out, c.files), 3);
        EXPECT_NE(err().find(c.message), std::string::npos) << err();
        EXPECT_NE(read_text(dir_ / "ingest.log").find(c.message), std::string::npos);
        EXPECT_FALSE(fs::exists(dir_ / out / "2019200"));
        if (fs::exists(dir_ / out)) {
            EXPECT_TRUE(fs::is_empty(dir_ / out));
        }
    }
    // usage errors
    EXPECT_EQ(ingest("met_usage", ""), 2);
    EXPECT_EQ(shell(std::string("'") + ORNAX_INGEST_EXE +
                    "' forecast --grid g --out o 2019 366 x 2>/dev/null"),
              2);
}

TEST_F(ForecastDay, ExistingDayIsReplacedOnlyWhenAsked) {
    ASSERT_EQ(ingest("met_twice", steps()), 0) << err();
    EXPECT_EQ(ingest("met_twice", steps()), 3);
    EXPECT_NE(err().find("exists already"), std::string::npos) << err();
    EXPECT_EQ(ingest("met_twice", steps(), "--replace"), 0) << err();
}

}  // namespace

namespace {

// A generated region whose forcing rasters of both days and forecast land mask are
// replaced by ones converted from the real forecast files: the region run goes through.
TEST_F(ForecastDay, RegionRunOnConvertedRasters) {
    const fs::path region = dir_ / "region";
    ASSERT_EQ(shell(std::string("'") + ORNAX_TOOLS_DIR + "/ornax_make_region' -o '" +
                    region.string() + "' -c 20 -r 12 > /dev/null"),
              0);
    // the common grid of the region's meteorological configuration (lines 9 to 16) as a
    // domain description
    std::ifstream met(region / "config" / "met.cfg");
    std::vector<std::string> lines;
    for (std::string l; std::getline(met, l);) lines.push_back(l);
    ASSERT_GE(lines.size(), 16u);
    std::ofstream grid(region / "common_grid.txt");
    grid << "Domain description            common grid of the region\n";
    for (int n = 9; n <= 16; ++n) grid << lines[n - 1] << "\n";
    grid << "Number of layers                      30\nNumber of hours                        8\n"
            "Missing value                -9999.0\n";
    grid.close();
    auto files = [&](int first, int last) {
        std::string list;
        for (int s = first; s <= last; s += 3) {
            char name[32];
            std::snprintf(name, sizeof name, "gfs.t00z.f%03d.grib2", s);
            list += " '" + (dir_ / "grib" / name).string() + "'";
        }
        return list;
    };
    const std::string ingest = std::string("'") + ORNAX_INGEST_EXE + "' --log '" +
                               (dir_ / "region.log").string() + "' forecast --grid '" +
                               (region / "common_grid.txt").string() + "' --out '" +
                               (region / "met").string() + "' --replace ";
    ASSERT_EQ(shell(ingest + "--land-mask '" + (region / "gfs" / "gfs_land.bin").string() +
                    "' 2019 200" + files(0, 21) + " > /dev/null 2>&1"),
              0)
        << read_text(dir_ / "region.log");
    ASSERT_EQ(shell(ingest + "2019 201" + files(21, 45) + " > /dev/null 2>&1"), 0)
        << read_text(dir_ / "region.log");
    const std::string run = "cd '" + region.string() + "' && HOME_DIR='" + region.string() + "' '" +
                            ORNAX_EXE + "' -r0 config/region.cfg 2019 200 > run.out 2> run.err";
    ASSERT_EQ(shell(run), 0) << read_text(region / "run.err");
    const std::string out = read_text(region / "run.out");
    const std::size_t at = out.find(" Region run finished:");
    ASSERT_NE(at, std::string::npos) << out;
    long lines_run = 0, failed = 0, pixels = 0, computed = 0;
    ASSERT_EQ(std::sscanf(out.c_str() + at,
                          " Region run finished: %ld lines (%ld failed), %ld pixels, %ld computed",
                          &lines_run, &failed, &pixels, &computed),
              4);
    EXPECT_EQ(failed, 0);
    EXPECT_GT(computed, 0) << out;
}

}  // namespace

namespace {

// A file of the day changed with the ECMWF tools, the files the conversion is given and
// what it must do: refuse naming the cause (exit 3), or convert and say so (exit 0).
struct DerivedCase {
    const char* name;
    const char* base;   // step file the variant is made from
    const char* tool;   // grib_set/grib_copy command line (source and target appended)
    int skip;           // step of the day left out (-1: none)
    bool keep_base;     // the unchanged base file is given too (duplicates, conflicts)
    const char* extra;  // options of the conversion
    int exit_code;
    const char* message;  // in the standard error and in the log
};

class ForecastDerived : public ForecastDay, public ::testing::WithParamInterface<DerivedCase> {};

TEST_P(ForecastDerived, RefusedOrSaidSo) {
    const DerivedCase& c = GetParam();
    const fs::path g = dir_ / "grib";
    const std::string base = (g / c.base).string();
    const std::string variant = (g / (std::string("variant_") + c.name + ".grib2")).string();
    ASSERT_EQ(shell(std::string(c.tool) + " '" + base + "' '" + variant + "' > /dev/null"), 0)
        << c.tool;
    const int skip = c.keep_base ? -1 : std::atoi(c.base + 10);
    std::string files = steps(21, c.skip >= 0 ? c.skip : skip) + " '" + variant + "'";
    const std::string out = std::string("derived_") + c.name;
    EXPECT_EQ(ingest(out, files, c.extra), c.exit_code) << err();
    EXPECT_NE(err().find(c.message), std::string::npos) << err();
    EXPECT_NE(read_text(dir_ / "ingest.log").find(c.message), std::string::npos);
    if (c.exit_code != 0) {
        EXPECT_FALSE(fs::exists(dir_ / out / "2019200"));
        // the same files in the other order: the same refusal
        files = " '" + variant + "'" + steps(21, c.skip >= 0 ? c.skip : skip);
        EXPECT_EQ(ingest(out + "_reversed", files, c.extra), c.exit_code) << err();
        EXPECT_NE(err().find(c.message), std::string::npos) << err();
    }
}

const DerivedCase derived_cases[] = {
    {"kelvin_twice", "gfs.t00z.f009.grib2", "grib_set -w shortName=2t -s offsetValuesBy=273.15", -1,
     false, "", 3, "converted to K twice"},
    {"longwave_in_kilowatts", "gfs.t00z.f009.grib2",
     "grib_set -w shortName=dlwrf -s scaleValuesBy=0.001", -1, false, "", 3, "kW m-2?"},
    {"height_times_g", "gfs.t00z.f009.grib2", "grib_set -w shortName=gh -s scaleValuesBy=9.80665",
     -1, false, "", 3, "height multiplied by g"},
    {"pressure_in_hpa", "gfs.t00z.f009.grib2", "grib_set -w shortName=sp -s scaleValuesBy=0.01", -1,
     false, "", 3, "hPa?"},
    {"humidity_as_a_fraction", "gfs.t00z.f009.grib2",
     "grib_set -w shortName=2r -s scaleValuesBy=0.01", -1, false, "", 3,
     "a fraction where percent is expected?"},
    {"level_in_pa_5_K_apart", "gfs.t00z.f009.grib2",
     "sh -c 'grib_copy -w shortName=t,level=500 \"$0\" \"$1.t\" && grib_set -s "
     "scaleFactorOfFirstFixedSurface=-2,scaledValueOfFirstFixedSurface=500,offsetValuesBy=5 "
     "\"$1.t\" \"$1\"'",
     -1, true, "", 3, "500 hPa is given twice with different values"},
    {"fill_without_bitmap", "gfs.t00z.f009.grib2", "grib_set -w shortName=2t -d 9999", -1, false,
     "", 3, "(2 m air temperature): no valid value"},
    {"fill_9999e20_without_bitmap", "gfs.t00z.f009.grib2", "grib_set -w shortName=2t -d 9.999e20",
     -1, false, "", 3, "(2 m air temperature): no valid value"},
    {"step_given_twice_3_K_apart", "gfs.t00z.f009.grib2",
     "grib_set -w shortName=2t -s offsetValuesBy=3", -1, true, "", 3,
     "is given twice with different values"},
    {"identical_duplicate", "gfs.t00z.f009.grib2", "grib_copy", -1, true, "", 0, "fields used"},
    {"reference_time_off_the_hour", "gfs.t00z.f009.grib2", "grib_set -s dataTime=30", -1, false, "",
     3, "is not a whole hour"},
    {"step_in_minutes", "gfs.t00z.f009.grib2", "grib_set -s indicatorOfUnitOfTimeRange=0", -1,
     false, "", 3, "steps in minutes"},
    {"hourly_file", "gfs.t00z.f009.grib2", "grib_set -w shortName=2t -s stepRange=10", -1, true, "",
     0, "off the 3-hour time axis: not used"},
    {"average_missing", "gfs.t00z.f012.grib2", "grib_copy -w shortName!=dswrf", -1, false, "", 3,
     "not used in its place without --substitute-missing-averages"},
    {"average_substituted", "gfs.t00z.f012.grib2", "grib_copy -w shortName!=dswrf", -1, false,
     "--substitute-missing-averages", 0, "substituted by the mean of the next step, a gap of 3 h"},
    // corrupt files: the decoder's crash (ecCodes aborts or segfaults on these) or error is
    // a refusal naming the file
    {"packing_bits_broken", "gfs.t00z.f009.grib2",
     "sh -c 'cp \"$0\" \"$1\" && set -- \"$1\" $(grib_get -w shortName=2t -p "
     "offset:l,offsetSection5:l \"$0\") && printf \"\\377\" | dd of=\"$1\" bs=1 "
     "seek=$(($2 + $3 + 19)) conv=notrunc 2> /dev/null'",
     -1, false, "", 3, "variant_packing_bits_broken.grib2"},
    {"group_count_broken", "gfs.t00z.f009.grib2",
     "sh -c 'cp \"$0\" \"$1\" && set -- \"$1\" $(grib_get -w shortName=2t -p "
     "offset:l,offsetSection5:l \"$0\") && printf \"\\377\\377\\377\\377\" | dd "
     "of=\"$1\" bs=1 seek=$(($2 + $3 + 31)) conv=notrunc 2> /dev/null'",
     -1, false, "", 3, "variant_group_count_broken.grib2"},
    {"values_overwritten", "gfs.t00z.f009.grib2",
     "sh -c 'cp \"$0\" \"$1\" && set -- \"$1\" $(grib_get -w shortName=2t -p "
     "offset:l,offsetSection7:l \"$0\") && head -c 64 /dev/zero | tr \"\\000\" \"\\252\" "
     "| dd of=\"$1\" bs=1 seek=$(($2 + $3 + 5)) conv=notrunc 2> /dev/null'",
     -1, false, "", 3, "(2 m air temperature): values"},
    {"cut_short", "gfs.t00z.f009.grib2",
     "sh -c 'head -c $(($(stat -c %s \"$0\") / 2)) \"$0\" > \"$1\"'", -1, false, "", 3,
     "GRIB decoding failed"},
};

// Cases print by name in test listings.
void PrintTo(const DerivedCase& c, std::ostream* os) {
    *os << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, ForecastDerived, ::testing::ValuesIn(derived_cases),
                         [](const ::testing::TestParamInfo<DerivedCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace

namespace {

// Guards against a land mask written over an input file or into a day folder that the day's
// switch then replaces: refused before anything is written, with or without --replace,
// naming both, and the input left as it was.
struct LandMaskClash {
    const char* name;
    const char* mask;    // --land-mask, relative to the test folder
    const char* out;     // --out
    const char* names;   // what the refusal names
    const char* option;  // "" or "--replace"
};

void PrintTo(const LandMaskClash& c, std::ostream* os) {
    *os << c.name;
}

class ForecastLandMask : public ForecastDay, public ::testing::WithParamInterface<LandMaskClash> {};

TEST_P(ForecastLandMask, NeverReplacesAnInputOrLiesInADay) {
    const LandMaskClash& c = GetParam();
    const fs::path mask = dir_ / c.mask;
    const std::string before = fs::exists(mask) ? read_text(mask) : std::string();
    EXPECT_EQ(ingest(c.out, steps(), std::string("--land-mask ") + c.mask + " " + c.option), 3);
    EXPECT_NE(err().find("refused: the output"), std::string::npos) << err();
    EXPECT_NE(err().find(c.names), std::string::npos) << err();
    EXPECT_EQ(fs::exists(mask) ? read_text(mask) : std::string(), before);
    EXPECT_FALSE(fs::exists(dir_ / c.out / "2019200" / "psfc_series.bin"));
}

const LandMaskClash land_mask_clashes[] = {
    {"ForecastFile", "grib/gfs.t00z.f009.grib2", "met_mask", "forecast file", ""},
    {"ForecastFileReplaced", "grib/gfs.t00z.f009.grib2", "met_mask", "forecast file", "--replace"},
    {"GridFile", "grid.txt", "met_mask", "grid file", "--replace"},
    {"InsideTheDay", "met_mask/2019200/land.bin", "met_mask", "land mask", ""},
    {"TheDayItself", "met_mask/2019200", "met_mask", "land mask", "--replace"},
};

INSTANTIATE_TEST_SUITE_P(Clashes, ForecastLandMask, ::testing::ValuesIn(land_mask_clashes),
                         [](const ::testing::TestParamInfo<LandMaskClash>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
