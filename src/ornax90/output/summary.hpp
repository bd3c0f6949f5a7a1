// Flag counts and value statistics of a region run, accumulated line by line, and the
// progress line of the line loop.
#pragma once

#include <array>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "ornax90/ORNAX_data_mod.hpp"
#include "ornax90/output/quality.hpp"

// Value statistics of one variable over the computed pixels (quality 0, not missing).
struct Ornaxvarstatstype {
    long long count = 0;
    double sum = 0.0;
    float minimum = 0.0f;
    float maximum = 0.0f;
};

// What one line contributed. Each line has its own slot, so lines may be added in any
// order, and from different threads as long as no two add the same line.
struct Ornaxlinesummarytype {
    bool added = false;
    bool failed = false;
    std::array<int, ornax_qc_max + 1> flags{};  // pixels per quality flag
    int other_flags = 0;                        // pixels with any other value
    std::vector<Ornaxvarstatstype> vars;        // one per listed variable
};

// Flag counts and statistics of a whole run, with the whole map of one variable (EDAY
// when listed) and of the quality flags for the quicklook pictures.
struct Ornaxoutputsummarytype {
    int ncols = 0;
    int nrows = 0;
    float missing = 0.0f;
    std::vector<std::string> names;  // listed variables, in list order
    std::vector<Ornaxlinesummarytype> lines;
    int map_index = -1;                      // list index of the mapped variable, -1 when none
    std::vector<float> map_values;           // ncols x nrows, line 1 (south) first
    std::vector<unsigned char> map_quality;  // ncols x nrows quality flags
};

// Totals over every added line.
struct Ornaxsummarytotalstype {
    int lines = 0;
    int failed_lines = 0;
    std::array<long long, ornax_qc_max + 1> flags{};
    long long other_flags = 0;
    std::vector<Ornaxvarstatstype> vars;
};

// Sizes the accumulator for a run grid and the listed variables; the variable named
// map_name (EDAY) is kept whole for its quicklook. status 0, or 3 when the grid is empty.
void ornax_output_summary_init(Ornaxoutputsummarytype& summary, const Spatialinfodata& run_grid,
                               const std::vector<std::string>& names, const std::string& map_name,
                               int& status);

// Adds line `line` (1-based): the output matrix (ncols x listed variables, column
// fastest) and the quality flags of its pixels. A failed line counts every pixel as
// the failed-line quality with missing values, as it is written. status 3 for a line outside the
// grid or arrays shorter than the grid.
void ornax_output_summary_add_line(Ornaxoutputsummarytype& summary, int line, bool failed,
                                   std::span<const float> out_matrix,
                                   std::span<const float> quality, int& status);

// Takes line `line` as another process added it: its slot, and its row of the mapped
// variable (unused when none is mapped) and of the quality flags, as the rasters hold them.
// status 3 for a line outside the grid, a slot not added or for other variables, or rows
// shorter than the grid.
void ornax_output_summary_adopt_line(Ornaxoutputsummarytype& summary, int line,
                                     const Ornaxlinesummarytype& slot,
                                     std::span<const float> map_row, std::span<const float> quality,
                                     int& status);

// Totals over every line added so far.
void ornax_output_summary_totals(const Ornaxoutputsummarytype& summary,
                                 Ornaxsummarytotalstype& totals);

// Progress of the line loop on `stream`: on a terminal one line rewritten after every
// line; otherwise a plain line each time another tenth of the lines is done, with the
// time left. next_tenth starts at 1 and is advanced here.
void ornax_report_region_progress(std::FILE* stream, bool terminal, int lines_done, int nrows,
                                  long long computed, double seconds, int& next_tenth);
