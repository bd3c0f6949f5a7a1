// Speed of the converters: one day of a 0.25 degree global forecast (GRIB2, 16 pressure
// levels, steps 00 to 21 UTC) onto a 0.25 degree continental common grid
// (`ornax_ingest forecast`), and a whole 0.05 degree continental region of one day
// prepared from its sources (`ornax_ingest region`: GRIB2 forecasts of the day and the
// next, hourly 4 km geostationary scans, 0.02 degree GeoTIFFs). The sources are written
// in the set-up by a child process, so the peak memory the benchmark reports
// (peak_rss_mb, the process's largest resident size) is the converters' own.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "region_gen/sources.hpp"
#include "ingest/forecast/command.hpp"
#include "ingest/common/isolated_read.hpp"
#include "ingest/common/support.hpp"
#include "ingest/subcommands.hpp"

namespace {

namespace fs = std::filesystem;

const fs::path bench_dir = fs::temp_directory_path() / "ornax_bench_ingest";

double peak_rss_mb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;
}

// Runs make() in a child process (its memory never counts here); false when it fails.
template <class Make> bool in_child(Make make) {
    const pid_t pid = fork();
    if (pid == 0) _exit(make() ? 0 : 1);
    int raw = 0;
    return pid > 0 && waitpid(pid, &raw, 0) == pid && WIFEXITED(raw) && WEXITSTATUS(raw) == 0;
}

// A cheap analytic weather: a diurnal cycle over a latitude gradient, clear-sky sun.
Weather global_weather(double lon, double lat, double utc, const SunDay& sun) {
    Weather w{};
    const double f = daily_shape(utc + lon / 15.0 + sun.eot);
    w.t2 = 300.0 - 0.5 * std::fabs(lat - 10.0) + 5.0 * f;
    w.q2 = 0.012 * std::exp(-std::fabs(lat) / 40.0);
    w.psfc = 101325.0 - 2000.0 * (0.5 + 0.5 * std::sin(lon * gen_deg * 3.0));
    w.wind = 4.0 + 2.0 * std::cos(lat * gen_deg * 4.0);
    w.swdn = clear_sky_insolation(sun.cosz(lon, lat, utc)) * 0.85;
    w.lwdn = 0.8 * gen_stefan_boltzmann * std::pow(w.t2, 4);
    w.cfslst = w.t2 + 0.015 * w.swdn;
    w.lhtfl = 6.0 + 0.3 * w.swdn;
    return w;
}

Spatialinfodata continental_grid(double step) {
    Spatialinfodata g;
    g.west_lon = -125.0f, g.east_lon = -67.0f, g.south_lat = 24.0f, g.north_lat = 50.0f;
    g.dlon = g.dlat = static_cast<float>(step);
    g.ncols = static_cast<int>(std::lround(58.0 / step));
    g.nrows = static_cast<int>(std::lround(26.0 / step));
    g.nlayers = 30, g.nhours = 24, g.spare_value = -9999.0f;
    return g;
}

void BM_forecast_global_day_to_continent(benchmark::State& state) {
    const fs::path dir = bench_dir / "global";
    std::vector<std::string> files;
    for (int s = 0; s <= 21; s += 3) {
        char name[64];
        std::snprintf(name, sizeof name, "gfs.t2019071900z.f%03d.grib2", s);
        files.push_back((dir / name).string());
    }
    if (!fs::exists(files.back()) && !in_child([&] {
            fs::create_directories(dir);
            GribLatLonGrid g;
            g.ni = 1440, g.nj = 721, g.lat_first = 90.0, g.lon_first = 0.0, g.step = 0.25;
            const SunDay sun(2019, 200);
            std::vector<std::string> made;
            std::string error;
            int st = 0;
            write_forecast_gribs(
                dir, g, 2019, 200, 0, 21,
                [&](double lon, double lat, double utc) {
                    return global_weather(lon, lat, utc, sun);
                },
                [](double, double) { return false; }, 16, made, error, st);
            return st == 0;
        })) {
        state.SkipWithError("could not write the GRIB2 files");
        return;
    }
    ForecastJob job;
    job.grid = continental_grid(0.25);
    job.grid_file = "continental 0.25 deg";
    job.out_root = (bench_dir / "met").string();
    job.config_lines = false;
    job.replace = true;
    job.year = 2019, job.doy = 200;
    job.files = files;
    std::int64_t bytes = 0;
    for (const std::string& f : files) bytes += static_cast<std::int64_t>(fs::file_size(f));
    // Arg 1: decoded in the converter itself, 0: in a reading process (the default)
    IsolationLimits limits;
    limits.in_process = state.range(0) != 0;
    const IsolationLimits before = ingest_isolation_limits();
    ingest_set_isolation_limits(limits);
    for (auto _ : state)
        if (forecast_convert(job, "bench") != 0) state.SkipWithError("conversion failed");
    ingest_set_isolation_limits(before);
    state.counters["grib_mb"] = static_cast<double>(bytes) / 1e6;
    state.counters["peak_rss_mb"] = peak_rss_mb();
}
BENCHMARK(BM_forecast_global_day_to_continent)
    ->ArgName("in_process")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kSecond)
    ->Iterations(2);

void BM_region_continent_from_sources(benchmark::State& state) {
    const fs::path dir = bench_dir / "continent";
    const RegionSpec spec = make_region_spec(-12500, 2400, 1160, 520, 7, 2019, 200);
    if (!fs::exists(dir / "sources" / "landcover_classes.txt") && !in_child([&] {
            std::string error;
            int st = 0;
            write_example_sources(dir / "sources", spec, error, st, 1.12e-4, 0.02);
            if (st != 0) std::fprintf(stderr, "%s\n", error.c_str());
            return st == 0;
        })) {
        state.SkipWithError("could not write the sources");
        return;
    }
    std::ofstream(dir / "recipe.txt")
        << "out = region\nyear = 2019\ndoy = 200\nwest = -125\neast = -67\nsouth = 24\n"
           "north = 50\nspacing = 0.05\nforecast = sources/forecast/*.grib2\n"
           "lst = sources/lst/*.nc\nclass_table = sources/landcover_classes.txt\n"
           "landcover = sources/landcover.tif\nlandcover_missing_codes = 255\n"
           "lai = sources/lai_8day.tif\nlai_missing_codes = 255\nlai_window = 0\n"
           "snow = sources/snow.tif\nsnow_missing_codes = 255\nrsoilv = 0.24\n"
           "rsoiln = 0.38\nrs_correction = sources/rs_correction.tif\n";
    const std::string recipe = (dir / "recipe.txt").string();
    std::vector<std::string> words = {"region", "--replace", recipe};
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    std::string error;
    int st = 0;
    ingest_log_open((bench_dir / "bench_ingest.log").string(), error, st);
    for (auto _ : state)
        if (ingest_region_subcommand.run(static_cast<int>(argv.size()), argv.data()) != 0)
            state.SkipWithError("region failed");
    ingest_log_close();
    state.counters["cells"] = static_cast<double>(spec.run.ncols) * spec.run.nrows;
    state.counters["peak_rss_mb"] = peak_rss_mb();
}
BENCHMARK(BM_region_continent_from_sources)->Unit(benchmark::kSecond)->Iterations(1);

// One reading in a child process against the same in the converter itself (Arg 1), with
// a result of range(0) floats handed back: the cost a source pays for its protection.
void BM_isolated_read(benchmark::State& state) {
    IsolationLimits limits;
    limits.in_process = state.range(1) != 0;
    const IsolationLimits before = ingest_isolation_limits();
    ingest_set_isolation_limits(limits);
    const std::vector<float> values(static_cast<std::size_t>(state.range(0)), 1.0f);
    const auto work = [&](IsolatedBytes& out, std::string&, int& st) {
        out.put(values);
        st = 0;
    };
    for (auto _ : state) {
        IsolatedBytes result;
        std::string error;
        int st = 0;
        ingest_isolated_read("GDAL", "bench.tif", work, result, error, st);
        std::vector<float> back;
        if (st != 0 || !result.get(back)) state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(back.data());
    }
    ingest_set_isolation_limits(before);
    state.SetBytesProcessed(state.iterations() * state.range(0) * 4);
}
BENCHMARK(BM_isolated_read)
    ->ArgsProduct({{0, 1 << 18, 1 << 22}, {0, 1}})
    ->ArgNames({"floats", "in_process"})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
