// The cluster recipes of examples/cluster: every script is valid bash, and the per-day task
// that the job array runs gives each day a working folder of its own whose outputs are
// those of a plain run of that day.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>
#include <ostream>

#include "support/region_run.hpp"

namespace {

using namespace region_run_test;

const fs::path kClusterDir = fs::path(ORNAX_SOURCE_DIR) / "examples" / "cluster";

std::string in_quotes(const fs::path& path) {
    std::string text = "'";
    text += path.string();
    text += "'";
    return text;
}

int shell(const std::string& command) {
    const int rc = std::system(command.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// Runs the per-day task script; extra is put in front (environment variables).
int day_task(const fs::path& data, int doy, const fs::path& work_root, const std::string& extra) {
    std::string command = extra;
    for (const std::string& word :
         {std::string("ORNAX_EXE=").append(in_quotes(ORNAX_EXE)),
          in_quotes(kClusterDir / "ornax_day_task.sh"), in_quotes(data),
          std::string("config/region.cfg 2019"), std::to_string(doy), in_quotes(work_root),
          std::string(">"), in_quotes(work_root.string() + ".out"), std::string("2>&1")})
        command.append(" ").append(word);
    return shell(command);
}

TEST(ClusterRecipes, EveryScriptIsValidBash) {
    int scripts = 0;
    for (const auto& entry : fs::directory_iterator(kClusterDir)) {
        const std::string name = entry.path().filename().string();
        if (name.ends_with(".sh") || name.ends_with(".sbatch")) {
            ++scripts;
            EXPECT_EQ(shell("bash -n '" + entry.path().string() + "'"), 0) << name;
        }
        // Slurm runs a copy of a batch script: its own folder says nothing, and a log path
        // is taken relative to the job's folder (--chdir WORK_ROOT), never the checkout.
        if (name.ends_with(".sbatch")) {
            const std::string text = read_text(entry.path());
            EXPECT_EQ(text.find("dirname \"$0\""), std::string::npos) << name;
            const std::size_t at = text.find("#SBATCH --output=");
            ASSERT_NE(at, std::string::npos) << name;
            const std::string value = text.substr(at + 17, text.find('\n', at) - at - 17);
            EXPECT_TRUE(value.find('/') == std::string::npos) << name << ": " << value;
        }
    }
    EXPECT_GE(scripts, 7);
    EXPECT_EQ(shell("bash -n '" +
                    (fs::path(ORNAX_SOURCE_DIR) / "tools" / "slurm_check.sh").string() + "'"),
              0);
}

TEST(ClusterRecipes, DayTasksRunInFoldersOfTheirOwn) {
    ScratchDir scratch("cluster_days");
    const fs::path data = scratch.path() / "data", work = scratch.path() / "days";
    for (int doy : {200, 201}) {
        const RegionSpec spec = make_region_spec(-10000, 3400, 24, 12, 3, 2019, doy);
        int status = 0;
        write_example_region(data.string(), spec, status);
        ASSERT_EQ(status, 0);
    }
    for (int doy : {200, 201})
        ASSERT_EQ(day_task(data, doy, work, ""), 0) << read_text(work.string() + ".out");
    ASSERT_EQ(run_ornax(data, "-r0 config/region.cfg 2019 201"), 0);

    const std::vector<std::string> names = generated_outputs();
    for (const char* day : {"2019200", "2019201"}) {
        const fs::path folder = work / day;
        EXPECT_FALSE(log_text(folder).empty()) << day;
        EXPECT_EQ(fs::file_size(folder / "testMETtemp15.bin"), 4u * 24 * 12) << day;
        EXPECT_TRUE(fs::exists(folder / "ornax_day.done")) << day;
        for (const std::string& name : names)
            EXPECT_EQ(fs::file_size(folder / "output" / (name + ".bin")), 4u * 24 * 12) << day;
    }
    for (const std::string& name : names)
        EXPECT_TRUE(read_text(work / "2019201" / "output" / (name + ".bin")) ==
                    read_text(data / "output" / (name + ".bin")))
            << name;
    EXPECT_FALSE(read_text(work / "2019200" / "output" / "EDAY.bin") ==
                 read_text(work / "2019201" / "output" / "EDAY.bin"));

    // A finished day is skipped; a bad argument is refused before anything runs.
    const std::string log_before = log_text(work / "2019200");
    EXPECT_EQ(day_task(data, 200, work, ""), 0);
    EXPECT_EQ(log_text(work / "2019200"), log_before);
    EXPECT_EQ(day_task(data, 200, work, "ORNAX_FORCE=1"), 0);
    EXPECT_NE(log_text(work / "2019200"), log_before);
    std::string bad_day = in_quotes(kClusterDir / "ornax_day_task.sh");
    bad_day.append(" ").append(in_quotes(data)).append(" config/region.cfg 2019 2x1 ");
    bad_day.append(in_quotes(work)).append(" 2> /dev/null");
    EXPECT_EQ(shell(bad_day), 2);
}

// A day that fails names where to look: the run log when the program wrote one, else that
// it could not start; the folder keeps the status, and no done stamp.
struct FailureCase {
    const char* name;
    const char* env;
    int status;
    const char* message;
    bool run_log;
};
void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}
class DayTaskFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(DayTaskFailure, NamesTheRunLogOnlyWhenThereIsOne) {
    const FailureCase& c = GetParam();
    ScratchDir scratch(std::string("cluster_fail_") + c.name);
    const fs::path data = scratch.path() / "data", work = scratch.path() / "days";
    int status = 0;
    write_example_region(data.string(), make_region_spec(-10000, 3400, 12, 6, 3, 2019, 200),
                         status);
    ASSERT_EQ(status, 0);
    fs::remove_all(data / "met" / "2019201");  // the next day's forecast: day 200 fails
    {  // a program killed (as by the memory limit) before it writes anything
        std::ofstream(scratch.path() / "killed.x") << "#!/bin/sh\nkill -9 $$\n";
        fs::permissions(scratch.path() / "killed.x", fs::perms::owner_all, fs::perm_options::add);
    }
    std::ofstream(scratch.path() / "plain.txt") << "not a program\n";
    std::string command = "SCRATCH=" + in_quotes(scratch.path()) + " " + c.env;
    command.append(" ").append(in_quotes(kClusterDir / "ornax_day_task.sh")).append(" ");
    command.append(in_quotes(data)).append(" config/region.cfg 2019 200 ").append(in_quotes(work));
    command.append(" > /dev/null 2> ").append(in_quotes(scratch.path() / "err.txt"));
    EXPECT_EQ(shell(command), c.status);
    const std::string err = read_text(scratch.path() / "err.txt");
    const fs::path folder = work / "2019200";
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
    EXPECT_EQ(read_text(folder / "ornax_day.status"), std::to_string(c.status) + "\n");
    EXPECT_FALSE(fs::exists(folder / "ornax_day.done"));
    const std::size_t see = err.find("; see " + folder.string() + "/ORNAX-");
    EXPECT_EQ(see != std::string::npos, c.run_log) << err;
    if (see != std::string::npos) {
        const std::size_t at = err.find(folder.string(), see);
        EXPECT_TRUE(fs::exists(err.substr(at, err.find('\n', at) - at))) << err;
    }
}
INSTANTIATE_TEST_SUITE_P(
    Cases, DayTaskFailure,
    ::testing::Values(FailureCase{"next_day_forecast_missing", "ORNAX_EXE='" ORNAX_EXE "'", 3,
                                  "day 2019200 failed (exit status 3)", true},
                      FailureCase{"program_not_found", "ORNAX_EXE=/nonexistent/ornax.x", 127,
                                  "failed (exit status 127): /nonexistent/ornax.x could not be "
                                  "started on",
                                  false},
                      FailureCase{"program_not_executable", "ORNAX_EXE=\"$SCRATCH/plain.txt\"", 126,
                                  "/plain.txt could not be started on", false},
                      FailureCase{"killed", "ORNAX_EXE=\"$SCRATCH/killed.x\"", 137,
                                  "failed (exit status 137): ended by signal 9 (SIGKILL); ornax "
                                  "wrote no run log",
                                  false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
