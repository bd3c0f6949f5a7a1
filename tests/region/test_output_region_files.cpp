// The files a region run leaves beside its rasters, on a generated region run by ornax.x:
// run_info.json against the rasters, the VRTs through GDAL at engineered pixels, the
// NetCDF export read back with the NetCDF library, the quicklook PNGs, the command-line
// conventions and the batch progress line.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#ifdef ORNAX_HAVE_NETCDF
#include <netcdf.h>
#endif

#include "ornax90/output/vocabulary.hpp"
#include "ornax90/command_line/version.hpp"
#include "utils/sha256.hpp"
#include "support/region_run.hpp"
#include "support/shell.hpp"

namespace {

using namespace region_run_test;
using shell_test::shell_output;
using shell_test::shell_status;

constexpr int kCols = 20, kRows = 12;
constexpr float kMissing = -999.0f;

class RegionOutputFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new ScratchDir("output_files");
        spec_ = make_region(dir_->path(), kCols, kRows, 11);
        exit_ = run_ornax(dir_->path(), "-r1 config/region.cfg 2019 200");
        info_ = nlohmann::json::parse(read_text(out() / "run_info.json"), nullptr, false);
    }
    static void TearDownTestSuite() { delete dir_; }
    static fs::path out() { return dir_->path() / "output"; }
    static size_t at(int col, int line) {
        return static_cast<size_t>(line - 1) * kCols + (col - 1);
    }

    static ScratchDir* dir_;
    static RegionSpec spec_;
    static int exit_;
    static nlohmann::json info_;
};
ScratchDir* RegionOutputFiles::dir_ = nullptr;
RegionSpec RegionOutputFiles::spec_;
int RegionOutputFiles::exit_ = -1;
nlohmann::json RegionOutputFiles::info_;

TEST_F(RegionOutputFiles, RunInfoAgreesWithTheRasters) {
    ASSERT_EQ(exit_, 0) << read_text(dir_->path() / "run.out");
    ASSERT_TRUE(info_.is_object()) << "run_info.json does not parse";
    EXPECT_EQ(info_["exit_status"], 0);
    EXPECT_EQ(info_["program"]["version"], ornax_version());
    EXPECT_EQ(info_["program"]["source_commit"], ornax_source_commit());
    EXPECT_EQ(info_["region_model_switch"], 1);
    EXPECT_EQ(info_["date"], "2019-07-19");
    EXPECT_EQ(info_["command_line"][1], "-r1");
    EXPECT_EQ(info_["run_grid"]["ncols"], kCols);
    EXPECT_EQ(info_["lines"]["failed"], 0);
    for (const auto& input : info_["inputs"])
        EXPECT_FALSE(input["size_bytes"].is_null()) << input["path"];
    // flag counts equal the quality raster's
    const std::vector<float> qc = read_floats(out() / "region_qc.bin");
    std::map<int, long long> counted;
    for (float q : qc) ++counted[static_cast<int>(q)];
    long long recorded_total = 0;
    for (const auto& flag : info_["quality_flags"]) {
        const int value = flag["flag"];
        EXPECT_EQ(flag["pixels"].get<long long>(), counted[value]) << "flag " << value;
        recorded_total += flag["pixels"].get<long long>();
    }
    EXPECT_EQ(recorded_total, static_cast<long long>(qc.size()));
    // statistics over the computed pixels equal those of the rasters
    for (const auto& var : info_["outputs"]["variables"]) {
        const std::vector<float> values = read_floats(out() / var["file"].get<std::string>());
        double sum = 0, low = 1e30, high = -1e30;
        long long n = 0;
        for (size_t i = 0; i < values.size(); ++i) {
            if (qc[i] != 0.0f || values[i] == kMissing) continue;
            sum += values[i];
            low = std::min<double>(low, values[i]);
            high = std::max<double>(high, values[i]);
            ++n;
        }
        const std::string name = var["name"];
        ASSERT_EQ(var["computed_pixels"].get<long long>(), n) << name;
        if (n == 0) continue;
        EXPECT_NEAR(var["mean"].get<double>(), sum / n, 1e-4 * (1 + std::fabs(sum / n))) << name;
        EXPECT_NEAR(var["minimum"].get<double>(), low, 1e-5 * (1 + std::fabs(low))) << name;
        EXPECT_NEAR(var["maximum"].get<double>(), high, 1e-5 * (1 + std::fabs(high))) << name;
    }
}

// Relative paths of the record are placed by its working directory and HOME_DIR, and each
// input's digest is that of the file as it is.
TEST_F(RegionOutputFiles, RunInfoPlacesItsPathsAndDigestsItsInputs) {
    ASSERT_EQ(exit_, 0);
    EXPECT_EQ(fs::path(info_["working_directory"].get<std::string>()), fs::canonical(dir_->path()));
    EXPECT_EQ(info_["home_dir"], dir_->path().string());
    EXPECT_EQ(info_["run_grid"]["crs"], "EPSG:4326");
    EXPECT_EQ(info_["run_grid"]["crs_wkt"], ornax_crs_wkt);
    int digested = 0;
    std::vector<nlohmann::json> entries(info_["inputs"].begin(), info_["inputs"].end());
    entries.push_back(info_["configuration"]);
    for (const auto& input : entries) {
        fs::path path = input["path"].get<std::string>();
        if (path.is_relative()) path = info_["working_directory"].get<std::string>() / path;
        if (input["size_bytes"].is_null()) {
            EXPECT_TRUE(input["sha256"].is_null()) << path;
            continue;
        }
        ASSERT_TRUE(input["sha256"].is_string()) << path;
        EXPECT_EQ(input["sha256"], sha256_hex(read_text(path))) << path;
        ++digested;
    }
    EXPECT_GT(digested, 20);
}

TEST_F(RegionOutputFiles, EveryRasterHasItsDescriptorsAndTheRunItsQuicklooks) {
    ASSERT_EQ(exit_, 0);
    std::vector<std::string> names = generated_outputs();
    names.push_back("region_qc");
    for (const std::string& name : names)
        for (const char* ext : {".vrt", ".ctl"})
            EXPECT_TRUE(fs::exists(out() / (name + ext))) << name << ext;
    EXPECT_GT(fs::file_size(out() / "EDAY.png"), 1000u);
    EXPECT_GT(fs::file_size(out() / "region_qc.png"), 1000u);
    const std::string ctl = read_text(out() / "EDAY.ctl");
    EXPECT_NE(ctl.find("xdef 20 linear -99.975 0.05"), std::string::npos) << ctl;
    EXPECT_NE(ctl.find("tdef 1 linear 00Z19JUL2019 1dy"), std::string::npos) << ctl;
    // no temporary file is left in the output folder, only the folder's lock file
    for (const auto& entry : fs::directory_iterator(out()))
        if (entry.path().filename() != ".ornax-run.lock") {
            EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
        }
    // batch progress (standard error is a file here) and the end-of-run summary
    const std::string err = read_text(dir_->path() / "run.err");
    EXPECT_NE(err.find("Line 12 of 12 (100 %)"), std::string::npos) << err;
    EXPECT_NE(read_text(dir_->path() / "run.out").find("Region run finished: 12 lines (0 failed)"),
              std::string::npos);
}

TEST_F(RegionOutputFiles, VrtGivesTheRasterValueAtEngineeredPixels) {
    ASSERT_EQ(exit_, 0);
    if (shell_status("command -v gdallocationinfo > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "gdallocationinfo not installed (Debian gdal-bin)";
    const std::vector<float> eday = read_floats(out() / "EDAY.bin");
    std::map<int, int> tried;  // at most two pixels per quality flag
    for (const EngineeredPixel& p : Landscape(spec_).engineered()) {
        if (++tried[p.qc] > 2) continue;
        char where[64];
        std::snprintf(where, sizeof where, " %.4f %.4f", -100.0 + (p.col - 0.5) * 0.05,
                      34.0 + (p.line - 0.5) * 0.05);
        const std::string got = shell_output("gdallocationinfo -valonly -wgs84 '" +
                                             (out() / "EDAY.vrt").string() + "'" + where);
        ASSERT_FALSE(got.empty()) << p.why;
        EXPECT_FLOAT_EQ(std::stof(got), eday[at(p.col, p.line)]) << p.why;
        if (p.qc != 0) {
            EXPECT_FLOAT_EQ(std::stof(got), kMissing) << p.why;
        }
    }
    const fs::path tif = dir_->path() / "EDAY.tif";
    EXPECT_EQ(shell_status("gdal_translate -q '" + (out() / "EDAY.vrt").string() + "' '" +
                           tif.string() + "'"),
              0);
    EXPECT_GT(fs::file_size(tif), 4u * kCols * kRows);
}

#ifdef ORNAX_HAVE_NETCDF
TEST_F(RegionOutputFiles, NetcdfExportHoldsTheRasterValues) {
    ASSERT_EQ(exit_, 0);
    const fs::path nc_path = dir_->path() / "run.nc";
    ASSERT_EQ(shell_status(std::string("'") + ORNAX_TOOLS_DIR + "/ornax_to_netcdf' '" +
                           out().string() + "' '" + nc_path.string() + "' > /dev/null"),
              0);
    int nc = -1;
    ASSERT_EQ(nc_open(nc_path.c_str(), NC_NOWRITE, &nc), NC_NOERR);
    char text[256] = {};
    ASSERT_EQ(nc_get_att_text(nc, NC_GLOBAL, "Conventions", text), NC_NOERR);
    EXPECT_STREQ(text, "CF-1.8");
    int lat = -1;
    ASSERT_EQ(nc_inq_varid(nc, "lat", &lat), NC_NOERR);
    std::vector<double> lats(kRows);
    nc_get_var_double(nc, lat, lats.data());
    EXPECT_NEAR(lats[0], 34.025, 1e-9);  // south first, cell centres
    EXPECT_NEAR(lats[kRows - 1], 34.575, 1e-9);
    for (const std::string& name : {std::string("EDAY"), std::string("XLE2")}) {
        int var = -1;
        ASSERT_EQ(nc_inq_varid(nc, name.c_str(), &var), NC_NOERR) << name;
        std::vector<float> values(kCols * kRows);
        ASSERT_EQ(nc_get_var_float(nc, var, values.data()), NC_NOERR);
        EXPECT_EQ(values, read_floats(out() / (name + ".bin"))) << name;
        float fill = 0;
        nc_get_att_float(nc, var, "_FillValue", &fill);
        EXPECT_EQ(fill, kMissing);
    }
    int qc_var = -1;
    ASSERT_EQ(nc_inq_varid(nc, "region_qc", &qc_var), NC_NOERR);
    std::vector<signed char> flags(kCols * kRows);
    nc_get_var_schar(nc, qc_var, flags.data());
    const std::vector<float> qc = read_floats(out() / "region_qc.bin");
    for (size_t i = 0; i < qc.size(); ++i) ASSERT_EQ(flags[i], static_cast<int>(qc[i])) << i;
    nc_close(nc);
}
#endif

TEST_F(RegionOutputFiles, ARunThatStopsEarlyLeavesTheEarlierRunRecord) {
    ScratchDir broken("output_files_broken");
    make_region(broken.path(), 8, 6, 3);
    ASSERT_EQ(run_ornax(broken.path(), "-r0 config/region.cfg 2019 200"), 0);
    ASSERT_TRUE(fs::exists(broken.path() / "output" / "run_info.json"));
    // an unreadable meteorological configuration stops the run before the first line: the
    // rasters are not rewritten, so the earlier record still describes them
    const std::string record = read_text(broken.path() / "output" / "run_info.json");
    const fs::path met = broken.path() / "config" / "met.cfg";
    const std::string text = read_text(met);
    std::ofstream(met, std::ios::trunc) << text.substr(0, text.find('\n') + 1);
    EXPECT_EQ(run_ornax(broken.path(), "-r0 config/region.cfg 2019 200"), 3);
    EXPECT_EQ(read_text(broken.path() / "output" / "run_info.json"), record);
}

TEST(CommandLine, HelpAndVersionAloneExitZero) {
    ScratchDir dir("command_line");
    struct Case {
        std::string args, expected_output;
        int exit_status;
    };
    const std::vector<Case> cases = {
        {"--help", "Usage: ", 0},
        {"-h", "Usage: ", 0},
        {"--version", ornax_version_line(), 0},
        {"", "Usage: ", 2},  // no argument: the usage text, as before
    };
    for (const Case& c : cases) {
        EXPECT_EQ(run_ornax(dir.path(), c.args), c.exit_status) << c.args;
        EXPECT_NE(read_text(dir.path() / "run.out").find(c.expected_output), std::string::npos)
            << c.args;
    }
    // no log file is opened for them
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_NE(entry.path().filename().string().rfind("ORNAX-", 0), 0u) << entry.path();
}

}  // namespace
