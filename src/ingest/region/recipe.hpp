// The recipe of `ornax_ingest region`: a text of "key = value" lines ('#' starts a
// comment line) that gives the run grid, the day and every source of one region. The
// table of keys says which are required and what each means; file names are relative
// to the recipe's folder and may be patterns ("forecast/*.grib2").
#pragma once

#include <map>
#include <string>
#include <vector>

// One key of the recipe.
struct RecipeKey {
    const char* name;
    bool required;
    const char* fallback;  // value of an optional key left out ("" when none)
    const char* meaning;   // for the messages and the help
};

// The table of keys, in the order the help lists them.
const std::vector<RecipeKey>& region_recipe_keys();

// How a static land parameter is obtained.
enum class LandSource { table_class, constant, raster };

struct LandParameter {
    std::string key;          // recipe key ("aleafv", ..., "rs_correction")
    std::string file;         // raster of the region ("aleafv.bin", ...)
    std::string table_field;  // column of the class table, empty when it has none
    LandSource source = LandSource::table_class;
    double value = 0.0;                // constant
    std::vector<std::string> sources;  // raster sources
};

struct RegionRecipe {
    std::string file;                           // the recipe as given
    std::string folder;                         // its folder: file names are relative to it
    std::map<std::string, std::string> values;  // key -> value as written (or its fallback)
    std::map<std::string, int> lines;           // key -> line number (0: fallback)
    std::string out;
    int year = 0, doy = 0;
    double west = 0, east = 0, south = 0, north = 0, spacing = 0, forecast_spacing = 0;
    std::vector<std::string> forecast, lst, insolation_files;  // empty insolation: forecast
    bool grid_known = false;     // day and grid read without a problem
    bool allow_partial = false;  // rasters may cover the run grid in part
    int lst_tolerance = 30;      // minutes
    std::string class_table;
    std::vector<std::string> landcover, lai, snow;  // empty snow: no snow source
    std::vector<LandParameter> land;                // the ten static land parameters
    std::vector<std::string> outputs;
    // "FILE:LINE: key" of a key, for messages.
    std::string where(const std::string& key) const;
};

// Reads and checks a recipe. status 3 with error naming the file, the line and the key:
// a line without "=", an unknown or repeated key, a missing required key, a number that
// is not one or out of range, a day that the year does not have, a grid whose bounds are
// not whole multiples of its spacing, a pattern that matches no file, an output variable
// the model does not know, a land parameter "class" for which the table has no column.
// The same reading, keeping every problem ("FILE:LINE: key: reason"), one an entry.
void check_region_recipe(const std::string& file, RegionRecipe& recipe,
                         std::vector<std::string>& problems);
void read_region_recipe(const std::string& file, RegionRecipe& recipe, std::string& error,
                        int& status);
