// Site input file: reading the reference sites, writing and reading back, appended
// blocks, free labels, derived cover fraction and canopy height, and malformed files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ornax90/ORNAX_io_mod.hpp"

namespace {

namespace fs = std::filesystem;

const fs::path site_reference_dir = fs::path(ORNAX_REFERENCE_DIR) / "site";

// Fresh temporary directory, removed with the fixture.
class SiteIo : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ornax_site_io_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

std::vector<std::string> read_lines(const fs::path& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

void write_lines(const fs::path& path, const std::vector<std::string>& lines) {
    std::ofstream out(path);
    for (const std::string& line : lines) out << line << '\n';
}

// Reads a site file and returns the log text written meanwhile (no log is open in the tests,
// so log lines go to the standard error stream).
std::string read_site_capturing_log(const fs::path& path, Ornaxlandtype& land,
                                    Ornaxinputvartype& input, int& status) {
    ::testing::internal::CaptureStderr();
    ornax_read_site_inputs(path.string(), land, input, status);
    return ::testing::internal::GetCapturedStderr();
}

// A point with values in every field, none of them round at three decimals.
void make_point(Ornaxlandtype& land, Ornaxinputvartype& in) {
    land = Ornaxlandtype{};
    land.landcover = 13;
    land.modis_class = 12;
    land.perennial_flag = 1;
    land.aleafv = 0.8512f, land.aleafn = 0.3004f, land.aleafl = 0.9611f;
    land.adeadv = 0.5833f, land.adeadn = 0.3701f, land.adeadl = 0.9512f;
    land.xl = 0.0512f, land.hmin = 0.2f, land.hmax = 1.5f, land.rsoil = 1.25f, land.fcmin = 0.03f;
    in = Ornaxinputvartype{};
    in.lon = -97.4873f, in.lat = 36.6052f, in.year = 2021, in.doy = 196;
    in.xlai = 2.7314f, in.xndvi = 0.7123f, in.theta = 41.2871f;
    in.tloc1 = 7.4167f, in.tloc2 = 10.4333f, in.trad1 = 18.2214f, in.trad2 = 31.8765f;
    in.sdn1 = 201.456f, in.sdn2 = 781.2349f, in.lwdn1 = 355.789f, in.lwdn2 = 371.1112f;
    in.wind1 = 3.2101f, in.wind2 = 4.7779f, in.taobs1 = 19.1234f, in.taobs2 = 26.5432f;
    in.pres1 = 978.3456f, in.pres2 = 977.9876f, in.spfh1 = 18.76543f, in.spfh2 = 19.01234f;
    in.npbl = 5;
    for (int k = 0; k < in.npbl; ++k) {
        in.z_pbli[k] = 10.12345f * static_cast<float>((k + 1) * (k + 1) * 17);
        in.th_pblk[k] = 296.54321f + 0.812345f * static_cast<float>(k);
    }
    for (int h = 0; h < 24; ++h) {
        in.tloc_day[h] = static_cast<float>(h);
        in.sdn_day[h] = h < 6 || h > 19 ? 0.0f : 850.12345f * std::sin(3.14159f * (h - 6) / 14.0f);
        in.taobs_day[h] = 18.2345f + 0.4321f * static_cast<float>(h);
        in.spfh_day[h] = 18.5432f + 0.01f * static_cast<float>(h);
        in.pres_day[h] = 978.1234f;
        in.wind_day[h] = 2.5678f + 0.1f * static_cast<float>(h);
        in.lwdn_day[h] = 350.9876f + static_cast<float>(h);
    }
}

}  // namespace

TEST_F(SiteIo, ReadsReferenceSiteWithDerivedValues) {
    Ornaxlandtype land;
    Ornaxinputvartype in;
    in.rs_correct = 7.0f;  // a stale value must not survive the read
    int status = -1;
    ornax_read_site_inputs((site_reference_dir / "savanna.dat").string(), land, in, status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(land.landcover, 10);
    EXPECT_EQ(land.modis_class, 9);
    EXPECT_FLOAT_EQ(land.xl, 0.04f);
    EXPECT_FLOAT_EQ(land.fcmin, 0.02f);
    EXPECT_EQ(in.landcover, 10);
    EXPECT_FLOAT_EQ(in.lon, -123.386f);  // longitude first on its line
    EXPECT_FLOAT_EQ(in.lat, 31.086f);
    EXPECT_EQ(in.year, 2010);
    EXPECT_FLOAT_EQ(in.spfh1, 7.04f);
    EXPECT_FLOAT_EQ(in.spfh2, 6.993f);
    ASSERT_EQ(in.npbl, 23);
    EXPECT_FLOAT_EQ(in.z_pbli[0], 9.6599f);
    EXPECT_FLOAT_EQ(in.th_pblk[22], 302.4229f);
    EXPECT_FLOAT_EQ(in.tloc_day[23], 23.0f);
    EXPECT_FLOAT_EQ(in.lwdn_day[23], 316.8723f);
    // derived values
    const float fc = 1.0f - std::exp(-0.5f * 1.968f);
    EXPECT_FLOAT_EQ(in.fc, fc);
    EXPECT_FLOAT_EQ(in.hc, (5.0f - 1.0f) * fc + 1.0f);
    EXPECT_FLOAT_EQ(in.xl, 0.04f);
    EXPECT_FLOAT_EQ(in.zu, 50.0f);
    EXPECT_FLOAT_EQ(in.rsoilv, 0.24f);
    EXPECT_FLOAT_EQ(in.aleafv_copy, 0.85f);
    EXPECT_FLOAT_EQ(in.aleafn_copy, 0.30f);
    EXPECT_EQ(in.rs_correct, 0.0f);
}

// The writer's layout is the layout of the reference and bundled files: reading one and writing it
// again gives the same text, line for line.
TEST_F(SiteIo, WriterReproducesReferenceFilesExactly) {
    const fs::path examples = fs::path(ORNAX_SOURCE_DIR) / "examples" / "site";
    std::vector<fs::path> files;
    for (const char* name : {"savanna.dat", "bare_sparse.dat", "forest_perennial.dat",
                             "deciduous_forest.dat", "tundra_own_land_section.dat"})
        files.push_back(site_reference_dir / name);
    for (const char* name : {"cropland_site.dat", "grassland_site.dat", "forest_site.dat"})
        files.push_back(examples / name);
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.string());
        Ornaxlandtype land;
        Ornaxinputvartype in;
        int status = -1;
        ornax_read_site_inputs(file.string(), land, in, status);
        ASSERT_EQ(status, 0);
        const fs::path copy = dir_ / file.filename();
        ornax_write_site_inputs(copy.string(), land, in, status);
        ASSERT_EQ(status, 0);
        std::vector<std::string> expected = read_lines(file);
        std::vector<std::string> written = read_lines(copy);
        ASSERT_EQ(written.size(), 48u + static_cast<unsigned>(in.npbl));
        ASSERT_EQ(written.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            if (written[i] == expected[i]) continue;
            // heights above 1000 m carry more digits in f20.4 than a 4-byte real holds
            ASSERT_EQ(written[i].size(), expected[i].size()) << "line " << i + 1;
            std::istringstream w(written[i]), e(expected[i]);
            for (double a, b; e >> b;) {
                ASSERT_TRUE(w >> a) << "line " << i + 1;
                EXPECT_NEAR(a, b, 1e-7 * std::fabs(b) + 1e-9) << "line " << i + 1;
            }
        }
    }
}

TEST_F(SiteIo, RoundTripKeepsValuesWithinLayoutPrecision) {
    Ornaxlandtype land, land_back;
    Ornaxinputvartype in, back;
    make_point(land, in);
    int status = -1;
    const fs::path file = dir_ / "point.dat";
    ornax_write_site_inputs(file.string(), land, in, status);
    ASSERT_EQ(status, 0);
    ornax_read_site_inputs(file.string(), land_back, back, status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(land_back.landcover, 13);
    EXPECT_EQ(land_back.modis_class, 12);
    EXPECT_EQ(land_back.perennial_flag, 1);
    EXPECT_EQ(back.landcover, 13);
    EXPECT_EQ(back.year, 2021);
    EXPECT_EQ(back.doy, 196);
    EXPECT_EQ(back.npbl, 5);
    const float f3 = 0.0005f + 1e-6f;
    for (auto [a, b] : {std::pair{land.aleafv, land_back.aleafv},
                        {land.adeadl, land_back.adeadl},
                        {land.xl, land_back.xl},
                        {land.rsoil, land_back.rsoil},
                        {land.fcmin, land_back.fcmin},
                        {in.lon, back.lon},
                        {in.lat, back.lat},
                        {in.xlai, back.xlai},
                        {in.theta, back.theta},
                        {in.tloc2, back.tloc2},
                        {in.trad1, back.trad1},
                        {in.sdn2, back.sdn2},
                        {in.lwdn1, back.lwdn1},
                        {in.wind2, back.wind2},
                        {in.taobs1, back.taobs1}})
        EXPECT_NEAR(a, b, f3);
    EXPECT_NEAR(in.pres2, back.pres2, 0.0005f + 1e-4f);
    EXPECT_NEAR(back.spfh1, in.spfh1, 1e-4f * 18.8f);  // five significant digits
    EXPECT_NEAR(back.spfh2, in.spfh2, 1e-4f * 19.1f);
    for (int k = 0; k < in.npbl; ++k) {
        EXPECT_NEAR(back.z_pbli[k], in.z_pbli[k], 0.00005f + 2e-7f * in.z_pbli[k]);
        EXPECT_NEAR(back.th_pblk[k], in.th_pblk[k], 0.0001f);
    }
    for (int h = 0; h < 24; ++h) {
        EXPECT_FLOAT_EQ(back.tloc_day[h], in.tloc_day[h]);
        EXPECT_NEAR(back.sdn_day[h], in.sdn_day[h], 0.0001f);
        EXPECT_NEAR(back.taobs_day[h], in.taobs_day[h], 0.0001f);
        EXPECT_NEAR(back.spfh_day[h], in.spfh_day[h], 0.0001f);
        EXPECT_NEAR(back.pres_day[h], in.pres_day[h], 0.0002f);
        EXPECT_NEAR(back.wind_day[h], in.wind_day[h], 0.0001f);
        EXPECT_NEAR(back.lwdn_day[h], in.lwdn_day[h], 0.0001f);
    }
}

TEST_F(SiteIo, TwoAppendedBlocksAreKeptAndTheFirstIsRead) {
    Ornaxlandtype land, land_back;
    Ornaxinputvartype in, back;
    make_point(land, in);
    int status = -1;
    const fs::path file = dir_ / "dump.dat";
    ornax_write_site_inputs(file.string(), land, in, status);
    ASSERT_EQ(status, 0);
    Ornaxinputvartype second = in;
    second.npbl = 3;
    second.lat = -12.5f;
    ornax_write_site_inputs(file.string(), land, second, status);
    ASSERT_EQ(status, 0);
    std::vector<std::string> lines = read_lines(file);
    ASSERT_EQ(lines.size(), (48u + 5u) + (48u + 3u));
    EXPECT_EQ(lines[53], " ------------------------------------------");  // second block starts
    EXPECT_NE(lines[53 + 9].find("   -12.500"), std::string::npos);
    ornax_read_site_inputs(file.string(), land_back, back, status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(back.npbl, 5);
    EXPECT_NEAR(back.lat, 36.605f, 0.0006f);
}

TEST_F(SiteIo, LabelsMayBeBlank) {
    std::vector<std::string> lines = read_lines(site_reference_dir / "savanna.dat");
    for (int i : {1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21})
        lines[static_cast<std::size_t>(i)].replace(1, 30, std::string(30, ' '));
    write_lines(dir_ / "blank_labels.dat", lines);
    Ornaxlandtype land_a, land_b;
    Ornaxinputvartype a, b;
    int status_a = -1, status_b = -1;
    ornax_read_site_inputs((site_reference_dir / "savanna.dat").string(), land_a, a, status_a);
    ornax_read_site_inputs((dir_ / "blank_labels.dat").string(), land_b, b, status_b);
    ASSERT_EQ(status_a, 0);
    ASSERT_EQ(status_b, 0);
    EXPECT_EQ(land_b.landcover, land_a.landcover);
    EXPECT_EQ(land_b.fcmin, land_a.fcmin);
    EXPECT_EQ(b.lon, a.lon);
    EXPECT_EQ(b.spfh2, a.spfh2);
    EXPECT_EQ(b.z_pbli, a.z_pbli);
    EXPECT_EQ(b.lwdn_day, a.lwdn_day);
    EXPECT_EQ(b.fc, a.fc);
}

TEST_F(SiteIo, ZeroLaiGivesFcminOrBareGround) {
    Ornaxlandtype land, back_land;
    Ornaxinputvartype in, back;
    make_point(land, in);
    in.xlai = 0.0f;
    int status = -1;
    ornax_write_site_inputs((dir_ / "fcmin.dat").string(), land, in, status);
    ornax_read_site_inputs((dir_ / "fcmin.dat").string(), back_land, back, status);
    ASSERT_EQ(status, 0);
    EXPECT_FLOAT_EQ(back.fc, 0.03f);  // lifted to fcmin
    EXPECT_FLOAT_EQ(back.hc, (1.5f - 0.2f) * 0.03f + 0.2f);
    land.fcmin = 0.0f;
    ornax_write_site_inputs((dir_ / "bare.dat").string(), land, in, status);
    ornax_read_site_inputs((dir_ / "bare.dat").string(), back_land, back, status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(back.fc, 0.0f);
    EXPECT_FLOAT_EQ(back.hc, 0.2f);  // hmin
}

TEST_F(SiteIo, SoundingOfNoLevels) {
    Ornaxlandtype land, back_land;
    Ornaxinputvartype in, back;
    make_point(land, in);
    in.npbl = 0;
    int status = -1;
    const fs::path file = dir_ / "npbl0.dat";
    ornax_write_site_inputs(file.string(), land, in, status);
    std::vector<std::string> lines = read_lines(file);
    ASSERT_EQ(lines.size(), 48u);
    EXPECT_EQ(lines[22].substr(0, 6), " Index");
    EXPECT_EQ(lines[23].substr(0, 5), " Hour");  // headers are adjacent
    ornax_read_site_inputs(file.string(), back_land, back, status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(back.npbl, 0);
    EXPECT_NEAR(back.lwdn_day[23], in.lwdn_day[23], 0.0001f);
}

TEST_F(SiteIo, ImpliedDecimalsInFieldsWithoutPoint) {
    std::vector<std::string> lines = read_lines(site_reference_dir / "savanna.dat");
    lines[13].replace(31, 10, "      7411");           // tloc1 in f10.3 -> 7.411
    lines[20].replace(31, 10, "    704000");           // spfh1 in e10.5 -> 7.04
    lines[23].replace(4, 20, "               96599");  // z_pbli(1) in f20.4 -> 9.6599
    write_lines(dir_ / "implied.dat", lines);
    Ornaxlandtype land;
    Ornaxinputvartype in;
    int status = -1;
    ornax_read_site_inputs((dir_ / "implied.dat").string(), land, in, status);
    ASSERT_EQ(status, 0);
    EXPECT_FLOAT_EQ(in.tloc1, 7.411f);
    EXPECT_FLOAT_EQ(in.spfh1, 7.04f);
    EXPECT_FLOAT_EQ(in.z_pbli[0], 9.6599f);
}

// Each malformed file gives status 3 and one log line naming the file, the line and the problem.
TEST_F(SiteIo, MalformedFilesAreReported) {
    const std::vector<std::string> good = read_lines(site_reference_dir / "savanna.dat");
    struct Case {
        const char* name;
        int line;  // 1-based line that is changed (0: file cut after `cut` lines)
        std::string text;
        std::size_t cut;
        const char* expect;
    };
    const std::vector<Case> cases = {
        {"not_number", 15, " GOES observed temp(C) :           15.271    2x.188", 0,
         "line          15"},
        {"blank_field", 12, "        Vegetation  lai  NDVI :     1.968", 0, "line          12"},
        {"npbl_42", 22, "          Number of PBL layers:        42", 0, "outside 0..41"},
        {"negative_npbl", 22, "          Number of PBL layers:        -1", 0, "outside 0..41"},
        {"blank_separator", 9, "", 0, "line           9"},
        {"ends_early", 0, "", 60, "line          61"},
        {"ends_in_sounding", 0, "", 30, "line          31"},
        {"bad_hourly", 60,
         "  12.0    900.8969     20.0168      abc       949.5488      4.1865    333.9533", 0,
         "line          60"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> lines = good;
        if (c.line > 0) lines[static_cast<std::size_t>(c.line - 1)] = c.text;
        if (c.cut > 0) lines.resize(c.cut);
        const fs::path file = dir_ / (std::string(c.name) + ".dat");
        write_lines(file, lines);
        Ornaxlandtype land;
        Ornaxinputvartype in;
        int status = -1;
        std::string log = read_site_capturing_log(file, land, in, status);
        EXPECT_EQ(status, 3);
        EXPECT_NE(log.find(file.string()), std::string::npos) << log;
        EXPECT_NE(log.find(c.expect), std::string::npos) << log;
        EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    }
}

TEST_F(SiteIo, MissingFileAndUnwritableOutput) {
    Ornaxlandtype land;
    Ornaxinputvartype in;
    int status = -1;
    const fs::path missing = dir_ / "nowhere.dat";
    std::string log = read_site_capturing_log(missing, land, in, status);
    EXPECT_EQ(status, 3);
    EXPECT_NE(log.find("Error in opening the input file:" + missing.string()), std::string::npos)
        << log;
    ::testing::internal::CaptureStdout();
    ornax_write_site_inputs((dir_ / "no_dir" / "out.dat").string(), land, in, status);
    std::string screen = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 3);
    EXPECT_NE(screen.find("Error in opening the output file:"), std::string::npos);
}
