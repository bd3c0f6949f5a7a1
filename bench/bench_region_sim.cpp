// Speed of the pixel simulation of one region line: every pixel runs the model core on
// the inputs of a savanna site, and the same line with a stand-in core measures the cost
// of locating, assembling and storing a pixel without the core.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "ornax90/ORNAX_io_mod.hpp"
#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/ORNAX_region_mod.hpp"

namespace {

constexpr int bench_ncols = 200;
constexpr float kelvin = 273.15f;

struct BenchLine {
    Spatialinfodata grid, run;
    Ornaxregiondatatype region;
    std::vector<Ornaxlandtype> table = std::vector<Ornaxlandtype>(20);
    float lat = 0.0f;
    int year = 0, doy = 0;
};

// Copies the site's inputs, in the units of the gridded inputs, into column c.
void fill_column(const Ornaxlandtype& land, const Ornaxinputvartype& s, int c, BenchLine& b) {
    Ornaxregiondatatype& r = b.region;
    const std::size_t i = static_cast<std::size_t>(c - 1);
    r.Landcover[i] = static_cast<float>(land.landcover);
    r.aleafv[i] = land.aleafv, r.aleafn[i] = land.aleafn, r.aleafl[i] = land.aleafl;
    r.adeadv[i] = land.adeadv, r.adeadn[i] = land.adeadn, r.adeadl[i] = land.adeadl;
    r.xl[i] = land.xl, r.rsoiln[i] = 0.38f, r.rsoilv[i] = 0.24f, r.rs_correct[i] = 1.0f;
    r.xlai[i] = s.xlai, r.theta[i] = s.theta;
    r.trad1[i] = s.trad1 + kelvin, r.trad2[i] = s.trad2 + kelvin;
    r.tloc1[i] = s.tloc1, r.tloc2[i] = s.tloc2, r.sdn1[i] = s.sdn1, r.sdn2[i] = s.sdn2;
    r.taobs1[i] = s.taobs1 + kelvin, r.taobs2[i] = s.taobs2 + kelvin;
    r.spfh1[i] = s.spfh1 / 100.0f, r.spfh2[i] = s.spfh2 / 100.0f;
    r.wind1[i] = s.wind1, r.wind2[i] = s.wind2, r.lwdn1[i] = s.lwdn1, r.lwdn2[i] = s.lwdn2;
    r.pres1[i] = s.pres1 * 100.0f, r.pres2[i] = s.pres2 * 100.0f;
    for (int k = 1; k <= s.npbl; ++k) {
        const std::size_t j = region_2d_index(c, k, r.met_ncols);
        r.z_pbli[j] = s.z_pbli[static_cast<std::size_t>(s.npbl - k)];
        r.th_pblk[j] = s.th_pblk[static_cast<std::size_t>(s.npbl - k)];
    }
    for (int h = 1; h <= 24; ++h) {
        const std::size_t t = static_cast<std::size_t>(h - 1);
        const std::size_t j = region_2d_index(c, h, r.met_ncols);
        r.taobs_day[j] = s.taobs_day[t] + kelvin, r.spfh_day[j] = s.spfh_day[t] / 100.0f;
        r.wind_day[j] = s.wind_day[t], r.pres_day[j] = s.pres_day[t] * 100.0f;
        r.lwdn_day[j] = s.lwdn_day[t];
        r.sdn_day[region_2d_index(c, h, r.sdn_day_ncols)] = s.sdn_day[t];
    }
}

bool make_line(BenchLine& b) {
    Ornaxlandtype land;
    Ornaxinputvartype site;
    int status = 0;
    ornax_read_site_inputs(ORNAX_SOURCE_DIR "/tests/reference/site/savanna.dat", land, site,
                           status);
    if (status != 0) return false;
    Spatialinfodata& g = b.grid;
    g.dlon = g.dlat = 0.001f;
    g.west_lon = site.lon - 0.1f;
    g.east_lon = g.west_lon + g.dlon * bench_ncols;
    g.south_lat = site.lat - 0.0005f;
    g.north_lat = g.south_lat + 0.01f;
    g.ncols = bench_ncols, g.nrows = 10, g.nlayers = site.npbl, g.nhours = 24;
    g.spare_value = -9999.0f;
    b.run = g;
    b.lat = site.lat, b.year = site.year, b.doy = site.doy;
    b.region.out_var_list[0] = {"EDAY", get_var_index("EDAY")};
    b.region.out_var_list[1] = {"XLE2", get_var_index("XLE2")};
    b.region.out_var_count = 2;
    ornax_init_region_data(b.region, b.run, g, g, g, g, g, status);
    b.table[static_cast<std::size_t>(land.landcover - 1)] = land;
    for (int c = 1; c <= bench_ncols; ++c) fill_column(land, site, c, b);
    return status == 0;
}

void BM_simulate_line_with_core(benchmark::State& state) {
    BenchLine b;
    if (!make_line(b)) {
        state.SkipWithError("site inputs not readable");
        return;
    }
    int status = 0;
    for (auto _ : state) {
        ornax_simulate_region(b.region, b.run, b.grid, b.grid, b.grid, b.grid, b.grid, b.table, 20,
                              b.year, b.doy, 0, b.lat, status);
        benchmark::DoNotOptimize(b.region.out_var_matrix.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * bench_ncols);
    int computed = 0;
    for (float q : b.region.qc_flag) computed += q == 0.0f ? 1 : 0;
    state.counters["computed"] = computed;
}

void BM_simulate_line_without_core(benchmark::State& state) {
    BenchLine b;
    if (!make_line(b)) {
        state.SkipWithError("site inputs not readable");
        return;
    }
    const Ornaxpixelcore stand_in = [](const Ornaxlandtype&, const Ornaxinputvartype& input,
                                       Ornaxoutputvartype& output, int, int, int& status) {
        output.XLE2 = 300.0f + 0.0f * input.taobs1;
        output.EDAY = 10.0f;
        status = 0;
    };
    int status = 0;
    for (auto _ : state) {
        ornax_simulate_region_with_core(b.region, b.run, b.grid, b.grid, b.grid, b.grid, b.grid,
                                        b.table, 20, b.year, b.doy, 0, b.lat, stand_in, status);
        benchmark::DoNotOptimize(b.region.out_var_matrix.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * bench_ncols);
}

}  // namespace

BENCHMARK(BM_simulate_line_with_core)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_simulate_line_without_core)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
