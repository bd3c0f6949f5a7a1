// Speed of the fixed-column text toolkit: reading label-and-value lines as the site and
// configuration readers do, writing report fields, and composing free-format log lines.
#include <benchmark/benchmark.h>

#include <string>

#include "utils/fixed_text.hpp"

namespace {

const std::string real_line = "Surface pressure(mbar) :        1013.25  1012.75";
const std::string implied_line = "Leaf area index               275";
const std::string exponent_line = "Specific humidity(%) :        .12345E-01.13456E-01";

void BM_read_fixed_real(benchmark::State& state) {
    float a = 0.0f, b = 0.0f, c = 0.0f;
    for (auto _ : state) {
        read_fixed_real(real_line, 31, 40, 3, a);
        read_fixed_real(implied_line, 31, 37, 2, b);
        read_fixed_real(exponent_line, 31, 40, 5, c);
        benchmark::DoNotOptimize(a + b + c);
    }
    state.SetItemsProcessed(state.iterations() * 3);
}
BENCHMARK(BM_read_fixed_real);

void BM_read_fixed_int(benchmark::State& state) {
    const std::string line = "Number of PBL levels          41        ";
    int value = 0;
    for (auto _ : state) {
        read_fixed_int(line, 31, 40, value);
        benchmark::DoNotOptimize(value);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_read_fixed_int);

void BM_write_report_line(benchmark::State& state) {
    float value = 1013.25f;
    for (auto _ : state) {
        std::string line(1, ' ');
        line += write_a("Surface pressure(mbar) :", 30);
        line += write_f(value, 10, 3);
        line += write_f(value - 0.5f, 10, 3);
        line += write_e(0.0123, 10, 5);
        benchmark::DoNotOptimize(line.data());
        value += 0.001f;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_write_report_line);

void BM_free_format_line(benchmark::State& state) {
    int row = 0;
    for (auto _ : state) {
        FreeLine line;
        line << "Read line " << row << " of " << 2000 << "value" << 299.15f;
        benchmark::DoNotOptimize(line.str().data());
        ++row;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_free_format_line);

}  // namespace

BENCHMARK_MAIN();
