// Support of the composite tests: scratch folders, little-endian rasters, a day folder as
// a region run leaves it, and running the programs.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

namespace composite_test {

namespace fs = std::filesystem;

inline constexpr float missing = -999.0f;

// A folder removed with everything in it when the object goes.
class Scratch {
public:
    explicit Scratch(const std::string& tag) {
        path_ = fs::temp_directory_path() /
                ("ornax_composite_" + tag + "_" + std::to_string(::getpid()));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~Scratch() { fs::remove_all(path_); }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

inline std::string read_text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

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
    std::string bytes(values.size() * 4, '\0');
    for (size_t i = 0; i < values.size(); ++i) {
        std::uint32_t u = 0;
        std::memcpy(&u, &values[i], 4);
        for (int b = 0; b < 4; ++b) bytes[4 * i + b] = static_cast<char>((u >> (8 * b)) & 0xff);
    }
    std::ofstream(path, std::ios::binary) << bytes;
}

// A day folder as a finished region run leaves it: run_info.json of the grid (ncols x
// nrows of 0.05 deg from 100 W 34 N) and the three rasters.
inline void write_day(const fs::path& folder, int year, int doy, int ncols, int nrows,
                      const std::vector<float>& eday, const std::vector<float>& eref,
                      const std::vector<float>& quality, int exit_status = 0,
                      double west = -100.0) {
    fs::create_directories(folder);
    const nlohmann::json info = {{"year", year},
                                 {"day_of_year", doy},
                                 {"exit_status", exit_status},
                                 {"run_grid",
                                  {{"west_lon", west},
                                   {"east_lon", west + 0.05 * ncols},
                                   {"south_lat", 34.0},
                                   {"north_lat", 34.0 + 0.05 * nrows},
                                   {"dlon", 0.05},
                                   {"dlat", 0.05},
                                   {"ncols", ncols},
                                   {"nrows", nrows},
                                   {"missing_value", missing}}}};
    std::ofstream(folder / "run_info.json") << info.dump(2);
    write_floats(folder / "EDAY.bin", eday);
    write_floats(folder / "EREFDAY.bin", eref);
    write_floats(folder / "region_qc.bin", quality);
}

// Runs a shell command; screen output to dir/run.out and dir/run.err. Exit status.
inline int run_in(const fs::path& dir, const std::string& command) {
    const std::string cmd = "cd '" + dir.string() + "' && HOME_DIR='" + dir.string() + "' " +
                            command + " > run.out 2> run.err";
    const int rc = std::system(cmd.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

}  // namespace composite_test
