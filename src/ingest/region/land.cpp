// The land rasters of a region folder.
#include "ingest/region/land.hpp"

#include <cmath>
#include <cstdio>
#include <functional>

#include "ingest/common/concurrent_parts.hpp"
#include "ingest/common/support.hpp"
#include "ingest/common/manifest.hpp"
#include "ingest/raster/command.hpp"
#include "ingest/raster/convert.hpp"
#include "ingest/raster/isolated_reads.hpp"

namespace fs = std::filesystem;

namespace {

int fail(const std::string& text) {
    ingest_message(text);
    return ingest_exit_failure;
}

// Rules of one recipe product; status 3 with error naming the recipe line.
bool rules_for(const RegionRecipe& r, const std::string& key, Resampling method, RasterRules& rules,
               std::string& class_map, std::string& error) {
    rules.resampling = method;
    rules.allow_partial = r.allow_partial;
    auto value = [&](const std::string& k) {
        const auto it = r.values.find(k);
        return it == r.values.end() ? std::string() : it->second;
    };
    const std::string codes = value(key + "_missing_codes");
    if (!codes.empty() && !parse_code_list(codes, rules.missing_codes)) {
        error = r.where(key + "_missing_codes") + ": \"" + codes +
                "\": stored values or ranges, e.g. 249-255,0";
        return false;
    }
    class_map = value(key + "_class_map");
    if (!class_map.empty() && !parse_class_map(class_map, rules.class_map)) {
        error = r.where(key + "_class_map") + ": \"" + class_map + "\": e.g. 25=0,200=4";
        return false;
    }
    const std::string band = value(key + "_band");
    if (!band.empty()) {
        char* end = nullptr;
        const long n = std::strtol(band.c_str(), &end, 10);
        if (end == band.c_str() || *end != '\0' || n < 1 || n > 100000) {
            error = r.where(key + "_band") + ": \"" + band + "\": a band number, 1 or more";
            return false;
        }
        rules.band = static_cast<int>(n);
    }
    if (key == "lai") rules.quantity = "lai";
    const std::string window = value(key + "_window");
    if (!window.empty()) {
        rules.check_day = true;
        rules.year = r.year, rules.doy = r.doy;
        rules.window_days = std::atoi(window.c_str());
    }
    return true;
}

// Prepares sources onto the grid and writes the raster with its FILE.manifest.json.
int convert(RegionLandJob& job, const std::string& key, const std::vector<std::string>& sources,
            Resampling method, const fs::path& out, std::vector<float>& values) {
    RasterRules rules;
    std::string class_map, error;
    if (!rules_for(*job.recipe, key, method, rules, class_map, error)) return fail(error);
    nlohmann::json details;
    int st = 0;
    prepare_raster_isolated(sources, job.grid, rules, values, details, error, st);
    if (st != 0) return fail(job.recipe->where(key) + ": " + error);
    if (const int code = region_refuse_empty(
            *job.recipe, key, fs::relative(out, job.folder).string(), values, job.grid.spare_value);
        code != 0)
        return code;
    std::error_code ec;
    fs::create_directories(out.parent_path(), ec);
    const int code = raster_write_outputs(out, job.command, "config/domain_run.txt", job.grid,
                                          rules, class_map, values, details);
    if (code != 0) return code;
    const ValueCounts c = ingest_count_values(values, job.grid.spare_value);
    job.record[fs::relative(out, job.folder).string()] = {
        {"from", sources},
        {"resampling", resampling_name(method)},
        {"manifest", fs::relative(out, job.folder).replace_extension(".manifest.json").string()},
        {"valid", c.valid},
        {"missing", c.missing}};
    return ingest_exit_ok;
}

int write_plain(RegionLandJob& job, const fs::path& out, const std::vector<float>& values,
                const std::string& how) {
    std::string error;
    int st = 0;
    std::error_code ec;
    fs::create_directories(out.parent_path(), ec);
    ingest_write_raster(out, values, job.grid.ncols, job.grid.nrows, 1, error, st);
    if (st != 0) return fail(error);
    const ValueCounts c = ingest_count_values(values, job.grid.spare_value);
    job.record[fs::relative(out, job.folder).string()] = {
        {"from", how}, {"valid", c.valid}, {"missing", c.missing}};
    return ingest_exit_ok;
}

float table_field(const Ornaxlandtype& e, const std::string& field) {
    if (field == "aleafv") return e.aleafv;
    if (field == "aleafn") return e.aleafn;
    if (field == "aleafl") return e.aleafl;
    if (field == "adeadv") return e.adeadv;
    if (field == "adeadn") return e.adeadn;
    if (field == "adeadl") return e.adeadl;
    return e.xl;
}

}  // namespace

int region_refuse_empty(const RegionRecipe& recipe, const std::string& key, const std::string& name,
                        const std::vector<float>& values, float missing) {
    const ValueCounts c = ingest_count_values(values, missing);
    const double total = static_cast<double>(c.valid + c.missing);
    if (c.valid == 0)
        return fail(recipe.where(key) + ": " + name + " would be missing at every one of its " +
                    std::to_string(c.missing) +
                    " cells (no source holds a valid value on the grid); nothing written");
    if (total > 0.0 && c.missing > region_mostly_missing_share * total) {
        char share[32];
        std::snprintf(share, sizeof share, "%.1f %%", 100.0 * c.missing / total);
        ingest_message("warning: " + recipe.where(key) + ": " + name + " is missing at " + share +
                       " of its cells (" + std::to_string(c.missing) + " of " +
                       std::to_string(c.valid + c.missing) + ")");
    }
    return ingest_exit_ok;
}

float region_class_value(const std::vector<Ornaxlandtype>& table, int nclasses,
                         const std::string& field, float landcover, float missing) {
    if (!(landcover >= 1.0f) || landcover > static_cast<float>(nclasses) ||
        landcover != std::floor(landcover))
        return missing;
    return table_field(table[static_cast<std::size_t>(landcover) - 1], field);
}

int region_land_cover(RegionLandJob& job) {
    const fs::path out = job.folder / "static" / "landcover.bin";
    if (const int code =
            convert(job, "landcover", job.recipe->landcover, Resampling::mode, out, job.landcover);
        code != 0)
        return code;
    const Spatialinfodata& g = job.grid;
    for (std::size_t k = 0; k < job.landcover.size(); ++k) {
        const float v = job.landcover[k];
        if (v == g.spare_value) continue;
        if (v < 0.0f || v > static_cast<float>(job.nclasses) || v != std::floor(v)) {
            const int col = static_cast<int>(k % g.ncols) + 1,
                      row = static_cast<int>(k / g.ncols) + 1;
            fs::remove(out);
            return fail(job.recipe->where("landcover") + ": class " + ingest_number(v) +
                        " at column " + std::to_string(col) + ", row " + std::to_string(row) +
                        " (latitude " + ingest_number(grid_row_lat(g, row)) + ", longitude " +
                        ingest_number(grid_col_lon(g, col)) + ") is not a class of " +
                        job.recipe->class_table + " (0 to " + std::to_string(job.nclasses) +
                        "; landcover_class_map maps other codes)");
        }
    }
    return ingest_exit_ok;
}

int region_day_rasters(RegionLandJob& job) {
    const RegionRecipe& r = *job.recipe;
    const std::string day = ingest_day_dir_name(r.year, r.doy);
    std::vector<float> values;
    if (const int code = convert(job, "lai", r.lai, Resampling::average,
                                 job.folder / "lai" / day / "lai.bin", values);
        code != 0)
        return code;
    const fs::path snow = job.folder / "snow" / day / "snow_mask.bin";
    if (r.snow.empty()) {
        values.assign(static_cast<std::size_t>(job.grid.ncols) * job.grid.nrows, 0.0f);
        return write_plain(job, snow, values, "snow = none: 0 (no snow) everywhere");
    }
    return convert(job, "snow", r.snow, Resampling::mode, snow, values);
}

namespace {

// One static parameter: static/FILE.bin from its rasters, a constant or the class table.
int land_parameter(RegionLandJob& job, const LandParameter& p) {
    const std::size_t n = static_cast<std::size_t>(job.grid.ncols) * job.grid.nrows;
    const fs::path out = job.folder / "static" / p.file;
    std::vector<float> values;
    switch (p.source) {
        case LandSource::raster:
            return convert(job, p.key, p.sources, Resampling::bilinear, out, values);
        case LandSource::constant:
            values.assign(n, static_cast<float>(p.value));
            return write_plain(job, out, values,
                               p.key + " = " + ingest_number(p.value) + " everywhere");
        case LandSource::table_class:
            values.resize(n);
            for (std::size_t k = 0; k < n; ++k)
                values[k] = region_class_value(job.table, job.nclasses, p.table_field,
                                               job.landcover[k], job.grid.spare_value);
            return write_plain(job, out, values,
                               "column " + p.table_field + " of the class table " +
                                   job.recipe->class_table +
                                   " by land-cover class; missing without a class");
    }
    return ingest_exit_ok;
}

}  // namespace

int region_land_parameters(RegionLandJob& job) {
    for (const LandParameter& p : job.recipe->land)
        if (const int code = land_parameter(job, p); code != 0) return code;
    return ingest_exit_ok;
}

int region_land_rasters(RegionLandJob& job, bool side_by_side) {
    if (const int code = region_land_cover(job); code != 0) return code;
    // the day's rasters beside the parameters, each on a copy of the job of its own whose
    // records join the job's afterwards
    std::vector<RegionLandJob> jobs(2, job);
    for (RegionLandJob& j : jobs) j.record = nlohmann::json::object();
    const std::vector<std::function<int()>> parts = {
        [&jobs] { return region_day_rasters(jobs[0]); },
        [&jobs] { return region_land_parameters(jobs[1]); }};
    std::vector<int> codes;
    ingest_run_parts(parts, side_by_side, codes);
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        if (codes[i] != 0) return codes[i];
        for (const auto& [name, how] : jobs[i].record.items()) job.record[name] = how;
    }
    return ingest_exit_ok;
}
