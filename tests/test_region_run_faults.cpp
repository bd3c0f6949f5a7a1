// Region runs that fail, are killed or overlap never leave half-written or misleading
// outputs: after a good run, the outputs stay byte-identical to it whatever happens next,
// and every failure names its cause on the error stream.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <map>
#include <thread>

#include "test_region_run_support.hpp"

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

// Starts ornax.x on the data set without waiting; `limit` > 0 caps the size of files.
pid_t start_ornax(const fs::path& data, const std::string& args, rlim_t limit = 0) {
    const pid_t child = fork();
    if (child == 0) {
        const rlimit r{limit, limit};
        if (limit > 0) setrlimit(RLIMIT_FSIZE, &r);
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
    struct Fault {
        const char* what;
        std::function<void()> make;
        rlim_t file_size_limit;  // a full file system: writes beyond this size fail
        const char* cause;       // on the error stream
    };
    const Fault faults[] = {
        {"no met configuration", [&] { fs::remove(config / "met.cfg"); }, 0, "met.cfg not exist."},
        {"empty class table", [&] { write(config / "landcover.txt", ""); }, 0, "landcover.txt"},
        {"10^9-column run grid", huge_grid, 0, "has 1000000000 columns"},
        {"full file system", [] {}, 20000, "File too large"},
    };
    for (const Fault& fault : faults) {
        const std::string record = read_text(data() / "output" / "run_info.json");
        fault.make();
        EXPECT_EQ(wait_exit(start_ornax(data(), kArgs, fault.file_size_limit)), 3) << fault.what;
        EXPECT_NE(read_text(data() / "run.err").find(fault.cause), std::string::npos)
            << fault.what << ":\n" << read_text(data() / "run.err");
        expect_good_outputs();
        EXPECT_EQ(read_text(data() / "output" / "run_info.json"), record) << fault.what;
        EXPECT_EQ(temporaries(data()), 0) << fault.what;
        write(config / "domain_run.txt", domain);
        write(config / "met.cfg", met);
        write(config / "landcover.txt", table);
    }
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
