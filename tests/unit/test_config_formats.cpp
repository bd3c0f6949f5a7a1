// The configuration file formats, each written by its one writer and read back by its
// reader: domain description, meteorological and forecast-model configuration, region
// configuration and output list. Every case compares the record read back with the one
// written and one line of the text with the line the format prescribes.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "baseforcing/GFS/GFS_io_mod.hpp"
#include "ornax90/ORNAX_io_mod.hpp"
#include "ornax90/ORNAX_region_io_mod.hpp"
#include "ornax90/ORNAX_region_mod.hpp"
#include "utils/fixed_text.hpp"

namespace {

namespace fs = std::filesystem;

// What one round trip gave: the text written and every field that did not read back.
struct RoundTrip {
    std::string text;
    std::vector<std::string> differences;
    template <class T> void same(const char* field, const T& written, const T& read) {
        if (written == read) return;
        std::ostringstream note;
        note << field << ": wrote " << written << ", read " << read;
        differences.push_back(note.str());
    }
};

void write_file(const fs::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

// Line n (1-based) of a text, without its end; empty when the text is shorter.
std::string text_line(const std::string& text, int n) {
    std::istringstream in(text);
    std::string line;
    for (int i = 0; i < n; ++i)
        if (!std::getline(in, line)) return std::string();
    return line;
}

Spatialinfodata sample_grid(float spare) {
    Spatialinfodata g;
    g.east_lon = -94.75f, g.west_lon = -100.25f, g.dlon = 0.25f;
    g.north_lat = 37.25f, g.south_lat = 33.75f, g.dlat = 0.25f;
    g.ncols = 22, g.nrows = 14, g.nlayers = 30, g.nhours = 24, g.spare_value = spare;
    return g;
}

RoundTrip domain_round_trip(const fs::path& dir, float spare) {
    RoundTrip r;
    const Spatialinfodata g = sample_grid(spare);
    r.text = domain_info_text("common grid", g);
    write_file(dir / "domain.txt", r.text);
    Spatialinfodata back;
    int status = 0;
    read_domain_info_from_txt((dir / "domain.txt").string(), back, status);
    r.same("status", 0, status);
    r.same("east_lon", g.east_lon, back.east_lon), r.same("west_lon", g.west_lon, back.west_lon);
    r.same("dlon", g.dlon, back.dlon), r.same("north_lat", g.north_lat, back.north_lat);
    r.same("south_lat", g.south_lat, back.south_lat), r.same("dlat", g.dlat, back.dlat);
    r.same("ncols", g.ncols, back.ncols), r.same("nrows", g.nrows, back.nrows);
    r.same("nlayers", g.nlayers, back.nlayers), r.same("nhours", g.nhours, back.nhours);
    r.same("spare_value", g.spare_value, back.spare_value);
    return r;
}

RoundTrip met_config_round_trip(const fs::path& dir) {
    RoundTrip r;
    Ornaxcommonblock c;
    c.land_option = 1, c.land_index_option = 1;
    c.land_subset_file = (dir / "land_subset.dat").string();
    c.met_data_dir = (dir / "met").string(), c.umd_landcover_file = (dir / "umd.bin").string();
    c.land_spare_value = -9999.0f, c.undef = -8888.0f;
    const Spatialinfodata g = sample_grid(-9999.0f);
    c.east_lon = g.east_lon, c.west_lon = g.west_lon, c.dlon = g.dlon;
    c.north_lat = g.north_lat, c.south_lat = g.south_lat, c.dlat = g.dlat;
    c.ncols = g.ncols, c.nrows = g.nrows, c.nlayers = ornax_common_layer_count, c.nhours = 8;
    c.met_flag = 3, c.met_option = 2, c.met_text = "forecast rasters";
    c.gfs_land_file = (dir / "gfs_land.bin").string(), c.gfs_config_file = "config/gfs.cfg";
    Ornaxmeteoornax m;
    m.met_dir = (dir / "model").string();
    m.end_lon = -95.0f, m.start_lon = -100.0f, m.dlon = 0.05f;
    m.end_lat = 37.0f, m.start_lat = 34.0f, m.dlat = 0.05f;
    m.ncols = 100, m.nrows = 60, m.nlayers = 30, m.nhours = 24, m.undef = -999.0f;
    write_file(c.umd_landcover_file, "placeholder");  // the reader checks that it exists
    r.text = join_lines(ornax_met_config_lines("a description", c, m));
    write_file(dir / "met.cfg", r.text);
    Ornaxcommonblock bc;
    Ornaxmeteoornax bm;
    int status = 0;
    testing::internal::CaptureStdout();
    ornax_vesk_read_config((dir / "met.cfg").string(), bc, bm, status);
    testing::internal::GetCapturedStdout();
    r.same("status", 0, status);
    r.same("land_option", c.land_option, bc.land_option);
    r.same("land_index_option", c.land_index_option, bc.land_index_option);
    r.same("land_subset_file", c.land_subset_file, bc.land_subset_file);
    r.same("met_data_dir", c.met_data_dir, bc.met_data_dir);
    r.same("umd_landcover_file", c.umd_landcover_file, bc.umd_landcover_file);
    r.same("land_spare_value", c.land_spare_value, bc.land_spare_value);
    r.same("east_lon", c.east_lon, bc.east_lon), r.same("west_lon", c.west_lon, bc.west_lon);
    r.same("dlon", c.dlon, bc.dlon), r.same("north_lat", c.north_lat, bc.north_lat);
    r.same("south_lat", c.south_lat, bc.south_lat), r.same("dlat", c.dlat, bc.dlat);
    r.same("ncols", c.ncols, bc.ncols), r.same("nrows", c.nrows, bc.nrows);
    r.same("nhours", c.nhours, bc.nhours), r.same("undef", c.undef, bc.undef);
    r.same("met_flag", c.met_flag, bc.met_flag), r.same("met_option", c.met_option, bc.met_option);
    r.same("met_text", c.met_text, bc.met_text);
    r.same("gfs_land_file", c.gfs_land_file, bc.gfs_land_file);
    r.same("gfs_config_file", c.gfs_config_file, bc.gfs_config_file);
    r.same("model met_dir", m.met_dir, bm.met_dir);
    r.same("end_lon", m.end_lon, bm.end_lon), r.same("start_lon", m.start_lon, bm.start_lon);
    r.same("model dlon", m.dlon, bm.dlon), r.same("end_lat", m.end_lat, bm.end_lat);
    r.same("start_lat", m.start_lat, bm.start_lat), r.same("model dlat", m.dlat, bm.dlat);
    r.same("model ncols", m.ncols, bm.ncols), r.same("model nrows", m.nrows, bm.nrows);
    r.same("model nlayers", m.nlayers, bm.nlayers), r.same("model nhours", m.nhours, bm.nhours);
    r.same("model undef", m.undef, bm.undef);
    return r;
}

RoundTrip gfs_config_round_trip(const fs::path& dir) {
    RoundTrip r;
    const Gfs_struc_block s =
        gfs_config_record("/data/gfs", -100.25f, -94.75f, 0.25f, 33.75f, 37.25f, 0.25f, 22, 14);
    r.text = join_lines(gfs_config_lines("common grid", "first note", "second note", s));
    write_file(dir / "gfs.cfg", r.text);
    Gfs_struc_block b;
    int status = 0;
    testing::internal::CaptureStderr();
    gfs_read_config((dir / "gfs.cfg").string(), b, status);
    testing::internal::GetCapturedStderr();
    r.same("status", 0, status);
    r.same("directory", s.gfs_text_1, b.gfs_text_1);
    r.same("west", s.grid_value_1, b.grid_value_1), r.same("east", s.grid_value_2, b.grid_value_2);
    r.same("dlon", s.grid_value_6, b.grid_value_6), r.same("south", s.grid_value_3, b.grid_value_3);
    r.same("north", s.grid_value_4, b.grid_value_4), r.same("dlat", s.grid_value_5, b.grid_value_5);
    r.same("nlon", s.nlon, b.nlon), r.same("nlat", s.nlat, b.nlat), r.same("nlev", s.nlev, b.nlev);
    r.same("ntime", s.ntime, b.ntime), r.same("nspare", s.nspare, b.nspare);
    // e12.3 keeps three significant digits: -9999 is written -0.100E+05
    r.same("spare_e", std::strtof(write_e(s.spare_e, 12, 3).c_str(), nullptr), b.spare_e);
    const std::string Gfs_struc_block::*stems[] = {
        &Gfs_struc_block::gfs_text_2,  &Gfs_struc_block::gfs_text_3,  &Gfs_struc_block::gfs_text_5,
        &Gfs_struc_block::gfs_text_6,  &Gfs_struc_block::gfs_text_7,  &Gfs_struc_block::gfs_text_8,
        &Gfs_struc_block::gfs_text_9,  &Gfs_struc_block::gfs_text_10, &Gfs_struc_block::gfs_text_11,
        &Gfs_struc_block::gfs_text_12, &Gfs_struc_block::gfs_text_13, &Gfs_struc_block::gfs_text_14,
        &Gfs_struc_block::gfs_text_15};
    for (auto stem : stems) {
        r.same("file stem", s.*stem, b.*stem);
        if ((s.*stem).empty()) r.differences.push_back("a file stem is empty");
    }
    return r;
}

// Lines whose value names a directory, and how the lines after them compose their paths.
enum class Kind { plain, directory, in_directory, dated, fixed_year };

Kind line_kind(int line) {
    for (int d : {9, 24, 28, 32, 54, 58})
        if (line == d) return Kind::directory;
    if (line >= 10 && line <= 21) return Kind::in_directory;
    if (line == 25 || line == 29 || (line >= 33 && line <= 51) || line == 55 || line == 56)
        return Kind::dated;
    if (line == 59 || line == 60) return Kind::fixed_year;
    return Kind::plain;
}

RoundTrip region_config_round_trip(const fs::path& dir) {
    RoundTrip r;
    RegionConfigPaths values, expected;
    std::string directory;
    for (int line = region_config_first_line; line <= region_config_last_line; ++line) {
        if (line == 22 || line == 26 || line == 30 || line == 52 || line == 57 || line == 61)
            continue;  // separators
        const std::string name = "value_" + std::to_string(line);
        const auto l = static_cast<std::size_t>(line);
        switch (line_kind(line)) {
            case Kind::directory: values[l] = (dir / name).string(), directory = values[l]; break;
            case Kind::plain: values[l] = expected[l] = (dir / name).string(); break;
            case Kind::in_directory: values[l] = name, expected[l] = directory + "/" + name; break;
            case Kind::dated: values[l] = name, expected[l] = directory + "/2019200/" + name; break;
            case Kind::fixed_year:
                values[l] = name, expected[l] = directory + "/" + name + "2011200.dat";
                break;
        }
        if (!expected[l].empty()) {
            fs::create_directories(fs::path(expected[l]).parent_path());
            write_file(expected[l], "x");  // every named file exists
        }
    }
    const std::array<std::string, 4> header = {"first", "second", "third", "fourth"};
    r.text = ornax_region_config_text(header, values);
    write_file(dir / "region.cfg", r.text);
    RegionConfigPaths back;
    int status = 0;
    ornax_read_region_config_paths((dir / "region.cfg").string(), 2019, 200, back, status);
    r.same("status", 0, status);
    for (int line = region_config_first_line; line <= region_config_last_line; ++line)
        r.same(("line " + std::to_string(line)).c_str(), expected[static_cast<std::size_t>(line)],
               back[static_cast<std::size_t>(line)]);
    return r;
}

RoundTrip out_list_round_trip(const fs::path& dir) {
    RoundTrip r;
    const std::vector<Ornaxoutputrecordtype> selected = {{"EDAY", 0}, {"XLE2", 0}, {"LWDNDAY", 0}};
    const std::vector<Ornaxoutputrecordtype> off = {{"TA1", 0}, {"H2", 0}};
    r.text = ornax_out_list_text(selected, off);
    write_file(dir / "outlist.txt", r.text);
    std::array<Ornaxoutputrecordtype, ornax_max_out_vars> list;
    int count = 0, status = 0;
    ornax_read_out_list_file((dir / "outlist.txt").string(), list, count, status);
    r.same("status", 0, status);
    r.same("count", static_cast<int>(selected.size()), count);
    for (std::size_t i = 0; i < selected.size() && i < static_cast<std::size_t>(count); ++i) {
        r.same("name", selected[i].name, list[i].name);
        r.same("code", get_var_index(selected[i].name), list[i].code);
    }
    return r;
}

struct FormatCase {
    const char* name;
    std::function<RoundTrip(const fs::path&)> round_trip;
    int golden_line;     // 1-based line of the text
    const char* golden;  // as the format prescribes it
};

void PrintTo(const FormatCase& c, std::ostream* os) {
    *os << c.name;
}

const FormatCase format_cases[] = {
    {"domain", [](const fs::path& d) { return domain_round_trip(d, -9999.0f); }, 2,
     "East longitude                 -94.75"},
    {"domain_missing_value_fits_two_decimals",
     [](const fs::path& d) { return domain_round_trip(d, -999.0f); }, 12,
     "Missing value                 -999.00"},
    {"domain_missing_value_one_decimal",
     [](const fs::path& d) { return domain_round_trip(d, -9999.0f); }, 12,
     "Missing value                 -9999.0"},
    {"met_config", met_config_round_trip, 36, "Meteorological source         forecast rasters"},
    {"gfs_config", gfs_config_round_trip, 19, "Spare value                     -0.100E+05"},
    {"region_config", region_config_round_trip, 22, "------------------------------"},
    {"out_list", out_list_round_trip, 5, "TA1       0"},
};

class ConfigFormat : public ::testing::TestWithParam<FormatCase> {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/ornax_formats_XXXXXX";
        dir_ = mkdtemp(pattern);
        const char* home = std::getenv("HOME_DIR");
        had_home_ = home != nullptr;
        if (had_home_) old_home_ = home;
        setenv("HOME_DIR", "", 1);  // set and empty: every value is read as written
    }
    void TearDown() override {
        if (had_home_)
            setenv("HOME_DIR", old_home_.c_str(), 1);
        else
            unsetenv("HOME_DIR");
        fs::remove_all(dir_);
    }
    fs::path dir_;
    bool had_home_ = false;
    std::string old_home_;
};

TEST_P(ConfigFormat, ReadsBackWhatItsWriterWrote) {
    const RoundTrip r = GetParam().round_trip(dir_);
    for (const std::string& d : r.differences) ADD_FAILURE() << d;
    EXPECT_EQ(text_line(r.text, GetParam().golden_line), GetParam().golden);
    EXPECT_EQ(r.text.back(), '\n');
}

INSTANTIATE_TEST_SUITE_P(Formats, ConfigFormat, ::testing::ValuesIn(format_cases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
