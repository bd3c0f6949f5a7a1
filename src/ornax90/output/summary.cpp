// Output metadata: flag counts and value statistics accumulated line by line, and the
// progress line of the line loop.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "ornax90/output/summary.hpp"

namespace {

// Quality flag of a stored value; -1 for anything that is not a flag.
int flag_of(float q) {
    if (!(q >= 0.0f && q <= static_cast<float>(ornax_qc_max))) return -1;
    const int flag = static_cast<int>(q);
    return static_cast<float>(flag) == q ? flag : -1;
}

void add_value(Ornaxvarstatstype& stats, float value) {
    if (stats.count == 0 || value < stats.minimum) stats.minimum = value;
    if (stats.count == 0 || value > stats.maximum) stats.maximum = value;
    stats.sum += value;
    ++stats.count;
}

void merge(Ornaxvarstatstype& total, const Ornaxvarstatstype& part) {
    if (part.count == 0) return;
    if (total.count == 0 || part.minimum < total.minimum) total.minimum = part.minimum;
    if (total.count == 0 || part.maximum > total.maximum) total.maximum = part.maximum;
    total.sum += part.sum;
    total.count += part.count;
}

}  // namespace

void ornax_output_summary_init(Ornaxoutputsummarytype& summary, const Spatialinfodata& run_grid,
                               const std::vector<std::string>& names, const std::string& map_name,
                               int& status) {
    summary = Ornaxoutputsummarytype{};
    status = ornax_status_failure;
    if (run_grid.ncols < 1 || run_grid.nrows < 1) return;
    summary.ncols = run_grid.ncols;
    summary.nrows = run_grid.nrows;
    summary.missing = run_grid.spare_value;
    summary.names = names;
    summary.lines.resize(static_cast<size_t>(run_grid.nrows));
    const auto found = std::find(names.begin(), names.end(), map_name);
    const size_t pixels = static_cast<size_t>(run_grid.ncols) * static_cast<size_t>(run_grid.nrows);
    if (found != names.end()) {
        summary.map_index = static_cast<int>(found - names.begin());
        summary.map_values.assign(pixels, run_grid.spare_value);
    }
    summary.map_quality.assign(pixels, static_cast<unsigned char>(ornax_qc_all_missing));
    status = 0;
}

namespace {

// Places line `line`'s rows of the mapped variable and of the quality flags in the whole
// maps: a failed line as written, missing values with the failed-line quality.
void place_map_rows(Ornaxoutputsummarytype& summary, int line, bool failed,
                    std::span<const float> map_row, std::span<const float> quality) {
    const size_t ncols = static_cast<size_t>(summary.ncols);
    const size_t first = static_cast<size_t>(line - 1) * ncols;
    for (size_t k = 0; k < ncols; ++k) {
        const int flag = failed ? ornax_qc_failed_line : flag_of(quality[k]);
        summary.map_quality[first + k] =
            static_cast<unsigned char>(flag < 0 ? ornax_qc_all_missing : flag);
        if (summary.map_index >= 0)
            summary.map_values[first + k] = failed ? summary.missing : map_row[k];
    }
}

}  // namespace

void ornax_output_summary_add_line(Ornaxoutputsummarytype& summary, int line, bool failed,
                                   std::span<const float> out_matrix,
                                   std::span<const float> quality, int& status) {
    status = ornax_status_failure;
    const size_t ncols = static_cast<size_t>(summary.ncols);
    const size_t nvars = summary.names.size();
    if (line < 1 || line > summary.nrows) return;
    if (!failed && (quality.size() < ncols || out_matrix.size() < ncols * nvars)) return;
    Ornaxlinesummarytype slot;
    slot.added = true;
    slot.failed = failed;
    slot.vars.resize(nvars);
    if (failed) {
        slot.flags[ornax_qc_failed_line] = summary.ncols;
    } else {
        for (size_t k = 0; k < ncols; ++k) {
            const int flag = flag_of(quality[k]);
            if (flag < 0) {
                ++slot.other_flags;
            } else {
                ++slot.flags[static_cast<size_t>(flag)];
            }
            for (size_t i = 0; i < nvars; ++i) {
                const float value = out_matrix[i * ncols + k];
                if (flag == 0 && value != summary.missing && std::isfinite(value))
                    add_value(slot.vars[i], value);
            }
        }
    }
    place_map_rows(summary, line, failed,
                   summary.map_index >= 0 && !failed
                       ? out_matrix.subspan(static_cast<size_t>(summary.map_index) * ncols, ncols)
                       : std::span<const float>(),
                   quality);
    summary.lines[static_cast<size_t>(line - 1)] = std::move(slot);
    status = 0;
}

void ornax_output_summary_adopt_line(Ornaxoutputsummarytype& summary, int line,
                                     const Ornaxlinesummarytype& slot,
                                     std::span<const float> map_row, std::span<const float> quality,
                                     int& status) {
    status = ornax_status_failure;
    const size_t ncols = static_cast<size_t>(summary.ncols);
    if (line < 1 || line > summary.nrows || !slot.added || slot.vars.size() != summary.names.size())
        return;
    if (!slot.failed &&
        (quality.size() < ncols || (summary.map_index >= 0 && map_row.size() < ncols)))
        return;
    place_map_rows(summary, line, slot.failed, map_row, quality);
    summary.lines[static_cast<size_t>(line - 1)] = slot;
    status = 0;
}

void ornax_output_summary_totals(const Ornaxoutputsummarytype& summary,
                                 Ornaxsummarytotalstype& totals) {
    totals = Ornaxsummarytotalstype{};
    totals.vars.resize(summary.names.size());
    for (const Ornaxlinesummarytype& slot : summary.lines) {
        if (!slot.added) continue;
        ++totals.lines;
        totals.failed_lines += slot.failed ? 1 : 0;
        for (size_t f = 0; f < slot.flags.size(); ++f) totals.flags[f] += slot.flags[f];
        totals.other_flags += slot.other_flags;
        for (size_t i = 0; i < slot.vars.size() && i < totals.vars.size(); ++i)
            merge(totals.vars[i], slot.vars[i]);
    }
}

void ornax_report_region_progress(std::FILE* stream, bool terminal, int lines_done, int nrows,
                                  long long computed, double seconds, int& next_tenth) {
    if (nrows < 1) return;
    const double left = lines_done > 0 ? seconds * (nrows - lines_done) / lines_done : 0.0;
    if (terminal) {
        std::fprintf(stream,
                     "\r Line %d of %d, %lld pixels computed, %.1f s elapsed, about %.0f s left ",
                     lines_done, nrows, computed, seconds, left);
        if (lines_done == nrows) std::fputc('\n', stream);
        std::fflush(stream);
        return;
    }
    // a plain line each time the lines done pass another tenth of the grid
    if (static_cast<long long>(lines_done) * 10 < static_cast<long long>(next_tenth) * nrows)
        return;
    while (next_tenth <= 10 &&
           static_cast<long long>(lines_done) * 10 >= static_cast<long long>(next_tenth) * nrows)
        ++next_tenth;
    std::fprintf(stream,
                 " Line %d of %d (%d %%), %lld pixels computed, %.1f s elapsed, about %.0f s "
                 "left\n",
                 lines_done, nrows, static_cast<int>(100LL * lines_done / nrows), computed, seconds,
                 left);
    std::fflush(stream);
}
