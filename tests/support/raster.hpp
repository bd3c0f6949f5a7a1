// Helpers shared by the raster, domain and region configuration tests: a fresh
// temporary directory per test and a capture of the run log.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

#include "ornax90/ORNAX_log_mod.hpp"

namespace raster_test {

// A directory removed with everything in it when the test ends.
class ScratchDir {
public:
    ScratchDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        path_ = std::filesystem::temp_directory_path() /
                ("ornax_" + name + "_" + std::to_string(::getpid()));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() { std::filesystem::remove_all(path_); }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Redirects the run log into a file for the life of the object.
class LogCapture {
public:
    explicit LogCapture(const ScratchDir& dir) : saved_unit_(ornax_logunit) {
        unit_ = ornax_get_next_unit_number();
        path_ = dir.file("capture.log");
        ornax_unit_open(unit_, path_, "w");
        ornax_logunit = unit_;
    }
    ~LogCapture() {
        ornax_logunit = saved_unit_;
        ornax_release_unit_number(unit_);
    }
    std::string text() const {
        std::fflush(ornax_unit_stream(unit_));
        std::ifstream in(path_);
        std::stringstream buffer;
        buffer << in.rdbuf();
        return buffer.str();
    }
    bool contains(const std::string& piece) const {
        return text().find(piece) != std::string::npos;
    }

private:
    int saved_unit_;
    int unit_;
    std::string path_;
};

inline void write_text(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

}  // namespace raster_test
