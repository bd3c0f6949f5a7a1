// Region inputs: the reading of one line of land parameters, snow mask, vegetation and
// satellite observations into the region data record.
#include "ornax90/ORNAX_region_io_mod.hpp"

#include <algorithm>
#include <utility>

#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/file_io_mod.hpp"
#include "utils/fixed_text.hpp"

namespace {

// Reads line `line` of a raster on `grid` into values, which must hold the grid's
// columns, through the run's held file when there is one. A line outside the grid fails
// like a read beyond the file's end.
void read_region_line(const RasterInputFiles* held, const std::string& file_name,
                      const Spatialinfodata& grid, int line, std::vector<float>& values,
                      int& status) {
    status = 0;
    if (line < 1 || line > grid.nrows || static_cast<int>(values.size()) != grid.ncols) {
        ornax_log_msg((FreeLine() << "File " << trim_right(file_name) << " read error! line" << line
                                  << "of" << grid.nrows << "lines," << grid.ncols << "columns for"
                                  << static_cast<int>(values.size()) << "values")
                          .str());
        status = ornax_status_failure;
        return;
    }
    read_2d_real_by_line(held, file_name, grid.ncols, grid.nrows, line, 0, values, status);
}

}  // namespace

int ornax_region_input_line(const Spatialinfodata& grid, float lat) {
    if (grid.dlat <= 0.0f) return 0;
    return static_cast<int>((lat - grid.south_lat) / grid.dlat) + 1;
}

void ornax_read_region_land_parms(const Spatialinfodata& land_grid, Ornaxregiondatatype& region,
                                  const std::vector<Ornaxlandtype>&, int, float lat, int& status) {
    status = 0;
    const int line = ornax_region_input_line(land_grid, lat);
    int read_status = 0;
    read_region_line(region.input_rasters, region.landcover_file, land_grid, line, region.Landcover,
                     read_status);
    if (read_status != 0) {
        ornax_log_plain((FreeLine() << "Error loading land parameter").str());
        status = read_status;
        return;
    }
    const std::pair<const std::string*, std::vector<float>*> leaves[] = {
        {&region.aleafn_file, &region.aleafn}, {&region.aleafv_file, &region.aleafv},
        {&region.aleafl_file, &region.aleafl}, {&region.adeadn_file, &region.adeadn},
        {&region.adeadv_file, &region.adeadv}, {&region.adeadl_file, &region.adeadl},
        {&region.xl_file, &region.xl}};
    int failed = 0;  // every leaf raster is read; any failure fails the step
    for (const auto& [file, values] : leaves) {
        read_region_line(region.input_rasters, *file, land_grid, line, *values, read_status);
        if (read_status != 0) ++failed;
    }
    if (failed != 0) {
        status = ornax_status_failure;
        return;
    }
    const struct {
        const std::string* file;
        std::vector<float>* values;
        const char* message;
    } soils[] = {{&region.rsoiln_file, &region.rsoiln, "Error loading soil parameter rsoiln"},
                 {&region.rsoilv_file, &region.rsoilv, "Error loading soil parameter rsoilv"},
                 {&region.rs_correction_file, &region.rs_correct,
                  "Error loading soil resistance correction!"}};
    for (const auto& soil : soils) {
        read_region_line(region.input_rasters, *soil.file, land_grid, line, *soil.values,
                         read_status);
        if (read_status != 0) {
            ornax_log_plain((FreeLine() << soil.message).str());
            status = read_status;
        }
    }
}

void ornax_read_region_snowmask(const Spatialinfodata& snow_grid, Ornaxregiondatatype& region,
                                float lat, int& status) {
    std::fill(region.snow_mask.begin(), region.snow_mask.end(), 0.0f);
    read_region_line(region.input_rasters, region.snow_mask_file, snow_grid,
                     ornax_region_input_line(snow_grid, lat), region.snow_mask, status);
}

void ornax_read_region_vegetation_data(const Spatialinfodata& veg_grid, Ornaxregiondatatype& region,
                                       float lat, int& status) {
    std::fill(region.xlai.begin(), region.xlai.end(), veg_grid.spare_value);
    std::fill(region.clump.begin(), region.clump.end(), 1.0f);
    std::fill(region.fg.begin(), region.fg.end(), 1.0f);
    read_region_line(region.input_rasters, region.xlai_file, veg_grid,
                     ornax_region_input_line(veg_grid, lat), region.xlai, status);
}

void ornax_read_region_goes_data(const Spatialinfodata& sat_grid, Ornaxregiondatatype& region,
                                 float lat, int& status) {
    status = 0;
    const int line = ornax_region_input_line(sat_grid, lat);
    const struct {
        const std::string* file;
        std::vector<float>* values;
        const char* message;
    } reads[] = {{&region.theta_file, &region.theta, "Reading view angle error"},
                 {&region.trad1_file, &region.trad1, "Reading TRAD1 error"},
                 {&region.trad2_file, &region.trad2, "Reading TRAD2 error"},
                 {&region.tloc1_file, &region.tloc1, "Reading time tloc1 error"},
                 {&region.tloc2_file, &region.tloc2, "Reading time tloc2 error"},
                 {&region.sdn1_file, &region.sdn1, "Reading time sdn1 error"},
                 {&region.sdn2_file, &region.sdn2, "Reading time sdn2 error"}};
    for (const auto& r : reads) {
        int read_status = 0;
        read_region_line(region.input_rasters, *r.file, sat_grid, line, *r.values, read_status);
        if (read_status != 0) {
            ornax_log_plain((FreeLine() << r.message).str());
            status = ornax_status_failure;
            return;
        }
    }
}

void ornax_hold_region_inputs(const Ornaxregiondatatype& region, RasterInputFiles& files) {
    const std::string* inputs[] = {&region.landcover_file,     &region.aleafn_file,
                                   &region.aleafv_file,        &region.aleafl_file,
                                   &region.adeadn_file,        &region.adeadv_file,
                                   &region.adeadl_file,        &region.xl_file,
                                   &region.rsoiln_file,        &region.rsoilv_file,
                                   &region.rs_correction_file, &region.snow_mask_file,
                                   &region.xlai_file,          &region.theta_file,
                                   &region.trad1_file,         &region.trad2_file,
                                   &region.tloc1_file,         &region.tloc2_file,
                                   &region.sdn1_file,          &region.sdn2_file};
    for (const std::string* file : inputs) files.hold(*file);
}

bool ornax_region_input_failed(const int step_status[5], long long& weighted_sum) {
    long long weight = 1;
    bool failed = false;
    weighted_sum = 0;
    for (int i = 0; i < 5; ++i) {
        weighted_sum += weight * step_status[i];
        weight *= 10;
        failed = failed || step_status[i] != 0;
    }
    return failed;
}

void ornax_read_region_data(Ornaxregiondatatype& region, const Ornaxcommonblock& common,
                            Ornaxmeteoornax& met_grid, const Spatialinfodata&,
                            const Spatialinfodata& land_grid, const Spatialinfodata& veg_grid,
                            const Spatialinfodata& snow_grid, const Spatialinfodata&,
                            const Spatialinfodata& sat_grid,
                            const std::vector<Ornaxlandtype>& table, int, int region_switch,
                            int year, int doy, float lat, int& status) {
    int step[5] = {0, 0, 0, 0, 0};
    ornax_read_region_land_parms(land_grid, region, table, region_switch, lat, step[0]);
    if (step[0] != 0) ornax_log_msg((FreeLine() << "Read land parameters error" << step[0]).str());
    ornax_read_region_snowmask(snow_grid, region, lat, step[1]);
    if (step[1] != 0) ornax_log_msg((FreeLine() << "Read snow mask error" << step[1]).str());
    ornax_read_region_vegetation_data(veg_grid, region, lat, step[2]);
    if (step[2] != 0) ornax_log_plain((FreeLine() << "Read vegetation error" << step[2]).str());
    ornax_pro_region_meteorological_data(common, met_grid, region, year, doy, lat, step[3]);
    if (step[3] != 0)
        ornax_log_plain((FreeLine() << "Process Meteorological data error" << step[3]).str());
    ornax_read_region_goes_data(sat_grid, region, lat, step[4]);
    if (step[4] != 0) ornax_log_plain((FreeLine() << "Read GOES data error" << step[4]).str());

    long long sum = 0;
    status = 0;
    if (ornax_region_input_failed(step, sum)) {
        ornax_log_plain((FreeLine() << "Eorros in the input data" << sum).str());
        status = ornax_status_failure;
    }
}
