// The README's tables of output variables and quality flags against the program's own
// tables: every name with its unit, every flag value, nothing more and nothing less.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ornax90/output/variables.hpp"
#include "ornax90/output/quality.hpp"

namespace {

std::string trimmed(const std::string& s) {
    const size_t a = s.find_first_not_of(' ');
    const size_t b = s.find_last_not_of(' ');
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

// The cells of each row of the first Markdown table after the heading that starts with
// `heading`; empty when the heading is not there.
std::vector<std::vector<std::string>> table_after(const std::string& heading) {
    std::ifstream in(ORNAX_SOURCE_DIR "/README.md");
    std::vector<std::vector<std::string>> rows;
    bool in_section = false, in_table = false;
    for (std::string line; std::getline(in, line);) {
        if (!in_section) {
            in_section = line.rfind(heading, 0) == 0;
            continue;
        }
        const bool table_line = line.rfind("| ", 0) == 0 || line.rfind("|-", 0) == 0;
        if (!table_line) {
            if (in_table) break;
            if (line.rfind("#", 0) == 0) break;  // next section without a table
            continue;
        }
        in_table = true;
        if (line.rfind("|-", 0) == 0) continue;
        std::vector<std::string> cells;
        std::stringstream cells_text(line.substr(1));
        for (std::string cell; std::getline(cells_text, cell, '|');) cells.push_back(trimmed(cell));
        rows.push_back(cells);
    }
    if (!rows.empty()) rows.erase(rows.begin());  // the header row
    return rows;
}

TEST(ReadmeTables, OutputVariablesAndUnitsMatchTheTable) {
    const auto rows = table_after("### The 42 output variables");
    ASSERT_FALSE(rows.empty()) << "README has no output-variable table";
    std::map<std::string, std::string> readme_units;
    for (const auto& cells : rows) {
        ASSERT_EQ(cells.size(), 3u) << "row: " << cells.front();
        std::stringstream names(cells[0]);
        for (std::string name; std::getline(names, name, ',');) {
            name = trimmed(name);
            EXPECT_TRUE(readme_units.emplace(name, cells[2]).second) << name << " listed twice";
        }
    }
    std::set<std::string> in_code;
    for (const Ornaxoutputvariabletype& v : ornax_output_variables()) {
        const std::string name(v.name);
        in_code.insert(name);
        ASSERT_TRUE(readme_units.count(name)) << name << " is missing from the README";
        EXPECT_EQ(readme_units.at(name), v.units) << "unit of " << name;
    }
    for (const auto& [name, unit] : readme_units)
        EXPECT_TRUE(in_code.count(name)) << name << " is in the README but not an output variable";
}

TEST(ReadmeTables, QualityFlagsMatchTheTable) {
    const auto rows = table_after("### Layout, coordinates, missing value");
    ASSERT_FALSE(rows.empty()) << "README has no quality-flag table";
    std::set<int> readme_flags, code_flags;
    for (const auto& cells : rows) readme_flags.insert(std::stoi(cells.at(0)));
    for (const Ornaxqualityflaginfotype& f : ornax_quality_flags()) code_flags.insert(f.value);
    EXPECT_EQ(readme_flags, code_flags);
}

// Every listed flag is valid, the table is in increasing order with distinct values and
// one-word CF meanings, and the named values agree with the bits they are made of.
TEST(QualityFlagTable, ConsistentWithTheBits) {
    int previous = -1;
    for (const Ornaxqualityflaginfotype& f : ornax_quality_flags()) {
        EXPECT_GT(f.value, previous);
        previous = f.value;
        EXPECT_TRUE(ornax_quality_flag_valid(static_cast<float>(f.value))) << f.value;
        EXPECT_EQ(f.meaning.find(' '), std::string::npos) << f.meaning;
        EXPECT_EQ(ornax_quality_flag_label(f.value), f.label);
    }
    EXPECT_EQ(ornax_qc_all_missing, ornax_qc_inputs_present + ornax_qc_land + ornax_qc_satellite +
                                        ornax_qc_meteorology + ornax_qc_vegetation);
    EXPECT_EQ(previous, ornax_qc_max);
    struct Case {
        float value;
        bool valid;
    };
    for (const Case& c :
         {Case{0.0f, true}, Case{5.0f, true}, Case{2.0f, false}, Case{127.5f, false},
          Case{-1.0f, false}, Case{256.0f, false}, Case{131.0f, false}, Case{129.0f, true}})
        EXPECT_EQ(ornax_quality_flag_valid(c.value), c.valid) << c.value;
    EXPECT_EQ(ornax_quality_flag_label(5), "missing inputs");
}

}  // namespace
