// `ornax_ingest forecast`: one or more days of forecast-model GRIB2 fields into the
// forcing rasters of the region run, with the land mask and configuration lines.
#pragma once

#include <string>
#include <vector>

#include "ornax90/ORNAX_data_mod.hpp"

struct ForecastJob {
    std::string grid_file;     // domain description of the common grid
    std::string out_root;      // MET_ROOT: the days go to MET_ROOT/YYYYDDD/
    std::string land_mask;     // land-mask file to write, or empty
    std::string config_dir;    // where the configuration lines go (empty: the screen)
    bool config_lines = true;  // write the configuration lines at all
    bool replace = false;
    bool substitute_missing_averages = false;  // a missing flux average: the next step's
    int year = 0, doy = 0;                     // the first day
    int days = 1;                              // the first day and the days after it
    std::vector<std::string> files;
    Spatialinfodata grid;  // read from grid_file
};

// Reads the files once and writes every day of the job (each staged and renamed into
// place with its manifest.json), then the land mask and the configuration lines. The
// messages name the file, field, level and time of a refusal. Returns an exit code of
// ingest_common.hpp.
int forecast_convert(const ForecastJob& job, const std::string& command);
