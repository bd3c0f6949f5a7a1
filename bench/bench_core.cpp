// Speed of the model core: one run of ornax per point over a fixed, deterministic set of
// realistic mid-latitude summer points, with the mean number of heat-flux evaluations; and
// the one-lane instance against the vector instance over the same 1,200 varied points
// (slow-converging and failing ones among them), in CPU microseconds per point, with the
// ratio and the instruction set the vector instance runs on.
#include <benchmark/benchmark.h>

#include <ctime>
#include <vector>

#include "support/core_points.hpp"
#include "ornax90/ORNAX_core_mod.hpp"

namespace {

constexpr int point_count = 64;
constexpr int varied_count = 1200;

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

// Summer points with every 13th one given a much warmer second surface temperature (slow
// to converge), every 17th a cold, dark second time (negative net radiation: fails) and
// every 29th a sounding that ends below the boundary layer (fails at initialisation).
const std::vector<Point>& varied_points() {
    static const std::vector<Point> set = [] {
        std::vector<Point> v(varied_count);
        for (int n = 0; n < varied_count; ++n) {
            Point& p = v[static_cast<std::size_t>(n)];
            core_points::make_summer_point(n, p.land, p.input);
            if (n % 13 == 5) p.input.trad2 += 15.0f;
            if (n % 17 == 3) p.input.sdn2 = 5.0f, p.input.lwdn2 = 150.0f;
            if (n % 29 == 11) p.input.npbl = 1;
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

std::vector<Ornaxcorepoint> core_points_of(const std::vector<Point>& set) {
    std::vector<Ornaxcorepoint> batch(set.size());
    for (std::size_t n = 0; n < set.size(); ++n) {
        batch[n].land = &set[n].land;
        batch[n].input = &set[n].input;
    }
    return batch;
}

void run_one_lane(std::vector<Ornaxcorepoint>& batch) {
    for (Ornaxcorepoint& p : batch) {
        ornax(*p.land, *p.input, p.output, 2, 0, p.status, &p.diagnostics);
    }
}

double cpu_seconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

void count_outcomes(benchmark::State& bench, const std::vector<Ornaxcorepoint>& batch) {
    double failed = 0.0, evaluations = 0.0, slowest = 0.0;
    for (const Ornaxcorepoint& p : batch) {
        failed += p.status != 0 ? 1.0 : 0.0;
        evaluations += p.diagnostics.hn_evaluations;
        slowest = std::max(slowest, static_cast<double>(p.diagnostics.hn_evaluations));
    }
    bench.counters["points"] = static_cast<double>(batch.size());
    bench.counters["failed"] = failed;
    bench.counters["mean_evaluations"] = evaluations / static_cast<double>(batch.size());
    bench.counters["max_evaluations"] = slowest;
}

void BM_core_one_lane(benchmark::State& bench) {
    std::vector<Ornaxcorepoint> batch = core_points_of(varied_points());
    for (auto _ : bench) {
        run_one_lane(batch);
        benchmark::DoNotOptimize(batch.data());
    }
    count_outcomes(bench, batch);
    bench.SetItemsProcessed(static_cast<int64_t>(bench.iterations()) * varied_count);
}

void BM_core_vector(benchmark::State& bench) {
    std::vector<Ornaxcorepoint> batch = core_points_of(varied_points());
    // the one-lane instance on the same points, for the ratio
    std::vector<Ornaxcorepoint> one = core_points_of(varied_points());
    const double one_start = cpu_seconds();
    run_one_lane(one);
    const double one_lane_us = (cpu_seconds() - one_start) * 1e6 / varied_count;
    double vector_s = 0.0;
    for (auto _ : bench) {
        const double start = cpu_seconds();
        ornax_lanes_run(batch, 2, 0);
        vector_s += cpu_seconds() - start;
        benchmark::DoNotOptimize(batch.data());
    }
    count_outcomes(bench, batch);
    const double vector_us =
        vector_s * 1e6 / (static_cast<double>(bench.iterations()) * varied_count);
    bench.counters["one_lane_us_per_point"] = one_lane_us;
    bench.counters["vector_us_per_point"] = vector_us;
    bench.counters["one_lane_over_vector"] = vector_us > 0.0 ? one_lane_us / vector_us : 0.0;
    bench.counters["lanes"] = ornax_lanes_width();
    bench.SetLabel(ornax_lanes_instruction_set());
    bench.SetItemsProcessed(static_cast<int64_t>(bench.iterations()) * varied_count);
}

}  // namespace

BENCHMARK(BM_ornax_point)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_core_one_lane)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_core_vector)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
