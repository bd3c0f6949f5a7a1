// The Slurm side of the cluster recipes, without a Slurm: the scripts run with stand-in
// srun and scontrol commands on the PATH that record what they were asked. The launcher of
// the one-large-day recipe, the binding of a process's threads, the array sizes of a
// 20-year list, the exit status of a task of K days, and the report's classes of days.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>
#include <vector>
#include <ostream>

#include "support/region_run.hpp"
#include "support/slurm_stubs.hpp"

namespace {

using namespace region_run_test;

using namespace slurm_stub_test;

fs::path write_region(const fs::path& data) {
    int status = 0;
    write_example_region(data.string(), make_region_spec(-10000, 3400, 12, 6, 5, 2019, 200),
                         status);
    EXPECT_EQ(status, 0);
    return data;
}

struct LauncherCase {
    const char* name;
    const char* env;        // settings before the script
    const char* srun_args;  // srun's arguments before the program
    bool rank_env;          // the program started through ornax_rank_env.sh
    bool srun = true;       // srun is the launcher
    int status = 0;         // of the recipe
};
void PrintTo(const LauncherCase& c, std::ostream* os) {
    *os << c.name;
}

class RegionDayLauncher : public ::testing::TestWithParam<LauncherCase> {};

TEST_P(RegionDayLauncher, SrunGetsTheMpiTypeAndTheTasksCpus) {
    const LauncherCase& c = GetParam();
    ScratchDir scratch(std::string("launch_") + c.name);
    const fs::path bin = write_stubs(scratch.path()), data = write_region(scratch.path() / "data");
    const fs::path record = scratch.path() / "srun.txt";
    // no ORNAX_CLUSTER_DIR: the folder comes from the job's command (scontrol show job)
    std::string command = "PATH=" + quoted(bin) + ":$PATH SLURM_JOB_ID=7 SLURM_CPUS_PER_TASK=4" +
                          " STUB_RECORD=" + quoted(record) +
                          " STUB_COMMAND=" + quoted(kCluster / "ornax_region_day.sbatch") +
                          " ORNAX_EXE=/bin/true " + c.env + " bash " +
                          quoted(kCluster / "ornax_region_day.sbatch") + " " + quoted(data) +
                          " config/region.cfg 2019 200 " + quoted(scratch.path() / "work");
    const fs::path out = scratch.path() / "out.txt";
    ASSERT_EQ(run(command, out), c.status) << read_text(out);
    EXPECT_EQ(fs::exists(scratch.path() / "work" / "2019200" / "ornax_day.done"), c.status == 0);
    if (!c.srun) {
        EXPECT_FALSE(fs::exists(record)) << read_text(record);
        return;
    }
    std::string expected = c.srun_args;
    if (c.rank_env) expected += " " + (kCluster / "ornax_rank_env.sh").string();
    EXPECT_EQ(read_text(record), expected + " /bin/true -r0 config/region.cfg 2019 200\n");
}
INSTANTIATE_TEST_SUITE_P(
    Cases, RegionDayLauncher,
    ::testing::Values(
        LauncherCase{"pmix_added", "STUB_PMIX=1", "--mpi=pmix -c 4 --cpu-bind=cores", true},
        LauncherCase{"no_pmix_plugin", "", "-c 4 --cpu-bind=cores", true},
        LauncherCase{"site_default_kept", "STUB_PMIX=1 STUB_MPI_DEFAULT=pmi2",
                     "-c 4 --cpu-bind=cores", true},
        LauncherCase{"slurm_mpi_type_kept", "STUB_PMIX=1 SLURM_MPI_TYPE=pmi2",
                     "-c 4 --cpu-bind=cores", true},
        LauncherCase{"site_mpi_type", "STUB_PMIX=1 ORNAX_MPI_TYPE=pmi2",
                     "--mpi=pmi2 -c 4 --cpu-bind=cores", true},
        LauncherCase{"launcher_choice_unknown", "ORNAX_LAUNCHER_CHOICE=aprun", "", false, false, 2},
        LauncherCase{"launcher_given", "STUB_PMIX=1 ORNAX_LAUNCHER='srun --mpi=pmi2 -c 2'",
                     "--mpi=pmi2 -c 2", false},
        LauncherCase{"launcher_not_srun", "STUB_PMIX=1 ORNAX_LAUNCHER=env", "", false, false}),
    [](const auto& info) { return std::string(info.param.name); });

const std::string kRankEnv = (kCluster / "ornax_rank_env.sh").string();

struct BindCase {
    const char* name;
    const char* prefix;  // in front of the script: CPU set and thread count
    const char* expected;
};
void PrintTo(const BindCase& c, std::ostream* os) {
    *os << c.name;
}
class RankBinding : public ::testing::TestWithParam<BindCase> {};

TEST_P(RankBinding, ThreadsArePinnedOnlyToCoresOfTheirOwn) {
    const BindCase& c = GetParam();
    if (std::string(c.expected) == "unset" && run("test \"$(nproc --all)\" -ge 2", "/dev/null"))
        GTEST_SKIP() << "one CPU: every process has cores of its own";
    ScratchDir scratch(std::string("bind_") + c.name);
    const fs::path out = scratch.path() / "out.txt";
    ASSERT_EQ(run(std::string("env -u OMP_PROC_BIND -u OMP_PLACES ") + c.prefix + " " + kRankEnv +
                      " sh -c 'echo \"${OMP_PROC_BIND:-unset} ${OMP_PLACES:-unset}\"'",
                  out),
              0)
        << read_text(out);
    EXPECT_EQ(read_text(out), std::string(c.expected) + "\n");
}
INSTANTIATE_TEST_SUITE_P(
    Cases, RankBinding,
    ::testing::Values(BindCase{"bound_one_core", "OMP_NUM_THREADS=1 taskset -c 0", "close cores"},
                      BindCase{"unbound", "OMP_NUM_THREADS=1", "unset unset"},
                      BindCase{"site_choice_kept",
                               "OMP_PROC_BIND=spread OMP_NUM_THREADS=1 taskset -c 0",
                               "spread unset"}),
    [](const auto& info) { return std::string(info.param.name); });

struct ArrayCase {
    const char* name;
    const char* env;
    int max_array, per_task;
};
void PrintTo(const ArrayCase& c, std::ostream* os) {
    *os << c.name;
}
class TwentyYearArray : public ::testing::TestWithParam<ArrayCase> {};

TEST_P(TwentyYearArray, StaysWithinMaxArraySize) {
    const ArrayCase& c = GetParam();
    ScratchDir scratch(std::string("array_") + c.name);
    const fs::path bin = write_stubs(scratch.path()), data = write_region(scratch.path() / "data");
    const fs::path days = scratch.path() / "days.txt";
    int count = 0;
    {
        std::ofstream list(days);
        for (int y = 2001; y <= 2020; ++y)
            for (int d = 1; d <= (y % 4 == 0 ? 366 : 365); ++d, ++count)
                list << y << ' ' << d << '\n';
    }
    ASSERT_EQ(count, 7305);
    const fs::path out = scratch.path() / "out.txt", work = scratch.path() / "work";
    ASSERT_EQ(run("PATH=" + quoted(bin) + ":$PATH STUB_MAX_ARRAY=" + std::to_string(c.max_array) +
                      " " + c.env + " " + quoted(kCluster / "ornax_submit_days.sh") +
                      " --dry-run " + quoted(data) + " config/region.cfg " + quoted(days) + " " +
                      quoted(work),
                  out),
              0)
        << read_text(out);
    const std::string text = read_text(out);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(text, m, std::regex("--array=1-([0-9]+)%100 ")));
    const int tasks = std::stoi(m[1]);
    EXPECT_LT(tasks, c.max_array);
    EXPECT_EQ(tasks, (count + c.per_task - 1) / c.per_task);
    EXPECT_NE(text.find("ORNAX_DAYS_PER_TASK=" + std::to_string(c.per_task) + " "),
              std::string::npos);
    EXPECT_NE(text.find("--dependency=afterok:PREPARE "), std::string::npos);
    EXPECT_NE(text.find("--dependency=afterany:ARRAY?afternotok:PREPARE "), std::string::npos);
    // three jobs, each in the work root with its log there
    for (const char* job :
         {"--job-name=ornax-prepare ", "/ornax_days.sbatch ", "--job-name=ornax-report "})
        EXPECT_NE(text.find(job), std::string::npos) << job;
    const std::regex chdir("--chdir=" + work.string() + " ");
    EXPECT_EQ(std::distance(std::sregex_iterator(text.begin(), text.end(), chdir), {}), 3);
    const std::regex output("--output=" + work.string() + "/slurm/%x-");
    EXPECT_EQ(std::distance(std::sregex_iterator(text.begin(), text.end(), output), {}), 3);
    // the example region has the forecast of 2019 200 and 201 only: 2019200 can run
    EXPECT_NE(text.find("7304 of 7305 days"), std::string::npos) << text.substr(0, 600);
}
INSTANTIATE_TEST_SUITE_P(
    Cases, TwentyYearArray,
    ::testing::Values(ArrayCase{"default", "", 1001, 8},
                      ArrayCase{"one_per_task_raised", "ORNAX_DAYS_PER_TASK=1", 1001, 8},
                      ArrayCase{"small_limit", "", 501, 15},
                      ArrayCase{"month_per_task", "ORNAX_DAYS_PER_TASK=30", 1001, 30}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ClusterSubmit, ForecastOfTheNextDayIsChecked) {
    ScratchDir scratch("forecast_check");
    const fs::path data = write_region(scratch.path() / "data");
    const fs::path days = scratch.path() / "days.txt", out = scratch.path() / "out.txt";
    write_file(days, "2019 200\n");  // the example region has the forecast of 200 and 201
    const std::string command = quoted(kCluster / "ornax_submit_days.sh") + " --dry-run " +
                                quoted(data) + " config/region.cfg " + quoted(days) + " " +
                                quoted(scratch.path() / "work");
    ASSERT_EQ(run(command, out), 0) << read_text(out);
    EXPECT_EQ(read_text(out).find("warning"), std::string::npos) << read_text(out);
    fs::remove(data / "met" / "2019201" / "lwdn.bin");
    ASSERT_EQ(run(command, out), 0);
    EXPECT_NE(read_text(out).find("2019200 (no " +
                                  (data / "met" / "2019201" / "lwdn.bin").string() + ")"),
              std::string::npos)
        << read_text(out);
    // a line that is not a day is named and nothing is submitted
    write_file(days, "2019 200\n2019 366\n");
    EXPECT_EQ(run(command, out), 2);
    EXPECT_NE(read_text(out).find(days.string() + " line 2: \"2019 366\""), std::string::npos)
        << read_text(out);
}

}  // namespace

namespace {

struct ClassCase {
    const char* status;
    const char* expected;
};
void PrintTo(const ClassCase& c, std::ostream* os) {
    *os << "status " << c.status;
}
class DayStatusClass : public ::testing::TestWithParam<ClassCase> {};

TEST_P(DayStatusClass, DataFailuresAreNotRetried) {
    ScratchDir scratch(std::string("class_") + GetParam().status);
    const fs::path out = scratch.path() / "out.txt";
    ASSERT_EQ(
        run(quoted(kCluster / "ornax_days_status.sh") + " --classify " + GetParam().status, out),
        0);
    EXPECT_EQ(read_text(out), std::string(GetParam().expected) + "\n");
}
INSTANTIATE_TEST_SUITE_P(Cases, DayStatusClass,
                         ::testing::Values(ClassCase{"0", "done"}, ClassCase{"1", "retry"},
                                           ClassCase{"2", "arguments"}, ClassCase{"3", "data"},
                                           ClassCase{"126", "retry"}, ClassCase{"127", "retry"},
                                           ClassCase{"137", "retry"}, ClassCase{"143", "retry"},
                                           ClassCase{"255", "retry"}),
                         [](const auto& info) { return std::string(info.param.status); });

// One day in each state: what its folder holds, and how the report names it.
struct DayState {
    int doy;
    const char* status;  // ornax_day.status ("" none, "-" no folder)
    bool done;
    const char* report;  // the day's line in the report ("" none)
    bool retried;
};
const DayState kDays[] = {
    {200, "0", true, "", false},
    {201, "3", false, "    2019201 (exit status 3: ", false},
    {202, "137", false, "    2019202 (exit status 137: signal 9)", true},
    {203, "127", false, "    2019203 (exit status 127)", true},
    {204, "1", false, "    2019204 (exit status 1)", true},
    {205, "", false, "    2019205 (not run, or its job ended while it ran)", true},
    {206, "-", false, "    2019206 (not run, or its job ended while it ran)", true},
    {207, "2", false, "    2019207 (exit status 2: ", false},
    {208, "x", false, "    2019208 (unreadable status \"x\" in ", true},
};

TEST(ClusterSubmit, ReportListsTheDaysWithoutADoneStampByClass) {
    ScratchDir scratch("days_report");
    const fs::path work = scratch.path() / "work", days = scratch.path() / "days.txt";
    std::string list, retry;
    for (const DayState& d : kDays) {
        list += "2019 " + std::to_string(d.doy) + "\n";
        const fs::path folder = work / ("2019" + std::to_string(d.doy));
        if (std::string(d.status) != "-") fs::create_directories(folder);
        if (std::string(d.status) != "-" && *d.status)
            write_file(folder / "ornax_day.status", std::string(d.status) + "\n");
        if (d.done) write_file(folder / "ornax_day.done", "2026-01-01T00:00:00Z\n");
        if (d.retried) retry += "2019 " + std::to_string(d.doy) + "\n";
    }
    write_file(days, list);
    const fs::path out = scratch.path() / "out.txt";
    EXPECT_EQ(
        run(quoted(kCluster / "ornax_days_status.sh") + " " + quoted(days) + " " + quoted(work),
            out),
        3);
    const std::string text = read_text(out);
    const std::string first_report = read_text(work / "ornax_days_report.txt");
    ASSERT_FALSE(first_report.empty());
    EXPECT_EQ(first_report.substr(0, first_report.size() - 1),
              text.substr(0, first_report.size() - 1));
    for (const DayState& d : kDays)
        if (*d.report) {
            EXPECT_NE(text.find(d.report), std::string::npos) << d.doy << "\n" << text;
        }
    EXPECT_NE(text.find("done 1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("data failure (exit status 3, not retried) 1:\n"), std::string::npos);
    EXPECT_NE(text.find("refused (exit status 2, not retried) 1:\n"), std::string::npos);
    EXPECT_NE(text.find("to retry 6:\n"), std::string::npos);
    EXPECT_NE(text.find("Days without a done stamp: 8\n"), std::string::npos);
    std::vector<fs::path> retry_files;
    for (const auto& e : fs::directory_iterator(work / "slurm")) retry_files.push_back(e.path());
    ASSERT_EQ(retry_files.size(), 1u);
    EXPECT_EQ(read_text(retry_files[0]), retry);
    EXPECT_NE(text.find("The days to retry are in " + retry_files[0].string()), std::string::npos);

    // every day done: exit status 0, nothing to retry; the report is appended to the first,
    // whose data failure stays
    write_file(days, "2019 200\n");
    EXPECT_EQ(
        run(quoted(kCluster / "ornax_days_status.sh") + " " + quoted(days) + " " + quoted(work),
            out),
        0)
        << read_text(out);
    EXPECT_NE(read_text(out).find("Days without a done stamp: 0"), std::string::npos);
    const std::string reports = read_text(work / "ornax_days_report.txt");
    EXPECT_EQ(reports.substr(0, first_report.size()), first_report);
    EXPECT_NE(reports.find("Days without a done stamp: 0", first_report.size()), std::string::npos)
        << reports;
}

// A task of K days: the days it runs and the exit status it ends with.
struct TaskCase {
    const char* name;
    int task;
    const char* codes;  // exit status of each day of the list, 2019 200 onwards
    const char* ran;    // the days the task ran
    int status;
};
void PrintTo(const TaskCase& c, std::ostream* os) {
    *os << c.name;
}
class DaysTask : public ::testing::TestWithParam<TaskCase> {};

TEST_P(DaysTask, RunsItsDaysAndKeepsTheFailureWorthRetrying) {
    const TaskCase& c = GetParam();
    ScratchDir scratch(std::string("task_") + c.name);
    const fs::path data = write_region(scratch.path() / "data");
    const fs::path days = scratch.path() / "days.txt", ran = scratch.path() / "ran.txt";
    std::string list, codes = c.codes;
    for (std::size_t i = 0; i < codes.size(); i += 4)
        list += "2019 " + std::to_string(200 + i / 4) + "\n";
    write_file(days, list);
    // a program that ends each day with its code from CODES ("0003137..." in fields of 4)
    const fs::path exe = scratch.path() / "stand_in.x";
    write_file(exe,
               "#!/bin/bash\necho \"$4\" >> " + quoted(ran) +
                   "\ni=$(( ($4 - 200) * 4 ))\nexit $((10#${CODES:$i:4}))\n",
               true);
    const fs::path out = scratch.path() / "out.txt";
    const int status =
        run("CODES=" + codes + " SLURM_ARRAY_TASK_ID=" + std::to_string(c.task) +
                " ORNAX_DAYS_PER_TASK=2 ORNAX_CLUSTER_DIR=" + quoted(kCluster) +
                " ORNAX_EXE=" + quoted(exe) + " bash " + quoted(kCluster / "ornax_days.sbatch") +
                " " + quoted(data) + " config/region.cfg " + quoted(days) + " " +
                quoted(scratch.path() / "work"),
            out);
    EXPECT_EQ(status, c.status) << read_text(out);
    EXPECT_EQ(read_text(ran), c.ran) << read_text(out);
    if (c.status == 2) {
        EXPECT_NE(read_text(out).find("no day on lines 5 to 6 of " + days.string()),
                  std::string::npos)
            << read_text(out);
    }
}
INSTANTIATE_TEST_SUITE_P(
    Cases, DaysTask,
    ::testing::Values(TaskCase{"both_done", 1, "00000000", "200\n201\n", 0},
                      TaskCase{"second_task", 2, "0000000000000000", "202\n203\n", 0},
                      TaskCase{"last_task_short", 2, "000000000003", "202\n", 3},
                      TaskCase{"data_failure", 1, "00030000", "200\n201\n", 3},
                      TaskCase{"killed_after_data", 1, "00030137", "200\n201\n", 137},
                      TaskCase{"not_found_first", 1, "01270003", "200\n201\n", 127},
                      TaskCase{"beyond_the_list", 3, "00000000", "", 2}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
