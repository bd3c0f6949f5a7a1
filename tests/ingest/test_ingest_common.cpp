// Shared pieces of ornax_ingest: options, staged output, rasters, counts, configuration
// lines, the grid reader, the manifest, and the program's exit codes.
#include <ostream>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/temp_dir.hpp"
#include "utils/fixed_text.hpp"
#include "ingest/common/support.hpp"
#include "ingest/common/manifest.hpp"
#include "utils/sha256.hpp"

namespace {

namespace fs = std::filesystem;
using temp_dir_test::TempDirTest;

class IngestCommon : public TempDirTest {};

std::vector<char*> argv_of(std::vector<std::string>& words) {
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    return argv;
}

struct ArgsCase {
    const char* name;
    std::vector<std::string> words;
    int status;
    std::string grid, out;
    std::vector<std::string> positional;
    bool replace;
};

TEST_F(IngestCommon, ParsesOptionsAnywhereAndRefusesUnknownOnes) {
    const std::vector<ArgsCase> cases = {
        {"options first",
         {"x", "--grid", "g.txt", "--out", "m", "2019", "200"},
         0,
         "g.txt",
         "m",
         {"2019", "200"},
         false},
        {"inline value and switch",
         {"x", "2019", "--grid=g", "--replace", "200"},
         0,
         "g",
         "",
         {"2019", "200"},
         true},
        {"double dash ends options", {"x", "--", "--grid"}, 0, "", "", {"--grid"}, false},
        {"unknown option", {"x", "--gird", "g"}, 3, "", "", {}, false},
        {"value missing", {"x", "--grid"}, 3, "", "", {}, false},
        {"switch with a value", {"x", "--replace=1"}, 3, "", "", {}, false},
    };
    for (ArgsCase c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<char*> argv = argv_of(c.words);
        IngestArgs args;
        std::string error;
        int status = -1;
        ingest_parse_args(static_cast<int>(argv.size()), argv.data(), 1, {"grid", "out"},
                          {"replace"}, args, error, status);
        EXPECT_EQ(status, c.status);
        if (c.status != 0) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_EQ(args.value("grid"), c.grid);
        EXPECT_EQ(args.value("out"), c.out);
        EXPECT_EQ(args.positional, c.positional);
        EXPECT_EQ(args.has("replace"), c.replace);
    }
}

TEST_F(IngestCommon, WholeNumbersInRange) {
    struct Case {
        const char* text;
        int status, value;
    } cases[] = {{"200", 0, 200}, {"1", 0, 1}, {"367", 3, 0}, {"0", 3, 0},
                 {"20x", 3, 0},   {"", 3, 0},  {"-1", 3, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        int value = 0, status = -1;
        std::string error;
        ingest_parse_int(c.text, "day of year", 1, 366, value, error, status);
        EXPECT_EQ(status, c.status);
        if (status == 0) {
            EXPECT_EQ(value, c.value);
        } else {
            EXPECT_NE(error.find("day of year"), std::string::npos);
        }
    }
}

TEST_F(IngestCommon, StagedFolderAppearsOnlyWhenCommitted) {
    const fs::path dest = dir_ / "met" / "2019200";
    std::string error;
    int status = -1;
    {
        StagedDir stage;
        stage.open(dest, error, status);
        ASSERT_EQ(status, 0) << error;
        std::ofstream(stage.path() / "a.bin") << "x";
        EXPECT_FALSE(fs::exists(dest));
    }  // dropped without commit
    EXPECT_FALSE(fs::exists(dest));
    EXPECT_TRUE(fs::is_empty(dir_ / "met"));  // no temporary folder left behind

    StagedDir stage;
    stage.open(dest, error, status);
    ASSERT_EQ(status, 0);
    std::ofstream(stage.path() / "a.bin") << "new";
    stage.commit(false, error, status);
    ASSERT_EQ(status, 0) << error;
    EXPECT_TRUE(fs::exists(dest / "a.bin"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "met"), fs::directory_iterator{}), 1);
}

TEST_F(IngestCommon, ExistingFolderIsReplacedOnlyWhenAsked) {
    const fs::path dest = dir_ / "day";
    fs::create_directories(dest);
    std::ofstream(dest / "old.bin") << "old";
    std::string error;
    int status = -1;
    StagedDir keep;
    keep.open(dest, error, status);
    std::ofstream(keep.path() / "new.bin") << "new";
    keep.commit(false, error, status);
    EXPECT_EQ(status, 3);
    EXPECT_NE(error.find("exists already"), std::string::npos);
    EXPECT_TRUE(fs::exists(dest / "old.bin"));

    StagedDir replace;
    replace.open(dest, error, status);
    std::ofstream(replace.path() / "new.bin") << "new";
    replace.commit(true, error, status);
    ASSERT_EQ(status, 0) << error;
    EXPECT_TRUE(fs::exists(dest / "new.bin"));
    EXPECT_FALSE(fs::exists(dest / "old.bin"));
    keep.discard();
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator{}), 1);
}

TEST_F(IngestCommon, RasterIsLittleEndianAndSizeChecked) {
    std::string error;
    int status = -1;
    const std::vector<float> values = {1.0f, -2.5f, 300.0f, 4.0f, 5.0f, 6.0f};
    ingest_write_raster(dir_ / "r.bin", values, 3, 2, 1, error, status);
    ASSERT_EQ(status, 0) << error;
    const std::vector<unsigned char> bytes = temp_dir_test::file_bytes(path("r.bin"));
    ASSERT_EQ(bytes.size(), 24u);
    // -2.5f is 0xC0200000: the low byte first
    EXPECT_EQ(bytes[4], 0x00);
    EXPECT_EQ(bytes[7], 0xC0);
    EXPECT_EQ(bytes[6], 0x20);

    ingest_write_raster(dir_ / "bad.bin", values, 3, 3, 1, error, status);
    EXPECT_EQ(status, 3);
    EXPECT_FALSE(fs::exists(dir_ / "bad.bin"));
}

TEST_F(IngestCommon, CountsNaNInfinityAndFillAsMissing) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const ValueCounts c = ingest_count_values({1.0f, nan, -9999.0f, inf, 0.0f, -9998.0f}, -9999.0f);
    EXPECT_EQ(c.valid, 3);
    EXPECT_EQ(c.missing, 3);
}

TEST_F(IngestCommon, ConfigLineValueStartsAtColumn31) {
    const std::string short_label = labelled_line("Missing value", "-9999.0");
    const std::string long_label = labelled_line("A label much longer than thirty columns", "/met");
    for (const std::string& line : {short_label, long_label}) {
        std::string value;
        ASSERT_EQ(read_fixed_text(line, 31, 330, value), text_field_ok);
        EXPECT_EQ(line.size(), 30u + trim_right(value).size());
    }
    EXPECT_EQ(long_label.substr(30), "/met");
    EXPECT_EQ(join_lines({"a", "b"}), "a\nb\n");
}

TEST_F(IngestCommon, ReadsTheGridOfADomainFile) {
    const std::vector<std::string> lines = {
        "Domain description            test",      "East longitude                 -70.00",
        "West longitude                -125.00",   "Longitude resolution             0.25",
        "North latitude                 50.00",    "South latitude                 25.00",
        "Latitude resolution              0.25",   "Number of columns                   220",
        "Number of rows                      100", "Number of layers                     30",
        "Number of hours                      24", "Missing value                -9999.0"};
    std::ofstream(path("grid.txt")) << join_lines(lines);
    Spatialinfodata grid;
    std::string error;
    int status = -1;
    ingest_read_grid(path("grid.txt"), grid, error, status);
    ASSERT_EQ(status, 0) << error;
    EXPECT_EQ(grid.ncols, 220);
    EXPECT_EQ(grid.nrows, 100);
    EXPECT_DOUBLE_EQ(grid_col_lon(grid, 1), -124.875);
    EXPECT_DOUBLE_EQ(grid_row_lat(grid, 1), 25.125);

    ingest_read_grid(path("missing.txt"), grid, error, status);
    EXPECT_EQ(status, 3);
    EXPECT_NE(error.find("missing.txt"), std::string::npos);

    std::vector<std::string> flat = lines;
    flat[3] = "Longitude resolution              0.00";
    flat[7] = "Number of columns                     0";
    std::ofstream(path("flat.txt")) << join_lines(flat);
    ingest_read_grid(path("flat.txt"), grid, error, status);
    EXPECT_EQ(status, 3);
}

TEST_F(IngestCommon, DayFolderNamesAndYearLengths) {
    EXPECT_EQ(ingest_day_dir_name(2019, 5), "2019005");
    EXPECT_EQ(ingest_day_dir_name(2020, 366), "2020366");
    EXPECT_EQ(ingest_days_in_year(2019), 365);
    EXPECT_EQ(ingest_days_in_year(2020), 366);
    EXPECT_EQ(ingest_days_in_year(1900), 365);
    EXPECT_EQ(ingest_days_in_year(2000), 366);
}

TEST_F(IngestCommon, ManifestListsSourcesWithChecksums) {
    std::ofstream(path("src.grib2"), std::ios::binary) << "GRIB fake bytes";
    IngestManifest manifest("forecast", "ornax_ingest forecast x");
    std::string error;
    int status = -1;
    manifest.add_source(path("src.grib2"), error, status);
    ASSERT_EQ(status, 0) << error;
    manifest.add_source(path("absent.grib2"), error, status);
    EXPECT_EQ(status, 3);
    EXPECT_NE(error.find("absent.grib2"), std::string::npos);
    manifest.add_conversion("2 m temperature: K as read");
    manifest.add_counts("t2_series.bin", ValueCounts{10, 2});
    manifest.write(dir_ / "manifest.json", error, status);
    ASSERT_EQ(status, 0) << error;
    std::ifstream in(path("manifest.json"));
    const nlohmann::json doc = nlohmann::json::parse(in);
    ASSERT_EQ(doc["sources"].size(), 1u);
    EXPECT_EQ(doc["sources"][0]["sha256"], sha256_hex("GRIB fake bytes"));
    EXPECT_EQ(doc["sources"][0]["bytes"], 15);
    EXPECT_EQ(doc["rasters"]["t2_series.bin"]["missing"], 2);
    EXPECT_EQ(doc["conversions"][0], "2 m temperature: K as read");
}

// A manifest written inside staged folders (a day staged inside a staged region) names
// every path by where it is published; a name that merely starts like a staged folder's,
// and paths once the folder is published, stay as they are.
// A folder staged under a relative name is named relative in messages, absolute where the
// text has it absolute, and never inside another name.
TEST(IngestStagedNames, RelativeAndAbsoluteMentionsArePublished) {
    ingest_manifest_stage("out/o.partial-7-1", "out/o");
    const std::string cwd = fs::current_path().string();
    const struct {
        std::string written, named;
    } cases[] = {
        {"raster: out/o.partial-7-1/static/x.bin written", "raster: out/o/static/x.bin written"},
        {"wrote " + cwd + "/out/o.partial-7-1/met", "wrote " + cwd + "/out/o/met"},
        {"\"out/o.partial-7-1\"", "\"out/o\""},
        {"xout/o.partial-7-1/a", "xout/o.partial-7-1/a"},
        {"out/o.partial-7-10/a", "out/o.partial-7-10/a"},
    };
    for (const auto& c : cases) EXPECT_EQ(ingest_manifest_published_path(c.written), c.named);
    ingest_manifest_unstage("out/o.partial-7-1");
    EXPECT_EQ(ingest_manifest_published_path(cases[0].written), cases[0].written);
}

TEST_F(IngestCommon, ManifestNamesPublishedPathsNotStagingNames) {
    const fs::path region = dir_ / "region";
    std::string error;
    int status = -1;
    StagedDir outer;
    outer.open(region, error, status);
    ASSERT_EQ(status, 0) << error;
    StagedDir day;
    day.open(outer.path() / "met" / "2019200", error, status);
    ASSERT_EQ(status, 0) << error;
    const std::string staged = fs::absolute(outer.path()).string();
    const struct {
        std::string written, recorded;
    } cases[] = {
        {staged + "/gfs/land.bin", (region / "gfs" / "land.bin").string()},
        {fs::absolute(day.path()).string() + "/t2_series.bin",
         (region / "met" / "2019200" / "t2_series.bin").string()},
        {"wrote " + staged + ": done", "wrote " + region.string() + ": done"},
        {staged + "0/x.bin", staged + "0/x.bin"},  // another folder's name
        {"met/2019200", "met/2019200"},
    };
    IngestManifest manifest("region", "ornax_ingest region r.txt");
    for (std::size_t i = 0; i < std::size(cases); ++i)
        manifest.document()["paths"][i] = cases[i].written;
    manifest.write(day.path() / "manifest.json", error, status);
    ASSERT_EQ(status, 0) << error;
    const nlohmann::json doc = nlohmann::json::parse(std::ifstream(day.path() / "manifest.json"));
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(doc["paths"][i], cases[i].recorded) << cases[i].written;
    day.commit(false, error, status);
    ASSERT_EQ(status, 0) << error;
    outer.discard();  // unstaged: its paths are recorded as written again
    EXPECT_EQ(ingest_manifest_published_path(staged + "/a.bin"), staged + "/a.bin");
}

int run_ingest(const std::string& args) {
    const std::string command = std::string(ORNAX_INGEST_EXE) + " " + args + " >out.txt 2>err.txt";
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

TEST_F(IngestCommon, ProgramExitCodes) {
    struct Case {
        const char* name;
        const char* args;
        int code;
    } cases[] = {{"help", "--help", 0},
                 {"version", "--version", 0},
                 {"nothing", "", 2},
                 {"unknown subcommand", "nosuch 2019 1", 2},
                 {"log without subcommand", "--log x.log", 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(run_ingest(c.args), c.code);
    }
    run_ingest("--version");
    std::ifstream out(path("out.txt"));
    std::string line;
    std::getline(out, line);
    EXPECT_EQ(line.rfind("ornax ", 0), 0u);
}

// What a wrong grid file is, on the message that refuses it (not the model's log alone).
struct GridFault {
    const char* name;
    const char* content;  // nullptr: no file
    const char* message;
};

const char* const good_domain = "Domain description            run grid\n"
                                "East longitude                 -95.00\n"
                                "West longitude                -100.00\n"
                                "Longitude resolution             0.05\n"
                                "North latitude                  37.00\n"
                                "South latitude                  34.00\n"
                                "Latitude resolution              0.05\n"
                                "Number of columns                    100\n"
                                "Number of rows                        60\n"
                                "Number of layers                      30\n"
                                "Number of hours                       24\n"
                                "Missing value                 -9999.0\n";

const GridFault grid_faults[] = {
    {"MissingFile", nullptr, "grid.txt: no such file"},
    {"GeoTiff", "II*\0binary", "grid.txt: is a GeoTIFF, not a domain description text"},
    {"NetCdf", "CDF\1rest", "grid.txt: is a NetCDF file, not a domain description text"},
    {"ValueBeforeColumn31", "Domain description\nEast longitude -95.00\n",
     "line 2: no number for the east longitude from column 31"},
    {"EndsEarly", "Domain description            run grid\nEast longitude                 -95.00\n",
     "ends after line 2: no line for the west longitude"},
    {"SizeAgainstEdges", "", "give 100 columns and 60 rows, the file says 90 and 60"},
};

class IngestGridFault : public temp_dir_test::TempDirTest,
                        public ::testing::WithParamInterface<GridFault> {};

TEST_P(IngestGridFault, NamesTheCause) {
    const GridFault& f = GetParam();
    const std::string file = path("grid.txt");
    if (f.content != nullptr) {
        std::string text = f.content;
        if (std::string(f.name) == "GeoTiff") text = std::string("II*\0binary", 10);
        if (text.empty()) {
            text = good_domain;
            text.replace(text.find("100\n"), 3, " 90");
        }
        std::ofstream(file, std::ios::binary) << text;
    }
    Spatialinfodata grid;
    std::string error;
    int st = 0;
    ingest_read_grid(file, grid, error, st);
    EXPECT_EQ(st, 3);
    EXPECT_NE(error.find(f.message), std::string::npos) << error;
    EXPECT_EQ(error.find("see the messages above"), std::string::npos) << error;
}

class IngestGrid : public temp_dir_test::TempDirTest {};

TEST_F(IngestGrid, GoodDomainFileReads) {
    const std::string file = path("grid.txt");
    std::ofstream(file) << good_domain;
    Spatialinfodata grid;
    std::string error;
    int st = 0;
    ingest_read_grid(file, grid, error, st);
    EXPECT_EQ(st, 0) << error;
    EXPECT_EQ(grid.ncols, 100);
}

// Cases print by name in test listings.
void PrintTo(const GridFault& c, std::ostream* os) {
    *os << c.name;
}

INSTANTIATE_TEST_SUITE_P(Grid, IngestGridFault, ::testing::ValuesIn(grid_faults),
                         [](const auto& info) { return std::string(info.param.name); });

// --grid W,E,S,N,STEP in place of a domain file.
struct GridBounds {
    const char* name;
    const char* text;
    int status, ncols, nrows;
    const char* message;
};

const GridBounds grid_bounds[] = {
    {"WholeCells", "-100,-95,34,37,0.05", 0, 100, 60, ""},
    {"QuarterDegree", "10.5,12,45,46.25,0.25", 0, 6, 5, ""},
    {"SpanNotWholeCells", "-100,-95.02,34,37,0.05", 3, 0, 0, "not whole numbers of 0.05"},
    {"EastWestOfWest", "-95,-100,34,37,0.05", 3, 0, 0, "west < east"},
    {"NoStep", "-100,-95,34,37,0", 3, 0, 0, "positive step"},
    {"FourNumbersIsAMissingFile", "-100,-95,34,37", 3, 0, 0, "no such file"},
};

class IngestGridBounds : public ::testing::TestWithParam<GridBounds> {};

TEST_P(IngestGridBounds, MakeTheGrid) {
    const GridBounds& b = GetParam();
    Spatialinfodata grid;
    std::string error;
    int st = 0;
    ingest_read_grid(b.text, grid, error, st);
    EXPECT_EQ(st, b.status) << error;
    if (b.status == 0) {
        EXPECT_EQ(grid.ncols, b.ncols);
        EXPECT_EQ(grid.nrows, b.nrows);
        EXPECT_EQ(grid.nlayers, 30);
        EXPECT_FLOAT_EQ(grid.spare_value, -9999.0f);
    } else {
        EXPECT_NE(error.find(b.message), std::string::npos) << error;
    }
}

// Cases print by name in test listings.
void PrintTo(const GridBounds& c, std::ostream* os) {
    *os << c.name;
}

INSTANTIATE_TEST_SUITE_P(Grid, IngestGridBounds, ::testing::ValuesIn(grid_bounds),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
