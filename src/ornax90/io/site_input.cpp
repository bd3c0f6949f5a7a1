// Site input file and land cover class table: parsing of the fixed-column sections, the
// derived values of a site, and the class table with its parameters copied to a site.
#include "ornax90/ORNAX_io_mod.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <iterator>
#include <iostream>
#include <string_view>
#include <utility>

#include "ornax90/input_check/ranges.hpp"
#include "ornax90/ORNAX_log_mod.hpp"
#include "utils/fixed_text.hpp"

namespace {

// A numeric field of a fixed-column line: columns first..last, implied decimals for a
// real without a decimal point; exactly one of real / integer is set.
struct SiteTextField {
    int first;
    int last;
    int decimals;
    float* real;
    int* integer;
};

// k-th 10-column number after the blank and the 30-column label (k from 0).
SiteTextField site_real10(int k, float& value) {
    return {32 + 10 * k, 41 + 10 * k, 3, &value, nullptr};
}
SiteTextField site_int10(int k, int& value) {
    return {32 + 10 * k, 41 + 10 * k, 0, nullptr, &value};
}

// Labels a site file is written with, lines 1 to 22 (a separator has none of its own).
constexpr const char* site_labels[] = {"",
                                       "Land cover type:",
                                       "MODIS, WATER, Perennial :",
                                       "Live leaf reflectances  :",
                                       "Dead leaf reflectances  :",
                                       "Adjusted leaf size :",
                                       "Canopy Height min max   :",
                                       "Soil resisance and fcmin :",
                                       "",
                                       "ORNAX run at :",
                                       " on :",
                                       "Vegetation  lai  NDVI :",
                                       "GOES view angel :",
                                       "Local Time 1 and 2 :",
                                       "GOES observed temp(C) :",
                                       "GSIP observed sdn(k) :",
                                       "Long wave down(W) :",
                                       "Wind speed (m s-1) :",
                                       "Air temperature(C) :",
                                       "Surface pressure(mbar) :",
                                       "Specific humidity(%) :",
                                       "Number of PBL layers:"};
constexpr int site_labelled_lines = static_cast<int>(std::size(site_labels));

// The line (1-based) whose written label is `label` (normalised), other than `line`; 0
// when none is. Labels of a file's own never match.
int site_line_of_foreign_label(const std::string& label, int line) {
    if (label.empty() || label == normalise_label(site_labels[line - 1])) return 0;
    for (int other = 1; other <= site_labelled_lines; ++other)
        if (normalise_label(site_labels[other - 1]) == label) return other;
    return 0;
}

// Sequential reader of a fixed-column text file that reports the first problem it meets
// in the run log with the file name and the 1-based line number. With labelled set, a
// line of the site layout whose label is another line's (lines swapped or shifted) is an
// error.
class SiteTextReader {
public:
    SiteTextReader(std::FILE* stream, std::string file, bool labelled = false)
        : stream_(stream), file_(std::move(file)), labelled_(labelled) {}

    bool failed() const { return failed_; }
    int line_number() const { return line_number_; }

    // Next line into `line`; at the end of the file reports what was still expected.
    bool next_line(std::string& line, std::string_view expected) {
        if (failed_) return false;
        if (!read_text_line(stream_, line)) {
            fail_at(line_number_ + 1,
                    "the file ends early, " + std::string(expected) + " expected");
            return false;
        }
        ++line_number_;
        return !labelled_ || label_in_place(line);
    }

    // Skips a separator or header line: it must hold some text.
    bool skip_text_line(std::string_view expected) {
        std::string line;
        if (!next_line(line, expected)) return false;
        if (trim_both(line).empty()) {
            fail(std::string(expected) + " expected, found a blank line");
            return false;
        }
        return true;
    }

    // Parses every field of `line`; a blank, missing or malformed field is an error.
    bool parse_fields(std::string_view line, std::initializer_list<SiteTextField> fields) {
        for (const SiteTextField& f : fields) {
            std::string text;
            read_fixed_text(line, f.first, f.last, text);
            int result = text_field_ok;
            if (f.real)
                result = read_fixed_real(line, f.first, f.last, f.decimals, *f.real);
            else
                result = read_fixed_int(line, f.first, f.last, *f.integer);
            std::string where = "columns " + std::to_string(f.first) + "-" + std::to_string(f.last);
            if (result == text_field_short) return fail("the line ends before " + where);
            // a number cut short would be read with shifted implied decimals
            if (line.size() < static_cast<std::size_t>(f.last))
                return fail("the line ends inside " + where + ", a full field is expected");
            if (result == text_field_bad)
                return fail(where + " do not hold a number: \"" + trim_both(text) + "\"");
            if (trim_both(text).empty()) return fail(where + " are blank, a number is expected");
        }
        return true;
    }

    // Reads the next line and its fields.
    bool read_fields(std::string_view expected, std::initializer_list<SiteTextField> fields) {
        std::string line;
        return next_line(line, expected) && parse_fields(line, fields);
    }

    bool fail(const std::string& problem) { return fail_at(line_number_, problem); }

private:
    bool label_in_place(const std::string& line) {
        if (line_number_ > site_labelled_lines) return true;
        std::string label;
        read_fixed_text(line, 2, 31, label);
        const int other = site_line_of_foreign_label(normalise_label(label), line_number_);
        if (other == 0) return true;
        return fail("the label \"" + trim_both(label) + "\" is that of line " +
                    std::to_string(other) + " (\"" + trim_both(site_labels[line_number_ - 1]) +
                    "\" expected here): lines swapped or shifted");
    }

    bool fail_at(int line_number, const std::string& problem) {
        if (!failed_)
            ornax_log_failure((FreeLine() << "Error in the input file " << trim_right(file_)
                                          << ", line" << line_number << ": " + problem)
                                  .str());
        failed_ = true;
        return false;
    }

    std::FILE* stream_;
    std::string file_;
    bool labelled_ = false;
    int line_number_ = 0;
    bool failed_ = false;
};

std::string site_separator_line() {
    return std::string(1, ' ') + std::string(42, '-');
}

// Lines 2-8: the land-cover class record of the site.
bool site_read_land_section(SiteTextReader& in, Ornaxlandtype& land) {
    return in.read_fields("the land cover type", {site_int10(0, land.landcover)}) &&
           in.read_fields("the class numbers and flags",
                          {site_int10(0, land.modis_class), site_int10(1, land.water_flag),
                           site_int10(2, land.perennial_flag)}) &&
           in.read_fields("the live leaf values",
                          {site_real10(0, land.aleafv), site_real10(1, land.aleafn),
                           site_real10(2, land.aleafl)}) &&
           in.read_fields("the dead leaf values",
                          {site_real10(0, land.adeadv), site_real10(1, land.adeadn),
                           site_real10(2, land.adeadl)}) &&
           in.read_fields("the leaf size", {site_real10(0, land.xl)}) &&
           in.read_fields("the canopy heights",
                          {site_real10(0, land.hmin), site_real10(1, land.hmax)}) &&
           in.read_fields("the soil resistance and fcmin",
                          {site_real10(0, land.rsoil), site_real10(1, land.fcmin)});
}

// Lines 10-22: position, date, vegetation, view angle and the two observation times.
bool site_read_point_section(SiteTextReader& in, Ornaxinputvartype& input) {
    bool ok =
        in.read_fields("the position", {site_real10(0, input.lon), site_real10(1, input.lat)}) &&
        in.read_fields("the year and day", {site_int10(0, input.year), site_int10(1, input.doy)}) &&
        in.read_fields("lai and NDVI", {site_real10(0, input.xlai), site_real10(1, input.xndvi)}) &&
        in.read_fields("the view angle", {site_real10(0, input.theta)}) &&
        in.read_fields("the local times",
                       {site_real10(0, input.tloc1), site_real10(1, input.tloc2)}) &&
        in.read_fields("the radiometric temperatures",
                       {site_real10(0, input.trad1), site_real10(1, input.trad2)}) &&
        in.read_fields("the insolation",
                       {site_real10(0, input.sdn1), site_real10(1, input.sdn2)}) &&
        in.read_fields("the long-wave",
                       {site_real10(0, input.lwdn1), site_real10(1, input.lwdn2)}) &&
        in.read_fields("the wind speeds",
                       {site_real10(0, input.wind1), site_real10(1, input.wind2)}) &&
        in.read_fields("the air temperatures",
                       {site_real10(0, input.taobs1), site_real10(1, input.taobs2)}) &&
        in.read_fields("the pressures", {site_real10(0, input.pres1), site_real10(1, input.pres2)});
    if (!ok) return false;
    // humidity in e10.5: five implied decimals
    return in.read_fields("the humidities", {{32, 41, 5, &input.spfh1, nullptr},
                                             {42, 51, 5, &input.spfh2, nullptr}}) &&
           in.read_fields("the number of PBL layers", {site_int10(0, input.npbl)});
}

// The sounding (npbl lines after its header) and the 24 hourly lines after theirs.
bool site_read_profiles(SiteTextReader& in, Ornaxinputvartype& input) {
    if (input.npbl < 0 || input.npbl > ornax_max_pbl_levels)
        return in.fail("the number of PBL layers " + std::to_string(input.npbl) +
                       " is outside 0.." + std::to_string(ornax_max_pbl_levels));
    if (!in.skip_text_line("the PBL header line")) return false;
    for (int k = 0; k < input.npbl; ++k) {
        // level number in columns 2-4 is not read
        if (!in.read_fields(
                "PBL level " + std::to_string(k + 1),
                {{5, 24, 4, &input.z_pbli[k], nullptr}, {25, 44, 4, &input.th_pblk[k], nullptr}}))
            return false;
    }
    if (!in.skip_text_line("the hourly header line")) return false;
    for (int h = 0; h < ornax_hours_per_day; ++h) {
        if (!in.read_fields("hourly line " + std::to_string(h + 1),
                            {{2, 5, 1, &input.tloc_day[h], nullptr},
                             {6, 17, 4, &input.sdn_day[h], nullptr},
                             {18, 29, 4, &input.taobs_day[h], nullptr},
                             {30, 41, 4, &input.spfh_day[h], nullptr},
                             {42, 53, 4, &input.pres_day[h], nullptr},
                             {54, 65, 4, &input.wind_day[h], nullptr},
                             {66, 77, 4, &input.lwdn_day[h], nullptr}}))
            return false;
    }
    return true;
}

// Inputs the reader derives from the land section and fixed site defaults.
void site_set_derived_values(const Ornaxlandtype& land, Ornaxinputvartype& input) {
    input.zblend = 50.0f;  // blending height (m)
    input.clump = 1.0f;
    input.zu = 50.0f;  // wind measurement height (m)
    input.fg = 1.0f;
    input.rsoilv = 0.24f;  // soil reflectance, visible
    input.rsoiln = 0.38f;  // soil reflectance, near-infrared
    input.emis_soil = 0.92f;
    ornax_site_canopy(land, input);
}

}  // namespace

void ornax_site_canopy(const Ornaxlandtype& land, Ornaxinputvartype& input) {
    input.xl = land.xl;
    input.aleafv_copy = land.aleafv;
    input.aleafn_copy = land.aleafn;
    // cover fraction from LAI with extinction 0.5, between fcmin and 1
    float fc = 1.0f - std::exp(-0.5f * input.xlai);
    if (fc > 1.0f) fc = 1.0f;
    if (fc < land.fcmin) fc = land.fcmin;
    input.fc = fc;
    input.hc = (land.hmax - land.hmin) * fc + land.hmin;  // canopy height (m)
}

void ornax_read_site_inputs(const std::string& site_input_file, Ornaxlandtype& land,
                            Ornaxinputvartype& input, int& status) {
    status = 0;
    land = Ornaxlandtype{};
    input = Ornaxinputvartype{};
    const std::string path = trim_right(site_input_file);
    const int unit = ornax_get_next_unit_number();
    errno = 0;
    std::FILE* stream = unit < 0 ? nullptr : ornax_unit_open(unit, path, "r");
    if (!stream) {
        const int reason = errno;
        ornax_log_failure("cannot open the site input file \"" + path + "\" (-s FILE): " +
                          (unit < 0 ? std::string("no free file unit")
                                    : std::strerror(reason != 0 ? reason : ENOENT)));
        ornax_log_failure("Error in opening the input file:" + path);
        status = ornax_status_failure;
    } else {
        SiteTextReader in(stream, path, true);
        bool ok = in.skip_text_line("the separator line") && site_read_land_section(in, land) &&
                  in.skip_text_line("the separator line");
        input.landcover = land.landcover;
        ok = ok && site_read_point_section(in, input) && site_read_profiles(in, input);
        if (!ok) status = ornax_status_failure;
    }
    if (unit >= 0) ornax_release_unit_number(unit);
    site_set_derived_values(land, input);
    if (status != 0) return;
    // every value must be physically possible
    int failures = 0;
    Ornaxrangefailure first;
    ornax_check_input_ranges(land, input, ornax_hours_per_day, failures, first);
    if (failures != 0) {
        ornax_log_msg("Error in the input file " + path + ": " + ornax_range_failure_text(first));
        status = ornax_status_failure;
        return;
    }
    std::string why;
    if (ornax_check_observation_times(input, why) != 0) {
        ornax_log_failure("Error in the input file " + path + ", line 14: " + why);
        status = ornax_status_failure;
    }
}

namespace {

std::string site_label(std::string_view label) {
    std::string line(1, ' ');
    line += write_a(label, 30);
    return line;
}

std::string site_reals(std::string_view label, std::initializer_list<float> values) {
    std::string line = site_label(label);
    for (float v : values) line += write_f(v, 10, 3);
    return line;
}

std::string site_ints(std::string_view label, std::initializer_list<int> values) {
    std::string line = site_label(label);
    for (int v : values) line += write_i(v, 10);
    return line;
}

std::vector<std::string> site_block_lines(const Ornaxlandtype& land, const Ornaxinputvartype& in) {
    std::vector<std::string> lines = {
        site_separator_line(),
        site_ints("Land cover type:", {land.landcover}),
        site_ints("MODIS, WATER, Perennial :",
                  {land.modis_class, land.water_flag, land.perennial_flag}),
        site_reals("Live leaf reflectances  :", {land.aleafv, land.aleafn, land.aleafl}),
        site_reals("Dead leaf reflectances  :", {land.adeadv, land.adeadn, land.adeadl}),
        site_reals("Adjusted leaf size :", {land.xl}),
        site_reals("Canopy Height min max   :", {land.hmin, land.hmax}),
        site_reals("Soil resisance and fcmin :", {land.rsoil, land.fcmin}),
        site_separator_line(),
        site_reals("ORNAX run at :", {in.lon, in.lat}),
        site_ints(" on :", {in.year, in.doy}),
        site_reals("Vegetation  lai  NDVI :", {in.xlai, in.xndvi}),
        site_reals("GOES view angel :", {in.theta}),
        site_reals("Local Time 1 and 2 :", {in.tloc1, in.tloc2}),
        site_reals("GOES observed temp(C) :", {in.trad1, in.trad2}),
        site_reals("GSIP observed sdn(k) :", {in.sdn1, in.sdn2}),
        site_reals("Long wave down(W) :", {in.lwdn1, in.lwdn2}),
        site_reals("Wind speed (m s-1) :", {in.wind1, in.wind2}),
        site_reals("Air temperature(C) :", {in.taobs1, in.taobs2}),
        site_reals("Surface pressure(mbar) :", {in.pres1, in.pres2}),
        site_label("Specific humidity(%) :") + write_e(in.spfh1, 10, 5) + write_e(in.spfh2, 10, 5),
        site_ints("Number of PBL layers:", {in.npbl}),
        std::string(1, ' ') + write_a("Index", 5) + write_a("PBL surface height(m)", 25) +
            write_a("PBL potential temperature(K) :", 30),
    };
    const int levels = std::min(std::max(in.npbl, 0), ornax_max_pbl_levels);
    for (int k = 0; k < levels; ++k) {
        std::string line(1, ' ');
        line += write_i(k + 1, 3);
        line += write_f(in.z_pbli[k], 20, 4);
        line += write_f(in.th_pblk[k], 20, 4);
        lines.push_back(line);
    }
    std::string header = std::string(1, ' ') + write_a("Hour", 4);
    for (const char* head :
         {"SDN(K)", "Air Temp(C)", "SPFH(%)", "Pres(mbar)", "Wind(m s-1)", "Long wave(W)"})
        header += write_a(head, 12);
    lines.push_back(header);
    for (int h = 0; h < ornax_hours_per_day; ++h) {
        std::string line(1, ' ');
        line += write_f(in.tloc_day[h], 4, 1);
        for (float v : {in.sdn_day[h], in.taobs_day[h], in.spfh_day[h], in.pres_day[h],
                        in.wind_day[h], in.lwdn_day[h]})
            line += write_f(v, 12, 4);
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

void ornax_write_site_inputs(const std::string& site_output_file, const Ornaxlandtype& land,
                             const Ornaxinputvartype& input, int& status) {
    std::string block;
    for (const std::string& line : site_block_lines(land, input)) {
        block += line;
        block += '\n';
    }
    ornax_append_text(trim_right(site_output_file), block, status);
}

std::vector<std::string> ornax_input_summary_lines(const Ornaxlandtype& land,
                                                   const Ornaxinputvartype& input) {
    auto real_row = [](std::string_view text, std::initializer_list<float> values) {
        std::string line(text);
        for (float v : values) line += write_f(v, 10, 3);
        return line;
    };
    return {
        "Land cover parameters: ----------------",
        FreeLine() << "Land Cover" << land.landcover << land.modis_class << land.water_flag,
        real_row("RS2    (soil res)", {land.rsoil}),
        real_row("XL     (leaf size):", {land.xl}),
        real_row("leaf:", {land.aleafv, land.aleafn, land.aleafl}),
        real_row("dead:", {land.adeadv, land.adeadn, land.adeadl}),
        real_row("leaf size, canopy", {land.xl, land.hmin, land.hmax}),
        "Input parameters: ----------------",
        real_row("height at which u is measured:", {input.zu}),
        real_row("Model blending height", {input.zblend}),
        real_row("xndvi", {input.xndvi}),
        real_row("clump", {input.clump}),
        real_row("Canopy fc", {input.fc}),
        real_row("Canopy height", {input.hc}),
        real_row("soil emissitivity:", {input.emis_soil}),
        real_row("Fraction of greeness:", {input.fg}),
        real_row("XL     (leaf size):", {input.xl}),
        "---------------------------------------",
    };
}

void ornax_display_inputs(const Ornaxlandtype& land, const Ornaxinputvartype& input) {
    for (const std::string& line : ornax_input_summary_lines(land, input))
        std::cout << line << '\n';
}

namespace {

// One class row: i3, ten f8.2, two i8, f8.2, then the description.
bool landcover_read_row(SiteTextReader& in, Ornaxlandtype& entry) {
    std::string line;
    if (!in.next_line(line, "a class row")) return false;
    auto real8 = [](int k, float& value) {
        return SiteTextField{4 + 8 * k, 11 + 8 * k, 2, &value, nullptr};
    };
    // the file holds rsoil, hmin, hmax before xl
    bool ok = in.parse_fields(line, {{1, 3, 0, nullptr, &entry.landcover},
                                     real8(0, entry.aleafv),
                                     real8(1, entry.aleafn),
                                     real8(2, entry.aleafl),
                                     real8(3, entry.adeadv),
                                     real8(4, entry.adeadn),
                                     real8(5, entry.adeadl),
                                     real8(6, entry.rsoil),
                                     real8(7, entry.hmin),
                                     real8(8, entry.hmax),
                                     real8(9, entry.xl),
                                     {84, 91, 0, nullptr, &entry.modis_class},
                                     {92, 99, 0, nullptr, &entry.perennial_flag},
                                     {100, 107, 2, &entry.fcmin, nullptr}});
    if (!ok) return false;
    Ornaxrangefailure first;
    if (ornax_check_class_ranges(entry, first) != 0)
        return in.fail("class " + std::to_string(entry.landcover) + ": " +
                       ornax_range_failure_text(first));
    read_fixed_text(line, 108, 108 + ornax_message_length - 1, entry.lc_name);
    entry.water_flag = entry.landcover == 1 ? 1 : 0;  // only class 1 is open water
    return true;
}

std::string landcover_debug_line(const Ornaxlandtype& e) {
    std::string line = std::string(1, ' ') + write_i(e.landcover, 3);
    for (float v : {e.aleafv, e.aleafn, e.aleafl, e.adeadv, e.adeadn, e.adeadl})
        line += write_f(v, 10, 2);
    return line + write_i(e.modis_class, 8) + write_i(e.perennial_flag, 8) + write_f(e.fcmin, 8, 3);
}

// Pixels and sites take a class's parameters from the row of that number, so row i
// (0-based here) must hold class i + 1; a duplicated, missing or out-of-order class
// number is an error naming the row.
bool landcover_row_in_place(SiteTextReader& in, const std::vector<Ornaxlandtype>& table, int i,
                            int class_number) {
    const int expected = i + 1;
    if (class_number == expected) return true;
    std::string why = "out of order";
    for (int k = 0; k < i; ++k)
        if (table[static_cast<std::size_t>(k)].landcover == class_number) why = "duplicated";
    if (why != "duplicated" && class_number > expected)
        why = "class " + std::to_string(expected) + " missing or rows out of order";
    return in.fail("row " + std::to_string(expected) + " holds class " +
                   std::to_string(class_number) + ", class " + std::to_string(expected) +
                   " expected (" + why + "): rows are taken by their class number");
}

// Line 1 holds the class count in columns 24-27, line 2 a header; then the rows.
bool landcover_read_table(SiteTextReader& in, std::vector<Ornaxlandtype>& table, int& nclasses) {
    int announced = 0;
    std::string line;
    if (!in.read_fields("the number of classes", {{24, 27, 0, nullptr, &announced}})) return false;
    if (announced < 0 || announced > ornax_max_land_classes)
        return in.fail("the number of classes " + std::to_string(announced) + " is outside 0.." +
                       std::to_string(ornax_max_land_classes));
    if (!in.next_line(line, "the header line")) return false;
    for (int i = 0; i < announced; ++i) {
        Ornaxlandtype entry;
        if (!landcover_read_row(in, entry)) return false;
        if (!landcover_row_in_place(in, table, i, entry.landcover)) return false;
        table[static_cast<std::size_t>(i)] = entry;
        nclasses = i + 1;
        if (debug_iflag == 1) ornax_log_plain(landcover_debug_line(entry));
    }
    return true;
}

}  // namespace

void ornax_read_landcover_table(const std::string& landcover_table_file,
                                std::vector<Ornaxlandtype>& table, int& nclasses, int& status) {
    status = 0;
    nclasses = 0;
    table.assign(ornax_max_land_classes, Ornaxlandtype{});
    const std::string path = trim_right(landcover_table_file);
    const int unit = ornax_get_next_unit_number();
    errno = 0;
    std::FILE* stream = unit < 0 ? nullptr : ornax_unit_open(unit, path, "r");
    if (!stream) {
        const int reason = errno;
        ornax_log_msg(
            (FreeLine() << "Error in opening the input landcover class file:" + path << reason)
                .str());
        ornax_log_failure("cannot open the land-cover class table \"" + path +
                          "\" (-l FILE, default landcover.txt): " +
                          (unit < 0 ? std::string("no free file unit")
                                    : std::strerror(reason != 0 ? reason : ENOENT)));
        status = ornax_status_failure;
    } else {
        SiteTextReader in(stream, path);
        if (!landcover_read_table(in, table, nclasses)) status = ornax_status_failure;
    }
    if (unit >= 0) ornax_release_unit_number(unit);
}

void ornax_copy_land_parameters(const Ornaxlandtype& entry, Ornaxlandtype& land, int& status) {
    land.landcover = entry.landcover;
    land.rsoil = entry.rsoil;
    land.hmin = entry.hmin;
    land.hmax = entry.hmax;
    land.xl = entry.xl;
    land.modis_class = entry.modis_class;
    land.water_flag = entry.water_flag;
    land.perennial_flag = entry.perennial_flag;
    land.fcmin = entry.fcmin;
    land.lc_name = trim_right(entry.lc_name).substr(0, ornax_message_length);
    status = 0;
}
