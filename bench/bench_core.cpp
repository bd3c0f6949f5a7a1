// Speed of the model core: one run of ornax per point over a fixed, deterministic set of
// realistic mid-latitude summer points, with the mean number of heat-flux evaluations.
#include <benchmark/benchmark.h>

#include <vector>

#include "../tests/test_core_points.hpp"
#include "ORNAX_core_mod.hpp"

namespace {

constexpr int point_count = 64;

struct Point {
    Ornaxlandtype land;
    Ornaxinputvartype input;
};

const std::vector<Point>& points() {
    static const std::vector<Point> set = [] {
        std::vector<Point> v(point_count);
        for (int n = 0; n < point_count; ++n) {
            core_points::make_summer_point(n, v[n].land, v[n].input);
        }
        return v;
    }();
    return set;
}

void BM_ornax_point(benchmark::State& bench) {
    const std::vector<Point>& set = points();
    Ornaxoutputvartype out;
    long long evaluations = 0;
    long long runs = 0;
    std::size_t n = 0;
    for (auto _ : bench) {
        const Point& p = set[n];
        int status = 0;
        Ornaxcorediagnostics diag;
        ornax(p.land, p.input, out, 0, 0, status, &diag);
        benchmark::DoNotOptimize(out);
        evaluations += diag.hn_evaluations;
        ++runs;
        n = (n + 1) % set.size();
    }
    bench.counters["hn_evaluations_per_point"] =
        runs > 0 ? static_cast<double>(evaluations) / static_cast<double>(runs) : 0.0;
    bench.counters["points"] = static_cast<double>(set.size());
}

}  // namespace

BENCHMARK(BM_ornax_point)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
