// Any raster GDAL opens onto a model grid.
#include "ingest/raster/convert.hpp"

#include <cpl_conv.h>
#include <cpl_string.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <sstream>
#include <type_traits>

#include "ingest/common/isolated_read.hpp"
#include "ingest/common/plausibility.hpp"
#include "ingest/common/support.hpp"
#include "ingest/raster/ims_ascii.hpp"
#include "ingest/raster/stored_values.hpp"
#include "ingest/satellite/abi_scan.hpp"
#include "ornax90/type_kinds.hpp"

namespace {

// What identifies a source: product, field and the period it stands for.
struct SourceIdentity {
    std::string product, field;
    double begin = NAN, end = NAN;  // days since 1970-01-01 (first and last day)
};

double day_number(int year, int doy) {
    return day_start_seconds(year, doy) / 86400.0;
}

bool date_day(const std::string& text, double& day) {
    double seconds = 0.0;
    if (text.size() < 10 || !parse_iso_time(text.substr(0, 10) + "T00:00:00Z", seconds))
        return false;
    day = seconds / 86400.0;
    return true;
}

// The product's period: from its metadata, else from a ".AYYYYDDD." name.
SourceIdentity identify(GDALDatasetH ds, const std::string& source) {
    SourceIdentity id;
    id.product = raster_metadata(ds, "SHORTNAME");
    const std::size_t colon = source.rfind(':');
    id.field = colon != std::string::npos && source.compare(0, 4, "HDF4") == 0
                   ? source.substr(colon + 1)
                   : (source.compare(0, 7, "NETCDF:") == 0 ? source.substr(colon + 1) : "");
    date_day(raster_metadata(ds, "RANGEBEGINNINGDATE"), id.begin);
    date_day(raster_metadata(ds, "RANGEENDINGDATE"), id.end);
    if (std::isnan(id.begin)) date_day(raster_metadata(ds, "time_coverage_start"), id.begin);
    if (std::isnan(id.end)) date_day(raster_metadata(ds, "time_coverage_end"), id.end);
    const std::string name = source_file_name(source);
    const std::size_t a = name.find(".A");
    int y = 0, d = 0;
    if (std::isnan(id.begin) && a != std::string::npos &&
        std::sscanf(name.c_str() + a + 2, "%4d%3d", &y, &d) == 2 && d >= 1 && d <= 366)
        id.begin = day_number(y, d);
    if (std::isnan(id.end)) id.end = id.begin;
    return id;
}

std::string day_text(double day) {
    if (std::isnan(day)) return "?";
    const std::time_t t = static_cast<std::time_t>(std::lround(day)) * 86400;
    std::tm tm{};
    gmtime_r(&t, &tm);
    char s[16];
    std::strftime(s, sizeof s, "%Y-%m-%d", &tm);
    return s;
}

// An opened and converted source, ready to warp.
struct Prepared {
    GDALDatasetH ds = nullptr;
    std::vector<float> values;  // the converted values, the buffer of ds's band
    bool geolocation = false;
    std::array<double, 4> box{};
    SourceIdentity id;
    nlohmann::json detail;
};

void set_counts(long valid, long all, nlohmann::json& detail) {
    detail["stored_valid"] = valid;
    detail["stored_missing"] = all - valid;
}

void converted_counts(const std::vector<float>& v, nlohmann::json& detail) {
    long valid = 0;
    for (float x : v) valid += x > -1.0e29f;
    set_counts(valid, static_cast<long>(v.size()), detail);
}

bool open_gdal_source(const std::string& source, const RasterRules& rules, Prepared& p,
                      std::string& error) {
    const std::string file = source_file_name(source);
    const std::string ext = file.size() > 4 ? file.substr(file.size() - 4) : "";
    const bool hdf4 = source.compare(0, 4, "HDF4") == 0 || ext == ".hdf" || ext == ".HDF";
    if (hdf4 && GDALGetDriverByName("HDF4") == nullptr) {
        error = source + ": this GDAL has no HDF4 driver (gdalinfo --formats lists none); use a "
                         "GDAL built with HDF4 (Debian's is) or convert the tile to GeoTIFF first";
        return false;
    }
    CPLErrorReset();
    GDALDatasetH src = GDALOpen(source.c_str(), GA_ReadOnly);
    if (src == nullptr) {
        error = source + ": GDAL cannot open it (" + std::string(CPLGetLastErrorMsg()) + ")";
        return false;
    }
    if (GDALGetRasterCount(src) < 1) {
        char** sub = GDALGetMetadata(src, "SUBDATASETS");
        const char* first = CSLFetchNameValue(sub, "SUBDATASET_1_NAME");
        error = source + ": a container of " + std::to_string(CSLCount(sub) / 2) +
                " subdatasets; name one" + (first ? std::string(", e.g. ") + first : "");
        GDALClose(src);
        return false;
    }
    double gt[6];
    const char* wkt = GDALGetProjectionRef(src);
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    const bool srs_ok =
        wkt != nullptr && *wkt != '\0' && OSRSetFromUserInput(srs, wkt) == OGRERR_NONE;
    OSRDestroySpatialReference(srs);
    if (!srs_ok || GDALGetGeoTransform(src, gt) != CE_None) {
        error = source + ": no projection or georeferencing GDAL can read";
        GDALClose(src);
        return false;
    }
    const int bands = GDALGetRasterCount(src);
    if ((rules.band == 0 && bands > 1) || rules.band > bands) {
        error = source + ": " + std::to_string(bands) + " band" + (bands > 1 ? "s" : "") +
                (rules.band == 0 ? std::string(": name the one to read (--band N, or the recipe's "
                                               "NAME_band)")
                                 : ", no band " + std::to_string(rules.band));
        GDALClose(src);
        return false;
    }
    const int band = rules.band == 0 ? 1 : rules.band;
    const int nx = GDALGetRasterXSize(src), ny = GDALGetRasterYSize(src);
    GDALRasterBandH stored_band = GDALGetRasterBand(src, band);
    CPLErrorReset();
    const StoredRules s = raster_stored_rules(src, hdf4, rules);
    p.id = identify(src, source);
    StoredTable table = raster_stored_table(GDALGetRasterDataType(stored_band), s, rules);
    std::vector<float>& v = p.values;
    const bool read = raster_read_converted(stored_band, nx, ny, s, rules, table, v);
    const std::string library_error =
        CPLGetLastErrorType() >= CE_Failure ? std::string(CPLGetLastErrorMsg()) : std::string();
    const std::string projection = wkt;
    p.detail = {{"source", source},
                {"driver", GDALGetDriverShortName(GDALGetDatasetDriver(src))},
                {"size", {nx, ny}},
                {"product", p.id.product},
                {"field", p.id.field},
                {"period", {day_text(p.id.begin), day_text(p.id.end)}},
                {"scale", s.scale},
                {"offset", s.offset},
                {"scale_from", s.scale_origin}};
    if (s.has_fill) p.detail["fill"] = s.fill;
    if (s.has_valid) p.detail["valid_range"] = {s.valid_min, s.valid_max};
    GDALClose(src);
    if (!read || !library_error.empty()) {
        error = source + ": its values cannot be read" +
                (library_error.empty() ? std::string() : " (GDAL: " + library_error + ")");
        return false;
    }
    std::vector<ValueCount> counted;  // the written values by stored value, with a table
    long valid = 0;
    for (std::size_t k = 0; k < table.count.size(); ++k)
        if (table.count[k] > 0 && table.value[k] > -1.0e29f) {
            counted.push_back({table.value[k], table.count[k]});
            valid += static_cast<long>(table.count[k]);
        }
    if (!rules.quantity.empty() && rules.class_map.empty()) {
        std::vector<std::string> problems;
        const std::string field = "band " + std::to_string(band);
        if (table.type != GDT_Unknown) {
            if (!counted.empty())
                check_counted_field_plausible(source, field, s.scale_origin, rules.quantity,
                                              counted, problems);
        } else {
            std::vector<float> data;
            data.reserve(v.size());
            for (float x : v)
                if (x > -1.0e29f) data.push_back(x);
            if (!data.empty())
                check_field_plausible(source, field, s.scale_origin, rules.quantity, data,
                                      problems);
        }
        if (!problems.empty()) {
            error = ingest_problems_text(problems) + " (scale " + ingest_number(s.scale) +
                    ", offset " + ingest_number(s.offset) + " from " + s.scale_origin +
                    (s.has_fill ? ", fill " + ingest_number(s.fill)
                                : std::string(", no fill or nodata value")) +
                    ")";
            return false;
        }
    }
    if (table.type != GDT_Unknown)
        set_counts(valid, static_cast<long>(v.size()), p.detail);
    else
        converted_counts(v, p.detail);
    p.ds = make_float_dataset(nx, ny, gt, projection, v, error);
    if (p.ds == nullptr) {
        error = source + ": " + error;
        return false;
    }
    int st = 0;
    footprint_lonlat(p.ds, p.box.data(), error, st);
    if (st != 0) error = source + ": " + error;
    return st == 0;
}

// An in-memory GeoTIFF of float values (the geolocation arrays GDAL reopens by name).
bool vsimem_tiff(const std::string& name, int nx, int ny, const std::vector<float>& v) {
    GDALDatasetH ds =
        GDALCreate(GDALGetDriverByName("GTiff"), name.c_str(), nx, ny, 1, GDT_Float32, nullptr);
    if (ds == nullptr) return false;
    const bool ok =
        GDALRasterIO(GDALGetRasterBand(ds, 1), GF_Write, 0, 0, nx, ny, const_cast<float*>(v.data()),
                     nx, ny, GDT_Float32, 0, 0) == CE_None;
    GDALClose(ds);
    return ok;
}

bool open_ims_source(const std::string& source, const RasterRules& rules, int index, Prepared& p,
                     std::string& error) {
    ImsGrid ims;
    int st = 0;
    read_ims_ascii(source, ims, error, st);
    if (st != 0) return false;
    if (rules.lat_file.empty() || rules.lon_file.empty()) {
        error = source + ": an ASCII snow-and-ice grid needs its latitude and longitude files "
                         "(--lat-file, --lon-file)";
        return false;
    }
    const std::size_t n = ims.codes.size();
    std::vector<float> lat, lon;
    read_float32_file(rules.lat_file, n, lat, error, st);
    if (st == 0) read_float32_file(rules.lon_file, n, lon, error, st);
    if (st != 0) return false;
    // a cell placed nowhere on Earth would be lost from the warp without a word
    long impossible = 0;
    std::size_t first_bad = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const bool ok = std::isfinite(lat[k]) && std::isfinite(lon[k]) &&
                        std::fabs(lat[k]) <= 90.0f && lon[k] >= -180.0f && lon[k] <= 360.0f;
        if (!ok && impossible++ == 0) first_bad = k;
    }
    if (impossible > 0) {
        const long col = static_cast<long>(first_bad % static_cast<std::size_t>(ims.ncols));
        const long row = static_cast<long>(first_bad / static_cast<std::size_t>(ims.ncols));
        error = source + ": " + std::to_string(impossible) + " cell position(s) not on Earth in " +
                rules.lat_file + " / " + rules.lon_file + ", the first at row " +
                std::to_string(row + 1) + ", column " + std::to_string(col + 1) + " (value " +
                std::to_string(first_bad + 1) + "): latitude " + ingest_number(lat[first_bad]) +
                ", longitude " + ingest_number(lon[first_bad]) +
                " (latitude -90..90, longitude -180..360)";
        return false;
    }
    StoredRules s;  // codes as they are
    std::vector<float> v(n);
    for (std::size_t k = 0; k < n; ++k) v[k] = raster_written_value(ims.codes[k], s, rules);
    p.box = {1e30, 1e30, -1e30, -1e30};
    for (std::size_t k = 0; k < n; ++k) {
        if (!std::isfinite(lat[k]) || !std::isfinite(lon[k]) || std::fabs(lat[k]) > 90.0f) continue;
        p.box[0] = std::min(p.box[0], double(lon[k])),
        p.box[2] = std::max(p.box[2], double(lon[k]));
        p.box[1] = std::min(p.box[1], double(lat[k])),
        p.box[3] = std::max(p.box[3], double(lat[k]));
    }
    const std::string stem = "/vsimem/ornax_ims_" + std::to_string(index);
    if (!vsimem_tiff(stem + "_lon.tif", ims.ncols, ims.nrows, lon) ||
        !vsimem_tiff(stem + "_lat.tif", ims.ncols, ims.nrows, lat)) {
        error = source + ": GDAL cannot hold the cell positions";
        return false;
    }
    p.ds =
        GDALCreate(GDALGetDriverByName("MEM"), "", ims.ncols, ims.nrows, 1, GDT_Float32, nullptr);
    if (p.ds == nullptr ||
        GDALRasterIO(GDALGetRasterBand(p.ds, 1), GF_Write, 0, 0, ims.ncols, ims.nrows, v.data(),
                     ims.ncols, ims.nrows, GDT_Float32, 0, 0) != CE_None) {
        error = source + ": GDAL cannot hold the grid";
        return false;
    }
    GDALSetRasterNoDataValue(GDALGetRasterBand(p.ds, 1), warp_no_data);
    char** geo = nullptr;
    geo = CSLSetNameValue(geo, "X_DATASET", (stem + "_lon.tif").c_str());
    geo = CSLSetNameValue(geo, "Y_DATASET", (stem + "_lat.tif").c_str());
    for (const char* k : {"X_BAND", "Y_BAND", "PIXEL_STEP", "LINE_STEP"})
        geo = CSLSetNameValue(geo, k, "1");
    for (const char* k : {"PIXEL_OFFSET", "LINE_OFFSET"}) geo = CSLSetNameValue(geo, k, "0");
    geo = CSLSetNameValue(geo, "SRS", SRS_WKT_WGS84_LAT_LONG);
    // the files give the centre of each cell (GDAL would otherwise take its corner)
    geo = CSLSetNameValue(geo, "GEOREFERENCING_CONVENTION", "PIXEL_CENTER");
    GDALSetMetadata(p.ds, geo, "GEOLOCATION");
    CSLDestroy(geo);
    p.geolocation = true;
    int y = 0, d = 0;
    if (ims_data_day(source, y, d)) p.id.begin = p.id.end = day_number(y, d);
    p.id.product = "snow and ice ASCII grid";
    p.detail = {{"source", source},
                {"driver", "ASCII snow-and-ice grid"},
                {"size", {ims.ncols, ims.nrows}},
                {"header_lines", ims.header_lines},
                {"product", p.id.product},
                {"period", {day_text(p.id.begin), day_text(p.id.end)}},
                {"latitude_file", rules.lat_file},
                {"longitude_file", rules.lon_file}};
    converted_counts(v, p.detail);
    return true;
}

bool check_identity(const std::vector<SourceIdentity>& all, const std::vector<std::string>& sources,
                    const RasterRules& rules, std::string& error) {
    const SourceIdentity& first = all.front();
    for (std::size_t k = 0; k < all.size(); ++k) {
        const SourceIdentity& id = all[k];
        if (id.product != first.product || id.field != first.field ||
            !(id.begin == first.begin || (std::isnan(id.begin) && std::isnan(first.begin)))) {
            error = sources[k] + ": a tile of another product (" + id.product + " " + id.field +
                    ", " + day_text(id.begin) + ") than " + sources.front() + " (" + first.product +
                    " " + first.field + ", " + day_text(first.begin) + ")";
            return false;
        }
        if (!rules.check_day) continue;
        const double day = day_number(rules.year, rules.doy);
        if (std::isnan(id.begin)) {
            error = sources[k] + ": no date in its metadata or name to check against the day";
            return false;
        }
        if (day < id.begin - rules.window_days || day > id.end + rules.window_days) {
            error = sources[k] + ": stands for " + day_text(id.begin) + " to " + day_text(id.end) +
                    ", not for the run's day " + day_text(day) + " (window " +
                    std::to_string(rules.window_days) + " days)";
            return false;
        }
    }
    return true;
}

}  // namespace

std::string source_file_name(const std::string& source) {
    const std::size_t q1 = source.find('"');
    const std::size_t q2 = q1 == std::string::npos ? q1 : source.find('"', q1 + 1);
    if (q2 != std::string::npos) return source.substr(q1 + 1, q2 - q1 - 1);
    if (source.compare(0, 7, "NETCDF:") == 0) {
        const std::size_t last = source.rfind(':');
        if (last > 7) return source.substr(7, last - 7);
    }
    return source;
}

bool parse_code_list(const std::string& text, std::vector<std::pair<double, double>>& codes) {
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        double a = 0, b = 0;
        char extra = 0;
        if (std::sscanf(item.c_str(), "%lf-%lf%c", &a, &b, &extra) == 2 && a <= b)
            codes.emplace_back(a, b);
        else if (std::sscanf(item.c_str(), "%lf%c", &a, &extra) == 1)
            codes.emplace_back(a, a);
        else
            return false;
    }
    return !codes.empty();
}

bool parse_class_map(const std::string& text, std::vector<std::pair<double, float>>& map) {
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        double a = 0, b = 0;
        char extra = 0;
        if (std::sscanf(item.c_str(), "%lf=%lf%c", &a, &b, &extra) != 2) return false;
        map.emplace_back(a, static_cast<float>(b));
    }
    return !map.empty();
}

void inspect_raster(const std::vector<std::string>& sources, const Spatialinfodata& grid,
                    const RasterRules& rules, RasterInventory& inventory,
                    std::vector<std::string>& problems) {
    ingest_gdal_init();
    inventory = RasterInventory{};
    const std::size_t cells = static_cast<std::size_t>(grid.ncols) * grid.nrows;
    std::vector<char> covered(cells, 0);
    std::vector<SourceIdentity> ids;
    std::vector<std::string> named;
    const std::size_t before = problems.size();
    for (const std::string& source : sources) {
        RasterSourceInfo info;
        info.source = source;
        const std::string file = source_file_name(source);
        ingest_isolated_reading(file);
        std::string kind;
        if (!ingest_file_kind(file, kind)) {
            problems.push_back(source + ": " + kind);
            continue;
        }
        if (source.size() > 4 && source.substr(source.size() - 4) == ".asc") {
            // placed by its latitude/longitude files, read in full by the conversion
            info.driver = "ASCII snow-and-ice grid";
            int y = 0, d = 0;
            SourceIdentity id;
            if (ims_data_day(source, y, d)) id.begin = id.end = day_number(y, d);
            id.product = info.product = "snow and ice ASCII grid";
            info.period = day_text(id.begin);
            info.crs = "longitude/latitude of each cell";
            info.cover = NAN;
            ids.push_back(id), named.push_back(source);
            inventory.sources.push_back(info);
            continue;
        }
        CPLErrorReset();
        GDALDatasetH ds = GDALOpen(source.c_str(), GA_ReadOnly);
        if (ds == nullptr) {
            problems.push_back(source + ": GDAL cannot open it (" + kind + "; " +
                               std::string(CPLGetLastErrorMsg()) + ")");
            continue;
        }
        if (GDALGetRasterCount(ds) < 1) {
            char** sub = GDALGetMetadata(ds, "SUBDATASETS");
            const char* first = CSLFetchNameValue(sub, "SUBDATASET_1_NAME");
            problems.push_back(source + ": a container of " + std::to_string(CSLCount(sub) / 2) +
                               " subdatasets; name one" +
                               (first ? std::string(", e.g. ") + first : ""));
            GDALClose(ds);
            continue;
        }
        info.driver = GDALGetDriverShortName(GDALGetDatasetDriver(ds));
        const SourceIdentity id = identify(ds, source);
        info.product = id.product.empty() ? "(no product name)" : id.product;
        info.period =
            std::isnan(id.begin) ? "no date" : day_text(id.begin) + " to " + day_text(id.end);
        const char* wkt = GDALGetProjectionRef(ds);
        OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
        if (wkt != nullptr && *wkt != '\0' && OSRSetFromUserInput(srs, wkt) == OGRERR_NONE) {
            const char* name = OSRGetName(srs);
            info.crs = name != nullptr ? name : "unnamed";
        }
        OSRDestroySpatialReference(srs);
        int has_nodata = 0;
        const int band = rules.band >= 1 && rules.band <= GDALGetRasterCount(ds) ? rules.band : 1;
        info.nodata = GDALGetRasterNoDataValue(GDALGetRasterBand(ds, band), &has_nodata);
        info.has_nodata = has_nodata != 0;
        if (!info.has_nodata && !raster_metadata(ds, "_FillValue", band).empty())
            info.has_nodata = true,
            info.nodata = std::atof(raster_metadata(ds, "_FillValue", band).c_str());
        std::vector<char> own(cells, 0);
        std::string error;
        int st = 0;
        double gt[6];
        if (info.crs.empty() || GDALGetGeoTransform(ds, gt) != CE_None) {
            problems.push_back(source + ": no projection or georeferencing GDAL can read");
        } else {
            footprint_cells(ds, grid, own, error, st);
            if (st != 0) problems.push_back(source + ": " + error);
        }
        long n = 0;
        for (std::size_t k = 0; k < cells; ++k) n += own[k], covered[k] |= own[k];
        info.cover = cells > 0 ? static_cast<double>(n) / cells : 0.0;
        GDALClose(ds);
        ids.push_back(id), named.push_back(source);
        inventory.sources.push_back(info);
    }
    if (!ids.empty()) {
        // every tile against the first and the day, each problem once
        for (std::size_t k = 0; k < ids.size(); ++k) {
            std::string error;
            const std::vector<SourceIdentity> pair =
                k == 0 ? std::vector<SourceIdentity>{ids[0]}
                       : std::vector<SourceIdentity>{ids[0], ids[k]};
            const std::vector<std::string> names =
                k == 0 ? std::vector<std::string>{named[0]}
                       : std::vector<std::string>{named[0], named[k]};
            RasterRules r = rules;
            if (!check_identity(pair, names, r, error)) problems.push_back(error);
        }
    }
    long n = 0;
    for (char c : covered) n += c;
    bool placed_by_cells = false;
    for (const RasterSourceInfo& i : inventory.sources) placed_by_cells |= std::isnan(i.cover);
    inventory.cover = placed_by_cells ? NAN : cells > 0 ? static_cast<double>(n) / cells : 0.0;
    if (problems.size() == before && !placed_by_cells &&
        (n == 0 || (n < raster_required_cover * cells && !rules.allow_partial)))
        problems.push_back(
            sources.front() + (sources.size() > 1 ? " and the other tiles" : "") + ": cover " +
            std::to_string(n) + " of the grid's " + std::to_string(cells) + " cells (" +
            ingest_number(std::round(1000.0 * n / std::max<std::size_t>(cells, 1)) / 10.0) + " %)" +
            (n > 0 ? "; allow_partial accepts that" : ""));
}

void prepare_raster(const std::vector<std::string>& sources, const Spatialinfodata& grid,
                    const RasterRules& rules, std::vector<float>& values, nlohmann::json& details,
                    std::string& error, int& status) {
    ingest_gdal_init();
    status = ornax_status_failure;
    std::vector<Prepared> all;
    auto release = [&] {
        for (Prepared& p : all)
            if (p.ds != nullptr) GDALClose(p.ds);
        for (std::size_t k = 0; k < all.size(); ++k)
            for (const char* e : {"_lon.tif", "_lat.tif"})
                VSIUnlink(("/vsimem/ornax_ims_" + std::to_string(k) + e).c_str());
    };
    all.reserve(sources.size());  // each dataset's band is its entry's values: never moved
    bool ok = !sources.empty();
    if (!ok) error = "no source given";
    for (std::size_t k = 0; ok && k < sources.size(); ++k) {
        const std::string& s = sources[k];
        const bool ascii = s.size() > 4 && s.substr(s.size() - 4) == ".asc";
        ingest_isolated_reading(source_file_name(s));
        all.emplace_back();
        ok = ascii ? open_ims_source(s, rules, static_cast<int>(k), all.back(), error)
                   : open_gdal_source(s, rules, all.back(), error);
    }
    if (ok) {
        std::vector<SourceIdentity> ids;
        for (const Prepared& p : all) ids.push_back(p.id);
        ok = check_identity(ids, sources, rules, error);
    }
    const long cells = static_cast<long>(grid.ncols) * grid.nrows;
    long inside = 0;
    if (ok) {
        std::vector<std::array<double, 4>> boxes;
        std::vector<char> covered;
        for (const Prepared& p : all) {
            if (p.geolocation) {
                boxes.push_back(p.box);
                continue;
            }
            int st = 0;
            footprint_cells(p.ds, grid, covered, error, st);
            if (st != 0) boxes.push_back(p.box);
        }
        error.clear();
        inside = boxes.empty() ? 0 : cells_inside(grid, boxes);
        if (!covered.empty()) {
            inside = 0;
            for (std::size_t k = 0; k < covered.size(); ++k) inside += covered[k];
            if (!boxes.empty()) inside = std::max(inside, cells_inside(grid, boxes));
        }
    }
    if (ok && (inside == 0 || (inside < raster_required_cover * cells && !rules.allow_partial))) {
        error = "the sources cover " + std::to_string(inside) + " of the grid's " +
                std::to_string(cells) + " cells" +
                (inside > 0 ? " (--allow-partial accepts that)" : "");
        ok = false;
    }
    std::vector<GDALDatasetH> ds;
    for (const Prepared& p : all) ds.push_back(p.ds);
    int st = 0;
    if (ok) warp_to_grid(ds, grid, rules.resampling, values, error, st, all.front().geolocation);
    ok = ok && st == 0;
    details = nlohmann::json::array();
    for (const Prepared& p : all) details.push_back(p.detail);
    release();
    if (!ok) return;
    for (float& v : values)
        if (v <= -1.0e29f) v = grid.spare_value;
    status = 0;
}
