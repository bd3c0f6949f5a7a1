// Region runs on several threads: every output raster, the quality raster, the line
// diagnostic, the sidecars, maps and run record (apart from its times and thread count),
// the sunrise cache, the run log (apart from its time stamps and timing line) and the
// screen lines are the same bytes for 1, 2, 3 and 8 threads.
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "test_region_run_support.hpp"

namespace {

using namespace region_run_test;

// A data set to run and how to run it.
struct ThreadCase {
    const char* name;
    const char* data;  // "example": the generated example region; "reference": the bundled
                       // reference region; "failing": a small generated region whose
                       // forecast rasters are cut short, so that lines fail
    const char* args;
};

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
    make_region(dir, 20, 12, 3);
    // The forecast grid of this region is 12 columns x 8 rows; its lines use rows 5 to 7. The
    // last two rows of the last record of the next day's profile and of the day's air
    // temperature are cut off: row 7 cannot be read, and the lines that share it fail, each
    // with the read's messages.
    for (const char* file : {"met/2019201/pot_profile.bin", "met/2019200/t2_series.bin"})
        fs::resize_file(dir / file, fs::file_size(dir / file) - 2 * 12 * 4);
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

// The failing data set really fails some lines and computes others, so that the
// comparison above covers the messages of failed reads shared by several lines.
TEST(RegionThreadsFailing, SharedRowFailuresReachEveryLineThatUsesThem) {
    ScratchDir scratch("threads_failing_check");
    const fs::path dir = scratch.path() / "data";
    prepare_data("failing", dir);
    EXPECT_EQ(run_ornax(dir, "-r0 config/region.cfg 2019 200", "OMP_NUM_THREADS=3"), 3);
    const std::string screen = read_text(dir / "run.out"), log = log_text(dir);
    std::size_t profile_failures = 0;
    for (std::size_t at = screen.find("Error read in the profile2 data"); at != std::string::npos;
         at = screen.find("Error read in the profile2 data", at + 1))
        ++profile_failures;
    // row 7 fails for every line that lies in it (lines 9 to 12), not only for the first
    // line that read it
    EXPECT_EQ(profile_failures, 4u);
    EXPECT_NE(log.find("t2_series.bin read error!"), std::string::npos);
    const std::vector<float> qc = read_floats(dir / "output" / "region_qc.bin");
    EXPECT_NE(std::count(qc.begin(), qc.end(), 0.0f), 0);
}

}  // namespace
