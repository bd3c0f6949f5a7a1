// Site input file, land-cover class table, site report, domain descriptions and the
// meteorological configuration.
#pragma once

#include <string>
#include <vector>

#include "ornax90/ORNAX_data_mod.hpp"

// ===================================================================================
// Site input file (io/site_input.cpp)
// ===================================================================================

// Reads one site: lines 2-8 into the land record, lines 10 onwards into the input
// record, then sets the derived inputs (fc, hc, xl, soil optics, heights). Both records
// start from their declared defaults. status 0, or 3 with a log line naming the file,
// the line and the problem (file missing, field not a number, file ending early,
// more sounding levels than the arrays hold).
void ornax_read_site_inputs(const std::string& site_input_file, Ornaxlandtype& land,
                            Ornaxinputvartype& input, int& status);

// The inputs a site derives from its land record: leaf size, the copies of the live-leaf
// values, the cover fraction 1 - exp(-0.5 xlai) between fcmin and 1, and the canopy height
// (hmax - hmin) fc + hmin (m).
void ornax_site_canopy(const Ornaxlandtype& land, Ornaxinputvartype& input);

// Appends one full block in the layout the reader reads. status 0, or 3 when the file
// cannot be opened (screen line "Error in opening the output file:...").
void ornax_write_site_inputs(const std::string& site_output_file, const Ornaxlandtype& land,
                             const Ornaxinputvartype& input, int& status);

// Lines of the input summary, and the summary printed on the screen.
std::vector<std::string> ornax_input_summary_lines(const Ornaxlandtype& land,
                                                   const Ornaxinputvartype& input);
void ornax_display_inputs(const Ornaxlandtype& land, const Ornaxinputvartype& input);

// ===================================================================================
// Land cover class table (io/site_input.cpp)
// ===================================================================================

inline constexpr int ornax_max_land_classes = 20;  // room of the class table

// Reads the class table: table is resized to ornax_max_land_classes entries, entry i - 1
// holding the i-th data row; nclasses is the number of rows read. water_flag is 1 only
// for the row of class 1. With debug_iflag 1 every row is echoed to the run log.
// status 0, or 3 with a log line (file missing, count above 20 or negative, a field that
// is not a number, fewer rows than announced); nclasses is 0 when the file is not opened.
void ornax_read_landcover_table(const std::string& landcover_table_file,
                                std::vector<Ornaxlandtype>& table, int& nclasses, int& status);

// Copies a table entry's class values into a land record; the record's six leaf values
// (aleafv .. adeadl) are kept. status is always 0.
void ornax_copy_land_parameters(const Ornaxlandtype& entry, Ornaxlandtype& land, int& status);

// ===================================================================================
// Site report (io/site_report.cpp)
// ===================================================================================

// Energy balance of the report: RNET2 - XLE2 - G2 - H2 (W m-2; 0 when the balance closes).
float ornax_site_energy_balance(const Ornaxoutputvartype& output);

// The 41 lines of the site report: inputs, morning results, time-2 fluxes and
// resistances, daily totals.
std::vector<std::string> ornax_site_report_lines(const Ornaxlandtype& land,
                                                 const Ornaxinputvartype& input,
                                                 const Ornaxoutputvartype& output);
// Prints the site report on the screen; status is always 0.
void ornax_write_site_outputs(const Ornaxlandtype& land, const Ornaxinputvartype& input,
                              const Ornaxoutputvartype& output, int& status);

// ===================================================================================
// Domain description (io/domain_file.cpp)
// ===================================================================================

// Reads a domain description: a header line, then east_lon, west_lon, dlon, north_lat,
// south_lat, dlat (f7.2 in columns 31-37, two implied decimals without a point), ncols,
// nrows, nlayers, nhours (i10 in columns 31-40) and spare_value (f7.2). Checks that west
// lies west of east, south south of north, and that ncols and nrows differ from the box
// over the step by at most one cell; every failed check is logged, sets status 3 and
// reading goes on. A missing or unreadable value line is logged with the file name and
// the line number, sets status 3 and leaves its field unchanged.
void read_domain_info_from_txt(const std::string& file_name, Spatialinfodata& grid, int& status);

// The text of a domain description of the grid, as the reader above reads it: the header
// "Domain description" with `what`, then the values (f7.2, i10; the missing value with fewer
// decimals when f7.2 cannot hold it), each labelled in columns 1-30.
std::string domain_info_text(const std::string& what, const Spatialinfodata& grid);

// ===================================================================================
// Meteorological configuration (io/met_config.cpp)
// ===================================================================================

// Reads the meteorological configuration file into the common grid (geometry, land-mask
// options, forecast-model files) and the model grid's scalars; both records are reset
// first. Paths marked for it get the HOME_DIR prefix. Status 0, or 3 when the file is
// missing, ends early, holds an unreadable line, or its grid sizes do not match their
// edges and spacings.
void ornax_vesk_read_config(const std::string& file_name, Ornaxcommonblock& common,
                            Ornaxmeteoornax& grid, int& status);

// The 38 lines of a meteorological configuration file, as the reader above reads it (line n
// at index n - 1): the header with `description`, the land-mask options, the common grid,
// the model grid and the forecast-model source, each value labelled in columns 1-30. Paths
// are written as the records hold them.
std::vector<std::string> ornax_met_config_lines(const std::string& description,
                                                const Ornaxcommonblock& common,
                                                const Ornaxmeteoornax& grid);

// The grid lines of a meteorological configuration from two domain records: the common grid
// (`common_hours` steps a day, land-mask spare and missing value `missing`) and the model
// grid (24 hours a day), each with the common layer count. Paths and texts are left as they are.
void ornax_met_config_grids(const Spatialinfodata& common_grid, const Spatialinfodata& run_grid,
                            int common_hours, float missing, Ornaxcommonblock& common,
                            Ornaxmeteoornax& grid);
