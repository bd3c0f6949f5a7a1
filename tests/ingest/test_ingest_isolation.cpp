// Readings in a child process: what the child hands back arrives whole, and a child that
// crashes, hangs, eats memory or ends without a result becomes a refusal naming the
// library, the file and what happened, never an end of the converter.
#include <cpl_error.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "ingest/common/isolated_read.hpp"
#include "ingest/common/support.hpp"
#include "ingest/raster/isolated_reads.hpp"
#include "support/ingest_land.hpp"

namespace {

// Limits of one test, the earlier ones back afterwards.
class LimitsFor {
public:
    explicit LimitsFor(const IsolationLimits& limits) : before_(ingest_isolation_limits()) {
        ingest_set_isolation_limits(limits);
    }
    ~LimitsFor() { ingest_set_isolation_limits(before_); }

private:
    IsolationLimits before_;
};

struct ChildCase {
    const char* name;
    IsolatedWork work;
    const char* message;  // in the error; empty: the reading succeeds
};

class ChildEnds : public ::testing::TestWithParam<ChildCase> {};

TEST_P(ChildEnds, BecomesARefusalNamingFileAndCause) {
    const ChildCase& c = GetParam();
    IsolationLimits limits;
    limits.seconds = 1.0;
    limits.memory_mb = 256;
    LimitsFor hold(limits);
    IsolatedBytes result;
    std::string error;
    int status = -1;
    ingest_isolated_read("ecCodes", "/data/first.grib2", c.work, result, error, status);
    if (*c.message == '\0') {
        EXPECT_EQ(status, 0) << error;
        return;
    }
    EXPECT_EQ(status, ingest_status_failed);
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    EXPECT_NE(error.find(".grib2"), std::string::npos) << error;
}

const ChildCase child_cases[] = {
    {"segmentation_fault", [](IsolatedBytes&, std::string&, int&) { raise(SIGSEGV); },
     "ecCodes crashed (signal 11, Segmentation fault) reading /data/first.grib2"},
    {"abort_on_a_failed_assertion", [](IsolatedBytes&, std::string&, int&) { std::abort(); },
     "ecCodes crashed (signal 6"},
    {"spins_forever",
     [](IsolatedBytes&, std::string&, int&) {
         for (;;) pause();
     },
     "ecCodes timed out after 1 s reading /data/first.grib2"},
    {"hangs_on_the_second_file",
     [](IsolatedBytes&, std::string&, int&) {
         ingest_isolated_reading("/data/second.grib2");
         for (;;) pause();
     },
     "timed out after 1 s reading /data/second.grib2"},
    {"each_file_has_the_whole_limit",
     [](IsolatedBytes&, std::string&, int& st) {
         for (int i = 0; i < 4; ++i) {
             ingest_isolated_reading("/data/step" + std::to_string(i) + ".grib2");
             usleep(400000);
         }
         st = 0;
     },
     ""},
    {"memory_exhausted",
     [](IsolatedBytes& out, std::string&, int& st) {
         std::vector<std::vector<float>> hold;
         for (int i = 0; i < 64; ++i) hold.emplace_back(std::size_t(16) << 20, 1.0f);
         out.put(hold.back());
         st = 0;
     },
     "ran out of memory reading /data/first.grib2"},
    {"ends_without_a_result", [](IsolatedBytes&, std::string&, int&) { _exit(1); },
     "ended the reading of /data/first.grib2 without a result (exit status 1)"},
    {"its_own_refusal",
     [](IsolatedBytes&, std::string& err, int& st) {
         err = "/data/first.grib2 field 3: values in g/kg";
         st = ingest_status_failed;
     },
     "/data/first.grib2 field 3: values in g/kg"},
    {"gdal_failure_while_reading",
     [](IsolatedBytes&, std::string&, int& st) {
         CPLError(CE_Failure, CPLE_AppDefined, "TIFFFetchNormalTag: ASCII value for tag");
         st = 0;
     },
     "/data/first.grib2: GDAL reported an error reading it: TIFFFetchNormalTag: ASCII"},
};

void PrintTo(const ChildCase& c, std::ostream* os) {
    *os << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, ChildEnds, ::testing::ValuesIn(child_cases),
                         [](const ::testing::TestParamInfo<ChildCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(IsolatedRead, ResultsAndMessagesComeBackInOrder) {
    const std::vector<float> values = {1.5f, -9999.0f, 3.25e20f};
    const auto work = [&](IsolatedBytes& out, std::string&, int& st) {
        ingest_message("first line");
        ingest_log_only("detail");
        out.put(std::int64_t{42});
        out.put(std::string("text\0with a zero", 16));
        out.put(values);
        out.put(std::vector<double>{0.1});
        out.put(2.5);
        st = 0;
    };
    for (const bool in_process : {false, true}) {
        IsolationLimits limits;
        limits.in_process = in_process;
        LimitsFor hold(limits);
        IngestMessageList lines;
        IsolatedBytes result;
        std::string error;
        int status = -1;
        {
            IngestMessageCapture capture(lines);
            ingest_isolated_read("GDAL", "f.tif", work, result, error, status);
        }
        ASSERT_EQ(status, 0) << error;
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0].second, "first line");
        EXPECT_EQ(lines[1].first, IngestMessageKind::log_only);
        std::int64_t n = 0;
        std::string text;
        std::vector<float> back;
        std::vector<double> d;
        double x = 0.0;
        EXPECT_TRUE(result.get(n) && result.get(text) && result.get(back) && result.get(d) &&
                    result.get(x));
        EXPECT_TRUE(result.complete());
        EXPECT_EQ(n, 42);
        EXPECT_EQ(text.size(), 16u);
        EXPECT_EQ(back, values);
        EXPECT_EQ(x, 2.5);
        // reading past the end fails, and so does every later reading
        EXPECT_FALSE(result.get(n));
        EXPECT_FALSE(result.complete());
    }
}

// A raster read in a child gives the values of the same reading in the converter, also
// after the converter's own warper started its threads (which the child does not have).
TEST(IsolatedRead, RasterAfterTheWarpersThreadsStarted) {
    const std::string sample = land_test::real_sample(
        "goes/OR_ABI-L2-CMIPM1-M6C04_G16_s20211451811238_e20211451811295_c20211451811353_CMI.tif");
    if (sample.empty()) GTEST_SKIP() << "real sample absent";
    IsolationLimits limits;
    limits.seconds = 30.0;
    LimitsFor hold(limits);
    RasterRules rules;
    rules.resampling = Resampling::average;
    const Spatialinfodata grid = land_test::make_grid(-99.0f, 33.0f, 0.005f, 400, 400);
    std::vector<float> here, there;
    nlohmann::json details_here, details_there;
    std::string error;
    int status = -1;
    prepare_raster({sample}, grid, rules, here, details_here, error, status);
    ASSERT_EQ(status, 0) << error;
    prepare_raster_isolated({sample}, grid, rules, there, details_there, error, status);
    ASSERT_EQ(status, 0) << error;
    EXPECT_EQ(here, there);
    EXPECT_EQ(details_here, details_there);
}

TEST(IsolatedBytes, ALengthBeyondTheBytesIsRefused) {
    IsolatedBytes bytes;
    bytes.put(std::int64_t{1} << 40);  // a vector length with no values behind it
    std::vector<float> values;
    EXPECT_FALSE(bytes.get(values));
    EXPECT_TRUE(values.empty());
}

}  // namespace
