// Pixel simulation of one line of a region: the inputs of every pixel are located on
// their own grids and assembled, the core runs on every land pixel whose inputs are all
// present, the result is screened and the selected outputs and a quality flag stored.
#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "ornax90/ORNAX_core_mod.hpp"
#include "ornax90/input_check/ranges.hpp"
#include "ornax90/ORNAX_io_mod.hpp"
#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/ORNAX_region_mod.hpp"
#include "ornax90/ORNAX_region_utl_mod.hpp"
#include "utils/fixed_text.hpp"

namespace {

constexpr int snow_class = 4;                     // snow-mask class of a snow-covered pixel
constexpr int core_debug_quiet = 2;               // core debug flag without diagnostic lines
constexpr int pixel_dump_interval = 100000;       // every so many successful pixels are dumped
constexpr float outlier_latent_heat = 1000.0f;    // XLE2 at or above this is an outlier (W m-2)
constexpr float outlier_sensible_heat = -100.0f;  // H2 at or below this is an outlier (W m-2)

// Everything that stays the same for every pixel of the line.
struct LineContext {
    Ornaxregiondatatype& region;
    const Spatialinfodata& run_grid;
    const Spatialinfodata& lc_grid;
    const Spatialinfodata& lai_grid;
    const Spatialinfodata& snow_grid;
    const Spatialinfodata& met_grid;
    const Spatialinfodata& goes_grid;
    const std::vector<Ornaxlandtype>& class_table;
    int class_count;
    int region_switch;
    float lat;
    Ornaxinputvartype line_input;  // the input defaults of the line
    int successful_pixels = 0;
    int timing_misfits = 0;  // pixels whose observation times do not fit the morning
};

void log_pixel(const char* text, float lon, float lat) {
    ornax_log_msg((FreeLine() << text << lon << lat).str());
}

bool line_value(const std::vector<float>& array, int col, float& value) {
    if (col < 1 || static_cast<std::size_t>(col) > array.size()) return false;
    value = array[static_cast<std::size_t>(col - 1)];
    return true;
}

// Outcome of the screen before assembly.
enum class Screen { run, skip, land_missing };

// Screen before assembly: a land class above 1, observation times at the pixel's own
// satellite column, no snow. skip (quality 127) when the pixel is not to be run;
// land_missing when its land cover or snow mask is not a number.
Screen screen_pixel(const LineContext& line, float lon) {
    int col = 0, status = 0;
    get_col_by_lon(line.lc_grid, lon, col, status);
    if (status != 0) {
        log_pixel("Error in get the lc_domain", lon, line.lat);
        return Screen::skip;
    }
    float land_class = 0.0f, tloc1 = -1.0f, tloc2 = -1.0f;
    if (!line_value(line.region.Landcover, col, land_class)) return Screen::skip;
    if (!std::isfinite(land_class)) return Screen::land_missing;
    if (!(land_class > 1.0f)) return Screen::skip;
    int goes_col = 0;
    get_col_by_lon(line.goes_grid, lon, goes_col, status);
    if (status != 0 || !line_value(line.region.tloc1, goes_col, tloc1) ||
        !line_value(line.region.tloc2, goes_col, tloc2) || tloc1 < 0.0f || tloc2 < 0.0f) {
        return Screen::skip;
    }
    get_col_by_lon(line.snow_grid, lon, col, status);
    float snow = 0.0f;
    if (status != 0 || !line_value(line.region.snow_mask, col, snow)) {
        log_pixel("Error in get the snowmask_domain", lon, line.lat);
        return Screen::skip;
    }
    // a snow mask holding its grid's missing value says nothing about snow
    if (!std::isfinite(snow) || snow == line.snow_grid.spare_value) return Screen::land_missing;
    // The class is the value truncated toward zero.
    return snow >= snow_class && snow < snow_class + 1 ? Screen::skip : Screen::run;
}

// Quality bits of the assembled inputs that are missing or outside their physical range
// (a leaf area index equal to the vegetation grid's missing value is missing).
int impossible_input_bits(const LineContext& line, const Ornaxlandtype& land,
                          const Ornaxinputvartype& input) {
    int failures = 0;
    Ornaxrangefailure first;
    int bits = ornax_check_input_ranges(land, input, line.met_grid.nhours, failures, first);
    if (input.xlai == line.lai_grid.spare_value) bits |= ornax_qc_vegetation;
    return bits;
}

// Land, vegetation, satellite and meteorology of the pixel. Returns the
// quality flag with the bits of the inputs in place cleared; `complete` is false when a
// lookup failed and the pixel is not to be run.
int assemble_pixel(const LineContext& line, float lon, Ornaxlandtype& land,
                   Ornaxinputvartype& input, bool& complete) {
    int q = ornax_qc_all_missing;
    complete = false;
    int col = 0, status = 0;
    get_col_by_lon(line.lc_grid, lon, col, status);
    if (status == 0) {
        ornax_set_land_parms_by_col_row(line.lc_grid, line.region, col, 1, line.class_table,
                                        line.class_count, land, status);
    }
    if (status != 0) {
        log_pixel("Error in get the land params at ", lon, line.lat);
        return q;
    }
    q -= ornax_qc_land;
    line_value(line.region.rsoiln, col, input.rsoiln);
    line_value(line.region.rsoilv, col, input.rsoilv);
    line_value(line.region.rs_correct, col, input.rs_correct);

    get_col_by_lon(line.lai_grid, lon, col, status);
    if (status != 0) {
        log_pixel("Error in get the index in LAI domain at ", lon, line.lat);
        return q;
    }
    ornax_set_vegetation_by_col_row(line.lai_grid, line.region, col, 1, land, input, status);
    if (status != 0) {
        log_pixel("Error in set the vegetation parms at ", lon, line.lat);
        return q;
    }
    q -= ornax_qc_vegetation;

    get_col_by_lon(line.goes_grid, lon, col, status);
    if (status != 0) {
        log_pixel("Error in get the index of GOES domain at ", lon, line.lat);
        return q;
    }
    ornax_set_goes_gsip16_by_col_row(line.goes_grid, line.region, col, 1, input, status);
    // the daily integration needs the insolation of all 24 hours
    if (status == 0 && line.goes_grid.nhours == ornax_hours_per_day) q -= ornax_qc_satellite;

    get_col_by_lon(line.met_grid, lon, col, status);
    if (status != 0) {
        log_pixel("Error in get the index of Met domain at ", lon, line.lat);
        return q;
    }
    ornax_set_meteo_by_col_row(line.met_grid, line.region, col, 1, input, status);
    if (status != 0) return q;
    q -= ornax_qc_meteorology;
    complete = true;
    return q | impossible_input_bits(line, land, input);
}

// The pixel's observation times against its morning; the first misfit of the line is
// logged with its reason, and the line's count of them once the line is done.
bool observation_times_fit(LineContext& line, float lon, float lat, Ornaxinputvartype& input) {
    input.lat = lat;
    input.lon = lon;
    std::string why;
    if (ornax_check_observation_times(input, why) == 0) return true;
    if (line.timing_misfits++ == 0)
        ornax_log_msg((FreeLine() << "Observation times do not fit the morning at" << lon << lat
                                  << ": " + why + "; flagged" << ornax_qc_observation_times)
                          .str());
    return false;
}

// Appends the pixel's land and input records to the dump file (by default in the output
// directory).
void dump_pixel_inputs(const LineContext& line, const Ornaxlandtype& land,
                       const Ornaxinputvartype& input) {
    const std::string dir = trim_right(line.region.output_dir);
    std::string path = dir.empty() ? "pixel_dump.txt" : dir + "/pixel_dump.txt";
    if (!line.region.pixel_dump_file.empty()) path = line.region.pixel_dump_file;
    int status = 0;
    ornax_write_site_inputs(path, land, input, status);
    if (status != 0) line.region.pixel_dump_status = status;
}

// A pixel whose inputs are all present, waiting for the core.
struct Pixeljob {
    int k = 0;  // column of the run grid
    float lon = 0.0f;
    Ornaxlandtype land;
    Ornaxinputvartype input;
};

// The outlier screen of the core's result and the copy of the listed outputs into column
// k of the output matrix. Returns the quality flag.
int store_pixel(LineContext& line, const Pixeljob& job, const Ornaxcorepoint& result) {
    if (result.status != 0) return ornax_qc_inputs_present;
    const Ornaxoutputvartype& output = result.output;
    if (!ornax_result_is_plausible(output)) {
        ornax_log_msg(
            (FreeLine() << "Out liers" << output.XLE2 << output.H2 << " at " << job.lon << line.lat)
                .str());
        return ornax_qc_inputs_present;
    }
    if (!ornax_daily_et_is_plausible(output)) {
        ornax_log_msg((FreeLine() << "Daily ET energy EDAY" << output.EDAY
                                  << "outside 0 .. the day's insolation SDDAY" << output.SDDAY
                                  << " at " << job.lon << line.lat)
                          .str());
        return ornax_qc_inputs_present;
    }
    Ornaxregiondatatype& region = line.region;
    const int count = region.out_var_count;
    std::array<float, ornax_max_out_vars> values{};
    int status = 0;
    ornax_get_region_out_var_by_list(region.out_var_list, count, output,
                                     std::span<float>(values.data(), values.size()), status);
    if (status != 0) return ornax_qc_inputs_present;
    for (int i = 1; i <= count; ++i) {
        region.out_var_matrix[region_2d_index(job.k, i, line.run_grid.ncols)] =
            values[static_cast<std::size_t>(i - 1)];
    }
    ++line.successful_pixels;
    if (line.successful_pixels % pixel_dump_interval == 0) {
        dump_pixel_inputs(line, job.land, job.input);
    }
    return ornax_qc_computed;
}

// Input defaults shared by every pixel of the line.
Ornaxinputvartype line_input_defaults(int year, int doy, const Spatialinfodata& run_grid) {
    Ornaxinputvartype input;
    input.year = year;
    input.doy = doy;
    input.npbl = run_grid.nlayers;
    input.zu = 50.0f;      // height of the wind (m)
    input.zblend = 50.0f;  // blending height (m)
    input.clump = 1.0f;
    input.rsoilv = 0.24f;
    input.rsoiln = 0.38f;
    input.emis_soil = 0.92f;
    for (int h = 0; h < ornax_hours_per_day; ++h) input.tloc_day[static_cast<std::size_t>(h)] = h;
    return input;
}

// The line arrays indexed by the run grid's columns must hold every column.
bool run_arrays_fit(const Ornaxregiondatatype& region, const Spatialinfodata& run_grid) {
    const std::size_t n = static_cast<std::size_t>(std::max(run_grid.ncols, 0));
    const std::size_t outputs = n * static_cast<std::size_t>(std::max(region.out_var_count, 0));
    return region.run_ncols == run_grid.ncols && region.xlat.size() >= n &&
           region.xlon.size() >= n && region.qc_flag.size() >= n &&
           region.out_var_matrix.size() >= outputs && region.out_var_count <= ornax_max_out_vars;
}

// The pixels of one line; core is the pixel core to use, or nullptr for the vector core.
void simulate_line(Ornaxregiondatatype& region, const Spatialinfodata& run_grid,
                   const Spatialinfodata& lc_grid, const Spatialinfodata& lai_grid,
                   const Spatialinfodata& snow_grid, const Spatialinfodata& met_grid,
                   const Spatialinfodata& goes_grid, const std::vector<Ornaxlandtype>& class_table,
                   int class_count, int year, int doy, int region_switch, float lat,
                   const Ornaxpixelcore* core, int& status) {
    status = 0;
    if (!run_arrays_fit(region, run_grid)) {
        ornax_log_msg((FreeLine() << "Region line arrays do not hold the" << run_grid.ncols
                                  << "columns of the run grid")
                          .str());
        status = ornax_status_failure;
        return;
    }
    LineContext line{region,        run_grid,    lc_grid,
                     lai_grid,      snow_grid,   met_grid,
                     goes_grid,     class_table, class_count,
                     region_switch, lat,         line_input_defaults(year, doy, run_grid)};
    int reset_status = 0;
    ornax_reset_region_outputs(region, run_grid.spare_value, reset_status);
    // Every pixel is located and assembled first; the core then runs on the pixels whose
    // inputs are all present, many at a time, and their results are stored in column order.
    // the job and point arrays of a line stay with the thread for its next line: fresh
    // arrays of this size come from new pages of the system each time
    thread_local std::vector<Pixeljob> jobs;
    thread_local std::vector<Ornaxcorepoint> points;
    jobs.clear();
    jobs.reserve(static_cast<std::size_t>(std::max(run_grid.ncols, 0)));
    for (int k = 1; k <= run_grid.ncols; ++k) {
        const std::size_t i = static_cast<std::size_t>(k - 1);
        // Centre longitude of run-grid column k (degrees east).
        const float lon = run_grid.dlon * (static_cast<float>(k) - 0.5f) + run_grid.west_lon;
        region.xlat[i] = lat;
        region.xlon[i] = lon;
        int q = ornax_qc_all_missing;
        const Screen screen = screen_pixel(line, lon);
        if (screen == Screen::land_missing) q = ornax_qc_inputs_present | ornax_qc_land;
        if (screen == Screen::run) {
            Pixeljob job{k, lon, Ornaxlandtype{}, line.line_input};
            bool complete = false;
            q = assemble_pixel(line, lon, job.land, job.input, complete);
            if (complete && q == ornax_qc_inputs_present &&
                !observation_times_fit(line, lon, lat, job.input))
                q = ornax_qc_observation_times;
            if (complete && q == ornax_qc_inputs_present) {
                job.input.lat = lat;
                job.input.lon = lon;
                jobs.push_back(std::move(job));
            }
        }
        region.qc_flag[i] = static_cast<float>(q);
    }
    points.assign(jobs.size(), Ornaxcorepoint{});
    for (std::size_t n = 0; n < jobs.size(); ++n) {
        points[n].land = &jobs[n].land;
        points[n].input = &jobs[n].input;
    }
    if (core != nullptr) {
        for (Ornaxcorepoint& p : points) {
            (*core)(*p.land, *p.input, p.output, core_debug_quiet, region_switch, p.status);
        }
    } else {
        ornax_lanes_run(points, core_debug_quiet, region_switch, region.lane_workspace);
    }
    for (std::size_t n = 0; n < jobs.size(); ++n) {
        const int q = store_pixel(line, jobs[n], points[n]);
        region.qc_flag[static_cast<std::size_t>(jobs[n].k - 1)] = static_cast<float>(q);
    }
    if (line.timing_misfits > 1)
        ornax_log_msg((FreeLine() << line.timing_misfits << "pixels of the line at latitude" << lat
                                  << "have observation times that do not fit the morning")
                          .str());
}

}  // namespace

bool ornax_result_is_plausible(const Ornaxoutputvartype& output) {
    return output.XLE2 >= 0.0f && output.XLE2 < outlier_latent_heat &&
           output.H2 > outlier_sensible_heat;
}

bool ornax_daily_et_is_plausible(const Ornaxoutputvartype& output) {
    // The daily ET energy is neither negative nor missing, and not above the energy the day
    // brings, its insolation SDDAY (downward sensible heat lets EDAY pass the daily net
    // radiation by a quarter in plain runs; it stays below two thirds of SDDAY).
    return output.EDAY >= 0.0f && output.EDAY <= output.SDDAY;
}

void ornax_simulate_region_with_core(
    Ornaxregiondatatype& region, const Spatialinfodata& run_grid, const Spatialinfodata& lc_grid,
    const Spatialinfodata& lai_grid, const Spatialinfodata& snow_grid,
    const Spatialinfodata& met_grid, const Spatialinfodata& goes_grid,
    const std::vector<Ornaxlandtype>& class_table, int class_count, int year, int doy,
    int region_switch, float lat, const Ornaxpixelcore& core, int& status) {
    simulate_line(region, run_grid, lc_grid, lai_grid, snow_grid, met_grid, goes_grid, class_table,
                  class_count, year, doy, region_switch, lat, &core, status);
}

void ornax_simulate_region(Ornaxregiondatatype& region, const Spatialinfodata& run_grid,
                           const Spatialinfodata& lc_grid, const Spatialinfodata& lai_grid,
                           const Spatialinfodata& snow_grid, const Spatialinfodata& met_grid,
                           const Spatialinfodata& goes_grid,
                           const std::vector<Ornaxlandtype>& class_table, int class_count, int year,
                           int doy, int region_switch, float lat, int& status) {
    simulate_line(region, run_grid, lc_grid, lai_grid, snow_grid, met_grid, goes_grid, class_table,
                  class_count, year, doy, region_switch, lat, nullptr, status);
}
