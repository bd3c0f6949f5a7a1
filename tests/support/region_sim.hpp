// Test support for the region data and simulation tests: a temporary directory and a
// run log captured into a file of it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "ornax90/ORNAX_log_mod.hpp"

// A fresh directory under the system's temporary directory, removed at the end.
class RegionTempDir {
public:
    RegionTempDir() {
        std::random_device seed;
        path_ = std::filesystem::temp_directory_path() /
                ("ornax_region_" + std::to_string(seed()) + "_" + std::to_string(seed()));
        std::filesystem::create_directories(path_);
    }
    ~RegionTempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Sends the run log to a file of a temporary directory while it lives.
class RegionLogCapture {
public:
    RegionLogCapture() : saved_unit_(ornax_logunit) {
        unit_ = ornax_get_next_unit_number();
        ornax_unit_open(unit_, dir_.file("run.log"), "w");
        ornax_logunit = unit_;
    }
    ~RegionLogCapture() {
        ornax_logunit = saved_unit_;
        ornax_release_unit_number(unit_);
    }
    std::string text() const {
        std::ifstream in(dir_.file("run.log"));
        std::stringstream buffer;
        buffer << in.rdbuf();
        return buffer.str();
    }
    int count(const std::string& piece) const {
        const std::string all = text();
        int n = 0;
        for (auto at = all.find(piece); at != std::string::npos; at = all.find(piece, at + 1)) ++n;
        return n;
    }

private:
    RegionTempDir dir_;
    int saved_unit_;
    int unit_;
};
