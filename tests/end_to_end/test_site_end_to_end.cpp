// The executable in site mode: the reference sites against their expected outputs, the
// bundled examples, and a malformed site file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path reference_dir = fs::path(ORNAX_REFERENCE_DIR) / "site";
const fs::path examples_dir = fs::path(ORNAX_SOURCE_DIR) / "examples" / "site";

struct RunResult {
    int exit_status = -1;
    std::vector<std::string> screen;
};

class SiteEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ornax_site_e2e_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Runs ornax.x in the temporary directory (where its log goes) with the given arguments.
    RunResult run(const std::string& arguments) {
        const fs::path out = dir_ / "screen.txt";
        std::string command = "cd '" + dir_.string() + "' && '" + std::string(ORNAX_EXE) + "' " +
                              arguments + " > '" + out.string() + "' 2>&1";
        RunResult result;
        int raw = std::system(command.c_str());
        result.exit_status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        std::ifstream in(out);
        for (std::string line; std::getline(in, line);) result.screen.push_back(line);
        return result;
    }
    std::string log_text() {
        std::string text;
        for (const auto& entry : fs::directory_iterator(dir_))
            if (entry.path().filename().string().rfind("ORNAX-", 0) == 0) {
                std::ifstream in(entry.path());
                text += std::string(std::istreambuf_iterator<char>(in), {});
            }
        return text;
    }
    fs::path dir_;
};

// Expected output record of one reference file: "NAME": value pairs of its block.
std::map<std::string, double> expected_outputs(const std::string& file) {
    std::ifstream in(reference_dir / "expected.json");
    std::string text((std::istreambuf_iterator<char>(in)), {});
    std::map<std::string, double> values;
    std::size_t pos = text.find("\"" + file + "\"");
    if (pos == std::string::npos) return values;
    pos = text.find("\"outputs\"", pos);
    const std::size_t end = text.find("\"status\"", pos);
    while ((pos = text.find('"', text.find('\n', pos))) < end) {
        const std::size_t close = text.find('"', pos + 1);
        const std::string key = text.substr(pos + 1, close - pos - 1);
        values[key] = std::strtod(text.c_str() + text.find(':', close) + 1, nullptr);
        pos = close;
    }
    return values;
}

// Values of the report: label (trimmed) -> numbers after column 30.
std::map<std::string, std::vector<double>> report_values(const std::vector<std::string>& screen) {
    std::map<std::string, std::vector<double>> values;
    for (const std::string& line : screen) {
        if (line.size() < 40 || line[0] == '-') continue;
        std::string label = line.substr(0, 30);
        label.erase(0, label.find_first_not_of(' '));
        label.erase(label.find_last_not_of(' ') + 1);
        std::istringstream numbers(line.substr(30));
        std::vector<double> row;
        for (double v; numbers >> v;) row.push_back(v);
        if (!row.empty()) values[label] = row;
    }
    return values;
}

// Tolerance of a single-precision result against the double-precision reference.
double tolerance(const std::string& name, double expected) {
    if (name == "Z2") return std::max(5.0, 0.02 * std::fabs(expected));
    if (name.find("DAY") != std::string::npos) return 0.05 + 0.0005;
    if (name == "RA2" || name == "RS2" || name == "RX2")
        return std::max(0.5, 0.02 * std::fabs(expected)) + 0.0005;
    if (name.rfind("ZEN", 0) == 0) return 0.005;
    return std::max(0.5, 0.01 * std::fabs(expected)) + 0.0005;
}

// Report label, then the output names of its values.
const std::vector<std::pair<std::string, std::vector<std::string>>> report_fields = {
    {"TC1,TC2 (canopy temp):", {"TC1", "TC2"}},
    {"TS1,TS2 (soil temp):", {"TS1", "TS2"}},
    {"TA1,TA2 (modeled air temp):", {"TA1", "TA2"}},
    {"Rnet Net Radiation (w m-2):", {"RNET1", "RNET2"}},
    {"Zen (sun zenith):", {"ZEN1", "ZEN2"}},
    {"Z2 (boundary layer ht):", {"Z2"}},
    {"RA2 (aerodynamic res):", {"RA2"}},
    {"RS2   (soil res):", {"RS2"}},
    {"RX2   (b.l. res):", {"RX2"}},
    {"SWUP (W m-2):", {"SWUP"}},
    {"LWUP (W m-2):", {"LWUP"}},
    {"Canopy latent(w m-2):", {"XLEC2"}},
    {"Soil latent(w m-2):", {"XLES2"}},
    {"Total latent(w m-2):", {"XLE2"}},
    {"Canopy sensible(w m-2):", {"HC2"}},
    {"Soil sensible(w m-2):", {"HS2"}},
    {"Total sensible(w m-2):", {"H2"}},
    {"Ground cond(w m-2):", {"G2"}},
    {"Radiation RN (w m-2):", {"SNETDAY"}},
    {"Sensible H (w m-2):", {"HDAY"}},
    {"Soil heat flux G (w m-2):", {"GDAY"}},
    {"Total ET (MJ day-1):", {"EDAY"}},
    {"Soil ET (mm s-1):", {"ESDAY"}},
    {"Canopy ET (mm s-1):", {"ECDAY"}},
    {"P-M reference ET (mm s-1):", {"EREFDAY"}},
    {"Short wave down sdn(w m-2):", {"SDDAY"}},
};

}  // namespace

TEST_F(SiteEndToEnd, ReferenceSitesMatchTheirExpectedOutputs) {
    for (const char* file : {"bare_sparse.dat", "forest_perennial.dat", "savanna.dat",
                             "deciduous_forest.dat", "tundra_own_land_section.dat"}) {
        SCOPED_TRACE(file);
        const std::map<std::string, double> expected = expected_outputs(file);
        ASSERT_EQ(expected.size(), 44u);
        RunResult result = run("-s '" + (reference_dir / file).string() + "' -l '" +
                               (reference_dir / "landcover.txt").string() + "'");
        ASSERT_EQ(result.exit_status, 0);
        ASSERT_FALSE(result.screen.empty());
        EXPECT_EQ(result.screen.back(), "ORNAX finish successfully");
        std::map<std::string, std::vector<double>> report = report_values(result.screen);
        for (const auto& [label, names] : report_fields) {
            ASSERT_EQ(report[label].size(), names.size()) << label;
            for (std::size_t i = 0; i < names.size(); ++i) {
                const double want = expected.at(names[i]);
                EXPECT_NEAR(report[label][i], want, tolerance(names[i], want)) << names[i];
            }
        }
        // the residual line closes the balance of the printed fluxes
        const double residual =
            report["Rnet Net Radiation (w m-2):"][1] - report["Total latent(w m-2):"][0] -
            report["Ground cond(w m-2):"][0] - report["Total sensible(w m-2):"][0];
        EXPECT_NEAR(report["Energy balance(w m-2):"][0], residual, 0.003);
    }
}

TEST_F(SiteEndToEnd, BundledSitesRunAndReportInOrder) {
    for (const char* file : {"cropland_site.dat", "grassland_site.dat", "forest_site.dat"}) {
        SCOPED_TRACE(file);
        RunResult result = run("-s '" + (examples_dir / file).string() + "' -l '" +
                               (examples_dir / "landcover.txt").string() + "'");
        ASSERT_EQ(result.exit_status, 0);
        const std::vector<std::string>& s = result.screen;
        ASSERT_EQ(s.size(), 1u + 4u + 18u + 41u + 1u);
        EXPECT_EQ(s[0].rfind(" Running msg in ORNAX-", 0), 0u) << s[0];
        EXPECT_EQ(s[1].rfind(" Site soil resistance:", 0), 0u);
        EXPECT_EQ(s[2], "Read in data done.");
        EXPECT_EQ(s[3].rfind("Start executing ORNAX at lat ", 0), 0u);
        EXPECT_EQ(s[4].rfind(" Use read in lc", 0), 0u);
        EXPECT_EQ(s[5], "Land cover parameters: ----------------");
        EXPECT_EQ(s[23], " ----- ORNAX Site Inputs ---------------------");
        EXPECT_EQ(s[32], " ----- ORNAX Site Outputs --------------------");
        EXPECT_EQ(s[64], "ORNAX finish successfully");
        std::map<std::string, std::vector<double>> report = report_values(s);
        // a warm-season morning: the balance closes and the day evaporates a plausible amount
        EXPECT_NEAR(report["Energy balance(w m-2):"][0], 0.0, 0.003);
        EXPECT_GE(report["Total latent(w m-2):"][0], 0.0);
        EXPECT_GT(report["Total ET (MJ day-1):"][0], 0.0);
        EXPECT_LT(report["Total ET (MJ day-1):"][0], 30.0);
        EXPECT_GT(report["Z2 (boundary layer ht):"][0], 50.0);
        EXPECT_LT(report["Z2 (boundary layer ht):"][0], 4000.0);
    }
}

TEST_F(SiteEndToEnd, MalformedSiteFileFailsWithAMessage) {
    std::ifstream in(examples_dir / "cropland_site.dat");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    lines[14].replace(31, 10, "    22.4OO");  // trad1 mistyped
    {
        std::ofstream out(dir_ / "bad_site.dat");
        for (const std::string& line : lines) out << line << '\n';
    }
    RunResult result =
        run("-s bad_site.dat -l '" + (examples_dir / "landcover.txt").string() + "'");
    EXPECT_EQ(result.exit_status, 3);
    // The screen report, then the cause on the error stream: the file, the line, the problem.
    ASSERT_EQ(result.screen.size(), 5u);
    EXPECT_EQ(result.screen[1], "Error in reading ORNAX input data");
    EXPECT_EQ(result.screen[2].rfind("ornax.x: Error in the input file bad_site.dat, line", 0), 0u)
        << result.screen[2];
    const std::string log = log_text();
    EXPECT_NE(
        log.find(
            "Error in the input file bad_site.dat, line          15 : columns 32-41 do not hold a "
            "number"),
        std::string::npos)
        << log;
    EXPECT_NE(log.find("Error in executing ORNAX with data in bad_site.dat and land cover in"),
              std::string::npos)
        << log;
}
