// The configuration files of a region folder.
#include "ingest/region/config.hpp"

#include <unistd.h>

#include <cmath>

#include "ornax90/ORNAX_region_io_mod.hpp"
#include "utils/fixed_text.hpp"
#include "ingest/common/support.hpp"

namespace {

std::string f72(double v) {
    return write_f(v, 7, 2);
}
std::string i10(long v) {
    return write_i(v, 10);
}
std::string line(const char* label, const std::string& value) {
    return ingest_config_line(label, value);
}
const std::string separator(30, '-');

// The run's day and the dated names of the region's layout.
std::string day_dir(const RegionRecipe& r) {
    return ingest_day_dir_name(r.year, r.doy);
}

}  // namespace

void region_make_grids(const RegionRecipe& r, RegionGrids& g) {
    Spatialinfodata& run = g.run;
    run = Spatialinfodata{};
    run.west_lon = static_cast<float>(r.west), run.east_lon = static_cast<float>(r.east);
    run.south_lat = static_cast<float>(r.south), run.north_lat = static_cast<float>(r.north);
    run.dlon = run.dlat = static_cast<float>(r.spacing);
    run.ncols = static_cast<int>(std::lround((r.east - r.west) / r.spacing));
    run.nrows = static_cast<int>(std::lround((r.north - r.south) / r.spacing));
    run.nlayers = 30, run.nhours = 24, run.spare_value = region_missing_value;
    const double fs = r.forecast_spacing;
    const double west = (std::floor(r.west / fs + 1e-9) - 1) * fs;
    const double east = (std::ceil(r.east / fs - 1e-9) + 1) * fs;
    const double south = (std::floor(r.south / fs + 1e-9) - 1) * fs;
    const double north = (std::ceil(r.north / fs - 1e-9) + 1) * fs;
    Spatialinfodata& c = g.common;
    c = run;
    c.west_lon = static_cast<float>(west), c.east_lon = static_cast<float>(east);
    c.south_lat = static_cast<float>(south), c.north_lat = static_cast<float>(north);
    c.dlon = c.dlat = static_cast<float>(fs);
    c.ncols = static_cast<int>(std::lround((east - west) / fs));
    c.nrows = static_cast<int>(std::lround((north - south) / fs));
}

std::string region_domain_text(const std::string& what, const Spatialinfodata& g) {
    return ingest_join_lines(
        {line("Domain description", what), line("East longitude", f72(g.east_lon)),
         line("West longitude", f72(g.west_lon)), line("Longitude resolution", f72(g.dlon)),
         line("North latitude", f72(g.north_lat)), line("South latitude", f72(g.south_lat)),
         line("Latitude resolution", f72(g.dlat)), line("Number of columns", i10(g.ncols)),
         line("Number of rows", i10(g.nrows)), line("Number of layers", i10(g.nlayers)),
         line("Number of hours", i10(g.nhours)),
         line("Missing value", write_f(g.spare_value, 7, 1))});
}

std::string region_config_text(const RegionRecipe& r) {
    const std::string day = day_dir(r);
    std::vector<std::string> l = {
        line("Region configuration", "written by ornax_ingest region from " + r.file),
        line("Date", std::to_string(r.year) + " " + std::to_string(r.doy)),
        line("Run from", "this folder, HOME_DIR unset or empty"),
        line("Command", "ornax.x -r0 config/region.cfg " + std::to_string(r.year) + " " +
                            std::to_string(r.doy)),
        separator,
        line("Land cover class table", "config/landcover.txt"),
        line("Reserved file", "config/reserved.dat"),
        line("Land domain", "config/domain_land.txt"),
        line("Static data directory", "static"),
        line("Land cover", "landcover.bin"),
        line("Live leaf absorptivity NIR", "aleafn.bin"),
        line("Live leaf absorptivity VIS", "aleafv.bin"),
        line("Live leaf absorptivity TIR", "aleafl.bin"),
        line("Dead leaf absorptivity NIR", "adeadn.bin"),
        line("Dead leaf absorptivity VIS", "adeadv.bin"),
        line("Dead leaf absorptivity TIR", "adeadl.bin"),
        line("Soil reflectance NIR", "rsoiln.bin"),
        line("Soil reflectance VIS", "rsoilv.bin"),
        line("Soil resistance factor", "rs_correct.bin"),
        line("Leaf size", "xl.bin"),
        line("View zenith angle", "../sat/" + day + "/theta.bin"),
        separator,
        line("Vegetation domain", "config/domain_veg.txt"),
        line("Vegetation directory", "lai"),
        line("Leaf area index", "lai.bin"),
        separator,
        line("Snow domain", "config/domain_snow.txt"),
        line("Snow directory", "snow"),
        line("Snow mask", "snow_mask.bin"),
        separator,
        line("Meteorological configuration", "config/met.cfg"),
        line("Observation time directory", "sat"),
        line("Local time 1", "tloc1.bin")};
    for (int i = 1; i <= 17; ++i) {
        if (i == 6) l.push_back(line("Local time 2", "tloc2.bin"));
        l.push_back(line(("Spare file " + std::to_string(i)).c_str(), "not_read.bin"));
    }
    for (const std::string& s :
         {separator, line("Satellite domain", "config/domain_sat.txt"),
          line("Surface temperature directory", "sat"), line("Surface temperature 1", "trad1.bin"),
          line("Surface temperature 2", "trad2.bin"), separator,
          line("Insolation directory", "sat/" + day), line("Insolation 1", "sdn1_"),
          line("Insolation 2", "sdn2_"), separator, line("Run domain", "config/domain_run.txt"),
          line("Output variable list", "config/outlist.txt"), line("Output directory", "output"),
          line("Spare directory", "spare")})
        l.push_back(s);
    return ingest_join_lines(l);
}

std::string region_met_config_text(const RegionGrids& g) {
    const Spatialinfodata &c = g.common, &m = g.run;
    return ingest_join_lines(
        {line("Meteorological configuration", "forecast rasters of ornax_ingest region"),
         line("Land option", i10(1)),
         line("Land index option", i10(0)),
         line("Land subset file", "config/land_subset.dat"),
         separator,
         line("Forecast data directory", "met"),
         line("UMD land cover file", "static/landcover.bin"),
         line("Land missing value", "-9999.0"),
         line("East longitude", f72(c.east_lon)),
         line("West longitude", f72(c.west_lon)),
         line("Longitude resolution", f72(c.dlon)),
         line("North latitude", f72(c.north_lat)),
         line("South latitude", f72(c.south_lat)),
         line("Latitude resolution", f72(c.dlat)),
         line("Number of columns", i10(c.ncols)),
         line("Number of rows", i10(c.nrows)),
         line("Number of layers", i10(30)),
         line("Time steps per day", i10(8)),
         line("Missing value", "-9999.0"),
         separator,
         line("Model grid directory", "met"),
         line("End longitude", f72(m.east_lon)),
         line("Start longitude", f72(m.west_lon)),
         line("Longitude resolution", f72(m.dlon)),
         line("End latitude", f72(m.north_lat)),
         line("Start latitude", f72(m.south_lat)),
         line("Latitude resolution", f72(m.dlat)),
         line("Number of columns", i10(m.ncols)),
         line("Number of rows", i10(m.nrows)),
         line("Number of layers", i10(30)),
         line("Number of hours", i10(24)),
         line("Missing value", "-9999.0"),
         separator,
         line("Meteorological flag", i10(3)),
         line("Meteorological option", i10(0)),
         line("Meteorological source", "forecast-model GRIB2 converted by ornax_ingest"),
         line("GFS land mask file", "met/gfs_land.bin"),
         line("GFS configuration file", "config/gfs.cfg")});
}

std::string region_gfs_config_text(const RegionGrids& g) {
    const Spatialinfodata& c = g.common;
    std::vector<std::string> l = {line("Forecast-model configuration", "common grid"),
                                  "Converted by ornax_ingest region",
                                  "Values from column 31",
                                  separator,
                                  separator,
                                  line("GFS data directory", "met"),
                                  line("West longitude", f72(c.west_lon)),
                                  line("East longitude", f72(c.east_lon)),
                                  line("Longitude resolution", f72(c.dlon)),
                                  line("South latitude", f72(c.south_lat)),
                                  line("North latitude", f72(c.north_lat)),
                                  line("Latitude resolution", f72(c.dlat)),
                                  separator,
                                  line("Number of longitudes", i10(c.ncols)),
                                  line("Number of latitudes", i10(c.nrows)),
                                  line("Number of pressure levels", i10(21)),
                                  line("Time steps per day", i10(8)),
                                  line("Spare count", i10(0)),
                                  line("Spare value", write_e(-9999.0, 12, 3)),
                                  separator};
    for (const char* stem :
         {"HGT_sfc", "DLWRF_sfc", "DSWRF_sfc", "TMP_sfc", "LHTFL_sfc", "PRES_sfc", "RH_2m",
          "UGRD_10m", "VGRD_10m", "HGT_prs", "TMP_prs", "RH_prs", "SPFH_prs"})
        l.push_back(line("File stem", stem));
    return ingest_join_lines(l);
}

std::string region_outlist_text(const RegionRecipe& r) {
    std::vector<std::string> l = {"Output variables: name in columns 1-10, switch in 11"};
    for (std::string name : r.outputs) {
        name.resize(10, ' ');
        l.push_back(name + "1");
    }
    return ingest_join_lines(l);
}

void region_write_land_subset(const std::filesystem::path& folder, const RegionGrids& g,
                              const std::vector<float>& landcover, long& land_cells,
                              std::string& error, int& status) {
    const Spatialinfodata &c = g.common, &run = g.run;
    std::vector<int> land(static_cast<std::size_t>(c.ncols) * c.nrows, 0);
    auto mark = [&](int col, int row) {
        if (col >= 1 && col <= c.ncols && row >= 1 && row <= c.nrows)
            land[static_cast<std::size_t>(row - 1) * c.ncols + (col - 1)] = 1;
    };
    for (int row = 1; row <= run.nrows; ++row)
        for (int col = 1; col <= run.ncols; ++col) {
            const float cls = landcover[static_cast<std::size_t>(row - 1) * run.ncols + (col - 1)];
            if (!(cls >= 2.0f)) continue;
            const float lon = static_cast<float>(grid_col_lon(run, col));
            const float lat = static_cast<float>(grid_row_lat(run, row));
            mark(static_cast<int>((lon - c.west_lon) / c.dlon) + 1,
                 static_cast<int>((lat - c.south_lat) / c.dlat) + 1);
            mark(ornax_forcing_cell(lon, c.west_lon, c.dlon),
                 ornax_forcing_cell(lat, c.south_lat, c.dlat));
        }
    std::vector<Ornaxsinglegrid> cells;
    for (int row = 1; row <= c.nrows; ++row)
        for (int col = 1; col <= c.ncols; ++col)
            if (land[static_cast<std::size_t>(row - 1) * c.ncols + (col - 1)] != 0) {
                Ornaxsinglegrid cell;
                cell.lon = static_cast<float>(grid_col_lon(c, col));
                cell.lat = static_cast<float>(grid_row_lat(c, row));
                cell.col = col, cell.row = row, cell.land_frac = 1.0f;
                cells.push_back(cell);
            }
    land_cells = static_cast<long>(cells.size());
    // the writer also leaves the 0/1 image common_lc.dat in the working directory, where
    // the region run writes it too: the region folder
    char here[4096];
    if (getcwd(here, sizeof here) == nullptr || chdir(folder.c_str()) != 0) {
        error = "cannot enter " + folder.string() + " to write its land subset file";
        status = ingest_status_failed;
        return;
    }
    ornax_write_out_land_index(static_cast<int>(cells.size()), c.ncols, c.nrows, c.west_lon,
                               c.east_lon, c.dlon, c.south_lat, c.north_lat, c.dlat, cells,
                               "config/land_subset.dat", status);
    if (chdir(here) != 0 && status == 0) status = ingest_status_failed;
    if (status != 0) {
        error = (folder / "config/land_subset.dat").string() + " could not be written";
        status = ingest_status_failed;
    }
}
