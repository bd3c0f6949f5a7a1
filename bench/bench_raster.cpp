// Speed of raster line access: reading one line of a 2-d and a 3-d raster (each call
// opens, reads and closes the file, as the region run does once per input and line) and
// writing lines into an output raster held open.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ornax90/file_io_mod.hpp"

namespace {

constexpr int bench_ncol = 2000;
constexpr int bench_nrow = 200;
constexpr int bench_nz = 10;

std::string bench_file(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("ornax_bench_" + name)).string();
}

void make_image(const std::string& path, int nz) {
    Real3dArray values;
    values.allocate(bench_ncol, bench_nrow, nz, 1.5f);
    int status = 0;
    write_out_3d_real(values, bench_ncol, bench_nrow, nz, path, status);
}

void BM_read_2d_line(benchmark::State& state) {
    std::string path = bench_file("image.bin");
    make_image(path, 1);
    std::vector<float> line;
    int status = 0, n = 0;
    for (auto _ : state) {
        read_2d_real_by_line(path, bench_ncol, bench_nrow, n % bench_nrow + 1, 0, line, status);
        benchmark::DoNotOptimize(line.data());
        ++n;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bench_ncol * 4);
    std::filesystem::remove(path);
}
BENCHMARK(BM_read_2d_line);

void BM_read_3d_line(benchmark::State& state) {
    std::string path = bench_file("cube.bin");
    make_image(path, bench_nz);
    Real2dArray line;
    int status = 0, n = 0;
    for (auto _ : state) {
        read_3d_real_by_line(path, bench_ncol, bench_nrow, bench_nz, n % bench_nrow + 1, 0.0f, line,
                             status);
        benchmark::DoNotOptimize(line.values.data());
        ++n;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bench_ncol * bench_nz * 4);
    std::filesystem::remove(path);
}
BENCHMARK(BM_read_3d_line);

void BM_write_line(benchmark::State& state) {
    std::string path = bench_file("out.bin");
    const int unit = 300 + 1;
    int status = 0, n = 0;
    raster_open_output(unit, path, status);
    std::vector<float> line(bench_ncol, 2.5f);
    for (auto _ : state) {
        write_out_2d_real_line(line, bench_ncol, bench_nrow, unit, n % bench_nrow + 1, status);
        ++n;
    }
    raster_close_output(unit, status);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bench_ncol * 4);
    std::filesystem::remove(path);
}
BENCHMARK(BM_write_line);

}  // namespace

BENCHMARK_MAIN();
