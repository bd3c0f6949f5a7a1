// The NetCDF export of a generated region run as other programs see it: GDAL finds its
// coordinate reference system and gives the raster values at engineered pixels, it
// reprojects into metres; and the CF pieces (cell methods, bounds, ET in mm, the run's
// status) are there.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#ifdef ORNAX_HAVE_NETCDF
#include <netcdf.h>

#include "ornax90/output/vocabulary.hpp"
#include "support/folder_state.hpp"
#include "support/region_run.hpp"
#include "support/shell.hpp"

namespace {

using namespace region_run_test;
using shell_test::shell_output;
using shell_test::shell_status;

constexpr int kCols = 20, kRows = 12;

bool have(const char* program) {
    return shell_status(std::string("command -v ") + program + " > /dev/null 2>&1") == 0;
}

std::string quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

// ornax_to_netcdf with the arguments; screen output into dir/nc.out and dir/nc.err.
int to_netcdf(const fs::path& dir, const std::string& args) {
    return shell_status("cd " + quoted(dir) + " && '" + ORNAX_TOOLS_DIR + "/ornax_to_netcdf' " +
                        args + " > nc.out 2> nc.err");
}

class NetcdfExport : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new ScratchDir("netcdf_export");
        spec_ = make_region(dir_->path(), kCols, kRows, 23);
        run_exit_ = run_ornax(dir_->path(), "-r1 config/region.cfg 2019 200");
        export_exit_ = to_netcdf(dir_->path(), "output run.nc");
    }
    static void TearDownTestSuite() { delete dir_; }
    static fs::path out() { return dir_->path() / "output"; }
    static fs::path nc() { return dir_->path() / "run.nc"; }
    static std::string subdataset(const std::string& var) {
        return "'NETCDF:\"" + nc().string() + "\":" + var + "'";
    }
    static size_t at(int col, int line) {
        return static_cast<size_t>(line - 1) * kCols + (col - 1);
    }
    void SetUp() override {
        ASSERT_EQ(run_exit_, 0) << read_text(dir_->path() / "run.err");
        ASSERT_EQ(export_exit_, 0) << read_text(dir_->path() / "nc.err");
    }

    static ScratchDir* dir_;
    static RegionSpec spec_;
    static int run_exit_, export_exit_;
};
ScratchDir* NetcdfExport::dir_ = nullptr;
RegionSpec NetcdfExport::spec_;
int NetcdfExport::run_exit_ = -1;
int NetcdfExport::export_exit_ = -1;

TEST_F(NetcdfExport, GdalFindsTheCoordinateReferenceSystem) {
    if (!have("gdalsrsinfo")) GTEST_SKIP() << "gdalsrsinfo not installed (Debian gdal-bin)";
    for (const std::string var : {"EDAY", "region_qc"}) {
        const std::string command = "gdalsrsinfo -e " + subdataset(var) + " 2>&1";
        EXPECT_EQ(shell_status(command + " > /dev/null"), 0) << var;
        const std::string text = shell_output(command);
        EXPECT_NE(text.find("EPSG:4326"), std::string::npos) << var << ": " << text;
        EXPECT_EQ(text.find("ERROR"), std::string::npos) << var << ": " << text;
    }
}

TEST_F(NetcdfExport, GdalGivesTheRasterValueAtEngineeredPixels) {
    if (!have("gdallocationinfo"))
        GTEST_SKIP() << "gdallocationinfo not installed (Debian gdal-bin)";
    const std::vector<float> eday = read_floats(out() / "EDAY.bin");
    const std::vector<float> qc = read_floats(out() / "region_qc.bin");
    std::map<int, int> tried;  // at most two pixels per quality flag
    int checked = 0;
    for (const EngineeredPixel& p : Landscape(spec_).engineered()) {
        if (++tried[p.qc] > 2) continue;
        char where[64];
        std::snprintf(where, sizeof where, " %.4f %.4f", -100.0 + (p.col - 0.5) * 0.05,
                      34.0 + (p.line - 0.5) * 0.05);
        const std::string value =
            shell_output("gdallocationinfo -valonly -wgs84 " + subdataset("EDAY") + where);
        ASSERT_FALSE(value.empty()) << p.why;
        EXPECT_FLOAT_EQ(std::stof(value), eday[at(p.col, p.line)]) << p.why;
        const std::string flag =
            shell_output("gdallocationinfo -valonly -wgs84 " + subdataset("region_qc") + where);
        ASSERT_FALSE(flag.empty()) << p.why;
        EXPECT_EQ(std::stoi(flag), static_cast<int>(qc[at(p.col, p.line)])) << p.why;
        ++checked;
    }
    EXPECT_GE(checked, 3);
}

TEST_F(NetcdfExport, ReprojectsIntoMetres) {
    if (!have("gdalwarp")) GTEST_SKIP() << "gdalwarp not installed (Debian gdal-bin)";
    const fs::path tif = dir_->path() / "EDAY_5070.tif";
    ASSERT_EQ(shell_status("gdalwarp -q -overwrite -t_srs EPSG:5070 " + subdataset("EDAY") + " " +
                           quoted(tif) + " 2>&1"),
              0);
    const nlohmann::json info =
        nlohmann::json::parse(shell_output("gdalinfo -json " + quoted(tif)), nullptr, false);
    ASSERT_TRUE(info.is_object());
    const std::vector<double> transform = info.at("geoTransform");
    // 0.05 degree near 34 N is about 4.6 km east-west: metres, not degrees taken for metres
    EXPECT_GT(std::fabs(transform[1]), 3000.0);
    EXPECT_LT(std::fabs(transform[1]), 7000.0);
    // the south-west corner at 100 W, 34 N lies about 0.4 Mm west of the projection centre
    EXPECT_LT(transform[0], -200000.0);
    EXPECT_GT(transform[0], -800000.0);
}

TEST_F(NetcdfExport, GridMappingCarriesTheWkt2Text) {
    int id = -1;
    ASSERT_EQ(nc_open(nc().c_str(), NC_NOWRITE, &id), NC_NOERR);
    int crs = -1;
    ASSERT_EQ(nc_inq_varid(id, "crs", &crs), NC_NOERR);
    size_t length = 0;
    ASSERT_EQ(nc_inq_attlen(id, crs, "crs_wkt", &length), NC_NOERR);
    std::string wkt(length, '\0');
    nc_get_att_text(id, crs, "crs_wkt", wkt.data());
    EXPECT_EQ(wkt, ornax_crs_wkt);
    EXPECT_EQ(wkt.rfind("GEOGCRS[", 0), 0u);
    nc_close(id);
}

std::string text_att(int id, int var, const char* name) {
    size_t length = 0;
    if (nc_inq_attlen(id, var, name, &length) != NC_NOERR) return "(none)";
    std::string text(length, '\0');
    nc_get_att_text(id, var, name, text.data());
    return text;
}

std::vector<double> doubles(int id, const char* name, size_t count) {
    int var = -1;
    std::vector<double> values(count, -1e30);
    if (nc_inq_varid(id, name, &var) == NC_NOERR) nc_get_var_double(id, var, values.data());
    return values;
}

TEST_F(NetcdfExport, VariablesSayWhatTheyHoldOverTheDay) {
    int id = -1;
    ASSERT_EQ(nc_open(nc().c_str(), NC_NOWRITE, &id), NC_NOERR);
    struct Case {
        const char* name;
        const char* cell_methods;
        const char* comment_part;  // empty: no comment expected
    };
    const Case cases[] = {
        {"EDAY", "time: mean", ""},
        {"HDAY", "time: mean", ""},
        {"XLE2", "time: point", "second morning satellite observation"},
        {"TA2", "time: point", "tloc2_file"},
        {"ET", "time: mean", "2.45 MJ kg-1"},
    };
    for (const Case& c : cases) {
        int var = -1;
        if (nc_inq_varid(id, c.name, &var) != NC_NOERR) {
            ADD_FAILURE() << c.name << " not in the file";
            continue;
        }
        EXPECT_EQ(text_att(id, var, "cell_methods"), c.cell_methods) << c.name;
        const std::string comment = text_att(id, var, "comment");
        if (*c.comment_part != '\0') {
            EXPECT_NE(comment.find(c.comment_part), std::string::npos) << c.name << ": " << comment;
        } else {
            EXPECT_EQ(comment, "(none)") << c.name;
        }
    }
    int et = -1;
    ASSERT_EQ(nc_inq_varid(id, "ET", &et), NC_NOERR);
    EXPECT_EQ(text_att(id, et, "units"), "kg m-2 day-1");
    nc_close(id);
}

TEST_F(NetcdfExport, CoordinateBoundsTileTheGridAndTheDay) {
    int id = -1;
    ASSERT_EQ(nc_open(nc().c_str(), NC_NOWRITE, &id), NC_NOERR);
    struct Axis {
        const char* name;
        const char* bounds;
        size_t count;
        double first_edge, step;
    };
    const Axis axes[] = {{"lat", "lat_bnds", kRows, 34.0, 0.05},
                         {"lon", "lon_bnds", kCols, -100.0, 0.05}};
    for (const Axis& a : axes) {
        int var = -1;
        ASSERT_EQ(nc_inq_varid(id, a.name, &var), NC_NOERR);
        EXPECT_EQ(text_att(id, var, "bounds"), a.bounds);
        const std::vector<double> centre = doubles(id, a.name, a.count);
        const std::vector<double> edge = doubles(id, a.bounds, 2 * a.count);
        for (size_t k = 0; k < a.count; ++k) {
            EXPECT_NEAR(edge[2 * k], a.first_edge + k * a.step, 1e-6) << a.name << k;
            EXPECT_NEAR(edge[2 * k + 1] - edge[2 * k], a.step, 1e-6) << a.name << k;
            EXPECT_NEAR(centre[k], 0.5 * (edge[2 * k] + edge[2 * k + 1]), 1e-9) << a.name << k;
            if (k > 0) {
                EXPECT_DOUBLE_EQ(edge[2 * k], edge[2 * k - 1]) << a.name << k;
            }
        }
    }
    const std::vector<double> time = doubles(id, "time", 1);
    const std::vector<double> day = doubles(id, "time_bnds", 2);
    EXPECT_DOUBLE_EQ(time[0], 18096.0);  // 2019-07-19 in days since 1970-01-01
    EXPECT_DOUBLE_EQ(day[0], time[0]);
    EXPECT_DOUBLE_EQ(day[1], time[0] + 1.0);
    nc_close(id);
}

TEST_F(NetcdfExport, WaterIsTheEvaporationEnergyOverTheLatentHeat) {
    int id = -1;
    ASSERT_EQ(nc_open(nc().c_str(), NC_NOWRITE, &id), NC_NOERR);
    int et = -1;
    ASSERT_EQ(nc_inq_varid(id, "ET", &et), NC_NOERR);
    std::vector<float> water(kCols * kRows);
    ASSERT_EQ(nc_get_var_float(id, et, water.data()), NC_NOERR);
    nc_close(id);
    const std::vector<float> eday = read_floats(out() / "EDAY.bin");
    int computed = 0;
    for (size_t i = 0; i < eday.size(); ++i) {
        if (eday[i] == -999.0f) {
            EXPECT_EQ(water[i], -999.0f) << i;
            continue;
        }
        ++computed;
        EXPECT_NEAR(water[i] * 2.45f, eday[i], 1e-5f * (1.0f + std::fabs(eday[i]))) << i;
    }
    EXPECT_GT(computed, 0);
}

TEST_F(NetcdfExport, GlobalAttributesGiveTheRunStatusAndComputedPixels) {
    const nlohmann::json info =
        nlohmann::json::parse(read_text(out() / "run_info.json"), nullptr, false);
    int id = -1;
    ASSERT_EQ(nc_open(nc().c_str(), NC_NOWRITE, &id), NC_NOERR);
    int status = -1;
    long long computed = -1;
    EXPECT_EQ(nc_get_att_int(id, NC_GLOBAL, "ornax_run_exit_status", &status), NC_NOERR);
    EXPECT_EQ(nc_get_att_longlong(id, NC_GLOBAL, "ornax_computed_pixels", &computed), NC_NOERR);
    nc_close(id);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(computed, info["pixels"]["computed"].get<long long>());
    EXPECT_GT(computed, 0);
}

// A copy of the run whose record says it failed or computed nothing.
TEST_F(NetcdfExport, ARunThatComputedNothingIsRefusedUnlessAllowed) {
    struct Case {
        int exit_status;
        long long computed;
    };
    for (const Case c : {Case{0, 0}, Case{3, 17}}) {
        const fs::path copy = dir_->path() / "failed";
        fs::remove_all(copy);
        fs::copy(out(), copy, fs::copy_options::recursive);
        nlohmann::json info = nlohmann::json::parse(read_text(copy / "run_info.json"));
        info["exit_status"] = c.exit_status;
        info["pixels"]["computed"] = c.computed;
        std::ofstream(copy / "run_info.json", std::ios::trunc) << info.dump(2);
        const std::string label = std::to_string(c.exit_status) + "/" + std::to_string(c.computed);
        EXPECT_EQ(to_netcdf(dir_->path(), "failed failed.nc"), 3) << label;
        std::string err = read_text(dir_->path() / "nc.err");
        EXPECT_NE(err.find("--allow-failed"), std::string::npos) << label << err;
        EXPECT_NE(err.find("computed " + std::to_string(c.computed) + " of"), std::string::npos)
            << label << err;
        EXPECT_FALSE(fs::exists(dir_->path() / "failed.nc")) << label;
        EXPECT_EQ(to_netcdf(dir_->path(), "--allow-failed failed failed.nc"), 0) << label;
        EXPECT_NE(read_text(dir_->path() / "nc.err").find("warning"), std::string::npos) << label;
        int id = -1, status = -1;
        ASSERT_EQ(nc_open((dir_->path() / "failed.nc").c_str(), NC_NOWRITE, &id), NC_NOERR);
        nc_get_att_int(id, NC_GLOBAL, "ornax_run_exit_status", &status);
        nc_close(id);
        EXPECT_EQ(status, c.exit_status) << label;
        fs::remove(dir_->path() / "failed.nc");
    }
}

TEST_F(NetcdfExport, CommandLineNamesTheArgumentAndTheFolder) {
    struct Case {
        std::string args;
        int exit_status;
        const char* stream;  // "out" or "err"
        std::string names;
    };
    const std::vector<Case> cases = {
        {"--help", 0, "out", "Usage: ornax_to_netcdf [--allow-failed] OUTPUT_DIR [FILE.nc]"},
        {"--version", 0, "out", "ornax_to_netcdf (ornax "},
        {"--versio output", 2, "err", "unknown option \"--versio\""},
        {"-x output", 2, "err", "unknown option \"-x\""},
        {"", 2, "err", "the output folder of a run is missing"},
        {"output a.nc b.nc", 2, "err", "not 3 arguments"},
        {"output /nonexistent/dir/x.nc", 3, "err", "the folder /nonexistent/dir does not exist"},
        {"output output/run_info.json/x.nc", 3, "err", "output/run_info.json is not a folder"},
        {"nothere", 3, "err", "no run_info.json in nothere"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(to_netcdf(dir_->path(), c.args), c.exit_status) << c.args;
        const std::string text = read_text(dir_->path() / ("nc." + std::string(c.stream)));
        EXPECT_NE(text.find(c.names), std::string::npos) << c.args << ": " << text;
    }
    EXPECT_FALSE(fs::exists(dir_->path() / "a.nc"));
}

// The history attribute of an export ("" when the file cannot be opened as NetCDF).
std::string history_of(const fs::path& file) {
    int id = -1;
    if (nc_open(file.c_str(), NC_NOWRITE, &id) != NC_NOERR) return "";
    std::size_t length = 0;
    std::string text;
    if (nc_inq_attlen(id, NC_GLOBAL, "history", &length) == NC_NOERR) {
        text.resize(length);
        if (nc_get_att_text(id, NC_GLOBAL, "history", text.data()) != NC_NOERR) text.clear();
    }
    nc_close(id);
    return text;
}

// An export killed, or failing as on a full device, at rename k of its publication: the
// target is the earlier export or the new one whole (the new one names its folder as
// "./output"), and after the next export nothing is left beside it.
struct InterruptedExport {
    const char* name;
    const char* variable;
    bool killed;
};

void PrintTo(const InterruptedExport& e, std::ostream* os) {
    *os << e.name;
}

class NetcdfExportInterrupted : public NetcdfExport,
                                public ::testing::WithParamInterface<InterruptedExport> {};

TEST_P(NetcdfExportInterrupted, EveryRenameLeavesTheOldOrTheNewFile) {
    const InterruptedExport& e = GetParam();
    const fs::path folder = dir_->path() / "switch";
    fs::create_directories(folder);
    const fs::path target = folder / "day.nc";
    bool completed = false;
    int k = 1;
    for (; k < 20 && !completed; ++k) {
        ASSERT_EQ(to_netcdf(dir_->path(), "output switch/day.nc"), 0);  // the earlier export
        const int code = shell_status(
            "cd " + quoted(dir_->path()) + " && " + e.variable + "=" + std::to_string(k) + " '" +
            ORNAX_TOOLS_DIR + "/ornax_to_netcdf' ./output switch/day.nc > nc.out 2> nc.err");
        completed = code == 0;
        if (!completed) {
            EXPECT_TRUE(e.killed ? code == 137 || code == -1 : code == 3) << "rename " << k;
        }
        // the next export into the folder finishes or removes what was left
        ASSERT_EQ(to_netcdf(dir_->path(), "output switch/other.nc"), 0);
        const std::string history = history_of(target);
        ASSERT_NE(history, "") << "rename " << k << ": no whole file";
        const bool is_new = history.find("./output") != std::string::npos;
        // killed once the journal is in place, the switch is finished; a failed rename puts
        // the earlier file back
        EXPECT_EQ(is_new, completed || (e.killed && k > 1)) << "rename " << k << ": " << history;
        EXPECT_EQ(folder_state::left_over(folder), std::vector<std::string>{}) << "rename " << k;
        EXPECT_EQ(folder_state::names(folder), (std::vector<std::string>{"day.nc", "other.nc"}))
            << "rename " << k;
    }
    EXPECT_TRUE(completed);
    EXPECT_GT(k, 3) << "the journal, the earlier file aside and the new one in place";
    fs::remove_all(folder);
}

INSTANTIATE_TEST_SUITE_P(
    Renames, NetcdfExportInterrupted,
    ::testing::Values(InterruptedExport{"Killed", "ORNAX_TEST_FAIL_AT_RENAME", true},
                      InterruptedExport{"DeviceFull", "ORNAX_TEST_RENAME_FAILS_AT", false}),
    [](const ::testing::TestParamInfo<InterruptedExport>& info) { return info.param.name; });

}  // namespace
#endif
