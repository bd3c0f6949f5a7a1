// Checks of converted values against the model's plausibility and range tables.
#include "ingest/common/plausibility.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "ingest/common/support.hpp"
#include "ornax90/input_check/plausibility.hpp"
#include "ornax90/input_check/ranges.hpp"

namespace {

constexpr double celsius_offset = 273.15;
constexpr double gravity = 9.80665;

bool median_inside(const Ornaxplausible& p, double m) {
    return p.median_open ? m > p.median_low && m < p.median_high
                         : m >= p.median_low && m <= p.median_high;
}

std::string with_unit(const Ornaxplausible& p) {
    return *p.unit ? std::string(p.unit) : std::string("(no unit)");
}

// What most likely makes a median of `m` fall outside the row's bounds.
std::string likely_cause(const Ornaxplausible& p, double m) {
    const std::string unit = p.unit;
    if (unit == "K" && median_inside(p, m - celsius_offset))
        return "converted to K twice (273.15 added again)?";
    if (unit == "K" && median_inside(p, m + celsius_offset)) return "deg C?";
    struct Factor {
        double f;  // the values are f times what they should be
        const char* unit;
        const char* cause;
    };
    const Factor factors[] = {
        {1000.0, "kg/kg", "g/kg?"},
        {0.001, "W m-2", "kW m-2?"},
        {0.01, "Pa", "hPa?"},
        {0.001, "Pa", "kPa?"},
        {gravity, "gpm", "geopotential (m2 s-2, height multiplied by g)?"},
        {100.0, "", "percent?"},
        {0.01, "%", "a fraction where percent is expected?"},
        {10.0, "", "a scale factor 0.1 not applied?"},
        {0.1, "", "a scale factor 10 applied where none is due?"},
        {2.0, "", "a scale applied twice?"},
    };
    for (const Factor& f : factors)
        if ((*f.unit == '\0' || unit == f.unit) && median_inside(p, m / f.f)) return f.cause;
    if (std::fabs(m) > 100.0 * std::max(std::fabs(p.median_high), 1.0f))
        return "packed counts written without their scale_factor and add_offset?";
    return "a wrong unit, scale or offset?";
}

std::string median_problem(const Ornaxplausible& p, const std::string& name,
                           const std::string& found, double median) {
    return name + ": values " + ingest_number(median) + " median" + found + ": " +
           likely_cause(p, median) + " expected " + ingest_number(p.median_low) + ".." +
           ingest_number(p.median_high) + " " + with_unit(p);
}

std::string p95_problem(const Ornaxplausible& p, const std::string& name, const std::string& found,
                        double p95) {
    return name + ": 95th percentile " + ingest_number(p95) + found + ", expected at most " +
           ingest_number(p.p95_high) +
           ": a scale factor not applied, or a fill value read as data?";
}

std::string outside_problem(const Ornaxplausible& p, const std::string& name,
                            const std::string& found, long outside, std::size_t count,
                            double lowest, double highest) {
    return name + ": " + std::to_string(outside) + " of " + std::to_string(count) +
           " values outside the physical range " + ingest_number(p.value_low) + ".." +
           ingest_number(p.value_high) + " " + with_unit(p) + " (from " + ingest_number(lowest) +
           " to " + ingest_number(highest) + found +
           "): fill values without a bitmap or nodata tag, or a wrong scale?";
}

std::string field_name(const Ornaxplausible& p, const std::string& file, const std::string& field) {
    return file + ": " + field + (*p.quantity ? " (" + std::string(p.quantity) + ")" : "");
}

std::string unit_text(const std::string& unit_found) {
    return unit_found.empty() ? "" : " (unit \"" + unit_found + "\" in the file)";
}

// The median and the 95th percentile are the values of rank (n - 1) / 2 and
// floor(0.95 (n - 1)) among the n valid values in ascending order.
std::size_t median_rank(std::size_t n) {
    return (n - 1) / 2;
}
std::size_t p95_rank(std::size_t n) {
    return static_cast<std::size_t>(0.95 * static_cast<double>(n - 1));
}

template <typename T>
void check_values(const std::string& file, const std::string& field, const std::string& unit_found,
                  const std::string& key, std::span<const T> values,
                  std::vector<std::string>& problems) {
    const Ornaxplausible* p = ornax_plausible(key);
    if (p == nullptr) return;
    const std::string name = field_name(*p, file, field);
    // the median, the 95th percentile and the extremes of the sorted values, found by
    // selection: the median first, the percentile among the values above it (in the
    // values' own type, which orders them as their doubles do)
    std::vector<T> valid(values.size());
    std::size_t count = 0;
    for (T v : values) {
        valid[count] = v;
        count += std::isfinite(static_cast<double>(v)) ? 1 : 0;
    }
    valid.resize(count);
    if (valid.empty()) {
        problems.push_back(name + ": no valid value (every value missing or a fill value)");
        return;
    }
    const std::size_t mid = median_rank(valid.size());
    std::nth_element(valid.begin(), valid.begin() + static_cast<std::ptrdiff_t>(mid), valid.end());
    const double median = static_cast<double>(valid[mid]);
    const std::string found = unit_text(unit_found);
    if (!median_inside(*p, median)) {
        problems.push_back(median_problem(*p, name, found, median));
        return;
    }
    const std::size_t at95 = p95_rank(valid.size());
    if (at95 > mid)
        std::nth_element(valid.begin() + static_cast<std::ptrdiff_t>(mid) + 1,
                         valid.begin() + static_cast<std::ptrdiff_t>(at95), valid.end());
    const double p95 = static_cast<double>(valid[at95]);
    if (p95 > p->p95_high) {
        problems.push_back(p95_problem(*p, name, found, p95));
        return;
    }
    const double low = static_cast<double>(p->value_low), high = static_cast<double>(p->value_high);
    long outside = 0;
    for (T v : valid) {
        const double x = static_cast<double>(v);
        outside += (x < low) + (x > high);
    }
    if (outside == 0) return;
    const auto [lowest, highest] = std::minmax_element(valid.begin(), valid.end());
    problems.push_back(outside_problem(*p, name, found, outside, valid.size(),
                                       static_cast<double>(*lowest),
                                       static_cast<double>(*highest)));
}

}  // namespace

bool ingest_is_fill(double value, double file_missing) {
    return !std::isfinite(value) || value == file_missing || value == 9999.0 ||
           std::fabs(value) >= 9.99e20;
}

void check_field_plausible(const std::string& file, const std::string& field,
                           const std::string& unit_found, const std::string& key,
                           std::span<const float> values, std::vector<std::string>& problems) {
    check_values(file, field, unit_found, key, values, problems);
}

void check_field_plausible(const std::string& file, const std::string& field,
                           const std::string& unit_found, const std::string& key,
                           std::span<const double> values, std::vector<std::string>& problems) {
    check_values(file, field, unit_found, key, values, problems);
}

void check_counted_field_plausible(const std::string& file, const std::string& field,
                                   const std::string& unit_found, const std::string& key,
                                   std::span<const ValueCount> counted,
                                   std::vector<std::string>& problems) {
    const Ornaxplausible* p = ornax_plausible(key);
    if (p == nullptr) return;
    const std::string name = field_name(*p, file, field);
    std::vector<ValueCount> valid;
    std::size_t count = 0;
    for (const ValueCount& c : counted)
        if (std::isfinite(c.value) && c.count > 0) valid.push_back(c), count += c.count;
    if (count == 0) {
        problems.push_back(name + ": no valid value (every value missing or a fill value)");
        return;
    }
    std::sort(valid.begin(), valid.end(),
              [](const ValueCount& a, const ValueCount& b) { return a.value < b.value; });
    const auto at_rank = [&](std::size_t rank) {
        std::size_t below = 0;
        for (const ValueCount& c : valid) {
            below += c.count;
            if (rank < below) return static_cast<double>(c.value);
        }
        return static_cast<double>(valid.back().value);
    };
    const double median = at_rank(median_rank(count));
    const std::string found = unit_text(unit_found);
    if (!median_inside(*p, median)) {
        problems.push_back(median_problem(*p, name, found, median));
        return;
    }
    const double p95 = at_rank(p95_rank(count));
    if (p95 > p->p95_high) {
        problems.push_back(p95_problem(*p, name, found, p95));
        return;
    }
    const double low = static_cast<double>(p->value_low), high = static_cast<double>(p->value_high);
    long outside = 0;
    for (const ValueCount& c : valid) {
        const double x = static_cast<double>(c.value);
        outside += static_cast<long>(c.count) * ((x < low) + (x > high));
    }
    if (outside == 0) return;
    problems.push_back(outside_problem(*p, name, found, outside, count,
                                       static_cast<double>(valid.front().value),
                                       static_cast<double>(valid.back().value)));
}

void check_height_of_level(const std::string& file, const std::string& field, double pressure,
                           std::span<const double> values, std::vector<std::string>& problems) {
    if (!(pressure > 0.0)) return;
    std::vector<double> valid;
    for (double v : values)
        if (std::isfinite(v)) valid.push_back(v);
    if (valid.empty()) return;
    std::nth_element(valid.begin(), valid.begin() + static_cast<long>((valid.size() - 1) / 2),
                     valid.end());
    const double median = valid[(valid.size() - 1) / 2];
    // standard atmosphere up to 11 km, isothermal 216.65 K above
    const double tropopause = 22632.0;
    const double standard = pressure >= tropopause
                                ? 44330.8 * (1.0 - std::pow(pressure / 101325.0, 0.190263))
                                : 11000.0 + 6341.6 * std::log(tropopause / pressure);
    const double tolerance = 0.25 * standard + 600.0;
    if (std::fabs(median - standard) <= tolerance) return;
    std::string cause = "a wrong unit or level?";
    if (std::fabs(median / gravity - standard) <= tolerance)
        cause = "geopotential (m2 s-2, height multiplied by g)?";
    problems.push_back((file.empty() ? "" : file + ": ") + field + " (geopotential height at " +
                       ingest_number(pressure / 100.0) + " hPa): values " + ingest_number(median) +
                       " median: " + cause + " expected about " +
                       ingest_number(std::round(standard)) + " gpm (" +
                       ingest_number(std::round(standard - tolerance)) + ".." +
                       ingest_number(std::round(standard + tolerance)) + ")");
}

void check_number_in_range(const std::string& where, const std::string& key,
                           const std::string& quantity, double value,
                           std::vector<std::string>& problems) {
    const Ornaxinputrange* r = ornax_input_range(quantity);
    if (r == nullptr) return;
    if (value >= r->low && value <= r->high) return;
    problems.push_back(where + ": " + key + " = " + ingest_number(value) + " is outside " +
                       ingest_number(r->low) + ".." + ingest_number(r->high) +
                       (*r->unit ? " " + std::string(r->unit) : std::string()) + " (" + quantity +
                       ")");
}

std::string ingest_problems_text(const std::vector<std::string>& problems) {
    std::string text;
    for (const std::string& p : problems) text += (text.empty() ? "" : "; ") + p;
    return text;
}
