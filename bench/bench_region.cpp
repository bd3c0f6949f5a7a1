// Region run benchmark: the generated example region (100 x 60 pixels by default; set
// ORNAX_BENCH_COLS / ORNAX_BENCH_ROWS to change it) run end to end, with pixels per
// second and the split of the time between set-up, reading the line inputs (with the
// meteorology), the pixel simulation and writing the output lines.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "region_gen/files.hpp"
#include "region_gen/rasters.hpp"
#include "ornax90/ORNAX_run_mod.hpp"

namespace {

int env_int(const char* name, int fallback) {
    const char* v = std::getenv(name);
    return v != nullptr && std::atoi(v) > 0 ? std::atoi(v) : fallback;
}

void BM_RegionRun(benchmark::State& state) {
    namespace fs = std::filesystem;
    const int ncols = env_int("ORNAX_BENCH_COLS", 100), nrows = env_int("ORNAX_BENCH_ROWS", 60);
    const fs::path dir =
        fs::temp_directory_path() / ("ornax_bench_region_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    int status = 0;
    write_example_region(dir.string(), make_region_spec(-10000, 3400, ncols, nrows, 7, 2019, 200),
                         status);
    if (status != 0) {
        state.SkipWithError("cannot write the example region");
        return;
    }
    const fs::path here = fs::current_path();
    fs::current_path(dir);
    setenv("HOME_DIR", dir.c_str(), 1);
    Ornaxregionruntimes sum;
    for (auto _ : state) {
        Ornaxregionruntimes t;
        ornax_run_region_timed("config/region.cfg", 2, 0, 2019, 200, t, status);
        if (status != 0) state.SkipWithError("region run failed; see the ORNAX log");
        sum.setup_s += t.setup_s;
        sum.read_s += t.read_s;
        sum.core_s += t.core_s;
        sum.write_s += t.write_s;
        sum.total_s += t.total_s;
        sum.pixels += t.pixels;
        sum.computed += t.computed;
    }
    fs::current_path(here);
    fs::remove_all(dir);
    const double runs = static_cast<double>(state.iterations());
    state.counters["pixels"] = static_cast<double>(sum.pixels) / runs;
    state.counters["computed"] = static_cast<double>(sum.computed) / runs;
    state.counters["pixels_per_s"] = sum.total_s > 0 ? sum.pixels / sum.total_s : 0.0;
    state.counters["setup_s"] = sum.setup_s / runs;
    state.counters["inputs_s"] = sum.read_s / runs;
    state.counters["core_s"] = sum.core_s / runs;
    state.counters["outputs_s"] = sum.write_s / runs;
}
BENCHMARK(BM_RegionRun)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
