// Main program: usage text, option reading, and the executable end to end (log lines,
// exit statuses, no log when only the usage text is printed).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ornax90/command_line/options.hpp"
#include "ornax90/command_line/version.hpp"
#include "utils/fixed_text.hpp"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> file_lines(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return split_lines(text.str());
}

// Reads options as the program does; also returns what went to the error stream (the
// log writer's place while no log is open).
Ornaxcommandlinetype parse(const std::vector<std::string>& arguments, int& status,
                           std::string* logged = nullptr) {
    Ornaxcommandlinetype command_line;
    ::testing::internal::CaptureStderr();
    ornax_parse_arguments(arguments, command_line, status);
    std::string err = ::testing::internal::GetCapturedStderr();
    if (logged != nullptr) *logged = err;
    return command_line;
}

// The stamped messages of a log, time stamps removed.
std::vector<std::string> messages_of(const std::vector<std::string>& lines) {
    std::vector<std::string> messages;
    for (const std::string& line : lines)
        messages.push_back(line.size() > 25 ? line.substr(25) : line);
    return messages;
}

std::ptrdiff_t index_of(const std::vector<std::string>& lines, const std::string& line) {
    auto found = std::find(lines.begin(), lines.end(), line);
    return found == lines.end() ? -1 : found - lines.begin();
}

// Runs the executable in a fresh temporary directory.
class MainProgram : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ornax_main_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        directory_ = pattern;
    }
    void TearDown() override { fs::remove_all(directory_); }

    int run(const std::string& arguments) {
        std::string command = "cd '" + directory_.string() + "' && '" + ORNAX_EXE + "' " +
                              arguments + " > stdout.txt 2> stderr.txt";
        int raw = std::system(command.c_str());
        screen_ = file_lines(directory_ / "stdout.txt");
        errors_ = file_lines(directory_ / "stderr.txt");
        log_.clear();
        log_name_.clear();
        for (const auto& entry : fs::directory_iterator(directory_))
            if (entry.path().extension() == ".log") {
                log_ = file_lines(entry.path());
                log_name_ = entry.path().filename().string();
            }
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    int log_count() const {
        int count = 0;
        for (const auto& entry : fs::directory_iterator(directory_))
            if (entry.path().extension() == ".log") ++count;
        return count;
    }

    fs::path directory_;
    std::vector<std::string> screen_, errors_, log_;
    std::string log_name_;
};

}  // namespace

TEST(Usage, BoxVersionOptionsExitStatusAndExamples) {
    std::ostringstream screen;
    ornax_display_usage_msg("./ornax.x   ", screen);
    const std::string text = screen.str();
    std::vector<std::string> lines = split_lines(text);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(ornax_usage_line_count));
    for (int i = 0; i < 7; ++i) {
        ASSERT_EQ(lines[i].size(), 57u) << lines[i];
        EXPECT_EQ(lines[i][1], '*');
        EXPECT_EQ(lines[i].back(), '*');
    }
    EXPECT_EQ(lines[0], std::string(1, ' ').append(56, '*'));
    EXPECT_EQ(lines[6], lines[0]);
    EXPECT_EQ(lines[4], " * Compute the daily ET locally or in a region.         *");
    EXPECT_NE(lines[5].find(ornax_version_line()), std::string::npos) << lines[5];
    EXPECT_EQ(lines[7], " Usage: ./ornax.x [OPTION...]");
    // what the README promises is all there
    for (const char* piece :
         {"-s FILE", "-l FILE", "-r0 CONFIG YEAR DOY [LAST_DOY]", "-r1 CONFIG", "HOME_DIR", "-d N",
          "--version", "--help", "--force", "--dated", "Exit status: 0 success, 2 usage error",
          "3 failure", "matched whole"})
        EXPECT_NE(text.find(piece), std::string::npos) << piece;
    EXPECT_EQ(text.find("0.5, 03-10-2015"), std::string::npos);
    // the examples name the files they use, comments in column 40
    const std::ptrdiff_t examples = index_of(lines, " Examples:");
    ASSERT_GT(examples, 0);
    for (std::size_t i = static_cast<std::size_t>(examples) + 1; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].find('#'), 39u) << lines[i];
    EXPECT_EQ(lines[examples + 1].rfind("ornax.x -s cropland_site.dat", 0), 0u);
    EXPECT_NE(lines[examples + 1].find("#site run on cropland_site.dat"), std::string::npos);
    EXPECT_EQ(lines[examples + 5].rfind("ornax.x -r0 region.cfg 2019 200 ", 0), 0u);
    EXPECT_NE(lines[examples + 6].find("#files region.cfg names"), std::string::npos);
}

TEST(Options, DefaultsAndSiteOptions) {
    int status = -1;
    Ornaxcommandlinetype cl = parse({"-d", "0", "-d", "0"}, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(cl.site_input_file, "in.dat");
    EXPECT_EQ(cl.landcover_file, "landcover.txt");
    EXPECT_EQ(cl.file_list, "filelist.txt");
    EXPECT_EQ(cl.region_config_file, "region_file.in");
    EXPECT_EQ(cl.run_mode, ornax_run_mode_site);
    EXPECT_EQ(cl.input_flag, 1);
    EXPECT_EQ(cl.debug_level, 0);

    cl = parse({"-d", "2", "-s", "site.in", "-l", "lc00.txt"}, status);
    EXPECT_EQ(cl.debug_level, 2);
    EXPECT_EQ(cl.input_flag, 2);
    EXPECT_EQ(cl.site_input_file, "site.in");
    EXPECT_EQ(cl.landcover_file, "lc00.txt");
    EXPECT_EQ(cl.run_mode, ornax_run_mode_site);

    cl = parse({"-i", "other.dat", "-b", "list.txt"}, status);
    EXPECT_EQ(cl.site_input_file, "other.dat");
    EXPECT_EQ(cl.input_flag, 1);  // -i leaves the input flag alone
    EXPECT_EQ(cl.file_list, "list.txt");
    EXPECT_EQ(cl.run_mode, ornax_run_mode_list);
    // a file name of exactly 300 characters fits its field
    cl = parse({"-s", std::string(300, 'f')}, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(cl.site_input_file, std::string(300, 'f'));
}

// Options are matched whole: anything else is refused by name with the usage status,
// and nothing runs on a default input.
TEST(Options, UnknownOptionsAndStrayArgumentsAreRefusedByName) {
    struct Case {
        std::vector<std::string> arguments;
        const char* named;
    };
    const Case cases[] = {
        {{"-r2", "config/region.cfg", "2019", "200"}, "unknown option \"-r2\""},
        {{"-sx", "a.in"}, "unknown option \"-sx\""},
        {{"x-s", "a.in"}, "unexpected argument \"x-s\""},
        {{"--landcover", "lc.txt"}, "unknown option \"--landcover\""},
        {{"-r1-d", "cfg", "2015", "100"}, "unknown option \"-r1-d\""},
        {{"-x", "y"}, "unknown option \"-x\""},
        {{"-s", "a.in", "extra"}, "unexpected argument \"extra\""},
        {{"-r0", "cfg", "2019", "200", "1", "x"}, "unexpected argument \"x\""},
        {{"-r0", "cfg", "2019", "200", "-r1", "cfg", "2019", "200"},
         "a second region option \"-r1\""},
        {{"-l", "lc.txt", "-s"}, "option -s needs a file name"},
        {{"-s", "-l", "lc.txt"}, "option -s needs a file name"},
        {{"-d", "9x"}, "debug level \"9x\" after -d"},
        {{"-d", "-s", "a"}, "option -d needs a debug level N"},
        {{"--forced", "-r0", "cfg", "2019", "200"}, "unknown option \"--forced\""},
    };
    for (const Case& c : cases) {
        int status = -1;
        std::string logged;
        const Ornaxcommandlinetype cl = parse(c.arguments, status, &logged);
        EXPECT_EQ(status, ornax_status_usage) << c.named;
        EXPECT_NE(logged.find(c.named), std::string::npos) << c.named << ": " << logged;
    }
    std::string logged;
    int status = -1;
    parse({"-x", "y"}, status, &logged);
    EXPECT_NE(logged.find("  Unknown option!\n"), std::string::npos) << logged;  // as ever
}

TEST(Options, RegionOptionsReadYearAndDayThenFurtherOptions) {
    int status = -1;
    Ornaxcommandlinetype cl = parse({"-r1", "cfg.in", "2015", "100", "-d", "1"}, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(cl.region_config_file, "cfg.in");
    EXPECT_EQ(cl.run_mode, ornax_run_mode_region);
    EXPECT_EQ(cl.region_switch, 1);
    EXPECT_EQ(cl.year, 2015);
    EXPECT_EQ(cl.doy, 100);
    EXPECT_EQ(cl.debug_level, 1);  // options may follow the region option's values

    cl = parse({"-r0", "na8km.cfg", "2015", "45"}, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(cl.region_switch, 0);
    EXPECT_EQ(cl.year, 2015);
    EXPECT_EQ(cl.doy, 45);
}

TEST(Options, RegionOptionWithoutYearAndDayFails) {
    int status = 0;
    std::string logged;
    Ornaxcommandlinetype cl = parse({"-r0", "cfg.in", "2015"}, status, &logged);
    EXPECT_EQ(status, ornax_status_usage);
    EXPECT_NE(logged.find("  issing input year and day in the regional mode!"), std::string::npos);
    EXPECT_NE(logged.find("-r0 cfg.in: the year and the day of year are missing"),
              std::string::npos)
        << logged;
    EXPECT_EQ(cl.run_mode, ornax_run_mode_region);
    // Five arguments in all, but the day after "-r0 cfg 2015" is still missing.
    status = 0;
    parse({"-d", "1", "-r0", "cfg", "2015"}, status, &logged);
    EXPECT_EQ(status, ornax_status_usage);
    EXPECT_NE(logged.find("issing input year and day"), std::string::npos);
    // an option where the day should be is not taken for it
    status = 0;
    parse({"-r0", "cfg", "2015", "-d", "1"}, status, &logged);
    EXPECT_EQ(status, ornax_status_usage);
    EXPECT_NE(logged.find("the year and the day of year are missing"), std::string::npos);
    // A year or day that is not a number is reported, not read as zero.
    status = 0;
    parse({"-r1", "cfg", "20x5", "100"}, status, &logged);
    EXPECT_EQ(status, ornax_status_usage);
    EXPECT_NE(logged.find("Invalid input year and day"), std::string::npos) << logged;
    status = 0;
    parse({"-r1", "cfg", "2015", "1.5"}, status);
    EXPECT_EQ(status, ornax_status_usage);
}

// Year and day are whole numbers within the year's days, file names fit their field;
// anything else is refused with a message naming the argument, never cut or rounded.
TEST(Options, RegionDatesAndLongPathsAreCheckedWhole) {
    struct Case {
        std::vector<std::string> arguments;
        int year, doy;  // read values, or 0 when refused
        const char* named;
    };
    const std::string long_path(301, 'p');
    const Case cases[] = {
        {{"-r0", "cfg", "2020", "366"}, 2020, 366, ""},  // leap year
        {{"-r0", "cfg", "1", "045"}, 1, 45, ""},
        {{"-r0", "cfg", "9999", "1"}, 9999, 1, ""},
        {{"-r0", "cfg", "2019", "2001"}, 0, 0, "day \"2001\""},
        {{"-r0", "cfg", "2019", "20.5"}, 0, 0, "day \"20.5\""},
        {{"-r0", "cfg", "2019", "2 00"}, 0, 0, "day \"2 00\""},
        {{"-r0", "cfg", "1900", "366"}, 0, 0, "1 to 365"},  // not a leap year
        {{"-r0", "cfg", "2019", "0"}, 0, 0, "day \"0\""},
        {{"-r0", "cfg", "20150", "45"}, 0, 0, "year \"20150\""},
        {{"-r0", "cfg", "-2019", "45"}, 0, 0, "year \"-2019\""},
        {{"-r0", long_path, "2019", "200"}, 0, 0, "longer than 300"},
        {{"-l", long_path, "-s", "a"}, 0, 0, "after -l is longer than 300"},
    };
    for (const Case& c : cases) {
        int status = -1;
        std::string logged;
        const Ornaxcommandlinetype cl = parse(c.arguments, status, &logged);
        const std::string label = c.arguments[2] + " " + c.arguments.back();
        if (c.year != 0) {
            EXPECT_EQ(status, 0) << label << logged;
            EXPECT_EQ(cl.year, c.year) << label;
            EXPECT_EQ(cl.doy, c.doy) << label;
            continue;
        }
        EXPECT_EQ(status, ornax_status_usage) << label;
        EXPECT_NE(logged.find(c.named), std::string::npos) << label << ": " << logged;
    }
}

TEST_F(MainProgram, RefusedDayExitsTwoAndLostReportThreeWithTheCauseOnStderr) {
    EXPECT_EQ(run("-r0 cfg.in 2019 2001"), 2);
    ASSERT_GE(errors_.size(), 1u);
    EXPECT_EQ(errors_[0],
              "ornax.x: Invalid input year and day in the regional mode: day \"2001\" is not a "
              "whole number from 1 to 365 (a day of year 2019) (ornax.x --help shows the usage)");
    // A site report that cannot reach the screen (a full device) fails the run.
    const std::string command = "cd '" + directory_.string() + "' && '" + ORNAX_EXE + "' -s '" +
                                ORNAX_REFERENCE_DIR + "/site/savanna.dat' -l '" +
                                ORNAX_REFERENCE_DIR + "/site/landcover.txt' > /dev/full 2> err.txt";
    const int raw = std::system(command.c_str());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 3);
    const std::vector<std::string> errors = file_lines(directory_ / "err.txt");
    ASSERT_FALSE(errors.empty());
    EXPECT_NE(errors[0].find("No space left on device"), std::string::npos) << errors[0];
}

TEST_F(MainProgram, TooFewArgumentsPrintUsageAndCreateNoLog) {
    EXPECT_EQ(run("-s"), 2);
    EXPECT_EQ(screen_.size(), static_cast<std::size_t>(ornax_usage_line_count));
    EXPECT_EQ(screen_[7].rfind(" Usage: ", 0), 0u);
    EXPECT_EQ(log_count(), 0);
    EXPECT_EQ(run(""), 2);
    EXPECT_EQ(screen_.size(), static_cast<std::size_t>(ornax_usage_line_count));
    EXPECT_EQ(log_count(), 0);
}

TEST_F(MainProgram, UnknownOptionIsRefusedByNameBeforeAnyRun) {
    EXPECT_EQ(run("-r2 config/region.cfg 2019 200"), 2);
    ASSERT_FALSE(screen_.empty());
    EXPECT_EQ(screen_[0], " Running msg in " + log_name_);
    ASSERT_GE(log_.size(), 4u);
    const std::vector<std::string> messages = messages_of(log_);
    // The run record first: the command line as given, then version and source commit.
    EXPECT_EQ(log_[0],
              " Command line: " + std::string(ORNAX_EXE) + " -r2 config/region.cfg 2019 200");
    EXPECT_EQ(log_[1].rfind(" ornax ", 0), 0u) << log_[1];
    EXPECT_NE(log_[1].find("(commit "), std::string::npos) << log_[1];
    EXPECT_EQ(index_of(messages, " Unknown option!"), 2);
    EXPECT_EQ(messages[3], "unknown option \"-r2\" (ornax.x --help shows the usage)");
    // no site run on a default in.dat
    for (const std::string& line : log_) EXPECT_EQ(line.find("in.dat"), std::string::npos) << line;
    ASSERT_FALSE(errors_.empty());
    EXPECT_EQ(errors_[0], "ornax.x: unknown option \"-r2\" (ornax.x --help shows the usage)");
}

TEST_F(MainProgram, RegionOptionWithoutDayEndsWithoutExitMessage) {
    EXPECT_EQ(run("-r0 cfg.in 2015"), 2);
    ASSERT_EQ(log_.size(), 4u);  // the run record, then the messages
    EXPECT_EQ(messages_of(log_)[2], " issing input year and day in the regional mode!");
    EXPECT_EQ(messages_of(log_)[3], "-r0 cfg.in: the year and the day of year are missing (-r0 "
                                    "CONFIG YEAR DOY [LAST_DOY]) (ornax.x --help shows the usage)");
    ASSERT_GE(errors_.size(), 2u);
    EXPECT_EQ(errors_[0], "ornax.x: issing input year and day in the regional mode!");
    EXPECT_NE(errors_[1].find("-r0 cfg.in: the year and the day of year are missing"),
              std::string::npos);
}

TEST_F(MainProgram, RegionRunFailureAndListModeAreLoggedAndExitThree) {
    EXPECT_EQ(run("-r1 cfg.in 2015 100 -d 1"), 3);  // no such configuration file
    std::vector<std::string> messages = messages_of(log_);
    EXPECT_EQ(index_of(messages, " Run in region mode: cfg.in"), 2);
    EXPECT_EQ(index_of(messages, " Soil-resistance correction on (-r1)"), 3);
    EXPECT_GT(index_of(messages, " Error in calculate data incfg.in"), 0);
    EXPECT_EQ(log_.back(), " Close the log file");

    fs::remove_all(directory_);
    fs::create_directory(directory_);
    EXPECT_EQ(run("-b list.txt"), 3);
    messages = messages_of(log_);
    ASSERT_EQ(messages.size(), 5u);
    EXPECT_EQ(messages[2], " Unimplemented mode:            1");
    EXPECT_EQ(messages[3], "ORNAX main program exit");
}

TEST_F(MainProgram, SiteRunOnAMissingFileNamesItAndTheReason) {
    const std::string table = std::string(ORNAX_REFERENCE_DIR) + "/site/landcover.txt";
    const std::string site = std::string(ORNAX_REFERENCE_DIR) + "/site/savanna.dat";
    struct Case {
        std::string args, named;
    };
    const Case cases[] = {
        {"-s missing.dat -l '" + table + "'",
         "cannot open the site input file \"missing.dat\" (-s FILE): No such file or directory"},
        {"-s '" + site + "'",  // the default table landcover.txt is not in the folder
         "cannot open the land-cover class table \"landcover.txt\" (-l FILE, default "
         "landcover.txt): No such file or directory"},
        {"-s '" + site + "' -l nothere/lc.txt", "\"nothere/lc.txt\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(run(c.args), 3) << c.args;
        ASSERT_FALSE(errors_.empty()) << c.args;
        EXPECT_EQ(errors_[0].rfind("ornax.x: ", 0), 0u) << c.args;
        EXPECT_NE(errors_[0].find(c.named), std::string::npos) << c.args << ": " << errors_[0];
        bool logged = false;
        for (const std::string& line : log_)
            logged = logged || line.find(c.named) != std::string::npos;
        EXPECT_TRUE(logged) << c.args;
        fs::remove_all(directory_);
        fs::create_directory(directory_);
    }
}

TEST_F(MainProgram, LogThatCannotBeOpenedIsReportedOnStderr) {
    // Directories in the log's place, for this minute and the next.
    for (std::time_t when : {std::time(nullptr), std::time(nullptr) + 60}) {
        std::tm tm{};
        localtime_r(&when, &tm);
        char name[64];
        std::strftime(name, sizeof name, "ORNAX-%Y%m%d-T%Hh%Mm.log", &tm);
        fs::create_directory(directory_ / name);
    }
    EXPECT_EQ(run("-s site.in"), 3);
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_NE(errors_[0].find(" Log file open error!"), std::string::npos);
    EXPECT_TRUE(screen_.empty());
}
