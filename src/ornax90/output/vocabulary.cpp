// Output metadata: meaning, unit and CF standard name of the output variables and of
// the quality raster, as the metadata files and exports describe them.
#include <string_view>

#include "ornax90/output/vocabulary.hpp"
#include "ornax90/output/variables.hpp"

bool ornax_output_var_info(const std::string& name, Ornaxoutputvarinfotype& info) {
    if (name == "region_qc") {  // the quality raster beside the variables
        info = {name, "quality flag (0 = computed)", "1", "1", ""};
        return true;
    }
    for (const Ornaxoutputvariabletype& row : ornax_output_variables()) {
        if (row.name != name) continue;
        info = {std::string(row.name), std::string(row.description), std::string(row.units),
                std::string(row.cf_units), std::string(row.standard_name)};
        // the descriptions of instantaneous values end in the time they hold at
        const std::string_view d = row.description;
        if (d.find(", time 1") != std::string_view::npos) info.observation = 1;
        if (d.find(", time 2") != std::string_view::npos) info.observation = 2;
        return true;
    }
    return false;
}
