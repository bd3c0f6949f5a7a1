// Output variables of a region run: their codes and names, the output list file, the
// reset of the line's output matrix and the copy of one pixel's results.
#include <algorithm>
#include <cstdio>
#include <string_view>

#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/output/file_set.hpp"
#include "ornax90/output/variables.hpp"
#include "ornax90/ORNAX_region_mod.hpp"
#include "ornax90/file_io_mod.hpp"
#include "utils/fixed_text.hpp"

namespace {

constexpr int name_length = 10;  // output variable names are 10-character fields
constexpr int list_file_unit = 11;

// The name as a 10-character field: cut when longer, blank-padded when shorter.
std::string name_field(std::string_view name) {
    std::string field(name.substr(0, std::min<std::size_t>(name.size(), name_length)));
    field.resize(name_length, ' ');
    return field;
}

}  // namespace

int get_var_index(const std::string& name) {
    const std::string field = name_field(name);
    for (int code = 1; code <= ornax_max_out_vars; ++code) {
        if (field == name_field(ornax_output_variables()[code - 1].name)) return code;
    }
    ornax_log_msg("Invalid name" + field);
    return -999;
}

std::string_view ornax_output_var_name(int code) {
    if (code < 1 || code > ornax_max_out_vars) return {};
    return ornax_output_variables()[code - 1].name;
}

bool ornax_output_value_by_code(const Ornaxoutputvartype& output, int code, float& value) {
    if (code < 1 || code > ornax_max_out_vars) return false;
    value = output.*(ornax_output_variables()[code - 1].field);
    return true;
}

namespace {

// True when column 11 of a list line holds a character that is not a blank or a tab.
bool switch_written(const std::string& line) {
    return line.size() > static_cast<std::size_t>(name_length) && line[name_length] != ' ' &&
           line[name_length] != '\t';
}

}  // namespace

void ornax_read_out_list_file(const std::string& file_name,
                              std::array<Ornaxoutputrecordtype, ornax_max_out_vars>& list,
                              int& count, int& status) {
    count = 0;
    status = 0;
    const std::string path = trim_right(file_name);
    std::FILE* stream = ornax_unit_open(list_file_unit, path, "r");
    if (stream == nullptr) {
        ornax_log_msg("Error in opening the input config file:" + path);
        status = ornax_status_failure;
        return;
    }
    std::string line;
    read_text_line(stream, line);  // header
    // the header may announce the number of variable lines in columns 31-40
    int announced = -1;
    std::string announced_text;
    read_fixed_text(line, 31, 40, announced_text);
    if (!trim_both(announced_text).empty() &&
        read_fixed_int(line, 31, 40, announced) != text_field_ok)
        announced = -1;
    bool overflow_logged = false;
    int entries = 0, line_number = 1;
    while (read_text_line(stream, line)) {
        ++line_number;
        int selected = 0;
        const int field_status = read_fixed_int(line, name_length + 1, name_length + 1, selected);
        if (field_status == text_field_bad) {  // a non-digit switch ends the list
            int ignored = 0;
            while (read_text_line(stream, line)) ignored += !trim_both(line).empty();
            if (ignored > 0)
                ornax_log_msg((FreeLine()
                               << "Output list " << path << " ends at line" << line_number
                               << "(no switch digit);" << ignored << "later lines ignored")
                                  .str());
            break;
        }
        ++entries;
        std::string name;
        read_fixed_text(line, 1, name_length, name);
        if (!trim_both(name).empty() && !switch_written(line)) {
            // a blank, a tab or a missing switch would drop the variable without a word
            ornax_log_failure((FreeLine() << "Output list " << path << " line" << line_number
                                          << "(" + trim_both(name) +
                                                 "): the switch in column 11 is blank; 0 or 1 "
                                                 "expected")
                                  .str());
            status = ornax_status_failure;
            continue;
        }
        if (field_status == text_field_ok && selected != 0 && selected != 1) {
            // kept out of the run, as a 0 would be, but never without a word
            const std::string note = "Output list " + path + " line " +
                                     std::to_string(line_number) + " (" + trim_both(name) +
                                     "): switch " + std::to_string(selected) +
                                     " is neither 0 nor 1; the variable is not written";
            ornax_log_msg(note);
            std::fprintf(stderr, "%s\n", note.c_str());
        }
        if (field_status != text_field_ok || selected != 1) continue;
        const int code = get_var_index(name);
        if (code < 1 || code > ornax_max_out_vars) {
            ornax_log_msg("Unknown var name " + name);
            status = ornax_status_failure;
        } else if (count >= ornax_max_out_vars) {
            if (!overflow_logged) {
                ornax_log_msg((FreeLine() << "Output list holds" << ornax_max_out_vars
                                          << "variables; further selections ignored from " << name)
                                  .str());
                overflow_logged = true;
            }
        } else {
            list[count].name = name;
            list[count].code = code;
            ++count;
        }
    }
    if (announced >= 0 && entries < announced) {
        ornax_log_msg((FreeLine() << "Output list " << path << " announces" << announced
                                  << "variables but holds" << entries)
                          .str());
        status = ornax_status_failure;
    }
    ornax_unit_close(list_file_unit);
}

std::string ornax_out_list_text(std::span<const Ornaxoutputrecordtype> selected,
                                std::span<const Ornaxoutputrecordtype> not_selected) {
    std::vector<std::string> lines = {"Output variables: name in columns 1-10, switch in 11"};
    for (const Ornaxoutputrecordtype& entry : selected)
        lines.push_back(name_field(entry.name) + "1");
    for (const Ornaxoutputrecordtype& entry : not_selected)
        lines.push_back(name_field(entry.name) + "0");
    return join_lines(lines);
}

void ornax_reset_region_outputs(Ornaxregiondatatype& region, float missing, int& status) {
    status = 0;
    if (region.out_var_count < 1) {
        ornax_log_msg("Not allocated the output variable matrix");
        return;
    }
    std::fill(region.out_var_matrix.begin(), region.out_var_matrix.end(), missing);
}

void ornax_get_region_out_var_by_list(
    const std::array<Ornaxoutputrecordtype, ornax_max_out_vars>& list, int count,
    const Ornaxoutputvartype& output, std::span<float> values, int& status) {
    status = 0;
    if (count < 1 || count > ornax_max_out_vars) return;
    for (int i = 0; i < count && static_cast<std::size_t>(i) < values.size(); ++i) {
        if (!ornax_output_value_by_code(output, list[i].code, values[i])) {
            ornax_log_msg((FreeLine() << "Invalid num" << list[i].code).str());
            ornax_log_msg("Error find var");
            status = ornax_status_failure;
            return;
        }
    }
}

namespace {

// Writes line `line` of every listed variable and of the quality raster through
// write_line(i, values), i = 0 .. count (count: the quality raster).
template <typename LineWriter>
void write_region_output_lines(const Spatialinfodata& run_grid, const Ornaxregiondatatype& region,
                               std::size_t outputs, int line, LineWriter write_line, int& status) {
    status = 0;
    const int count = region.out_var_count;
    const int ncols = run_grid.ncols;
    const std::size_t n = static_cast<std::size_t>(std::max(ncols, 0));
    if (count < 0 || count > ornax_max_out_vars || outputs < static_cast<std::size_t>(count) + 1 ||
        region.out_var_matrix.size() < n * static_cast<std::size_t>(count) ||
        region.qc_flag.size() < n) {
        ornax_log_msg((FreeLine() << "Output units or line arrays do not cover the" << count
                                  << "listed variables of line" << line)
                          .str());
        status = ornax_status_failure;
        return;
    }
    std::vector<float> values(n);
    for (int i = 1; i <= count; ++i) {
        // Variable i is the i-th run of ncols values of the output matrix.
        const auto first = region.out_var_matrix.begin() +
                           static_cast<std::ptrdiff_t>(region_2d_index(1, i, ncols));
        std::copy(first, first + static_cast<std::ptrdiff_t>(n), values.begin());
        if (write_line(static_cast<std::size_t>(i - 1), values) != 0) {
            ornax_log_msg("Error in writing var " +
                          trim_right(region.out_var_list[static_cast<std::size_t>(i - 1)].name) +
                          " Error!");
            status = ornax_status_failure;
        }
    }
    std::copy(region.qc_flag.begin(), region.qc_flag.begin() + static_cast<std::ptrdiff_t>(n),
              values.begin());
    if (write_line(static_cast<std::size_t>(count), values) != 0) status = ornax_status_failure;
}

}  // namespace

void ornax_write_region_outputs(const Spatialinfodata& run_grid, const Ornaxregiondatatype& region,
                                std::span<const int> units, int line, int& status) {
    auto write_line = [&](std::size_t i, const std::vector<float>& values) {
        int write_status = 0;
        write_out_2d_real_line(values, run_grid.ncols, run_grid.nrows, units[i], line,
                               write_status);
        return write_status;
    };
    write_region_output_lines(run_grid, region, units.size(), line, write_line, status);
}

void ornax_write_region_outputs(const Spatialinfodata& run_grid, const Ornaxregiondatatype& region,
                                Ornaxoutputsettype& outputs, std::span<const int> members, int line,
                                int& status) {
    auto write_line = [&](std::size_t i, const std::vector<float>& values) {
        int write_status = 0;
        ornax_output_set_write_line(outputs, members[i], values, line, write_status);
        return write_status;
    };
    write_region_output_lines(run_grid, region, members.size(), line, write_line, status);
}
