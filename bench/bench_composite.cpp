// Speed and memory of ornax_composite: synthetic days of a 1000 x 1000 grid (EDAY, EREFDAY
// and region_qc with clouds over about a third of the pixels each day, and their run
// records) written to a temporary folder, then gap-filled and composited into weekly
// windows with the gap limit of 10 days. Peak resident memory (getrusage) is reported
// after 30 and after 90 days: it is set by the grid and the gap limit, not by the days.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "composite/gapfill.hpp"
#include "composite/options.hpp"
#include "composite/run.hpp"
#include "ornax90/file_io_mod.hpp"

namespace {

namespace fs = std::filesystem;

constexpr int grid_side = 1000;
constexpr float missing = -999.0f;

double peak_rss_mib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss in KiB on Linux
}

void write_raster(const fs::path& path, const std::vector<float>& values) {
    std::vector<unsigned char> bytes(values.size() * 4);
    raster_encode_le(values.data(), values.size(), bytes.data());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// Days 2019 001 onwards in dir, each a finished run's folder.
void write_days(const fs::path& dir, int days) {
    const std::size_t pixels = static_cast<std::size_t>(grid_side) * grid_side;
    std::vector<float> eday(pixels), eref(pixels), quality(pixels);
    std::uint32_t state = 12345;
    const auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(state >> 8) / 16777216.0f;
    };
    for (int d = 1; d <= days; ++d) {
        const fs::path folder = dir / ("2019" +
                                       std::string(d < 10    ? "00"
                                                   : d < 100 ? "0"
                                                             : "") +
                                       std::to_string(d));
        fs::create_directories(folder);
        for (std::size_t i = 0; i < pixels; ++i) {
            const bool clear = next() > 0.33f;
            quality[i] = clear ? 0.0f : 77.0f;
            eref[i] = clear ? 15.0f + 5.0f * next() : missing;
            eday[i] = clear ? eref[i] * (0.3f + 0.5f * next()) : missing;
        }
        write_raster(folder / "EDAY.bin", eday);
        write_raster(folder / "EREFDAY.bin", eref);
        write_raster(folder / "region_qc.bin", quality);
        const nlohmann::json info = {{"year", 2019},
                                     {"day_of_year", d},
                                     {"exit_status", 0},
                                     {"run_grid",
                                      {{"west_lon", -100.0},
                                       {"east_lon", -50.0},
                                       {"south_lat", 0.0},
                                       {"north_lat", 50.0},
                                       {"dlon", 0.05},
                                       {"dlat", 0.05},
                                       {"ncols", grid_side},
                                       {"nrows", grid_side},
                                       {"missing_value", missing}}}};
        std::ofstream(folder / "run_info.json") << info.dump();
    }
}

void BM_composite_days(benchmark::State& state) {
    const int days = static_cast<int>(state.range(0));
    const fs::path dir =
        fs::temp_directory_path() / ("ornax_bench_composite_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    write_days(dir / "days", days);
    Ornaxcompositeoptionstype options;
    options.input_dir = (dir / "days").string();
    options.output_dir = (dir / "out").string();
    options.window_days = 7;
    options.max_gap = ornax_composite_default_max_gap;
    const double before = peak_rss_mib();
    for (auto _ : state) {
        Ornaxcompositereporttype report;
        int status = 0;
        ornax_composite_run(options, report, status);
        if (status != 0) state.SkipWithError("the composite run failed");
    }
    state.counters["days"] = days;
    state.counters["peak_rss_MiB"] = peak_rss_mib();
    state.counters["peak_rss_before_MiB"] = before;
    fs::remove_all(dir);
}
BENCHMARK(BM_composite_days)->Arg(30)->Arg(90)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
