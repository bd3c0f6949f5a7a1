// ornax_composite on a generated region run of six days: the window rasters and the
// NetCDF steps equal the composites computed here from the daily rasters by hand, with a
// failed day and a folder without outputs skipped and named; days of another grid are
// refused with nothing published; anomalies over three years of composites.
#include <gtest/gtest.h>
#include <netcdf.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "composite/vocabulary.hpp"
#include "composite/days.hpp"
#include "composite/window.hpp"
#include "composite/netcdf_file.hpp"
#include "support/composite.hpp"
#include "support/folder_state.hpp"
#include "ornax90/ornax_constants_mod.hpp"

namespace {

using namespace composite_test;

constexpr int ncols = 20, nrows = 12, first_doy = 200, day_count = 6, max_gap = 3;

// The generated run, made once: region/output/2019200 ... 2019205.
class CompositeRegion : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        run_ = new Scratch("region");
        const fs::path region = run_->path() / "region";
        const std::string make = std::string("'") + ORNAX_TOOLS_DIR + "/ornax_make_region' -o '" +
                                 region.string() + "' -c 20 -r 12 -s 5 -y 2019 -d 200 -n 6";
        ASSERT_EQ(run_in(run_->path(), make), 0);
        ASSERT_EQ(
            run_in(region, std::string("'") + ORNAX_EXE + "' -r0 config/region.cfg 2019 200 205"),
            0)
            << read_text(region / "run.err");
    }
    static void TearDownTestSuite() {
        delete run_;
        run_ = nullptr;
    }
    static fs::path days_dir() { return run_->path() / "region" / "output"; }
    static Scratch* run_;
};
Scratch* CompositeRegion::run_ = nullptr;

std::string day_name(int k) {
    return "2019" + std::to_string(first_doy + k);
}

// The composite of days [first, first + length) of `dir` by hand: per pixel the ratio of
// the computed days, interpolated across at most max_gap missing days, times the day's
// reference ET (interpolated where the day has none); a day not usable is a missing day.
struct Hand {
    std::vector<float> et_sum, ratio_mean, observed, filled;
};
Hand by_hand(const fs::path& dir, const std::vector<bool>& usable, int first, int length) {
    const std::size_t pixels = ncols * nrows;
    std::vector<std::vector<float>> e(day_count), r(day_count), q(day_count);
    for (int k = 0; k < day_count; ++k) {
        if (!usable[static_cast<size_t>(k)]) continue;
        e[k] = read_floats(dir / day_name(k) / "EDAY.bin");
        r[k] = read_floats(dir / day_name(k) / "EREFDAY.bin");
        q[k] = read_floats(dir / day_name(k) / "region_qc.bin");
    }
    Hand h;
    h.et_sum.assign(pixels, missing);
    h.ratio_mean.assign(pixels, missing);
    h.observed.assign(pixels, 0);
    h.filled.assign(pixels, 0);
    for (std::size_t i = 0; i < pixels; ++i) {
        const auto eref_ok = [&](int k) { return !q[k].empty() && q[k][i] == 0 && r[k][i] >= 0; };
        const auto obs = [&](int k) { return eref_ok(k) && r[k][i] > 0 && e[k][i] != missing; };
        const auto interp = [&](int k, auto ok, auto value, float& out) {
            int p = k - 1, n = k + 1;
            while (p >= 0 && !ok(p)) --p;
            while (n < day_count && !ok(n)) ++n;
            if (p < 0 || n >= day_count || n - p - 1 > max_gap) return false;
            out = value(p) + static_cast<float>(k - p) / (n - p) * (value(n) - value(p));
            return true;
        };
        const auto ratio_of = [&](int k) { return e[k][i] / r[k][i]; };
        const auto eref_of = [&](int k) { return r[k][i]; };
        double sum = 0, ratio_sum = 0;
        int with_et = 0;
        for (int k = first; k < first + length; ++k) {
            float ratio = 0, eref = 0;
            if (obs(k)) {
                sum += e[k][i];
                ratio_sum += ratio_of(k);
                ++with_et;
                h.observed[i] += 1;
            } else if (interp(k, obs, ratio_of, ratio) &&
                       (eref_ok(k) ? (eref = r[k][i], true) : interp(k, eref_ok, eref_of, eref))) {
                sum += ratio * eref;
                ratio_sum += ratio;
                ++with_et;
                h.filled[i] += 1;
            }
        }
        if (with_et == length) h.et_sum[i] = static_cast<float>(sum);
        if (with_et > 0) h.ratio_mean[i] = static_cast<float>(ratio_sum / with_et);
    }
    return h;
}

std::vector<float> nc_step(const fs::path& file, const char* name, std::size_t step) {
    int id = -1, var = -1;
    std::vector<float> values(ncols * nrows);
    EXPECT_EQ(nc_open(file.c_str(), NC_NOWRITE, &id), NC_NOERR) << file;
    EXPECT_EQ(nc_inq_varid(id, name, &var), NC_NOERR) << name;
    const size_t start[3] = {step, 0, 0}, count[3] = {1, nrows, ncols};
    EXPECT_EQ(nc_get_vara_float(id, var, start, count, values.data()), NC_NOERR);
    nc_close(id);
    return values;
}

void expect_close(const std::vector<float>& got, const std::vector<float>& want,
                  const std::string& what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    int filled = 0;
    for (std::size_t i = 0; i < got.size(); ++i) {
        if (want[i] == missing) {
            EXPECT_EQ(got[i], missing) << what << " pixel " << i;
            continue;
        }
        ++filled;
        EXPECT_NEAR(got[i], want[i], 1e-4f * std::max(1.0f, std::fabs(want[i])))
            << what << " pixel " << i;
    }
    EXPECT_GT(filled, 0) << what << ": no pixel has a value";
}

TEST_F(CompositeRegion, WindowsEqualTheCompositesByHand) {
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> spoil;  // spoils the copy of the days
        int spoiled_day;                             // -1 none
    };
    const Case cases[] = {
        {"every day", [](const fs::path&) {}, -1},
        {"a failed run",
         [](const fs::path& d) {
             const fs::path record = d / day_name(2) / "run_info.json";
             nlohmann::json info = nlohmann::json::parse(read_text(record));
             info["exit_status"] = 3;
             std::ofstream(record) << info.dump();
         },
         2},
        {"a folder without outputs",
         [](const fs::path& d) { fs::remove(d / day_name(3) / "EDAY.bin"); }, 3},
    };
    for (const Case& c : cases) {
        Scratch work("windows");
        const fs::path days = work.path() / "days";
        fs::copy(days_dir(), days, fs::copy_options::recursive);
        c.spoil(days);
        const fs::path out = work.path() / "composites";
        ASSERT_EQ(run_in(work.path(), std::string("'") + ORNAX_COMPOSITE_EXE +
                                          "' -w 3 -g 3 --daily -o '" + out.string() + "' '" +
                                          days.string() + "'"),
                  0)
            << c.name << ": " << read_text(work.path() / "run.err");
        const std::string screen = read_text(work.path() / "run.err");
        std::vector<bool> usable(day_count, true);
        if (c.spoiled_day >= 0) {
            usable[static_cast<size_t>(c.spoiled_day)] = false;
            EXPECT_NE(screen.find("day " + day_name(c.spoiled_day) + " skipped"), std::string::npos)
                << c.name << ": " << screen;
            EXPECT_NE(read_text(out / "ornax_composite.log").find("day " + day_name(c.spoiled_day)),
                      std::string::npos)
                << c.name;
        }
        for (int w = 0; w < 2; ++w) {
            const Hand h = by_hand(days, usable, 3 * w, 3);
            const fs::path folder = out / (day_name(3 * w) + "_" + day_name(3 * w + 2));
            const std::string what = std::string(c.name) + ", window " + std::to_string(w);
            expect_close(read_floats(folder / "ET_SUM.bin"), h.et_sum, what + " ET_SUM");
            expect_close(read_floats(folder / "RATIO_MEAN.bin"), h.ratio_mean,
                         what + " RATIO_MEAN");
            EXPECT_EQ(read_floats(folder / "OBSERVED_DAYS.bin"), h.observed) << what;
            EXPECT_EQ(read_floats(folder / "FILLED_DAYS.bin"), h.filled) << what;
            std::vector<float> mm = h.et_sum;
            for (float& v : mm)
                if (v != missing) v /= ornax_latent_heat_mj_per_kg;
            const fs::path nc = out / "ornax_composite.nc";
            expect_close(nc_step(nc, "ET_MM", static_cast<size_t>(w)), mm, what + " ET_MM");
            expect_close(nc_step(nc, "ET_SUM", static_cast<size_t>(w)), h.et_sum,
                         what + " nc ET_SUM");
            EXPECT_TRUE(fs::exists(folder / "ET_MM.png")) << what;
            EXPECT_TRUE(fs::exists(folder / "ET_SUM.vrt")) << what;
        }
        // the gap-filled days: observed days keep their own EDAY
        const std::vector<float> flags = read_floats(out / "daily" / day_name(0) / "FILL_FLAG.bin");
        const std::vector<float> et = read_floats(out / "daily" / day_name(0) / "EDAY_FILLED.bin");
        const std::vector<float> eday = read_floats(days / day_name(0) / "EDAY.bin");
        for (std::size_t i = 0; i < flags.size(); ++i)
            if (flags[i] == ornax_fill_observed) {
                EXPECT_EQ(et[i], eday[i]) << c.name << " pixel " << i;
            }
    }
}

TEST_F(CompositeRegion, DaysOfAnotherGridAreRefusedAndNothingIsPublished) {
    Scratch work("refused");
    const fs::path days = work.path() / "days";
    fs::copy(days_dir(), days, fs::copy_options::recursive);
    const fs::path record = days / day_name(4) / "run_info.json";
    nlohmann::json info = nlohmann::json::parse(read_text(record));
    info["run_grid"]["west_lon"] = -99.0;
    std::ofstream(record) << info.dump();
    const fs::path out = work.path() / "composites";
    EXPECT_EQ(run_in(work.path(), std::string("'") + ORNAX_COMPOSITE_EXE + "' -o '" + out.string() +
                                      "' '" + days.string() + "'"),
              3);
    const std::string screen = read_text(work.path() / "run.err");
    EXPECT_NE(screen.find("refused: day " + day_name(4)), std::string::npos) << screen;
    EXPECT_FALSE(fs::exists(out / "ornax_composite.nc"));
}

// A global text attribute of a NetCDF file ("" when the file or attribute cannot be read).
std::string nc_attribute(const fs::path& file, const char* name) {
    int id = -1;
    if (nc_open(file.c_str(), NC_NOWRITE, &id) != NC_NOERR) return "";
    std::size_t length = 0;
    std::string text;
    if (nc_inq_attlen(id, NC_GLOBAL, name, &length) == NC_NOERR) {
        text.resize(length);
        if (nc_get_att_text(id, NC_GLOBAL, name, text.data()) != NC_NOERR) text.clear();
    }
    nc_close(id);
    return text;
}

// Composite files of three years whose mean ratio of one pixel is known.
TEST(CompositeAnomaly, ZScoresOverTheYearsAndTooFewYearsFlagged) {
    Scratch work("anomaly");
    Ornaxcompositegridtype grid;
    grid.grid.ncols = 2;
    grid.grid.nrows = 2;
    grid.grid.west_lon = -100.0f;
    grid.grid.south_lat = 34.0f;
    grid.grid.dlon = grid.grid.dlat = 0.05f;
    grid.grid.spare_value = missing;
    // pixel 0 in every year; pixel 1 only in two years; pixel 2 the same in every year
    const std::vector<std::vector<float>> ratio = {
        {0.4f, 0.5f, 0.6f, missing}, {0.6f, missing, 0.6f, missing}, {0.8f, 0.7f, 0.6f, missing}};
    std::vector<std::string> files;
    for (int y = 0; y < 3; ++y) {
        Ornaxcompositenctype file;
        std::string why;
        int status = 0;
        std::string name = "year";
        name += std::to_string(y);
        name += ".nc";
        const std::string path = (work.path() / name).string();
        ornax_composite_nc_open(file, path, grid, ornax_composite_variables(), why, status);
        ASSERT_EQ(status, 0) << why;
        Ornaxcompositewindowtype w;
        w.first_year = w.last_year = 2017 + y;
        w.first_doy = 200;
        w.last_doy = 206;
        std::vector<std::vector<float>> rasters(ornax_composite_variables().size(),
                                                std::vector<float>(4, 1.0f));
        rasters[2] = ratio[static_cast<size_t>(y)];
        ornax_composite_nc_append(file, w, rasters, why, status);
        ornax_composite_nc_close(file, "test", {}, why, status);
        ASSERT_EQ(status, 0) << why;
        files.push_back(path);
    }
    const fs::path out = work.path() / "anomaly.nc";
    std::string command = std::string("'") + ORNAX_COMPOSITE_EXE +
                          "' --anomaly --min-years 3 -o '" + out.string() + "'";
    for (const std::string& f : files) command += " '" + f + "'";
    ASSERT_EQ(run_in(work.path(), command), 0) << read_text(work.path() / "run.err");
    int id = -1, var = -1, flag_var = -1, years_var = -1;
    ASSERT_EQ(nc_open(out.c_str(), NC_NOWRITE, &id), NC_NOERR);
    ASSERT_EQ(nc_inq_varid(id, "RATIO_ANOMALY", &var), NC_NOERR);
    ASSERT_EQ(nc_inq_varid(id, "ANOMALY_FLAG", &flag_var), NC_NOERR);
    ASSERT_EQ(nc_inq_varid(id, "YEARS", &years_var), NC_NOERR);
    std::vector<float> z(12), flag(12), years(12);
    nc_get_var_float(id, var, z.data());
    nc_get_var_float(id, flag_var, flag.data());
    nc_get_var_float(id, years_var, years.data());
    nc_close(id);
    // pixel 0: 0.4, 0.6, 0.8: mean 0.6, sd 0.2, anomalies -1, 0, 1
    const float want[3] = {-1.0f, 0.0f, 1.0f};
    for (int y = 0; y < 3; ++y) {
        EXPECT_NEAR(z[static_cast<size_t>(4 * y)], want[y], 1e-4f) << y;
        EXPECT_EQ(flag[static_cast<size_t>(4 * y)], ornax_anomaly_ok) << y;
        EXPECT_EQ(flag[static_cast<size_t>(4 * y + 1)], ornax_anomaly_too_few_years) << y;
        EXPECT_EQ(z[static_cast<size_t>(4 * y + 1)], missing) << y;
        EXPECT_EQ(years[static_cast<size_t>(4 * y + 1)], 2.0f) << y;
        EXPECT_EQ(flag[static_cast<size_t>(4 * y + 2)], ornax_anomaly_no_spread) << y;
        EXPECT_EQ(years[static_cast<size_t>(4 * y + 3)], 0.0f) << y;
    }
    // Guards against anomalies over "years" that are one year: the same file given twice is
    // a usage error, a copy of one year's file under another name is refused.
    const std::string again = (work.path() / "again.nc").string();
    fs::copy_file(files[0], again);
    const struct {
        const char* name;
        std::vector<std::string> inputs;
        int exit;
        const char* message;
    } refusals[] = {{"same file twice", {files[0], files[1], files[0]}, 2, "given twice"},
                    {"two files of one year", {files[0], files[1], again}, 3, "one file per year"},
                    {"output is an input", {files[0], out.string()}, 2, "would replace"}};
    for (const auto& r : refusals) {
        std::string line =
            std::string("'") + ORNAX_COMPOSITE_EXE + "' --anomaly -o '" + out.string() + "'";
        for (const std::string& f : r.inputs) line += " '" + f + "'";
        EXPECT_EQ(run_in(work.path(), line), r.exit) << r.name;
        EXPECT_NE(read_text(work.path() / "run.err").find(r.message), std::string::npos)
            << r.name << ": " << read_text(work.path() / "run.err");
    }
    // killed at each rename of its switch, the next run into the folder leaves the earlier
    // file or the new one (--min-years 2) whole and nothing beside it
    std::string newer = command;
    newer.replace(newer.find("--min-years 3"), 13, "--min-years 2");
    const fs::path other = work.path() / "other.nc";
    bool completed = false;
    for (int k = 1; k < 20 && !completed; ++k) {
        completed = run_in(work.path(),
                           "ORNAX_TEST_FAIL_AT_RENAME=" + std::to_string(k) + " " + newer) == 0;
        std::string recover = command;
        recover.replace(recover.find(out.string()), out.string().size(), other.string());
        ASSERT_EQ(run_in(work.path(), recover), 0) << read_text(work.path() / "run.err");
        EXPECT_EQ(nc_attribute(out, "min_years"), completed || k > 1 ? "2" : "3") << "rename " << k;
        EXPECT_EQ(folder_state::left_over(work.path()), std::vector<std::string>{})
            << "rename " << k;
        if (!completed) {
            ASSERT_EQ(run_in(work.path(), command), 0);  // back to the earlier file
        }
    }
    EXPECT_TRUE(completed);
}

// Composites of the days with day 2 failed into one output folder: the earlier set fills no
// gap (-g 0), the new one fills gaps of up to 3 days, so that their windows differ.
class CompositePublish : public CompositeRegion {
protected:
    void SetUp() override {
        work_ = std::make_unique<Scratch>("publish");
        fs::copy(days_dir(), days(), fs::copy_options::recursive);
        const fs::path record = days() / day_name(2) / "run_info.json";
        nlohmann::json info = nlohmann::json::parse(read_text(record));
        info["exit_status"] = 3;
        std::ofstream(record) << info.dump();
    }
    fs::path days() const { return work_->path() / "days"; }
    fs::path out() const { return work_->path() / "composites"; }
    // the composite with gap limit `gap`, after the shell's `before` (limits, variables)
    int composite(int gap, const std::string& before = "") const {
        return run_in(work_->path(), before + " '" + ORNAX_COMPOSITE_EXE + "' -w 3 -g " +
                                         std::to_string(gap) + " -o '" + out().string() + "' '" +
                                         days().string() + "'");
    }
    // the set as it stands: every file but the NetCDF file (whose bytes carry the time of
    // writing), and the NetCDF file's gap limit ("" when it is not a whole file)
    std::pair<std::vector<std::pair<std::string, std::string>>, std::string> set() const {
        return {folder_state::contents(out(), {"ornax_composite.nc"}),
                nc_attribute(out() / "ornax_composite.nc", "max_gap_days")};
    }
    std::string err() const { return read_text(work_->path() / "run.err"); }
    std::unique_ptr<Scratch> work_;
};

// Killed, or failing as on a full device, at rename k of the set's switch: after the next
// run (which finishes or removes what was left) the earlier set or the new one is whole.
struct InterruptedComposite {
    const char* name;
    const char* variable;
    bool killed;
};

void PrintTo(const InterruptedComposite& c, std::ostream* os) {
    *os << c.name;
}

class CompositeInterrupted : public CompositePublish,
                             public ::testing::WithParamInterface<InterruptedComposite> {};

TEST_P(CompositeInterrupted, EveryRenameLeavesTheOldOrTheNewSetWhole) {
    const InterruptedComposite& c = GetParam();
    ASSERT_EQ(composite(3), 0) << err();
    const auto new_set = set();
    ASSERT_EQ(composite(0), 0) << err();
    const auto old_set = set();
    ASSERT_EQ(old_set.second, "0");
    ASSERT_NE(old_set.first, new_set.first) << "the gap limit changed no window";
    bool completed = false;
    int k = 1;
    for (; k < 100 && !completed; ++k) {
        const int code = composite(3, std::string(c.variable) + "=" + std::to_string(k));
        completed = code == 0;
        if (!completed) {
            EXPECT_TRUE(c.killed ? code == 137 || code == -1 : code == 3)
                << "rename " << k << ": " << code << " " << err();
        }
        // a run that fails before it publishes: it finishes or removes what was left
        ASSERT_EQ(run_in(work_->path(), std::string("'") + ORNAX_COMPOSITE_EXE + "' -o '" +
                                            out().string() + "' '" +
                                            (work_->path() / "none").string() + "'"),
                  3);
        const auto now = set();
        const bool whole_new = now == new_set, whole_old = now == old_set;
        EXPECT_TRUE(whole_new || whole_old) << "rename " << k << ": a mixed set";
        EXPECT_EQ(whole_new, completed || (c.killed && k > 1)) << "rename " << k;
        EXPECT_EQ(folder_state::left_over(work_->path()), std::vector<std::string>{})
            << "rename " << k;
        if (!completed) {
            ASSERT_EQ(composite(0), 0) << err();  // back to the earlier set
        }
    }
    EXPECT_TRUE(completed);
    // one switch: the journal, then the NetCDF file, the log and two windows aside and in place
    EXPECT_GE(k, 10);
}

INSTANTIATE_TEST_SUITE_P(
    Renames, CompositeInterrupted,
    ::testing::Values(InterruptedComposite{"Killed", "ORNAX_TEST_FAIL_AT_RENAME", true},
                      InterruptedComposite{"DeviceFull", "ORNAX_TEST_RENAME_FAILS_AT", false}),
    [](const ::testing::TestParamInfo<InterruptedComposite>& info) { return info.param.name; });

// Files that can grow no further (a file size limit, as on a full device while writing):
// the run fails naming the file, and leaves neither a window folder nor a log; into a new
// folder it leaves no folder at all.
TEST_F(CompositePublish, FullDeviceWhileWritingPublishesNothing) {
    const std::string full = "trap '' XFSZ; ulimit -f 4;";
    EXPECT_EQ(composite(3, full), 3);
    EXPECT_NE(err().find("nothing published"), std::string::npos) << err();
    EXPECT_FALSE(fs::exists(out())) << "a folder of a failed run";
    ASSERT_EQ(composite(0), 0) << err();
    const auto old_set = set();
    EXPECT_EQ(composite(3, full), 3);
    EXPECT_TRUE(set() == old_set) << "the earlier set changed";
    EXPECT_EQ(folder_state::left_over(work_->path()), std::vector<std::string>{});
}

}  // namespace
