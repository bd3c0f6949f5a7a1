// Region configuration file: path rules, existence checks and damaged files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "ornax90/ORNAX_region_io_mod.hpp"
#include "support/raster.hpp"
#include "utils/fixed_text.hpp"

using raster_test::LogCapture;
using raster_test::ScratchDir;

namespace {

// Sets HOME_DIR (or unsets it) for one test and restores it afterwards.
class HomeDir {
public:
    explicit HomeDir(const std::optional<std::string>& value) {
        if (const char* old = std::getenv("HOME_DIR")) saved_ = old;
        if (value)
            setenv("HOME_DIR", value->c_str(), 1);
        else
            unsetenv("HOME_DIR");
    }
    ~HomeDir() {
        if (saved_)
            setenv("HOME_DIR", saved_->c_str(), 1);
        else
            unsetenv("HOME_DIR");
    }

private:
    std::optional<std::string> saved_;
};

void touch(const std::string& path) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    raster_test::write_text(path, "x");
}

// A configuration file whose value lines can be replaced one by one. `base` is put in
// front of the plain-rule values; directory lines hold /static, /veg, ... under HOME_DIR.
struct ConfigText {
    std::map<int, std::string> values;
    int lines = 65;

    explicit ConfigText(const std::string& base) {
        for (int line : {6, 8, 23, 27, 31, 53, 62, 63})
            values[line] = base + "/cfg" + std::to_string(line);
        values[7] = "/reserved.dat";
        values[9] = "/static";
        for (int line = 10; line <= 21; ++line)
            values[line] = "land" + std::to_string(line) + ".bin";
        values[24] = "/veg";
        values[25] = "lai.bin";
        values[28] = "/snow";
        values[29] = "snow.bin";
        values[32] = "/goes";
        for (int line = 33; line <= 51; ++line)
            values[line] = "obs" + std::to_string(line) + ".bin";
        values[54] = "/lst";
        values[55] = "trad1.bin";
        values[56] = "trad2.bin";
        values[58] = "/ins";
        values[59] = "sdn_a_";
        values[60] = "sdn_b_";
        values[64] = "/out";
        values[65] = "/spare";
    }

    std::string text() const {
        std::string out;
        for (int line = 1; line <= lines; ++line) {
            std::string label = "Line " + std::to_string(line);
            label.resize(30, ' ');
            auto found = values.find(line);
            out += label + (found == values.end() ? "------" : found->second) + "\n";
        }
        return out;
    }

    // Creates every file the configuration names for the date, under home.
    void create_files(const std::string& home, const std::string& date,
                      const std::string& day) const {
        for (int line : {6, 8, 23, 27, 31, 53, 62, 63}) touch(values.at(line));
        touch(home + values.at(7));
        for (int line = 10; line <= 21; ++line) touch(home + values.at(9) + "/" + values.at(line));
        touch(home + values.at(24) + date + values.at(25));
        touch(home + values.at(28) + date + values.at(29));
        touch(home + values.at(32) + date + values.at(33));
        touch(home + values.at(54) + date + values.at(55));
        touch(home + values.at(54) + date + values.at(56));
        touch(home + values.at(58) + "/" + values.at(59) + day + ".dat");
        touch(home + values.at(58) + "/" + values.at(60) + day + ".dat");
    }
};

int read_config(const ScratchDir& dir, const ConfigText& config, int year, int doy,
                RegionConfigPaths& paths) {
    std::string path = dir.file("region.cfg");
    raster_test::write_text(path, config.text());
    int status = -1;
    ornax_read_region_config_paths(path + "  ", year, doy, paths, status);
    return status;
}

// One reading of a generated configuration. In every text, "$B" stands for the test's
// directory and "$H" for HOME_DIR without its trailing blanks. Case names stay short: they
// name the directory, and a log line is cut at 300 characters.
struct PathCase {
    const char* name;
    std::optional<std::string> home = {};                // HOME_DIR; nullopt: unset
    std::map<int, std::string> before = {}, after = {};  // values changed before / after the
                                                         // referenced files are created
    int lines = 65;                                      // lines of the file
    const char* files_date = "/2019200/";                // date directory of the created files
    const char* files_day = "2011200";                   // fixed-year day of the insolation
    int year = 2019, doy = 200;                          // read for
    int status = 0;
    std::map<int, std::string> paths = {};  // stored paths expected
    std::vector<std::string> log = {};      // pieces of the log; none: an empty log
};

void PrintTo(const PathCase& c, std::ostream* os) {
    *os << c.name;
}

std::string expand(std::string text, const std::string& base, const std::string& home) {
    for (const auto& [mark, value] : {std::pair{std::string("$B"), base}, {"$H", home}})
        for (std::size_t at; (at = text.find(mark)) != std::string::npos;)
            text.replace(at, mark.size(), value);
    return text;
}

// one case a row or two
// clang-format off
const PathCase path_cases[] = {
    {.name = "every_rule_under_home_dir", .home = "$B/home   ",  // trailing blanks are removed
     .files_date = "/2020007/", .files_day = "2011007", .year = 2020, .doy = 7,
     .paths = {{6, "$B/cfg6"}, {7, "$H/reserved.dat"}, {9, ""},  // a directory line: nothing
               {10, "$H/static/land10.bin"}, {25, "$H/veg/2020007/lai.bin"},
               {39, "$H/goes/2020007/obs39.bin"}, {59, "$H/ins/sdn_a_2011007.dat"},
               {63, "$B/cfg63"}, {64, "$H/out"}, {65, "$H/spare"}}},  // spare files not looked for
    {.name = "home_dir_put_in_front_without_separator", .home = "$B/data",
     .before = {{9, "static"}}, .paths = {{10, "$Hstatic/land10.bin"}}},
    {.name = "unset_home_dir_counts_as_empty", .home = std::nullopt,
     .before = {{7, "$B/reserved.dat"}, {9, "$B/static"}, {24, "$B/veg"}, {28, "$B/snow"},
                {32, "$B/goes"}, {54, "$B/lst"}, {58, "$B/ins"}, {64, "$B/out"}, {65, "$B/spare"}},
     .files_date = "/2016366/", .files_day = "2011365", .year = 2016, .doy = 366,
     .paths = {{7, "$B/reserved.dat"}, {29, "$B/snow/2016366/snow.bin"},
               {60, "$B/ins/sdn_b_2011365.dat"}, {64, "$B/out"}},  // day 366: 365 of 2011
     .log = {"HOME_DIR is not set: region configuration file"}},
    {.name = "absolute_under_home", .home = "$B/home",
     .after = {{9, "$H/static"}, {7, "$H/reserved.dat"}},
     .paths = {{7, "$H/reserved.dat"}, {10, "$H/static/land10.bin"}},
     .log = {"line 9: \"$H/static\" already begins with HOME_DIR", "line 7: \""}},
    {.name = "last_year_and_day", .home = "$B/home", .files_date = "/2100366/",
     .files_day = "2011365", .year = 2100, .doy = 366, .paths = {{25, "$H/veg/2100366/lai.bin"}}},
    {.name = "year_after_2100", .home = "$B/home", .year = 2101, .doy = 100, .status = 3,
     .paths = {{6, ""}}, .log = {"Year        2101 and day         100 lie outside"}},
    {.name = "year_before_1900", .home = "$B/home", .year = 1899, .doy = 100, .status = 3,
     .paths = {{6, ""}}, .log = {"Year        1899 and day         100 lie outside"}},
    {.name = "day_0", .home = "$B/home", .year = 2000, .doy = 0, .status = 3,
     .paths = {{6, ""}}, .log = {"Year        2000 and day           0 lie outside"}},
    {.name = "day_367", .home = "$B/home", .year = 2000, .doy = 367, .status = 3,
     .paths = {{6, ""}}, .log = {"Year        2000 and day         367 lie outside"}},
    {.name = "first_year_without_its_dated_files", .home = "$B/home", .year = 1900, .doy = 1,
     .status = 3, .log = {"$H/veg/1900001/lai.bin not exist."}},
    {.name = "output_and_spare_directories_may_be_missing", .home = "$B/home", .lines = 63,
     .paths = {{63, "$B/cfg63"}, {64, ""}, {65, ""}}},
    {.name = "file_ending_at_line_40", .home = "$B/home", .lines = 40, .status = 3,
     .log = {"Region configuration file $B/region.cfg line          41 is missing"}},
    {.name = "file_ending_in_the_header", .home = "$B/home", .lines = 3, .status = 3,
     .log = {" line           4 is missing"}},
};
// clang-format on

class RegionConfigPathTable : public ::testing::TestWithParam<PathCase> {};

}  // namespace

TEST_P(RegionConfigPathTable, StoredPaths) {
    const PathCase& c = GetParam();
    ScratchDir dir;
    const std::string base = dir.path().string();
    const std::string home = c.home ? trim_right(expand(*c.home, base, "")) : "";
    std::optional<std::string> env_value;
    if (c.home) env_value = expand(*c.home, base, "");
    HomeDir env(env_value);
    LogCapture log(dir);
    ConfigText config(base);
    config.lines = c.lines;
    for (const auto& [line, value] : c.before) config.values[line] = expand(value, base, home);
    config.create_files(home, c.files_date, c.files_day);
    for (const auto& [line, value] : c.after) config.values[line] = expand(value, base, home);
    RegionConfigPaths paths;
    EXPECT_EQ(read_config(dir, config, c.year, c.doy, paths), c.status) << log.text();
    for (const auto& [line, path] : c.paths)
        EXPECT_EQ(paths[static_cast<std::size_t>(line)], expand(path, base, home))
            << "line " << line;
    if (c.log.empty()) {
        EXPECT_EQ(log.text(), "");
    }
    for (const std::string& piece : c.log)
        EXPECT_TRUE(log.contains(expand(piece, base, home))) << piece << "\n" << log.text();
    EXPECT_EQ(ornax_unit_stream(11), nullptr) << "unit 11 is closed";
}

INSTANTIATE_TEST_SUITE_P(Cases, RegionConfigPathTable, ::testing::ValuesIn(path_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// A value marked for the HOME_DIR prefix is used as written when it already begins with
// HOME_DIR's value, or exists as written while the prefixed path does not.
TEST(RegionConfigPaths, HomePrefixIsNotPutTwice) {
    ScratchDir dir;
    const std::string home = dir.file("data");
    touch(dir.file("elsewhere/reserved.dat"));
    touch(home + "/both/reserved.dat");
    touch(home + dir.file("both/reserved.dat"));  // HOME_DIR + value exists too
    touch(dir.file("both/reserved.dat"));
    struct Case {
        std::string value, path, note;  // note: empty when the prefix was put in front
    };
    const Case cases[] = {
        {"/static", home + "/static", ""},
        {home + "/static", home + "/static", "already begins with HOME_DIR"},
        {home, home, "already begins with HOME_DIR"},
        {home + "base/x", home + home + "base/x", ""},  // "databse" is not "data/"
        {dir.file("elsewhere/reserved.dat"), dir.file("elsewhere/reserved.dat"),
         "does not exist but"},
        {dir.file("both/reserved.dat"), home + dir.file("both/reserved.dat"), ""},
        {"", home, ""},
    };
    for (const Case& c : cases) {
        std::string note;
        EXPECT_EQ(ornax_home_prefixed_path(home, c.value, note), c.path) << c.value;
        if (c.note.empty()) {
            EXPECT_EQ(note, "") << c.value;
        } else {
            EXPECT_NE(note.find(c.note), std::string::npos) << c.value << ": " << note;
        }
    }
    std::string note;
    EXPECT_EQ(ornax_home_prefixed_path("", "/static", note), "/static");
    EXPECT_EQ(note, "");
}

TEST(RegionConfigPaths, UnsetHomeDirIsNamedWhenAFileIsMissing) {
    ScratchDir dir;
    HomeDir env(std::nullopt);
    LogCapture log(dir);
    ConfigText config(dir.path().string());
    touch(config.values[6]);  // the class table is found; the reserved file is not
    RegionConfigPaths paths;
    EXPECT_EQ(read_config(dir, config, 2019, 200, paths), 3);
    const std::string text = log.text();
    EXPECT_NE(text.find("/reserved.dat not exist. HOME_DIR is not set."), std::string::npos)
        << text;
    EXPECT_NE(text.find("HOME_DIR is not set: region configuration file"), std::string::npos)
        << text;
    EXPECT_NE(text.find("line 7"), std::string::npos) << text;
}

TEST(RegionConfigPaths, InsolationFilesOfTheYear2011AreLogged) {
    ScratchDir dir;
    const std::string home = dir.file("home");
    HomeDir env(home);
    LogCapture log(dir);
    ConfigText config(dir.path().string());
    struct Case {
        int year, doy;
        std::string day;  // the fixed year and the day in the file names
    };
    for (const Case& c : {Case{2019, 45, "2011045"}, Case{2016, 366, "2011365"}}) {
        char date[16];
        std::snprintf(date, sizeof date, "/%04d%03d/", c.year, c.doy);
        config.create_files(home, date, c.day);
        const std::string path = dir.file("region.cfg");
        raster_test::write_text(path, config.text());
        Ornaxregiondatatype region;
        int status = -1;
        ornax_read_region_config_file(path, region, c.year, c.doy, status);
        ASSERT_EQ(status, 0) << log.text();
        EXPECT_EQ(region.sdn1_file, home + "/ins/sdn_a_" + c.day + ".dat");
        const std::string expected = "Insolation files (named after the year 2011, whatever the "
                                     "run's year " +
                                     std::to_string(c.year) + "): line 59 " + region.sdn1_file +
                                     ", line 60 " + region.sdn2_file;
        EXPECT_NE(log.text().find(expected), std::string::npos) << log.text();
    }
}

TEST(RegionConfigPaths, MissingWarnedFileGoesOnMissingRequiredStops) {
    ScratchDir dir;
    std::string home = dir.file("home");
    HomeDir env(home);
    LogCapture log(dir);
    ConfigText config(dir.path().string());
    config.create_files(home, "/2020045/", "2011045");
    std::filesystem::remove(home + "/static/land12.bin");
    RegionConfigPaths paths;
    EXPECT_EQ(read_config(dir, config, 2020, 45, paths), 0);
    EXPECT_TRUE(log.contains(" " + home + "/static/land12.bin not exist.\n"));
    EXPECT_EQ(paths[59], home + "/ins/sdn_a_2011045.dat");

    std::filesystem::remove(home + "/static/land17.bin");
    EXPECT_EQ(read_config(dir, config, 2020, 45, paths), 3);
    EXPECT_TRUE(log.contains(home + "/static/land17.bin not exist."));
    EXPECT_EQ(paths[17], home + "/static/land17.bin");
    for (int line = 18; line <= 65; ++line)
        EXPECT_EQ(paths[static_cast<std::size_t>(line)], "") << line;
    // A file line left blank names the directory itself, which is not a file.
    touch(home + "/static/land17.bin");
    config.values[18] = "";
    EXPECT_EQ(read_config(dir, config, 2020, 45, paths), 3);
    EXPECT_TRUE(log.contains(home + "/static/ not exist."));
}

TEST(RegionConfigPaths, FileThatCannotBeOpened) {
    ScratchDir dir;
    LogCapture log(dir);
    RegionConfigPaths paths;
    int status = 0;
    ornax_read_region_config_paths(dir.file("absent.cfg"), 2020, 45, paths, status);
    EXPECT_EQ(status, 3);
    EXPECT_TRUE(log.contains("Error in opening the input config file"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("absent.cfg")));
}

TEST(RegionConfigPaths, ValueStartsInColumn31AndPathsStayWithin300) {
    ScratchDir dir;
    std::string home = dir.file("home");
    HomeDir env(home);
    LogCapture log(dir);
    ConfigText config(dir.path().string());
    config.create_files(home, "/2020045/", "2011045");
    // A value starting in column 30 loses its first character to the label.
    std::string list = config.values[63];
    config.values[63] = list.substr(1);  // placed one column early below
    std::string text = config.text();
    std::string label63 = "Line 63";
    label63.resize(30, ' ');
    std::size_t at = text.find(label63);
    text.replace(at, 30 + list.size() - 1, label63.substr(0, 29) + list);
    raster_test::write_text(dir.file("region.cfg"), text);
    RegionConfigPaths paths;
    int status = 0;
    ornax_read_region_config_paths(dir.file("region.cfg"), 2020, 45, paths, status);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(paths[63], list.substr(1));

    config.values[63] = list;
    config.values[25] = std::string(250, 'a');  // /veg + /2020045/ + 250 characters
    EXPECT_EQ(read_config(dir, config, 2020, 45, paths), 3);
    EXPECT_TRUE(log.contains(" line          25 gives a path longer than 300 characters"));
    EXPECT_EQ(paths[25], "") << "a path that does not fit is not stored";
}

TEST(RegionConfigFile, ReferenceConfigurationFillsTheRecord) {
    std::string data = std::string(ORNAX_REFERENCE_DIR) + "/region/data";
    HomeDir env(data);
    std::filesystem::path saved = std::filesystem::current_path();
    std::filesystem::current_path(data);  // plain paths of the configuration are relative
    Ornaxregiondatatype region;
    region.xlai.assign(5, 1.0f);
    region.trad2_file = "left over";
    int status = -1;
    ornax_read_region_config_file("config/region.cfg", region, 2019, 200, status);
    std::filesystem::current_path(saved);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(region.xlai.empty()) << "the record is reset first";
    EXPECT_EQ(region.landcover_table_file, "config/landcover.txt");
    EXPECT_EQ(region.reserved_file, data + "/config/reserved.dat");
    EXPECT_EQ(region.landcover_file, data + "/static/landcover.bin");
    EXPECT_EQ(region.rs_correction_file, data + "/static/rs_correct.bin");
    EXPECT_EQ(region.theta_file, data + "/static/theta.bin");
    EXPECT_EQ(region.xlai_file, data + "/veg/2019200/lai.bin");
    EXPECT_EQ(region.snow_mask_file, data + "/snow/2019200/snow_mask.bin");
    EXPECT_EQ(region.met_config_file, "config/met.cfg");
    EXPECT_EQ(region.tloc1_file, data + "/goes/2019200/tloc1.bin");
    EXPECT_EQ(region.spare_file_5, data + "/goes/2019200/spare_05.bin");
    EXPECT_EQ(region.tloc2_file, data + "/goes/2019200/tloc2.bin");
    EXPECT_EQ(region.spare_file_6, data + "/goes/2019200/spare_06.bin");
    EXPECT_EQ(region.spare_file_17, data + "/goes/2019200/spare_17.bin");
    EXPECT_EQ(region.satellite_domain_file, "config/domain_sat.txt");
    EXPECT_EQ(region.trad2_file, data + "/lst/2019200/trad2.bin");
    EXPECT_EQ(region.sdn1_file, data + "/insol/sdn1_2011200.dat");
    EXPECT_EQ(region.sdn2_file, data + "/insol/sdn2_2011200.dat");
    EXPECT_EQ(region.run_domain_file, "config/domain_run.txt");
    EXPECT_EQ(region.out_list_file, "config/outlist.txt");
    EXPECT_EQ(region.output_dir, data + "/output");
    EXPECT_EQ(region.spare_dir, data + "/spare");

    // A failing date still resets the record.
    ornax_read_region_config_file("config/region.cfg", region, 2019, 0, status);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(region.landcover_table_file, "");
}
