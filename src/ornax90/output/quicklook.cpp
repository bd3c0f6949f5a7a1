// Quicklook maps: drawing on an RGB canvas and PNG encoding with libpng.
#include "ornax90/output/quicklook.hpp"

#include <png.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstdio>

#include "ornax90/output/quality.hpp"
#include "ornax90/output/sidecars.hpp"

namespace {

constexpr Ornaxrgbtype white{255, 255, 255}, black{0, 0, 0};
constexpr int font_scale = 2;               // glyphs drawn 10 x 14 pixels
constexpr int char_width = 6 * font_scale;  // advance per character
constexpr int char_height = 7 * font_scale;
constexpr int largest_map_side = 800;  // pixels of the map's longer side, at most
constexpr int top_margin = 60, bottom_margin = 44, gap = 20;

struct Canvas {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    Canvas(int w, int h) : width(w), height(h), rgb(static_cast<size_t>(w) * h * 3, 255) {}
    void put(int x, int y, Ornaxrgbtype c) {
        if (x < 0 || y < 0 || x >= width || y >= height) return;
        unsigned char* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
        p[0] = c.r;
        p[1] = c.g;
        p[2] = c.b;
    }
    void fill(int x, int y, int w, int h, Ornaxrgbtype c) {
        for (int j = y; j < y + h; ++j)
            for (int i = x; i < x + w; ++i) put(i, j, c);
    }
    void frame(int x, int y, int w, int h, Ornaxrgbtype c) {
        fill(x - 1, y - 1, w + 2, 1, c);
        fill(x - 1, y + h, w + 2, 1, c);
        fill(x - 1, y, 1, h, c);
        fill(x + w, y, 1, h, c);
    }
    void text(int x, int y, const std::string& s, Ornaxrgbtype c) {
        for (size_t n = 0; n < s.size(); ++n) {
            const unsigned char* glyph = ornax_quicklook_glyph(s[n]);
            for (int col = 0; col < 5; ++col)
                for (int row = 0; row < 7; ++row)
                    if (glyph[col] & (1u << row))
                        fill(x + static_cast<int>(n) * char_width + col * font_scale,
                             y + row * font_scale, font_scale, font_scale, c);
        }
    }
};

int text_width(const std::string& s) {
    return static_cast<int>(s.size()) * char_width;
}

// Geometry of the map on the canvas: every `step`-th pixel, each drawn scale x scale.
struct MapFrame {
    int step = 1, scale = 1, cols = 0, rows = 0, x = 0, y = top_margin;
    int width() const { return cols * scale; }
    int height() const { return rows * scale; }
};

MapFrame map_frame(const Spatialinfodata& grid, int left) {
    MapFrame m;
    const int side = std::max(grid.ncols, grid.nrows);
    m.step = side > 2 * largest_map_side
                 ? (side + 2 * largest_map_side - 1) / (2 * largest_map_side)
                 : 1;
    m.cols = (grid.ncols + m.step - 1) / m.step;
    m.rows = (grid.nrows + m.step - 1) / m.step;
    m.scale = std::clamp(largest_map_side / std::max(m.cols, m.rows), 1, 12);
    m.x = left;
    return m;
}

// Index (south first) of the grid pixel shown at map cell (ox, oy), oy = 0 the north.
size_t source_index(const Spatialinfodata& grid, const MapFrame& m, int ox, int oy) {
    const int line = grid.nrows - 1 - oy * m.step;  // 0-based, south first
    return static_cast<size_t>(line) * grid.ncols + static_cast<size_t>(ox * m.step);
}

std::string degrees_label(float value, char positive, char negative) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f%c", std::fabs(value), value < 0 ? negative : positive);
    return text;
}

// Corner coordinates around the map: latitudes left, longitudes below.
void draw_corners(Canvas& c, const Spatialinfodata& grid, const MapFrame& m) {
    const float north = grid.south_lat + grid.nrows * grid.dlat;
    const float east = grid.west_lon + grid.ncols * grid.dlon;
    const std::string n = degrees_label(north, 'N', 'S'),
                      s = degrees_label(grid.south_lat, 'N', 'S');
    c.text(m.x - 8 - text_width(n), m.y, n, black);
    c.text(m.x - 8 - text_width(s), m.y + m.height() - char_height, s, black);
    const std::string w = degrees_label(grid.west_lon, 'E', 'W'), e = degrees_label(east, 'E', 'W');
    c.text(m.x, m.y + m.height() + 10, w, black);
    c.text(m.x + m.width() - text_width(e), m.y + m.height() + 10, e, black);
}

int left_margin(const Spatialinfodata& grid) {
    const std::string n = degrees_label(grid.south_lat + grid.nrows * grid.dlat, 'N', 'S');
    return 16 + std::max(text_width(n), text_width(degrees_label(grid.south_lat, 'N', 'S')));
}

std::string tick_label(double value, double range) {
    char text[32];
    if (range >= 10.0)
        std::snprintf(text, sizeof text, "%.1f", value);
    else if (range >= 1.0)
        std::snprintf(text, sizeof text, "%.2f", value);
    else
        std::snprintf(text, sizeof text, "%.3g", value);
    return text;
}

// PNG bytes of the canvas; false when libpng fails.
bool encode_png(const Canvas& c, std::string& bytes) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    bytes.clear();
    png_set_write_fn(
        png, &bytes,
        [](png_structp p, png_bytep data, png_size_t length) {
            static_cast<std::string*>(png_get_io_ptr(p))
                ->append(reinterpret_cast<char*>(data), length);
        },
        nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(c.width), static_cast<png_uint_32>(c.height),
                 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    // The maps are blocks of flat colour: the fastest deflate level and the "Up" filter
    // keep them small at a fraction of the default cost, which the run would pay serially.
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_write_info(png, info);
    for (int y = 0; y < c.height; ++y)
        png_write_row(png, &c.rgb[static_cast<size_t>(y) * c.width * 3]);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

void publish_png(const std::string& path, const Canvas& canvas, int& status) {
    std::string bytes;
    status = ornax_status_failure;
    if (!encode_png(canvas, bytes)) return;
    ornax_publish_text_file(path, bytes, status);
}

bool grid_matches(const Spatialinfodata& grid, size_t size) {
    return grid.ncols > 0 && grid.nrows > 0 &&
           size == static_cast<size_t>(grid.ncols) * static_cast<size_t>(grid.nrows);
}

}  // namespace

Ornaxrgbtype ornax_viridis(float t) {
    static constexpr std::array<Ornaxrgbtype, 11> stops = {{{68, 1, 84},
                                                            {72, 36, 117},
                                                            {65, 68, 135},
                                                            {53, 95, 141},
                                                            {42, 120, 142},
                                                            {33, 145, 140},
                                                            {34, 168, 132},
                                                            {68, 191, 112},
                                                            {122, 209, 81},
                                                            {189, 223, 38},
                                                            {253, 231, 37}}};
    const float x = std::clamp(std::isfinite(t) ? t : 0.0f, 0.0f, 1.0f) * 10.0f;
    const int i = std::min(static_cast<int>(x), 9);
    const float f = x - static_cast<float>(i);
    auto mix = [f](unsigned char a, unsigned char b) {
        return static_cast<unsigned char>(std::lround(a + (b - a) * f));
    };
    return {mix(stops[i].r, stops[i + 1].r), mix(stops[i].g, stops[i + 1].g),
            mix(stops[i].b, stops[i + 1].b)};
}

Ornaxrgbtype ornax_quality_colour(int flag) {
    for (const Ornaxqualityflaginfotype& listed : ornax_quality_flags())
        if (listed.value == flag) return {listed.colour[0], listed.colour[1], listed.colour[2]};
    return black;  // a value outside the table
}

void ornax_write_value_quicklook(const std::string& path, const std::vector<float>& values,
                                 const Spatialinfodata& grid, float missing,
                                 const std::string& title, const std::string& units, int& status) {
    status = ornax_status_failure;
    if (!grid_matches(grid, values.size())) return;
    bool any = false;
    float low = 0.0f, high = 1.0f;
    for (float v : values) {
        if (v == missing || !std::isfinite(v)) continue;
        if (!any || v < low) low = v;
        if (!any || v > high) high = v;
        any = true;
    }
    if (!any) {
        low = 0.0f;
        high = 1.0f;
    }
    if (high <= low) {  // one value everywhere: a ramp around it
        low -= 0.5f;
        high += 0.5f;
    }

    MapFrame m = map_frame(grid, left_margin(grid));
    const int bar_x = m.x + m.width() + gap + 10, bar_w = 24;
    const int bar_h = std::max(m.height(), 160);
    const int right = std::max(gap + 10 + bar_w + 8 + text_width("-00000.0") + 10,
                               gap + 10 + text_width(units) + 10);
    const int width = std::max(m.x + m.width() + right, text_width(title) + 20);
    Canvas c(width, top_margin + bar_h + bottom_margin + 30);
    c.text(10, 12, title, black);
    for (int oy = 0; oy < m.rows; ++oy)
        for (int ox = 0; ox < m.cols; ++ox) {
            const float v = values[source_index(grid, m, ox, oy)];
            const bool valid = v != missing && std::isfinite(v);
            c.fill(m.x + ox * m.scale, m.y + oy * m.scale, m.scale, m.scale,
                   valid ? ornax_viridis((v - low) / (high - low)) : ornax_quicklook_missing);
        }
    c.frame(m.x, m.y, m.width(), m.height(), black);
    draw_corners(c, grid, m);

    // colour bar, largest value at the top, with the unit above it
    c.text(bar_x, m.y - char_height - 6, units, black);
    for (int y = 0; y < bar_h; ++y)
        c.fill(bar_x, m.y + y, bar_w, 1, ornax_viridis(1.0f - static_cast<float>(y) / (bar_h - 1)));
    c.frame(bar_x, m.y, bar_w, bar_h, black);
    for (int k = 0; k <= 4; ++k) {
        const int y = m.y + (bar_h - 1) * k / 4;
        const double value = high - (static_cast<double>(high) - low) * k / 4.0;
        c.fill(bar_x + bar_w, y, 5, 1, black);
        c.text(bar_x + bar_w + 8,
               std::clamp(y - char_height / 2, m.y - 2, m.y + bar_h - char_height),
               tick_label(value, static_cast<double>(high) - low), black);
    }
    const int swatch_y = m.y + bar_h + 12;
    c.fill(bar_x, swatch_y, bar_w, char_height, ornax_quicklook_missing);
    c.frame(bar_x, swatch_y, bar_w, char_height, black);
    c.text(bar_x + bar_w + 8, swatch_y, "missing", black);
    publish_png(path, c, status);
}

void ornax_write_quality_quicklook(const std::string& path, const std::vector<unsigned char>& flags,
                                   const Spatialinfodata& grid, const std::string& title,
                                   int& status) {
    status = ornax_status_failure;
    if (!grid_matches(grid, flags.size())) return;
    std::array<long long, 256> counts{};
    for (unsigned char f : flags) ++counts[f];
    std::vector<std::string> labels;
    std::vector<Ornaxrgbtype> colours;
    long long listed = 0;
    for (const Ornaxqualityflaginfotype& flag : ornax_quality_flags()) {
        const long long n = counts[static_cast<size_t>(flag.value)];
        listed += n;
        if (n == 0) continue;
        labels.push_back(std::to_string(flag.value) + " " + flag.label + " (" + std::to_string(n) +
                         ")");
        colours.push_back(ornax_quality_colour(flag.value));
    }
    if (listed < static_cast<long long>(flags.size())) {
        labels.push_back("other (" + std::to_string(static_cast<long long>(flags.size()) - listed) +
                         ")");
        colours.push_back(black);
    }
    MapFrame m = map_frame(grid, left_margin(grid));
    int legend_w = text_width("Quality flag (pixels)");
    for (const std::string& l : labels) legend_w = std::max(legend_w, 24 + text_width(l));
    const int legend_x = m.x + m.width() + gap + 10;
    const int legend_h = 30 + 26 * static_cast<int>(labels.size());
    const int width = std::max(legend_x + legend_w + 16, text_width(title) + 20);
    Canvas c(width, top_margin + std::max(m.height(), legend_h) + bottom_margin);
    c.text(10, 12, title, black);
    for (int oy = 0; oy < m.rows; ++oy)
        for (int ox = 0; ox < m.cols; ++ox)
            c.fill(m.x + ox * m.scale, m.y + oy * m.scale, m.scale, m.scale,
                   ornax_quality_colour(flags[source_index(grid, m, ox, oy)]));
    c.frame(m.x, m.y, m.width(), m.height(), black);
    draw_corners(c, grid, m);
    c.text(legend_x, m.y, "Quality flag (pixels)", black);
    for (size_t i = 0; i < labels.size(); ++i) {
        const int y = m.y + 30 + 26 * static_cast<int>(i);
        c.fill(legend_x, y, 16, 16, colours[i]);
        c.frame(legend_x, y, 16, 16, black);
        c.text(legend_x + 24, y + 1, labels[i], black);
    }
    publish_png(path, c, status);
}
