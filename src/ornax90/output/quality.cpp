// The table of the quality flags.
#include "ornax90/output/quality.hpp"

const std::vector<Ornaxqualityflaginfotype>& ornax_quality_flags() {
    // 127 with the bit of each input that was found cleared: 2 land parameters,
    // 32 vegetation, 4 + 8 + 64 satellite, 16 meteorology; 1 stays until the core ran.
    static const std::vector<Ornaxqualityflaginfotype> flags = {
        {ornax_qc_computed, "computed", "computed", {26, 152, 80}},  // green
        {ornax_qc_inputs_present,
         "core_failed_or_outlier",
         "core failed or outlier",
         {215, 48, 39}},  // red
        {ornax_qc_inputs_present | ornax_qc_land,
         "land_input_missing_or_impossible",
         "land input missing or impossible",
         {102, 102, 102}},  // dark grey
        {ornax_qc_inputs_present | ornax_qc_meteorology,
         "meteorology_missing",
         "meteorology missing",
         {253, 174, 97}},  // orange
        {ornax_qc_inputs_present | ornax_qc_vegetation,
         "vegetation_missing_or_impossible",
         "vegetation missing or impossible",
         {191, 129, 45}},  // ochre
        {ornax_qc_inputs_present | ornax_qc_satellite,
         "satellite_observation_missing",
         "satellite observation missing",
         {69, 117, 180}},  // blue
        {ornax_qc_inputs_present | ornax_qc_satellite | ornax_qc_meteorology,
         "satellite_and_meteorology_missing",
         "satellite and meteorology missing",
         {152, 78, 163}},  // purple
        {ornax_qc_all_missing - ornax_qc_land,
         "vegetation_missing",
         "vegetation missing",
         {140, 81, 10}},  // brown
        {ornax_qc_all_missing,
         "not_land_or_snow_or_no_observation_time",
         "not land, snow or no obs. time",
         {210, 210, 210}},  // light grey
        {ornax_qc_observation_times,
         "observation_times_outside_the_morning",
         "obs. times outside the morning",
         {240, 100, 200}},                                                           // pink
        {ornax_qc_failed_line, "line_failed", "line failed as a whole", {0, 0, 0}},  // black
    };
    return flags;
}

bool ornax_quality_flag_valid(float value) {
    if (!(value >= 0.0f && value <= static_cast<float>(ornax_qc_max))) return false;
    const int flag = static_cast<int>(value);
    if (static_cast<float>(flag) != value) return false;
    for (const Ornaxqualityflaginfotype& listed : ornax_quality_flags())
        if (listed.value == flag) return true;
    return flag % 2 == 1 && flag <= ornax_qc_all_missing;  // 1 + input bits 2..64
}

std::string ornax_quality_flag_label(int flag) {
    for (const Ornaxqualityflaginfotype& listed : ornax_quality_flags())
        if (listed.value == flag) return listed.label;
    return "missing inputs";
}
