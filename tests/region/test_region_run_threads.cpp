// Region runs on several threads: every output raster, the quality raster, the line
// diagnostic, the sidecars, maps and run record (apart from its times and thread count),
// the sunrise cache, the run log (apart from its time stamps and timing line) and the
// screen lines are the same bytes for 1, 2, 3 and 8 threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "ornax90/output/quality.hpp"
#include "ornax90/ORNAX_run_mod.hpp"
#include "support/region_run.hpp"

namespace {

using namespace region_run_test;

// A data set to run and how to run it.
struct ThreadCase {
    const char* name;
    const char* data;  // "example": the generated example region; "reference": the bundled
                       // reference region; "failing": a small generated region whose
                       // first lines fail
    const char* args;
};
// The case's own name in test listings, not its bytes.
void PrintTo(const ThreadCase& c, std::ostream* os) {
    *os << c.name;
}

void prepare_data(const std::string& data, const fs::path& dir) {
    if (data == "reference") {
        fs::copy(fs::path(ORNAX_REFERENCE_DIR) / "region" / "data", dir,
                 fs::copy_options::recursive);
        return;
    }
    if (data == "example") {
        make_region(dir, 100, 60, 7);  // the example region of `make run`
        return;
    }
    // The snow grid starts two lines north of the run grid: the first line lies south of it,
    // cannot read its snow mask and fails; the others are computed.
    const RegionSpec spec = make_region(dir, 20, 12, 3);
    GridBox snow = spec.run;
    snow.south_h += 10;
    snow.nrows -= 2;
    int status = 0;
    write_text_file(dir / "config" / "domain_snow.txt", domain_text("snow grid", snow, -9999.0f),
                    status);
    std::vector<float> mask = read_floats(dir / "snow" / "2019200" / "snow_mask.bin");
    mask.erase(mask.begin(), mask.begin() + 2 * 20);
    write_floats(dir / "snow" / "2019200" / "snow_mask.bin", mask);
}

// The run record without what depends on the clock or the thread count.
std::string run_record_content(const std::string& text) {
    nlohmann::json record = nlohmann::json::parse(text, nullptr, false);
    if (record.is_discarded()) return text;
    for (const char* key : {"time_seconds", "threads", "finished_utc"}) record.erase(key);
    return record.dump(1);
}

// Every file the run wrote under dir, by path relative to dir. Logs and screen text are
// compared on their own.
std::map<std::string, std::string> written_files(const fs::path& dir, fs::file_time_type since) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (!entry.is_regular_file() || entry.last_write_time() < since) continue;
        const std::string name = fs::relative(entry.path(), dir).string();
        if (name.rfind("ORNAX-", 0) == 0 || name == "run.out" || name == "run.err") continue;
        files[name] = read_text(entry.path());
        if (entry.path().filename() == "run_info.json")
            files[name] = run_record_content(files[name]);
    }
    return files;
}

// The run log without the time stamps and without the timing line (which names the
// thread count).
std::string log_content(const fs::path& dir) {
    static const std::regex stamp(R"(^ \d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3} )");
    std::istringstream in(log_text(dir));
    std::string out;
    for (std::string line; std::getline(in, line);) {
        if (line.find("Region run seconds:") != std::string::npos) continue;
        out += std::regex_replace(line, stamp, "") + "\n";
    }
    return out;
}

// Screen lines without the one that names the log file (named after the minute) and the
// run's time summary.
std::string screen_content(const fs::path& dir) {
    std::istringstream in(read_text(dir / "run.out"));
    std::string out;
    for (std::string line; std::getline(in, line);)
        if (line.find("Running msg in") == std::string::npos && line.rfind(" Time ", 0) != 0)
            out += line + "\n";
    return out;
}

class RegionThreads : public ::testing::TestWithParam<ThreadCase> {};

TEST_P(RegionThreads, SameBytesForEveryThreadCount) {
    const ThreadCase& c = GetParam();
    std::map<std::string, std::string> first_files;
    std::string first_log, first_screen;
    int first_status = -1;
    for (int threads : {1, 2, 3, 8}) {
        SCOPED_TRACE(std::to_string(threads) + " threads");
        // the same directory each time, as paths appear in the messages
        ScratchDir scratch(std::string("threads_") + c.name);
        const fs::path dir = scratch.path() / "data";
        prepare_data(c.data, dir);
        const auto since = fs::file_time_type::clock::now();
        const int status = run_ornax(dir, c.args, "OMP_NUM_THREADS=" + std::to_string(threads));
        const std::map<std::string, std::string> files = written_files(dir, since);
        const std::string log = log_content(dir), screen = screen_content(dir);
        EXPECT_NE(log_text(dir).find("threads" + write_i(threads, 12)), std::string::npos)
            << "the timing line names the thread count";
        if (threads == 1) {
            ASSERT_TRUE(files.count("output/region_qc.bin") && files.count("testMETtemp15.bin"));
            first_files = files, first_log = log, first_screen = screen, first_status = status;
            continue;
        }
        EXPECT_EQ(status, first_status);
        ASSERT_EQ(files.size(), first_files.size());
        for (const auto& [name, bytes] : first_files) {
            ASSERT_TRUE(files.count(name)) << name;
            EXPECT_TRUE(files.at(name) == bytes) << name << " differs";
        }
        EXPECT_EQ(log, first_log);
        EXPECT_EQ(screen, first_screen);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, RegionThreads,
    ::testing::Values(ThreadCase{"example_r0", "example", "-r0 config/region.cfg 2019 200"},
                      ThreadCase{"example_r1", "example", "-r1 config/region.cfg 2019 200"},
                      ThreadCase{"reference_r0", "reference", "-r0 config/region.cfg 2019 200"},
                      ThreadCase{"reference_r1", "reference", "-r1 config/region.cfg 2019 200"},
                      ThreadCase{"failing_lines", "failing", "-r0 config/region.cfg 2019 200"}),
    [](const ::testing::TestParamInfo<ThreadCase>& info) { return std::string(info.param.name); });

// The failing data set really fails some lines and computes others, and the run names its
// first failed line as the cause whatever the thread that met it.
TEST(RegionThreadsFailing, FirstFailedLineIsTheCause) {
    ScratchDir scratch("threads_failing_check");
    const fs::path dir = scratch.path() / "data";
    prepare_data("failing", dir);
    EXPECT_EQ(run_ornax(dir, "-r0 config/region.cfg 2019 200", "OMP_NUM_THREADS=3"), 3);
    EXPECT_NE(log_text(dir).find("Read snow mask error"), std::string::npos);
    EXPECT_NE(read_text(dir / "run.err").find("Line           1 of          12 failed in reading"),
              std::string::npos)
        << read_text(dir / "run.err");
    const std::vector<float> qc = read_floats(dir / "output" / "region_qc.bin");
    ASSERT_EQ(qc.size(), 240u);
    EXPECT_EQ(std::count(qc.begin(), qc.begin() + 20, ornax_qc_failed_line), 20);
    EXPECT_NE(std::count(qc.begin() + 20, qc.end(), 0.0f), 0);
}

// A run whose every line fails publishes nothing, and what it says does not claim that
// rasters hold anything: the log and the standard error stream give the same count.
TEST(RegionThreadsFailing, RunWhoseEveryLineFailsSaysSoOnceAndPublishesNothing) {
    ScratchDir scratch("threads_all_failing");
    const fs::path dir = scratch.path() / "data";
    const RegionSpec spec = make_region(dir, 20, 12, 3);
    GridBox snow = spec.run;
    snow.south_h += snow.nrows * snow.step_h + 100;  // north of the whole run grid
    int status = 0;
    write_text_file(dir / "config" / "domain_snow.txt", domain_text("snow grid", snow, -9999.0f),
                    status);
    ASSERT_EQ(run_ornax(dir, "-r0 config/region.cfg 2019 200"), 3);
    EXPECT_FALSE(fs::exists(dir / "output" / "region_qc.bin"));
    EXPECT_FALSE(fs::exists(dir / "output" / "run_info.json"));
    const std::string err = read_text(dir / "run.err");
    const std::string log = log_text(dir);
    EXPECT_NE(err.find("No pixel was computed (12 of 12 lines failed)"), std::string::npos) << err;
    EXPECT_TRUE(std::regex_search(log, std::regex(R"(\s+12\s+of\s+12\s+lines failed)"))) << log;
    EXPECT_EQ(log.find("they hold"), std::string::npos) << "nothing was published to hold them";
    EXPECT_EQ(err.find("quality 127"), std::string::npos) << err;
}

// A run whose first line fails tells one story everywhere: the standard error stream, the
// screen summary, the log, run_info.json and the quality raster give the same count of
// failed lines and the same flag for their pixels.
TEST(RegionThreadsFailing, EveryReportGivesTheSameFailedLinesAndFlag) {
    ScratchDir scratch("threads_failing_reports");
    const fs::path dir = scratch.path() / "data";
    prepare_data("failing", dir);
    ASSERT_EQ(run_ornax(dir, "-r0 config/region.cfg 2019 200"), 3);
    const std::vector<float> qc = read_floats(dir / "output" / "region_qc.bin");
    ASSERT_EQ(qc.size(), 240u);
    int failed_rows = 0;
    for (int row = 0; row < 12; ++row)
        failed_rows += std::all_of(qc.begin() + row * 20, qc.begin() + (row + 1) * 20,
                                   [](float q) { return q == ornax_qc_failed_line; });
    ASSERT_GT(failed_rows, 0);
    const long long failed_pixels = std::count(qc.begin(), qc.end(), ornax_qc_failed_line);
    EXPECT_EQ(failed_pixels, failed_rows * 20LL) << "the failed-line flag marks whole lines only";

    const std::string n = std::to_string(failed_rows);
    const std::string err = read_text(dir / "run.err");
    const std::string out = read_text(dir / "run.out");
    const std::string log = log_text(dir);
    const std::regex told(R"(\s*)" + n +
                          R"(\s+of\s+12\s+lines failed; they hold the missing value and )"
                          R"(quality\s+255 \(line failed as a whole\))");
    // the standard error stream gives the first and the last cause; where it counts the
    // failed lines, it counts them as the log does
    if (err.find("lines failed") != std::string::npos) {
        EXPECT_TRUE(std::regex_search(err, told)) << err;
    }
    EXPECT_TRUE(std::regex_search(log, told)) << log;
    EXPECT_NE(out.find("Region run finished: 12 lines (" + n + " failed)"), std::string::npos)
        << out;
    EXPECT_NE(out.find("255 (line failed as a whole) " + std::to_string(failed_pixels) + ";"),
              std::string::npos)
        << out;
    EXPECT_TRUE(std::regex_search(
        log, std::regex(R"(Region run done:\s+12\s+lines,\s+)" + n + R"(\s+failed)")))
        << log;
    const nlohmann::json info =
        nlohmann::json::parse(read_text(dir / "output" / "run_info.json"), nullptr, false);
    ASSERT_TRUE(info.is_object());
    EXPECT_EQ(info["lines"]["failed"], failed_rows);
    EXPECT_EQ(info["lines"]["total"], 12);
    bool flag_listed = false;
    for (const auto& flag : info["quality_flags"])
        if (flag.value("flag", -1) == ornax_qc_failed_line) {
            flag_listed = true;
            EXPECT_EQ(flag.value("pixels", -1LL), failed_pixels);
        }
    EXPECT_TRUE(flag_listed) << info["quality_flags"].dump();
}

}  // namespace

// Lines shared among processes by forecast-model row: every line runs exactly once, the
// lines of a row stay together, and the groups alternate so that the shares stay even.
TEST(RegionShareLines, EveryLineOnceRowsTogetherSharesEven) {
    struct Case {
        std::vector<int> rows;  // forecast-model row of each line, line 1 first
        int size;
        std::vector<std::vector<int>> want;  // lines of each process
    };
    const Case cases[] = {
        {{1, 1, 2, 2, 3, 3, 4}, 2, {{1, 2, 5, 6}, {3, 4, 7}}},
        {{1, 1, 2, 2, 3, 3, 4}, 3, {{1, 2, 7}, {3, 4}, {5, 6}}},
        {{1, 1, 1}, 2, {{1, 2, 3}, {}}},            // one row: one process
        {{0, 0, 1, 1, 0}, 2, {{1, 3, 4}, {2, 5}}},  // a line outside the rows goes alone
        {{5, 4, 3}, 1, {{1, 2, 3}}},                // one process runs everything
        {{}, 2, {{}, {}}},
    };
    for (const Case& c : cases) {
        std::vector<int> seen;
        for (int rank = 0; rank < c.size; ++rank) {
            const std::vector<int> lines = ornax_region_share_lines(c.rows, rank, c.size);
            EXPECT_EQ(lines, c.want[static_cast<std::size_t>(rank)]) << "rank " << rank;
            seen.insert(seen.end(), lines.begin(), lines.end());
        }
        std::sort(seen.begin(), seen.end());
        EXPECT_EQ(seen.size(), c.rows.size());
        EXPECT_TRUE(std::adjacent_find(seen.begin(), seen.end()) == seen.end());
        EXPECT_TRUE(ornax_region_share_lines(c.rows, c.size, c.size).empty());
        EXPECT_TRUE(ornax_region_share_lines(c.rows, -1, c.size).empty());
    }
}
