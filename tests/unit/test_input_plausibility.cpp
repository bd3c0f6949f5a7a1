// Inputs that are wrong as a whole while every value lies in its range: rasters in the wrong
// unit or scale, zero-filled or missing everywhere, configuration lines swapped or shifted,
// class rows out of order, observation times that do not fit the morning. Each row breaks
// the reference region (or site) and the run must either stop with a message naming the
// file, the line or the raster, or flag the pixels: no pixel may be computed (quality 0)
// with a value that differs from the clean run's.
#include <algorithm>
#include <cmath>
#include <functional>
#include <random>

#include "ornax90/input_check/plausibility.hpp"
#include "support/region_run.hpp"

namespace {

using namespace region_run_test;

using Change = std::function<void(const fs::path& data)>;

struct Fault {
    const char* what;
    bool region;  // a region run, else the reference site "savanna.dat"
    Change change;
    int exit_status;
    const char* message;  // expected in the log or on the screen
};

// Applies f to every value of a raster that is not its missing value.
Change scale_raster(const char* file, std::function<float(float)> f, float missing = -9999.0f) {
    return [=](const fs::path& data) {
        std::vector<float> v = read_floats(data / file);
        for (float& x : v)
            if (x != missing) x = f(x);
        write_floats(data / file, v);
    };
}

Change both_days(const char* name, std::function<float(float)> f) {
    return [=](const fs::path& data) {
        scale_raster((std::string("met/2019200/") + name).c_str(), f)(data);
        scale_raster((std::string("met/2019201/") + name).c_str(), f)(data);
    };
}

std::vector<std::string> text_lines(const fs::path& file) {
    std::stringstream in(read_text(file));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

void write_lines(const fs::path& file, const std::vector<std::string>& lines, const char* end) {
    std::string out;
    for (const std::string& line : lines) out += line + end;
    std::ofstream(file, std::ios::binary) << out;
}

// Swaps lines a and b (1-based) of a text file.
Change swap_lines(const char* file, int a, int b) {
    return [=](const fs::path& data) {
        std::vector<std::string> lines = text_lines(data / file);
        std::swap(lines[static_cast<std::size_t>(a - 1)], lines[static_cast<std::size_t>(b - 1)]);
        write_lines(data / file, lines, "\n");
    };
}

// Line n (1-based) of a text file replaced, or inserted before it.
Change set_line(const char* file, int n, std::string text, bool insert = false) {
    return [=](const fs::path& data) {
        std::vector<std::string> lines = text_lines(data / file);
        const auto at = lines.begin() + (n - 1);
        if (insert)
            lines.insert(at, text);
        else
            *at = text;
        write_lines(data / file, lines, "\n");
    };
}

Change cr_line_ends(const char* file) {
    return [=](const fs::path& data) { write_lines(data / file, text_lines(data / file), "\r"); };
}

// The second observation time moved to `gap` h after the first, at every `every`-th pixel.
Change observation_gap(float gap, std::size_t every = 1) {
    return [=](const fs::path& data) {
        std::vector<float> t1 = read_floats(data / "goes/2019200/tloc1.bin");
        std::vector<float> t2 = read_floats(data / "goes/2019200/tloc2.bin");
        for (std::size_t i = 0; i < t2.size(); ++i)
            if (t1[i] >= 0.0f && t2[i] >= 0.0f && i % every == 0) t2[i] = t1[i] + gap;
        write_floats(data / "goes/2019200/tloc2.bin", t2);
    };
}

Change swap_files(const char* a, const char* b) {
    return [=](const fs::path& data) {
        fs::rename(data / a, data / "swap.tmp");
        fs::rename(data / b, data / a);
        fs::rename(data / "swap.tmp", data / b);
    };
}

const char* const outlist = "config/outlist.txt";
const char* const region_cfg = "config/region.cfg";
const char* const classes = "config/landcover.txt";

const Fault faults[] = {
    // whole rasters in the wrong unit, scale or fill
    {"long-wave zero-filled", true, both_days("lwdn.bin", [](float) { return 0.0f; }), 3,
     "lwdn.bin (downward long-wave): median 0"},
    {"long-wave in kW m-2", true, both_days("lwdn.bin", [](float x) { return x / 1000; }), 3,
     "lwdn.bin (downward long-wave): median 0.3"},
    {"short-wave zero-filled", true, both_days("swdn.bin", [](float) { return 0.0f; }), 3,
     "swdn.bin (downward short-wave): 90th percentile 0"},
    {"insolation 2 zero-filled", true,
     scale_raster("insol/sdn2_2011200.dat", [](float) { return 0.0f; }), 3,
     "sdn2_2011200.dat (insolation at an observation): median 0"},
    {"air temperature in deg C", true,
     both_days("t2_series.bin", [](float x) { return x - 273.15f; }), 3,
     "t2_series.bin (2 m air temperature): median 2"},
    {"potential temperature in deg C", true,
     both_days("pot_profile.bin", [](float x) { return x - 273.15f; }), 3,
     "pot_profile.bin (potential temperature): median"},
    {"pressure in hPa", true, both_days("psfc_series.bin", [](float x) { return x / 100; }), 3,
     "psfc_series.bin (surface pressure): median 9"},
    {"humidity in g/kg", true, both_days("q2_series.bin", [](float x) { return x * 1000; }), 3,
     "q2_series.bin (specific humidity): median 11"},
    {"humidity as a relative fraction", true,
     both_days("q2_series.bin", [](float) { return 0.6f; }), 3,
     "q2_series.bin (specific humidity): median 0.6"},
    {"surface temperature in deg C", true,
     scale_raster(
         "lst/2019200/trad1.bin", [](float x) { return x - 273.15f; }, -8888.0f),
     3, "trad1.bin (radiometric surface temperature): median 2"},
    {"leaf area scale 0.1 not applied", true,
     scale_raster("veg/2019200/lai.bin", [](float x) { return x * 10; }), 3,
     "lai.bin (leaf area index): 95th percentile"},
    {"snow mask all missing", true,
     scale_raster(
         "snow/2019200/snow_mask.bin", [](float) { return -9999.0f; }, 12345.0f),
     3, "snow_mask.bin holds only its grid's missing value"},
    {"surface temperature files swapped", true,
     swap_files("lst/2019200/trad1.bin", "lst/2019200/trad2.bin"), 3, "lines 55 and 56) swapped?"},
    // configuration lines swapped or shifted
    {"trad lines swapped", true, swap_lines(region_cfg, 55, 56), 3,
     "holds the label \"Surface temperature 2\" of line 56"},
    {"insolation lines swapped", true, swap_lines(region_cfg, 59, 60), 3, "of line 60"},
    {"leaf absorptivity lines swapped", true, swap_lines(region_cfg, 11, 12), 3,
     "\"Live leaf absorptivity VIS\" of line 12"},
    {"soil reflectance lines swapped", true, swap_lines(region_cfg, 17, 18), 3, "of line 18"},
    {"comment line inserted", true, set_line(region_cfg, 20, "# leaf size next", true), 3,
     "is a comment line (\"# leaf size next\")"},
    {"class row 10 duplicated", true,
     set_line(classes, 13, text_lines(ORNAX_REFERENCE_DIR "/region/data/config/landcover.txt")[11]),
     3, "row 11 holds class 10, class 11 expected (duplicated)"},
    {"class rows 10 and 11 swapped", true, swap_lines(classes, 12, 13), 3, "row 10 holds class 11"},
    {"output switch blank", true, set_line(outlist, 2, "EDAY       "), 3,
     "(EDAY): the switch in column 11 is blank"},
    {"output switch a tab", true, set_line(outlist, 3, "XLE2      \t"), 3,
     "(XLE2): the switch in column 11 is blank"},
    // per-pixel sanity
    {"observations 0.01 h apart", true, observation_gap(0.01f), 3, "only 0.01 h after the first"},
    {"observation times in UTC", true,
     [](const fs::path& d) {
         scale_raster(
             "goes/2019200/tloc1.bin", [](float x) { return x < 0 ? x : x + 7; }, -1.0f)(d);
         scale_raster(
             "goes/2019200/tloc2.bin", [](float x) { return x < 0 ? x : x + 7; }, -1.0f)(d);
     },
     3, "times in UTC?"},
    {"satellite grid of 1 hour", true,
     set_line("config/domain_sat.txt", 11, "Number of hours                        1"), 3,
     "line 11: Number of hours           1"},
    {"configuration with CR line ends", true, cr_line_ends(region_cfg), 0, ""},
    // site mode
    {"site leaf lines swapped", false, swap_lines("savanna.dat", 4, 5), 3,
     "\"Dead leaf reflectances  :\" is that of line 5"},
    {"site observations 0.1 h apart", false,
     set_line("savanna.dat", 14, "           Local Time 1 and 2 :     9.000     9.100"), 3,
     "only 0.10 h after the first"},
    {"site class rows swapped", false, swap_lines("landcover.txt", 5, 6), 3, "row 3 holds class 4"},
};

void PrintTo(const Fault& row, std::ostream* os) {
    *os << row.what;
}

fs::path copy_reference(const ScratchDir& dir, bool region) {
    const fs::path data = dir.path() / "data";
    fs::copy(std::string(ORNAX_REFERENCE_DIR) + (region ? "/region/data" : "/site"), data,
             fs::copy_options::recursive);
    fs::remove_all(data / "output");
    fs::create_directories(data / "output");
    return data;
}

// Outputs of the clean reference run, computed once.
const std::map<std::string, std::vector<float>>& clean_outputs() {
    static const std::map<std::string, std::vector<float>> outputs = [] {
        ScratchDir dir("plausible_clean");
        const fs::path data = copy_reference(dir, true);
        EXPECT_EQ(run_ornax(data, "-r0 config/region.cfg 2019 200"), 0);
        std::map<std::string, std::vector<float>> out;
        for (const auto& entry : fs::directory_iterator(data / "output"))
            if (entry.path().extension() == ".bin")
                out[entry.path().filename().string()] = read_floats(entry.path());
        return out;
    }();
    return outputs;
}

class InputPlausibility : public ::testing::TestWithParam<Fault> {};

TEST_P(InputPlausibility, NoPixelComputedFromAWrongInput) {
    const Fault& row = GetParam();
    const auto& clean = clean_outputs();
    ASSERT_TRUE(clean.count("region_qc.bin"));
    ScratchDir dir("plausible");
    const fs::path data = copy_reference(dir, row.region);
    row.change(data);
    const int status = run_ornax(data, row.region ? "-r0 config/region.cfg 2019 200"
                                                  : "-s savanna.dat -l landcover.txt");
    EXPECT_EQ(status, row.exit_status);
    const std::string said =
        log_text(data) + read_text(data / "run.out") + read_text(data / "run.err");
    if (*row.message) {
        EXPECT_NE(said.find(row.message), std::string::npos) << said;
    }
    if (!row.region) {
        EXPECT_EQ(said.find("ORNAX finish successfully"), std::string::npos);
        return;
    }
    const fs::path qc_file = data / "output" / "region_qc.bin";
    if (row.exit_status != 0) {
        EXPECT_FALSE(fs::exists(qc_file)) << "a refused run publishes nothing";
        return;
    }
    const std::vector<float> qc = read_floats(qc_file);
    const std::vector<float>& clean_qc = clean.at("region_qc.bin");
    ASSERT_EQ(qc.size(), clean_qc.size());
    for (const auto& [name, clean_values] : clean) {
        const std::vector<float> values = read_floats(data / "output" / name);
        ASSERT_EQ(values.size(), clean_values.size()) << name;
        for (std::size_t i = 0; i < qc.size(); ++i)
            if (qc[i] == 0.0f) {
                EXPECT_EQ(values[i], clean_values[i]) << name << " pixel " << i;
            }
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, InputPlausibility, ::testing::ValuesIn(faults),
                         [](const ::testing::TestParamInfo<Fault>& info) {
                             std::string name = std::to_string(info.index) + "_" + info.param.what;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

// Flagged, not computed: pixels whose observations are 0.01 h apart get quality 129, the
// others of the scene are computed as in the clean run.
TEST(InputPlausibilityFlags, ObservationsTooCloseGiveFlag129) {
    ScratchDir dir("plausible_flags");
    const fs::path data = copy_reference(dir, true);
    observation_gap(0.01f, 2)(data);
    ASSERT_EQ(run_ornax(data, "-r0 config/region.cfg 2019 200"), 0);
    const std::vector<float> qc = read_floats(data / "output" / "region_qc.bin");
    const std::vector<float>& clean_qc = clean_outputs().at("region_qc.bin");
    ASSERT_EQ(qc.size(), clean_qc.size());
    int flagged = 0, computed = 0;
    for (std::size_t i = 0; i < qc.size(); ++i) {
        if (clean_qc[i] != 0.0f) continue;
        if (i % 2 == 0) {
            EXPECT_EQ(qc[i], 129.0f) << i;
            ++flagged;
        } else {
            computed += qc[i] == 0.0f;
        }
    }
    EXPECT_GT(flagged, 100);
    EXPECT_GT(computed, 100);
}

}  // namespace

namespace {

using namespace region_run_test;

// The sunrise cache is trusted only with the digest that binds its sidecar's grid and day
// to the bytes of both rasters: an older sidecar without it, or one whose digest belongs
// to other contents, makes the run compute the grids again, with the same outputs.
TEST(SunriseCacheDigest, SidecarWithoutOrWithAnotherDigestIsComputedAgain) {
    for (const bool drop : {true, false}) {
        ScratchDir dir("plausible_cache");
        const fs::path data = copy_reference(dir, true);
        ASSERT_EQ(run_ornax(data, "-r0 config/region.cfg 2019 200"), 0);
        const fs::path sidecar = data / "met" / "2019200" / "riseMET.chk";
        std::vector<std::string> lines = text_lines(sidecar);
        ASSERT_EQ(lines.back().rfind("sha256 ", 0), 0u);
        if (drop)
            lines.pop_back();
        else
            lines.back() = "sha256 " + std::string(64, '0');
        write_lines(sidecar, lines, "\n");
        for (const auto& entry : fs::directory_iterator(data))
            if (entry.path().filename().string().rfind("ORNAX-", 0) == 0) fs::remove(entry.path());
        ASSERT_EQ(run_ornax(data, "-r0 config/region.cfg 2019 200"), 0);
        EXPECT_NE(log_text(data).find("computed again"), std::string::npos) << drop;
        EXPECT_EQ(read_floats(data / "output" / "EDAY.bin"), clean_outputs().at("EDAY.bin"));
        EXPECT_EQ(text_lines(sidecar).size(), lines.size() + (drop ? 1 : 0));
    }
}

}  // namespace

// The quantiles the checks compare are those of the fully sorted sample, for samples of one
// value, even and odd counts, runs of equal values and values arriving in either order.
TEST(SampleQuantiles, SameAsTheSortedSample) {
    struct Case {
        const char* what;
        std::size_t count;
        int distinct;  // values drawn from this many levels (0: all different)
        bool descending;
    };
    const Case cases[] = {
        {"one value", 1, 0, false},         {"two values", 2, 0, false},
        {"three values", 3, 0, true},       {"twenty, equal runs", 20, 3, false},
        {"odd count", 1001, 0, false},      {"even count, sorted down", 4096, 0, true},
        {"all equal", 500, 1, false},       {"many equal runs", 65536, 7, false},
        {"a full sample", 65536, 0, false},
    };
    const double fractions[] = {0.0, 0.5, 0.9, 0.95, 1.0};
    std::mt19937 random(12345);
    for (const Case& c : cases) {
        std::vector<float> values(c.count);
        std::uniform_real_distribution<float> spread(-50.0f, 400.0f);
        for (float& v : values)
            v = c.distinct > 0 ? static_cast<float>(random() % static_cast<unsigned>(c.distinct))
                               : spread(random);
        if (c.descending) std::sort(values.begin(), values.end(), std::greater<float>());
        std::vector<float> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        float got[5];
        ornax_sample_quantiles(values, fractions, got);
        for (std::size_t i = 0; i < 5; ++i) {
            const auto at =
                static_cast<std::size_t>(fractions[i] * static_cast<double>(sorted.size() - 1));
            EXPECT_EQ(got[i], sorted[at]) << c.what << " at " << fractions[i];
        }
        // the values are rearranged, never lost or changed
        std::sort(values.begin(), values.end());
        EXPECT_EQ(values, sorted) << c.what;
    }
}
