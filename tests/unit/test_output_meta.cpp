// Output metadata and quicklooks on small synthetic grids: the per-line accumulator, the
// batch progress line, calendar dates, atomic publishing, a VRT read back through GDAL
// and quicklook PNGs decoded back with libpng.
#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ornax90/output/run_info.hpp"
#include "ornax90/output/sidecars.hpp"
#include "ornax90/output/summary.hpp"
#include "ornax90/output/vocabulary.hpp"
#include "ornax90/output/quality.hpp"
#include "ornax90/output/quicklook.hpp"
#include "ornax90/file_io_mod.hpp"
#include "support/region_run.hpp"
#include "support/shell.hpp"

namespace {

using region_run_test::read_text;
using region_run_test::ScratchDir;
using region_run_test::write_floats;
namespace fs = std::filesystem;

constexpr float kMissing = -999.0f;

Spatialinfodata small_grid(int ncols, int nrows) {
    Spatialinfodata g;
    g.west_lon = -100.0f;
    g.south_lat = 34.0f;
    g.dlon = 0.05f;
    g.dlat = 0.05f;
    g.ncols = ncols;
    g.nrows = nrows;
    g.east_lon = g.west_lon + ncols * g.dlon;
    g.north_lat = g.south_lat + nrows * g.dlat;
    g.spare_value = kMissing;
    return g;
}

bool have_gdal() {
    return std::system("command -v gdalinfo > /dev/null 2>&1") == 0;
}

// Decoded RGB picture.
struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    Ornaxrgbtype at(int x, int y) const {
        const unsigned char* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
        return {p[0], p[1], p[2]};
    }
};

bool same(Ornaxrgbtype a, Ornaxrgbtype b) {
    return a.r == b.r && a.g == b.g && a.b == b.b;
}

bool decode_png(const fs::path& path, Picture& picture) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGB;
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    picture.rgb.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr) != 0;
}

// Leftmost pixel of a colour (scanning columns west to east); false when absent.
bool leftmost(const Picture& p, Ornaxrgbtype colour, int& x, int& y) {
    for (x = 0; x < p.width; ++x)
        for (y = 0; y < p.height; ++y)
            if (same(p.at(x, y), colour)) return true;
    return false;
}

TEST(OutputSummary, CountsFlagsAndComputedValuesPerLine) {
    Ornaxoutputsummarytype summary;
    int status = 0;
    ornax_output_summary_init(summary, small_grid(3, 4), {"XLE2", "EDAY"}, "EDAY", status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(summary.map_index, 1);
    // matrix: XLE2 of the 3 pixels, then EDAY of the 3 pixels
    struct Row {
        int line;
        bool failed;
        std::vector<float> matrix, quality;
        int status;
    };
    const std::vector<Row> rows = {
        {1, false, {100, 200, kMissing, 5, 7, kMissing}, {0, 0, 127}, 0},
        {2, false, {300, 50, 60, 9, 1, 2}, {0, 1, 77}, 0},     // flags 1 and 77 not counted
        {3, true, {}, {}, 0},                                  // failed: 255 everywhere
        {5, false, {1, 1, 1, 1, 1, 1}, {0, 0, 0}, 3},          // outside the grid
        {4, false, {1, 2}, {0, 0, 0}, 3},                      // matrix too short
        {4, false, {10, 20, 30, 3, 4, 5}, {0, 0.5f, 200}, 0},  // 0.5 no flag; 200 unlisted
    };
    for (const Row& r : rows) {
        ornax_output_summary_add_line(summary, r.line, r.failed, r.matrix, r.quality, status);
        EXPECT_EQ(status, r.status) << "line " << r.line;
    }
    Ornaxsummarytotalstype t;
    ornax_output_summary_totals(summary, t);
    EXPECT_EQ(t.lines, 4);
    EXPECT_EQ(t.failed_lines, 1);
    EXPECT_EQ(t.flags[0], 4);
    EXPECT_EQ(t.flags[1], 1);
    EXPECT_EQ(t.flags[77], 1);
    EXPECT_EQ(t.flags[127], 1);
    EXPECT_EQ(t.flags[255], 3);  // a failed line is never counted as water or snow
    EXPECT_EQ(t.flags[200], 1);
    EXPECT_EQ(t.other_flags, 1);
    ASSERT_EQ(t.vars.size(), 2u);
    EXPECT_EQ(t.vars[0].count, 4);  // 100, 200, 300, 10
    EXPECT_FLOAT_EQ(t.vars[0].minimum, 10.0f);
    EXPECT_FLOAT_EQ(t.vars[0].maximum, 300.0f);
    EXPECT_DOUBLE_EQ(t.vars[0].sum, 610.0);
    EXPECT_EQ(t.vars[1].count, 4);  // 5, 7, 9, 3
    // the mapped variable and the flags are kept whole, south line first
    EXPECT_FLOAT_EQ(summary.map_values[0], 5.0f);
    EXPECT_FLOAT_EQ(summary.map_values[2 * 3], kMissing);  // failed line
    EXPECT_EQ(summary.map_quality[2 * 3 + 1], 255);
    EXPECT_EQ(summary.map_quality[3 * 3 + 1], 127);  // not a flag: drawn as not computed
}

// Lines another process added reach the leader as their slots and their map rows: the
// leader's summary then matches the one that added every line itself.
TEST(OutputSummary, AdoptedLinesMatchLinesAddedHere) {
    Ornaxoutputsummarytype here, leader;
    int status = 0;
    ornax_output_summary_init(here, small_grid(3, 3), {"XLE2", "EDAY"}, "EDAY", status);
    ornax_output_summary_init(leader, small_grid(3, 3), {"XLE2", "EDAY"}, "EDAY", status);
    const std::vector<float> matrix = {100, 200, kMissing, 5, 7, kMissing}, quality = {0, 3, 127};
    ornax_output_summary_add_line(here, 1, false, matrix, quality, status);
    ornax_output_summary_add_line(here, 2, true, {}, {}, status);
    ornax_output_summary_add_line(here, 3, false, matrix, quality, status);
    ornax_output_summary_add_line(leader, 1, false, matrix, quality, status);
    const std::span<const float> eday_row = std::span<const float>(matrix).subspan(3, 3);
    struct Adopt {
        int line;
        Ornaxlinesummarytype slot;
        std::vector<float> map_row, quality;
        int status;
    };
    Ornaxlinesummarytype other_vars = here.lines[2];
    other_vars.vars.resize(3);
    const Adopt adoptions[] = {
        {3, other_vars, {5, 7, kMissing}, quality, 3},              // statistics of other variables
        {3, here.lines[2], {5, 7}, quality, 3},                     // map row too short
        {4, here.lines[2], {5, 7, kMissing}, quality, 3},           // outside the grid
        {3, Ornaxlinesummarytype{}, {5, 7, kMissing}, quality, 3},  // never added
        {2, here.lines[1], {}, {}, 0},                              // failed: no rows needed
        {3, here.lines[2], {eday_row.begin(), eday_row.end()}, quality, 0},
    };
    for (const Adopt& a : adoptions) {
        ornax_output_summary_adopt_line(leader, a.line, a.slot, a.map_row, a.quality, status);
        EXPECT_EQ(status, a.status) << "line " << a.line;
    }
    Ornaxsummarytotalstype want, got;
    ornax_output_summary_totals(here, want);
    ornax_output_summary_totals(leader, got);
    EXPECT_EQ(got.lines, want.lines);
    EXPECT_EQ(got.failed_lines, 1);
    EXPECT_EQ(got.flags, want.flags);
    EXPECT_EQ(got.vars[0].count, want.vars[0].count);
    EXPECT_EQ(got.vars[1].sum, want.vars[1].sum);
    EXPECT_EQ(leader.map_values, here.map_values);
    EXPECT_EQ(leader.map_quality, here.map_quality);
}

TEST(OutputSummary, BatchProgressReportsEveryTenthOnce) {
    // nrows, lines on which a plain progress line is expected
    const std::vector<std::pair<int, int>> cases = {{60, 10}, {3, 3}, {1, 1}, {250, 10}};
    for (const auto& [nrows, expected] : cases) {
        std::FILE* out = std::tmpfile();
        int next_tenth = 1;
        for (int done = 1; done <= nrows; ++done)
            ornax_report_region_progress(out, false, done, nrows, 0, 1.0, next_tenth);
        std::rewind(out);
        int lines = 0;
        for (int c = std::fgetc(out); c != EOF; c = std::fgetc(out)) lines += c == '\n';
        std::fclose(out);
        EXPECT_EQ(lines, expected) << nrows << " rows";
    }
}

TEST(OutputMeta, CalendarDates) {
    const std::vector<std::tuple<int, int, std::string>> cases = {
        {2019, 200, "2019-07-19"}, {2020, 60, "2020-02-29"}, {2019, 60, "2019-03-01"},
        {2016, 366, "2016-12-31"}, {2019, 366, ""},          {2019, 0, ""}};
    for (const auto& [year, doy, date] : cases)
        EXPECT_EQ(ornax_calendar_date(year, doy), date) << year << " " << doy;
}

TEST(OutputMeta, VariablesKnowTheObservationTheyHoldAt) {
    const std::vector<std::pair<std::string, int>> cases = {
        {"TC1", 1},  {"XLEC1", 1}, {"ZEN1", 1}, {"RNET1", 1},   {"XLEC2", 2},    {"SWUP", 2},
        {"LWUP", 2}, {"Z2", 2},    {"EDAY", 0}, {"SNETDAY", 0}, {"region_qc", 0}};
    for (const auto& [name, observation] : cases) {
        Ornaxoutputvarinfotype info;
        ASSERT_TRUE(ornax_output_var_info(name, info)) << name;
        EXPECT_EQ(info.observation, observation) << name;
    }
}

TEST(OutputMeta, CrsTextIsWkt2OfEpsg4326) {
    const std::string wkt = ornax_crs_wkt;
    EXPECT_EQ(wkt.rfind("GEOGCRS[\"WGS 84\",", 0), 0u);
    EXPECT_EQ(wkt.substr(wkt.size() - 16), "ID[\"EPSG\",4326]]");
    long depth = 0;  // brackets balance
    for (char c : wkt) depth += c == '[' ? 1 : c == ']' ? -1 : 0;
    EXPECT_EQ(depth, 0);
    if (!have_gdal()) GTEST_SKIP() << "gdalsrsinfo not installed (Debian gdal-bin)";
    const std::string epsg = shell_test::shell_output("gdalsrsinfo -e '" + wkt + "' 2>&1");
    EXPECT_NE(epsg.find("EPSG:4326"), std::string::npos) << epsg;
}

TEST(OutputMeta, PublishReplacesWholeOrLeavesTheOldFile) {
    ScratchDir dir("publish");
    const fs::path file = dir.path() / "a.txt";
    int status = 0;
    ornax_publish_text_file(file.string(), "first", status);
    ASSERT_EQ(status, 0);
    ornax_publish_text_file(file.string(), "second", status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(read_text(file), "second");
    // a folder that does not exist: failure, nothing half-written anywhere
    ornax_publish_text_file((dir.path() / "none" / "a.txt").string(), "x", status);
    EXPECT_EQ(status, 3);
    int entries = 0;
    for (const auto& entry : fs::directory_iterator(dir.path())) entries += entry.exists();
    EXPECT_EQ(entries, 1) << "a temporary file was left behind";
    // the old run record goes before rasters are rewritten
    ornax_publish_text_file((dir.path() / "run_info.json").string(), "{}", status);
    ornax_retire_run_info(dir.path().string(), status);
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(fs::exists(dir.path() / "run_info.json"));
}

TEST(OutputMeta, VrtShowsTheSouthFirstRasterNorthUpThroughGdal) {
    if (!have_gdal()) GTEST_SKIP() << "gdalinfo not installed (Debian gdal-bin)";
    ScratchDir dir("vrt");
    const Spatialinfodata grid = small_grid(4, 3);
    std::vector<float> values(12);
    for (int line = 1; line <= 3; ++line)
        for (int col = 1; col <= 4; ++col) values[(line - 1) * 4 + col - 1] = 10.0f * line + col;
    values[0] = kMissing;  // south-west pixel
    write_floats(dir.path() / "EDAY.bin", values);
    Ornaxoutputvarinfotype var;
    ASSERT_TRUE(ornax_output_var_info("EDAY", var));
    int status = 0;
    ornax_write_raster_vrt(dir.path().string(), grid, var, kMissing, 2019, 200, status);
    ASSERT_EQ(status, 0);
    const fs::path vrt = dir.path() / "EDAY.vrt";
    const nlohmann::json info = nlohmann::json::parse(
        shell_test::shell_output("gdalinfo -json '" + vrt.string() + "'"), nullptr, false);
    ASSERT_TRUE(info.is_object());
    const std::vector<double> transform = info.at("geoTransform");
    const std::vector<double> expected = {-100.0, 0.05, 0.0, 34.15, 0.0, -0.05};
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(transform[i], expected[i], 1e-9) << i;
    EXPECT_DOUBLE_EQ(info.at("bands")[0].at("noDataValue").get<double>(), kMissing);
    EXPECT_NE(info.at("coordinateSystem").at("wkt").get<std::string>().find("ID[\"EPSG\",4326]"),
              std::string::npos);
    // (col, line) south first -> pixel centre; the value comes back unchanged
    const std::vector<std::pair<int, int>> pixels = {{2, 1}, {4, 3}, {1, 3}, {1, 1}};
    for (const auto& [col, line] : pixels) {
        char where[64];
        std::snprintf(where, sizeof where, " %.3f %.3f", -100.0 + (col - 0.5) * 0.05,
                      34.0 + (line - 0.5) * 0.05);
        const std::string got = shell_test::shell_output("gdallocationinfo -valonly -wgs84 '" +
                                                         vrt.string() + "'" + where);
        EXPECT_FLOAT_EQ(std::stof(got), values[(line - 1) * 4 + col - 1]) << col << " " << line;
    }
}

TEST(Quicklook, ValueMapIsNorthUpWithMissingPixelsGrey) {
    ScratchDir dir("png");
    const Spatialinfodata grid = small_grid(4, 2);
    // south line 0 1 2 3; north line missing 1 2 3
    const std::vector<float> values = {0, 1, 2, 3, kMissing, 1, 2, 3};
    int status = 0;
    const fs::path png = dir.path() / "EDAY.png";
    ornax_write_value_quicklook(png.string(), values, grid, kMissing, "EDAY test", "MJ", status);
    ASSERT_EQ(status, 0);
    Picture p;
    ASSERT_TRUE(decode_png(png, p));
    int x = 0, y = 0;
    ASSERT_TRUE(leftmost(p, ornax_viridis(0.0f), x, y));  // the south-west pixel, lowest value
    int above = y;
    while (above > 0 && same(p.at(x, above), ornax_viridis(0.0f))) --above;
    EXPECT_TRUE(same(p.at(x, above), ornax_quicklook_missing))
        << "the pixel north of the south-west one is the missing one";
    const Ornaxrgbtype grey = ornax_quicklook_missing;
    EXPECT_TRUE(grey.r == grey.g && grey.g == grey.b);
}

TEST(Quicklook, QualityMapUsesOneColourPerFlag) {
    ScratchDir dir("png_qc");
    const Spatialinfodata grid = small_grid(3, 2);
    const std::vector<unsigned char> flags = {0, 0, 127, 77, 0, 1};
    int status = 0;
    const fs::path png = dir.path() / "region_qc.png";
    ornax_write_quality_quicklook(png.string(), flags, grid, "flags", status);
    ASSERT_EQ(status, 0);
    Picture p;
    ASSERT_TRUE(decode_png(png, p));
    for (int flag : {0, 1, 77, 127}) {
        int x = 0, y = 0;
        EXPECT_TRUE(leftmost(p, ornax_quality_colour(flag), x, y)) << flag;
    }
    // a grid that does not match the values writes nothing
    ornax_write_quality_quicklook((dir.path() / "bad.png").string(), flags, small_grid(4, 2), "x",
                                  status);
    EXPECT_EQ(status, 3);
    EXPECT_FALSE(fs::exists(dir.path() / "bad.png"));
}

}  // namespace
