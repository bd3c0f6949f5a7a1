// Binary raster files: readers and writers by line, by layer and whole.
//
// A raster file is a plain sequence of 4-byte IEEE single-precision values in
// little-endian byte order, whatever the host, with no header. The file carries no
// geometry: the caller gives the number of columns (ncol), lines (nrow), layers (nz) and
// time steps (nt). Values are stored column fastest, then line (south to north), then
// layer, then time step. The file is addressed as fixed-length records, numbered from 1;
// for line access a record is one line of 4 x ncol bytes.
//
// Every routine takes a 300-character file name (trailing blanks are removed), sets its
// status to 0 on entry and to a non-zero value on failure; none of them aborts.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Status of a failed raster open, read or write.
inline constexpr int raster_status_failed = 3;

// Arrays of reals with 1-based element access, first index fastest, matching the order
// of values in a raster file.

// (column, line) image or (column, layer) line.
struct Real2dArray {
    int n1 = 0, n2 = 0;
    std::vector<float> values;
    void allocate(int e1, int e2, float fill = 0.0f);
    float& operator()(int i, int j) { return values[index(i, j)]; }
    float operator()(int i, int j) const { return values[index(i, j)]; }
    std::size_t index(int i, int j) const {
        return static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(n1) +
               static_cast<std::size_t>(i - 1);
    }
};

// (column, line, layer) array or (column, layer, time step) line.
struct Real3dArray {
    int n1 = 0, n2 = 0, n3 = 0;
    std::vector<float> values;
    void allocate(int e1, int e2, int e3, float fill = 0.0f);
    float& operator()(int i, int j, int k) { return values[index(i, j, k)]; }
    float operator()(int i, int j, int k) const { return values[index(i, j, k)]; }
    std::size_t index(int i, int j, int k) const {
        return (static_cast<std::size_t>(k - 1) * static_cast<std::size_t>(n2) +
                static_cast<std::size_t>(j - 1)) *
                   static_cast<std::size_t>(n1) +
               static_cast<std::size_t>(i - 1);
    }
};

// (column, line, layer, time step) array.
struct Real4dArray {
    int n1 = 0, n2 = 0, n3 = 0, n4 = 0;
    std::vector<float> values;
    void allocate(int e1, int e2, int e3, int e4, float fill = 0.0f);
    float& operator()(int i, int j, int k, int t) { return values[index(i, j, k, t)]; }
    float operator()(int i, int j, int k, int t) const { return values[index(i, j, k, t)]; }
    std::size_t index(int i, int j, int k, int t) const {
        std::size_t plane = static_cast<std::size_t>(n1) * static_cast<std::size_t>(n2);
        return (static_cast<std::size_t>(t - 1) * static_cast<std::size_t>(n3) +
                static_cast<std::size_t>(k - 1)) *
                   plane +
               static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(n1) +
               static_cast<std::size_t>(i - 1);
    }
};

// ---- layout of a raster file ----

// Record holding line `line` of layer `layer` of a 3-d raster of nrow lines.
std::int64_t raster_record_3d(int nrow, int line, int layer);
// Record holding line `line` of layer `layer` of time step `step` of a 4-d raster.
std::int64_t raster_record_4d(int nrow, int nz, int line, int layer, int step);
// Byte offset of the first value of a record of `record_values` values.
std::int64_t raster_record_offset(std::int64_t record, std::int64_t record_values);

// Little-endian byte conversion of `count` values, independent of the host order.
void raster_decode_le(const unsigned char* bytes, std::size_t count, float* values);
void raster_encode_le(const float* values, std::size_t count, unsigned char* bytes);

// ---- input rasters held open for a run ----

// Input rasters opened once and read line by line with positioned reads, from any number
// of threads at once (the set itself is filled before the reading starts and not changed
// while it is read). A file that cannot be opened is simply not held: a reader then opens
// it itself and reports the failure as it always does.
class RasterInputFiles {
public:
    RasterInputFiles() = default;
    ~RasterInputFiles();
    RasterInputFiles(const RasterInputFiles&) = delete;
    RasterInputFiles& operator=(const RasterInputFiles&) = delete;
    // Opens the file for reading and holds it (trailing blanks of the name removed).
    void hold(const std::string& file_name);
    // Descriptor of a held file, -1 when the file is not held.
    int fd(const std::string& file_name) const;
    std::size_t size() const { return fds_.size(); }
    // Files that hold() could not open, with the system's error number of each.
    const std::map<std::string, int>& open_failures() const { return failures_; }
    void close();

private:
    std::map<std::string, int> fds_;
    std::map<std::string, int> failures_;
};

// ---- line readers ----
//
// Each line reader also comes with a first argument `held`: when the file is held there,
// it is read through the held descriptor; otherwise (or when held is null) it is opened
// and closed around the read. Results and messages are the same either way.

// Reads line `line` (ncol values) of a 2-d raster into `values` (resized to ncol).
// nrow and spare are not used (callers may pass the grid's missing value as spare).
// Missing file: "File <name> open error!", status 3; a missing file is never created.
void read_2d_real_by_line(const std::string& file_name, int ncol, int nrow, int line, float spare,
                          std::vector<float>& values, int& status);
void read_2d_real_by_line(const RasterInputFiles* held, const std::string& file_name, int ncol,
                          int nrow, int line, float spare, std::vector<float>& values, int& status);

// Reads line `line` of every layer of a 3-d raster into values (column, layer),
// allocated ncol x nz. A failing layer is logged and the others are still read.
void read_3d_real_by_line(const std::string& file_name, int ncol, int nrow, int nz, int line,
                          float spare, Real2dArray& values, int& status);
void read_3d_real_by_line(const RasterInputFiles* held, const std::string& file_name, int ncol,
                          int nrow, int nz, int line, float spare, Real2dArray& values,
                          int& status);

// Reads lines first_line .. first_line + nlines - 1 of every layer of a 3-d raster with one
// positioned read per layer into values (ncol x nlines, layer), line by line. A 4-d raster
// of nt time steps reads as a 3-d one of nz x nt layers. Silent: status 3 when a layer or
// a line is missing; callers that must name the failing line then read line by line.
void read_3d_real_by_lines(const RasterInputFiles* held, const std::string& file_name, int ncol,
                           int nrow, int nz, int first_line, int nlines, Real2dArray& values,
                           int& status);

// Reads line `line` of every layer of every time step of a 4-d raster into values
// (column, layer, time step), first allocated ncol x nz x nt and filled with fill_value.
// Messages go to the screen.
void read_4d_real_by_line(const std::string& file_name, int ncol, int nrow, int nz, int nt,
                          int line, float fill_value, Real3dArray& values, int& status);
void read_4d_real_by_line(const RasterInputFiles* held, const std::string& file_name, int ncol,
                          int nrow, int nz, int nt, int line, float fill_value, Real3dArray& values,
                          int& status);

// ---- whole-array readers ----

// Reads a whole 2-d raster into image (column, line), allocated ncol x nrow.
void read_2d_real_by_col_row(const std::string& file_name, int ncol, int nrow, int spare,
                             Real2dArray& image, int& status);
// Reads a whole 3-d raster into values (column, line, layer), allocated ncol x nrow x nz.
void read_3d_real_by_col_row(const std::string& file_name, int ncol, int nrow, int nz, int spare,
                             Real3dArray& values, int& status);
// Reads a whole 4-d raster into values, first allocated ncol x nrow x nz x nt and filled
// with fill_value.
void read_4d_real_by_col_row(const std::string& file_name, int ncol, int nrow, int nz, int nt,
                             float fill_value, Real4dArray& values, int& status);

// ---- writers ----

// Writes a whole 2-d raster, replacing the file. The image's extents must be (ncol, nrow),
// otherwise "Unmatched boundary, write failed." is logged and nothing is written.
void write_out_2d_real(const Real2dArray& image, int ncol, int nrow, const std::string& file_name,
                       int& status);
// Writes a whole 3-d raster (column, line, layer), replacing the file; extents are checked.
void write_out_3d_real(const Real3dArray& values, int ncol, int nrow, int nz,
                       const std::string& file_name, int& status);

// Opens an output raster for line writing on a unit the caller owns (any unit number,
// pooled or fixed), replacing an existing file. Status 3 when it cannot be opened.
void raster_open_output(int unit, const std::string& file_name, int& status);
// Writes the ncol values of `values` as record `record` (line `record`) of the raster open
// on `unit`, at byte (record - 1) x 4 x ncol, with a positioned write: lines may be written
// in any order and from several threads at once.
// nrow is not used. The routine neither opens nor closes the file.
void write_out_2d_real_line(const std::vector<float>& values, int ncol, int nrow, int unit,
                            int record, int& status);
// Flushes and closes the raster open on `unit`; the unit number itself is not released.
void raster_close_output(int unit, int& status);

// The path of a configuration value marked for the HOME_DIR prefix: `home` + `value`,
// except that a value already beginning with `home`, or one that exists as written while
// the prefixed path does not, is used as written; `note` then says which and why (empty
// when the prefix was put in front).
std::string ornax_home_prefixed_path(const std::string& home, const std::string& value,
                                     std::string& note);
