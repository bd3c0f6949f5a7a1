// Helpers of the region run tests: scratch directories, running ornax.x in a data set
// directory, reading rasters and logs, and building generated example regions.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "region_gen/files.hpp"
#include "region_gen/rasters.hpp"
#include "ornax90/ORNAX_log_mod.hpp"

namespace region_run_test {

namespace fs = std::filesystem;

// A directory removed with everything in it when the object goes.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& tag) {
        path_ =
            fs::temp_directory_path() / ("ornax_region_" + tag + "_" + std::to_string(::getpid()));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~ScratchDir() { fs::remove_all(path_); }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// Sends the run log into a file for the life of the object.
class LogCapture {
public:
    explicit LogCapture(const fs::path& file) : saved_(ornax_logunit), path_(file.string()) {
        unit_ = ornax_get_next_unit_number();
        ornax_unit_open(unit_, path_, "w");
        ornax_logunit = unit_;
    }
    ~LogCapture() {
        ornax_logunit = saved_;
        ornax_release_unit_number(unit_);
    }
    bool contains(const std::string& piece) const {
        std::fflush(ornax_unit_stream(unit_));
        std::ifstream in(path_);
        std::stringstream buffer;
        buffer << in.rdbuf();
        return buffer.str().find(piece) != std::string::npos;
    }

private:
    int saved_, unit_ = 0;
    std::string path_;
};

// Runs ornax.x with the arguments in dir (HOME_DIR = dir, and the environment settings
// `env`, such as "OMP_NUM_THREADS=2"); screen output goes to dir/run.out and dir/run.err.
// Returns the exit status.
inline int run_ornax(const fs::path& dir, const std::string& args, const std::string& env = "") {
    const std::string cmd = "cd '" + dir.string() + "' && HOME_DIR='" + dir.string() + "' " + env +
                            " '" + ORNAX_EXE + "' " + args + " > run.out 2> run.err";
    const int rc = std::system(cmd.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

inline std::string read_text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

// Every run log (ORNAX-*.log) in dir, one after the other.
inline std::string log_text(const fs::path& dir) {
    std::string all;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().filename().string().rfind("ORNAX-", 0) == 0)
            all += read_text(entry.path());
    return all;
}

// A raster of little-endian 4-byte reals, whatever the host.
inline std::vector<float> read_floats(const fs::path& path) {
    const std::string bytes = read_text(path);
    std::vector<float> values(bytes.size() / 4);
    for (size_t i = 0; i < values.size(); ++i) {
        std::uint32_t u = 0;
        for (int b = 0; b < 4; ++b)
            u |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[4 * i + b]))
                 << (8 * b);
        std::memcpy(&values[i], &u, 4);
    }
    return values;
}

inline void write_floats(const fs::path& path, const std::vector<float>& values) {
    int status = 0;
    write_raster(path, values, status);
    ASSERT_EQ(status, 0) << path;
}

// A generated example region of ncols x nrows pixels in dir (south-west corner 100 W, 34 N).
inline RegionSpec make_region(const fs::path& dir, int ncols, int nrows, unsigned seed) {
    const RegionSpec spec = make_region_spec(-10000, 3400, ncols, nrows, seed, 2019, 200);
    int status = 0;
    write_example_region(dir.string(), spec, status);
    EXPECT_EQ(status, 0);
    return spec;
}

// Names of the output rasters of a generated region, in list order.
inline std::vector<std::string> generated_outputs() {
    std::vector<std::string> names;
    for (const Ornaxoutputrecordtype& entry : outlist_entries()) names.push_back(entry.name);
    return names;
}

// The run record without what differs between runs of the same data: the program, its
// command line, the thread count, the timing and the time it finished.
inline nlohmann::json comparable_run_info(const std::string& text) {
    nlohmann::json record = nlohmann::json::parse(text, nullptr, false);
    if (record.is_object())
        for (const char* key :
             {"program", "command_line", "threads", "time_seconds", "finished_utc"})
            record.erase(key);
    return record;
}

}  // namespace region_run_test
