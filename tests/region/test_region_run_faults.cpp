// Region runs that fail, are killed or overlap never leave half-written or misleading
// outputs: after a good run, the outputs stay byte-identical to it whatever happens next,
// and every failure names its cause on the error stream.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <map>
#include <thread>

#include "ornax90/output/file_set.hpp"
#include "support/region_run.hpp"

namespace {

using namespace region_run_test;

using Snapshot = std::map<std::string, std::string>;  // file name -> bytes

// The run's published files: the output folder and the line diagnostic (the run record
// holds times, so only a run that fails must leave it as it was).
Snapshot outputs_of(const fs::path& data) {
    Snapshot files;
    for (const auto& entry : fs::directory_iterator(data / "output"))
        if (!entry.path().string().ends_with(".ornax-tmp") &&
            entry.path().filename() != "run_info.json")
            files[entry.path().filename().string()] = read_text(entry.path());
    files["testMETtemp15.bin"] = read_text(data / "testMETtemp15.bin");
    return files;
}

int temporaries(const fs::path& data) {
    int count = 0;
    for (const fs::path& dir : {data, data / "output"})
        for (const auto& entry : fs::directory_iterator(dir))
            count += entry.path().string().ends_with(".ornax-tmp");
    return count;
}

// What the process of a run may do: write files up to a size, hold a number of files
// open, read files that its permissions do not allow (as root).
struct RunLimits {
    rlim_t file_size = 0;           // > 0: a full file system, writes beyond this size fail
    rlim_t open_files = 0;          // > 0: at most this many open descriptors
    bool obey_permissions = false;  // root too is refused what the permission bits refuse
};

// Starts ornax.x on the data set without waiting, within the limits.
pid_t start_ornax(const fs::path& data, const std::string& args, RunLimits limits = {}) {
    const pid_t child = fork();
    if (child == 0) {
        const rlimit size{limits.file_size, limits.file_size};
        if (limits.file_size > 0) setrlimit(RLIMIT_FSIZE, &size);
        const rlimit files{limits.open_files, limits.open_files};
        if (limits.open_files > 0) setrlimit(RLIMIT_NOFILE, &files);
        // Without these capabilities in the bounding set, root after exec is bound by the
        // permission bits like any user.
        if (limits.obey_permissions) {
            prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
            prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
        }
        const std::string cmd = "cd '" + data.string() + "' && HOME_DIR='" + data.string() +
                                "' exec '" + ORNAX_EXE + "' " + args + " > run.out 2> run.err";
        execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return child;
}

int wait_exit(pid_t child) {
    int raw = 0;
    waitpid(child, &raw, 0);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -WTERMSIG(raw);
}

// Waits until the run has written a line of its quality raster (a temporary of some size).
bool wait_for_lines(const fs::path& data) {
    for (int i = 0; i < 20000; ++i) {
        for (const auto& entry : fs::directory_iterator(data / "output")) {
            const std::string name = entry.path().filename().string();
            std::error_code error;
            if (name.rfind(".region_qc.bin.", 0) == 0 && fs::file_size(entry.path(), error) > 0)
                return true;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return false;
}

const char* const kArgs = "-r0 config/region.cfg 2019 200";

// A generated region big enough to be caught mid-run, run once to have the good outputs.
class RegionFaults : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        scratch_ = new ScratchDir("faults");
        make_region(data(), 100, 60, 7);
        ASSERT_EQ(run_ornax(data(), kArgs), 0) << read_text(data() / "run.err");
        good_ = new Snapshot(outputs_of(data()));
    }
    static void TearDownTestSuite() { delete good_, delete scratch_; }
    static fs::path data() { return scratch_->path(); }
    void expect_good_outputs() const {
        const Snapshot now = outputs_of(data());
        EXPECT_EQ(now.size(), good_->size());
        for (const auto& [name, bytes] : *good_) EXPECT_EQ(now.at(name), bytes) << name;
    }

    static ScratchDir* scratch_;
    static Snapshot* good_;
};
ScratchDir* RegionFaults::scratch_ = nullptr;
Snapshot* RegionFaults::good_ = nullptr;

TEST_F(RegionFaults, KilledRunLeavesTheGoodOutputsAndTheNextRunCleansUp) {
    const pid_t child = start_ornax(data(), kArgs);
    ASSERT_TRUE(wait_for_lines(data()));
    kill(child, SIGKILL);
    ASSERT_EQ(wait_exit(child), -SIGKILL);
    expect_good_outputs();
    EXPECT_GT(temporaries(data()), 0) << "the killed run left no partial files to clean";
    EXPECT_EQ(run_ornax(data(), kArgs), 0);
    expect_good_outputs();
    EXPECT_EQ(temporaries(data()), 0);
    EXPECT_NE(log_text(data()).find("of a stopped run"), std::string::npos);
}

// The second run starts at once, or once the first is writing its lines.
TEST_F(RegionFaults, OverlappingRunsBothCompleteWithTheSingleRunOutputs) {
    for (bool wait_first : {false, true}) {
        const pid_t first = start_ornax(data(), kArgs);
        if (wait_first) {
            ASSERT_TRUE(wait_for_lines(data()));
        }
        const pid_t second = start_ornax(data(), kArgs);
        EXPECT_EQ(wait_exit(first), 0);
        EXPECT_EQ(wait_exit(second), 0);
        expect_good_outputs();
        EXPECT_EQ(temporaries(data()), 0);
    }
}

// Each fault is made, the run fails with status 3 and its cause on the error stream,
// the outputs stay those of the good run, and the fault is undone.
TEST_F(RegionFaults, FailedRunsKeepTheGoodOutputsAndNameTheirCause) {
    const fs::path config = data() / "config";
    const std::string domain = read_text(config / "domain_run.txt");
    const std::string met = read_text(config / "met.cfg");
    const std::string table = read_text(config / "landcover.txt");
    auto write = [](const fs::path& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    };
    // Run grid of 10^9 columns of 1 degree from 0 to 1.0E9 degrees east (lines 2, 3, 4, 8).
    auto huge_grid = [&] {
        std::istringstream in(domain);
        std::string text, line;
        const std::map<int, std::string> values = {
            {2, "1.0E9"}, {3, "0."}, {4, "1."}, {8, "1000000000"}};
        for (int n = 1; std::getline(in, line); ++n)
            text += (values.count(n) ? line.substr(0, 30) + values.at(n) : line) + "\n";
        write(config / "domain_run.txt", text);
    };
    const std::string region_cfg = read_text(config / "region.cfg");
    const std::string snow_domain = read_text(config / "domain_snow.txt");
    // Snow grid moved north of the run grid, its raster still of its size: no line lies on it.
    auto snow_grid_elsewhere = [&] {
        const RegionSpec spec = make_region_spec(-10000, 3400, 100, 60, 7, 2019, 200);
        GridBox snow = spec.run;
        snow.south_h += 1000;
        int status = 0;
        write_text_file(config / "domain_snow.txt", domain_text("snow grid", snow, -9999.0f),
                        status);
    };
    // The leaf-size raster named as the soil-resistance output of the run.
    auto leaf_size_is_an_output = [&] {
        std::istringstream in(region_cfg);
        std::string text, line;
        for (int n = 1; std::getline(in, line); ++n)
            text += (n == 20 ? line.substr(0, 30) + "../output/RS2.bin" : line) + "\n";
        write(config / "region.cfg", text);
    };
    const fs::path day = data() / "met" / "2019200", next_day = data() / "met" / "2019201";
    const fs::path leaf_size = data() / "static" / "xl.bin";
    // the run leaves the day's sunrise cache in a folder of the day's name
    auto move_back = [](const fs::path& folder) {
        fs::remove_all(folder);
        fs::rename(folder.string() + "x", folder);
    };
    struct Fault {
        const char* what;
        std::function<void()> make;
        RunLimits limits;
        const char* cause;  // on the error stream
        std::function<void()> undo;
    };
    const auto nothing = [] {};
    const Fault faults[] = {
        {"no met configuration",
         [&] { fs::remove(config / "met.cfg"); },
         {},
         "met.cfg\" it names does not exist",
         nothing},
        {"empty class table",
         [&] { write(config / "landcover.txt", ""); },
         {},
         "landcover.txt",
         nothing},
        {"10^9-column run grid", huge_grid, {}, "has 1000000000 columns", nothing},
        {"full file system", nothing, {20000}, "File too large", nothing},
        {"day without forecast data",
         [&] { fs::rename(day, day.string() + "x"); },
         {},
         "No pixel was computed",
         [&] { move_back(day); }},
        {"next day without forecast data",
         [&] { fs::rename(next_day, next_day.string() + "x"); },
         {},
         "the earlier outputs in",
         [&] { move_back(next_day); }},
        {"input raster not readable",
         [&] { fs::permissions(leaf_size, fs::perms::none); },
         {0, 0, true},
         "xl.bin: Permission denied",
         [&] { fs::permissions(leaf_size, fs::perms::owner_read | fs::perms::owner_write); }},
        {"40 open files at most", nothing, {0, 40}, "Too many open files", nothing},
        {"every line fails",
         snow_grid_elsewhere,
         {},
         "No pixel was computed (60 of 60 lines",
         nothing},
        {"input named as an output",
         leaf_size_is_an_output,
         {},
         "output/RS2.bin would replace the input",
         nothing},
        {"land subset file in a missing folder",
         [&] {
             std::string text = met;
             const std::size_t at = text.find("config/land_subset.dat");
             if (at != std::string::npos) text.replace(at, 6, "nodir");
             write(config / "met.cfg", text);
         },
         {},
         "land subset file nodir/land_subset.dat: No such file or directory",
         nothing},
    };
    for (const Fault& fault : faults) {
        const std::string record = read_text(data() / "output" / "run_info.json");
        fault.make();
        EXPECT_EQ(wait_exit(start_ornax(data(), kArgs, fault.limits)), 3) << fault.what;
        EXPECT_NE(read_text(data() / "run.err").find(fault.cause), std::string::npos)
            << fault.what << ":\n"
            << read_text(data() / "run.err");
        expect_good_outputs();
        EXPECT_EQ(read_text(data() / "output" / "run_info.json"), record) << fault.what;
        EXPECT_EQ(temporaries(data()), 0) << fault.what;
        fault.undo();
        write(config / "domain_run.txt", domain);
        write(config / "met.cfg", met);
        write(config / "landcover.txt", table);
        write(config / "region.cfg", region_cfg);
        write(config / "domain_snow.txt", snow_domain);
    }
    EXPECT_EQ(run_ornax(data(), kArgs), 0) << read_text(data() / "run.err");
    expect_good_outputs();
}

// A configuration that ends before its output folder line writes into the working
// directory, never the file-system root.
TEST_F(RegionFaults, NoOutputFolderLineMeansTheWorkingDirectory) {
    const fs::path config = data() / "config" / "region.cfg";
    const std::string text = read_text(config);
    std::istringstream in(text);
    std::string shortened, line;
    for (int n = 1; std::getline(in, line) && n <= 63; ++n) shortened += line + "\n";
    std::ofstream(config, std::ios::binary) << shortened;
    EXPECT_EQ(run_ornax(data(), kArgs), 0) << read_text(data() / "run.err");
    std::ofstream(config, std::ios::binary) << text;
    EXPECT_EQ(read_text(data() / "EDAY.bin"), good_->at("EDAY.bin"));
    EXPECT_EQ(read_text(data() / "region_qc.bin"), good_->at("region_qc.bin"));
}

}  // namespace

namespace {

using namespace region_run_test;

// A run whose screen is a pipe nobody reads: every write fails (the process is not ended
// by SIGPIPE), the run computes and publishes as always, the log names the screen failure
// and the exit status says the screen lines were lost.
TEST_F(RegionFaults, ClosedScreenPipeIsAScreenFailureOnly) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGPIPE, SIG_DFL);  // as a shell would start it
        dup2(ends[1], STDOUT_FILENO);
        close(ends[0]);
        close(ends[1]);
        const std::string cmd = "cd '" + data().string() + "' && HOME_DIR='" + data().string() +
                                "' exec '" + ORNAX_EXE + "' " + kArgs + " 2> run.err";
        execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ends[0]);  // nobody reads the screen
    close(ends[1]);
    fs::remove(data() / "output" / "run_info.json");
    EXPECT_EQ(wait_exit(child), 3) << read_text(data() / "run.err");
    expect_good_outputs();
    EXPECT_TRUE(fs::exists(data() / "output" / "run_info.json"));
    EXPECT_EQ(temporaries(data()), 0);
    EXPECT_NE(log_text(data()).find("Cannot write to the standard output (Broken pipe)"),
              std::string::npos);
    EXPECT_NE(read_text(data() / "run.err").find("Broken pipe"), std::string::npos);
}

// A variable dropped from the output list takes its raster and descriptors with it when the
// next run publishes; listed again, it comes back as it was.
TEST_F(RegionFaults, OutputsOfAnEarlierRunThatAreNotWrittenAgainGo) {
    const fs::path list = data() / "config" / "outlist.txt";
    const std::string text = read_text(list);
    std::string shorter = text;
    const std::size_t at = shorter.find("\nRS2       1");
    ASSERT_NE(at, std::string::npos);
    shorter[at + 11] = '0';
    std::ofstream(list, std::ios::binary) << shorter;
    const fs::path notes = data() / "output" / "RS2.txt";  // not an output name: stays
    std::ofstream(notes) << "notes";
    EXPECT_EQ(run_ornax(data(), kArgs), 0) << read_text(data() / "run.err");
    for (const char* gone : {"RS2.bin", "RS2.vrt", "RS2.ctl"})
        EXPECT_FALSE(fs::exists(data() / "output" / gone)) << gone;
    EXPECT_TRUE(fs::exists(notes));
    EXPECT_EQ(read_text(data() / "output" / "EDAY.bin"), good_->at("EDAY.bin"));
    EXPECT_EQ(read_text(data() / "output" / "run_info.json").find("RS2"), std::string::npos);
    EXPECT_NE(log_text(data()).find("RS2.bin, an output of an earlier run"), std::string::npos);
    std::ofstream(list, std::ios::binary) << text;
    fs::remove(notes);
    EXPECT_EQ(run_ornax(data(), kArgs), 0) << read_text(data() / "run.err");
    expect_good_outputs();
}

// An output folder whose name is Latin-1, not UTF-8: the run publishes and its record is
// valid JSON with the byte written as \xe9.
TEST_F(RegionFaults, PathThatIsNotUtf8IsEscapedInTheRunRecord) {
    const fs::path config = data() / "config" / "region.cfg";
    const std::string text = read_text(config);
    std::istringstream in(text);
    std::string changed, line;
    for (int n = 1; std::getline(in, line); ++n)
        changed += (n == 64 ? line.substr(0, 30) + "/r\xe9sultats" : line) + "\n";
    const fs::path folder = data() / "r\xe9sultats";
    fs::create_directories(folder);
    std::ofstream(config, std::ios::binary) << changed;
    EXPECT_EQ(run_ornax(data(), kArgs), 0) << read_text(data() / "run.err");
    std::ofstream(config, std::ios::binary) << text;
    EXPECT_EQ(read_text(folder / "EDAY.bin"), good_->at("EDAY.bin"));
    const nlohmann::json record =
        nlohmann::json::parse(read_text(folder / "run_info.json"), nullptr, false);
    ASSERT_TRUE(record.is_object());
    EXPECT_NE(record["outputs"]["directory"].get<std::string>().find("r\\xe9sultats"),
              std::string::npos);
    fs::remove_all(folder);
}

}  // namespace

namespace {

using namespace region_run_test;

// The summary tool takes a quality raster only when it is the run grid's size and every
// value is a quality flag.
TEST_F(RegionFaults, SummaryRefusesARasterThatIsNotAQualityRaster) {
    const std::vector<float> good = read_floats(data() / "output" / "region_qc.bin");
    ASSERT_EQ(good.size(), 6000u);
    struct Case {
        const char* name;
        std::function<std::vector<float>()> raster;
        int exit_status;
        const char* message;  // on the error stream
    };
    const auto changed = [&](std::size_t at, float value) {
        std::vector<float> values = good;
        values[at] = value;
        return values;
    };
    const Case cases[] = {
        {"the run's own", [&] { return good; }, 0, ""},
        {"odd flag not listed (1 + 2 + 32)", [&] { return changed(5, 35.0f); }, 0, ""},
        {"negative", [&] { return changed(101, -2147483648.0f); }, 3,
         "the first at column 2, line 2: -2.14748e+09"},
        {"even flag", [&] { return changed(0, 16.0f); }, 3, "column 1, line 1: 16"},
        {"fraction", [&] { return changed(0, 0.5f); }, 3, "1 pixels hold values"},
        {"NaN", [&] { return changed(0, std::nanf("")); }, 3, "not quality flags"},
        {"one line short", [&] { return std::vector<float>(good.begin() + 100, good.end()); }, 3,
         "not the 24000 of 100 x 60"},
        {"one value long", [&] { return std::vector<float>(6001, 0.0f); }, 3, "holds 24004 bytes"},
    };
    const fs::path folder = data() / "summary";
    fs::create_directories(folder);
    for (const Case& c : cases) {
        write_floats(folder / "region_qc.bin", c.raster());
        std::string cmd = "'";
        cmd.append(ORNAX_TOOLS_DIR).append("/ornax_region_summary' '");
        cmd.append((data() / "config" / "domain_run.txt").string()).append("' '");
        cmd.append(folder.string()).append("' > '").append((folder / "out").string());
        cmd.append("' 2> '").append((folder / "err").string()).append("'");
        const int rc = std::system(cmd.c_str());
        EXPECT_EQ(WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, c.exit_status) << c.name;
        EXPECT_NE(read_text(folder / "err").find(c.message), std::string::npos)
            << c.name << ": " << read_text(folder / "err");
    }
    fs::remove_all(folder);
}

}  // namespace

#ifdef ORNAX_HAVE_NETCDF
namespace {

using namespace region_run_test;

// ornax_to_netcdf OUTPUT_DIR TARGET in the data set, its address space capped when
// `address_space` > 0; the exit status.
int export_run(const fs::path& data, const std::string& dir, const std::string& target,
               rlim_t address_space = 0) {
    const pid_t child = fork();
    if (child == 0) {
        const rlimit limit{address_space, address_space};
        if (address_space > 0) setrlimit(RLIMIT_AS, &limit);
        std::string cmd = "cd '" + data.string() + "' && exec '";
        cmd.append(ORNAX_TOOLS_DIR).append("/ornax_to_netcdf' ").append(dir + " " + target);
        cmd.append(" > export.out 2> export.err");
        execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return wait_exit(child);
}

// The export never writes over a file of the run, and a grid too large for memory ends it
// with a message instead of an abort.
TEST_F(RegionFaults, ExportRefusesTheRunsOwnFilesAndSaysWhenMemoryIsShort) {
    struct Case {
        const char* target;
        int exit_status;
        const char* message;
    };
    const Case cases[] = {
        {"output/EDAY.bin", 3, "output/EDAY.bin is "},
        {"output/./region_qc.vrt", 3, "a file of the run"},
        {"output/run_info.json", 3, "run_info.json, a file of the run"},
        {"static/xl.bin", 3, "xl.bin, a file of the run"},
        {"output/ornax_outputs.nc", 0, ""},
    };
    const std::string record = read_text(data() / "output" / "run_info.json");
    for (const Case& c : cases) {
        EXPECT_EQ(export_run(data(), "output", c.target), c.exit_status) << c.target;
        EXPECT_NE(read_text(data() / "export.err").find(c.message), std::string::npos)
            << c.target << ": " << read_text(data() / "export.err");
    }
    fs::remove(data() / "output" / "ornax_outputs.nc");
    expect_good_outputs();
    EXPECT_EQ(read_text(data() / "output" / "run_info.json"), record);

#if !defined(__SANITIZE_ADDRESS__)  // the address sanitizer's shadow memory needs no limit
    // a record of 100000 x 100000 pixels: 40 GB per variable
    nlohmann::json huge = nlohmann::json::parse(record);
    huge["run_grid"]["ncols"] = 100000;
    huge["run_grid"]["nrows"] = 100000;
    fs::create_directories(data() / "huge");
    std::ofstream(data() / "huge" / "run_info.json") << huge.dump();
    EXPECT_EQ(export_run(data(), "huge", "huge/huge.nc", rlim_t{2} << 30), 3);
    EXPECT_NE(read_text(data() / "export.err").find("not enough memory for the grid of 100000"),
              std::string::npos)
        << read_text(data() / "export.err");
    EXPECT_FALSE(fs::exists(data() / "huge" / "huge.nc"));
    fs::remove_all(data() / "huge");
#endif
}

}  // namespace
#endif

namespace {

using namespace region_run_test;

// Holds a shared lock on the output folder's lock file in a process of its own, as a live
// run on another host or in another container does, until the object goes.
class LockHolder {
public:
    explicit LockHolder(const fs::path& lock_file) {
        int ready[2];
        if (pipe(ready) != 0) return;
        child_ = fork();
        if (child_ == 0) {
            const int fd = open(lock_file.c_str(), O_RDWR | O_CREAT, 0666);
            struct flock lock {};
            lock.l_type = F_RDLCK;
            lock.l_whence = SEEK_SET;
            const char held = fd >= 0 && fcntl(fd, F_OFD_SETLK, &lock) == 0 ? '1' : '0';
            if (write(ready[1], &held, 1) != 1) _exit(1);
            pause();
            _exit(0);
        }
        close(ready[1]);
        if (read(ready[0], &held_, 1) != 1) held_ = '0';
        close(ready[0]);
    }
    ~LockHolder() {
        if (child_ > 0) kill(child_, SIGKILL), waitpid(child_, nullptr, 0);
    }
    bool held() const { return held_ == '1'; }

private:
    pid_t child_ = -1;
    char held_ = '0';
};

// Temporaries that look abandoned: one of another host (its run may be live there), one of
// this host whose process ended, one named by an earlier version. While another process
// holds the folder's lock only this host's dead one goes; once nobody holds it, all go.
TEST_F(RegionFaults, TemporariesOfRunsElsewhereStayWhileTheFolderIsLocked) {
    const fs::path out = data() / "output";
    const long dead = 4194303;  // above any process id in use here
    const fs::path elsewhere =
        out / (".EDAY.bin." + std::to_string(dead) + "-0.otherhost.0123abcd.4026531836.ornax-tmp");
    const fs::path here = ornax_output_temporary_name((out / "EDAY.bin").string(), dead, 0);
    const fs::path older = out / (".EDAY.bin." + std::to_string(dead) + "-0.ornax-tmp");
    for (const fs::path& file : {elsewhere, here, older}) std::ofstream(file) << "partial";
    {
        LockHolder holder(out / ornax_output_lock_name);
        ASSERT_TRUE(holder.held());
        EXPECT_EQ(run_ornax(data(), kArgs), 0) << read_text(data() / "run.err");
        EXPECT_TRUE(fs::exists(elsewhere));
        EXPECT_FALSE(fs::exists(here));
        EXPECT_TRUE(fs::exists(older));
    }
    expect_good_outputs();
    EXPECT_EQ(run_ornax(data(), kArgs), 0) << read_text(data() / "run.err");
    EXPECT_FALSE(fs::exists(elsewhere));
    EXPECT_FALSE(fs::exists(older));
    EXPECT_EQ(temporaries(data()), 0);
    expect_good_outputs();
}

}  // namespace
