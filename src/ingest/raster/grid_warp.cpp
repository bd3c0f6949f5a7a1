// Reprojection and resampling onto a model grid with GDAL's warper.
#include "ingest/raster/grid_warp.hpp"

#include "ingest/common/isolated_read.hpp"
#include "ornax90/type_kinds.hpp"

#include <cpl_conv.h>
#include <gdal_utils.h>
#include <gdalwarper.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace {

constexpr double earth_radius_km = 6371.0;  // mean radius, for pixel footprints only

std::string last_gdal_error(const char* fallback) {
    const char* msg = CPLGetLastErrorMsg();
    return msg != nullptr && *msg != '\0' ? std::string(msg) : std::string(fallback);
}

// WKT of geographic longitude/latitude on WGS84, longitude first (formed once: PROJ looks
// it up in its database).
const std::string& lonlat_wkt() {
    static const std::string text = [] {
        OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
        OSRSetWellKnownGeogCS(srs, "WGS84");
        char* wkt = nullptr;
        OSRExportToWkt(srs, &wkt);
        std::string t = wkt != nullptr ? wkt : "";
        CPLFree(wkt);
        OSRDestroySpatialReference(srs);
        return t;
    }();
    return text;
}

// Transformation between a projection (WKT) and longitude/latitude (either way).
OGRCoordinateTransformationH new_lonlat_transform(const char* wkt, bool to_lonlat) {
    OGRSpatialReferenceH src = OSRNewSpatialReference(wkt);
    OGRSpatialReferenceH geo = OSRNewSpatialReference(nullptr);
    OSRSetWellKnownGeogCS(geo, "WGS84");
    OSRSetAxisMappingStrategy(src, OAMS_TRADITIONAL_GIS_ORDER);
    OSRSetAxisMappingStrategy(geo, OAMS_TRADITIONAL_GIS_ORDER);
    OGRCoordinateTransformationH t = to_lonlat ? OCTNewCoordinateTransformation(src, geo)
                                               : OCTNewCoordinateTransformation(geo, src);
    OSRDestroySpatialReference(src);
    OSRDestroySpatialReference(geo);
    return t;
}

// The transformations a thread made, by projection and direction, kept for its next
// rasters: every scan of a satellite shares one projection, and making a transformation
// looks both systems up in PROJ's database, which costs more than transforming a scan's
// samples.
struct KeptTransforms {
    std::map<std::pair<std::string, bool>, OGRCoordinateTransformationH> kept;
    KeptTransforms() = default;
    KeptTransforms(const KeptTransforms&) = delete;
    KeptTransforms& operator=(const KeptTransforms&) = delete;
    ~KeptTransforms() {
        for (const auto& entry : kept)
            if (entry.second != nullptr) OCTDestroyCoordinateTransformation(entry.second);
    }
};

// The thread's transformation between a dataset's projection and longitude/latitude, or
// nullptr; the thread keeps it (the caller does not destroy it).
OGRCoordinateTransformationH lonlat_transform(GDALDatasetH dataset, bool to_lonlat) {
    const char* wkt = GDALGetProjectionRef(dataset);
    if (wkt == nullptr || *wkt == '\0') return nullptr;
    thread_local KeptTransforms transforms;
    const auto [it, fresh] = transforms.kept.try_emplace({std::string(wkt), to_lonlat}, nullptr);
    if (fresh) it->second = new_lonlat_transform(wkt, to_lonlat);
    return it->second;
}

// Great-circle distance (km) between two points given in degrees.
double distance_km(double lon1, double lat1, double lon2, double lat2) {
    const double d2r = M_PI / 180.0;
    const double a = std::pow(std::sin((lat2 - lat1) * d2r / 2), 2) +
                     std::cos(lat1 * d2r) * std::cos(lat2 * d2r) *
                         std::pow(std::sin((lon2 - lon1) * d2r / 2), 2);
    return 2.0 * earth_radius_km * std::asin(std::min(1.0, std::sqrt(a)));
}

// An error line of GDAL kept while the warper runs.
struct KeptGdalLine {
    CPLErr level;
    CPLErrorNum number;
    std::string text;
};

void keep_gdal_line(CPLErr level, CPLErrorNum number, const char* text) {
    auto* kept = static_cast<std::vector<KeptGdalLine>*>(CPLGetErrorHandlerUserData());
    if (kept != nullptr && level != CE_Debug) kept->push_back({level, number, text});
}

// While it exists, GDAL's lines of this thread about points outside a projection's domain
// are dropped; the others go on to the handler before it, in their order, when it ends.
class OutsideDomainQuiet {
public:
    OutsideDomainQuiet() { CPLPushErrorHandlerEx(keep_gdal_line, &kept_); }
    ~OutsideDomainQuiet() {
        CPLPopErrorHandler();
        for (const KeptGdalLine& line : kept_)
            if (!outside_projection_domain(line.text))
                CPLError(line.level, line.number, "%s", line.text.c_str());
    }
    OutsideDomainQuiet(const OutsideDomainQuiet&) = delete;
    OutsideDomainQuiet& operator=(const OutsideDomainQuiet&) = delete;

private:
    std::vector<KeptGdalLine> kept_;
};

}  // namespace

bool outside_projection_domain(const std::string& text) {
    return text.find("outside of projection domain") != std::string::npos ||
           text.rfind("Reprojection failed", 0) == 0;
}

void ingest_gdal_init() {
    static std::once_flag once;
    std::call_once(once, [] {
        GDALAllRegister();
        CPLSetConfigOption("GDAL_PAM_ENABLED", "NO");  // no .aux.xml beside the sources
    });
}

bool parse_resampling(const std::string& text, Resampling& method) {
    if (text == "nearest")
        method = Resampling::nearest;
    else if (text == "average")
        method = Resampling::average;
    else if (text == "bilinear")
        method = Resampling::bilinear;
    else if (text == "mode")
        method = Resampling::mode;
    else
        return false;
    return true;
}

const char* resampling_name(Resampling method) {
    switch (method) {
        case Resampling::nearest: return "nearest";
        case Resampling::average: return "average";
        case Resampling::bilinear: return "bilinear";
        case Resampling::mode: return "mode";
    }
    return "nearest";
}

GDALDatasetH make_float_dataset(int nx, int ny, const double geotransform[6],
                                const std::string& projection, std::vector<float>& values,
                                std::string& error) {
    ingest_gdal_init();
    GDALDriverH mem = GDALGetDriverByName("MEM");
    GDALDatasetH ds =
        mem != nullptr ? GDALCreate(mem, "", nx, ny, 0, GDT_Float32, nullptr) : nullptr;
    if (ds == nullptr) {
        error = last_gdal_error("GDAL cannot create an in-memory raster");
        return nullptr;
    }
    GDALSetGeoTransform(ds, const_cast<double*>(geotransform));
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    bool ok = OSRSetFromUserInput(srs, projection.c_str()) == OGRERR_NONE;
    char* wkt = nullptr;
    if (ok) ok = OSRExportToWkt(srs, &wkt) == OGRERR_NONE;
    if (ok) GDALSetProjection(ds, wkt);
    CPLFree(wkt);
    OSRDestroySpatialReference(srs);
    ok = ok && values.size() == static_cast<std::size_t>(nx) * ny;
    if (ok) {
        // the band is the vector's own buffer: no copy of the values
        char pointer[64];
        std::snprintf(pointer, sizeof pointer, "DATAPOINTER=%p", static_cast<void*>(values.data()));
        const char* band_options[] = {pointer, nullptr};
        ok = GDALAddBand(ds, GDT_Float32, const_cast<char**>(band_options)) == CE_None;
    }
    if (!ok) {
        error = "projection not understood by PROJ or values of the wrong size: " + projection;
        GDALClose(ds);
        return nullptr;
    }
    GDALSetRasterNoDataValue(GDALGetRasterBand(ds, 1), warp_no_data);
    return ds;
}

void warp_to_grid(const std::vector<GDALDatasetH>& sources, const Spatialinfodata& grid,
                  Resampling method, std::vector<float>& values, std::string& error, int& status,
                  bool geolocation) {
    ingest_gdal_init();
    status = ornax_status_failure;
    const int nx = grid.ncols, ny = grid.nrows;
    std::vector<float> north_first(static_cast<std::size_t>(nx) * ny, warp_no_data);
    const double north = grid.south_lat + static_cast<double>(ny) * grid.dlat;
    double gt[6] = {grid.west_lon, grid.dlon, 0.0, north, 0.0, -static_cast<double>(grid.dlat)};
    GDALDatasetH dst = make_float_dataset(nx, ny, gt, lonlat_wkt(), north_first, error);
    if (dst == nullptr) return;
    // the warper's chunks on every core: each cell is computed alone, so the values do not
    // depend on the thread that computes them
    const char* args[] = {"-r",     "near", "-srcnodata",     "-1e+30", "-dstnodata",
                          "-1e+30", "-wo",  "SOURCE_EXTRA=2", "-wo",    "NUM_THREADS=ALL_CPUS",
                          nullptr,  nullptr};
    const char* gdal_names[] = {"near", "average", "bilinear", "mode"};
    args[1] = gdal_names[static_cast<int>(method)];
    // in a reading process forked after the warper's threads started here: one thread
    if (!ingest_library_threads_usable())
        args[9] = "NUM_THREADS=1";
    else
        ingest_note_library_threads();
    if (geolocation) args[10] = "-geoloc";
    GDALWarpAppOptions* options = GDALWarpAppOptionsNew(const_cast<char**>(args), nullptr);
    bool ok = options != nullptr;
    for (GDALDatasetH src : sources) {
        if (!ok) break;
        int usage_error = 0;
        GDALDatasetH s = src;
        CPLErrorReset();
        {
            // cells outside the source projection's domain stay without data, unannounced
            const OutsideDomainQuiet quiet;
            ok =
                GDALWarp(nullptr, dst, 1, &s, options, &usage_error) != nullptr && usage_error == 0;
        }
        if (!ok) error = last_gdal_error("GDAL's warper failed");
    }
    if (options != nullptr) GDALWarpAppOptionsFree(options);
    GDALClose(dst);  // the warper wrote into north_first
    if (!ok) return;
    values.assign(north_first.size(), warp_no_data);
    for (int r = 0; r < ny; ++r)  // row 1 of the model is the southern row
        std::copy_n(north_first.begin() + static_cast<std::ptrdiff_t>(ny - 1 - r) * nx, nx,
                    values.begin() + static_cast<std::ptrdiff_t>(r) * nx);
    status = 0;
}

void footprint_lonlat(GDALDatasetH dataset, double box[4], std::string& error, int& status) {
    status = ornax_status_failure;
    double gt[6];
    OGRCoordinateTransformationH t = lonlat_transform(dataset, true);
    if (t == nullptr || GDALGetGeoTransform(dataset, gt) != CE_None) {
        error = "no projection or georeferencing GDAL can read";
        return;
    }
    // Samples along and inside the edges: off-earth points of a geostationary disk fail
    // to transform and are skipped.
    const int n = 41;
    const int nx = GDALGetRasterXSize(dataset), ny = GDALGetRasterYSize(dataset);
    std::vector<double> x, y;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            const double px = nx * static_cast<double>(i) / n, py = ny * static_cast<double>(j) / n;
            x.push_back(gt[0] + px * gt[1] + py * gt[2]);
            y.push_back(gt[3] + px * gt[4] + py * gt[5]);
        }
    std::vector<int> ok(x.size(), 0);
    {
        const OutsideDomainQuiet quiet;
        OCTTransformEx(t, static_cast<int>(x.size()), x.data(), y.data(), nullptr, ok.data());
    }
    box[0] = box[1] = 1e30;
    box[2] = box[3] = -1e30;
    for (std::size_t k = 0; k < x.size(); ++k) {
        if (!ok[k] || !std::isfinite(x[k]) || !std::isfinite(y[k])) continue;
        box[0] = std::min(box[0], x[k]), box[2] = std::max(box[2], x[k]);
        box[1] = std::min(box[1], y[k]), box[3] = std::max(box[3], y[k]);
    }
    if (box[0] > box[2]) {
        error = "no point of the raster lies on the earth";
        return;
    }
    status = 0;
}

long cells_inside(const Spatialinfodata& grid, const std::vector<std::array<double, 4>>& boxes) {
    long inside = 0;
    for (int r = 1; r <= grid.nrows; ++r) {
        const double lat = grid.south_lat + (r - 0.5) * grid.dlat;
        for (int c = 1; c <= grid.ncols; ++c) {
            const double lon = grid.west_lon + (c - 0.5) * grid.dlon;
            for (const auto& b : boxes)
                if (lon >= b[0] && lon <= b[2] && lat >= b[1] && lat <= b[3]) {
                    ++inside;
                    break;
                }
        }
    }
    return inside;
}

void footprint_cells(GDALDatasetH dataset, const Spatialinfodata& grid, std::vector<char>& covered,
                     std::string& error, int& status) {
    status = ornax_status_failure;
    const std::size_t cells = static_cast<std::size_t>(grid.ncols) * grid.nrows;
    if (covered.size() != cells) covered.assign(cells, 0);
    double gt[6], inv[6];
    if (GDALGetGeoTransform(dataset, gt) != CE_None || !GDALInvGeoTransform(gt, inv)) {
        error = "no geotransform to place its pixels";
        return;
    }
    OGRCoordinateTransformationH to_src = lonlat_transform(dataset, false);
    if (to_src == nullptr) {
        error = "its projection cannot be transformed from longitude/latitude";
        return;
    }
    const int nx = GDALGetRasterXSize(dataset), ny = GDALGetRasterYSize(dataset);
    std::vector<double> x(static_cast<std::size_t>(grid.ncols)), y(x.size());
    std::vector<int> ok(x.size());
    for (int r = 0; r < grid.nrows; ++r) {
        const double lat = grid.south_lat + (r + 0.5) * grid.dlat;
        for (int c = 0; c < grid.ncols; ++c)
            x[c] = grid.west_lon + (c + 0.5) * grid.dlon, y[c] = lat;
        OCTTransformEx(to_src, grid.ncols, x.data(), y.data(), nullptr, ok.data());
        for (int c = 0; c < grid.ncols; ++c) {
            if (!ok[c] || !std::isfinite(x[c]) || !std::isfinite(y[c])) continue;
            const double px = inv[0] + inv[1] * x[c] + inv[2] * y[c];
            const double py = inv[3] + inv[4] * x[c] + inv[5] * y[c];
            if (px >= 0.0 && px < nx && py >= 0.0 && py < ny)
                covered[static_cast<std::size_t>(r) * grid.ncols + c] = 1;
        }
    }
    status = 0;
}

double pixel_size_km(GDALDatasetH dataset, double lon, double lat) {
    double gt[6], inv[6];
    if (GDALGetGeoTransform(dataset, gt) != CE_None || !GDALInvGeoTransform(gt, inv)) return 0.0;
    OGRCoordinateTransformationH to_src = lonlat_transform(dataset, false);
    OGRCoordinateTransformationH to_geo = lonlat_transform(dataset, true);
    double size = 0.0;
    double x = lon, y = lat;
    if (to_src != nullptr && to_geo != nullptr && OCTTransform(to_src, 1, &x, &y, nullptr)) {
        const double px = std::floor(inv[0] + x * inv[1] + y * inv[2]);
        const double py = std::floor(inv[3] + x * inv[4] + y * inv[5]);
        double cx[3], cy[3];
        const double di[3] = {0, 1, 0}, dj[3] = {0, 0, 1};
        for (int k = 0; k < 3; ++k) {
            cx[k] = gt[0] + (px + di[k]) * gt[1] + (py + dj[k]) * gt[2];
            cy[k] = gt[3] + (px + di[k]) * gt[4] + (py + dj[k]) * gt[5];
        }
        int ok[3] = {0, 0, 0};
        const OutsideDomainQuiet quiet;
        OCTTransformEx(to_geo, 3, cx, cy, nullptr, ok);
        if (ok[0] && ok[1] && ok[2])
            size = std::max(distance_km(cx[0], cy[0], cx[1], cy[1]),
                            distance_km(cx[0], cy[0], cx[2], cy[2]));
    }
    return size;
}
