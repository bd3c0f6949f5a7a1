// The recipe of `ornax_ingest region`: reading, the table of keys and the checks.
#include "ingest/region/recipe.hpp"

#include <glob.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ornax90/ORNAX_region_mod.hpp"
#include "utils/fixed_text.hpp"
#include "ingest/common/plausibility.hpp"
#include "ingest/common/support.hpp"

namespace fs = std::filesystem;

namespace {

const std::vector<RecipeKey> keys = {
    {"out", false, "", "region folder to write (relative to the recipe; --out overrides)"},
    {"year", true, "", "year of the day (1900-2100)"},
    {"doy", true, "", "day of year (1-365, 366 in a leap year)"},
    {"west", true, "", "western edge of the run grid, degrees east"},
    {"east", true, "", "eastern edge of the run grid, degrees east"},
    {"south", true, "", "southern edge of the run grid, degrees north"},
    {"north", true, "", "northern edge of the run grid, degrees north"},
    {"spacing", true, "", "cell size of the run grid, degrees (both ways)"},
    {"forecast_spacing", false, "0.25", "cell size of the common (forecast) grid, degrees"},
    {"forecast", true, "", "GRIB2 forecast files of the day and the next"},
    {"lst", true, "", "surface-temperature scans of the morning (ABI level-2 NetCDF)"},
    {"lst_tolerance", false, "30", "largest distance of a scan from a target time, minutes"},
    {"insolation", false, "forecast",
     "\"forecast\" (the forecast shortwave) or insolation scans (ABI-style NetCDF, DSR)"},
    {"class_table", true, "", "land-cover class table (the model's fixed-column format)"},
    {"landcover", true, "", "land-cover raster(s) GDAL opens, classes of the class table"},
    {"landcover_class_map", false, "", "stored class = model class, e.g. 12=12,0=1"},
    {"landcover_missing_codes", false, "", "stored land-cover values that are missing"},
    {"lai", true, "", "leaf-area-index raster(s) GDAL opens, one product period"},
    {"lai_missing_codes", false, "", "stored leaf-area values that are missing, e.g. 249-255"},
    {"lai_window", false, "8", "days the leaf-area period may lie from the day"},
    {"lai_band", false, "", "band of the leaf-area raster(s) to read (when they have several)"},
    {"landcover_band", false, "", "band of the land-cover raster(s) to read"},
    {"snow_band", false, "", "band of the snow raster(s) to read"},
    {"snow", true, "", "snow raster(s) or ASCII snow grid, or \"none\" (no snow anywhere)"},
    {"snow_class_map", false, "", "stored snow code = model code (4 snow, 3 water, 0 none)"},
    {"snow_missing_codes", false, "", "stored snow values that are missing"},
    {"snow_window", false, "0", "days the snow product may lie from the day"},
    {"aleafv", false, "class", "live-leaf absorptivity, visible"},
    {"aleafn", false, "class", "live-leaf absorptivity, near infrared"},
    {"aleafl", false, "class", "live-leaf absorptivity, thermal"},
    {"adeadv", false, "class", "dead-leaf absorptivity, visible"},
    {"adeadn", false, "class", "dead-leaf absorptivity, near infrared"},
    {"adeadl", false, "class", "dead-leaf absorptivity, thermal"},
    {"xl", false, "class", "leaf size, m"},
    {"rsoilv", true, "", "soil reflectance, visible: a number or raster(s)"},
    {"rsoiln", true, "", "soil reflectance, near infrared: a number or raster(s)"},
    {"rs_correction", true, "", "soil-resistance correction factor: a number or raster(s)"},
    {"allow_partial", false, "no", "yes: accept rasters that cover the run grid only in part"},
    {"outputs", false, "EDAY XLE2 H2 RNET2 G2 TA2 Z2 RS2 LWDNDAY ECDAY ESDAY EREFDAY SDDAY HDAY",
     "output variables of the run, in order"},
};

// Static land parameters: recipe key, raster of the region, class-table column.
const char* const land_keys[10][3] = {{"aleafn", "aleafn.bin", "aleafn"},
                                      {"aleafv", "aleafv.bin", "aleafv"},
                                      {"aleafl", "aleafl.bin", "aleafl"},
                                      {"adeadn", "adeadn.bin", "adeadn"},
                                      {"adeadv", "adeadv.bin", "adeadv"},
                                      {"adeadl", "adeadl.bin", "adeadl"},
                                      {"rsoiln", "rsoiln.bin", ""},
                                      {"rsoilv", "rsoilv.bin", ""},
                                      {"rs_correction", "rs_correct.bin", ""},
                                      {"xl", "xl.bin", "xl"}};

std::string trim(const std::string& s) {
    const std::size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return "";
    return s.substr(a, s.find_last_not_of(" \t\r") - a + 1);
}

std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream in(text);
    std::string w;
    while (in >> w) out.push_back(w);
    return out;
}

bool number(const std::string& text, double& v) {
    char* end = nullptr;
    v = std::strtod(text.c_str(), &end);
    return !text.empty() && end != nullptr && *end == '\0' && std::isfinite(v);
}

// A whole number of hundredths (what the configuration files' f7.2 fields hold).
bool hundredths(double v) {
    return std::fabs(v * 100.0 - std::round(v * 100.0)) < 1e-6;
}

// Every problem is kept; a check that depends on a value only runs when that value is good.
class Checker {
public:
    Checker(RegionRecipe& r, std::vector<std::string>& problems) : r_(r), problems_(problems) {}
    bool fail(const std::string& key, const std::string& text) {
        problems_.push_back(r_.where(key) + ": " + text);
        return false;
    }
    const std::string& value(const std::string& key) { return r_.values[key]; }

    bool real(const std::string& key, double low, double high, double& out) {
        if (!number(value(key), out) || out < low || out > high)
            return fail(key, "\"" + value(key) + "\" is not a number from " + ingest_number(low) +
                                 " to " + ingest_number(high));
        return true;
    }
    bool integer(const std::string& key, int low, int high, int& out) {
        double v = 0;
        if (!real(key, low, high, v)) return false;
        if (v != std::floor(v)) return fail(key, "\"" + value(key) + "\" is not a whole number");
        out = static_cast<int>(v);
        return true;
    }
    // File names (patterns expanded, in name order) relative to the recipe's folder.
    bool files(const std::string& key, std::vector<std::string>& out) {
        out.clear();
        bool good = true;
        for (const std::string& w : words(value(key))) {
            if (w.rfind("NETCDF:", 0) == 0 || w.rfind("HDF4", 0) == 0) {
                out.push_back(w);  // a GDAL subdataset name
                continue;
            }
            const std::string path =
                fs::path(w).is_absolute() ? w : (fs::path(r_.folder) / w).string();
            glob_t g{};
            const int rc = ::glob(path.c_str(), 0, nullptr, &g);
            const std::size_t before = out.size();
            if (rc == 0)
                for (std::size_t i = 0; i < g.gl_pathc; ++i) out.push_back(g.gl_pathv[i]);
            globfree(&g);
            if (out.size() == before)
                good = fail(key,
                            (path.find_first_of("*?[") == std::string::npos ? "no such file: "
                                                                            : "no file matches ") +
                                path);
        }
        if (out.empty() && good) good = fail(key, "no file given");
        return good;
    }

private:
    RegionRecipe& r_;
    std::vector<std::string>& problems_;
};

void check_grid(RegionRecipe& r, Checker& c) {
    bool good = c.real("west", -180, 180, r.west);
    good = c.real("east", -180, 180, r.east) && good;
    good = c.real("south", -90, 90, r.south) && good;
    good = c.real("north", -90, 90, r.north) && good;
    good = c.real("spacing", 0.01, 10, r.spacing) && good;
    good = c.real("forecast_spacing", 0.01, 10, r.forecast_spacing) && good;
    if (!good) return;
    for (const char* k : {"west", "east", "south", "north", "spacing", "forecast_spacing"})
        if (!hundredths(std::atof(c.value(k).c_str())))
            good = c.fail(k, "\"" + c.value(k) +
                                 "\" must be a whole number of hundredths of a degree");
    if (r.east <= r.west) good = c.fail("east", "east must lie east of west");
    if (r.north <= r.south) good = c.fail("north", "north must lie north of south");
    if (!good) return;
    for (const auto& [key, span] :
         {std::pair<const char*, double>{"east", r.east - r.west}, {"north", r.north - r.south}}) {
        const double cells = span / r.spacing;
        if (std::fabs(cells - std::round(cells)) > 1e-6)
            c.fail(key, "the span of " + ingest_number(span) +
                            " degrees is not a whole number of " + ingest_number(r.spacing) +
                            " degree cells");
    }
}

void check_sources(RegionRecipe& r, Checker& c) {
    c.files("forecast", r.forecast);
    c.files("lst", r.lst);
    c.integer("lst_tolerance", 1, 180, r.lst_tolerance);
    if (c.value("insolation") != "forecast") c.files("insolation", r.insolation_files);
    std::vector<std::string> table;
    if (c.files("class_table", table)) {
        if (table.size() != 1)
            c.fail("class_table", "one class table file, not " + std::to_string(table.size()));
        else
            r.class_table = table.front();
    }
    c.files("landcover", r.landcover);
    c.files("lai", r.lai);
    if (c.value("snow") != "none") c.files("snow", r.snow);
    const std::string& partial = c.value("allow_partial");
    if (partial == "yes" || partial == "no")
        r.allow_partial = partial == "yes";
    else
        c.fail("allow_partial", "\"" + partial + "\" is neither yes nor no");
    int window = 0;
    c.integer("lai_window", 0, 366, window);
    c.integer("snow_window", 0, 366, window);
}

// The model input a land parameter is (a row of the model's range table).
std::string land_quantity(const std::string& key) {
    if (key.rfind("aleaf", 0) == 0 || key.rfind("adead", 0) == 0) return "leaf absorptivity";
    if (key == "xl") return "leaf size";
    if (key == "rsoilv" || key == "rsoiln") return "soil reflectance";
    if (key == "rs_correction") return "soil resistance correction";
    return "";
}

void check_land(RegionRecipe& r, Checker& c) {
    for (const auto& row : land_keys) {
        LandParameter p;
        p.key = row[0], p.file = row[1], p.table_field = row[2];
        const std::string& v = c.value(p.key);
        if (v == "class") {
            if (p.table_field.empty()) {
                c.fail(p.key, "the class table has no column for " + p.key +
                                  ": give a number or raster(s)");
                continue;
            }
            p.source = LandSource::table_class;
        } else if (number(v, p.value)) {
            p.source = LandSource::constant;
            std::vector<std::string> problems;
            const std::string where = r.where(p.key);
            check_number_in_range(where, p.key, land_quantity(p.key), p.value, problems);
            if (!problems.empty()) {
                c.fail(p.key, problems.front().substr(where.size() + 2));
                return;
            }
        } else {
            p.source = LandSource::raster;
            c.files(p.key, p.sources);
        }
        r.land.push_back(p);
    }
}

void check_outputs(RegionRecipe& r, Checker& c) {
    r.outputs = words(c.value("outputs"));
    if (r.outputs.empty()) c.fail("outputs", "no output variable named");
    for (const std::string& name : r.outputs) {
        bool known = false;
        for (int code = 1; code <= ornax_max_out_vars; ++code)
            known = known || ornax_output_var_name(code) == name;
        if (!known) c.fail("outputs", "\"" + name + "\" is not an output variable of the model");
        if (std::count(r.outputs.begin(), r.outputs.end(), name) > 1 &&
            std::find(r.outputs.begin(), r.outputs.end(), name) - r.outputs.begin() !=
                &name - r.outputs.data())
            c.fail("outputs", "\"" + name + "\" is named twice");
    }
}

}  // namespace

const std::vector<RecipeKey>& region_recipe_keys() {
    return keys;
}

std::string RegionRecipe::where(const std::string& key) const {
    const auto it = lines.find(key);
    if (it == lines.end() || it->second == 0) return file + ": " + key + " (default)";
    return file + ":" + std::to_string(it->second) + ": " + key;
}

void check_region_recipe(const std::string& file, RegionRecipe& r,
                         std::vector<std::string>& problems) {
    r = RegionRecipe{};
    r.file = file;
    r.folder = fs::absolute(file).parent_path().string();
    std::string kind;
    if (!ingest_file_kind(file, kind) || kind != "a text") {
        problems.push_back(file + ": " +
                           (kind == "no such file" || kind == "an empty file"
                                ? kind
                                : "is " + kind + ", not a recipe text"));
        return;
    }
    std::ifstream in(file);
    if (!in) {
        problems.push_back(file + ": cannot be opened");
        return;
    }
    std::string text;
    for (int n = 1; std::getline(in, text); ++n) {
        const std::string line = trim(text);
        if (line.empty() || line[0] == '#') continue;
        const std::size_t eq = line.find('=');
        const std::string where = file + ":" + std::to_string(n);
        if (eq == std::string::npos) {
            problems.push_back(where + ": \"" + line + "\" is not of the form key = value");
            continue;
        }
        const std::string key = trim(line.substr(0, eq)), value = trim(line.substr(eq + 1));
        const bool known = std::any_of(keys.begin(), keys.end(),
                                       [&](const RecipeKey& k) { return key == k.name; });
        if (!known) {
            problems.push_back(where + ": unknown key \"" + key + "\"");
            continue;
        }
        if (r.lines.count(key) != 0) {
            problems.push_back(where + ": key \"" + key + "\" given again (first on line " +
                               std::to_string(r.lines[key]) + ")");
            continue;
        }
        if (value.empty()) {
            problems.push_back(where + ": key \"" + key + "\" has no value");
            continue;
        }
        r.values[key] = value;
        r.lines[key] = n;
    }
    bool complete = true;
    for (const RecipeKey& k : keys) {
        if (r.values.count(k.name) != 0) continue;
        if (k.required) {
            problems.push_back(file + ": missing key \"" + std::string(k.name) + "\" (" +
                               k.meaning + ")");
            complete = false;
            continue;
        }
        r.values[k.name] = k.fallback;
        r.lines[k.name] = 0;
    }
    Checker c(r, problems);
    bool day_known = false;
    if (r.values.count("year") && c.integer("year", 1900, 2100, r.year) && r.values.count("doy"))
        day_known = c.integer("doy", 1, ingest_days_in_year(r.year), r.doy);
    if (!complete) {
        // check what is there; a missing key was already named
        for (const RecipeKey& k : keys)
            if (r.values.count(k.name) == 0) r.values[k.name] = "";
    }
    const std::size_t before = problems.size();
    const std::size_t before_grid = problems.size();
    check_grid(r, c);
    r.grid_known = day_known && problems.size() == before_grid;
    check_sources(r, c);
    check_land(r, c);
    check_outputs(r, c);
    if (!complete) {
        // drop the follow-on complaints about the keys left out
        std::vector<std::string> kept(problems.begin(), problems.begin() + before);
        for (std::size_t k = before; k < problems.size(); ++k)
            if (problems[k].find(" (default)") == std::string::npos) kept.push_back(problems[k]);
        problems = kept;
    }
    const std::string& out = r.values["out"];
    r.out = out.empty() || fs::path(out).is_absolute() ? out : (fs::path(r.folder) / out).string();
}

void read_region_recipe(const std::string& file, RegionRecipe& r, std::string& error, int& status) {
    std::vector<std::string> problems;
    check_region_recipe(file, r, problems);
    error = join_lines(problems);
    if (!error.empty() && error.back() == '\n') error.pop_back();
    status = problems.empty() ? 0 : ingest_status_failed;
}
