// Summary of a region run's outputs: lines and pixels processed, the count of each
// quality flag, and the mean and range of chosen outputs over the computed pixels.
//
// Usage: ornax_region_summary [--png] RUN_DOMAIN_FILE OUTPUT_DIR [SECONDS] [NAME...]
// NAME defaults to EDAY and XLE2; SECONDS, when given, is printed as the elapsed time.
// --png also draws the quicklook maps EDAY.png and region_qc.png of the run.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ornax90/ORNAX_data_mod.hpp"
#include "ornax90/ORNAX_io_mod.hpp"
#include "ornax90/output/vocabulary.hpp"
#include "ornax90/output/quality.hpp"
#include "ornax90/output/quicklook.hpp"
#include "ornax90/file_io_mod.hpp"
#include "ornax90/type_kinds.hpp"

namespace {

// Every line of a raster on the run grid; false when a line cannot be read.
bool read_raster(const std::string& path, const Spatialinfodata& grid, std::vector<float>& all) {
    all.clear();
    std::vector<float> line(static_cast<size_t>(grid.ncols));
    for (int r = 1; r <= grid.nrows; ++r) {
        int status = 0;
        read_2d_real_by_line(path, grid.ncols, grid.nrows, r, 0, line, status);
        if (status != 0) return false;
        all.insert(all.end(), line.begin(), line.end());
    }
    return true;
}

// Unit of an output variable for the summary lines.
const char* unit_of(const std::string& name) {
    if (name.size() > 3 && name.compare(name.size() - 3, 3, "DAY") == 0) return "MJ m-2 day-1";
    if (name[0] == 'T') return "deg C";
    if (name == "Z2") return "m";
    if (name == "RA2" || name == "RS2" || name == "RX2") return "s m-1";
    if (name.rfind("ZEN", 0) == 0) return "rad";
    return "W m-2";
}

struct Stats {
    long long n = 0;
    double sum = 0, low = 0, high = 0;
    void add(double v) {
        if (n == 0 || v < low) low = v;
        if (n == 0 || v > high) high = v;
        sum += v;
        ++n;
    }
};

// The run's date from its run record, empty when there is none.
std::string run_date(const std::string& dir) {
    std::ifstream in(dir + "/run_info.json");
    const nlohmann::json info = nlohmann::json::parse(in, nullptr, false);
    return info.is_object() ? info.value("date", "") : "";
}

// EDAY.png (when EDAY.bin is there) and region_qc.png of a finished run. false on failure.
bool draw_quicklooks(const std::string& dir, const Spatialinfodata& grid,
                     const std::vector<float>& qc) {
    const std::string date = run_date(dir);
    const std::string when = date.empty() ? "" : ", " + date;
    std::vector<unsigned char> flags(qc.size());
    for (size_t i = 0; i < qc.size(); ++i)
        flags[i] = static_cast<unsigned char>(qc[i]);  // validated: a flag from 0 to 255
    int status = 0;
    ornax_write_quality_quicklook(dir + "/region_qc.png", flags, grid, "Quality flags" + when,
                                  status);
    bool ok = status == 0;
    std::vector<float> eday;
    Ornaxoutputvarinfotype info;
    ornax_output_var_info("EDAY", info);
    if (read_raster(dir + "/EDAY.bin", grid, eday)) {
        ornax_write_value_quicklook(dir + "/EDAY.png", eday, grid, grid.spare_value,
                                    "EDAY " + info.description + when, info.units, status);
        ok = ok && status == 0;
    }
    std::printf("Quicklook maps %s in %s\n", ok ? "written" : "NOT written", dir.c_str());
    return ok;
}

// A raster of exactly the run grid's size; otherwise a message names the file and sizes.
bool raster_size_valid(const std::string& path, const Spatialinfodata& grid) {
    std::error_code error;
    const auto bytes = std::filesystem::file_size(path, error);
    const auto expected = static_cast<std::uintmax_t>(grid.ncols) * grid.nrows * 4;
    if (error || bytes != expected) {
        std::fprintf(stderr, "%s holds %ju bytes, not the %ju of %d x %d 4-byte values\n",
                     path.c_str(), static_cast<std::uintmax_t>(error ? 0 : bytes), expected,
                     grid.ncols, grid.nrows);
        return false;
    }
    return true;
}

// Quality flags only; otherwise a message names the file and the first pixel that is not.
bool quality_flags_valid(const std::string& path, const Spatialinfodata& grid,
                         const std::vector<float>& qc) {
    long long invalid = 0;
    std::size_t first = 0;
    for (std::size_t i = 0; i < qc.size(); ++i)
        if (!ornax_quality_flag_valid(qc[i]) && invalid++ == 0) first = i;
    if (invalid == 0) return true;
    const std::size_t ncols = static_cast<std::size_t>(grid.ncols);
    std::fprintf(stderr,
                 "%s is not a quality raster: %lld pixels hold values that are not quality "
                 "flags, the first at column %zu, line %zu: %g\n",
                 path.c_str(), invalid, first % ncols + 1, first / ncols + 1,
                 static_cast<double>(qc[first]));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const bool png = argc > 1 && std::string(argv[1]) == "--png";
    if (png) {
        --argc;
        ++argv;
    }
    if (argc < 3) {
        std::fprintf(stderr, "Usage: %s [--png] RUN_DOMAIN_FILE OUTPUT_DIR [SECONDS] [NAME...]\n",
                     argv[0]);
        return 2;
    }
    Spatialinfodata grid;
    int status = 0;
    read_domain_info_from_txt(argv[1], grid, status);
    if (status != 0 || grid.ncols < 1 || grid.nrows < 1) {
        std::fprintf(stderr, "Cannot read the run grid from %s\n", argv[1]);
        return ornax_status_failure;
    }
    const std::string dir = argv[2];
    int first_name = 3;
    double seconds = -1.0;
    if (argc > 3 && std::isdigit(static_cast<unsigned char>(argv[3][0]))) {
        seconds = std::atof(argv[3]);
        first_name = 4;
    }
    std::vector<std::string> names;
    for (int i = first_name; i < argc; ++i) names.push_back(argv[i]);
    if (names.empty()) names = {"EDAY", "XLE2"};

    std::vector<float> qc;
    if (!raster_size_valid(dir + "/region_qc.bin", grid)) return ornax_status_failure;
    if (!read_raster(dir + "/region_qc.bin", grid, qc)) {
        std::fprintf(stderr, "Cannot read %s/region_qc.bin\n", dir.c_str());
        return ornax_status_failure;
    }
    if (!quality_flags_valid(dir + "/region_qc.bin", grid, qc)) return ornax_status_failure;
    std::map<int, long long> flags;
    for (float q : qc) ++flags[static_cast<int>(q)];
    std::printf("Outputs in %s\n", std::filesystem::absolute(dir).string().c_str());
    std::printf("Lines processed: %d, pixels: %lld (%d per line)\n", grid.nrows,
                static_cast<long long>(qc.size()), grid.ncols);
    std::printf("Quality flags:\n");
    for (const auto& [flag, count] : flags)
        std::printf("  QC %3d: %lld pixels (%s)\n", flag, count,
                    ornax_quality_flag_label(flag).c_str());
    for (const std::string& name : names) {
        std::vector<float> values;
        if (!read_raster(dir + "/" + name + ".bin", grid, values)) {
            std::printf("%-8s not written\n", name.c_str());
            continue;
        }
        Stats s;
        for (size_t i = 0; i < values.size(); ++i)
            if (qc[i] == 0.0f && values[i] != grid.spare_value) s.add(values[i]);
        if (s.n == 0)
            std::printf("%-8s no computed pixel\n", name.c_str());
        else
            std::printf("%-8s over %lld computed pixels: mean %.3f, range %.3f to %.3f %s\n",
                        name.c_str(), s.n, s.sum / s.n, s.low, s.high, unit_of(name));
    }
    if (seconds >= 0.0) std::printf("Elapsed time: %.2f s\n", seconds);
    if (png && !draw_quicklooks(dir, grid, qc)) return ornax_status_failure;
    return 0;
}
