// Names, meanings, units and cell methods of the composite, gap-filled and anomaly
// variables, and the meanings of the gap-fill and anomaly flags.
#include "composite/vocabulary.hpp"

const std::vector<Ornaxcompositevarinfotype>& ornax_composite_variables() {
    static const std::vector<Ornaxcompositevarinfotype> vars = {
        {{"ET_SUM",
          "evapotranspiration energy summed over the window, observed and gap-filled days",
          "MJ m-2", "MJ m-2", "integral_of_surface_upward_latent_heat_flux_wrt_time"},
         "time: sum"},
        {{"ET_MM", "evapotranspiration summed over the window as depth of water (2.45 MJ kg-1)",
          "mm", "mm", "lwe_thickness_of_water_evaporation_amount"},
         "time: sum"},
        {{"RATIO_MEAN", "mean ratio of daily ET to reference ET, observed and gap-filled days", "1",
          "1", ""},
         "time: mean"},
        {{"OBSERVED_DAYS", "days of the window with a computed ratio", "1", "1", ""}, "time: sum"},
        {{"FILLED_DAYS", "days of the window whose ET was gap-filled", "1", "1", ""}, "time: sum"},
    };
    return vars;
}

const std::vector<Ornaxcompositevarinfotype>& ornax_filled_day_variables() {
    static const std::vector<Ornaxcompositevarinfotype> vars = {
        {{"EDAY_FILLED", "daily evapotranspiration energy, observed or gap-filled", "MJ m-2 day-1",
          "MJ m-2 d-1", "surface_upward_latent_heat_flux"},
         ""},
        {{"RATIO_FILLED", "ratio of daily ET to reference ET, observed or interpolated", "1", "1",
          ""},
         ""},
        {{"FILL_FLAG", "gap-fill flag of the day (its meanings in flag_meanings)", "1", "1", ""},
         ""},
        {{"FILL_DISTANCE", "days to the nearest observed day", "day", "d", ""}, ""},
    };
    return vars;
}

const std::vector<Ornaxcompositevarinfotype>& ornax_anomaly_variables() {
    static const std::vector<Ornaxcompositevarinfotype> vars = {
        {{"RATIO_MEAN", "mean ratio of daily ET to reference ET of the window", "1", "1", ""},
         "time: mean"},
        {{"RATIO_ANOMALY", "standardized anomaly of the mean ratio over the years present", "1",
          "1", ""},
         "time: mean"},
        {{"RATIO_CLIMATOLOGY", "mean over the years present of the window's mean ratio", "1", "1",
          ""},
         "time: mean"},
        {{"YEARS", "years with a mean ratio for the window", "1", "1", ""}, ""},
        {{"ANOMALY_FLAG", "anomaly flag of the pixel (its meanings in flag_meanings)", "1", "1",
          ""},
         ""},
    };
    return vars;
}

const std::vector<Ornaxfillflaginfotype>& ornax_fill_flags() {
    static const std::vector<Ornaxfillflaginfotype> flags = {
        {ornax_fill_observed, "observed"},
        {ornax_fill_filled, "filled"},
        {ornax_fill_filled_reference, "filled_with_interpolated_reference"},
        {ornax_fill_not_filled, "not_filled"},
    };
    return flags;
}

const std::vector<Ornaxfillflaginfotype>& ornax_anomaly_flags() {
    static const std::vector<Ornaxfillflaginfotype> flags = {
        {ornax_anomaly_ok, "anomaly"},
        {ornax_anomaly_too_few_years, "too_few_years"},
        {ornax_anomaly_no_spread, "no_spread_over_the_years"},
    };
    return flags;
}
