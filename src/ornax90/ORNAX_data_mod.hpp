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

// ---- end of common grid ----

// ===================================================================================
// Model grid Ornaxmeteoornax (forcing-b work)
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
struct Ornaxmeteoornax {
    std::string met_dir;   // root of the per-day sunrise rasters "rise15MET" / "rise55MET"
    int ncols = 0;         // columns of the model grid
    int nrows = 0;         // rows (lines) of the model grid
    int nlayers = 0;       // vertical layers of the profiles (at most 30)
    int nhours = 0;        // hourly values of a daily series (hour h is local time h - 1)
    float undef = 0.0f;    // fill value of missing values
    float end_lon = 0.0f;  // eastern edge, degrees east (kept, not used by the forcing)
    float start_lon = 0.0f;  // outer edge of column 1, degrees east
    float dlon = 0.0f;       // column spacing, degrees (signed)
    float end_lat = 0.0f;    // northern edge, degrees north (kept, not used by the forcing)
    float start_lat = 0.0f;  // outer edge of row 1, degrees north
    float dlat = 0.0f;       // row spacing, degrees (signed)

    std::vector<float> land;            // (ncols), not filled by the forcing
    std::vector<float> lat;             // (ncols), latitude of the line
    std::vector<float> lon;             // (ncols), centre longitude of each column
    std::vector<float> sun_rise_time1;  // (ncols), sunrise time, UTC hours
    std::vector<float> sun_rise_time2;  // (ncols), second observation time less 1.5 h, UTC

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
            static_cast<std::size_t>(k - 1)) * static_cast<std::size_t>(ncols) +
           static_cast<std::size_t>(i - 1);
}

struct Ornaxcommonblock;

// Allocates every per-line array of the model grid (the common grid is accepted, not used).
// Status 3 with a screen message when the grid size is not set or an array is already
// allocated or cannot be allocated.
void ornax_ornax_grid_init(Ornaxmeteoornax& grid, const Ornaxcommonblock& common, int& status);
// Releases every allocated array of the model grid; status 0.
void ornax_ornax_grid_finalize(Ornaxmeteoornax& grid, int& status);

// ---- end of model grid ----

// ===================================================================================
// Region data record Ornaxregiondatatype (region-sim work)
// ===================================================================================

// ---- end of region data record ----
