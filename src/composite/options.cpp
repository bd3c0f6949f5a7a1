// Command line of ornax_composite: the folder of day folders, the output folder, the range,
// the gap limit and the window, or the anomaly mode over composite files.
#include <charconv>
#include <filesystem>

#include "composite/options.hpp"
#include "composite/gapfill.hpp"
#include "ornax90/output/guard.hpp"
#include "ornax90/type_kinds.hpp"
#include "utils/sunrise_mod.hpp"

namespace {

bool whole_number(const std::string& text, int low, int high, int& value) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return result.ec == std::errc() && result.ptr == end && value >= low && value <= high;
}

}  // namespace

std::string ornax_composite_usage(const std::string& program) {
    return "Usage: " + program +
           " [-o OUT_DIR] [-w DAYS|week|month] [-g MAX_GAP] [--first YYYYDDD] [--last YYYYDDD]\n"
           "       [--daily] DAYS_DIR\n"
           "  gap-filled daily ET and its composites from the dated day folders (YYYYDDD) of\n"
           "  DAYS_DIR; OUT_DIR (default DAYS_DIR/composite) gets ornax_composite.nc, a folder\n"
           "  per window and, with --daily, daily/YYYYDDD of every gap-filled day.\n"
           "  -w window: DAYS (default 7), week (7) or month (calendar months)\n"
           "  -g longest run of missing days that is filled (default 10, at most 60)\n"
           "   " +
           program +
           " --anomaly [--min-years N] -o FILE.nc COMPOSITE.nc...\n"
           "  standardized anomaly of the mean ratio of each window over the years of the\n"
           "  composite files (flagged where fewer than N years, default 3, have it)\n";
}

void ornax_composite_parse(const std::vector<std::string>& args, Ornaxcompositeoptionstype& options,
                           std::string& why, int& status) {
    status = ornax_status_failure;
    options = Ornaxcompositeoptionstype{};
    bool anomaly = false;
    std::string output;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-h" || a == "--help") {
            status = 1;
            return;
        }
        if (a == "--daily") {
            options.daily = true;
            continue;
        }
        if (a == "--anomaly") {
            anomaly = true;
            continue;
        }
        const bool takes_value = a == "-o" || a == "-w" || a == "-g" || a == "--first" ||
                                 a == "--last" || a == "--min-years";
        if (!takes_value) {
            if (!a.empty() && a[0] == '-') {
                why = "unknown option " + a;
                return;
            }
            positional.push_back(a);
            continue;
        }
        if (i + 1 >= args.size()) {
            why = "option " + a + " needs a value";
            return;
        }
        const std::string& v = args[++i];
        bool ok = true;
        if (a == "-o") {
            output = v;
        } else if (a == "-w") {
            if (v == "week")
                options.window_days = 7;
            else if (v == "month")
                options.window_days = 0;
            else
                ok = whole_number(v, 1, 366, options.window_days);
        } else if (a == "-g") {
            ok = whole_number(v, 0, ornax_composite_max_gap_limit, options.max_gap);
        } else if (a == "--first") {
            ok = whole_number(v, 1001, 9999366, options.first);
        } else if (a == "--last") {
            ok = whole_number(v, 1001, 9999366, options.last);
        } else {
            ok = whole_number(v, 2, 1000, options.min_years);
        }
        if (!ok) {
            why = "option " + a + ": " + v + " is not valid";
            return;
        }
    }
    // a day YYYYDDD of the range must exist, and the range must not end before it starts
    for (const auto& [name, day] : {std::pair<const char*, int>{"--first", options.first},
                                    std::pair<const char*, int>{"--last", options.last}}) {
        if (day == 0) continue;
        const int year = day / 1000, doy = day % 1000;
        if (doy < 1 || doy > (is_leap_year(year) ? 366 : 365)) {
            why = std::string("option ") + name + ": " + std::to_string(day) + " is no day (" +
                  std::to_string(year) + " has " + (is_leap_year(year) ? "366" : "365") + " days)";
            return;
        }
    }
    if (options.first != 0 && options.last != 0 && options.last < options.first) {
        why = "the range ends (--last " + std::to_string(options.last) + ") before it starts " +
              "(--first " + std::to_string(options.first) + ")";
        return;
    }
    if (anomaly) {
        if (output.empty() || positional.empty()) {
            why = "--anomaly needs -o FILE.nc and at least one composite file";
            return;
        }
        for (std::size_t k = 0; k < positional.size(); ++k) {
            if (ornax_same_file(output, positional[k])) {
                why = "the output " + output + " would replace the composite file " + positional[k];
                return;
            }
            for (std::size_t j = 0; j < k; ++j)
                if (ornax_same_file(positional[j], positional[k])) {
                    why = "the composite file " + positional[k] + " is given twice (as " +
                          positional[j] + ")";
                    return;
                }
        }
        options.anomaly_output = output;
        options.anomaly_inputs = positional;
    } else {
        if (positional.size() != 1) {
            why = positional.empty() ? "no DAYS_DIR given"
                                     : "more than one DAYS_DIR: " + positional[1];
            return;
        }
        options.input_dir = positional.front();
        options.output_dir = output.empty()
                                 ? (std::filesystem::path(options.input_dir) / "composite").string()
                                 : output;
    }
    status = 0;
}
