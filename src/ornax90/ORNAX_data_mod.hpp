// Record types of the model core, the grids and the region run, with their set-up and
// release operations.
//
// Array fields documented as "1..N" in the model's description are stored 0-based:
// level k of a sounding is z_pbli[k - 1], hour slot h is sdn_day[h - 1].
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "baseforcing/GFS/GFS_forcing_mod.hpp"
#include "ornax90/type_kinds.hpp"

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
    int landcover = 0;    // class number
    float aleafv = 0.0f;  // live-leaf absorptivity, visible
    float aleafn = 0.0f;  // live-leaf absorptivity, near-infrared
    float aleafl = 0.0f;  // live-leaf absorptivity, thermal
    float adeadv = 0.0f;  // dead-leaf absorptivity, visible
    float adeadn = 0.0f;  // dead-leaf absorptivity, near-infrared
    float adeadl = 0.0f;  // dead-leaf absorptivity, thermal
    float xl = 0.0f;      // leaf size (m)
    float rsoil = 0.0f;   // soil resistance value of the class (reported only)
    float hmin = 0.0f;    // minimum canopy height (m)
    float hmax = 0.0f;    // maximum canopy height (m)
    int modis_class = 0;  // class number in the second classification
    int water_flag = 0;   // 1 for open water
    int perennial_flag = 0;
    float fcmin = 0.0f;   // minimum vegetation cover fraction
    std::string lc_name;  // class description (at most 300 characters)
};

// Everything the core needs for one point.
struct Ornaxinputvartype {
    float xlai = 0.0f;  // leaf area index
    int year = 0;
    int doy = 0;
    float lat = 0.0f;  // degrees north
    float lon = 0.0f;  // degrees east
    int landcover = 0;
    int npbl = 0;  // levels of the sounding used, 1..41
    float xndvi = 0.0f;
    float clump = 1.0f;        // clumping index
    float zu = 50.0f;          // height of the wind measurement (m)
    float zblend = 50.0f;      // blending height (m)
    float emis_soil = 0.92f;   // soil emissivity
    float fg = 1.0f;           // green fraction
    float xl = 0.0f;           // leaf size (m)
    float fc = 0.0f;           // vegetation cover fraction
    float hc = 0.0f;           // canopy height (m)
    float rsoilv = 0.24f;      // soil reflectance, visible
    float rsoiln = 0.38f;      // soil reflectance, near-infrared
    float rs_correct = 0.0f;   // soil-resistance correction factor
    float aleafv_copy = 0.0f;  // site-mode copy of the class's aleafv (not used by the core)
    float aleafn_copy = 0.0f;  // site-mode copy of the class's aleafn (not used by the core)
    float theta = 0.0f;        // view zenith angle (degrees)
    float tloc1 = 0.0f, tloc2 = 0.0f;    // local standard time of the observations (h)
    float trad1 = 0.0f, trad2 = 0.0f;    // radiometric surface temperature (deg C)
    float sdn1 = 0.0f, sdn2 = 0.0f;      // insolation (W m-2)
    float lwdn1 = 0.0f, lwdn2 = 0.0f;    // downward long-wave (W m-2)
    float wind1 = 0.0f, wind2 = 0.0f;    // wind at zu (m s-1)
    float taobs1 = 0.0f, taobs2 = 0.0f;  // air temperature (deg C)
    float pres1 = 0.0f, pres2 = 0.0f;    // surface pressure (mb)
    float spfh1 = 0.0f, spfh2 = 0.0f;    // humidity, used as vapour pressure (mb)
    std::array<float, ornax_max_pbl_levels> z_pbli{};    // sounding heights above ground (m)
    std::array<float, ornax_max_pbl_levels> th_pblk{};   // potential temperature (K)
    std::array<float, ornax_hours_per_day> sdn_day{};    // hourly insolation (W m-2)
    std::array<float, ornax_hours_per_day> tloc_day{};   // local time of each hourly value (h)
    std::array<float, ornax_hours_per_day> taobs_day{};  // hourly air temperature (deg C)
    std::array<float, ornax_hours_per_day> wind_day{};   // hourly wind (m s-1)
    std::array<float, ornax_hours_per_day> spfh_day{};   // hourly vapour pressure (mb)
    std::array<float, ornax_hours_per_day> pres_day{};   // hourly surface pressure (mb)
    std::array<float, ornax_hours_per_day> lwdn_day{};   // hourly downward long-wave (W m-2)
};

// Core records whose fields are all reals are templates over the lane type V: V = float
// is the record of one point (the names below), a vector of floats holds one point per
// lane of the vectorised core. Every field is V, in declaration order, so the record of
// N lanes is laid out as N-float groups in the order of the one-point record's floats.

// Partition of insolation.
template <class V> struct Ornaxradiationpartitionlanes {
    V clearness{};  // measured over potential insolation, at most 1
    V visible_share{};
    V nir_share{};
    V diffuse_visible{};
    V diffuse_nir{};
    V direct_visible{};
    V direct_nir{};
};
using Ornaxradiationpartitiondatatype = Ornaxradiationpartitionlanes<float>;

// Results of one run: 44 reals in the order of the output list.
template <class V> struct Ornaxoutputlanes {
    V TS1{}, XLES1{}, HS1{}, TC1{}, XLEC1{}, HC1{}, XLE1{}, H1{}, G1{};
    V ZEN1{}, TA1{}, SPARE1{}, RNET1{};
    V TS2{}, XLES2{}, HS2{}, TC2{}, XLEC2{}, HC2{}, XLE2{}, H2{}, G2{};
    V ZEN2{}, TA2{}, SPARE2{}, RNET2{};
    V Z2{}, RA2{}, RS2{}, RX2{}, SWUP{}, LWUP{};
    V SNETDAY{}, RSOILDAY{}, SDDAY{}, SWUPDAY{}, LWUPDAY{}, LWDNDAY{};
    V EREFDAY{}, HDAY{}, GDAY{}, EDAY{}, ESDAY{}, ECDAY{};
};
using Ornaxoutputvartype = Ornaxoutputlanes<float>;
static_assert(sizeof(Ornaxoutputvartype) == 44 * sizeof(float), "44 reals");

// One entry of an output list: a variable name (10 characters) and its output code.
struct Ornaxoutputrecordtype {
    std::string name;
    int code = 0;
};

// Sets every field from ZEN1 onwards to 0 except TS2 and TC2.
void reset_out_var(Ornaxoutputvartype& output);
template <class V> void reset_out_lanes(Ornaxoutputlanes<V>& o) {
    const V ts2 = o.TS2;
    const V tc2 = o.TC2;
    o.ZEN1 = o.TA1 = o.SPARE1 = o.RNET1 = V{};
    o.XLES2 = o.HS2 = o.XLEC2 = o.HC2 = V{};
    o.XLE2 = o.H2 = o.G2 = o.ZEN2 = o.TA2 = V{};
    o.SPARE2 = o.RNET2 = o.Z2 = o.RA2 = o.RS2 = o.RX2 = V{};
    o.SWUP = o.LWUP = o.SNETDAY = o.RSOILDAY = o.SDDAY = V{};
    o.SWUPDAY = o.LWUPDAY = o.LWDNDAY = o.EREFDAY = V{};
    o.HDAY = o.GDAY = o.EDAY = o.ESDAY = o.ECDAY = V{};
    o.TS2 = ts2;
    o.TC2 = tc2;
}

// Writes the log line of a core status code when flag is non-zero; status 0 afterwards.
void ornax_error_code(int flag, int code, int& status);

// Core working state Ornaxdailyvartype

inline constexpr int ornax_pbl_table_size = 8000;  // entries of the boundary-layer table

// Canopy radiative properties at one solar zenith.
template <class V> struct Ornaxcanopyradlanes {
    V albvis{};   // visible albedo
    V albnir{};   // near-infrared albedo
    V albedo{};   // canopy albedo, mean of the two bands
    V tdirvis{};  // direct-beam transmittance, visible
    V tdirnir{};  // direct-beam transmittance, near-infrared
    V tdifvis{};  // diffuse transmittance, visible
    V tdifnir{};  // diffuse transmittance, near-infrared
    V tth{};      // thermal transmittance
};
using Ornaxcanopyradtype = Ornaxcanopyradlanes<float>;

// Working values of one observation time (the same layout for times 1 and 2).
template <class V> struct Ornaxobstimelanes {
    V tsec{};                    // seconds since the morning heating start (s)
    V tc{};                      // canopy temperature (deg C)
    V ts{};                      // soil temperature (deg C)
    V ta{};                      // air temperature at the blending height (deg C)
    V tac{};                     // air temperature in the canopy air space (deg C)
    V zen{};                     // solar zenith (rad)
    V rnet{};                    // net radiation (W m-2)
    V rnsoil{};                  // soil net radiation (W m-2)
    V rncan{};                   // canopy net radiation (W m-2)
    V swup{};                    // reflected short-wave (W m-2)
    V lwup{};                    // emitted long-wave (W m-2)
    Ornaxcanopyradlanes<V> rad;  // canopy albedos and transmittances
    V rhocp{};                   // volumetric heat capacity of air (J m-3 K-1)
    V h{};                       // sensible heat, total (W m-2)
    V hc{};                      // sensible heat, canopy (W m-2)
    V hs{};                      // sensible heat, soil (W m-2)
    V g{};                       // soil heat flux (W m-2)
    V u{};                       // wind at the blending height (m s-1)
    V ra{};                      // aerodynamic resistance (s m-1)
    V rs{};                      // soil-surface resistance (s m-1)
    V rx{};                      // leaf boundary-layer resistance (s m-1)
};
using Ornaxobstimetype = Ornaxobstimelanes<float>;

// Canopy geometry and the stability corrections of the last resistance evaluation.
template <class V> struct Ornaxcanopygeomlanes {
    V hc{};               // canopy height (m)
    V d{};                // zero-plane displacement (m)
    V z0m{};              // roughness length for momentum (m)
    V fc{};               // cover fraction
    V wind_exp{};         // wind-profile exponent at height d + z0m
    V soil_wind_ratio{};  // near-soil wind over canopy-top wind
    V ftheta{};           // cover fraction seen at the view angle
    V psim{};             // stability correction, momentum
    V psih{};             // stability correction, heat
    V lnzu{};             // ln((zu - d)/z0m)
    V lnhc{};             // ln((hc - d)/z0m)
};
using Ornaxcanopygeomtype = Ornaxcanopygeomlanes<float>;

// The core working state of one run without the boundary-layer table.
template <class V> struct Ornaxcorelanes {
    // solar time
    V stdlon{};   // standard meridian longitude (degrees)
    V sunrise{};  // local standard hours
    V sunset{};   // local standard hours
    // observation times 1 and 2 (index 0 and 1)
    std::array<Ornaxobstimelanes<V>, 2> obs{};
    V z1{};  // initial boundary-layer height (m)
    V z2{};  // boundary-layer height grown by the second time (m)
    // latent heat shared by both times; the second time's values remain (W m-2)
    V xle{}, xlec{}, xles{};
    Ornaxcanopygeomlanes<V> canopy;
    V hn_trial{};  // trial HN at start (W m-2)
    V theta0{};    // sounding potential temperature at z1 (K)
    // hourly series of the daily integration (W m-2)
    std::array<V, ornax_hours_per_day> rnet_hour{};
    std::array<V, ornax_hours_per_day> rnsoil_hour{};
    std::array<V, ornax_hours_per_day> g_hour{};
    std::array<V, ornax_hours_per_day> sdn_hour{};
    std::array<V, ornax_hours_per_day> swup_hour{};
    std::array<V, ornax_hours_per_day> lwup_hour{};
    std::array<V, ornax_hours_per_day> eref_hour{};
};

// Where the building of a boundary-layer table stands: entries are written on demand, in
// order, with the same arithmetic as a build of the whole table at once.
struct Ornaxpbltable {
    std::array<float, ornax_max_pbl_levels> z{};   // sounding heights (m)
    std::array<float, ornax_max_pbl_levels> th{};  // sounding potential temperatures (K)
    float z1 = 0.0f;                               // initial layer height (m)
    float theta0 = 0.0f;                           // potential temperature at z1 (K)
    int pair = 0;  // 0-based lower level of the pair that brackets the last target
    float prev_theta = 0.0f, prev_height = 0.0f, integral = 0.0f;  // last entry written
    int built = 0;                                                 // entries written so far
    bool ended = false;  // the sounding ended: the remaining entries repeat the last one
};

// The core working state of one run. A value-initialised record is all zero.
struct Ornaxdailyvartype : Ornaxcorelanes<float> {
    Ornaxpbltable pbl_build;  // how far the table below is written
    // boundary-layer table: heat-content integral (K m) and height (m) per 0.01 K rise
    std::vector<float> pbl_integral = std::vector<float>(ornax_pbl_table_size, 0.0f);
    std::vector<float> pbl_height = std::vector<float>(ornax_pbl_table_size, 0.0f);
};

// The inputs of one point that the core's physics reads, land values included (the
// water class as 1 or 0); built from the land and input records by ornax_point_lanes.
template <class V> struct Ornaxpointlanes {
    V days{};  // day count of the sun position (doy + 365 year - 693482)
    V lat{}, lon{};
    V tloc1{}, tloc2{}, trad1{}, trad2{}, sdn1{}, sdn2{}, lwdn1{}, lwdn2{};
    V taobs2{}, pres2{}, spfh2{};
    V xlai{}, clump{}, theta{}, zu{}, xl{}, fc{}, fg{};
    V rsoilv{}, rsoiln{}, emis_soil{}, rs_correct{};
    V aleafv{}, aleafn{}, aleafl{}, adeadv{}, adeadn{}, adeadl{};
    V water{};
    std::array<V, ornax_hours_per_day> tloc_day{}, sdn_day{}, lwdn_day{}, taobs_day{};
    std::array<V, ornax_hours_per_day> pres_day{}, spfh_day{}, wind_day{};
};

// Zeta limits of the two observation times.
struct Ornaxzetalimits {
    float upper = 0.0f;
    float lower = 0.0f;
};

// Inputs of the resistances that are not in the canopy geometry, over the lane number V
// of the core's physics (float: one point).
template <class V> struct Ornaxresistancelanes {
    V h{};      // sensible heat (W m-2)
    V u{};      // wind at the blending height (m s-1)
    V ta{};     // air temperature (deg C)
    V ts{};     // soil temperature (deg C)
    V rhocp{};  // volumetric heat capacity of air (J m-3 K-1)
    V xl{};     // leaf size (m)
    V xlai{};   // leaf area index
    V zu{};     // reference height (m)
    V fc{};     // cover fraction
    Ornaxzetalimits zeta_limits;
    int region_switch = 0;  // 1: soil-resistance correction on
    V rs_correct{};
};

// Day count of the sun position; leap days are not counted.
inline float ornax_sun_days(int doy, int year) {
    return static_cast<float>(doy) + 365.0f * static_cast<float>(year) - 693482.0f;
}

// The physics inputs of one point from its land and input records.
Ornaxpointlanes<float> ornax_point_lanes(const Ornaxlandtype& land, const Ornaxinputvartype& input);

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
// Common grid Ornaxcommonblock
// ===================================================================================

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
    // 1: build the land cells from the UMD land cover; 0: load the land subset file
    int land_index_option = 0;
    std::string met_data_dir;        // root directory of the preprocessed forecast-model rasters
    std::string umd_landcover_file;  // UMD land-cover raster (0.01 degree, global)
    std::string land_subset_file;    // land cells written by an earlier run
    float land_spare_value = 0.0f;
    float undef = 0.0f;   // fill value of the preprocessed rasters
    int config_read = 0;  // 1 once the meteorological configuration was read to its end
    int ncols = 0;
    int nrows = 0;
    float dlon = 0.0f;  // column spacing (degrees)
    float dlat = 0.0f;  // row spacing (degrees)
    float west_lon = 0.0f;
    float east_lon = 0.0f;
    float north_lat = 0.0f;
    float south_lat = 0.0f;
    int nlayers = 0;   // profile layers, always ornax_common_layer_count
    int nhours = 0;    // time steps per day of the preprocessed series
    int met_flag = 0;  // meteorological source: 3 = forecast-model (CFSR/GFS) data
    int met_option = 0;
    std::string met_text;
    std::string gfs_land_file;    // forecast-model land-mask file
    std::string gfs_config_file;  // forecast-model configuration file
    int land_count = 0;           // land cells in ptr_land_grid
    // ncols x nrows entries once set up; the first land_count hold the land cells in
    // row-major order (row 1 first, west to east within a row)
    std::vector<Ornaxsinglegrid> ptr_land_grid;
    Gfs_struc_block gfs_struc;  // forecast-model grid and its land mask
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

// ===================================================================================
// Model grid Ornaxmeteoornax
// ===================================================================================

// Per-line workspace of the meteorological forcing: the geometry of one line of the
// model grid, the sunrise time of every column, the forecast-model series on the local
// hour axis and the meteorology at the two morning observation times. Scalars are set once
// per run by the meteorological configuration reader; the arrays live from
// ornax_ornax_grid_init to ornax_ornax_grid_finalize of one line.
//
// Array layout (column index fastest, as in the forcing rasters), 1-based arguments:
//   (ncols)                  element i        at [i - 1]
//   (ncols, n2)              element (i, k)   at [(k - 1) * ncols + (i - 1)]
//   (ncols, nlayers, nhours) element (i,k,h)  at [((h - 1) * nlayers + (k - 1)) * ncols + (i - 1)]
// An empty vector is an array that is not allocated (except when its extent is zero).
// Units are those of the forecast-model rasters (K, kg/kg, Pa, m s-1, W m-2); times in hours.
class Ornaxmetday;

struct Ornaxmeteoornax {
    std::string met_dir;  // root of the per-day sunrise rasters "rise15MET" / "rise55MET"
    // Sunrise grids and forecast-model rows of the day, prepared once for a region run and
    // shared by its lines; null: every line prepares its own.
    Ornaxmetday* day_sources = nullptr;
    // false: the (column, layer, hour) profiles below stay empty; the lines of a region run
    // take none of them, and they would be most of a line's memory
    bool hourly_profiles = true;
    int ncols = 0;                  // columns of the model grid
    int nrows = 0;                  // rows (lines) of the model grid
    int nlayers = 0;                // vertical layers of the profiles (at most 30)
    int nhours = 0;                 // hourly values of a daily series (hour h is local time h - 1)
    float undef = 0.0f;             // fill value of missing values
    float end_lon = 0.0f;           // eastern edge, degrees east (kept, not used by the forcing)
    float start_lon = 0.0f;         // outer edge of column 1, degrees east
    float dlon = 0.0f;              // column spacing, degrees (signed)
    float end_lat = 0.0f;           // northern edge, degrees north (kept, not used by the forcing)
    float start_lat = 0.0f;         // outer edge of row 1, degrees north
    float dlat = 0.0f;              // row spacing, degrees (signed)
    int forcing_read_failures = 0;  // forecast-model rasters of the line that could not be read

    std::vector<float> land;            // (ncols), not filled by the forcing
    std::vector<float> lat;             // (ncols), latitude of the line
    std::vector<float> lon;             // (ncols), centre longitude of each column
    std::vector<float> sun_rise_time1;  // (ncols), sunrise time, UTC hours
    std::vector<float> sun_rise_time2;  // (ncols), second observation time, UTC hours

    // (ncols, nhours) series on the local hour axis
    std::vector<float> lwdn_surface_series;
    std::vector<float> swdn_surface_series;
    std::vector<float> cfslst_surface_series;
    std::vector<float> lhtfl_surface_series;
    std::vector<float> wind_surface_series;
    std::vector<float> temp_surface_series;
    std::vector<float> pres_surface_series;
    std::vector<float> spfh_surface_series;

    // (ncols, nlayers, nhours) profiles
    std::vector<float> temp_profile;      // not filled by the forcing
    std::vector<float> spfh_profile;      // not filled by the forcing
    std::vector<float> pressure_profile;  // not filled by the forcing
    std::vector<float> height_profile;    // layer heights; only hour 1 is filled
    std::vector<float> pot_profile;       // potential temperature of every layer (K)

    // (ncols) values at the first / second observation time
    std::vector<float> taobs1, taobs2;    // 2 m air temperature
    std::vector<float> pres1, pres2;      // surface pressure
    std::vector<float> spfh1, spfh2;      // 2 m specific humidity
    std::vector<float> wind1, wind2;      // surface wind speed
    std::vector<float> lwdn1, lwdn2;      // downward long-wave radiation
    std::vector<float> swdn1, swdn2;      // downward short-wave radiation
    std::vector<float> cfslst1, cfslst2;  // forecast-model land-surface temperature
    std::vector<float> lhtfl1, lhtfl2;    // forecast-model latent heat flux
    // (ncols, nlayers) potential temperature of every layer at the two observation times
    std::vector<float> th_pblk1, th_pblk2;
};

// Offset of element (i, k) of an (ncols, n2) array, 1-based i and k.
inline std::size_t met_index2(int ncols, int i, int k) {
    return static_cast<std::size_t>(k - 1) * static_cast<std::size_t>(ncols) +
           static_cast<std::size_t>(i - 1);
}
// Offset of element (i, k, h) of an (ncols, nlayers, nhours) array, 1-based indices.
inline std::size_t met_index3(int ncols, int nlayers, int i, int k, int h) {
    return (static_cast<std::size_t>(h - 1) * static_cast<std::size_t>(nlayers) +
            static_cast<std::size_t>(k - 1)) *
               static_cast<std::size_t>(ncols) +
           static_cast<std::size_t>(i - 1);
}

struct Ornaxcommonblock;

// Allocates every per-line array of the model grid (the common grid is accepted, not used).
// Status 3 with a screen message when the grid size is not set or an array is already
// allocated or cannot be allocated.
void ornax_ornax_grid_init(Ornaxmeteoornax& grid, const Ornaxcommonblock& common, int& status);
// Releases every allocated array of the model grid; status 0.
void ornax_ornax_grid_finalize(Ornaxmeteoornax& grid, int& status);

// ===================================================================================
// Region data record Ornaxregiondatatype
// ===================================================================================

class RasterInputFiles;

inline constexpr int ornax_max_out_vars = 42;  // size of the output vocabulary and list

// Index of element (col, j) of a per-line 2-D array stored column-fastest, col and j
// 1-based: sounding level j of column col, hour slot j of column col, or output
// variable j of pixel col.
inline std::size_t region_2d_index(int col, int j, int ncols) {
    return static_cast<std::size_t>(col - 1) +
           static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(ncols);
}

// File names of a region run and one line of every region input, with the output list,
// the line's output matrix and its quality flags. The file names and the output list
// live for the run; the line arrays are allocated per line (ornax_init_region_data) and
// released after it (ornax_finalize_region_data). An array is allocated when non-empty.
struct Ornaxlaneworkspace;

struct Ornaxregiondatatype {
    // Paths of the region configuration, one per file line, in the file's order.
    std::string landcover_table_file;
    std::string reserved_file;
    std::string land_domain_file;
    std::string landcover_file;
    std::string aleafn_file, aleafv_file, aleafl_file;
    std::string adeadn_file, adeadv_file, adeadl_file;
    std::string rsoiln_file, rsoilv_file;
    std::string rs_correction_file;
    std::string xl_file;
    std::string theta_file;
    std::string vegetation_domain_file;
    std::string xlai_file;
    std::string snow_domain_file;
    std::string snow_mask_file;
    std::string met_config_file;
    std::string tloc1_file;
    std::string spare_file_1, spare_file_2, spare_file_3, spare_file_4, spare_file_5;
    std::string tloc2_file;
    std::string spare_file_6, spare_file_7, spare_file_8, spare_file_9, spare_file_10;
    std::string spare_file_11, spare_file_12, spare_file_13, spare_file_14, spare_file_15;
    std::string spare_file_16, spare_file_17;
    std::string satellite_domain_file;
    std::string trad1_file, trad2_file;
    std::string sdn1_file, sdn2_file;
    std::string run_domain_file;
    std::string out_list_file;
    std::string output_dir;
    std::string spare_dir;
    // Input rasters the run holds open (read by line with positioned reads); null: every
    // line's read opens and closes its files.
    const RasterInputFiles* input_rasters = nullptr;
    // Working records of the vector core that the thread running the line keeps from line
    // to line; null: each line's batch sets up its own.
    Ornaxlaneworkspace* lane_workspace = nullptr;
    // File the pixel simulation appends its pixel dumps to (empty: pixel_dump.txt in
    // output_dir), and 3 once such an append failed.
    std::string pixel_dump_file;
    int pixel_dump_status = 0;

    // Extents of the line arrays, set by ornax_init_region_data (columns of each grid,
    // sounding levels and hours of the meteorological grid, hours of the satellite grid).
    int run_ncols = 0;
    int land_ncols = 0;
    int veg_ncols = 0;
    int snow_ncols = 0;
    int met_ncols = 0, met_nlayers = 0, met_nhours = 0;
    int sat_ncols = 0, sat_nhours = 0;
    // Columns and hours of sdn_day as it is held: the satellite grid's when allocated, the
    // model grid's once the line's meteorology has been copied in.
    int sdn_day_ncols = 0, sdn_day_nhours = 0;
    // Forecast-model rasters of the line that could not be read (their values are missing).
    int forcing_read_failures = 0;
    bool line_allocated = false;  // set once the first line array is allocated

    // Run-grid columns: latitude and longitude of each pixel centre (degrees).
    std::vector<float> xlat, xlon;
    // Land-cover columns.
    std::vector<float> Landcover;               // class number (2..20 are land)
    std::vector<float> aleafn, aleafv, aleafl;  // live-leaf absorptivities
    std::vector<float> adeadn, adeadv, adeadl;  // dead-leaf absorptivities
    std::vector<float> xl;                      // leaf size (m)
    std::vector<float> rsoiln, rsoilv;          // soil reflectance, near-infrared and visible
    std::vector<float> rs_correct;              // soil-resistance correction factor
    // Vegetation columns.
    std::vector<float> clump, fg;  // clumping index, green fraction
    std::vector<float> xlai;       // leaf area index
    // Snow-mask columns: snow-mask class (4 = snow).
    std::vector<float> snow_mask;
    // Meteorological columns, at the two observation times: air temperature (K),
    // humidity, wind (m s-1), pressure (Pa), downward long-wave (W m-2).
    std::vector<float> taobs1, spfh1, wind1, pres1, lwdn1;
    std::vector<float> taobs2, spfh2, wind2, pres2, lwdn2;
    // Meteorological columns x sounding levels (region_2d_index with met_ncols):
    // potential temperature (K) and height (m) of the sounding.
    std::vector<float> th_pblk, z_pbli;
    // Hourly insolation (W m-2, negative = missing), sdn_day_ncols x sdn_day_nhours
    // (region_2d_index with sdn_day_ncols).
    std::vector<float> sdn_day;
    // Meteorological columns x hours: hourly air temperature (K), humidity, wind,
    // pressure (Pa), downward long-wave.
    std::vector<float> taobs_day, spfh_day, wind_day, pres_day, lwdn_day;
    // Satellite columns: view zenith angle (degrees), and for each observation its local
    // time (h), radiometric surface temperature (K) and insolation (W m-2).
    std::vector<float> theta;
    std::vector<float> tloc1, trad1, sdn1;
    std::vector<float> tloc2, trad2, sdn2;

    // Output list (entries 1..out_var_count used), kept for the whole run.
    std::array<Ornaxoutputrecordtype, ornax_max_out_vars> out_var_list{};
    int out_var_count = 0;
    // Run-grid columns x listed variables (region_2d_index with run_ncols): element
    // (k, i) is the i-th listed variable at pixel k.
    std::vector<float> out_var_matrix;
    // Run-grid columns: quality flag of each pixel (0 = computed).
    std::vector<float> qc_flag;
};
