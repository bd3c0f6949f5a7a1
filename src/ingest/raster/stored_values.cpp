// Stored values of a raster band to the values written on a model grid.
#include "ingest/raster/stored_values.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <type_traits>

namespace {

bool parse_pair(const std::string& text, double& a, double& b) {
    return std::sscanf(text.c_str(), "%lf , %lf", &a, &b) == 2 ||
           std::sscanf(text.c_str(), "%lf %lf", &a, &b) == 2;
}

bool in_codes(const RasterRules& r, double v) {
    for (const auto& [lo, hi] : r.missing_codes)
        if (v >= lo && v <= hi) return true;
    return false;
}

template <typename T> void look_up(const T* stored, std::size_t n, StoredTable& t, float* out) {
    for (std::size_t k = 0; k < n; ++k) {
        const auto code = static_cast<std::make_unsigned_t<T>>(stored[k]);
        out[k] = t.value[code];
        ++t.count[code];
    }
}

}  // namespace

std::string raster_metadata(GDALDatasetH ds, const char* key, int band) {
    const char* v = GDALGetRasterCount(ds) >= band
                        ? GDALGetMetadataItem(GDALGetRasterBand(ds, band), key, nullptr)
                        : nullptr;
    if (v == nullptr) v = GDALGetMetadataItem(ds, key, nullptr);
    if (v == nullptr)
        v = GDALGetMetadataItem(ds, (std::string("NC_GLOBAL#") + key).c_str(), nullptr);
    return v != nullptr ? v : "";
}

StoredRules raster_stored_rules(GDALDatasetH ds, bool hdf4, const RasterRules& rules) {
    StoredRules s;
    const int number = rules.band == 0 ? 1 : rules.band;
    GDALRasterBandH band = GDALGetRasterBand(ds, number);
    int has = 0;
    const double nodata = GDALGetRasterNoDataValue(band, &has);
    if (has) s.has_fill = true, s.fill = nodata;
    const std::string fill_text = raster_metadata(ds, "_FillValue", number);
    if (!s.has_fill && !fill_text.empty()) s.has_fill = true, s.fill = std::atof(fill_text.c_str());
    if (rules.scale_given) {
        s.scale = rules.scale, s.offset = rules.offset, s.scale_origin = "given";
    } else if (hdf4 && !raster_metadata(ds, "scale_factor", number).empty()) {
        s.scale = std::atof(raster_metadata(ds, "scale_factor", number).c_str());
        s.offset = std::atof(raster_metadata(ds, "add_offset", number).c_str());
        s.hdf4_convention = true, s.scale_origin = "file (HDF4: scale x (stored - offset))";
    } else {
        int hs = 0, ho = 0;
        const double sc = GDALGetRasterScale(band, &hs), of = GDALGetRasterOffset(band, &ho);
        if ((hs && sc != 1.0) || (ho && of != 0.0))
            s.scale = sc, s.offset = of, s.scale_origin = "file (stored x scale + offset)";
    }
    if (rules.valid_given) {
        s.has_valid = true, s.valid_min = rules.valid_min, s.valid_max = rules.valid_max;
    } else {
        s.has_valid =
            parse_pair(raster_metadata(ds, "valid_range", number), s.valid_min, s.valid_max);
    }
    return s;
}

float raster_written_value(double v, const StoredRules& s, const RasterRules& r) {
    if (std::isnan(v) || (s.has_fill && v == s.fill) || in_codes(r, v) ||
        (s.has_valid && (v < s.valid_min || v > s.valid_max)))
        return warp_no_data;
    if (!r.class_map.empty()) {
        for (const auto& [code, out] : r.class_map)
            if (v == code) return out;
        return warp_no_data;  // a class without a mapping is not data
    }
    return static_cast<float>(s.hdf4_convention ? s.scale * (v - s.offset)
                                                : v * s.scale + s.offset);
}

StoredTable raster_stored_table(GDALDataType type, const StoredRules& s, const RasterRules& r) {
    StoredTable t;
    if (type != GDT_Byte && type != GDT_UInt16 && type != GDT_Int16) return t;
    t.type = type;
    const std::size_t n = type == GDT_Byte ? 256 : 65536;
    t.value.resize(n);
    t.count.assign(n, 0);
    for (std::size_t k = 0; k < n; ++k) {
        const double stored = type == GDT_Int16 ? static_cast<double>(static_cast<std::int16_t>(k))
                                                : static_cast<double>(k);
        t.value[k] = raster_written_value(stored, s, r);
    }
    return t;
}

bool raster_read_converted(GDALRasterBandH band, int nx, int ny, const StoredRules& s,
                           const RasterRules& rules, StoredTable& table, std::vector<float>& v) {
    v.resize(static_cast<std::size_t>(nx) * ny);
    int bx = 0, by = 0;
    GDALGetBlockSize(band, &bx, &by);
    const int row_bytes = std::max(nx, 1) * 4;
    const int strip = std::max(std::max(by, 1), (1 << 22) / row_bytes / std::max(by, 1) * by);
    std::vector<unsigned char> stored;
    for (int row = 0; row < ny; row += strip) {
        const int rows = std::min(strip, ny - row);
        const std::size_t n = static_cast<std::size_t>(nx) * rows;
        float* out = v.data() + static_cast<std::size_t>(row) * nx;
        bool ok = false;
        if (table.type == GDT_Unknown) {
            ok = GDALRasterIO(band, GF_Read, 0, row, nx, rows, out, nx, rows, GDT_Float32, 0, 0) ==
                 CE_None;
            if (ok)
                for (std::size_t k = 0; k < n; ++k) out[k] = raster_written_value(out[k], s, rules);
        } else {
            stored.resize(n * static_cast<std::size_t>(GDALGetDataTypeSizeBytes(table.type)));
            ok = GDALRasterIO(band, GF_Read, 0, row, nx, rows, stored.data(), nx, rows, table.type,
                              0, 0) == CE_None;
            if (ok && table.type == GDT_Byte)
                look_up(stored.data(), n, table, out);
            else if (ok && table.type == GDT_UInt16)
                look_up(reinterpret_cast<const std::uint16_t*>(stored.data()), n, table, out);
            else if (ok)
                look_up(reinterpret_cast<const std::int16_t*>(stored.data()), n, table, out);
        }
        GDALFlushRasterCache(band);
        if (!ok) return false;
    }
    return true;
}
