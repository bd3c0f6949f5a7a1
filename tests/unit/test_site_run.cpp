// Site run in process: order of the screen lines, the class checks, the input flag, the
// soil resistance taken from the table, and the failure messages.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ornax90/ORNAX_run_mod.hpp"

namespace {

namespace fs = std::filesystem;

const fs::path site_dir = fs::path(ORNAX_REFERENCE_DIR) / "site";

std::vector<std::string> file_lines(const fs::path& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> text_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

class SiteRun : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ornax_site_run_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Site file from a reference file with its class (line 2) replaced.
    fs::path site_with_class(const std::string& reference, int landcover) {
        std::vector<std::string> lines = file_lines(site_dir / reference);
        lines[1] = "               Land cover type:" +
                   std::string(10 - std::to_string(landcover).size(), ' ') +
                   std::to_string(landcover);
        return write(reference + ".class" + std::to_string(landcover), lines);
    }
    fs::path write(const std::string& name, const std::vector<std::string>& lines) {
        fs::path path = dir_ / name;
        std::ofstream out(path);
        for (const std::string& line : lines) out << line << '\n';
        return path;
    }
    // Runs the site run; screen in `screen`, log lines (standard error, no log open) in `log`.
    int run(const fs::path& table, const fs::path& site, int input_flag = 2) {
        int status = -1;
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        ornax_run_point(table.string(), site.string(), 0, input_flag, status);
        log = ::testing::internal::GetCapturedStderr();
        screen = ::testing::internal::GetCapturedStdout();
        return status;
    }
    fs::path dir_;
    std::string screen, log;
};

}  // namespace

TEST_F(SiteRun, SuccessfulRunPrintsItsLinesInOrder) {
    ASSERT_EQ(run(site_dir / "landcover.txt", site_dir / "savanna.dat"), 0) << screen << log;
    std::vector<std::string> lines = text_lines(screen);
    ASSERT_EQ(lines.size(), 4u + 18u + 41u + 1u) << screen;
    EXPECT_EQ(lines[0], " Site soil resistance:  10      1.00");
    EXPECT_EQ(lines[1], "Read in data done.");
    EXPECT_EQ(lines[2], "Start executing ORNAX at lat    31.09 lon  -123.39");
    EXPECT_EQ(lines[3], " Use read in lc          10  to run ORNAX");
    EXPECT_EQ(lines[4], "Land cover parameters: ----------------");
    EXPECT_EQ(lines[21], "---------------------------------------");
    EXPECT_EQ(lines[22], " ----- ORNAX Site Inputs ---------------------");
    EXPECT_EQ(lines[23], "   Site lc                  10 Savanna");
    EXPECT_EQ(lines[62].substr(0, 30), "  Short wave down sdn(w m-2): ");
    EXPECT_EQ(lines[63], "ORNAX finish successfully");
    EXPECT_TRUE(log.empty()) << log;
}

// The table's class values replace the file's, except the leaf values; fc, hc and the
// input's leaf size stay those derived from the file.
TEST_F(SiteRun, TableValuesReplaceTheSitesOwnLandSection) {
    ASSERT_EQ(run(site_dir / "landcover.txt", site_dir / "tundra_own_land_section.dat"), 0)
        << screen << log;
    std::vector<std::string> lines = text_lines(screen);
    EXPECT_EQ(lines[0],
              " Site soil resistance:  17      1.50");  // the table's, not the file's 1.934
    EXPECT_EQ(lines[5], " Land Cover          17          18           0");
    EXPECT_EQ(lines[6], "RS2    (soil res)     1.500");
    EXPECT_EQ(lines[7], "XL     (leaf size):     0.020");        // class value
    EXPECT_EQ(lines[8], "leaf:     0.848     0.338     0.950");  // the file's leaf values
    EXPECT_EQ(lines[20], "XL     (leaf size):     0.018");       // derived from the file
    EXPECT_EQ(lines[23], "   Site lc                  17 Tundra");
}

TEST_F(SiteRun, ClassOneRunsAsWater) {
    run(site_dir / "landcover.txt", site_with_class("savanna.dat", 1));
    std::vector<std::string> lines = text_lines(screen);
    ASSERT_GT(lines.size(), 6u) << screen;
    EXPECT_EQ(lines[0], " Site soil resistance:   1      0.00");
    EXPECT_EQ(lines[5], " Land Cover           1          17           1");
}

TEST_F(SiteRun, ClassesOutsideTheTableAreRejected) {
    // 20 is outside 1..19 although the table holds 20 classes
    EXPECT_EQ(run(site_dir / "landcover.txt", site_with_class("savanna.dat", 20)), 3);
    EXPECT_EQ(screen, " Unknown land cover class          20\n ORNAX exit error\n");
    EXPECT_EQ(run(site_dir / "landcover.txt", site_with_class("savanna.dat", 0)), 3);
    EXPECT_EQ(screen, " Unknown land cover class           0\n ORNAX exit error\n");
    // a class the table file did not fill
    std::vector<std::string> table = file_lines(site_dir / "landcover.txt");
    table[0] = "Number of land classes:   9";
    table.resize(11);
    EXPECT_EQ(run(write("table9.txt", table), site_dir / "savanna.dat"), 3);
    EXPECT_EQ(screen, " Unknown land cover class          10\n ORNAX exit error\n");
}

TEST_F(SiteRun, TableIsReadBeforeTheInputFlagIsChecked) {
    EXPECT_EQ(run(dir_ / "landcover.txt", site_dir / "savanna.dat", 1), 3);
    EXPECT_EQ(screen, "Land cover read in error   0read\n");
    EXPECT_EQ(log.find("Invalid input flag"), std::string::npos) << log;
    EXPECT_NE(log.find("Error in opening the input landcover class file:"), std::string::npos)
        << log;

    EXPECT_EQ(run(site_dir / "landcover.txt", site_dir / "savanna.dat", 1), 3);
    EXPECT_TRUE(screen.empty()) << screen;
    EXPECT_NE(log.find(" Invalid input flag           1"), std::string::npos) << log;
}

TEST_F(SiteRun, EmptyTableAndMissingOrMalformedSite) {
    EXPECT_EQ(run(write("empty.txt", {"Number of land classes:   0", "header"}),
                  site_dir / "savanna.dat"),
              3);
    EXPECT_EQ(screen, "Land cover read in error   0read\n");

    EXPECT_EQ(run(site_dir / "landcover.txt", dir_ / "in.dat"), 3);
    EXPECT_EQ(screen, "Error in reading ORNAX input data\n");
    EXPECT_NE(log.find("Error in opening the input file:" + (dir_ / "in.dat").string()),
              std::string::npos);

    std::vector<std::string> site = file_lines(site_dir / "savanna.dat");
    site.resize(40);
    EXPECT_EQ(run(site_dir / "landcover.txt", write("short.dat", site)), 3);
    EXPECT_EQ(screen, "Error in reading ORNAX input data\n");
    EXPECT_NE(log.find("line          41"), std::string::npos) << log;
}

TEST_F(SiteRun, CoreFailureIsReported) {
    // a sounding that never reaches above the initial 50 m layer leaves the core without a table
    std::vector<std::string> site = file_lines(site_dir / "savanna.dat");
    site[21] = "          Number of PBL layers:         2";
    site.erase(site.begin() + 25, site.begin() + 46);
    EXPECT_EQ(run(site_dir / "landcover.txt", write("low_sounding.dat", site)), 3);
    std::vector<std::string> lines = text_lines(screen);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Error in running ORNAX model");
}
