// Example region generator: the configuration files (region, meteorological,
// forecast-model, domain descriptions, output list, class table) and the raster writers.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "utils/fixed_text.hpp"
#include "region_gen/landscape.hpp"

// Date directory name: year as 4 digits and day of year as 3.
inline std::string date_dir(int year, int doy) {
    return write_i(year, 4) + (doy < 10 ? "00" : doy < 100 ? "0" : "") + std::to_string(doy);
}

// A configuration line: a free label in columns 1-30, the value from column 31.
inline std::string cfg_line(std::string label, const std::string& value) {
    label.resize(30, ' ');
    return label + value;
}

inline void write_text_file(const std::filesystem::path& path,
                            const std::vector<std::string>& lines, int& status) {
    std::ofstream out(path);
    for (const std::string& l : lines) out << l << '\n';
    if (!out) status = 3;
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

inline std::vector<std::string> domain_lines(const char* what, const GridBox& g, float spare) {
    const std::string spare_text = spare <= -1000.0f ? write_f(spare, 7, 1) : write_f(spare, 7, 2);
    return {cfg_line("Domain description", what),
            cfg_line("East longitude", write_f(g.east_h() / 100.0, 7, 2)),
            cfg_line("West longitude", write_f(g.west_h / 100.0, 7, 2)),
            cfg_line("Longitude resolution", write_f(g.step(), 7, 2)),
            cfg_line("North latitude", write_f(g.north_h() / 100.0, 7, 2)),
            cfg_line("South latitude", write_f(g.south_h / 100.0, 7, 2)),
            cfg_line("Latitude resolution", write_f(g.step(), 7, 2)),
            cfg_line("Number of columns", write_i(g.ncols, 10)),
            cfg_line("Number of rows", write_i(g.nrows, 10)),
            cfg_line("Number of layers", write_i(30, 10)),
            cfg_line("Number of hours", write_i(24, 10)),
            cfg_line("Missing value", spare_text)};
}

inline std::vector<std::string> region_cfg_lines(const RegionSpec& s) {
    std::vector<std::string> l = {
        cfg_line("Region configuration", "example region"),
        cfg_line("Generator seed", std::to_string(s.seed)),
        cfg_line("Variant", "default"),
        cfg_line("Date", std::to_string(s.year) + " " + std::to_string(s.doy)),
        std::string(30, '-'),
        cfg_line("Land cover class table", "config/landcover.txt"),
        cfg_line("Reserved file", "/config/reserved.dat"),
        cfg_line("Land domain", "config/domain_land.txt"),
        cfg_line("Static data directory", "/static")};
    const char* statics[12][2] = {{"Land cover", "landcover.bin"},
                                  {"Live leaf absorptivity NIR", "aleafn.bin"},
                                  {"Live leaf absorptivity VIS", "aleafv.bin"},
                                  {"Live leaf absorptivity TIR", "aleafl.bin"},
                                  {"Dead leaf absorptivity NIR", "adeadn.bin"},
                                  {"Dead leaf absorptivity VIS", "adeadv.bin"},
                                  {"Dead leaf absorptivity TIR", "adeadl.bin"},
                                  {"Soil reflectance NIR", "rsoiln.bin"},
                                  {"Soil reflectance VIS", "rsoilv.bin"},
                                  {"Soil resistance factor", "rs_correct.bin"},
                                  {"Leaf size", "xl.bin"},
                                  {"View zenith angle", "theta.bin"}};
    for (auto& st : statics) l.push_back(cfg_line(st[0], st[1]));
    l.push_back(std::string(30, '-'));
    l.push_back(cfg_line("Vegetation domain", "config/domain_veg.txt"));
    l.push_back(cfg_line("Vegetation directory", "/veg"));
    l.push_back(cfg_line("Leaf area index", "lai.bin"));
    l.push_back(std::string(30, '-'));
    l.push_back(cfg_line("Snow domain", "config/domain_snow.txt"));
    l.push_back(cfg_line("Snow directory", "/snow"));
    l.push_back(cfg_line("Snow mask", "snow_mask.bin"));
    l.push_back(std::string(30, '-'));
    l.push_back(cfg_line("Meteorological configuration", "config/met.cfg"));
    l.push_back(cfg_line("Observation time directory", "/goes"));
    l.push_back(cfg_line("Local time 1", "tloc1.bin"));
    for (int i = 1; i <= 17; ++i) {
        if (i == 6) l.push_back(cfg_line("Local time 2", "tloc2.bin"));
        std::string file = "spare_" + write_i(i, 2) + ".bin";  // spare_01.bin .. spare_17.bin
        if (file[6] == ' ') file[6] = '0';
        std::string label = "Spare file ";
        label += std::to_string(i);
        l.push_back(cfg_line(label, file));
    }
    l.push_back(std::string(30, '-'));
    l.push_back(cfg_line("Satellite domain", "config/domain_sat.txt"));
    l.push_back(cfg_line("Surface temperature directory", "/lst"));
    l.push_back(cfg_line("Surface temperature 1", "trad1.bin"));
    l.push_back(cfg_line("Surface temperature 2", "trad2.bin"));
    l.push_back(std::string(30, '-'));
    l.push_back(cfg_line("Insolation directory", "/insol"));
    l.push_back(cfg_line("Insolation 1", "sdn1_"));
    l.push_back(cfg_line("Insolation 2", "sdn2_"));
    l.push_back(std::string(30, '-'));
    l.push_back(cfg_line("Run domain", "config/domain_run.txt"));
    l.push_back(cfg_line("Output variable list", "config/outlist.txt"));
    l.push_back(cfg_line("Output directory", "/output"));
    l.push_back(cfg_line("Spare directory", "/spare"));
    return l;
}

inline std::vector<std::string> met_cfg_lines(const RegionSpec& s) {
    const GridBox& c = s.common;
    const GridBox& m = s.run;  // the line-by-line model grid is the run grid
    auto f = [](double v) { return write_f(v, 7, 2); };
    const std::string sep(30, '-');
    return {cfg_line("Meteorological configuration", "GFS, example region"),
            cfg_line("Land option", write_i(1, 10)),
            cfg_line("Land index option", write_i(0, 10)),
            cfg_line("Land subset file", "config/land_subset.dat"),
            sep,
            cfg_line("Forecast data directory", "/met"),
            cfg_line("UMD land cover file", "/umd/umd_landcover.bin"),
            cfg_line("Land missing value", "-9999.0"),
            cfg_line("East longitude", f(c.east_h() / 100.0)),
            cfg_line("West longitude", f(c.west_h / 100.0)),
            cfg_line("Longitude resolution", f(c.step())),
            cfg_line("North latitude", f(c.north_h() / 100.0)),
            cfg_line("South latitude", f(c.south_h / 100.0)),
            cfg_line("Latitude resolution", f(c.step())),
            cfg_line("Number of columns", write_i(c.ncols, 10)),
            cfg_line("Number of rows", write_i(c.nrows, 10)),
            cfg_line("Number of layers", write_i(30, 10)),
            cfg_line("Time steps per day", write_i(8, 10)),
            cfg_line("Missing value", "-9999.0"),
            sep,
            cfg_line("Model grid directory", "/met"),
            cfg_line("End longitude", f(m.east_h() / 100.0)),
            cfg_line("Start longitude", f(m.west_h / 100.0)),
            cfg_line("Longitude resolution", f(m.step())),
            cfg_line("End latitude", f(m.north_h() / 100.0)),
            cfg_line("Start latitude", f(m.south_h / 100.0)),
            cfg_line("Latitude resolution", f(m.step())),
            cfg_line("Number of columns", write_i(m.ncols, 10)),
            cfg_line("Number of rows", write_i(m.nrows, 10)),
            cfg_line("Number of layers", write_i(30, 10)),
            cfg_line("Number of hours", write_i(24, 10)),
            cfg_line("Missing value", "-9999.0"),
            sep,
            cfg_line("Meteorological flag", write_i(3, 10)),
            cfg_line("Meteorological option", write_i(0, 10)),
            cfg_line("Meteorological source", "GFS 0.25 deg preprocessed"),
            cfg_line("GFS land mask file", "/gfs/gfs_land.bin"),
            cfg_line("GFS configuration file", "config/gfs.cfg")};
}

inline std::vector<std::string> gfs_cfg_lines(const RegionSpec& s) {
    const GridBox& c = s.common;
    auto f = [](double v) { return write_f(v, 7, 2); };
    const std::string sep(30, '-');
    std::vector<std::string> l = {cfg_line("Forecast-model configuration", "GFS 0.25 degree"),
                                  "Preprocessed for region runs",
                                  "Values from column 31",
                                  sep,
                                  sep,
                                  cfg_line("GFS data directory", "/data/gfs/0p25"),
                                  cfg_line("West longitude", f(c.west_h / 100.0)),
                                  cfg_line("East longitude", f(c.east_h() / 100.0)),
                                  cfg_line("Longitude resolution", f(c.step())),
                                  cfg_line("South latitude", f(c.south_h / 100.0)),
                                  cfg_line("North latitude", f(c.north_h() / 100.0)),
                                  cfg_line("Latitude resolution", f(c.step())),
                                  sep,
                                  cfg_line("Number of longitudes", write_i(c.ncols, 10)),
                                  cfg_line("Number of latitudes", write_i(c.nrows, 10)),
                                  cfg_line("Number of pressure levels", write_i(21, 10)),
                                  cfg_line("Time steps per day", write_i(8, 10)),
                                  cfg_line("Spare count", write_i(0, 10)),
                                  cfg_line("Spare value", write_e(-9999.0, 12, 3)),
                                  sep};
    for (const char* stem :
         {"HGT_sfc", "DLWRF_sfc", "DSWRF_sfc", "TMP_sfc", "LHTFL_sfc", "PRES_sfc", "RH_2m",
          "UGRD_10m", "VGRD_10m", "HGT_prs", "TMP_prs", "RH_prs", "SPFH_prs"})
        l.push_back(cfg_line("File stem", stem));
    return l;
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

// Output list: the daily and time-2 results of the example run (14 rasters).
inline std::vector<std::string> outlist_lines() {
    std::vector<std::string> l = {"Output variables: name in columns 1-10, switch in 11"};
    for (const char* n : {"EDAY", "XLE2", "H2", "RNET2", "G2", "TA2", "Z2", "RS2", "LWDNDAY",
                          "ECDAY", "ESDAY", "EREFDAY", "SDDAY", "HDAY"}) {
        std::string name = n;
        name.resize(10, ' ');
        l.push_back(name + "1");
    }
    l.push_back("TA1       0");
    return l;
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
    write_text_file(cfg / "region.cfg", region_cfg_lines(s), status);
    write_text_file(cfg / "met.cfg", met_cfg_lines(s), status);
    write_text_file(cfg / "gfs.cfg", gfs_cfg_lines(s), status);
    write_text_file(cfg / "landcover.txt", class_table_lines(), status);
    write_text_file(cfg / "outlist.txt", outlist_lines(), status);
    write_text_file(cfg / "reserved.dat", {"reserved file of the region configuration"}, status);
    write_text_file(cfg / "domain_land.txt", domain_lines("land grid", s.run, -9999.0f), status);
    write_text_file(cfg / "domain_veg.txt", domain_lines("vegetation grid", s.run, -9999.0f),
                    status);
    write_text_file(cfg / "domain_snow.txt", domain_lines("snow grid", s.run, -9999.0f), status);
    write_text_file(cfg / "domain_sat.txt", domain_lines("satellite grid", s.run, sat_missing),
                    status);
    write_text_file(cfg / "domain_run.txt", domain_lines("run grid", s.run, -999.0f), status);
}

#include "region_gen/rasters.hpp"
