// Message templates of every program never run a file name into the word beside it on
// the standard error stream. Every source of src/ and tools/ is scanned for a string
// literal that ends (or starts) with a letter and is joined, by << or +, straight to a
// value named as a file, path, directory or name; each such template must be one of the
// kept lines below, whose glued text is the model's own screen or log line while the
// standard error stream gets a readable line of its own.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <regex>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A literal joined straight to a path-like value.
struct Glue {
    std::string file;  // source, relative to the tree
    int line = 0;
    std::string literal;  // the literal's text
    std::string operand;  // the value it touches
};

std::ostream& operator<<(std::ostream& os, const Glue& g) {
    return os << g.file << ":" << g.line << ": \"" << g.literal << "\" joined to " << g.operand;
}

// The operand, its own string literals left out, names a file, path, directory or name.
bool names_a_path(const std::string& operand) {
    static const std::regex word("name|file|path|dir|folder|root|config|recipe|source",
                                 std::regex::icase);
    static const std::regex quoted("\"([^\"\\\\]|\\\\.)*\"");
    return std::regex_search(std::regex_replace(operand, quoted, ""), word);
}

std::string trim(const std::string& s) {
    const std::size_t a = s.find_first_not_of(" \t\n");
    if (a == std::string::npos) return std::string();
    return s.substr(a, s.find_last_not_of(" \t\n") - a + 1);
}

// The operand after an operator: up to a comma, semicolon or closing bracket at its own
// depth, or the next operator.
std::string operand_after(const std::string& text, std::size_t at) {
    int depth = 0;
    std::size_t i = at;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '(' || c == '[') ++depth;
        if (c == ')' || c == ']') {
            if (depth == 0) break;
            --depth;
        }
        if (depth == 0 && (c == ',' || c == ';' || c == '"' || c == '+' || c == '{')) break;
        if (depth == 0 && c == '<' && i + 1 < text.size() && text[i + 1] == '<') break;
    }
    return trim(text.substr(at, i - at));
}

// The operand before an operator that ends at `end`, back to an opening bracket, comma,
// assignment or operator at its own depth.
std::string operand_before(const std::string& text, std::size_t end) {
    int depth = 0;
    std::size_t i = end;
    while (i > 0) {
        const char c = text[i - 1];
        if (c == ')' || c == ']') ++depth;
        if (c == '(' || c == '[') {
            if (depth == 0) break;
            --depth;
        }
        if (depth == 0 && (c == ',' || c == ';' || c == '=' || c == '"' || c == '+' || c == '{' ||
                           c == '}' || c == '<' || c == ':' || c == '?'))
            break;
        --i;
    }
    return trim(text.substr(i, end - i));
}

// Every glued literal of one source text.
std::vector<Glue> scan_source(const std::string& file, const std::string& text) {
    struct Literal {
        std::size_t begin, end;  // of the whole run of adjacent literals, quotes included
        std::string value;
        int line;
    };
    std::vector<Literal> literals;
    int line = 1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n') ++line;
        if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
            while (i < text.size() && text[i] != '\n') ++i;
            --i;
        } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
            const std::size_t close = text.find("*/", i + 2);
            for (std::size_t k = i; k < close && k < text.size(); ++k) line += text[k] == '\n';
            i = close == std::string::npos ? text.size() : close + 1;
        } else if (c == 'R' && i + 1 < text.size() && text[i + 1] == '"' &&
                   (i == 0 || !std::isalnum(static_cast<unsigned char>(text[i - 1])))) {
            // a raw literal (usage texts, JSON) is skipped whole
            const std::size_t open = text.find('(', i);
            const std::string close = ")" + text.substr(i + 2, open - i - 2) + "\"";
            const std::size_t end = text.find(close, open);
            for (std::size_t k = i; k < end && k < text.size(); ++k) line += text[k] == '\n';
            i = end == std::string::npos ? text.size() : end + close.size() - 1;
        } else if (c == '\'') {
            i += text[i + 1] == '\\' ? 3 : 2;  // a character literal
        } else if (c == '"') {
            Literal lit{i, i, "", line};
            std::size_t k = i;
            while (k < text.size() && text[k] == '"') {
                for (++k; k < text.size() && text[k] != '"'; ++k) {
                    if (text[k] == '\\') {  // an escape is not a letter of the text
                        lit.value += text[++k] == '"' ? '"' : ' ';
                        continue;
                    }
                    lit.value += text[k];
                }
                lit.end = ++k;
                std::size_t next = k;  // an adjacent literal continues it
                while (next < text.size() && std::isspace(static_cast<unsigned char>(text[next])))
                    ++next;
                if (next < text.size() && text[next] == '"') {
                    for (std::size_t n = k; n < next; ++n) line += text[n] == '\n';
                    k = next;
                }
            }
            literals.push_back(lit);
            i = lit.end - 1;
        }
    }
    auto operator_at = [&](std::size_t at, std::size_t& after) {
        while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
        if (text.compare(at, 2, "<<") == 0 && text.compare(at, 3, "<<=") != 0) {
            after = at + 2;
            return true;
        }
        if (at < text.size() && text[at] == '+' && text.compare(at, 2, "++") != 0 &&
            text.compare(at, 2, "+=") != 0) {
            after = at + 1;
            return true;
        }
        return false;
    };
    std::vector<Glue> glued;
    for (const Literal& lit : literals) {
        if (lit.value.empty()) continue;
        std::size_t after = 0;
        if (std::isalpha(static_cast<unsigned char>(lit.value.back())) &&
            operator_at(lit.end, after)) {
            const std::string operand = operand_after(text, after);
            if (!operand.empty() && names_a_path(operand))
                glued.push_back({file, lit.line, lit.value, operand});
        }
        if (std::isalpha(static_cast<unsigned char>(lit.value.front()))) {
            std::size_t at = lit.begin;
            while (at > 0 && std::isspace(static_cast<unsigned char>(text[at - 1]))) --at;
            std::size_t op = std::string::npos;
            if (at >= 2 && text.compare(at - 2, 2, "<<") == 0) op = at - 2;
            if (at >= 1 && text[at - 1] == '+' && (at < 2 || text[at - 2] != '+')) op = at - 1;
            if (op != std::string::npos) {
                const std::string operand = operand_before(text, op);
                if (!operand.empty() && names_a_path(operand))
                    glued.push_back({file, lit.line, lit.value, operand});
            }
        }
    }
    return glued;
}

// Templates whose glued text is kept, by source file and literal: the model's own screen
// (standard output) or log lines, paths being composed, and a value that is a number.
struct KeptTemplate {
    const char* file;
    const char* literal;
    const char* why;
    // for a log line whose words reach the standard error stream: the literal of the
    // readable line written there instead, found in the same file as often as the kept one
    const char* readable = nullptr;
};

const KeptTemplate kept_templates[] = {
    {"src/ornax90/ORNAX_data_mod.cpp", "CFSR Ini with", "screen line of the model"},
    {"src/ornax90/file_io_mod.cpp", "File", "screen line of the raster readers"},
    {"src/ornax90/file_io_mod.cpp", "open error!", "screen line of the raster readers"},
    {"src/ornax90/file_io_mod.cpp", " to", "log line of the raster writer"},
    {"src/ornax90/ORNAX_main.cpp", "Error in calculate data in", "log line",
     "Error in calculating the data of region configuration "},
    {"src/mpi/main.cpp", "Error in calculate data in", "log line",
     "Error in calculating the data of region configuration "},
    {"src/ornax90/region_io/landmask.cpp", "Open file error", "screen line of the model"},
    {"src/ornax90/region_io/landmask.cpp", "in opening", "screen line of the model"},
    {"src/ornax90/region_io/landmask.cpp", "Error in writing", "screen line of the model"},
    {"src/ornax90/region_io/landmask.cpp", "in opening the land mask file",
     "screen line of the model"},
    {"src/ornax90/region_io/landmask.cpp", "vs", "after a number, which the line sets apart"},
    {"src/ornax90/region_io/landmask.cpp", "successfully",
     "screen line of the model; ornax_ingest keeps it in its log only"},
    {"src/ornax90/io/met_config.cpp", "Error in opening the input configuration file",
     "screen line of the model"},
    {"src/ornax90/region_io/met_day.cpp", "rise15MET", "a path composed after a directory"},
    {"src/ornax90/region_io/met_day.cpp", "rise55MET", "a path composed after a directory"},
    {"src/ingest/satellite/forecast_shortwave.cpp", "swdn.bin",
     "a path composed after a directory"},
    {"src/baseforcing/GFS/GFS_io_mod.cpp", "Start reading the GFS config", "log line",
     "Start reading the GFS configuration file "},
    {"src/baseforcing/GFS/GFS_io_mod.cpp", "Error in opening the input file", "log line",
     "Error in opening the input file "},
};

bool is_kept(const Glue& g) {
    for (const KeptTemplate& k : kept_templates)
        if (g.file == k.file && g.literal == k.literal) return true;
    return false;
}

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

std::vector<Glue> scan_tree() {
    std::vector<Glue> all;
    const fs::path root = ORNAX_SOURCE_DIR;
    for (const char* folder : {"src", "tools"})
        for (const auto& entry : fs::recursive_directory_iterator(root / folder)) {
            const std::string ext = entry.path().extension().string();
            if (ext != ".cpp" && ext != ".hpp") continue;
            const std::string file = fs::relative(entry.path(), root).string();
            for (Glue& g : scan_source(file, slurp(entry.path()))) all.push_back(g);
        }
    return all;
}

TEST(MessageWords, NoTemplateGluesANameToAWord) {
    const std::vector<Glue> found = scan_tree();
    std::map<std::string, int> used;
    for (const Glue& g : found) {
        if (is_kept(g))
            ++used[g.file + "|" + g.literal];
        else
            ADD_FAILURE() << g << ": set the name apart with a blank or punctuation";
    }
    for (const KeptTemplate& k : kept_templates) {
        const int kept = used[std::string(k.file) + "|" + k.literal];
        EXPECT_GT(kept, 0) << k.file << ": \"" << k.literal << "\" is kept but no longer found";
        if (k.readable == nullptr) continue;
        const std::string source = slurp(fs::path(ORNAX_SOURCE_DIR) / k.file);
        int readable = 0;
        for (std::size_t at = 0; (at = source.find(k.readable, at)) != std::string::npos; ++at)
            ++readable;
        EXPECT_GE(readable, kept) << k.file << ": \"" << k.literal
                                  << "\" reaches the standard error stream without \"" << k.readable
                                  << "\" beside it";
    }
}

// The scan itself, on planted templates: the glued ones are found, the readable ones not.
struct PlantedTemplate {
    const char* name;
    const char* source;
    bool glued;
};

void PrintTo(const PlantedTemplate& p, std::ostream* os) {
    *os << p.name;
}

const PlantedTemplate planted_templates[] = {
    {"word_before_name", "say(FreeLine() << \"Start reading the GFS config\" << name);", true},
    {"word_before_member_path", "fail(\"Error in calculate data in\" + cmd.region_config_file);",
     true},
    {"word_after_name", "say(FreeLine() << \"bytes to \" << name << \"successfully\");", true},
    {"word_after_call", "say(\"File\" + trim_right(file_name));", true},
    {"literal_across_lines", "fail(\"Error in \"\n     \"opening\" + path.string());", true},
    {"colon_before_name", "fail(\"Error in opening the input file:\" + name);", false},
    {"blank_before_name", "fail(\"cannot write \" + path.string() + \": \" + why);", false},
    {"blank_after_name", "say(FreeLine() << \"file \" << name << \" was read\");", false},
    {"number_after_word", "say(FreeLine() << \"Year\" << year);", false},
    {"path_word_only_inside_a_literal",
     "fail(\": \" + (n ? \"the configuration file, \" : \"\") + \"the year is missing\");", false},
    {"escape_at_the_end", "say(\"vars 1\\n\" + var.name);", false},
    {"in_a_comment", "// \"Start reading the GFS config\" << name\nint a = 0;", false},
};

class PlantedMessageWords : public ::testing::TestWithParam<PlantedTemplate> {};

TEST_P(PlantedMessageWords, ScanFindsExactlyTheGluedOnes) {
    const std::vector<Glue> found = scan_source("planted.cpp", GetParam().source);
    EXPECT_EQ(!found.empty(), GetParam().glued) << GetParam().source;
}

INSTANTIATE_TEST_SUITE_P(Planted, PlantedMessageWords, ::testing::ValuesIn(planted_templates),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
