// Record types of the model core, the grids and the region run, with their set-up and
// release operations.
//
// Array fields documented as "1..N" in the model's description are stored 0-based:
// level k of a sounding is z_pbli[k - 1], hour slot h is sdn_day[h - 1].
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "type_kinds.hpp"

// Debug level of the run (option -d); extra diagnostic lines at level 1 and above.
extern std::int16_t debug_iflag;

inline constexpr int ornax_max_pbl_levels = 41;  // levels of a sounding
inline constexpr int ornax_hours_per_day = 24;   // hourly slots of a day
inline constexpr float ornax_missing_value = -9999.0f;

// ===================================================================================
// Core records
// ===================================================================================

// One land-cover class (also one pixel's land parameters).
struct Ornaxlandtype {
    int landcover = 0;     // class number
    float aleafv = 0.0f;   // live-leaf absorptivity, visible
    float aleafn = 0.0f;   // live-leaf absorptivity, near-infrared
    float aleafl = 0.0f;   // live-leaf absorptivity, thermal
    float adeadv = 0.0f;   // dead-leaf absorptivity, visible
    float adeadn = 0.0f;   // dead-leaf absorptivity, near-infrared
    float adeadl = 0.0f;   // dead-leaf absorptivity, thermal
    float xl = 0.0f;       // leaf size (m)
    float rsoil = 0.0f;    // soil resistance value of the class (reported only)
    float hmin = 0.0f;     // minimum canopy height (m)
    float hmax = 0.0f;     // maximum canopy height (m)
    int modis_class = 0;   // class number in the second classification
    int water_flag = 0;    // 1 for open water
    int perennial_flag = 0;
    float fcmin = 0.0f;    // minimum vegetation cover fraction
    std::string lc_name;   // class description (at most 300 characters)
};

// Everything the core needs for one point.
struct Ornaxinputvartype {
    float xlai = 0.0f;        // leaf area index
    int year = 0;
    int doy = 0;
    float lat = 0.0f;         // degrees north
    float lon = 0.0f;         // degrees east
    int landcover = 0;
    int npbl = 0;             // levels of the sounding used, 1..41
    float xndvi = 0.0f;
    float clump = 1.0f;       // clumping index
    float zu = 50.0f;         // height of the wind measurement (m)
    float zblend = 50.0f;     // blending height (m)
    float emis_soil = 0.92f;  // soil emissivity
    float fg = 1.0f;          // green fraction
    float xl = 0.0f;          // leaf size (m)
    float fc = 0.0f;          // vegetation cover fraction
    float hc = 0.0f;          // canopy height (m)
    float rsoilv = 0.24f;     // soil reflectance, visible
    float rsoiln = 0.38f;     // soil reflectance, near-infrared
    float rs_correct = 0.0f;  // soil-resistance correction factor
    float aleafv_copy = 0.0f; // site-mode copy of the class's aleafv (not used by the core)
    float aleafn_copy = 0.0f; // site-mode copy of the class's aleafn (not used by the core)
    float theta = 0.0f;       // view zenith angle (degrees)
    float tloc1 = 0.0f, tloc2 = 0.0f;    // local standard time of the observations (h)
    float trad1 = 0.0f, trad2 = 0.0f;    // radiometric surface temperature (deg C)
    float sdn1 = 0.0f, sdn2 = 0.0f;      // insolation (W m-2)
    float lwdn1 = 0.0f, lwdn2 = 0.0f;    // downward long-wave (W m-2)
    float wind1 = 0.0f, wind2 = 0.0f;    // wind at zu (m s-1)
    float taobs1 = 0.0f, taobs2 = 0.0f;  // air temperature (deg C)
    float pres1 = 0.0f, pres2 = 0.0f;    // surface pressure (mb)
    float spfh1 = 0.0f, spfh2 = 0.0f;    // humidity, used as vapour pressure (mb)
    std::array<float, ornax_max_pbl_levels> z_pbli{};   // sounding heights above ground (m)
    std::array<float, ornax_max_pbl_levels> th_pblk{};  // potential temperature (K)
    std::array<float, ornax_hours_per_day> sdn_day{};   // hourly insolation (W m-2)
    std::array<float, ornax_hours_per_day> tloc_day{};  // local time of each hourly value (h)
    std::array<float, ornax_hours_per_day> taobs_day{}; // hourly air temperature (deg C)
    std::array<float, ornax_hours_per_day> wind_day{};  // hourly wind (m s-1)
    std::array<float, ornax_hours_per_day> spfh_day{};  // hourly vapour pressure (mb)
    std::array<float, ornax_hours_per_day> pres_day{};  // hourly surface pressure (mb)
    std::array<float, ornax_hours_per_day> lwdn_day{};  // hourly downward long-wave (W m-2)
};

// Partition of insolation.
struct Ornaxradiationpartitiondatatype {
    float clearness = 0.0f;        // measured over potential insolation, at most 1
    float visible_share = 0.0f;
    float nir_share = 0.0f;
    float diffuse_visible = 0.0f;
    float diffuse_nir = 0.0f;
    float direct_visible = 0.0f;
    float direct_nir = 0.0f;
};

// Results of one run: 44 reals in the order of the output list.
struct Ornaxoutputvartype {
    float TS1 = 0, XLES1 = 0, HS1 = 0, TC1 = 0, XLEC1 = 0, HC1 = 0, XLE1 = 0, H1 = 0, G1 = 0;
    float ZEN1 = 0, TA1 = 0, SPARE1 = 0, RNET1 = 0;
    float TS2 = 0, XLES2 = 0, HS2 = 0, TC2 = 0, XLEC2 = 0, HC2 = 0, XLE2 = 0, H2 = 0, G2 = 0;
    float ZEN2 = 0, TA2 = 0, SPARE2 = 0, RNET2 = 0;
    float Z2 = 0, RA2 = 0, RS2 = 0, RX2 = 0, SWUP = 0, LWUP = 0;
    float SNETDAY = 0, RSOILDAY = 0, SDDAY = 0, SWUPDAY = 0, LWUPDAY = 0, LWDNDAY = 0;
    float EREFDAY = 0, HDAY = 0, GDAY = 0, EDAY = 0, ESDAY = 0, ECDAY = 0;
};
static_assert(sizeof(Ornaxoutputvartype) == 44 * sizeof(float), "44 reals");

// One entry of an output list: a variable name (10 characters) and its output code.
struct Ornaxoutputrecordtype {
    std::string name;
    int code = 0;
};

// Sets every field from ZEN1 onwards to 0 except TS2 and TC2.
void reset_out_var(Ornaxoutputvartype& output);

// Writes the log line of a core status code when flag is non-zero; status 0 afterwards.
void ornax_error_code(int flag, int code, int& status);

// ---- core working state Ornaxdailyvartype (core work) ----

// ---- end of core working state ----

// ===================================================================================
// Grid description
// ===================================================================================

// One regular latitude/longitude grid. Columns from the west, rows from the south, 1-based.
struct Spatialinfodata {
    float east_lon = 0.0f;
    float west_lon = 0.0f;
    float south_lat = 0.0f;
    float north_lat = 0.0f;
    float dlat = 0.0f;
    float dlon = 0.0f;
    int nrows = 0;
    int ncols = 0;
    int nlayers = 0;
    int nhours = 0;
    float spare_value = 0.0f;  // the missing value of data on this grid
};

// ===================================================================================
// Common grid Ornaxcommonblock (forcing-a work)
// ===================================================================================

#include "GFS_forcing_mod.hpp"

inline constexpr int ornax_common_layer_count = 30;  // profile layers of the common grid

// One land cell of the common grid.
struct Ornaxsinglegrid {
    float lat = 0.0f;        // centre latitude (degrees north)
    float lon = 0.0f;        // centre longitude (degrees east)
    int row = 0;             // 1-based row of the common grid, from the south
    int col = 0;             // 1-based column, from the west
    float land_frac = 0.0f;  // fraction of land-cover pixels of the cell that are land
    int spare_1 = 0;
    int spare_2 = 0;
    int spare_3 = 0;
};

// The regular latitude/longitude grid of the preprocessed forecast-model rasters, its land
// cells and the forecast-model store. Lives from the static set-up to the end of a region run.
struct Ornaxcommonblock {
    int land_option = 0;
    int land_index_option = 0;          // 1: build the land cells from the UMD land cover; 0: load the subset file
    std::string met_data_dir;           // root directory of the preprocessed forecast-model rasters
    std::string umd_landcover_file;     // UMD land-cover raster (0.01 degree, global)
    std::string land_subset_file;       // land cells written by an earlier run
    float land_spare_value = 0.0f;
    float undef = 0.0f;                 // fill value of the preprocessed rasters
    int config_read = 0;                // 1 once the meteorological configuration was read to its end
    int ncols = 0;
    int nrows = 0;
    float dlon = 0.0f;                  // column spacing (degrees)
    float dlat = 0.0f;                  // row spacing (degrees)
    float west_lon = 0.0f;
    float east_lon = 0.0f;
    float north_lat = 0.0f;
    float south_lat = 0.0f;
    int nlayers = 0;                    // profile layers, always ornax_common_layer_count
    int nhours = 0;                     // time steps per day of the preprocessed series
    int met_flag = 0;                   // meteorological source: 3 = forecast-model (CFSR/GFS) data
    int met_option = 0;
    std::string met_text;
    std::string gfs_land_file;          // forecast-model land-mask file
    std::string gfs_config_file;        // forecast-model configuration file
    int land_count = 0;                 // land cells in ptr_land_grid
    // ncols x nrows entries once set up; the first land_count hold the land cells in
    // row-major order (row 1 first, west to east within a row)
    std::vector<Ornaxsinglegrid> ptr_land_grid;
    Gfs_struc_block gfs_struc;          // forecast-model grid and its land mask
    // heights of the profile layers above the surface (m)
    std::array<float, ornax_common_layer_count> layer_heights = {
        15000.0f, 14000.0f, 13000.0f, 12000.0f, 11000.0f, 10000.0f, 9500.0f, 9000.0f,
        8500.0f,  8000.0f,  7500.0f,  7000.0f,  6500.0f,  6000.0f,  5500.0f, 5000.0f,
        4500.0f,  4000.0f,  3500.0f,  3000.0f,  2600.0f,  2200.0f,  1800.0f, 1400.0f,
        1000.0f,  700.0f,   500.0f,   300.0f,   100.0f,   80.0f};
};

// Allocates the land-cell list and sets up the forecast-model store (reading its
// configuration when met_flag is 3). Status 0 or 3.
void ornax_common_grid_init(Ornaxcommonblock& common, int& status);
// Releases the land-cell list and the forecast-model store. Status 0 or 3.
void ornax_common_grid_finalize(Ornaxcommonblock& common, int& status);

// ---- end of common grid ----

// ===================================================================================
// Model grid Ornaxmeteoornax (forcing-b work)
// ===================================================================================

// ---- end of model grid ----

// ===================================================================================
// Region data record Ornaxregiondatatype (region-sim work)
// ===================================================================================

// ---- end of region data record ----
