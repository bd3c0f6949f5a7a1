// Guards of a region run's publication: outputs checked against the inputs, outputs of an
// earlier run that this run does not write removed, texts of the run record made UTF-8.
#include "ornax90/output/guard.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <system_error>
#include <utility>

#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/output/file_set.hpp"

namespace {

namespace fs = std::filesystem;

constexpr const char* sidecar_extensions[] = {".bin", ".vrt", ".ctl", ".png"};

// Device and inode of an existing file (following symbolic links).
bool file_identity(const std::string& path, std::pair<dev_t, ino_t>& identity) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return false;
    identity = {info.st_dev, info.st_ino};
    return true;
}

// The path made absolute, its existing part resolved (links, "..", ".").
std::string resolved(const std::string& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    if (error) return path;
    const fs::path canonical = fs::weakly_canonical(absolute, error);
    return error ? absolute.lexically_normal().string() : canonical.string();
}

// Length of the valid UTF-8 sequence starting at text[at], 0 when the byte starts none.
std::size_t utf8_sequence(const std::string& text, std::size_t at) {
    const auto byte = [&](std::size_t i) {
        return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u;
    };
    const unsigned lead = byte(at);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned low = 0x80, high = 0xBF;  // range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing beyond U+10FFFF
    } else {
        return 0;
    }
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
    return length;
}

}  // namespace

std::vector<std::string> ornax_region_published_files(const std::string& output_dir,
                                                      const std::vector<std::string>& names) {
    std::vector<std::string> files;
    std::vector<std::string> rasters = names;
    rasters.push_back("region_qc");
    for (const std::string& name : rasters)
        for (const char* extension : {".bin", ".vrt", ".ctl"})
            files.push_back(ornax_output_path(output_dir, name + extension));
    for (const std::string& name : names)
        if (name == "EDAY") files.push_back(ornax_output_path(output_dir, "EDAY.png"));
    files.push_back(ornax_output_path(output_dir, "region_qc.png"));
    files.push_back(ornax_output_path(output_dir, "pixel_dump.txt"));
    files.push_back(ornax_output_path(output_dir, "run_info.json"));
    files.push_back("testMETtemp15.bin");
    return files;
}

bool ornax_same_file(const std::string& a, const std::string& b) {
    std::pair<dev_t, ino_t> first, second;
    const bool a_exists = file_identity(a, first), b_exists = file_identity(b, second);
    if (a_exists && b_exists) return first == second;
    if (a_exists != b_exists) return false;
    return resolved(a) == resolved(b);
}

void ornax_check_outputs_not_inputs(const std::vector<std::string>& outputs,
                                    const std::vector<Ornaxrunfiletype>& inputs, int& status) {
    status = 0;
    for (const std::string& output : outputs) {
        for (const Ornaxrunfiletype& input : inputs) {
            if (input.path.empty() || !ornax_same_file(output, input.path)) continue;
            ornax_log_failure("Region run refused: the output " + output + " would replace the " +
                              "input " + input.path + " (" + input.role + ")");
            status = ornax_status_failure;
            return;
        }
    }
}

void ornax_remove_earlier_outputs(const std::string& output_dir,
                                  const std::vector<std::string>& written,
                                  const std::vector<Ornaxrunfiletype>& inputs, int& removed) {
    removed = 0;
    std::set<std::string> kept;
    for (const std::string& path : written) kept.insert(fs::path(path).filename().string());
    std::error_code error;
    std::vector<std::string> earlier;
    for (const auto& entry :
         fs::directory_iterator(output_dir.empty() ? fs::path(".") : fs::path(output_dir), error)) {
        const std::string name = entry.path().filename().string();
        std::error_code kind;
        if (!entry.is_regular_file(kind) || kept.count(name) != 0) continue;
        for (const char* extension : sidecar_extensions) {
            const fs::path file(name);
            Ornaxoutputvarinfotype var;
            if (file.extension() == extension && ornax_output_var_info(file.stem().string(), var))
                earlier.push_back(ornax_output_path(output_dir, name));
        }
    }
    for (const std::string& path : earlier) {
        bool input = false;
        for (const Ornaxrunfiletype& file : inputs)
            input = input || ornax_same_file(path, file.path);
        if (input) continue;
        if (::unlink(path.c_str()) == 0) {
            ++removed;
            ornax_log_msg("Removed " + path + ", an output of an earlier run that this run does " +
                          "not write");
        }
    }
}

std::string ornax_utf8_safe(const std::string& text) {
    static const char hex[] = "0123456789abcdef";
    std::string safe;
    safe.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8_sequence(text, at);
        if (length > 0) {
            safe.append(text, at, length);
            at += length;
            continue;
        }
        const auto byte = static_cast<unsigned char>(text[at++]);
        safe += "\\x";
        safe += hex[byte >> 4];
        safe += hex[byte & 0xF];
    }
    return safe;
}
