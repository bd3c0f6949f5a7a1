// Speed of building the land cells of a common grid from the UMD land cover (window read
// one row per read, block counts per cell) and of loading them back from the land subset file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>

#include "ornax90/ORNAX_region_io_mod.hpp"

namespace {

namespace fs = std::filesystem;

// A 10 x 10 degree grid at 0.125 degree: 80 x 80 cells over a 1000 x 1000 pixel window.
Ornaxcommonblock bench_grid(const fs::path& dir) {
    Ornaxcommonblock common;
    common.west_lon = -100.0f;
    common.east_lon = -90.0f;
    common.south_lat = 30.0f;
    common.north_lat = 40.0f;
    common.dlon = common.dlat = 0.125f;
    common.ncols = common.nrows = 80;
    common.umd_landcover_file = (dir / "umd.bin").string();
    common.land_subset_file = (dir / "subset.dat").string();
    return common;
}

// Global raster, sparse, with a land pixel on every 7th pixel of the window's diagonal band.
void make_umd(const Ornaxcommonblock& common) {
    const Ornaxumdwindow w = ornax_umd_window(common);
    std::FILE* out = std::fopen(common.umd_landcover_file.c_str(), "wb");
    if (ftruncate(fileno(out), 4LL * ornax_umd_ncols * ornax_umd_nrows) != 0) return;
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(1.0f);
    const unsigned char one[4] = {static_cast<unsigned char>(bits >> 24),
                                  static_cast<unsigned char>(bits >> 16), 0, 0};
    for (int j = 0; j < w.nrows; j += 7) {
        const long long record = static_cast<long long>(w.first_row + j - 1) * ornax_umd_ncols +
                                 w.first_col + j % w.ncols;
        fseeko(out, (record - 1) * 4, SEEK_SET);
        std::fwrite(one, 1, 4, out);
    }
    std::fclose(out);
}

// Runs in a temporary directory (common_lc.dat is written to the working directory) with
// the screen messages discarded.
struct BenchPlace {
    BenchPlace() : old_dir(fs::current_path()), old_screen(std::cout.rdbuf(sink.rdbuf())) {
        dir = fs::temp_directory_path() / ("ornax_bench_land_" + std::to_string(getpid()));
        fs::create_directories(dir);
        fs::current_path(dir);
    }
    ~BenchPlace() {
        std::cout.rdbuf(old_screen);
        fs::current_path(old_dir);
        fs::remove_all(dir);
    }
    std::ostringstream sink;
    fs::path dir, old_dir;
    std::streambuf* old_screen;
};

void BM_umd_land_mask(benchmark::State& state) {
    BenchPlace place;
    Ornaxcommonblock common = bench_grid(place.dir);
    make_umd(common);
    int status = 0;
    for (auto _ : state) {
        ornax_set_umd_land_mask(common, common.umd_landcover_file, 0.0f, status);
        place.sink.str("");
        benchmark::DoNotOptimize(common.land_count);
    }
    state.counters["land_cells"] = common.land_count;
}
BENCHMARK(BM_umd_land_mask)->Unit(benchmark::kMillisecond);

void BM_load_land_subset(benchmark::State& state) {
    BenchPlace place;
    Ornaxcommonblock common = bench_grid(place.dir);
    make_umd(common);
    int status = 0;
    ornax_set_umd_land_mask(common, common.umd_landcover_file, 0.0f, status);
    for (auto _ : state) {
        ornax_load_land_subset(common.ncols, common.nrows, common.west_lon, common.east_lon,
                               common.dlon, common.south_lat, common.north_lat, common.dlat,
                               common.land_subset_file, common.land_count, common.ptr_land_grid,
                               status);
        place.sink.str("");
    }
    state.counters["land_cells"] = common.land_count;
}
BENCHMARK(BM_load_land_subset)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
