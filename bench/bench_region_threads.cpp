// Region run over threads: a generated region of 400 x 300 pixels (ORNAX_BENCH_COLS /
// ORNAX_BENCH_ROWS change it) run end to end on 1 and on 2 threads in the same process,
// with pixels per second, the speed-up of each run over the one-thread run, and the split
// of the time: set-up and total are wall-clock seconds; inputs, core and outputs are
// seconds summed over the threads; inputs_share is the inputs' part of the run's
// thread-seconds (threads x wall time). Three timed runs each, after one untimed run.
//
//     build/bench_region_threads
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <omp.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "../tools/region_gen/region_gen_files.hpp"
#include "../tools/region_gen/region_gen_rasters.hpp"
#include "ORNAX_log_mod.hpp"
#include "ORNAX_run_mod.hpp"

namespace {

namespace fs = std::filesystem;

int env_int(const char* name, int fallback) {
    const char* v = std::getenv(name);
    return v != nullptr && std::atoi(v) > 0 ? std::atoi(v) : fallback;
}

bool region_written = false;

// The generated region, written once for every run of the process.
const fs::path& region_dir() {
    static const fs::path dir = [] {
        const fs::path d =
            fs::temp_directory_path() / ("ornax_bench_threads_" + std::to_string(::getpid()));
        fs::remove_all(d);
        int status = 0;
        write_example_region(d.string(),
                             make_region_spec(-10000, 3400, env_int("ORNAX_BENCH_COLS", 400),
                                              env_int("ORNAX_BENCH_ROWS", 300), 7, 2019, 200),
                             status);
        region_written = true;
        return status == 0 ? d : fs::path();
    }();
    return dir;
}

double one_thread_seconds = 0.0;  // wall time of the one-thread run, for the speed-up

void BM_RegionThreads(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    if (region_dir().empty()) {
        state.SkipWithError("cannot write the generated region");
        return;
    }
    const fs::path here = fs::current_path();
    fs::current_path(region_dir());
    setenv("HOME_DIR", region_dir().c_str(), 1);
    omp_set_num_threads(threads);
    // The run log goes to the region directory, the screen lines nowhere.
    std::string log_name;
    int status = 0;
    ornax_log_open(log_name, status);
    std::fflush(stdout);
    const int screen = ::dup(STDOUT_FILENO);
    const int null_fd = ::open("/dev/null", O_WRONLY);
    ::dup2(null_fd, STDOUT_FILENO);
    Ornaxregionruntimes sum;
    // An untimed run first, so that every timed run finds the land subset and the sunrise
    // cache as a day's later runs do.
    static bool warmed_up = false;
    if (!warmed_up) {
        Ornaxregionruntimes t;
        ornax_run_region_timed("config/region.cfg", 2, 0, 2019, 200, t, status);
        warmed_up = true;
    }
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
    }
    std::fflush(stdout);
    ::dup2(screen, STDOUT_FILENO);
    ::close(screen);
    ::close(null_fd);
    ornax_log_close();
    fs::current_path(here);
    const double runs = static_cast<double>(state.iterations());
    const double wall = sum.total_s / runs;
    if (threads == 1) one_thread_seconds = wall;
    state.counters["threads"] = threads;
    state.counters["pixels_per_s"] = sum.total_s > 0 ? sum.pixels / sum.total_s : 0.0;
    state.counters["speedup"] = one_thread_seconds > 0 && wall > 0 ? one_thread_seconds / wall : 0;
    state.counters["wall_s"] = wall;
    state.counters["setup_s"] = sum.setup_s / runs;
    state.counters["inputs_s"] = sum.read_s / runs;
    state.counters["core_s"] = sum.core_s / runs;
    state.counters["outputs_s"] = sum.write_s / runs;
    // reading inputs over the thread-seconds of the runs: with one thread, over its wall time
    state.counters["inputs_share"] = sum.total_s > 0 ? sum.read_s / (threads * sum.total_s) : 0;
}
// One thread first: the later runs' speed-up is taken against it.
BENCHMARK(BM_RegionThreads)->Arg(1)->Arg(2)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (region_written && !region_dir().empty()) fs::remove_all(region_dir());
    return 0;
}
