// Speed of the sunrise grid computation (once per day) and of the reduction of forecast-model
// series to one pixel (about 38 calls per pixel: 30 layers and 8 surface fields).
#include <benchmark/benchmark.h>

#include <array>
#include <vector>

#include "ornax90/ORNAX_region_io_mod.hpp"
#include "utils/sunrise_mod.hpp"

// Observation-time grid of a 0.125-degree grid over -125..-67 E, 25..53 N (464 x 224 cells).
static void BM_SunriseMatrixConus(benchmark::State& state) {
    const int ncols = 464, nrows = 224;
    std::vector<float> result(static_cast<std::size_t>(ncols * nrows), -9999.0f);
    std::vector<float> shift(result.size(), -9999.0f);
    const int mode = static_cast<int>(state.range(0));
    for (auto _ : state) {
        int status = 0;
        create_sun_rise_time_matrix_utc(2019, 200, ncols, nrows, mode, 0, -125.0f, 0.125f, 25.0f,
                                        0.125f, result, shift, status);
        benchmark::DoNotOptimize(result.data());
    }
    state.SetItemsProcessed(state.iterations() * ncols * nrows);
}
BENCHMARK(BM_SunriseMatrixConus)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// One quantity of one pixel: both observation times and 24 local hours.
static void BM_LocalTimeVars(benchmark::State& state) {
    std::array<float, 8> day1{}, day2{};
    for (int t = 0; t < 8; ++t) {
        day1[static_cast<std::size_t>(t)] = 280.0f + static_cast<float>(t);
        day2[static_cast<std::size_t>(t)] = 285.0f + static_cast<float>(t);
    }
    std::vector<float> series(24);
    float lon = -100.0f;
    for (auto _ : state) {
        float v1 = 0.0f, v2 = 0.0f;
        int status = 0;
        ornax_get_local_time_vars(lon, 13.2f, 18.7f, day1, day2, -9999.0f, 8, v1, v2, series, 24,
                                  status);
        benchmark::DoNotOptimize(v1);
        benchmark::DoNotOptimize(series.data());
        lon += 0.001f;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LocalTimeVars);

BENCHMARK_MAIN();
