// Many independent points through the model core: the inputs of every point gathered from
// flat arrays into its land and input records, checked against the range table, run on
// the vector core (or the one-lane core of the site run) over threads, and the outputs of
// the output variable table, with a quality flag per point, written back to flat arrays.
#include "python/points.hpp"

#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "ornax90/ORNAX_core_mod.hpp"
#include "ornax90/input_check/ranges.hpp"
#include "ornax90/ORNAX_io_mod.hpp"
#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/ORNAX_region_mod.hpp"

namespace {

using L = Ornaxlandtype;
using I = Ornaxinputvartype;

constexpr int qc_computed = 0;
constexpr int qc_not_computed = 1;         // set on every point that was not computed
constexpr int core_debug_quiet = 2;        // core debug flag without diagnostic lines
constexpr std::size_t chunk_points = 512;  // points a thread gathers and runs at once

// One input of a point: a real or an integer field of the land or the input record, or a
// series (sounding levels, hours) of the input record.
struct Field {
    const char* name;
    Ornaxpointfieldkind kind;
    float L::*land_real = nullptr;
    int L::*land_int = nullptr;
    float I::*input_real = nullptr;
    int I::*input_int = nullptr;
    std::array<float, ornax_max_pbl_levels> I::*levels = nullptr;
    std::array<float, ornax_hours_per_day> I::*hours = nullptr;
    int qc_bits = 0;  // quality bits of a value that is not a number
    bool required = true;
};

constexpr int q_land = ornax_qc_land;
constexpr int q_veg = ornax_qc_vegetation;
constexpr int q_sat = ornax_qc_satellite;
constexpr int q_met = ornax_qc_meteorology;
using K = Ornaxpointfieldkind;

Field lr(const char* n, float L::*m, bool req = true) {
    return {n, K::scalar, m, nullptr, nullptr, nullptr, nullptr, nullptr, q_land, req};
}
Field li(const char* n, int L::*m, bool req = true) {
    return {n, K::scalar, nullptr, m, nullptr, nullptr, nullptr, nullptr, q_land, req};
}
Field ir(const char* n, float I::*m, int q, bool req = true) {
    return {n, K::scalar, nullptr, nullptr, m, nullptr, nullptr, nullptr, q, req};
}
Field ii(const char* n, int I::*m, int q, bool req = true) {
    return {n, K::scalar, nullptr, nullptr, nullptr, m, nullptr, nullptr, q, req};
}
Field il(const char* n, std::array<float, ornax_max_pbl_levels> I::*m) {
    return {n, K::levels, nullptr, nullptr, nullptr, nullptr, m, nullptr, q_met, true};
}
Field ih(const char* n, std::array<float, ornax_hours_per_day> I::*m, int q, bool req = true) {
    return {n, K::hours, nullptr, nullptr, nullptr, nullptr, nullptr, m, q, req};
}

// The site file's fields, in its order, then the inputs the site reader sets itself.
const std::vector<Field>& field_table() {
    static const std::vector<Field> fields = {
        li("landcover", &L::landcover, false),
        li("modis_class", &L::modis_class, false),
        li("water_flag", &L::water_flag, false),
        li("perennial_flag", &L::perennial_flag, false),
        lr("aleafv", &L::aleafv),
        lr("aleafn", &L::aleafn),
        lr("aleafl", &L::aleafl),
        lr("adeadv", &L::adeadv),
        lr("adeadn", &L::adeadn),
        lr("adeadl", &L::adeadl),
        lr("xl", &L::xl),
        lr("hmin", &L::hmin),
        lr("hmax", &L::hmax),
        lr("rsoil", &L::rsoil, false),
        lr("fcmin", &L::fcmin, false),
        ir("lon", &I::lon, 0),
        ir("lat", &I::lat, 0),
        ii("year", &I::year, 0),
        ii("doy", &I::doy, 0),
        ir("xlai", &I::xlai, q_veg),
        ir("xndvi", &I::xndvi, q_veg, false),
        ir("theta", &I::theta, q_sat),
        ir("tloc1", &I::tloc1, q_sat),
        ir("tloc2", &I::tloc2, q_sat),
        ir("trad1", &I::trad1, q_sat),
        ir("trad2", &I::trad2, q_sat),
        ir("sdn1", &I::sdn1, q_sat),
        ir("sdn2", &I::sdn2, q_sat),
        ir("lwdn1", &I::lwdn1, q_met),
        ir("lwdn2", &I::lwdn2, q_met),
        ir("wind1", &I::wind1, q_met),
        ir("wind2", &I::wind2, q_met),
        ir("taobs1", &I::taobs1, q_met),
        ir("taobs2", &I::taobs2, q_met),
        ir("pres1", &I::pres1, q_met),
        ir("pres2", &I::pres2, q_met),
        ir("spfh1", &I::spfh1, q_met),
        ir("spfh2", &I::spfh2, q_met),
        il("z_pbli", &I::z_pbli),
        il("th_pblk", &I::th_pblk),
        ih("tloc_day", &I::tloc_day, 0, false),
        ih("sdn_day", &I::sdn_day, q_sat),
        ih("taobs_day", &I::taobs_day, q_met),
        ih("spfh_day", &I::spfh_day, q_met),
        ih("pres_day", &I::pres_day, q_met),
        ih("wind_day", &I::wind_day, q_met),
        ih("lwdn_day", &I::lwdn_day, q_met),
        // set by the site reader; given here they replace its values
        ii("npbl", &I::npbl, q_met, false),
        ir("zu", &I::zu, q_met, false),
        ir("zblend", &I::zblend, q_met, false),
        ir("clump", &I::clump, q_veg, false),
        ir("fg", &I::fg, q_veg, false),
        ir("emis_soil", &I::emis_soil, q_land, false),
        ir("rsoilv", &I::rsoilv, q_land, false),
        ir("rsoiln", &I::rsoiln, q_land, false),
        ir("rs_correct", &I::rs_correct, q_land, false),
        // derived from the land record by the site rule unless given
        ir("fc", &I::fc, q_veg, false),
        ir("hc", &I::hc, q_veg, false),
    };
    return fields;
}

// A whole number held by a float, or false.
bool whole_number(float v, int& out) {
    if (!(std::fabs(v) < 1e9f) || std::trunc(v) != v) return false;
    out = static_cast<int>(v);
    return true;
}

struct Bound {
    const Field* field;
    const Ornaxpointarray* array;
    int width;  // 1, the number of levels, or 24
};

// The width values of a field at a byte offset of its input array, as floats, into `to`:
// contiguous float32 copied at once, any other stride or float64 value by value.
void read_values(const Ornaxpointarray& a, std::ptrdiff_t offset, int width, float* to) {
    const char* p = static_cast<const char*>(a.data) + offset;
    const std::ptrdiff_t step = a.series_stride;
    if (!a.double_precision && width == 1) {
        std::memcpy(to, p, sizeof(float));
    } else if (!a.double_precision && step == static_cast<std::ptrdiff_t>(sizeof(float))) {
        std::memcpy(to, p, static_cast<std::size_t>(width) * sizeof(float));
    } else if (!a.double_precision) {
        for (int k = 0; k < width; ++k) std::memcpy(to + k, p + k * step, sizeof(float));
    } else {
        for (int k = 0; k < width; ++k) {
            double v;
            std::memcpy(&v, p + k * step, sizeof v);
            to[k] = static_cast<float>(v);  // to nearest, as numpy's astype
        }
    }
}

// Whether none of n floats is infinite or not a number: the exponent bits of each are not
// all set (an integer test the compiler vectorises, unlike std::isfinite).
bool all_finite(const float* values, int n) {
    constexpr std::uint32_t exponent = 0x7f800000u;
    std::uint32_t special = 0;
    for (int k = 0; k < n; ++k) {
        std::uint32_t bits;
        std::memcpy(&bits, values + k, sizeof bits);
        special |= static_cast<std::uint32_t>((bits & exponent) == exponent);
    }
    return special == 0;
}

// The index of a point on every axis of the points' shape, stepped through in row-major
// order, and the byte offset of that point in each bound array.
struct PointCursor {
    const std::vector<std::size_t>& shape;
    std::vector<std::size_t> index;

    PointCursor(const std::vector<std::size_t>& s, std::size_t n) : shape(s), index(s.size()) {
        for (std::size_t d = shape.size(); d-- > 0;) {
            index[d] = n % shape[d];
            n /= shape[d];
        }
    }
    void advance() {
        for (std::size_t d = shape.size(); d-- > 0;) {
            if (++index[d] < shape[d]) return;
            index[d] = 0;
        }
    }
    std::ptrdiff_t offset(const Ornaxpointarray& a) const {
        if (index.size() == 1) return static_cast<std::ptrdiff_t>(index[0]) * a.strides[0];
        std::ptrdiff_t at = 0;
        for (std::size_t d = 0; d < index.size(); ++d)
            at += static_cast<std::ptrdiff_t>(index[d]) * a.strides[d];
        return at;
    }
};

// Gathers the records of point n at the cursor; returns the quality bits of the values
// that are not numbers (1 set with them), or throws for an integer field holding a fraction.
int gather_point(const std::vector<Bound>& bound, const PointCursor& at, std::size_t n, int nlevels,
                 bool has_npbl, bool has_fc, bool has_hc, Ornaxlandtype& land,
                 Ornaxinputvartype& input) {
    int bits = 0;
    for (const Bound& b : bound) {
        const Field& f = *b.field;
        // a series goes straight into its record array, a single value through v
        float v = 0.0f;
        float* to = f.levels ? (input.*f.levels).data() : f.hours ? (input.*f.hours).data() : &v;
        read_values(*b.array, at.offset(*b.array), b.width, to);
        if (!all_finite(to, b.width)) bits |= qc_not_computed | f.qc_bits;
        if (f.land_real) land.*f.land_real = v;
        if (f.input_real) input.*f.input_real = v;
        if (f.land_int || f.input_int) {
            int value = 0;
            if (std::isfinite(v) && !whole_number(v, value))
                throw std::invalid_argument(std::string(f.name) + " = " + std::to_string(v) +
                                            " is not a whole number (point " + std::to_string(n) +
                                            ")");
            if (f.land_int) land.*f.land_int = value;
            if (f.input_int) input.*f.input_int = value;
        }
    }
    if (!has_npbl) input.npbl = nlevels;
    if (input.npbl < 0 || input.npbl > nlevels) {
        if (bits == 0)
            throw std::invalid_argument("npbl = " + std::to_string(input.npbl) + " is outside 0.." +
                                        std::to_string(nlevels) + " (levels given; point " +
                                        std::to_string(n) + ")");
        input.npbl = 0;
    }
    const float fc = input.fc, hc = input.hc;
    ornax_site_canopy(land, input);
    if (has_fc) {
        input.fc = fc;
        input.hc = (land.hmax - land.hmin) * fc + land.hmin;
    }
    if (has_hc) input.hc = hc;
    return bits;
}

// Gathers, checks and runs one chunk of points [first, last).
void run_chunk(const Ornaxpointsrequest& rq, const std::vector<Bound>& bound, bool has_npbl,
               bool has_fc, bool has_hc, std::size_t first, std::size_t last,
               Ornaxlaneworkspace& workspace, Ornaxpointsresult& out, double& core_s) {
    const std::size_t count = last - first;
    std::vector<Ornaxlandtype> land(count);
    std::vector<Ornaxinputvartype> input(count);
    std::vector<int> flag(count, qc_computed);
    std::vector<Ornaxcorepoint> points;
    std::vector<std::size_t> which;
    points.reserve(count);
    PointCursor at(rq.shape, first);
    for (std::size_t i = 0; i < count; ++i, at.advance()) {
        const std::size_t n = first + i;
        int bits =
            gather_point(bound, at, n, rq.nlevels, has_npbl, has_fc, has_hc, land[i], input[i]);
        int failures = 0;
        Ornaxrangefailure first_failure;
        const int range_bits = ornax_check_input_ranges(land[i], input[i], ornax_hours_per_day,
                                                        failures, first_failure);
        if (failures != 0 && bits == 0 && !rq.flag_invalid)
            throw std::invalid_argument(ornax_range_failure_text(first_failure) + " (point " +
                                        std::to_string(n) + ")");
        if (failures != 0) bits |= qc_not_computed | range_bits;
        flag[i] = bits;
        if (bits != 0) continue;
        Ornaxcorepoint p;
        p.land = &land[i];
        p.input = &input[i];
        points.push_back(p);
        which.push_back(i);
    }
    const auto start = std::chrono::steady_clock::now();
    if (rq.one_lane) {
        for (Ornaxcorepoint& p : points)
            ornax(*p.land, *p.input, p.output, core_debug_quiet, rq.region_switch, p.status,
                  &p.diagnostics);
    } else {
        ornax_lanes_run(points, core_debug_quiet, rq.region_switch, &workspace);
    }
    core_s += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t n = first + i;
        out.fc[n] = input[i].fc;
        out.hc[n] = input[i].hc;
        out.evaluations[n] = 0;
    }
    std::vector<const Ornaxcorepoint*> result(count, nullptr);
    for (std::size_t k = 0; k < points.size(); ++k) result[which[k]] = &points[k];
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t n = first + i;
        const Ornaxcorepoint* p = result[i];
        // the screens of the region run: an outlier or an impossible daily ET is not computed
        bool good = p != nullptr && p->status == 0 && ornax_result_is_plausible(p->output) &&
                    ornax_daily_et_is_plausible(p->output);
        if (p != nullptr) {
            out.evaluations[n] = p->diagnostics.hn_evaluations;
            if (!good) flag[i] = qc_not_computed;
        }
        out.quality[n] = static_cast<unsigned char>(flag[i]);
        for (int code = 1; code <= ornax_max_out_vars; ++code) {
            float value = nan;
            if (good) ornax_output_value_by_code(p->output, code, value);
            out.values[static_cast<std::size_t>(code - 1)][n] = value;
        }
        out.energy_balance[n] = good ? ornax_site_energy_balance(p->output) : nan;
    }
}

}  // namespace

std::vector<Ornaxpointfieldinfo> ornax_point_fields() {
    std::vector<Ornaxpointfieldinfo> info;
    for (const Field& f : field_table()) info.push_back({f.name, f.kind, f.required});
    return info;
}

void ornax_run_point_arrays(const Ornaxpointsrequest& rq, Ornaxpointsresult& out) {
    std::vector<Bound> bound;
    bool has_npbl = false, has_fc = false, has_hc = false;
    for (const Field& f : field_table()) {
        const auto it = rq.inputs.find(f.name);
        if (it == rq.inputs.end()) continue;
        const int width = f.kind == K::scalar   ? 1
                          : f.kind == K::levels ? rq.nlevels
                                                : ornax_hours_per_day;
        const Ornaxpointarray& a = it->second;
        if (a.data == nullptr || a.strides.size() != rq.shape.size())
            throw std::invalid_argument(
                std::string(f.name) + ": " + std::to_string(a.strides.size()) +
                " strides for points of " + std::to_string(rq.shape.size()) + " axes");
        bound.push_back({&f, &a, width});
        has_npbl |= std::string(f.name) == "npbl";
        has_fc |= std::string(f.name) == "fc";
        has_hc |= std::string(f.name) == "hc";
    }
    const std::size_t n = ornax_point_count(rq.shape);
    out.values.assign(ornax_max_out_vars, std::vector<float>(n));
    out.fc.assign(n, 0.0f);
    out.hc.assign(n, 0.0f);
    out.energy_balance.assign(n, 0.0f);
    out.quality.assign(n, 0);
    out.evaluations.assign(n, 0);
    const std::size_t chunks = (n + chunk_points - 1) / chunk_points;
    std::string error;
    std::size_t error_chunk = chunks;  // the first failing chunk names the error
    double core_s = 0.0;
    const auto start = std::chrono::steady_clock::now();
    // no more threads than chunks: a thread without a chunk only costs its start
    const int threads = static_cast<int>(
        std::clamp<std::size_t>(chunks, 1, static_cast<std::size_t>(std::max(rq.threads, 1))));
#pragma omp parallel num_threads(threads) reduction(+ : core_s)
    {
        Ornaxlaneworkspace workspace;
        Ornaxmessagebuffer messages;  // the core's log lines: the flags say what they say
        OrnaxMessageCapture capture(messages);
#pragma omp for schedule(dynamic, 1)
        for (std::size_t c = 0; c < chunks; ++c) {
            bool stop = false;
#pragma omp critical(ornax_points_error)
            stop = c > error_chunk;
            if (stop) continue;
            try {
                run_chunk(rq, bound, has_npbl, has_fc, has_hc, c * chunk_points,
                          std::min(n, (c + 1) * chunk_points), workspace, out, core_s);
            } catch (const std::exception& e) {
#pragma omp critical(ornax_points_error)
                if (c < error_chunk) {
                    error_chunk = c;
                    error = e.what();
                }
            }
            messages.entries.clear();
        }
    }
    out.core_s = core_s;
    out.total_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!error.empty()) throw std::invalid_argument(error);
}

std::size_t ornax_point_count(const std::vector<std::size_t>& shape) {
    std::size_t count = 1;
    for (std::size_t extent : shape) count *= extent;
    return count;
}

void ornax_point_arrays_from_records(const std::vector<Ornaxlandtype>& land,
                                     const std::vector<Ornaxinputvartype>& input,
                                     std::map<std::string, std::vector<float>>& arrays,
                                     int& nlevels) {
    const std::size_t count = std::min(land.size(), input.size());
    nlevels = 1;
    for (std::size_t n = 0; n < count; ++n)
        nlevels = std::max(nlevels, std::min(input[n].npbl, ornax_max_pbl_levels));
    arrays.clear();
    for (const Field& f : field_table()) {
        const int width = f.kind == K::scalar   ? 1
                          : f.kind == K::levels ? nlevels
                                                : ornax_hours_per_day;
        std::vector<float>& values = arrays[f.name];
        values.resize(count * static_cast<std::size_t>(width));
        for (std::size_t n = 0; n < count; ++n) {
            float* v = values.data() + n * static_cast<std::size_t>(width);
            if (f.land_real) v[0] = land[n].*f.land_real;
            if (f.land_int) v[0] = static_cast<float>(land[n].*f.land_int);
            if (f.input_real) v[0] = input[n].*f.input_real;
            if (f.input_int) v[0] = static_cast<float>(input[n].*f.input_int);
            if (f.levels) std::copy_n((input[n].*f.levels).begin(), width, v);
            if (f.hours) std::copy_n((input[n].*f.hours).begin(), width, v);
        }
    }
}
