// Output metadata: publishing a file atomically, and the GDAL VRT and GrADS descriptor
// written beside every output raster.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "ornax90/output/sidecars.hpp"
#include "ornax90/output/publish.hpp"
#include "ornax90/output/vocabulary.hpp"
#include "ornax90/output/quality.hpp"
#include "ornax90/command_line/version.hpp"

namespace {

// A float as its shortest decimal text ("0.05", not "0.0500000007").
std::string float_text(float value) {
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}

double decimal_of(float value) {
    return ornax_decimal_of(value);
}

// A double rounded to 1e-9 degrees, as its shortest decimal text.
std::string degrees_text(double value) {
    const double rounded = std::round(value * 1e9) / 1e9;
    std::array<char, 40> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), rounded);
    return std::string(buffer.data(), result.ptr);
}

// Text safe inside XML character data and attribute values.
std::string xml_escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

constexpr std::array<const char*, 12> month_abbrev = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                      "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

bool leap_year(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Month (1-12) and day of month of a day of year; false when the day is not in the year.
bool month_and_day(int year, int doy, int& month, int& day) {
    static constexpr std::array<int, 12> lengths = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (doy < 1 || doy > (leap_year(year) ? 366 : 365)) return false;
    day = doy;
    for (month = 1; month <= 12; ++month) {
        const int length = lengths[month - 1] + (month == 2 && leap_year(year) ? 1 : 0);
        if (day <= length) return true;
        day -= length;
    }
    return false;
}

void publish_beside(const std::string& directory, const std::string& file_name,
                    const std::string& text, int& status) {
    ornax_publish_text_file((std::filesystem::path(directory) / file_name).string(), text, status);
}

}  // namespace

double ornax_decimal_of(float value) {
    return std::strtod(float_text(value).c_str(), nullptr);
}

void ornax_publish_text_file(const std::string& path, const std::string& text, int& status) {
    status = ornax_status_failure;
    // the staging name beside the target, which the next publication into the folder
    // removes when this process is killed before the rename
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 10 && fd < 0; ++attempt) {
        temp = ornax_publish_staging_name(path);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST) break;  // a name already taken: the next one
    }
    if (fd < 0) return;
    ::fchmod(fd, 0644);  // whatever the mask, as every output
    std::FILE* stream = ::fdopen(fd, "wb");
    if (stream == nullptr) {
        ::close(fd);
        std::remove(temp.c_str());
        return;
    }
    bool ok = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
    ok = std::fflush(stream) == 0 && ok;
    ok = std::fclose(stream) == 0 && ok;
    if (ok && std::rename(temp.c_str(), path.c_str()) == 0) {
        status = 0;
        return;
    }
    std::remove(temp.c_str());
}

std::string ornax_calendar_date(int year, int doy) {
    int month = 0, day = 0;
    if (!month_and_day(year, doy, month, day)) return std::string();
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
    return text;
}

std::string ornax_raster_vrt_text(const Spatialinfodata& grid, const Ornaxoutputvarinfotype& var,
                                  float missing, int year, int doy) {
    const bool quality = var.name == "region_qc";
    const double west = decimal_of(grid.west_lon), dlon = decimal_of(grid.dlon);
    const double dlat = decimal_of(grid.dlat);
    // northern edge of the last line: the rows run from the southern edge
    const double north = decimal_of(grid.south_lat) + grid.nrows * dlat;
    const long long line_bytes = 4LL * grid.ncols;
    std::ostringstream vrt;
    vrt << "<VRTDataset rasterXSize=\"" << grid.ncols << "\" rasterYSize=\"" << grid.nrows
        << "\">\n"
        << "  <SRS dataAxisToSRSAxisMapping=\"2,1\">" << xml_escaped(ornax_crs_wkt) << "</SRS>\n"
        << "  <GeoTransform>" << degrees_text(west) << ", " << degrees_text(dlon) << ", 0, "
        << degrees_text(north) << ", 0, " << degrees_text(-dlat) << "</GeoTransform>\n"
        << "  <Metadata>\n"
        << "    <MDI key=\"date\">" << ornax_calendar_date(year, doy) << "</MDI>\n"
        << "    <MDI key=\"year\">" << year << "</MDI>\n"
        << "    <MDI key=\"day_of_year\">" << doy << "</MDI>\n"
        << "    <MDI key=\"source\">" << xml_escaped(ornax_version_line()) << "</MDI>\n"
        << "  </Metadata>\n"
        << "  <VRTRasterBand dataType=\"Float32\" band=\"1\" subClass=\"VRTRawRasterBand\">\n"
        << "    <Description>" << xml_escaped(var.name + ": " + var.description)
        << "</Description>\n";
    if (!quality) vrt << "    <NoDataValue>" << float_text(missing) << "</NoDataValue>\n";
    vrt << "    <UnitType>" << xml_escaped(var.units) << "</UnitType>\n"
        << "    <Metadata>\n"
        << "      <MDI key=\"name\">" << xml_escaped(var.name) << "</MDI>\n"
        << "      <MDI key=\"long_name\">" << xml_escaped(var.description) << "</MDI>\n"
        << "      <MDI key=\"units\">" << xml_escaped(var.units) << "</MDI>\n";
    if (quality) {
        for (const Ornaxqualityflaginfotype& flag : ornax_quality_flags())
            vrt << "      <MDI key=\"flag_" << flag.value << "\">" << xml_escaped(flag.meaning)
                << "</MDI>\n";
    }
    vrt << "    </Metadata>\n"
        << "    <SourceFilename relativeToVRT=\"1\">" << xml_escaped(var.name + ".bin")
        << "</SourceFilename>\n"
        << "    <ImageOffset>" << line_bytes * (grid.nrows - 1) << "</ImageOffset>\n"
        << "    <PixelOffset>4</PixelOffset>\n"
        << "    <LineOffset>" << -line_bytes << "</LineOffset>\n"
        << "    <ByteOrder>LSB</ByteOrder>\n"
        << "  </VRTRasterBand>\n"
        << "</VRTDataset>\n";
    return vrt.str();
}

void ornax_write_raster_vrt(const std::string& directory, const Spatialinfodata& grid,
                            const Ornaxoutputvarinfotype& var, float missing, int year, int doy,
                            int& status) {
    publish_beside(directory, var.name + ".vrt",
                   ornax_raster_vrt_text(grid, var, missing, year, doy), status);
}

std::string ornax_grads_ctl_text(const Spatialinfodata& grid, const Ornaxoutputvarinfotype& var,
                                 float missing, int year, int doy) {
    const double dlon = decimal_of(grid.dlon), dlat = decimal_of(grid.dlat);
    int month = 1, day = 1;
    month_and_day(year, doy, month, day);
    char tdef[64];
    std::snprintf(tdef, sizeof tdef, "tdef 1 linear 00Z%02d%s%04d 1dy", day,
                  month_abbrev[static_cast<size_t>(month - 1)], year);
    std::ostringstream ctl;
    // GrADS reads the rasters' south-first rows as they are (yrev not needed)
    ctl << "dset ^" << var.name << ".bin\n"
        << "title " << var.name << " " << var.description << " (" << var.units << "), "
        << ornax_version_line() << "\n"
        << "undef " << float_text(missing) << "\n"
        << "options little_endian\n"
        << "xdef " << grid.ncols << " linear " << degrees_text(decimal_of(grid.west_lon) + dlon / 2)
        << " " << degrees_text(dlon) << "\n"
        << "ydef " << grid.nrows << " linear "
        << degrees_text(decimal_of(grid.south_lat) + dlat / 2) << " " << degrees_text(dlat) << "\n"
        << "zdef 1 levels 1\n"
        << tdef << "\n"
        << "vars 1\n"
        << var.name << " 0 99 " << var.description << " [" << var.units << "]\n"
        << "endvars\n";
    return ctl.str();
}

void ornax_write_grads_ctl(const std::string& directory, const Spatialinfodata& grid,
                           const Ornaxoutputvarinfotype& var, float missing, int year, int doy,
                           int& status) {
    publish_beside(directory, var.name + ".ctl",
                   ornax_grads_ctl_text(grid, var, missing, year, doy), status);
}
