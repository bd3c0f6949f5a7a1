// The command line of ornax_composite.
#pragma once

#include <string>
#include <vector>

#include "composite/gapfill.hpp"

// Default window length (days).
inline constexpr int ornax_composite_default_window = 7;
// Default fewest years for a standardized anomaly.
inline constexpr int ornax_composite_default_min_years = 3;

struct Ornaxcompositeoptionstype {
    std::string input_dir;    // folder of the dated day folders
    std::string output_dir;   // default input_dir/composite
    int first = 0, last = 0;  // YYYYDDD, 0 = from the folders
    int max_gap = ornax_composite_default_max_gap;
    int window_days = ornax_composite_default_window;  // 0: calendar months
    bool daily = false;                                // also write the gap-filled days
    // anomalies of composite files instead of composites of days
    std::vector<std::string> anomaly_inputs;
    std::string anomaly_output;  // the anomaly file
    int min_years = ornax_composite_default_min_years;
    std::vector<std::string> command_line;
};

// Options from the arguments after the program name. status 0; 1 for --help; 3 with
// `why` naming the argument.
void ornax_composite_parse(const std::vector<std::string>& args, Ornaxcompositeoptionstype& options,
                           std::string& why, int& status);
// Usage text.
std::string ornax_composite_usage(const std::string& program);
