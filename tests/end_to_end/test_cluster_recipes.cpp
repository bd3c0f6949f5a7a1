// The cluster recipes of examples/cluster: every script is valid bash, and the per-day task
// that the job array runs gives each day a working folder of its own whose outputs are
// those of a plain run of that day.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_region_run_support.hpp"

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
    }
    EXPECT_GE(scripts, 3);
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

}  // namespace
