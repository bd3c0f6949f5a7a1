// Region run of the bundled reference region: every output raster, the quality raster
// and the line diagnostic against the expected rasters, within each quantity's tolerance.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "support/region_run.hpp"

namespace {

using namespace region_run_test;

// Allowed difference of one output value from the expected one.
double tolerance(const std::string& name, double expected) {
    const double a = std::fabs(expected);
    if (name == "TA2") return 0.5;                     // deg C
    if (name == "Z2") return std::max(5.0, 0.02 * a);  // m
    if (name == "RS2") return 0.02 * a;                // s m-1
    if (name.size() > 3 && name.substr(name.size() - 3) == "DAY") return std::max(0.05, 0.01 * a);
    return std::max(1.0, 0.01 * a);  // W m-2
}

class RegionReference : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        scratch_ = new ScratchDir("reference");
        fs::copy(fs::path(ORNAX_REFERENCE_DIR) / "region" / "data", data(),
                 fs::copy_options::recursive);
        exit_status_ = run_ornax(data(), "-r0 config/region.cfg 2019 200");
    }
    static void TearDownTestSuite() { delete scratch_; }
    static fs::path data() { return scratch_->path() / "data"; }
    static fs::path expected() { return fs::path(ORNAX_REFERENCE_DIR) / "region" / "expected"; }

    static ScratchDir* scratch_;
    static int exit_status_;
};
ScratchDir* RegionReference::scratch_ = nullptr;
int RegionReference::exit_status_ = -1;

TEST_F(RegionReference, RunSucceedsAndQualityRasterIsIdentical) {
    EXPECT_EQ(exit_status_, 0) << read_text(data() / "run.out") << log_text(data());
    const std::vector<float> qc = read_floats(data() / "output" / "region_qc.bin");
    const std::vector<float> want = read_floats(expected() / "region_qc.bin");
    ASSERT_EQ(qc.size(), want.size());
    int differ = 0;
    for (size_t i = 0; i < qc.size(); ++i)
        if (qc[i] != want[i] && differ++ < 10)
            ADD_FAILURE() << "QC at column " << i % 30 + 1 << ", line " << i / 30 + 1 << ": "
                          << qc[i] << " expected " << want[i];
    EXPECT_EQ(differ, 0);
}

TEST_F(RegionReference, EveryOutputWithinTolerance) {
    const std::vector<std::string> names = {"EDAY", "XLE2", "H2",      "RNET2", "G2",      "TA2",
                                            "Z2",   "RS2",  "LWDNDAY", "ECDAY", "EREFDAY", "SDDAY"};
    for (const std::string& name : names) {
        const std::vector<float> got = read_floats(data() / "output" / (name + ".bin"));
        const std::vector<float> want = read_floats(expected() / (name + ".bin"));
        ASSERT_EQ(got.size(), want.size()) << name;
        int outside = 0;
        for (size_t i = 0; i < got.size(); ++i) {
            const bool missing = want[i] == -999.0f || got[i] == -999.0f;
            const bool ok = missing ? got[i] == want[i]
                                    : std::fabs(got[i] - want[i]) <= tolerance(name, want[i]);
            if (!ok && outside++ < 5)
                ADD_FAILURE() << name << " at column " << i % 30 + 1 << ", line " << i / 30 + 1
                              << ": " << got[i] << " expected " << want[i];
        }
        EXPECT_EQ(outside, 0) << name;
    }
}

TEST_F(RegionReference, LineDiagnosticHoldsTheFirstObservationAirTemperature) {
    const std::vector<float> got = read_floats(data() / "testMETtemp15.bin");
    const std::vector<float> want = read_floats(expected() / "testMETtemp15.bin");
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i)
        EXPECT_NEAR(got[i], want[i], 0.05) << "column " << i % 30 + 1 << ", line " << i / 30 + 1;
}

}  // namespace
