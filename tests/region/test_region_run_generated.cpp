// Region runs of a small generated region (20 x 12 pixels): output sizes, the quality
// flags of the engineered pixels, plausible computed values, the soil-resistance switch,
// a missing grid description and a line whose inputs fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/region_run.hpp"

namespace {

using namespace region_run_test;

constexpr int kCols = 20, kRows = 12;
constexpr unsigned kSeed = 5;
constexpr float kMissing = -999.0f;  // run grid's missing value

class RegionGenerated : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        r0_ = new ScratchDir("generated_r0");
        r1_ = new ScratchDir("generated_r1");
        spec_ = make_region(r0_->path(), kCols, kRows, kSeed);
        make_region(r1_->path(), kCols, kRows, kSeed);
        exit_r0_ = run_ornax(r0_->path(), "-r0 config/region.cfg 2019 200");
        exit_r1_ = run_ornax(r1_->path(), "-r1 config/region.cfg 2019 200");
    }
    static void TearDownTestSuite() {
        delete r0_;
        delete r1_;
    }
    static std::vector<float> output(const ScratchDir* dir, const std::string& name) {
        return read_floats(dir->path() / "output" / (name + ".bin"));
    }
    static size_t at(int col, int line) {
        return static_cast<size_t>(line - 1) * kCols + (col - 1);
    }

    static ScratchDir* r0_;
    static ScratchDir* r1_;
    static RegionSpec spec_;
    static int exit_r0_, exit_r1_;
};
ScratchDir* RegionGenerated::r0_ = nullptr;
ScratchDir* RegionGenerated::r1_ = nullptr;
RegionSpec RegionGenerated::spec_;
int RegionGenerated::exit_r0_ = -1;
int RegionGenerated::exit_r1_ = -1;

TEST_F(RegionGenerated, EveryOutputHasOneRecordPerLine) {
    ASSERT_EQ(exit_r0_, 0) << read_text(r0_->path() / "run.out") << log_text(r0_->path());
    std::vector<std::string> names = generated_outputs();
    names.push_back("region_qc");
    for (const std::string& name : names)
        EXPECT_EQ(fs::file_size(r0_->path() / "output" / (name + ".bin")), 4u * kCols * kRows)
            << name;
    EXPECT_EQ(fs::file_size(r0_->path() / "testMETtemp15.bin"), 4u * kCols * kRows);
    const std::string log = log_text(r0_->path());
    EXPECT_NE(log.find("Region run done:"), std::string::npos);
    EXPECT_NE(log.find("land cover read successfully"), std::string::npos);
}

TEST_F(RegionGenerated, EngineeredPixelsGetTheirQualityFlags) {
    const std::vector<float> qc = output(r0_, "region_qc");
    ASSERT_EQ(qc.size(), static_cast<size_t>(kCols * kRows));
    std::vector<bool> engineered(qc.size(), false);
    std::vector<int> seen_flags;
    for (const EngineeredPixel& p : Landscape(spec_).engineered()) {
        EXPECT_EQ(qc[at(p.col, p.line)], static_cast<float>(p.qc))
            << p.why << " at column " << p.col << ", line " << p.line;
        engineered[at(p.col, p.line)] = true;
        seen_flags.push_back(p.qc);
    }
    for (int flag : {0, 1, 17, 77, 127})
        EXPECT_NE(std::find(seen_flags.begin(), seen_flags.end(), flag), seen_flags.end())
            << "no engineered pixel with flag " << flag;
    for (size_t i = 0; i < qc.size(); ++i) {
        if (!engineered[i]) {
            EXPECT_EQ(qc[i], 0.0f)
                << "ordinary pixel at column " << i % kCols + 1 << ", line " << i / kCols + 1;
        }
    }
}

TEST_F(RegionGenerated, ComputedPixelsArePlausibleAndOthersMissing) {
    const std::vector<float> qc = output(r0_, "region_qc");
    const std::vector<float> eday = output(r0_, "EDAY"), rnet = output(r0_, "RNET2"),
                             g = output(r0_, "G2"), h = output(r0_, "H2"), le = output(r0_, "XLE2");
    const std::vector<float> lai = read_floats(r0_->path() / "veg" / "2019200" / "lai.bin");
    int vegetated = 0;
    for (size_t i = 0; i < qc.size(); ++i) {
        if (qc[i] != 0.0f) {
            for (const std::string& name : generated_outputs())
                EXPECT_EQ(output(r0_, name)[i], kMissing)
                    << name << " of a pixel with QC " << qc[i];
            continue;
        }
        // Energy balance at the second observation closes: RNET - G - H - LE = 0 (W m-2).
        EXPECT_NEAR(rnet[i] - g[i] - h[i] - le[i], 0.0f, 1.0f) << "pixel " << i;
        if (lai[i] > 0.5f) {
            ++vegetated;
            EXPECT_GT(eday[i], 2.0f) << "pixel " << i;  // MJ m-2 day-1
            EXPECT_LT(eday[i], 25.0f) << "pixel " << i;
        }
    }
    EXPECT_GT(vegetated, kCols * kRows / 2);
}

TEST_F(RegionGenerated, SoilResistanceSwitchChangesOnlyCorrectedPixels) {
    ASSERT_EQ(exit_r1_, 0) << log_text(r1_->path());
    const std::vector<float> rs = read_floats(r0_->path() / "static" / "rs_correct.bin");
    int corrected_differ = 0;
    for (const std::string& name : generated_outputs()) {
        const std::vector<float> a = output(r0_, name), b = output(r1_, name);
        ASSERT_EQ(a.size(), b.size());
        for (size_t i = 0; i < a.size(); ++i) {
            if (rs[i] > 0.0f && rs[i] < 1.0f) {
                corrected_differ += a[i] != b[i];
                continue;
            }
            EXPECT_EQ(a[i], b[i]) << name << " at pixel " << i << " with factor " << rs[i];
        }
    }
    EXPECT_GT(corrected_differ, 0) << "-r1 changed no pixel whose factor lies in (0, 1)";
}

TEST(RegionGeneratedFailures, MissingRunGridDescriptionOpensNoOutput) {
    ScratchDir dir("no_run_grid");
    make_region(dir.path(), kCols, kRows, kSeed);
    fs::remove(dir.path() / "config" / "domain_run.txt");
    EXPECT_EQ(run_ornax(dir.path(), "-r0 config/region.cfg 2019 200"), 3);
    EXPECT_NE(log_text(dir.path()).find("Read configurations failed"), std::string::npos);
    for (const auto& entry : fs::directory_iterator(dir.path() / "output"))
        ADD_FAILURE() << "unexpected output " << entry.path();
    EXPECT_FALSE(fs::exists(dir.path() / "testMETtemp15.bin"));
}

// The snow grid starts two lines north of the run grid, so the first run line lies south
// of it and its snow read fails; the later lines must still be computed.
TEST(RegionGeneratedFailures, FailingLineWritesMissingAndOtherLinesAreComputed) {
    ScratchDir base("line_base"), dir("line_fails");
    make_region(base.path(), kCols, kRows, kSeed);
    const RegionSpec spec = make_region(dir.path(), kCols, kRows, kSeed);
    GridBox snow = spec.run;
    snow.south_h += 10;
    snow.nrows -= 2;
    int status = 0;
    write_text_file(dir.path() / "config" / "domain_snow.txt",
                    domain_text("snow grid", snow, -9999.0f), status);
    std::vector<float> mask = read_floats(dir.path() / "snow" / "2019200" / "snow_mask.bin");
    mask.erase(mask.begin(), mask.begin() + 2 * kCols);
    write_floats(dir.path() / "snow" / "2019200" / "snow_mask.bin", mask);

    ASSERT_EQ(run_ornax(base.path(), "-r0 config/region.cfg 2019 200"), 0);
    EXPECT_EQ(run_ornax(dir.path(), "-r0 config/region.cfg 2019 200"), 3);
    const std::string log = log_text(dir.path());
    EXPECT_NE(log.find("ORNAX read data error"), std::string::npos);
    EXPECT_NE(log.find("Read snow mask error"), std::string::npos);

    const std::vector<float> qc = read_floats(dir.path() / "output" / "region_qc.bin");
    const std::vector<float> qc_base = read_floats(base.path() / "output" / "region_qc.bin");
    ASSERT_EQ(qc.size(), qc_base.size());
    for (int col = 1; col <= kCols; ++col) EXPECT_EQ(qc[col - 1], 255.0f) << "column " << col;
    for (const std::string& name : generated_outputs()) {
        const std::vector<float> v = read_floats(dir.path() / "output" / (name + ".bin"));
        const std::vector<float> v_base = read_floats(base.path() / "output" / (name + ".bin"));
        ASSERT_EQ(v.size(), static_cast<size_t>(kCols * kRows)) << name;
        for (int col = 1; col <= kCols; ++col) EXPECT_EQ(v[col - 1], kMissing) << name;
        for (size_t i = 2 * kCols; i < v.size(); ++i)
            EXPECT_EQ(v[i], v_base[i]) << name << " " << i;
    }
    for (size_t i = 2 * kCols; i < qc.size(); ++i) EXPECT_EQ(qc[i], qc_base[i]) << "pixel " << i;
    EXPECT_EQ(fs::file_size(dir.path() / "testMETtemp15.bin"), 4u * kCols * kRows);
}

}  // namespace

namespace {

// A run of 250 lines logs "Processing Line" for lines 100 and 200 with their latitudes.
TEST(RegionGeneratedProgress, ProcessingLineEveryHundredLines) {
    ScratchDir dir("progress");
    make_region(dir.path(), 8, 250, kSeed);
    ASSERT_EQ(run_ornax(dir.path(), "-r0 config/region.cfg 2019 200"), 0) << log_text(dir.path());
    const std::string log = log_text(dir.path());
    std::vector<std::string> lines;
    for (size_t at = log.find("Processing Line"); at != std::string::npos;
         at = log.find("Processing Line", at + 1))
        lines.push_back(log.substr(at, log.find('\n', at) - at));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find(" 100 at"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("38.97"), std::string::npos) << lines[0];  // 34 + 99.5 x 0.05
    EXPECT_NE(lines[1].find(" 200 at"), std::string::npos) << lines[1];
    EXPECT_NE(lines[1].find("43.97"), std::string::npos) << lines[1];
    // Not a terminal (a batch job): a plain progress line for every tenth of the lines,
    // with the time left, and no carriage return rewriting a line in place.
    const std::string err = read_text(dir.path() / "run.err");
    size_t progress = 0;
    for (size_t at = err.find("pixels computed"); at != std::string::npos;
         at = err.find("pixels computed", at + 1))
        ++progress;
    EXPECT_EQ(progress, 10u) << err;
    EXPECT_NE(err.find("Line 25 of 250 (10 %)"), std::string::npos) << err;
    EXPECT_NE(err.find("s left"), std::string::npos);
    EXPECT_EQ(err.find('\r'), std::string::npos);
}

// On a terminal the run shows a progress line updated in place on the error stream.
TEST(RegionGeneratedProgress, ProgressLineOnATerminal) {
    if (std::system("command -v script > /dev/null 2>&1") != 0) GTEST_SKIP() << "no script(1)";
    ScratchDir dir("progress_tty");
    make_region(dir.path(), 8, 6, kSeed);
    const std::string cmd = "cd '" + dir.path().string() + "' && HOME_DIR='" + dir.path().string() +
                            "' script -qec \"'" + ORNAX_EXE +
                            "' -r0 config/region.cfg 2019 200 > /dev/null\" /dev/null > tty.txt";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    const std::string tty = read_text(dir.path() / "tty.txt");
    EXPECT_NE(tty.find("\r Line 1 of 6,"), std::string::npos) << tty;
    EXPECT_NE(tty.find("\r Line 6 of 6,"), std::string::npos) << tty;
    EXPECT_NE(tty.find("s left"), std::string::npos) << tty;
}

}  // namespace

namespace {

// The run stops with status 3 before its line loop when the class table holds no class
// (nothing is opened) or when the land cells cannot be set up (no line is written).
TEST(RegionGeneratedFailures, EmptyClassTableStopsBeforeOpeningOutputs) {
    ScratchDir dir("no_classes");
    make_region(dir.path(), kCols, kRows, kSeed);
    std::ofstream(dir.path() / "config" / "landcover.txt", std::ios::trunc).close();
    EXPECT_EQ(run_ornax(dir.path(), "-r0 config/region.cfg 2019 200"), 3);
    EXPECT_NE(log_text(dir.path()).find("Region run stopped: no land cover class read"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(dir.path() / "output" / "region_qc.bin"));
}

TEST(RegionGeneratedFailures, LandCellsThatCannotBeBuiltStopTheRun) {
    ScratchDir dir("no_land");
    make_region(dir.path(), kCols, kRows, kSeed);
    fs::resize_file(dir.path() / "umd" / "umd_landcover.bin", 0);  // no subset file either
    EXPECT_EQ(run_ornax(dir.path(), "-r0 config/region.cfg 2019 200"), 3);
    EXPECT_NE(log_text(dir.path()).find("Land data of the common grid could not be loaded"),
              std::string::npos);
    EXPECT_EQ(log_text(dir.path()).find("Region run done:"), std::string::npos);
    // Nothing is published by a run that stops before its lines.
    EXPECT_FALSE(fs::exists(dir.path() / "output" / "region_qc.bin"));
}

}  // namespace
