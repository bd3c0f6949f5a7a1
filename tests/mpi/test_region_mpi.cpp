// ornax_mpi.x against ornax.x on the same data: every output, the line diagnostic and the
// log (time stamps and timings aside) are the same whatever the number of processes, also
// when lines or the set-up fail; a failing run ends every process with status 3, never
// hanging (each run is bounded by a timeout that would show as status 124).
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "support/region_run.hpp"

namespace {

using namespace region_run_test;

constexpr int kCols = 100, kRows = 60;  // the example region
constexpr unsigned kSeed = 7;

// mpirun as any user (root included), more processes than cores allowed; at most 240 s.
int run_mpi(const fs::path& dir, int processes, int threads, const std::string& args) {
    const std::string cmd =
        "cd '" + dir.string() + "' && HOME_DIR='" + dir.string() +
        "' OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 OMP_NUM_THREADS=" +
        std::to_string(threads) +
        " timeout 240 '" ORNAX_MPIEXEC "' --oversubscribe -x HOME_DIR -x OMP_NUM_THREADS -np " +
        std::to_string(processes) + " '" ORNAX_MPI_EXE "' " + args + " > run.out 2> run.err";
    const int rc = std::system(cmd.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// The log without time stamps, the command line, timings, the line naming the number of
// processes and the data set's own folder.
std::vector<std::string> comparable_log(const fs::path& dir) {
    static const std::regex stamp(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3})");
    std::vector<std::string> lines;
    std::istringstream in(log_text(dir));
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(" Command line: ", 0) == 0 ||
            line.find("Region run seconds") != std::string::npos ||
            line.find("Region lines shared among") != std::string::npos)
            continue;
        for (auto at = line.find(dir.string()); at != std::string::npos;
             at = line.find(dir.string()))
            line.replace(at, dir.string().size(), "DIR");
        lines.push_back(std::regex_replace(line, stamp, "T"));
    }
    return lines;
}

// A file's text with the data set's own folder replaced.
std::string text_of(const fs::path& dir, const fs::path& file) {
    std::string text = read_text(file);
    for (auto at = text.find(dir.string()); at != std::string::npos; at = text.find(dir.string()))
        text.replace(at, dir.string().size(), "DIR");
    return text;
}

std::set<std::string> files_in(const fs::path& dir) {
    std::set<std::string> names;
    if (fs::exists(dir))
        for (const auto& entry : fs::directory_iterator(dir))
            names.insert(entry.path().filename().string());
    return names;
}

// Changes made to a data set before both runs.
void no_change(const fs::path&) {}

// Line 1 lies south of the snow grid and line 60 past the end of the snow mask: both fail,
// on different processes.
void fail_first_and_last_lines(const fs::path& dir) {
    const RegionSpec spec = make_region_spec(-10000, 3400, kCols, kRows, kSeed, 2019, 200);
    GridBox snow = spec.run;
    snow.south_h += 5;
    snow.nrows -= 2;
    int status = 0;
    write_text_file(dir / "config" / "domain_snow.txt", domain_text("snow grid", snow, -9999.0f),
                    status);
    std::vector<float> mask = read_floats(dir / "snow" / "2019200" / "snow_mask.bin");
    mask.erase(mask.begin(), mask.begin() + kCols);
    mask.resize(mask.size() - 2 * kCols);
    write_floats(dir / "snow" / "2019200" / "snow_mask.bin", mask);
}

void remove_run_grid(const fs::path& dir) {
    fs::remove(dir / "config" / "domain_run.txt");
}

void remove_forecast_day(const fs::path& dir) {
    fs::remove_all(dir / "met" / "2019200");
}

struct MpiCase {
    const char* name;
    bool reference;  // the reference region, else the generated example region
    void (*change)(const fs::path&);
    int processes;
    int threads;  // of each process
    int exit_status;
};
// The case's own name in test listings, not its bytes.
void PrintTo(const MpiCase& c, std::ostream* os) {
    *os << c.name;
}

class RegionMpi : public ::testing::TestWithParam<MpiCase> {};

TEST_P(RegionMpi, SameFilesAndLogAsOneProcess) {
    const MpiCase& c = GetParam();
    ScratchDir scratch(std::string("mpi_") + c.name);
    const fs::path one = scratch.path() / "one", many = scratch.path() / "many";
    for (const fs::path& dir : {one, many}) {
        if (c.reference)
            fs::copy(fs::path(ORNAX_REFERENCE_DIR) / "region" / "data", dir,
                     fs::copy_options::recursive);
        else
            make_region(dir, kCols, kRows, kSeed);
        c.change(dir);
    }
    const std::string args = "-r0 config/region.cfg 2019 200";
    EXPECT_EQ(run_ornax(one, args), c.exit_status) << read_text(one / "run.err");
    EXPECT_EQ(run_mpi(many, c.processes, c.threads, args), c.exit_status)
        << read_text(many / "run.err") << log_text(many);

    EXPECT_EQ(comparable_log(many), comparable_log(one));
    EXPECT_EQ(files_in(many / "output"), files_in(one / "output"));
    // the run record counts every line, also those of the other processes
    for (const std::string& name : files_in(one / "output"))
        if (name == "run_info.json")
            EXPECT_EQ(comparable_run_info(text_of(many, many / "output" / name)),
                      comparable_run_info(text_of(one, one / "output" / name)));
        else
            EXPECT_TRUE(read_text(many / "output" / name) == read_text(one / "output" / name))
                << name << " differs";
    for (const char* name : {"testMETtemp15.bin", "common_lc.dat"})
        EXPECT_TRUE(read_text(many / name) == read_text(one / name)) << name << " differs";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegionMpi,
    ::testing::Values(MpiCase{"example_1", false, no_change, 1, 1, 0},
                      MpiCase{"example_2", false, no_change, 2, 1, 0},
                      MpiCase{"example_3", false, no_change, 3, 1, 0},
                      MpiCase{"example_4", false, no_change, 4, 1, 0},
                      MpiCase{"example_2x2", false, no_change, 2, 2, 0},
                      MpiCase{"reference_2", true, no_change, 2, 1, 0},
                      MpiCase{"reference_3", true, no_change, 3, 1, 0},
                      MpiCase{"failing_lines_3", false, fail_first_and_last_lines, 3, 1, 3},
                      MpiCase{"failing_lines_2", false, fail_first_and_last_lines, 2, 1, 3},
                      MpiCase{"no_forecast_day_2", false, remove_forecast_day, 2, 1, 3},
                      MpiCase{"no_run_grid_3", false, remove_run_grid, 3, 1, 3}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

// --version and --help end every process with status 0, the text given once.
TEST(RegionMpiCommandLine, VersionAndHelpEndWell) {
    ScratchDir dir("mpi_cmdline");
    const std::string options[] = {"--version", "--help"};
    for (const std::string& args : options) {
        SCOPED_TRACE(args);
        EXPECT_EQ(run_mpi(dir.path(), 2, 1, args), 0);
        const std::string out = read_text(dir.path() / "run.out");
        const std::string first = args == "--version" ? "ornax " : "Usage";
        EXPECT_EQ(out.find(first), out.rfind(first)) << out;
        EXPECT_NE(out.find(first), std::string::npos) << out;
    }
}

namespace {

// A follower that cannot begin (its own configuration file missing, HOME_DIR not set in its
// environment): the leader logs its cause and shows it on the error stream; every process
// ends with status 3 and nothing is published.
TEST(RegionMpiFollowers, LeaderNamesTheCauseOfAFollowerThatCannotBegin) {
    struct Case {
        const char* name;
        const char* follower;  // command of process 1
        const char* cause;
    };
    const Case cases[] = {
        {"configuration missing", "'" ORNAX_MPI_EXE "' -r0 config/missing.cfg 2019 200",
         "Process           1 could not begin its share of the run: Error in opening the input "
         "config file config/missing.cfg: No such file or directory"},
        {"HOME_DIR not set", "env -u HOME_DIR '" ORNAX_MPI_EXE "' -r0 config/region.cfg 2019 200",
         "HOME_DIR is not set."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir scratch("mpi_follower");
        const fs::path dir = scratch.path();
        make_region(dir, kCols, kRows, kSeed);
        const std::string cmd = "cd '" + dir.string() + "' && HOME_DIR='" + dir.string() +
                                "' OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 "
                                "timeout 240 '" ORNAX_MPIEXEC
                                "' --oversubscribe -x HOME_DIR -np 1 '" ORNAX_MPI_EXE
                                "' -r0 config/region.cfg 2019 200 : -np 1 " +
                                std::string(c.follower) + " > run.out 2> run.err";
        const int rc = std::system(cmd.c_str());
        EXPECT_EQ(WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, 3);
        EXPECT_NE(log_text(dir).find(c.cause), std::string::npos) << log_text(dir);
        EXPECT_NE(read_text(dir / "run.err").find(c.cause), std::string::npos)
            << read_text(dir / "run.err");
        EXPECT_FALSE(fs::exists(dir / "output" / "run_info.json"));
    }
}

}  // namespace

namespace {

// A day that computes nothing under MPI leaves the outputs of the earlier good run as they
// were, run record included, and the leader says why.
TEST(RegionMpiFollowers, RunThatComputesNothingKeepsTheEarlierOutputs) {
    ScratchDir scratch("mpi_nothing");
    const fs::path dir = scratch.path();
    make_region(dir, kCols, kRows, kSeed);
    const std::string args = "-r0 config/region.cfg 2019 200";
    ASSERT_EQ(run_mpi(dir, 2, 1, args), 0) << read_text(dir / "run.err");
    std::map<std::string, std::string> before;
    for (const std::string& name : files_in(dir / "output"))
        before[name] = read_text(dir / "output" / name);
    remove_forecast_day(dir);
    EXPECT_EQ(run_mpi(dir, 2, 1, args), 3);
    EXPECT_NE(read_text(dir / "run.err").find("No pixel was computed"), std::string::npos)
        << read_text(dir / "run.err");
    EXPECT_EQ(files_in(dir / "output").size(), before.size());
    for (const auto& [name, bytes] : before)
        EXPECT_EQ(read_text(dir / "output" / name), bytes) << name;
}

}  // namespace

// A range of three days across the year end: every day's folder holds the same files with
// the same bytes under two processes as under one (run records apart from their timings).
TEST(RegionMpiRange, DatedFoldersOfARangeAreTheOneProcessBytes) {
    ScratchDir scratch("mpi_range");
    const fs::path one = scratch.path() / "one", many = scratch.path() / "many";
    for (const fs::path& dir : {one, many}) {
        const std::string cmd = std::string("'") + ORNAX_TOOLS_DIR + "/ornax_make_region' -o '" +
                                dir.string() + "' -c 20 -r 12 -s 5 -y 2019 -d 364 -n 3 > /dev/null";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    const std::string args = "-r0 config/region.cfg 2019 364 1";
    ASSERT_EQ(run_ornax(one, args), 0) << read_text(one / "run.err");
    ASSERT_EQ(run_mpi(many, 2, 1, args), 0) << read_text(many / "run.err");
    for (const char* day : {"2019364", "2019365", "2020001"}) {
        const fs::path a = one / "output" / day, b = many / "output" / day;
        const std::set<std::string> names = files_in(a);
        EXPECT_EQ(files_in(b), names) << day;
        EXPECT_TRUE(names.count("EDAY.bin")) << day;
        for (const std::string& name : names)
            if (name == "run_info.json")
                EXPECT_EQ(comparable_run_info(text_of(many, b / name)),
                          comparable_run_info(text_of(one, a / name)))
                    << day;
            else
                EXPECT_TRUE(read_text(b / name) == read_text(a / name)) << day << "/" << name;
    }
}
