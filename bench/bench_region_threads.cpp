// Region run over threads: a generated region of 400 x 300 pixels (ORNAX_BENCH_COLS /
// ORNAX_BENCH_ROWS change it) run end to end on 1 and on 2 threads in the same process,
// one after the other in each of three rounds (after one untimed run), so that a slow spell
// of the machine falls on both. For each thread count, its fastest run gives the wall time,
// pixels per second and the split of the time: set-up and wall are wall-clock seconds;
// inputs, core and outputs are seconds summed over the threads, and inputs_share is the
// inputs' part of the run's thread-seconds (threads x wall time). speedup_2 is the
// one-thread wall time over the two-thread one.
//
//     build/bench_region_threads
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <omp.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "region_gen/files.hpp"
#include "region_gen/rasters.hpp"
#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/ORNAX_run_mod.hpp"

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

// One region run on `threads` threads; the run log goes to the region directory, the
// screen lines nowhere. False when the run failed.
bool run_region(int threads, Ornaxregionruntimes& times) {
    const fs::path here = fs::current_path();
    fs::current_path(region_dir());
    setenv("HOME_DIR", region_dir().c_str(), 1);
    omp_set_num_threads(threads);
    std::string log_name;
    int status = 0;
    ornax_log_open(log_name, status);
    std::fflush(stdout);
    const int screen = ::dup(STDOUT_FILENO);
    const int null_fd = ::open("/dev/null", O_WRONLY);
    ::dup2(null_fd, STDOUT_FILENO);
    times = Ornaxregionruntimes{};
    ornax_run_region_timed("config/region.cfg", 2, 0, 2019, 200, times, status);
    std::fflush(stdout);
    ::dup2(screen, STDOUT_FILENO);
    ::close(screen);
    ::close(null_fd);
    ornax_log_close();
    fs::current_path(here);
    return status == 0;
}

void BM_RegionThreads(benchmark::State& state) {
    constexpr int thread_counts[] = {1, 2};
    if (region_dir().empty()) {
        state.SkipWithError("cannot write the generated region");
        return;
    }
    // the land subset and the sunrise cache written, as a day's later runs find them
    Ornaxregionruntimes untimed;
    if (!run_region(1, untimed)) state.SkipWithError("region run failed; see the ORNAX log");
    Ornaxregionruntimes best[2];
    for (auto _ : state) {
        for (int n = 0; n < 2; ++n) {
            Ornaxregionruntimes t;
            if (!run_region(thread_counts[n], t))
                state.SkipWithError("region run failed; see the ORNAX log");
            if (best[n].total_s == 0.0 || t.total_s < best[n].total_s) best[n] = t;
        }
    }
    const char* const of_count[] = {"_1", "_2"};
    for (int n = 0; n < 2; ++n) {
        const Ornaxregionruntimes& t = best[n];
        const std::string of = of_count[n];
        state.counters["wall_s" + of] = t.total_s;
        state.counters["pixels_per_s" + of] = t.total_s > 0 ? t.pixels / t.total_s : 0.0;
        state.counters["setup_s" + of] = t.setup_s;
        state.counters["inputs_s" + of] = t.read_s;
        state.counters["core_s" + of] = t.core_s;
        state.counters["outputs_s" + of] = t.write_s;
        state.counters["inputs_share" + of] =
            t.total_s > 0 ? t.read_s / (thread_counts[n] * t.total_s) : 0.0;
    }
    state.counters["speedup_2"] = best[1].total_s > 0 ? best[0].total_s / best[1].total_s : 0.0;
}
BENCHMARK(BM_RegionThreads)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (region_written && !region_dir().empty()) fs::remove_all(region_dir());
    return 0;
}
