// The daily ASCII snow-and-ice grid reader.
#include "ingest/raster/ims_ascii.hpp"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "ornax90/file_io_mod.hpp"
#include "utils/fixed_text.hpp"
#include "utils/sunrise_mod.hpp"
#include "ornax90/type_kinds.hpp"

namespace {

bool is_data_line(const std::string& line) {
    if (line.empty()) return false;
    for (char c : line)
        if (c < '0' || c > '9') return false;
    return true;
}

}  // namespace

void read_ims_ascii(const std::string& file, ImsGrid& grid, std::string& error, int& status) {
    status = ornax_status_failure;
    grid = ImsGrid{};
    std::FILE* in = std::fopen(file.c_str(), "r");
    if (in == nullptr) {
        error = file + ": cannot be opened";
        return;
    }
    std::string raw;
    int number = 0;
    bool in_data = false, ended_data = false;
    while (read_text_line(in, raw)) {
        ++number;
        const std::string line = trim_both(raw);
        if (!in_data) {
            if (is_data_line(line)) {
                in_data = true;
                grid.header_lines = number - 1;
                grid.ncols = static_cast<int>(line.size());
            } else {
                continue;
            }
        }
        if (line.empty()) {  // blank lines may only end the file
            ended_data = true;
            continue;
        }
        if (ended_data || !is_data_line(line) || static_cast<int>(line.size()) != grid.ncols) {
            error = file + ", line " + std::to_string(number) + ": expected a grid row of " +
                    std::to_string(grid.ncols) + " digits";
            std::fclose(in);
            return;
        }
        for (char c : line) grid.codes.push_back(static_cast<float>(c - '0'));
        ++grid.nrows;
    }
    std::fclose(in);
    if (grid.nrows == 0) {
        error = file + ": no grid rows (lines of digits) after the header";
        return;
    }
    status = 0;
}

void read_float32_file(const std::string& file, std::size_t n, std::vector<float>& values,
                       std::string& error, int& status) {
    status = ornax_status_failure;
    std::error_code ec;
    const auto size = std::filesystem::file_size(file, ec);
    if (ec || size != n * 4) {
        error = file + ": " +
                (ec ? std::string("cannot be read") : std::to_string(size) + " bytes") +
                ", expected " + std::to_string(n * 4) + " (" + std::to_string(n) +
                " float32 values, one per cell)";
        return;
    }
    std::ifstream in(file, std::ios::binary);
    std::vector<unsigned char> bytes(n * 4);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(n * 4))) {
        error = file + ": read failed";
        return;
    }
    values.resize(n);
    raster_decode_le(bytes.data(), n, values.data());
    status = 0;
}

bool ims_data_day(const std::string& file, int& year, int& doy) {
    const std::string name = std::filesystem::path(file).filename().string();
    if (name.size() < 10 || name.compare(0, 3, "ims") != 0 ||
        std::sscanf(name.c_str() + 3, "%4d%3d", &year, &doy) != 2 || doy < 1 || doy > 366)
        return false;
    if (year > 2014 || (year == 2014 && doy >= 336)) {  // the name's day is the next day
        if (--doy == 0) {
            --year;
            doy = is_leap_year(year) ? 366 : 365;
        }
    }
    return true;
}
