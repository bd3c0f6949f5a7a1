// Site input files from flux-tower records, and the site run's results against the towers'
// measured fluxes.
//
// Usage: ornax_tower_sites build   [--table FILE] FOLDER RECORD...
//        ornax_tower_sites compare [--table FILE] [--ornax EXE] FOLDER RECORD...
//
// A RECORD is a half-hourly comma-separated tower record (tower_sites/record.hpp) or an
// hourly tab-separated energy-balance table (tower_sites/hourly_table.hpp).
// build writes one site file per usable day of each record into FOLDER
// (SITE_YEAR_DOY.dat) and prints every assumption the files rest on and every day it skips,
// with the reason. compare does the same, runs `ornax.x -s FILE -l TABLE` on each file (in
// FOLDER) and prints, per day and as bias and RMSE per site and over all days, the daily ET
// against the measured daytime ET (as measured and closure-corrected) and the second-time
// Rn, H, LE and G against the tower's half-hour at that time. TABLE defaults to
// landcover.txt; EXE to ornax.x beside this program. Exit 0, 2 for a usage error, 3 when a
// record, the table or a file cannot be read or written.
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "ornax90/ORNAX_data_mod.hpp"
#include "ornax90/ORNAX_io_mod.hpp"
#include "ornax90/type_kinds.hpp"
#include "tower_sites/assumptions.hpp"
#include "tower_sites/hourly_table.hpp"
#include "tower_sites/record.hpp"
#include "tower_sites/site_day.hpp"
#include "utils/sunrise_mod.hpp"

namespace fs = std::filesystem;

namespace {

constexpr int exit_usage = 2;

struct Options {
    std::string mode;
    std::string table = "landcover.txt";
    std::string ornax;
    std::string folder;
    std::vector<std::string> records;
};

void usage() {
    std::fprintf(stderr, "usage: ornax_tower_sites build   [--table FILE] FOLDER RECORD...\n"
                         "       ornax_tower_sites compare [--table FILE] [--ornax EXE] FOLDER "
                         "RECORD...\n");
}

bool parse_options(int argc, char** argv, Options& o) {
    if (argc < 2) return false;
    o.mode = argv[1];
    if (o.mode != "build" && o.mode != "compare") return false;
    std::vector<std::string> rest;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--table" || a == "--ornax") && i + 1 < argc) {
            (a == "--table" ? o.table : o.ornax) = argv[++i];
        } else if (a.rfind("--", 0) == 0) {
            return false;
        } else {
            rest.push_back(a);
        }
    }
    if (rest.size() < 2) return false;
    o.folder = rest.front();
    o.records.assign(rest.begin() + 1, rest.end());
    if (o.ornax.empty()) {
        std::error_code error;
        const fs::path self = fs::read_symlink("/proc/self/exe", error);
        o.ornax = (error ? fs::path(".") : self.parent_path()) / "ornax.x";
    }
    return true;
}

// A usable day: its site file and the day's measurements.
struct BuiltDay {
    std::string site;
    std::string file;
    tower::TowerDay day;
};

std::string date_of(int year, int doy) {
    int month = 0, day = 0;
    get_mmdd_by_yyyydoy(year, doy, month, day);
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
    return text;
}

// A record read and its site known, before anything is written.
struct Loaded {
    tower::TowerRecord record;
    const tower::TowerSite* site = nullptr;
};

// Reads a record and finds its site; a message naming the file and line and status 3 if not.
int load_record(const std::string& path, int nclasses, const Options& o, Loaded& loaded) {
    std::string message;
    int status = 0;
    if (tower::is_hourly_table(path))
        tower::read_hourly_table(path, loaded.record, message, status);
    else
        tower::read_tower_record(path, loaded.record, message, status);
    if (status != 0) {
        std::fprintf(stderr, "ornax_tower_sites: %s\n", message.c_str());
        return ornax_status_failure;
    }
    loaded.site = tower::find_site(loaded.record.site);
    if (loaded.site == nullptr) {
        std::fprintf(stderr,
                     "ornax_tower_sites: %s:1: unknown site \"%s\" (position, class and "
                     "canopy are known for AT_Neu, DE_Tha, FR_Pue, monsoon90_1)\n",
                     path.c_str(), loaded.record.site.c_str());
        return ornax_status_failure;
    }
    if (loaded.site->landcover > nclasses) {
        std::fprintf(stderr, "ornax_tower_sites: %s: no class %d in the table (%d classes)\n",
                     o.table.c_str(), loaded.site->landcover, nclasses);
        return ornax_status_failure;
    }
    return 0;
}

// Prints a record's assumptions and days and writes the usable days' site files.
int build_record(const Loaded& loaded, const std::vector<Ornaxlandtype>& table, const Options& o,
                 std::vector<BuiltDay>& built) {
    const tower::TowerRecord& record = loaded.record;
    const tower::TowerSite* site = loaded.site;
    const std::string& path = record.path;
    const Ornaxlandtype& entry = table[static_cast<size_t>(site->landcover - 1)];
    std::printf("%s: %zu half-hours of %s\n", path.c_str(), record.rows.size(), site->name);
    for (const std::string& line : tower::assumption_lines(*site, record, entry, o.table))
        std::printf("  assume: %s\n", line.c_str());
    const tower::HalfHours rows(record);
    std::map<int, int> per_day;
    for (const tower::TowerRow& r : record.rows) ++per_day[r.doy];
    int written = 0;
    double day_sum = 0.0, night_sum = 0.0, closure_sum = 0.0;
    for (const auto& [doy, count] : per_day) {
        BuiltDay b{site->name, "", {}};
        if (count != tower::half_hours_per_day) {
            b.day.doy = doy;
            b.day.year = record.rows.front().year;
            b.day.skipped = std::to_string(count) + " half-hours in the record, not 48";
        } else {
            tower::build_tower_day(record, rows, *site, entry, doy, b.day);
        }
        const std::string when = date_of(b.day.year, doy);
        if (!b.day.skipped.empty()) {
            std::printf("  day %d (%s): skipped, %s\n", doy, when.c_str(), b.day.skipped.c_str());
            continue;
        }
        char name[64];
        std::snprintf(name, sizeof name, "%s_%04d_%03d.dat", site->name, b.day.year, doy);
        b.file = (fs::path(o.folder) / name).string();
        std::error_code error;
        fs::remove(b.file, error);  // the writer appends
        int write_status = 0;
        ornax_write_site_inputs(b.file, b.day.land, b.day.input, write_status);
        if (write_status != 0) {
            std::fprintf(stderr, "ornax_tower_sites: %s: cannot be written\n", b.file.c_str());
            return ornax_status_failure;
        }
        std::printf("  day %d (%s): %s, times %s and %s, measured daytime ET %.2f MJ m-2 "
                    "(night %.2f, closure %.2f, %d of %d daytime LE filled)\n",
                    doy, when.c_str(), b.file.c_str(), tower::clock(b.day.input.tloc1).c_str(),
                    tower::clock(b.day.input.tloc2).c_str(), static_cast<double>(b.day.et_day),
                    static_cast<double>(b.day.et_night), static_cast<double>(b.day.closure),
                    b.day.filled_half_hours, b.day.daytime_half_hours);
        day_sum += b.day.et_day;
        night_sum += b.day.et_night;
        closure_sum += b.day.closure;
        built.push_back(b);
        ++written;
    }
    std::printf("%s: %d of %zu days written\n", path.c_str(), written, per_day.size());
    if (written > 0)
        std::printf("%s: written days: mean daytime ET %.2f MJ m-2, night LE %.1f %% of it, "
                    "mean closure %.2f\n",
                    path.c_str(), day_sum / written,
                    day_sum != 0.0 ? 100.0 * night_sum / day_sum : 0.0, closure_sum / written);
    return 0;
}

// ------------------------------------------------------------------------------------------
// compare: the site run's report against the measurements

// The report's values the comparison uses, missing where not printed.
struct Modelled {
    float eday = tower::missing, rnet2 = tower::missing, h2 = tower::missing, xle2 = tower::missing,
          g2 = tower::missing;
};

std::string quoted(const std::string& text) {
    std::string q = "'";
    for (char ch : text) q += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    return q + "'";
}

// The n-th number after the label's colon on the report line starting with `label`.
float report_value(const std::vector<std::string>& lines, const std::string& label, int n) {
    for (const std::string& line : lines) {
        const size_t colon = line.find(':');
        const size_t start = line.find_first_not_of(' ');
        if (colon == std::string::npos || start == std::string::npos ||
            line.compare(start, label.size(), label) != 0)
            continue;
        const char* p = line.c_str() + colon + 1;
        for (int i = 0; i <= n; ++i) {
            char* end = nullptr;
            const float v = std::strtof(p, &end);
            if (end == p) return tower::missing;  // a field of asterisks
            if (i == n) return v;
            p = end;
        }
    }
    return tower::missing;
}

// Runs the site mode on a file; false (with the exit status) when it does not finish.
bool run_site(const Options& o, const std::string& file, Modelled& m, int& exit_status) {
    const std::string table = fs::absolute(o.table).string();
    const std::string command = "cd " + quoted(o.folder) + " && " + quoted(o.ornax) + " -s " +
                                quoted(fs::absolute(file).string()) + " -l " + quoted(table) +
                                " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        exit_status = -1;
        return false;
    }
    std::vector<std::string> lines;
    std::array<char, 512> buffer{};
    while (std::fgets(buffer.data(), static_cast<int>(buffer.size()), pipe) != nullptr) {
        std::string line = buffer.data();
        if (!line.empty() && line.back() == '\n') line.pop_back();
        lines.push_back(line);
    }
    const int wait = pclose(pipe);
    exit_status = WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
    bool finished = false;
    for (const std::string& line : lines)
        finished = finished || line == "ORNAX finish successfully";
    if (exit_status != 0 || !finished) return false;
    m.eday = report_value(lines, "Total ET", 0);
    m.rnet2 = report_value(lines, "Rnet Net Radiation", 1);
    m.h2 = report_value(lines, "Total sensible", 0);
    m.xle2 = report_value(lines, "Total latent", 0);
    m.g2 = report_value(lines, "Ground cond", 0);
    return true;
}

// Bias (model - measured), RMSE and correlation over the pairs where both are present.
struct Score {
    int n = 0;
    double model = 0.0, measured = 0.0, bias = 0.0, square = 0.0;
    double model_square = 0.0, measured_square = 0.0, product = 0.0;
    void add(float m, float o) {
        if (m == tower::missing || o == tower::missing) return;
        ++n;
        model += m;
        measured += o;
        bias += m - o;
        square += (m - o) * (m - o);
        model_square += static_cast<double>(m) * m;
        measured_square += static_cast<double>(o) * o;
        product += static_cast<double>(m) * o;
    }
    // Pearson correlation; 0 when either side does not vary
    double correlation() const {
        const double cov = product - model * measured / n;
        const double vm = model_square - model * model / n;
        const double vo = measured_square - measured * measured / n;
        return vm > 0.0 && vo > 0.0 ? cov / std::sqrt(vm * vo) : 0.0;
    }
};

constexpr std::array<const char*, 8> score_names = {"daily ET / daytime LE (MJ m-2 day-1)",
                                                    "daily ET / closed LE  (MJ m-2 day-1)",
                                                    "Rn at time 2 (W m-2)",
                                                    "H at time 2 (W m-2)",
                                                    "LE at time 2 (W m-2)",
                                                    "G at time 2 (W m-2)",
                                                    "H at time 2, closed (W m-2)",
                                                    "LE at time 2, closed (W m-2)"};
using Scores = std::array<Score, score_names.size()>;

void print_scores(const std::string& what, const Scores& scores) {
    std::printf("%s\n", what.c_str());
    std::printf("  %-38s %4s %9s %9s %9s %6s\n", "quantity", "n", "measured", "bias", "RMSE", "r");
    for (size_t i = 0; i < scores.size(); ++i) {
        const Score& s = scores[i];
        if (s.n == 0) {
            std::printf("  %-38s %4d %9s %9s %9s %6s\n", score_names[i], 0, "-", "-", "-", "-");
            continue;
        }
        std::printf("  %-38s %4d %9.2f %9.2f %9.2f %6.2f\n", score_names[i], s.n, s.measured / s.n,
                    s.bias / s.n, std::sqrt(s.square / s.n), s.correlation());
    }
}

// A value in the layout, "-" when missing.
std::string number(float value, const char* layout) {
    if (value == tower::missing) return "-";
    char text[32];
    std::snprintf(text, sizeof text, layout, static_cast<double>(value));
    return text;
}

// "model/measured" of the per-day table.
std::string pair(float model, float measured) {
    return number(model, "%.1f") + "/" + number(measured, "%.1f");
}

int compare(const Options& o, const std::vector<BuiltDay>& built) {
    std::map<std::string, Scores> per_site;
    Scores all{};
    int failed = 0;
    std::printf("\n%-7s %4s %5s %5s %7s %7s %7s %13s %13s %13s %13s\n", "site", "doy", "t1", "t2",
                "EDAY", "ET_le", "ET_cl", "Rn2 mod/obs", "H2 mod/obs", "LE2 mod/obs", "G2 mod/obs");
    for (const BuiltDay& b : built) {
        Modelled m;
        int exit_status = 0;
        if (!run_site(o, b.file, m, exit_status)) {
            std::printf("%-7s %4d site run did not finish (exit %d): %s\n", b.site.c_str(),
                        b.day.doy, exit_status, b.file.c_str());
            ++failed;
            continue;
        }
        const tower::TowerDay& d = b.day;
        const std::array<std::array<float, 2>, score_names.size()> pairs = {{
            {m.eday, d.et_day},
            {m.eday, d.et_day_closed()},
            {m.rnet2, d.rn2},
            {m.h2, d.h2},
            {m.xle2, d.le2},
            {m.g2, d.g2},
            {m.h2, d.closed(d.h2)},
            {m.xle2, d.closed(d.le2)},
        }};
        Scores& site = per_site[b.site];
        for (size_t i = 0; i < pairs.size(); ++i) {
            site[i].add(pairs[i][0], pairs[i][1]);
            all[i].add(pairs[i][0], pairs[i][1]);
        }
        std::printf("%-7s %4d %5.2f %5.2f %7s %7s %7s %13s %13s %13s %13s\n", b.site.c_str(), d.doy,
                    static_cast<double>(d.input.tloc1), static_cast<double>(d.input.tloc2),
                    number(m.eday, "%.2f").c_str(), number(d.et_day, "%.2f").c_str(),
                    number(d.et_day_closed(), "%.2f").c_str(), pair(m.rnet2, d.rn2).c_str(),
                    pair(m.h2, d.h2).c_str(), pair(m.xle2, d.le2).c_str(),
                    pair(m.g2, d.g2).c_str());
    }
    std::printf("\n");
    for (const auto& [site, scores] : per_site) print_scores(site, scores);
    print_scores("all sites", all);
    std::printf("%zu days compared, %d site runs did not finish\n", built.size() - failed, failed);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse_options(argc, argv, o)) {
        usage();
        return exit_usage;
    }
    std::vector<Ornaxlandtype> table;
    int nclasses = 0, status = 0;
    ornax_read_landcover_table(o.table, table, nclasses, status);
    if (status != 0 || nclasses < 1) {
        std::fprintf(stderr, "ornax_tower_sites: %s: the land-cover class table cannot be read\n",
                     o.table.c_str());
        return ornax_status_failure;
    }
    std::vector<BuiltDay> built;
    std::vector<Loaded> loaded(o.records.size());
    for (size_t i = 0; i < o.records.size(); ++i) {  // every record read before one is written
        if (load_record(o.records[i], nclasses, o, loaded[i]) != 0) return ornax_status_failure;
    }
    std::error_code error;
    fs::create_directories(o.folder, error);
    if (!fs::is_directory(o.folder)) {
        std::fprintf(stderr, "ornax_tower_sites: %s: cannot create the folder\n", o.folder.c_str());
        return ornax_status_failure;
    }
    for (const Loaded& l : loaded) {
        if (build_record(l, table, o, built) != 0) return ornax_status_failure;
    }
    return o.mode == "compare" ? compare(o, built) : 0;
}
