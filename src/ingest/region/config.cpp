// The configuration files of a region folder.
#include "ingest/region/config.hpp"

#include <unistd.h>

#include <array>
#include <cmath>
#include <utility>

#include "baseforcing/GFS/GFS_io_mod.hpp"
#include "ornax90/ORNAX_io_mod.hpp"
#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/ORNAX_region_io_mod.hpp"
#include "ornax90/ORNAX_region_mod.hpp"
#include "ingest/forecast/day.hpp"
#include "utils/fixed_text.hpp"
#include "ingest/common/support.hpp"

namespace {

std::string line(const char* label, const std::string& value) {
    return labelled_line(label, value);
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

std::string region_config_text(const RegionRecipe& r) {
    const std::string day = ingest_day_dir_name(r.year, r.doy);
    const std::string date = std::to_string(r.year) + " " + std::to_string(r.doy);
    const std::array<std::string, 4> header = {
        line("Region configuration", "written by ornax_ingest region from " + r.file),
        line("Date", date), line("Run from", "this folder, HOME_DIR unset or empty"),
        line("Command", "ornax.x -r0 config/region.cfg " + date)};
    RegionConfigPaths v;
    const std::pair<int, std::string> values[] = {{6, "config/landcover.txt"},
                                                  {7, "config/reserved.dat"},
                                                  {8, "config/domain_land.txt"},
                                                  {9, "static"},
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
                                                  {21, "../sat/" + day + "/theta.bin"},
                                                  {23, "config/domain_veg.txt"},
                                                  {24, "lai"},
                                                  {25, "lai.bin"},
                                                  {27, "config/domain_snow.txt"},
                                                  {28, "snow"},
                                                  {29, "snow_mask.bin"},
                                                  {31, "config/met.cfg"},
                                                  {32, "sat"},
                                                  {33, "tloc1.bin"},
                                                  {39, "tloc2.bin"},
                                                  {53, "config/domain_sat.txt"},
                                                  {54, "sat"},
                                                  {55, "trad1.bin"},
                                                  {56, "trad2.bin"},
                                                  {58, "sat/" + day},
                                                  {59, "sdn1_"},
                                                  {60, "sdn2_"},
                                                  {62, "config/domain_run.txt"},
                                                  {63, "config/outlist.txt"},
                                                  {64, "output"},
                                                  {65, "spare"}};
    for (int spare = 34; spare <= 51; ++spare) v[static_cast<std::size_t>(spare)] = "not_read.bin";
    for (const auto& [n, value] : values) v[static_cast<std::size_t>(n)] = value;
    return ornax_region_config_text(header, v);
}

std::string region_met_config_text(const RegionGrids& g) {
    Ornaxcommonblock common;
    Ornaxmeteoornax grid;
    ornax_met_config_grids(g.common, g.run, forecast_steps_per_day, region_missing_value, common,
                           grid);
    common.land_option = 1, common.land_index_option = 0;
    common.land_subset_file = "config/land_subset.dat";
    common.met_data_dir = "met", common.umd_landcover_file = "static/landcover.bin";
    common.met_flag = 3, common.met_option = 0;
    common.met_text = "forecast-model GRIB2 converted by ornax_ingest";
    common.gfs_land_file = "met/gfs_land.bin", common.gfs_config_file = "config/gfs.cfg";
    grid.met_dir = "met";
    return join_lines(
        ornax_met_config_lines("forecast rasters of ornax_ingest region", common, grid));
}

std::string region_gfs_config_text(const RegionGrids& g) {
    const Spatialinfodata& c = g.common;
    return join_lines(
        gfs_config_lines("common grid", "Converted by ornax_ingest region", "Values from column 31",
                         gfs_config_record("met", c.west_lon, c.east_lon, c.dlon, c.south_lat,
                                           c.north_lat, c.dlat, c.ncols, c.nrows)));
}

std::string region_outlist_text(const RegionRecipe& r) {
    std::vector<Ornaxoutputrecordtype> selected;
    for (const std::string& name : r.outputs) selected.push_back({name, 0});
    return ornax_out_list_text(selected);
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
    // the writer's screen lines run the file name into the words around it; they go to
    // the log only
    Ornaxmessagebuffer said;
    {
        OrnaxMessageCapture capture(said);
        ornax_write_out_land_index(static_cast<int>(cells.size()), c.ncols, c.nrows, c.west_lon,
                                   c.east_lon, c.dlon, c.south_lat, c.north_lat, c.dlat, cells,
                                   "config/land_subset.dat", status);
    }
    for (const Ornaxmessagebuffer::Entry& e : said.entries) {
        if (e.channel == Ornaxmessagebuffer::Channel::screen)
            ingest_log_only(trim_both(e.text));
        else
            ingest_message(trim_both(e.text));
    }
    if (chdir(here) != 0 && status == 0) status = ingest_status_failed;
    if (status != 0) {
        error = (folder / "config/land_subset.dat").string() + " could not be written";
        status = ingest_status_failed;
    }
}
