// Meteorological configuration file: fields of the common grid and the model grid,
// HOME_DIR paths, the row and column checks and the error paths.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ornax90/ORNAX_io_mod.hpp"
#include "ornax90/ORNAX_region_io_mod.hpp"

namespace {

namespace fs = std::filesystem;

const std::string reference_data = std::string(ORNAX_REFERENCE_DIR) + "/region/data";

// Each test gets a directory holding a UMD placeholder at HOME_DIR/umd/umd_landcover.bin.
class MetConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/ornax_metcfg_XXXXXX";
        dir_ = mkdtemp(pattern);
        fs::create_directories(dir_ / "umd");
        std::ofstream(dir_ / "umd" / "umd_landcover.bin") << "placeholder";
        const char* home = std::getenv("HOME_DIR");
        had_home_ = home != nullptr;
        if (had_home_) old_home_ = home;
        setenv("HOME_DIR", dir_.c_str(), 1);
        std::ifstream in(reference_data + "/config/met.cfg");
        for (std::string line; std::getline(in, line);) lines_.push_back(line);
    }
    void TearDown() override {
        if (had_home_)
            setenv("HOME_DIR", old_home_.c_str(), 1);
        else
            unsetenv("HOME_DIR");
        fs::remove_all(dir_);
    }
    // Replaces the value (columns 31 on) of 1-based line n.
    void set_value(int n, const std::string& value) {
        lines_[n - 1] = lines_[n - 1].substr(0, 30) + value;
    }
    // Writes the first `count` lines (all by default) and reads them; returns the screen text.
    std::string read(int& status, std::size_t count = 1000) {
        const fs::path file = dir_ / "met.cfg";
        std::ofstream out(file);
        for (std::size_t i = 0; i < lines_.size() && i < count; ++i) out << lines_[i] << '\n';
        out.close();
        testing::internal::CaptureStdout();
        ornax_vesk_read_config(file.string(), common_, grid_, status);
        return testing::internal::GetCapturedStdout();
    }
    fs::path dir_;
    bool had_home_ = false;
    std::string old_home_;
    std::vector<std::string> lines_;
    Ornaxcommonblock common_;
    Ornaxmeteoornax grid_;
};

}  // namespace

TEST_F(MetConfigTest, ReadsReferenceConfiguration) {
    ASSERT_EQ(lines_.size(), 38u);
    int status = -1;
    const std::string out = read(status);
    ASSERT_EQ(status, 0) << out;
    EXPECT_EQ(
        out.find(" Read VESK Meteorological configuration.\n from " + (dir_ / "met.cfg").string()),
        0u);
    EXPECT_EQ(common_.land_option, 1);
    EXPECT_EQ(common_.land_index_option, 0);
    EXPECT_EQ(common_.land_subset_file, "config/land_subset.dat");
    EXPECT_EQ(common_.met_data_dir, dir_.string() + "/met");
    EXPECT_EQ(common_.umd_landcover_file, dir_.string() + "/umd/umd_landcover.bin");
    EXPECT_FLOAT_EQ(common_.land_spare_value, -9999.0f);
    EXPECT_FLOAT_EQ(common_.east_lon, -96.0f);
    EXPECT_FLOAT_EQ(common_.west_lon, -100.0f);
    EXPECT_FLOAT_EQ(common_.dlon, 0.25f);
    EXPECT_FLOAT_EQ(common_.north_lat, 37.0f);
    EXPECT_FLOAT_EQ(common_.south_lat, 34.0f);
    EXPECT_EQ(common_.ncols, 16);
    EXPECT_EQ(common_.nrows, 12);
    EXPECT_EQ(common_.nlayers, 30);
    EXPECT_EQ(common_.nhours, 8);
    EXPECT_FLOAT_EQ(common_.undef, -9999.0f);
    EXPECT_EQ(grid_.met_dir, dir_.string() + "/met");
    EXPECT_FLOAT_EQ(grid_.end_lon, -97.25f);
    EXPECT_FLOAT_EQ(grid_.start_lon, -98.75f);
    EXPECT_FLOAT_EQ(grid_.dlon, 0.05f);
    EXPECT_FLOAT_EQ(grid_.end_lat, 36.0f);
    EXPECT_FLOAT_EQ(grid_.start_lat, 35.0f);
    EXPECT_FLOAT_EQ(grid_.dlat, 0.05f);
    EXPECT_EQ(grid_.ncols, 30);
    EXPECT_EQ(grid_.nrows, 20);
    EXPECT_EQ(grid_.nlayers, 30);
    EXPECT_EQ(grid_.nhours, 24);
    EXPECT_FLOAT_EQ(grid_.undef, -9999.0f);
    EXPECT_EQ(common_.met_flag, 3);
    EXPECT_EQ(common_.met_option, 0);
    EXPECT_EQ(common_.met_text, "GFS 0.25 deg preprocessed");
    EXPECT_EQ(common_.gfs_land_file, dir_.string() + "/gfs/gfs_land.bin");
    EXPECT_EQ(common_.gfs_config_file, "config/gfs.cfg");
    EXPECT_EQ(common_.config_read, 1);
}

TEST_F(MetConfigTest, ColumnAndRowCountsMustMatchTheSpans) {
    set_value(9, "-70.00");
    set_value(10, "-125.00");
    set_value(15, "       220");
    int status = -1;
    read(status);
    EXPECT_EQ(status, 0);
    set_value(15, "       221");
    std::string out = read(status);
    EXPECT_EQ(status, 3);
    EXPECT_NE(out.find(" Unmatch col number" + std::string(9, ' ') +
                       "221 with input longitude range and resolution\n" + std::string(10, ' ') +
                       "220\n"),
              std::string::npos)
        << out;
    // the file is still read to its end
    EXPECT_EQ(common_.config_read, 1);
    EXPECT_EQ(grid_.ncols, 30);
    // 54.9 degrees at 0.25 is 219.6 columns: 220 expected
    set_value(10, "-124.90");
    set_value(15, "       220");
    read(status);
    EXPECT_EQ(status, 0);
    // both checks run and report
    set_value(15, "       219");
    set_value(16, "        13");
    out = read(status);
    EXPECT_EQ(status, 3);
    EXPECT_NE(out.find("Unmatch row number"), std::string::npos);
    EXPECT_NE(out.find("Unmatch col number"), std::string::npos);
}

TEST_F(MetConfigTest, LayerCountAndEdgeOrder) {
    set_value(17, "        45");
    int status = -1;
    read(status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(common_.nlayers, 30);
    set_value(9, "-101.00");
    set_value(15, "        -4");
    const std::string out = read(status);
    EXPECT_EQ(status, 3);
    EXPECT_NE(out.find(" West Longitude is larger than East Longitude"), std::string::npos);
    EXPECT_EQ(common_.met_flag, 3);
}

TEST_F(MetConfigTest, LandIndexOptionAndLandCoverFileStopTheReading) {
    set_value(3, "         2");
    int status = 0;
    std::string out = read(status);
    EXPECT_EQ(status, 3);
    EXPECT_NE(out.find(" Error in reading the options for land index, 0 or 1 only\n" +
                       std::string(12, ' ') + "1" + std::string(11, ' ') + "2\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(grid_.ncols, 0);
    EXPECT_EQ(common_.ncols, 0);
    EXPECT_EQ(out.find("at line"), std::string::npos);

    set_value(3, "         1");
    set_value(7, "/umd/absent.bin");
    out = read(status);
    EXPECT_EQ(status, 3);
    EXPECT_NE(out.find(dir_.string() + "/umd/absent.bin not exist.\n"), std::string::npos);
    EXPECT_EQ(common_.ncols, 0);
}

TEST_F(MetConfigTest, UnreadableOrMissingLinesNameFileAndLine) {
    const std::string file = (dir_ / "met.cfg").string();
    int status = 0;
    std::string out = read(status, 30);
    EXPECT_EQ(status, 3);
    EXPECT_NE(out.find(file + " ends before line          31"), std::string::npos) << out;
    EXPECT_EQ(common_.config_read, 0);

    set_value(28, "      3O");  // letter O for a zero
    out = read(status);
    EXPECT_EQ(status, 3);
    EXPECT_NE(out.find(file + " at line          28"), std::string::npos) << out;

    testing::internal::CaptureStdout();
    ornax_vesk_read_config((dir_ / "absent.cfg").string(), common_, grid_, status);
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 3);
    EXPECT_NE(
        out.find(" Error in opening the input configuration file" + (dir_ / "absent.cfg").string()),
        std::string::npos);
}

TEST_F(MetConfigTest, StaticSetUpOfTheReferenceRegion) {
    // configuration, common grid with the forecast-model store, land cells and the
    // forecast-model land mask, in a copy of the reference files
    for (const char* sub : {"config", "gfs", "umd"})
        fs::copy(reference_data + "/" + sub, dir_ / sub,
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    const fs::path old_dir = fs::current_path();
    fs::current_path(dir_);
    int status = -1, init_status = -1, land_status = -1, release_status = -1;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    ornax_vesk_read_config("config/met.cfg", common_, grid_, status);
    ornax_common_grid_init(common_, init_status);
    ornax_load_land_data(common_, land_status);
    const std::vector<int> gfs_land = common_.gfs_struc.land;
    ornax_common_grid_finalize(common_, release_status);
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string out = testing::internal::GetCapturedStdout();
    const bool view_written = fs::exists("common_lc.dat");
    fs::current_path(old_dir);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(init_status, 0) << out << err;
    EXPECT_EQ(land_status, 0) << out << err;
    EXPECT_EQ(release_status, 0);
    EXPECT_EQ(common_.land_count, 192);
    EXPECT_EQ(common_.gfs_struc.nlon, 16);
    EXPECT_EQ(gfs_land.size(), 16u * 12u);
    EXPECT_EQ(gfs_land[0], 1);
    EXPECT_TRUE(view_written);
    EXPECT_NE(out.find(" Load land subset done       192records loaded"), std::string::npos) << out;
}
