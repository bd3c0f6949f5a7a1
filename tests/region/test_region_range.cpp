// Region runs over ranges of days: the days of a range (across year ends), the options
// of a range, and runs of a generated region of several days into dated folders with
// skipped, forced and failed days.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ornax90/command_line/options.hpp"
#include "ornax90/ORNAX_run_mod.hpp"
#include "support/folder_state.hpp"
#include "support/region_run.hpp"

namespace {

using namespace region_run_test;

std::string days_text(const std::vector<Ornaxregiondaytype>& days) {
    std::string text;
    for (const Ornaxregiondaytype& d : days) text += ornax_day_folder(d.year, d.doy) + " ";
    return text;
}

TEST(RegionRangeDays, RangesWithinAndAcrossYearEnds) {
    struct Case {
        const char* name;
        int year, doy, last_doy;
        std::string days;
    };
    const Case cases[] = {
        {"one day", 2019, 200, 0, "2019200 "},
        {"same first and last", 2019, 200, 200, "2019200 "},
        {"within the year", 2019, 200, 202, "2019200 2019201 2019202 "},
        {"common year end", 2019, 364, 2, "2019364 2019365 2020001 2020002 "},
        {"leap year end", 2020, 365, 1, "2020365 2020366 2021001 "},
        {"day 366 of a common year", 2019, 366, 0, ""},
        {"last day 366 of a common next year", 2020, 367, 1, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(days_text(ornax_region_range_days(c.year, c.doy, c.last_doy)), c.days) << c.name;
    EXPECT_EQ(ornax_region_range_days(2019, 360, 10).size(), 16u);  // 6 + 10
}

TEST(RegionRangeOptions, LastDayForceAndDated) {
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        int status, last_doy;
        bool force, dated;
    };
    const Case cases[] = {
        {"one day", {"-r0", "c.cfg", "2019", "200"}, 0, 0, false, false},
        {"range", {"-r0", "c.cfg", "2019", "200", "210"}, 0, 210, false, false},
        {"across the year end", {"--force", "-r1", "c.cfg", "2019", "360", "5"}, 0, 5, true, false},
        {"dated single day", {"-r0", "c.cfg", "2019", "200", "--dated"}, 0, 0, false, true},
        {"last day not a number", {"-r0", "c.cfg", "2019", "200", "2x"}, 2, 0, false, false},
        {"an option after the day", {"-r0", "c.cfg", "2019", "200", "-d", "1"}, 0, 0, false, false},
        {"an option after the last day",
         {"-r0", "c.cfg", "2019", "200", "201", "--force"},
         0,
         201,
         true,
         false},
        {"an option without its value after the day",
         {"-r0", "c.cfg", "2019", "200", "-d"},
         2,
         0,
         false,
         false},
        {"day 366 of a leap year", {"-r0", "c.cfg", "2020", "300", "366"}, 0, 366, false, false},
        {"366 after a leap year", {"-r0", "c.cfg", "2019", "367"}, 2, 0, false, false},
        {"day 366 of a common year", {"-r0", "c.cfg", "2019", "200", "366"}, 2, 0, false, false},
        {"last day 0", {"-r0", "c.cfg", "2019", "200", "0"}, 2, 0, false, false},
    };
    for (const Case& c : cases) {
        Ornaxcommandlinetype cl;
        int status = -1;
        ornax_parse_arguments(c.arguments, cl, status);
        EXPECT_EQ(status, c.status) << c.name;
        if (status != 0) continue;
        EXPECT_EQ(cl.last_doy, c.last_doy) << c.name;
        EXPECT_EQ(cl.force, c.force) << c.name;
        EXPECT_EQ(cl.dated, c.dated) << c.name;
        EXPECT_EQ(cl.run_mode, ornax_run_mode_region) << c.name;
    }
}

// Three days of a generated region across the year end, run as one range.
class RegionRange : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::make_unique<ScratchDir>("range");
        const std::string cmd = std::string("'") + ORNAX_TOOLS_DIR + "/ornax_make_region' -o '" +
                                dir_->path().string() +
                                "' -c 20 -r 12 -s 5 -y 2019 -d 364 -n 3 > /dev/null";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    fs::path day(const std::string& folder) const { return dir_->path() / "output" / folder; }
    nlohmann::json run_info(const std::string& folder) const {
        return nlohmann::json::parse(read_text(day(folder) / "run_info.json"));
    }
    std::string screen() const { return read_text(dir_->path() / "run.out"); }
    std::unique_ptr<ScratchDir> dir_;
};

TEST_F(RegionRange, EveryDayInItsDatedFolderThenSkippedUnlessForced) {
    ASSERT_EQ(run_ornax(dir_->path(), "-r0 config/region.cfg 2019 364 1"), 0)
        << read_text(dir_->path() / "run.err");
    const std::vector<std::pair<std::string, std::pair<int, int>>> days = {
        {"2019364", {2019, 364}}, {"2019365", {2019, 365}}, {"2020001", {2020, 1}}};
    for (const auto& [folder, date] : days) {
        const nlohmann::json info = run_info(folder);
        EXPECT_EQ(info["exit_status"], 0) << folder;
        EXPECT_EQ(info["year"], date.first) << folder;
        EXPECT_EQ(info["day_of_year"], date.second) << folder;
        EXPECT_EQ(fs::file_size(day(folder) / "EDAY.bin"), 4u * 20 * 12) << folder;
    }
    EXPECT_FALSE(fs::exists(dir_->path() / "output" / "EDAY.bin"));  // nothing outside the days
    EXPECT_NE(screen().find(" computed 3: 2019364 2019365 2020001"), std::string::npos) << screen();
    EXPECT_NE(read_text(dir_->path() / "run.err").find("Day 3 of 3 (2020001)"), std::string::npos);
    // the days' clouds differ: the maps are not one day's copied
    EXPECT_NE(read_floats(day("2019364") / "EDAY.bin"), read_floats(day("2019365") / "EDAY.bin"));

    const auto written = fs::last_write_time(day("2019365") / "run_info.json");
    ASSERT_EQ(run_ornax(dir_->path(), "-r0 config/region.cfg 2019 364 1"), 0);
    EXPECT_NE(screen().find(" skipped (published complete) 3: 2019364 2019365 2020001"),
              std::string::npos)
        << screen();
    EXPECT_EQ(fs::last_write_time(day("2019365") / "run_info.json"), written);

    ASSERT_EQ(run_ornax(dir_->path(), "--force -r0 config/region.cfg 2019 365 365"), 0);
    EXPECT_NE(screen().find(" computed 1: 2019365"), std::string::npos) << screen();
    EXPECT_NE(fs::last_write_time(day("2019365") / "run_info.json"), written);
}

TEST_F(RegionRange, FailedDayIsReportedTheRangeGoesOnAndOtherDaysStay) {
    // the forecast of the day after the last day is missing: the last day fails, the others run
    const fs::path forecast = dir_->path() / "met" / "2020002";
    const fs::path kept = dir_->path() / "kept_forecast";
    fs::rename(forecast, kept);
    EXPECT_EQ(run_ornax(dir_->path(), "-r0 config/region.cfg 2019 364 1"), 3);
    EXPECT_NE(screen().find(" computed 2: 2019364 2019365"), std::string::npos) << screen();
    EXPECT_NE(screen().find(" failed 1: 2020001"), std::string::npos) << screen();
    EXPECT_NE(read_text(dir_->path() / "run.err").find("Day 2020001 failed"), std::string::npos)
        << read_text(dir_->path() / "run.err");
    if (fs::exists(day("2020001") / "run_info.json")) {
        EXPECT_NE(run_info("2020001")["exit_status"], 0);
    }
    const std::vector<float> first = read_floats(day("2019364") / "EDAY.bin");
    const std::vector<float> second = read_floats(day("2019365") / "EDAY.bin");
    // again without --force: the complete days are skipped, the failed day is tried again
    EXPECT_EQ(run_ornax(dir_->path(), "-r0 config/region.cfg 2019 364 1"), 3);
    EXPECT_NE(screen().find(" skipped (published complete) 2: 2019364 2019365"), std::string::npos)
        << screen();
    EXPECT_NE(screen().find(" failed 1: 2020001"), std::string::npos) << screen();
    // with its forecast back the day is computed
    fs::rename(kept, forecast);
    EXPECT_EQ(run_ornax(dir_->path(), "-r0 config/region.cfg 2019 364 1"), 0);
    EXPECT_NE(screen().find(" computed 1: 2020001"), std::string::npos) << screen();
    const std::vector<float> third = read_floats(day("2020001") / "EDAY.bin");
    // a forced range whose last day fails leaves every day's published outputs whole
    fs::remove_all(forecast);
    EXPECT_EQ(run_ornax(dir_->path(), "--force -r0 config/region.cfg 2019 364 1"), 3);
    EXPECT_NE(screen().find(" failed 1: 2020001"), std::string::npos) << screen();
    EXPECT_EQ(read_floats(day("2019364") / "EDAY.bin"), first);
    EXPECT_EQ(read_floats(day("2019365") / "EDAY.bin"), second);
    EXPECT_EQ(read_floats(day("2020001") / "EDAY.bin"), third);
}

TEST_F(RegionRange, SingleDayKeepsItsPlaceOrGoesDatedOnRequest) {
    ASSERT_EQ(run_ornax(dir_->path(), "-r0 config/region.cfg 2019 364"), 0);
    EXPECT_TRUE(fs::exists(dir_->path() / "output" / "EDAY.bin"));
    EXPECT_FALSE(fs::exists(day("2019364")));
    ASSERT_EQ(run_ornax(dir_->path(), "-r0 config/region.cfg 2019 364 --dated"), 0);
    EXPECT_EQ(run_info("2019364")["exit_status"], 0);
    EXPECT_EQ(read_floats(day("2019364") / "EDAY.bin"),
              read_floats(dir_->path() / "output" / "EDAY.bin"));
}

}  // namespace

namespace {

// Guards against a day skipped as complete while a raster its record lists is missing or
// cut: the day is computed again and its rasters are whole afterwards.
struct DamagedDay {
    const char* name;
    const char* file;
    bool remove;  // true: the file is deleted; false: cut to half its size
};

void PrintTo(const DamagedDay& d, std::ostream* os) {
    *os << d.name;
}

class RegionRangeDamaged : public RegionRange, public ::testing::WithParamInterface<DamagedDay> {};

TEST_P(RegionRangeDamaged, DayIsComputedAgain) {
    const DamagedDay& d = GetParam();
    ASSERT_EQ(run_ornax(dir_->path(), "-r0 config/region.cfg 2019 364 365"), 0)
        << read_text(dir_->path() / "run.err");
    const fs::path file = day("2019365") / d.file;
    if (d.remove)
        fs::remove(file);
    else
        fs::resize_file(file, fs::file_size(file) / 2);
    ASSERT_EQ(run_ornax(dir_->path(), "-r0 config/region.cfg 2019 364 365"), 0);
    EXPECT_NE(screen().find(" skipped (published complete) 1: 2019364"), std::string::npos)
        << screen();
    EXPECT_NE(screen().find(" computed 1: 2019365"), std::string::npos) << screen();
    EXPECT_EQ(fs::file_size(file), 4u * 20 * 12);
}

INSTANTIATE_TEST_SUITE_P(Rasters, RegionRangeDamaged,
                         ::testing::Values(DamagedDay{"EdayDeleted", "EDAY.bin", true},
                                           DamagedDay{"EdayCut", "EDAY.bin", false},
                                           DamagedDay{"QualityDeleted", "region_qc.bin", true}),
                         [](const ::testing::TestParamInfo<DamagedDay>& info) {
                             return info.param.name;
                         });

}  // namespace

namespace {

// Guards against a failed day reported only by its count of failed lines: the cause names
// the missing forecast folder or raster, on the standard error stream and in the log.
struct MissingForecast {
    const char* name;
    const char* removed;  // under met/
    const char* cause;
};

void PrintTo(const MissingForecast& m, std::ostream* os) {
    *os << m.name;
}

class RegionRangeCause : public RegionRange,
                         public ::testing::WithParamInterface<MissingForecast> {};

TEST_P(RegionRangeCause, FailedDayNamesWhatIsMissing) {
    const MissingForecast& m = GetParam();
    fs::remove_all(dir_->path() / "met" / m.removed);
    EXPECT_EQ(run_ornax(dir_->path(), "-r0 config/region.cfg 2019 365 1"), 3);
    const std::string want = std::string("Day 2020001 failed: ") + m.cause;
    const std::string err = read_text(dir_->path() / "run.err");
    EXPECT_NE(err.find(want), std::string::npos) << err;
    EXPECT_NE(err.find(m.removed), std::string::npos) << err;
    std::string log;
    for (const auto& e : fs::directory_iterator(dir_->path()))
        if (e.path().extension() == ".log") log += read_text(e.path());
    EXPECT_NE(log.find(want), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Forecast, RegionRangeCause,
    ::testing::Values(MissingForecast{"DayFolder", "2020002", "Forecast-model folder"},
                      MissingForecast{"OneRaster", "2020002/t2_series.bin",
                                      "Forecast-model raster"}),
    [](const ::testing::TestParamInfo<MissingForecast>& info) { return info.param.name; });

}  // namespace

namespace {

// A forced republish of a complete day, killed at rename k of its publication: the run
// after it leaves the day's outputs of the earlier run (-r0) or of the new one (-r1) whole,
// its record saying which, and nothing beside them. k runs over every rename of the
// publication until the republish completes.
struct KilledRepublish {
    const char* name;
    const char* rerun;  // the run after the kill
};

void PrintTo(const KilledRepublish& k, std::ostream* os) {
    *os << k.name;
}

class RegionRangeKilled : public RegionRange,
                          public ::testing::WithParamInterface<KilledRepublish> {
protected:
    // the day's files but its record, which holds the time it was written
    std::vector<std::pair<std::string, std::string>> day_files() const {
        return folder_state::contents(day("2019365"), {"run_info.json"});
    }
};

TEST_P(RegionRangeKilled, EveryRenameLeavesTheOldOrTheNewDayWhole) {
    const std::string earlier = "--force -r0 config/region.cfg 2019 365 365";
    const std::string republish = "--force -r1 config/region.cfg 2019 365 365";
    ASSERT_EQ(run_ornax(dir_->path(), republish), 0) << read_text(dir_->path() / "run.err");
    const auto new_day = day_files();
    ASSERT_EQ(run_ornax(dir_->path(), earlier), 0);
    const auto old_day = day_files();
    ASSERT_NE(old_day, new_day) << "the soil resistance correction changed nothing";
    bool completed = false;
    int k = 1;
    for (; k < 200 && !completed; ++k) {
        const int code =
            run_ornax(dir_->path(), republish, "ORNAX_TEST_FAIL_AT_RENAME=" + std::to_string(k));
        completed = code == 0;
        if (!completed) {
            EXPECT_TRUE(code == -1 || code == 137) << "rename " << k << ": " << code;
        }
        ASSERT_EQ(run_ornax(dir_->path(), GetParam().rerun), 0)
            << "rename " << k << ": " << read_text(dir_->path() / "run.err");
        const auto now = day_files();
        const int corrected = run_info("2019365")["region_model_switch"].get<int>();
        EXPECT_TRUE((now == old_day && corrected == 0) || (now == new_day && corrected == 1))
            << "rename " << k << ": a mixed day (record of -r" << corrected << ")";
        EXPECT_EQ(folder_state::left_over(dir_->path()), std::vector<std::string>{})
            << "rename " << k;
        if (!completed) {
            ASSERT_EQ(run_ornax(dir_->path(), earlier), 0);  // back to the old day
        }
    }
    EXPECT_TRUE(completed);
    // the journal, then each of the day's files and its record aside and in place
    EXPECT_GT(k, 2 * static_cast<int>(new_day.size() / 3)) << "fewer renames than files";
}

INSTANTIATE_TEST_SUITE_P(
    Reruns, RegionRangeKilled,
    ::testing::Values(KilledRepublish{"Unforced", "-r0 config/region.cfg 2019 365 365"},
                      KilledRepublish{"Forced", "--force -r1 config/region.cfg 2019 365 365"}),
    [](const ::testing::TestParamInfo<KilledRepublish>& info) { return info.param.name; });

}  // namespace
