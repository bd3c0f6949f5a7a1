// Run log and the two file unit pools: log name and line layout, appending, lowest free
// unit first, double release, exhaustion, and the screen / error-stream messages.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "ornax90/ORNAX_log_mod.hpp"
#include "core/VESK_log_mod.hpp"
#include "utils/fixed_text.hpp"

namespace fs = std::filesystem;

namespace {

// Runs a test in a fresh temporary working directory, restored afterwards.
class LogDirectory : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = fs::current_path();
        std::string pattern = (fs::temp_directory_path() / "ornax_log_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        directory_ = pattern;
        fs::current_path(directory_);
    }
    void TearDown() override {
        ornax_log_close();
        fs::current_path(previous_);
        fs::remove_all(directory_);
    }
    static std::vector<std::string> lines_of(const std::string& path) {
        std::ifstream in(path);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    fs::path previous_;
    fs::path directory_;
};

// Log name of a given wall-clock time, as the opener builds it.
std::string log_name_at(std::time_t when) {
    std::tm tm{};
    localtime_r(&when, &tm);
    char name[64];
    std::strftime(name, sizeof name, "ORNAX-%Y%m%d-T%Hh%Mm.log", &tm);
    return name;
}

const std::regex stamped_line(R"( \d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3} (.*))");

std::string release_error_line(int unit) {
    return " file unit release error:  " + std::string(11 - std::to_string(unit).size(), ' ') +
           std::to_string(unit) + " is not flaggged as in use";
}

}  // namespace

TEST_F(LogDirectory, LogLinesHaveStampThenTextWithoutTrailingBlanks) {
    std::string name;
    int status = -1;
    ornax_log_open(name, status);
    ASSERT_EQ(status, 0);
    EXPECT_TRUE(std::regex_match(name, std::regex(R"(ORNAX-\d{8}-T\d\dh\d\dm\.log)"))) << name;
    EXPECT_TRUE(fs::exists(name));

    ornax_log_msg("ORNAX main program exit");
    ornax_log_msg(" composed message   ");
    ornax_log_msg(std::string(200, 'x') + std::string(100, ' '));  // 300 with 100 blanks
    ornax_log_msg(std::string(300, ' '));
    ornax_log_msg(std::string(299, 'a') + "bcdef");  // cut at 300
    ornax_log_close();

    std::vector<std::string> lines = lines_of(name);
    ASSERT_EQ(lines.size(), 6u);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(lines[0], match, stamped_line)) << lines[0];
    EXPECT_EQ(match[1].str(), "ORNAX main program exit");
    EXPECT_EQ(lines[0].substr(25), "ORNAX main program exit");  // text from column 26
    EXPECT_EQ(lines[0][24], ' ');
    EXPECT_EQ(lines[1].substr(24), "  composed message");
    EXPECT_EQ(lines[2].substr(25), std::string(200, 'x'));
    EXPECT_EQ(lines[3].size(), 25u);  // blank, stamp, blank
    EXPECT_TRUE(std::regex_match(lines[3] + "x", stamped_line));
    EXPECT_EQ(lines[4].substr(25), std::string(299, 'a') + "b");
    EXPECT_EQ(lines[5], " Close the log file");  // no time stamp
}

TEST_F(LogDirectory, SecondRunInTheSameMinuteKeepsTheFirstRunsLines) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::string first, second;
        int status = -1;
        ornax_log_open(first, status);
        ASSERT_EQ(status, 0);
        ornax_log_msg("first run");
        ornax_log_close();
        ornax_log_open(second, status);
        ASSERT_EQ(status, 0);
        ornax_log_msg("second run");
        ornax_log_close();
        if (first != second) continue;  // a minute boundary fell between the runs
        std::vector<std::string> lines = lines_of(first);
        ASSERT_EQ(lines.size(), 4u);
        EXPECT_EQ(lines[0].substr(25), "first run");
        EXPECT_EQ(lines[1], " Close the log file");
        EXPECT_EQ(lines[2].substr(25), "second run");
        return;
    }
    FAIL() << "the log name changed on every attempt";
}

TEST_F(LogDirectory, LogThatCannotBeOpenedGivesStatusThreeAndMessagesGoToStderr) {
    // A directory in the log's place makes the open fail, whichever minute it is.
    std::time_t now = std::time(nullptr);
    fs::create_directory(log_name_at(now));
    fs::create_directory(log_name_at(now + 60));
    std::string name;
    int status = 0;
    ornax_log_open(name, status);
    EXPECT_EQ(status, 3);
    int failed_unit = ornax_logunit;
    EXPECT_GE(failed_unit, ornax_unit_first);
    EXPECT_EQ(ornax_unit_stream(failed_unit), nullptr);

    ::testing::internal::CaptureStderr();
    ornax_log_msg(" Log file open error!   ");
    ornax_log_plain(" plain line");
    std::string err = ::testing::internal::GetCapturedStderr();
    std::smatch match;
    std::string first_line = err.substr(0, err.find('\n'));
    ASSERT_TRUE(std::regex_match(first_line, match, stamped_line)) << err;
    EXPECT_EQ(match[1].str(), " Log file open error!");
    EXPECT_NE(err.find("\n plain line\n"), std::string::npos);

    // Closing a log that never opened writes nothing and keeps the unit as it was.
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    ornax_log_close();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    ornax_release_unit_number(failed_unit);
    ornax_logunit = 0;
}

TEST_F(LogDirectory, OrnaxPoolHandsOutLowestFreeUnitAndReportsExhaustionInTheLog) {
    std::string name;
    int status = -1;
    ornax_log_open(name, status);
    ASSERT_EQ(status, 0);
    std::vector<int> taken;
    for (int unit = ornax_get_next_unit_number(); unit != -1; unit = ornax_get_next_unit_number())
        taken.push_back(unit);
    ASSERT_FALSE(taken.empty());
    for (int unit : taken) {
        EXPECT_GE(unit, ornax_unit_first);
        EXPECT_LE(unit, ornax_unit_last);
    }
    // Every unit of the range is now in use: the log's, any held elsewhere and ours.
    EXPECT_EQ(taken.back(), ornax_unit_last);
    // Units 13 to 299 all held: giving back 20 makes it the next one handed out.
    const int middle = 20;
    ASSERT_NE(std::find(taken.begin(), taken.end(), middle), taken.end());
    ornax_release_unit_number(middle);
    ornax_release_unit_number(taken.back());
    EXPECT_EQ(ornax_get_next_unit_number(), middle);
    EXPECT_EQ(ornax_get_next_unit_number(), taken.back());
    for (int unit : taken) ornax_release_unit_number(unit);
    ornax_log_close();

    std::vector<std::string> lines = lines_of(name);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], " ORNAX_file Units Mod: Ran out of Unit numbers");
    EXPECT_EQ(lines[1], " Close the log file");
}

TEST(UnitPool, DoubleReleasePrintsTheErrorLineAndLeavesTheUnitFree) {
    int unit = ornax_get_next_unit_number();
    ASSERT_GE(unit, ornax_unit_first);
    ::testing::internal::CaptureStdout();
    ornax_release_unit_number(unit);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    ::testing::internal::CaptureStdout();
    ornax_release_unit_number(unit);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), release_error_line(unit) + "\n");
    EXPECT_EQ(ornax_get_next_unit_number(), unit);
    ornax_release_unit_number(unit);
}

TEST(UnitPool, ReleaseClosesTheUnitsStream) {
    int unit = ornax_get_next_unit_number();
    fs::path path = fs::temp_directory_path() / ("ornax_unit_" + std::to_string(getpid()));
    std::FILE* stream = ornax_unit_open(unit, path.string(), "w");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(ornax_unit_stream(unit), stream);
    std::fputs("written before release\n", stream);
    ornax_release_unit_number(unit);
    EXPECT_EQ(ornax_unit_stream(unit), nullptr);
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "written before release");  // flushed by the close
    EXPECT_EQ(ornax_unit_open(unit, (path / "no" / "such").string(), "r"), nullptr);
    // The -1 of an exhausted pool never opens a file.
    EXPECT_EQ(ornax_unit_open(-1, path.string(), "w"), nullptr);
    EXPECT_EQ(ornax_unit_stream(-1), nullptr);
    fs::remove(path);
}

TEST(UnitPool, VeskPoolHasItsOwnRangeAndWritesToStderr) {
    std::vector<int> taken;
    ::testing::internal::CaptureStderr();
    for (int unit = vesk_get_next_unit_number(); unit != -1; unit = vesk_get_next_unit_number())
        taken.push_back(unit);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, " VESK_file Units Mod: Ran out of Unit numbers\n");
    ASSERT_EQ(taken.size(), static_cast<std::size_t>(vesk_unit_last - vesk_unit_first + 1));
    EXPECT_EQ(taken.front(), 313);
    EXPECT_EQ(taken.back(), 499);
    // The ornax pool never hands out a vesk unit.
    int ornax_unit = ornax_get_next_unit_number();
    EXPECT_LE(ornax_unit, 299);
    ornax_release_unit_number(ornax_unit);

    vesk_release_unit_number(320);
    EXPECT_EQ(vesk_get_next_unit_number(), 320);
    for (int unit : taken) vesk_release_unit_number(unit);
    ::testing::internal::CaptureStderr();
    vesk_release_unit_number(320);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), release_error_line(320) + "\n");
    EXPECT_EQ(vesk_get_next_unit_number(), 313);
    vesk_release_unit_number(313);
}

// Messages captured while a thread works on one piece of work reach the log, the screen
// and appended files only when released, in the order they were made; nested captures go
// to the innermost, and another thread's messages are not captured.
TEST_F(LogDirectory, CapturedMessagesGoOutInOrderWhenReleased) {
    std::string name;
    int status = -1;
    ornax_log_open(name, status);
    ASSERT_EQ(status, 0);
    Ornaxmessagebuffer outer, inner;
    testing::internal::CaptureStdout();
    {
        OrnaxMessageCapture capture(outer);
        ornax_log_plain(" first");
        {
            OrnaxMessageCapture nested(inner);
            ornax_screen_line(" inner screen");
            ornax_append_text("dump.txt", "block 1\n", status);
        }
        ornax_log_msg("second");
        std::thread([] { ornax_log_plain(" other thread"); }).join();
        ornax_release_messages(inner);  // into the outer capture, after "second"
    }
    const std::string screen_before = testing::internal::GetCapturedStdout();
    EXPECT_EQ(screen_before, "");
    EXPECT_FALSE(fs::exists("dump.txt"));
    EXPECT_EQ(lines_of(name), std::vector<std::string>{" other thread"});
    ASSERT_EQ(outer.entries.size(), 4u);
    EXPECT_EQ(outer.entries[3].path, "dump.txt");

    testing::internal::CaptureStdout();
    ornax_release_messages(outer);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), " inner screen\n");
    const std::vector<std::string> lines = lines_of(name);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], " first");
    EXPECT_TRUE(std::regex_match(lines[2], stamped_line)) << lines[2];
    EXPECT_EQ(lines[2].substr(25), "second");
    std::ifstream dump("dump.txt");
    std::string block((std::istreambuf_iterator<char>(dump)), {});
    EXPECT_EQ(block, "block 1\n");
}

// Units taken and given back from several threads at once: no unit is ever held twice.
TEST(UnitPool, ThreadsNeverShareAUnit) {
    std::vector<std::atomic<int>> holders(ornax_unit_last + 1);
    std::atomic<int> shared{0}, exhausted{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int n = 0; n < 500; ++n) {
                const int unit = ornax_get_next_unit_number();
                if (unit < 0) {
                    ++exhausted;
                    continue;
                }
                if (holders[static_cast<std::size_t>(unit)].fetch_add(1) != 0) ++shared;
                holders[static_cast<std::size_t>(unit)].fetch_sub(1);
                ornax_release_unit_number(unit);
            }
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(shared.load(), 0);
    EXPECT_EQ(exhausted.load(), 0);
}
