// Example region generator: the configuration files (region, meteorological,
// forecast-model, domain descriptions, output list, class table) and the raster writers.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "baseforcing/GFS/GFS_io_mod.hpp"
#include "ornax90/ORNAX_io_mod.hpp"
#include "ornax90/ORNAX_region_io_mod.hpp"
#include "ornax90/ORNAX_region_mod.hpp"
#include "utils/fixed_text.hpp"
#include "region_gen/landscape.hpp"

// Date directory name: year as 4 digits and day of year as 3.
inline std::string date_dir(int year, int doy) {
    return write_i(year, 4) + (doy < 10 ? "00" : doy < 100 ? "0" : "") + std::to_string(doy);
}

inline void write_text_file(const std::filesystem::path& path, const std::string& text,
                            int& status) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) status = 3;
}
inline void write_text_file(const std::filesystem::path& path,
                            const std::vector<std::string>& lines, int& status) {
    write_text_file(path, join_lines(lines), status);
}

// Writes 4-byte reals (or integers) in little- or big-endian order whatever the host.
inline void put_word(std::ostream& out, std::uint32_t bits, bool big_endian) {
    char b[4];
    for (int i = 0; i < 4; ++i) {
        const int shift = big_endian ? 8 * (3 - i) : 8 * i;
        b[i] = static_cast<char>((bits >> shift) & 0xFFu);
    }
    out.write(b, 4);
}
inline std::uint32_t float_bits(float v) {
    std::uint32_t u;
    std::memcpy(&u, &v, 4);
    return u;
}

inline void write_raster(const std::filesystem::path& path, const std::vector<float>& values,
                         int& status) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (float v : values) put_word(out, float_bits(v), false);
    if (!out) status = 3;
}

// A generator grid as the model's grid record, with its missing value.
inline Spatialinfodata grid_record(const GridBox& g, float spare) {
    Spatialinfodata grid;
    grid.east_lon = static_cast<float>(g.east_h() / 100.0);
    grid.west_lon = static_cast<float>(g.west_h / 100.0);
    grid.north_lat = static_cast<float>(g.north_h() / 100.0);
    grid.south_lat = static_cast<float>(g.south_h / 100.0);
    grid.dlon = grid.dlat = static_cast<float>(g.step());
    grid.ncols = g.ncols, grid.nrows = g.nrows;
    grid.nlayers = ornax_common_layer_count, grid.nhours = ornax_hours_per_day;
    grid.spare_value = spare;
    return grid;
}

inline std::string domain_text(const char* what, const GridBox& g, float spare) {
    return domain_info_text(what, grid_record(g, spare));
}

inline std::string region_cfg_text(const RegionSpec& s) {
    const std::array<std::string, 4> header = {
        labelled_line("Region configuration", "example region"),
        labelled_line("Generator seed", std::to_string(s.seed)),
        labelled_line("Variant", "default"),
        labelled_line("Date", std::to_string(s.year) + " " + std::to_string(s.doy))};
    RegionConfigPaths v;
    const std::pair<int, const char*> values[] = {{6, "config/landcover.txt"},
                                                  {7, "/config/reserved.dat"},
                                                  {8, "config/domain_land.txt"},
                                                  {9, "/static"},
                                                  {10, "landcover.bin"},
                                                  {11, "aleafn.bin"},
                                                  {12, "aleafv.bin"},
                                                  {13, "aleafl.bin"},
                                                  {14, "adeadn.bin"},
                                                  {15, "adeadv.bin"},
                                                  {16, "adeadl.bin"},
                                                  {17, "rsoiln.bin"},
                                                  {18, "rsoilv.bin"},
                                                  {19, "rs_correct.bin"},
                                                  {20, "xl.bin"},
                                                  {21, "theta.bin"},
                                                  {23, "config/domain_veg.txt"},
                                                  {24, "/veg"},
                                                  {25, "lai.bin"},
                                                  {27, "config/domain_snow.txt"},
                                                  {28, "/snow"},
                                                  {29, "snow_mask.bin"},
                                                  {31, "config/met.cfg"},
                                                  {32, "/goes"},
                                                  {33, "tloc1.bin"},
                                                  {39, "tloc2.bin"},
                                                  {53, "config/domain_sat.txt"},
                                                  {54, "/lst"},
                                                  {55, "trad1.bin"},
                                                  {56, "trad2.bin"},
                                                  {58, "/insol"},
                                                  {59, "sdn1_"},
                                                  {60, "sdn2_"},
                                                  {62, "config/domain_run.txt"},
                                                  {63, "config/outlist.txt"},
                                                  {64, "/output"},
                                                  {65, "/spare"}};
    for (const auto& [n, value] : values) v[static_cast<std::size_t>(n)] = value;
    // the spare files spare_01.bin .. spare_17.bin on lines 34-38 and 40-51
    for (int i = 1, line = 34; i <= 17; ++i, ++line) {
        if (line == 39) ++line;
        v[static_cast<std::size_t>(line)] = "spare_" + write_i(i, 2, 2) + ".bin";
    }
    return ornax_region_config_text(header, v);
}

inline std::string met_cfg_text(const RegionSpec& s) {
    const Spatialinfodata c = grid_record(s.common, -9999.0f);
    const Spatialinfodata m = grid_record(s.run, -9999.0f);  // the model grid is the run grid
    Ornaxcommonblock common;
    Ornaxmeteoornax grid;
    ornax_met_config_grids(c, m, gfs_steps_per_day, -9999.0f, common, grid);
    common.land_option = 1, common.land_index_option = 0;
    common.land_subset_file = "config/land_subset.dat";
    common.met_data_dir = "/met", common.umd_landcover_file = "/umd/umd_landcover.bin";
    common.met_flag = 3, common.met_option = 0;
    common.met_text = "GFS 0.25 deg preprocessed";
    common.gfs_land_file = "/gfs/gfs_land.bin", common.gfs_config_file = "config/gfs.cfg";
    grid.met_dir = "/met";
    return join_lines(ornax_met_config_lines("GFS, example region", common, grid));
}

inline std::string gfs_cfg_text(const RegionSpec& s) {
    const Spatialinfodata c = grid_record(s.common, -9999.0f);
    return join_lines(
        gfs_config_lines("GFS 0.25 degree", "Preprocessed for region runs", "Values from column 31",
                         gfs_config_record("/data/gfs/0p25", c.west_lon, c.east_lon, c.dlon,
                                           c.south_lat, c.north_lat, c.dlat, c.ncols, c.nrows)));
}

inline std::vector<std::string> class_table_lines() {
    std::vector<std::string> l = {
        "Number of land classes:" + write_i(20, 4),
        "  #  aleafv  aleafn  aleafl  adeadv  adeadn  adeadl   rsoil    hmin"
        "    hmax      xl   modis perenni   fcmin name"};
    for (const ClassRow& r : class_table) {
        std::string s = write_i(r.number, 3);
        for (float v : {r.aleafv, r.aleafn, r.aleafl, r.adeadv, r.adeadn, r.adeadl, r.rsoil, r.hmin,
                        r.hmax, r.xl})
            s += write_f(v, 8, 2);
        s += write_i(r.modis, 8) + write_i(r.perennial, 8) + write_f(r.fcmin, 8, 2) + " " + r.name;
        l.push_back(s);
    }
    return l;
}

// Output list: the daily and time-2 results of the example run (14 rasters), in list order.
inline std::vector<Ornaxoutputrecordtype> outlist_entries() {
    std::vector<Ornaxoutputrecordtype> entries;
    for (const char* n : {"EDAY", "XLE2", "H2", "RNET2", "G2", "TA2", "Z2", "RS2", "LWDNDAY",
                          "ECDAY", "ESDAY", "EREFDAY", "SDDAY", "HDAY"})
        entries.push_back({n, 0});
    return entries;
}
// The output list file: those entries, then TA1 switched off.
inline std::string outlist_text() {
    const Ornaxoutputrecordtype off[] = {{"TA1", 0}};
    return ornax_out_list_text(outlist_entries(), off);
}

// Every configuration file and the directories of the data set.
inline void write_configuration(const std::string& root, const RegionSpec& s, int& status) {
    namespace fs = std::filesystem;
    int y2 = 0, d2 = 0;
    s.next_day(y2, d2);
    const std::string day = date_dir(s.year, s.doy);
    std::error_code ec;
    const std::vector<std::string> dirs = {"config",      "static",      "veg/" + day,
                                           "snow/" + day, "goes/" + day, "lst/" + day,
                                           "insol",       "met/" + day,  "met/" + date_dir(y2, d2),
                                           "gfs",         "umd",         "output"};
    for (const std::string& d : dirs) fs::create_directories(fs::path(root) / d, ec);
    if (ec) {
        status = 3;
        return;
    }
    const fs::path cfg = fs::path(root) / "config";
    write_text_file(cfg / "region.cfg", region_cfg_text(s), status);
    write_text_file(cfg / "met.cfg", met_cfg_text(s), status);
    write_text_file(cfg / "gfs.cfg", gfs_cfg_text(s), status);
    write_text_file(cfg / "landcover.txt", class_table_lines(), status);
    write_text_file(cfg / "outlist.txt", outlist_text(), status);
    write_text_file(cfg / "reserved.dat",
                    std::string("reserved file of the region configuration\n"), status);
    write_text_file(cfg / "domain_land.txt", domain_text("land grid", s.run, -9999.0f), status);
    write_text_file(cfg / "domain_veg.txt", domain_text("vegetation grid", s.run, -9999.0f),
                    status);
    write_text_file(cfg / "domain_snow.txt", domain_text("snow grid", s.run, -9999.0f), status);
    write_text_file(cfg / "domain_sat.txt", domain_text("satellite grid", s.run, sat_missing),
                    status);
    write_text_file(cfg / "domain_run.txt", domain_text("run grid", s.run, -999.0f), status);
}

#include "region_gen/rasters.hpp"
