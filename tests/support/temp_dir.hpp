// Helpers of the forcing and land-mask tests: a fresh temporary working directory per
// test, and little-endian file contents.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <bit>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace temp_dir_test {

namespace fs = std::filesystem;

// Each test runs in its own temporary directory, which is also the working directory
// (common_lc.dat is written there).
class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/ornax_test_XXXXXX";
        dir_ = mkdtemp(pattern);
        old_dir_ = fs::current_path();
        fs::current_path(dir_);
    }
    void TearDown() override {
        fs::current_path(old_dir_);
        fs::remove_all(dir_);
    }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    fs::path dir_, old_dir_;
};

inline std::vector<unsigned char> file_bytes(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

inline void write_bytes(const std::string& file, const std::vector<unsigned char>& bytes) {
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// Value of 1-based 4-byte record r, little-endian.
inline std::int32_t le_int(const std::vector<unsigned char>& b, std::size_t r) {
    const std::size_t at = 4 * (r - 1);
    return static_cast<std::int32_t>(b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
                                     (static_cast<std::uint32_t>(b[at + 3]) << 24));
}

inline float le_real(const std::vector<unsigned char>& b, std::size_t r) {
    return std::bit_cast<float>(le_int(b, r));
}

}  // namespace temp_dir_test
