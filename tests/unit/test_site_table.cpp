// Land-cover class table: reading, implied decimals, the water flag, debug echo,
// malformed tables, and copying a class into a land record.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ornax90/ORNAX_io_mod.hpp"

namespace {

namespace fs = std::filesystem;

const fs::path table_reference = fs::path(ORNAX_REFERENCE_DIR) / "site" / "landcover.txt";

class SiteTable : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ornax_site_table_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        debug_iflag = 0;
        fs::remove_all(dir_);
    }
    fs::path write_table(const std::string& name, const std::vector<std::string>& lines) {
        fs::path path = dir_ / name;
        std::ofstream out(path);
        for (const std::string& line : lines) out << line << '\n';
        return path;
    }
    // Reads a table; returns what went to the log meanwhile (standard error: no log is open).
    std::string read_table(const fs::path& path, std::vector<Ornaxlandtype>& table, int& n,
                           int& status) {
        ::testing::internal::CaptureStderr();
        ornax_read_landcover_table(path.string(), table, n, status);
        return ::testing::internal::GetCapturedStderr();
    }
    fs::path dir_;
};

const char* table_header =
    "  #   aleafv  aleafn  aleafl  adeadv  adeadn  adeadl   rsoil    hmin    hmax      xl"
    "   modis   perfl   fcmin name";

std::vector<std::string> reference_lines() {
    std::vector<std::string> lines;
    std::ifstream in(table_reference);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

int count_lines(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace

TEST_F(SiteTable, ReadsReferenceTable) {
    std::vector<Ornaxlandtype> table;
    int n = -1, status = -1;
    std::string log = read_table(table_reference, table, n, status);
    ASSERT_EQ(status, 0);
    EXPECT_TRUE(log.empty()) << log;
    ASSERT_EQ(n, 20);
    ASSERT_EQ(table.size(), 20u);
    const Ornaxlandtype& savanna = table[9];
    EXPECT_EQ(savanna.landcover, 10);
    EXPECT_FLOAT_EQ(savanna.aleafv, 0.85f);
    EXPECT_FLOAT_EQ(savanna.adeadn, 0.37f);
    // the file holds rsoil, hmin, hmax before xl
    EXPECT_FLOAT_EQ(savanna.rsoil, 1.0f);
    EXPECT_FLOAT_EQ(savanna.hmin, 1.0f);
    EXPECT_FLOAT_EQ(savanna.hmax, 5.0f);
    EXPECT_FLOAT_EQ(savanna.xl, 0.04f);
    EXPECT_EQ(savanna.modis_class, 9);
    EXPECT_EQ(savanna.perennial_flag, 0);
    EXPECT_FLOAT_EQ(savanna.fcmin, 0.02f);
    EXPECT_EQ(savanna.lc_name, " Savanna");
    EXPECT_EQ(table[1].perennial_flag, 1);
    EXPECT_EQ(table[19].lc_name, " Permanent snow and ice");
    EXPECT_FLOAT_EQ(table[19].rsoil, 3.0f);
}

TEST_F(SiteTable, WaterFlagOnlyForClassOne) {
    std::vector<std::string> lines = reference_lines();
    // class 1 reads as water; a class-2 row whose text claims water stays land
    lines[3].replace(107, std::string::npos, " Lake (water)");
    std::vector<Ornaxlandtype> table;
    int n = 0, status = -1;
    read_table(write_table("water.txt", lines), table, n, status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(table[0].water_flag, 1);
    for (int i = 1; i < n; ++i)
        EXPECT_EQ(table[static_cast<std::size_t>(i)].water_flag, 0) << "row " << i + 1;
}

TEST_F(SiteTable, ImpliedTwoDecimalsWithoutPoint) {
    std::vector<std::string> lines = {"Number of land classes:   2", table_header,
                                      "  1      83      35      95      50      30      95       0 "
                                      "      0       0       5      17       0"
                                      "       0 Open water",
                                      "  2    0.85    0.35    0.95    0.50    0.30    0.95    1.00 "
                                      "   0.10    0.60    0.02      10       0"
                                      "    0.05 Grassland"};
    std::vector<Ornaxlandtype> table;
    int n = 0, status = -1;
    read_table(write_table("implied.txt", lines), table, n, status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(n, 2);
    EXPECT_FLOAT_EQ(table[0].aleafv, 0.83f);
    EXPECT_FLOAT_EQ(table[0].aleafl, 0.95f);
    EXPECT_FLOAT_EQ(table[0].xl, 0.05f);
    EXPECT_FLOAT_EQ(table[1].aleafv, 0.85f);
    EXPECT_FLOAT_EQ(table[1].fcmin, 0.05f);
    EXPECT_EQ(table[1].lc_name, " Grassland");
}

TEST_F(SiteTable, DebugLevelOneEchoesEveryRow) {
    std::vector<Ornaxlandtype> table;
    int n = 0, status = -1;
    debug_iflag = 1;
    std::string log = read_table(table_reference, table, n, status);
    EXPECT_EQ(status, 0);
    ASSERT_EQ(count_lines(log), 20);
    EXPECT_NE(log.find("  10      0.85      0.30      0.96      0.58      0.37      0.95       9   "
                       "    0   0.020\n"),
              std::string::npos)
        << log;
    debug_iflag = 2;
    log = read_table(table_reference, table, n, status);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(log.empty()) << log;
}

TEST_F(SiteTable, CountOfZeroIsNotAnError) {
    std::vector<Ornaxlandtype> table;
    int n = -1, status = -1;
    read_table(write_table("empty.txt", {"Number of land classes:   0", table_header}), table, n,
               status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(n, 0);
}

TEST_F(SiteTable, MalformedTablesAreReported) {
    const std::vector<std::string> good = reference_lines();
    struct Case {
        const char* name;
        std::vector<std::string> lines;
        int rows_read;
        const char* expect;
    };
    std::vector<std::string> too_many = good, short_table = good, bad_field = good,
                             bad_count = good, short_row = good;
    too_many[0] = "Number of land classes:  21";
    short_table.resize(12);  // announces 20, holds 10
    bad_field[6].replace(20, 8, "    0.9O");
    bad_count[0] = "Number of land classes: x20";
    short_row[4].resize(95);  // ends inside the perennial flag
    const std::vector<Case> cases = {
        {"too_many", too_many, 0, "line           1"},
        {"short_table", short_table, 10, "line          13"},
        {"bad_field", bad_field, 4, "line           7"},
        {"bad_count", bad_count, 0, "line           1"},
        {"short_row", short_row, 2, "line           5"},
        {"no_header", {"Number of land classes:   3"}, 0, "line           2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::path path = write_table(std::string(c.name) + ".txt", c.lines);
        std::vector<Ornaxlandtype> table;
        int n = -1, status = -1;
        std::string log = read_table(path, table, n, status);
        EXPECT_EQ(status, 3);
        EXPECT_EQ(n, c.rows_read);
        EXPECT_EQ(count_lines(log), 1) << log;
        EXPECT_NE(log.find(path.string()), std::string::npos) << log;
        EXPECT_NE(log.find(c.expect), std::string::npos) << log;
    }
}

TEST_F(SiteTable, MissingTable) {
    std::vector<Ornaxlandtype> table;
    int n = -1, status = -1;
    const fs::path missing = dir_ / "landcover.txt";
    std::string log =
        read_table(missing.string() + "   ", table, n, status);  // trailing blanks trimmed
    EXPECT_EQ(status, 3);
    EXPECT_EQ(n, 0);
    EXPECT_NE(log.find("Error in opening the input landcover class file:" + missing.string() + " "),
              std::string::npos)
        << log;
}

TEST(SiteTableCopy, KeepsLeafValuesAndReplacesTheRest) {
    Ornaxlandtype site;
    site.landcover = 7, site.aleafv = 0.11f, site.aleafn = 0.12f, site.aleafl = 0.13f;
    site.adeadv = 0.14f, site.adeadn = 0.15f, site.adeadl = 0.16f;
    site.xl = 9.0f, site.rsoil = 9.0f, site.hmin = 9.0f, site.hmax = 9.0f, site.modis_class = 99;
    site.water_flag = 1, site.perennial_flag = 1, site.fcmin = 0.9f, site.lc_name = "old";
    Ornaxlandtype entry;
    entry.landcover = 13, entry.aleafv = 0.85f, entry.aleafn = 0.3f, entry.aleafl = 0.96f;
    entry.adeadv = 0.58f, entry.adeadn = 0.36f, entry.adeadl = 0.95f;
    entry.xl = 0.05f, entry.rsoil = 1.0f, entry.hmin = 0.2f, entry.hmax = 1.5f,
    entry.modis_class = 12;
    entry.water_flag = 0, entry.perennial_flag = 0, entry.fcmin = 0.01f,
    entry.lc_name = " Cropland   ";
    int status = -1;
    ornax_copy_land_parameters(entry, site, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(site.aleafv, 0.11f);
    EXPECT_EQ(site.aleafn, 0.12f);
    EXPECT_EQ(site.aleafl, 0.13f);
    EXPECT_EQ(site.adeadv, 0.14f);
    EXPECT_EQ(site.adeadn, 0.15f);
    EXPECT_EQ(site.adeadl, 0.16f);
    EXPECT_EQ(site.landcover, 13);
    EXPECT_EQ(site.xl, 0.05f);
    EXPECT_EQ(site.rsoil, 1.0f);
    EXPECT_EQ(site.hmin, 0.2f);
    EXPECT_EQ(site.hmax, 1.5f);
    EXPECT_EQ(site.modis_class, 12);
    EXPECT_EQ(site.water_flag, 0);
    EXPECT_EQ(site.perennial_flag, 0);
    EXPECT_EQ(site.fcmin, 0.01f);
    EXPECT_EQ(site.lc_name, " Cropland");
}

TEST_F(SiteTable, BundledTableHoldsTwentyPlausibleClasses) {
    std::vector<Ornaxlandtype> table;
    int n = 0, status = -1;
    read_table(fs::path(ORNAX_SOURCE_DIR) / "examples" / "site" / "landcover.txt", table, n,
               status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(n, 20);
    EXPECT_EQ(table[0].lc_name, " Open water");
    EXPECT_EQ(table[0].water_flag, 1);
    for (int i = 0; i < n; ++i) {
        const Ornaxlandtype& c = table[static_cast<std::size_t>(i)];
        SCOPED_TRACE(c.lc_name);
        EXPECT_EQ(c.landcover, i + 1);  // entries are selected by position
        for (float absorptivity : {c.aleafv, c.aleafn, c.aleafl, c.adeadv, c.adeadn, c.adeadl}) {
            EXPECT_GT(absorptivity, 0.0f);
            EXPECT_LE(absorptivity, 1.0f);
        }
        EXPECT_LE(c.hmin, c.hmax);
        EXPECT_GE(c.fcmin, 0.0f);
        EXPECT_LT(c.fcmin, 0.5f);
        EXPECT_GT(c.xl, 0.0f);
    }
}
