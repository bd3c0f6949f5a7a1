// The site side of the cluster recipes, with stand-in Slurm commands: the site file's
// options on every submission, the explicit --export, the pre-flight check against the
// partition, the resubmission that replays the first submission's settings, the job's
// log in the work root from a relative submission, the reason a failed day keeps, Slurm's
// warning of the time limit, and the rank each process names.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "support/region_run.hpp"
#include "support/slurm_stubs.hpp"

namespace {

using namespace region_run_test;
using namespace slurm_stub_test;

fs::path make_region(const fs::path& data) {
    int status = 0;
    write_example_region(data.string(), make_region_spec(-10000, 3400, 12, 6, 5, 2019, 200),
                         status);
    EXPECT_EQ(status, 0);
    return data;
}

std::vector<std::string> lines_of(const fs::path& path) {
    std::vector<std::string> lines;
    std::istringstream in(read_text(path));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Points line 4 of the meteorological configuration (the land subset file) under a plain
// file, so that its folder cannot be written even by root ("Not a directory").
void unwritable_subset_folder(const fs::path& data) {
    const fs::path met = data / "config" / "met.cfg";
    std::istringstream in(read_text(met));
    std::string text, line;
    for (int n = 1; std::getline(in, line); ++n)
        text += (n == 4 ? line.substr(0, 30) + "manifest.txt/land_subset.dat" : line) + "\n";
    write_file(met, text);
}

struct SiteCase {
    const char* name;
    const char* site;      // the site file ("" none)
    const char* env;       // settings before the submit script
    const char* expected;  // in every sbatch command (status 0) or in the message
    int status;
    bool one_day = false;  // ornax_submit_day.sh instead of ornax_submit_days.sh
};
void PrintTo(const SiteCase& c, std::ostream* os) {
    *os << c.name;
}
class SiteFile : public ::testing::TestWithParam<SiteCase> {};

TEST_P(SiteFile, ReachesEverySubmission) {
    const SiteCase& c = GetParam();
    ScratchDir scratch(std::string("site_") + c.name);
    const fs::path bin = write_stubs(scratch.path()), data = make_region(scratch.path() / "data");
    const fs::path site = scratch.path() / "site.sh", out = scratch.path() / "out.txt";
    write_file(site, c.site);  // empty: no site settings, and none from the checkout
    write_file(scratch.path() / "days.txt", "2019 200\n");
    const std::string command =
        "cd " + quoted(scratch.path()) + " && PATH=" + quoted(bin) + ":$PATH SBATCH_EXPORT=NONE" +
        " ORNAX_SITE_FILE=" + quoted(site) + " " + c.env + " " +
        quoted(kCluster / (c.one_day ? "ornax_submit_day.sh" : "ornax_submit_days.sh")) +
        " --dry-run data config/region.cfg " + (c.one_day ? "2019 200" : "days.txt") + " work";
    ASSERT_EQ(run(command, out), c.status) << read_text(out);
    const std::string text = read_text(out);
    if (c.status != 0) {
        EXPECT_NE(text.find(c.expected), std::string::npos) << text;
        return;
    }
    int submissions = 0;
    for (const std::string& line : lines_of(out)) {
        if (line.rfind("sbatch ", 0) != 0) continue;
        ++submissions;
        EXPECT_NE(line.find(c.expected), std::string::npos) << line;
        // the recipes' settings by name, whatever SBATCH_EXPORT says
        EXPECT_NE(line.find("ORNAX_CLUSTER_DIR=" + kCluster.string() + ","), std::string::npos)
            << line;
        EXPECT_NE(line.find("ORNAX_SITE_FILE=" + site.string()), std::string::npos) << line;
    }
    EXPECT_EQ(submissions, c.one_day ? 1 : 3) << text;
}
INSTANTIATE_TEST_SUITE_P(
    Cases, SiteFile,
    ::testing::Values(
        SiteCase{"account_partition_qos",
                 "ORNAX_ACCOUNT=et\nORNAX_PARTITION=batch\nORNAX_QOS=long\n", "",
                 " --account=et --partition=batch --qos=long ", 0},
        SiteCase{"further_options", "ORNAX_SITE_SBATCH_OPTIONS='--mem-per-cpu=2G -C avx'\n", "",
                 " --mem-per-cpu=2G -C avx ", 0},
        SiteCase{"user_options_after_the_site", "ORNAX_PARTITION=batch\n",
                 "ORNAX_SBATCH_OPTIONS=--partition=debug", " --partition=batch --partition=debug ",
                 0},
        SiteCase{"environment_default_kept", "ORNAX_QOS=${ORNAX_QOS:-normal}\n", "ORNAX_QOS=long",
                 " --qos=long ", 0},
        SiteCase{"all_exported", "", "ORNAX_EXE=/opt/ornax/ornax.x",
                 " --export=ALL,ORNAX_CLUSTER_DIR=", 0},
        SiteCase{"none_exported", "ORNAX_EXPORT=NONE\n", "", " --export=ORNAX_CLUSTER_DIR=", 0},
        SiteCase{"one_day", "ORNAX_ACCOUNT=et\n", "", " --account=et ", 0, true},
        SiteCase{"one_day_log_in_the_work_root", "", "", "/work/%x-%j.out --export=ALL,", 0, true},
        SiteCase{"site_file_missing", "", "ORNAX_SITE_FILE=/no/such/site.sh",
                 "no site file /no/such/site.sh (ORNAX_SITE_FILE)", 2},
        SiteCase{"site_file_fails", "false\n", "", "the site file ", 2},
        SiteCase{"comma_in_a_setting", "", "ORNAX_EXE=/opt/a,b/ornax.x",
                 "ORNAX_EXE=/opt/a,b/ornax.x holds a comma", 2},
        SiteCase{"export_neither_all_nor_none", "ORNAX_EXPORT=SOME\n", "",
                 "ORNAX_EXPORT is ALL or NONE, not SOME", 2}),
    [](const auto& info) { return std::string(info.param.name); });

struct CheckCase {
    const char* name;
    const char* env;  // stand-in partition and options
    int status;
    const char* expected;
    bool one_day = false;
    bool subset_unwritable = false;
};
void PrintTo(const CheckCase& c, std::ostream* os) {
    *os << c.name;
}
class Preflight : public ::testing::TestWithParam<CheckCase> {};

TEST_P(Preflight, NamesTheMismatch) {
    const CheckCase& c = GetParam();
    ScratchDir scratch(std::string("check_") + c.name);
    const fs::path bin = write_stubs(scratch.path()), data = make_region(scratch.path() / "data");
    if (c.subset_unwritable) unwritable_subset_folder(data);
    write_file(scratch.path() / "days.txt", "2019 200\n");
    const fs::path out = scratch.path() / "out.txt";
    const std::string command =
        "cd " + quoted(scratch.path()) + " && PATH=" + quoted(bin) + ":$PATH " + c.env + " " +
        quoted(kCluster / (c.one_day ? "ornax_submit_day.sh" : "ornax_submit_days.sh")) +
        " --check data config/region.cfg " + (c.one_day ? "2019 200" : "days.txt") + " work";
    EXPECT_EQ(run(command, out), c.status) << read_text(out);
    const std::string text = read_text(out);
    EXPECT_NE(text.find(c.expected), std::string::npos) << text;
    EXPECT_NE(text.find("MPI types of srun (srun --mpi=list; choose one with ORNAX_MPI_TYPE):\n"
                        "    none\n    pmi2\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("ompi_info | grep -i pmi"), std::string::npos) << text;
    EXPECT_FALSE(fs::exists(scratch.path() / "work")) << "the check created the work root";
}
INSTANTIATE_TEST_SUITE_P(
    Cases, Preflight,
    ::testing::Values(
        CheckCase{"fits", "", 0, "the job fits partition batch; the folders are writable"},
        CheckCase{"too_few_cpus", "STUB_CPUS=4", 3,
                  "--cpus-per-task=8 x 1 task(s) per node = 8 CPUs, but the largest node of "
                  "partition batch has 4"},
        CheckCase{"options_override_the_script", "STUB_CPUS=4 ORNAX_SBATCH_OPTIONS='-c 2'", 0,
                  "1 task(s) per node, 2 CPU(s) per task"},
        CheckCase{"time_over", "STUB_MAX_TIME=02:00:00", 3,
                  "--time=04:00:00 is more than MaxTime=02:00:00 of partition batch"},
        CheckCase{"time_in_days", "STUB_MAX_TIME=2-00:00:00 ORNAX_SBATCH_OPTIONS=--time=1-12", 0,
                  "time 1-12, partition (the default)"},
        CheckCase{"no_such_partition", "ORNAX_SBATCH_OPTIONS=--partition=gpu", 3,
                  "no partition gpu (scontrol show partition gpu); the partitions: batch*"},
        CheckCase{"partition_down", "STUB_STATE=DOWN", 3, "partition batch is DOWN, not UP"},
        CheckCase{"large_day_nodes", "STUB_NODES=1", 3,
                  "--nodes=4 but partition batch has 1 node(s)", true},
        CheckCase{"large_day_cpus", "STUB_CPUS=16", 3,
                  "--cpus-per-task=16 x 2 task(s) per node = 32 CPUs", true},
        CheckCase{"subset_folder_unwritable", "", 3,
                  "/data/manifest.txt (the folder of the land subset file", false, true}),
    [](const auto& info) { return std::string(info.param.name); });

// A resubmission without the first submission's settings in the environment replays them;
// a setting given again overrides its record.
TEST(ClusterResubmit, ReplaysTheFirstSubmissionsSettings) {
    ScratchDir scratch("resubmit_replay");
    const fs::path bin = write_stubs(scratch.path()), data = make_region(scratch.path() / "data");
    const fs::path work = scratch.path() / "work", out = scratch.path() / "out.txt";
    const fs::path record = scratch.path() / "sbatch.txt";
    write_file(scratch.path() / "days.txt", "2019 200\n2019 201\n");
    const std::string stubs = "cd " + quoted(scratch.path()) + " && PATH=" + quoted(bin) +
                              ":$PATH STUB_SBATCH=" + quoted(record) + " ";
    ASSERT_EQ(run(stubs +
                      "ORNAX_SBATCH_OPTIONS='--cpus-per-task=1 --time=00:10:00' "
                      "ORNAX_DAYS_PER_TASK=2 ORNAX_EXE=/opt/ornax/ornax.x " +
                      quoted(kCluster / "ornax_submit_days.sh") +
                      " data config/region.cfg days.txt work",
                  out),
              0)
        << read_text(out);
    fs::path list;
    for (const auto& e : fs::directory_iterator(work / "slurm")) list = e.path();
    fs::create_directories(work / "2019200");
    write_file(work / "2019200" / "ornax_day.done", "2026-01-01T00:00:00Z\n");
    fs::create_directories(work / "2019201");
    write_file(work / "2019201" / "ornax_day.status", "137\n");

    // a damaged line of the record is named and skipped, the others still count
    { std::ofstream(work / "ornax_submission.txt", std::ios::app) << "ORNAX_LAUNCHER='srun\n"; }
    // the printed command repeats every setting
    EXPECT_EQ(
        run(stubs + quoted(kCluster / "ornax_days_status.sh") + " " + quoted(list) + " work", out),
        3);
    EXPECT_NE(read_text(out).find("Resubmit them with: ORNAX_SBATCH_OPTIONS=--cpus-per-task=1\\ "
                                  "--time=00:10:00 ORNAX_EXE=/opt/ornax/ornax.x "
                                  "ORNAX_DAYS_PER_TASK=2 "),
              std::string::npos)
        << read_text(out);
    EXPECT_NE(read_text(out).find(" --resubmit " + data.string() + " config/region.cfg -r0\n"),
              std::string::npos)
        << read_text(out);
    EXPECT_NE(read_text(out).find((work / "ornax_submission.txt").string() +
                                  " line 8: not a setting of the recipes, ignored: "
                                  "ORNAX_LAUNCHER='srun"),
              std::string::npos)
        << read_text(out);

    struct Phase {
        const char* env;
        const char* exe;
    };
    for (const Phase& phase : {Phase{"", "/opt/ornax/ornax.x"},
                               Phase{"ORNAX_EXE=/opt/new/ornax.x ", "/opt/new/ornax.x"}}) {
        fs::remove(record);
        ASSERT_EQ(run(stubs + phase.env + quoted(kCluster / "ornax_days_status.sh") + " " +
                          quoted(list) + " work --resubmit",
                      out),
                  3)
            << read_text(out);
        const std::vector<std::string> jobs = lines_of(record);
        ASSERT_EQ(jobs.size(), 3u) << read_text(out);
        for (const std::string& job : jobs) {
            EXPECT_NE(job.find(" --cpus-per-task=1 --time=00:10:00 "), std::string::npos) << job;
            EXPECT_NE(job.find(std::string("ORNAX_EXE=") + phase.exe + ","), std::string::npos)
                << job;
            EXPECT_NE(job.find("ORNAX_DAYS_PER_TASK=2"), std::string::npos) << job;
        }
        for (std::size_t j : {0u, 1u})  // the preparation and the array run the data's days
            EXPECT_NE(jobs[j].find(" " + data.string() + " config/region.cfg "), std::string::npos)
                << jobs[j];
        EXPECT_NE(jobs[1].find("--array=1-1%100 "), std::string::npos) << jobs[1];
    }
    // each run appended its report; the summary covers every list submitted
    const std::string reports = read_text(work / "ornax_days_report.txt");
    EXPECT_EQ(std::count(reports.begin(), reports.end(), '\n') > 20, true) << reports;
    const std::string summary = read_text(work / "ornax_days_summary.txt");
    EXPECT_NE(summary.find("All days submitted to " + work.string() + ": 2 "), std::string::npos)
        << summary;
    EXPECT_NE(summary.find("    2019201 (exit status 137: signal 9)"), std::string::npos)
        << summary;
}

// A day that fails keeps the reason: the folder that cannot be written, the program's own
// message; screen.txt holds both streams.
struct ReasonCase {
    const char* name;
    const char* program;  // the stand-in's body
    bool subset_unwritable;
    int status;
    const char* reason;
};
void PrintTo(const ReasonCase& c, std::ostream* os) {
    *os << c.name;
}
class DayReason : public ::testing::TestWithParam<ReasonCase> {};

TEST_P(DayReason, NamesTheFileAndTheSystemsReason) {
    const ReasonCase& c = GetParam();
    ScratchDir scratch(std::string("reason_") + c.name);
    const fs::path data = make_region(scratch.path() / "data");
    if (c.subset_unwritable) unwritable_subset_folder(data);
    const fs::path exe = scratch.path() / "stand_in.x", out = scratch.path() / "out.txt";
    write_file(exe, std::string("#!/bin/bash\n") + c.program + "\n", true);
    const fs::path work = scratch.path() / "work";
    EXPECT_EQ(run("ORNAX_EXE=" + quoted(exe) + " " + quoted(kCluster / "ornax_day_task.sh") + " " +
                      quoted(data) + " config/region.cfg 2019 200 " + quoted(work),
                  out),
              c.status);
    const std::string reason = read_text(work / "2019200" / "ornax_day.reason");
    EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
    EXPECT_NE(read_text(out).find(c.reason), std::string::npos) << read_text(out);
    EXPECT_EQ(read_text(work / "2019200" / "ornax_day.status"), std::to_string(c.status) + "\n");
}
INSTANTIATE_TEST_SUITE_P(
    Cases, DayReason,
    ::testing::Values(
        ReasonCase{"subset_folder", "exit 0", true, 3,
                   "/data/manifest.txt (line 4 of " /* the folder, then the reason */},
        ReasonCase{"subset_folder_reason", "exit 0", true, 3,
                   ": Not a directory; the data "
                   "folder must be writable"},
        ReasonCase{"program_message_on_stderr",
                   "echo 'ornax.x: cannot open /x/lst.bin: No such file or directory' >&2; exit 3",
                   false, 3, "ornax.x: cannot open /x/lst.bin: No such file or directory"},
        ReasonCase{"killed", "kill -9 $$", false, 137, "ended by signal 9 (SIGKILL)"}),
    [](const auto& info) { return std::string(info.param.name); });

// Submitted with a relative path and run from a copy in Slurm's spool, with the job's
// folder elsewhere and the log Slurm opened in the submit folder: the recipes are found
// from SLURM_SUBMIT_DIR and the log ends in the work root.
TEST(ClusterJob, RelativeSubmissionLogsInTheWorkRoot) {
    ScratchDir scratch("relative_job");
    const fs::path bin = write_stubs(scratch.path()), data = make_region(scratch.path() / "data");
    const fs::path spool = scratch.path() / "spool" / "slurm_script";
    fs::create_directories(spool.parent_path());
    fs::copy_file(kCluster / "ornax_region_day.sbatch", spool);
    const fs::path submit = kCluster.parent_path().parent_path();  // the checkout
    const fs::path stray = scratch.path() / "ornax-day-7.out";
    write_file(stray, "");
    const fs::path job_dir = scratch.path() / "elsewhere", out = scratch.path() / "out.txt";
    fs::create_directories(job_dir);
    const std::string relative_data = fs::relative(data, submit).string();
    const std::string relative_work = fs::relative(scratch.path() / "work", submit).string();
    ASSERT_EQ(run("cd " + quoted(job_dir) + " && PATH=" + quoted(bin) +
                      ":$PATH SLURM_JOB_ID=7 SLURM_CPUS_PER_TASK=1 SLURM_SUBMIT_DIR=" +
                      quoted(submit) + " STUB_COMMAND=examples/cluster/ornax_region_day.sbatch" +
                      " STUB_STDOUT=" + quoted(stray) +
                      " STUB_RECORD=" + quoted(scratch.path() / "srun.txt") +
                      " ORNAX_EXE=/bin/true bash " + quoted(spool) + " " + relative_data +
                      " config/region.cfg 2019 200 " + relative_work,
                  out),
              0)
        << read_text(out);
    EXPECT_TRUE(fs::exists(scratch.path() / "work" / "2019200" / "ornax_day.done"));
    const std::string log = read_text(scratch.path() / "work" / "ornax-day-7.out");
    EXPECT_NE(log.find("ornax_region_day.sbatch: srun -c 1 --cpu-bind=cores " +
                       (kCluster / "ornax_rank_env.sh").string()),
              std::string::npos)
        << log << read_text(out);
    EXPECT_FALSE(fs::exists(stray)) << "the empty log in the submit folder stays";
}

// Slurm's warning of the time limit (USR1 to the batch script) during a day: that day is
// marked and classed "time limit", the task's next day does not start.
TEST(ClusterJob, TimeLimitWarningStopsTheTask) {
    ScratchDir scratch("time_limit");
    const fs::path data = make_region(scratch.path() / "data");
    const fs::path days = scratch.path() / "days.txt", ran = scratch.path() / "ran.txt";
    write_file(days, "2019 200\n2019 201\n");
    // the batch script is the grandparent of the program (batch -> day task -> program)
    const fs::path exe = scratch.path() / "stand_in.x";
    write_file(exe,
               "#!/bin/bash\necho \"$4\" >> " + quoted(ran) +
                   "\nbatch=$(awk '{ print $4 }' /proc/$PPID/stat)\nkill -USR1 \"$batch\"\n"
                   "sleep 0.3\nkill -TERM $$\n",
               true);
    const fs::path work = scratch.path() / "work", out = scratch.path() / "out.txt";
    EXPECT_EQ(
        run("SLURM_ARRAY_TASK_ID=1 ORNAX_DAYS_PER_TASK=2 ORNAX_CLUSTER_DIR=" + quoted(kCluster) +
                " ORNAX_EXE=" + quoted(exe) + " bash " + quoted(kCluster / "ornax_days.sbatch") +
                " " + quoted(data) + " config/region.cfg " + quoted(days) + " " + quoted(work),
            out),
        143)
        << read_text(out);
    EXPECT_EQ(read_text(ran), "200\n") << read_text(out);
    EXPECT_TRUE(fs::exists(work / "2019200" / "ornax_day.time_limit")) << read_text(out);
    EXPECT_EQ(
        run(quoted(kCluster / "ornax_days_status.sh") + " " + quoted(days) + " " + quoted(work),
            out),
        3);
    const std::string report = read_text(out);
    EXPECT_NE(report.find("    2019200 (time limit, exit status 143: signal 15"), std::string::npos)
        << report;
    EXPECT_NE(report.find("    2019201 (not run, or its job ended while it ran)"),
              std::string::npos)
        << report;
}

// The site file's modules are loaded in every job before its days run; a job on a node
// without a module command says so and runs nothing.
struct ModuleCase {
    const char* name;
    bool module_command;  // a stand-in module on the PATH
    int status;
    const char* expected;  // in the recorded module call, or in the message
};
void PrintTo(const ModuleCase& c, std::ostream* os) {
    *os << c.name;
}
class SiteModules : public ::testing::TestWithParam<ModuleCase> {};

TEST_P(SiteModules, AreLoadedInTheJob) {
    const ModuleCase& c = GetParam();
    if (!c.module_command &&
        (fs::exists("/etc/profile.d/modules.sh") || fs::exists("/etc/profile.d/lmod.sh") ||
         fs::exists("/usr/share/modules/init/bash")))
        GTEST_SKIP() << "this machine has environment modules";
    ScratchDir scratch(std::string("modules_") + c.name);
    const fs::path bin = write_stubs(scratch.path()), data = make_region(scratch.path() / "data");
    const fs::path loaded = scratch.path() / "loaded.txt", out = scratch.path() / "out.txt";
    if (c.module_command)
        write_file(bin / "module", "#!/bin/sh\necho \"$*\" >> " + quoted(loaded) + "\n", true);
    write_file(scratch.path() / "site.sh", "ORNAX_MODULES='gcc/12 netcdf-c'\n");
    write_file(scratch.path() / "days.txt", "2019 200\n");
    EXPECT_EQ(run("PATH=" + quoted(bin) + ":/usr/bin:/bin SLURM_ARRAY_TASK_ID=1 ORNAX_SITE_FILE=" +
                      quoted(scratch.path() / "site.sh") +
                      " ORNAX_CLUSTER_DIR=" + quoted(kCluster) + " ORNAX_EXE=/bin/true bash " +
                      quoted(kCluster / "ornax_days.sbatch") + " " + quoted(data) +
                      " config/region.cfg " + quoted(scratch.path() / "days.txt") + " " +
                      quoted(scratch.path() / "work"),
                  out),
              c.status)
        << read_text(out);
    const std::string text = c.module_command ? read_text(loaded) : read_text(out);
    EXPECT_NE(text.find(c.expected), std::string::npos) << text;
    EXPECT_EQ(fs::exists(scratch.path() / "work" / "2019200" / "ornax_day.done"), c.status == 0);
}
INSTANTIATE_TEST_SUITE_P(Cases, SiteModules,
                         ::testing::Values(ModuleCase{"loaded", true, 0, "load gcc/12 netcdf-c\n"},
                                           ModuleCase{"no_module_command", false, 2,
                                                      "ORNAX_MODULES=\"gcc/12 netcdf-c\" ("}),
                         [](const auto& info) { return std::string(info.param.name); });

struct RankCase {
    const char* name;
    const char* env;
    const char* label;
};
void PrintTo(const RankCase& c, std::ostream* os) {
    *os << c.name;
}
class RankLabel : public ::testing::TestWithParam<RankCase> {};

// Under mpirun inside an allocation every process inherits the batch step's SLURM_PROCID:
// the launcher's own rank comes first.
TEST_P(RankLabel, EachProcessNamesItsOwnRank) {
    const RankCase& c = GetParam();
    ScratchDir scratch(std::string("rank_") + c.name);
    const fs::path out = scratch.path() / "out.txt";
    ASSERT_EQ(run(std::string("env -u OMPI_COMM_WORLD_RANK -u PMIX_RANK -u SLURM_PROCID "
                              "ORNAX_RANK_VERBOSE=1 ") +
                      c.env + " " + quoted(kCluster / "ornax_rank_env.sh") + " true",
                  out),
              0);
    EXPECT_NE(read_text(out).find(std::string("ornax_rank_env.sh: process ") + c.label + " on "),
              std::string::npos)
        << read_text(out);
}
INSTANTIATE_TEST_SUITE_P(
    Cases, RankLabel,
    ::testing::Values(RankCase{"mpirun", "SLURM_PROCID=0 OMPI_COMM_WORLD_RANK=1", "1"},
                      RankCase{"pmix", "SLURM_PROCID=0 PMIX_RANK=2", "2"},
                      RankCase{"srun", "SLURM_PROCID=3", "3"}, RankCase{"none", "", "?"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
