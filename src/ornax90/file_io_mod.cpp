// Binary raster files: layout arithmetic, byte order, and the line readers and writers.
#include "ornax90/file_io_mod.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "ornax90/ORNAX_log_mod.hpp"
#include "utils/fixed_text.hpp"

namespace {
int extent(int e) {
    return e > 0 ? e : 0;
}  // a negative extent allocates nothing
}  // namespace

void Real2dArray::allocate(int e1, int e2, float fill) {
    n1 = e1 = extent(e1);
    n2 = e2 = extent(e2);
    values.assign(static_cast<std::size_t>(e1) * static_cast<std::size_t>(e2), fill);
}

void Real3dArray::allocate(int e1, int e2, int e3, float fill) {
    n1 = e1 = extent(e1);
    n2 = e2 = extent(e2);
    n3 = e3 = extent(e3);
    values.assign(static_cast<std::size_t>(e1) * static_cast<std::size_t>(e2) *
                      static_cast<std::size_t>(e3),
                  fill);
}

void Real4dArray::allocate(int e1, int e2, int e3, int e4, float fill) {
    n1 = e1 = extent(e1);
    n2 = e2 = extent(e2);
    n3 = e3 = extent(e3);
    n4 = e4 = extent(e4);
    values.assign(static_cast<std::size_t>(e1) * static_cast<std::size_t>(e2) *
                      static_cast<std::size_t>(e3) * static_cast<std::size_t>(e4),
                  fill);
}

std::int64_t raster_record_3d(int nrow, int line, int layer) {
    return static_cast<std::int64_t>(layer - 1) * nrow + line;
}

std::int64_t raster_record_4d(int nrow, int nz, int line, int layer, int step) {
    return (static_cast<std::int64_t>(step - 1) * nz + (layer - 1)) * nrow + line;
}

std::int64_t raster_record_offset(std::int64_t record, std::int64_t record_values) {
    return (record - 1) * record_values * 4;
}

void raster_decode_le(const unsigned char* bytes, std::size_t count, float* values) {
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char* b = bytes + 4 * i;
        std::uint32_t word =
            static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
            (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
        values[i] = std::bit_cast<float>(word);
    }
}

void raster_encode_le(const float* values, std::size_t count, unsigned char* bytes) {
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t word = std::bit_cast<std::uint32_t>(values[i]);
        unsigned char* b = bytes + 4 * i;
        b[0] = static_cast<unsigned char>(word & 0xFFu);
        b[1] = static_cast<unsigned char>((word >> 8) & 0xFFu);
        b[2] = static_cast<unsigned char>((word >> 16) & 0xFFu);
        b[3] = static_cast<unsigned char>((word >> 24) & 0xFFu);
    }
}

// ---- record access shared by the readers and writers ----

namespace {

std::FILE* open_raster(const std::string& file_name, const char* mode, int& unit) {
    unit = ornax_get_next_unit_number();
    errno = 0;
    if (unit < 0) return nullptr;
    return ornax_unit_open(unit, trim_right(file_name), mode);
}

// Positioned reads and writes on the file descriptor, so that the stream's own position
// and buffer are never used and several threads may address one file at once.
bool read_bytes_at(int fd, unsigned char* bytes, std::size_t count, std::int64_t offset) {
    while (count > 0) {
        const ssize_t got = ::pread(fd, bytes, count, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        bytes += got;
        count -= static_cast<std::size_t>(got);
        offset += got;
    }
    return true;
}

bool write_bytes_at(int fd, const unsigned char* bytes, std::size_t count, std::int64_t offset) {
    while (count > 0) {
        const ssize_t put = ::pwrite(fd, bytes, count, static_cast<off_t>(offset));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        bytes += put;
        count -= static_cast<std::size_t>(put);
        offset += put;
    }
    return true;
}

// A buffer of n bytes for raw reads; each thread keeps its own from read to read.
std::vector<unsigned char>& read_buffer(std::size_t n) {
    thread_local std::vector<unsigned char> bytes;
    bytes.resize(n);
    return bytes;
}

int read_record_fd(int fd, std::int64_t record, std::int64_t record_values, float* out) {
    if (fd < 0 || record < 1 || record_values < 1) return raster_status_failed;
    std::vector<unsigned char>& bytes = read_buffer(static_cast<std::size_t>(record_values) * 4);
    // A record lying wholly or partly beyond the end of the file is a failed read; the
    // caller's values are left untouched.
    if (!read_bytes_at(fd, bytes.data(), bytes.size(), raster_record_offset(record, record_values)))
        return raster_status_failed;
    raster_decode_le(bytes.data(), static_cast<std::size_t>(record_values), out);
    return 0;
}

int read_record(std::FILE* stream, std::int64_t record, std::int64_t record_values, float* out) {
    return read_record_fd(stream == nullptr ? -1 : fileno(stream), record, record_values, out);
}

int write_record(std::FILE* stream, std::int64_t record, std::int64_t record_values,
                 const float* in) {
    if (stream == nullptr || record < 1 || record_values < 1) return raster_status_failed;
    std::vector<unsigned char> bytes(static_cast<std::size_t>(record_values) * 4);
    raster_encode_le(in, static_cast<std::size_t>(record_values), bytes.data());
    if (!write_bytes_at(fileno(stream), bytes.data(), bytes.size(),
                        raster_record_offset(record, record_values)))
        return raster_status_failed;
    return 0;
}

void log_free(const FreeLine& line) {
    ornax_log_msg(line.str());
}

// Gives a unit back to the pool; nothing to give when the pool had none to hand out.
void release_unit(int unit) {
    if (unit >= 0) ornax_release_unit_number(unit);
}

void screen_line(const std::string& line) {
    ornax_screen_line(line);
}

// The file a reader reads: the run's held descriptor when the file is held, else the file
// opened on a unit of the pool for this read only (given back when the source goes).
class RasterSource {
public:
    RasterSource(const RasterInputFiles* held, const std::string& file_name) {
        if (held != nullptr) fd_ = held->fd(file_name);
        if (fd_ >= 0) return;
        std::FILE* stream = open_raster(file_name, "rb", unit_);
        if (stream != nullptr) fd_ = fileno(stream);
    }
    ~RasterSource() { release_unit(unit_); }
    RasterSource(const RasterSource&) = delete;
    RasterSource& operator=(const RasterSource&) = delete;
    bool open() const { return fd_ >= 0; }
    int fd() const { return fd_; }

private:
    int fd_ = -1;
    int unit_ = -1;
};

}  // namespace

// ---- line readers ----

void read_2d_real_by_line(const std::string& file_name, int ncol, int nrow, int line, float spare,
                          std::vector<float>& values, int& status) {
    read_2d_real_by_line(nullptr, file_name, ncol, nrow, line, spare, values, status);
}

void read_2d_real_by_line(const RasterInputFiles* held, const std::string& file_name, int ncol,
                          int /*nrow*/, int line, float /*spare*/, std::vector<float>& values,
                          int& status) {
    status = 0;
    RasterSource source(held, file_name);
    if (!source.open()) {
        log_free(FreeLine() << "File " << trim_right(file_name) << " open error!");
        status = raster_status_failed;
        return;
    }
    if (ncol > 0) values.resize(static_cast<std::size_t>(ncol));
    status = read_record_fd(source.fd(), line, ncol, values.data());
    if (status != 0) log_free(FreeLine() << "File " << trim_right(file_name) << " read error!");
}

void read_3d_real_by_line(const std::string& file_name, int ncol, int nrow, int nz, int line,
                          float spare, Real2dArray& values, int& status) {
    read_3d_real_by_line(nullptr, file_name, ncol, nrow, nz, line, spare, values, status);
}

void read_3d_real_by_line(const RasterInputFiles* held, const std::string& file_name, int ncol,
                          int nrow, int nz, int line, float /*spare*/, Real2dArray& values,
                          int& status) {
    status = 0;
    RasterSource source(held, file_name);
    if (!source.open()) {
        log_free(FreeLine() << "File " << trim_right(file_name) << " open error!");
        status = raster_status_failed;
        return;
    }
    if (values.n1 != ncol || values.n2 != nz) values.allocate(ncol, nz);
    // A line outside 1..nrow would address a line of another layer.
    bool in_layer = line >= 1 && line <= nrow;
    for (int k = 1; k <= nz; ++k) {
        std::int64_t record = raster_record_3d(nrow, line, k);
        int read_status = in_layer && ncol > 0
                              ? read_record_fd(source.fd(), record, ncol, &values(1, k))
                              : raster_status_failed;
        if (read_status == 0) continue;
        status = read_status;
        log_free(FreeLine() << "File " << trim_right(file_name) << " read error!" << read_status
                            << "at pline/zloop" << line << k << static_cast<long long>(record));
    }
}

void read_3d_real_by_lines(const RasterInputFiles* held, const std::string& file_name, int ncol,
                           int nrow, int nz, int first_line, int nlines, Real2dArray& values,
                           int& status) {
    status = raster_status_failed;
    if (ncol < 1 || nz < 1 || nlines < 1 || first_line < 1 || first_line + nlines - 1 > nrow)
        return;
    RasterSource source(held, file_name);
    if (!source.open()) return;
    const std::int64_t band = static_cast<std::int64_t>(ncol) * nlines;
    values.allocate(static_cast<int>(band), nz);
    for (int k = 1; k <= nz; ++k) {
        // the band's lines lie one after another in the layer
        const std::int64_t offset =
            raster_record_offset(raster_record_3d(nrow, first_line, k), ncol);
        std::vector<unsigned char>& bytes = read_buffer(static_cast<std::size_t>(band) * 4);
        if (!read_bytes_at(source.fd(), bytes.data(), bytes.size(), offset)) return;
        raster_decode_le(bytes.data(), static_cast<std::size_t>(band), &values(1, k));
    }
    status = 0;
}

void read_4d_real_by_line(const std::string& file_name, int ncol, int nrow, int nz, int nt,
                          int line, float fill_value, Real3dArray& values, int& status) {
    read_4d_real_by_line(nullptr, file_name, ncol, nrow, nz, nt, line, fill_value, values, status);
}

void read_4d_real_by_line(const RasterInputFiles* held, const std::string& file_name, int ncol,
                          int nrow, int nz, int nt, int line, float fill_value, Real3dArray& values,
                          int& status) {
    status = 0;
    values.allocate(ncol, nz, nt, fill_value);
    RasterSource source(held, file_name);
    if (!source.open()) {
        screen_line(FreeLine() << "File" << trim_right(file_name) << "open error!");
        status = raster_status_failed;
        return;
    }
    bool in_layer = line >= 1 && line <= nrow;  // else another layer's line would be read
    for (int t = 1; t <= nt; ++t) {
        for (int k = 1; k <= nz; ++k) {
            std::int64_t record = raster_record_4d(nrow, nz, line, k, t);
            int read_status = in_layer && ncol > 0
                                  ? read_record_fd(source.fd(), record, ncol, &values(1, k, t))
                                  : raster_status_failed;
            if (read_status == 0) continue;
            status = read_status;
            screen_line(FreeLine() << "File " << trim_right(file_name) << " read error!"
                                   << read_status << "at pline/zloop/tloop" << line << k << t
                                   << static_cast<long long>(record));
        }
    }
}

// ---- input rasters held open for a run ----

RasterInputFiles::~RasterInputFiles() {
    close();
}

void RasterInputFiles::hold(const std::string& file_name) {
    const std::string path = trim_right(file_name);
    if (path.empty() || fds_.count(path) != 0) return;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0)
        fds_[path] = fd;
    else
        failures_[path] = errno;
}

int RasterInputFiles::fd(const std::string& file_name) const {
    const auto found = fds_.find(trim_right(file_name));
    return found == fds_.end() ? -1 : found->second;
}

void RasterInputFiles::close() {
    for (const auto& entry : fds_) ::close(entry.second);
    fds_.clear();
    failures_.clear();
}

// ---- line writing into an output raster held open by its owner ----

void raster_open_output(int unit, const std::string& file_name, int& status) {
    status = 0;
    errno = 0;
    if (ornax_unit_open(unit, trim_right(file_name), "w+b") == nullptr) {
        log_free(FreeLine() << "Error " << errno << "in opening " << trim_right(file_name));
        status = raster_status_failed;
    }
}

void write_out_2d_real_line(const std::vector<float>& values, int ncol, int /*nrow*/, int unit,
                            int record, int& status) {
    status = 0;
    // A line of another length than the record is refused whole rather than written in part.
    int write_status = raster_status_failed;
    if (ncol > 0 && values.size() == static_cast<std::size_t>(ncol))
        write_status = write_record(ornax_unit_stream(unit), record, ncol, values.data());
    if (write_status != 0) {
        log_free(FreeLine() << "Write " << 4LL * ncol << "error");
        status = raster_status_failed;
    }
}

void raster_close_output(int unit, int& status) {
    status = 0;
    std::FILE* stream = ornax_unit_stream(unit);
    if (stream != nullptr && std::fflush(stream) != 0) status = raster_status_failed;
    ornax_unit_close(unit);
}

// ---- whole-array readers: one record spanning the whole array ----

namespace {

// Opens an existing raster and reads record 1 of `count` values into `out`. Returns 0,
// the read status, or -1 when the file cannot be opened (the caller reports the open).
int read_whole(const std::string& file_name, std::int64_t count, float* out) {
    int unit = -1;
    std::FILE* stream = open_raster(file_name, "rb", unit);
    if (stream == nullptr) {
        release_unit(unit);
        return -1;
    }
    int read_status = read_record(stream, 1, count, out);
    release_unit(unit);
    return read_status;
}

// Values held by an array; 0 (a failing read) when an extent was not positive.
std::int64_t size_of(const std::vector<float>& values) {
    return static_cast<std::int64_t>(values.size());
}

std::int64_t count_of(int ncol, int nrow, int nz = 1, int nt = 1) {
    return static_cast<std::int64_t>(ncol) * nrow * nz * nt;
}

}  // namespace

namespace {

// Reads a whole 2-d or 3-d raster into a freshly sized array; `values` is replaced only when
// the file could be opened, and a short file is reported as a read error.
template <typename Array>
void read_whole_array(const std::string& file_name, Array& read_values, Array& values,
                      int& status) {
    status = 0;
    int result = read_whole(file_name, size_of(read_values.values), read_values.values.data());
    if (result < 0) {
        log_free(FreeLine() << "File " << trim_right(file_name) << " open error!");
        status = raster_status_failed;
        return;
    }
    values = std::move(read_values);
    if (result != 0) {
        log_free(FreeLine() << "File " << trim_right(file_name) << " read error!");
        status = result;
    }
}

}  // namespace

void read_2d_real_by_col_row(const std::string& file_name, int ncol, int nrow, int /*spare*/,
                             Real2dArray& image, int& status) {
    Real2dArray read_image;
    read_image.allocate(ncol, nrow);
    read_whole_array(file_name, read_image, image, status);
}

void read_3d_real_by_col_row(const std::string& file_name, int ncol, int nrow, int nz,
                             int /*spare*/, Real3dArray& values, int& status) {
    Real3dArray read_values;
    read_values.allocate(ncol, nrow, nz);
    read_whole_array(file_name, read_values, values, status);
}

void read_4d_real_by_col_row(const std::string& file_name, int ncol, int nrow, int nz, int nt,
                             float fill_value, Real4dArray& values, int& status) {
    status = 0;
    values.allocate(ncol, nrow, nz, nt, fill_value);
    int result = read_whole(file_name, size_of(values.values), values.values.data());
    if (result < 0) {
        screen_line(FreeLine() << "File" << trim_right(file_name) << "open error!");
        status = raster_status_failed;
    } else {
        status = result;
    }
}

// ---- whole-array writers ----

namespace {

// Replaces the file with one record of `count` values. Returns 0 or 3; an open failure
// is logged here with the system's error number, and `opened` tells the two apart.
int write_whole(const std::string& file_name, std::int64_t count, const float* in, bool& opened) {
    int unit = -1;
    opened = false;
    std::FILE* stream = open_raster(file_name, "wb", unit);
    if (stream == nullptr) {
        int open_status = errno != 0 ? errno : raster_status_failed;
        log_free(FreeLine() << "Error " << open_status << "in opening " << trim_right(file_name));
        release_unit(unit);
        return raster_status_failed;
    }
    opened = true;
    int write_status = write_record(stream, 1, count, in);
    if (write_status == 0 && std::fflush(stream) != 0) write_status = raster_status_failed;
    release_unit(unit);
    return write_status;
}

}  // namespace

void write_out_2d_real(const Real2dArray& image, int ncol, int nrow, const std::string& file_name,
                       int& status) {
    status = 0;
    if (image.n1 != ncol || image.n2 != nrow || ncol < 1 || nrow < 1 ||
        image.values.size() != static_cast<std::size_t>(count_of(ncol, nrow))) {
        ornax_log_msg("Unmatched boundary, write failed.");
        status = raster_status_failed;
        return;
    }
    bool opened = false;
    int result = write_whole(file_name, count_of(ncol, nrow), image.values.data(), opened);
    if (result != 0) {
        status = raster_status_failed;
        if (opened)
            log_free(FreeLine() << "Write " << 4 * count_of(ncol, nrow) << "error" << result
                                << " to" << trim_right(file_name));
    }
}

void write_out_3d_real(const Real3dArray& values, int ncol, int nrow, int nz,
                       const std::string& file_name, int& status) {
    status = 0;
    if (values.n1 != ncol || values.n2 != nrow || values.n3 != nz || ncol < 1 || nrow < 1 ||
        nz < 1 || values.values.size() != static_cast<std::size_t>(count_of(ncol, nrow, nz))) {
        ornax_log_msg("Unmatched data boundaries" + write_i(values.n1, 10) + write_i(ncol, 10));
        ornax_log_msg("Unmatched data boundaries" + write_i(values.n2, 10) + write_i(nrow, 10));
        ornax_log_msg("Unmatched data boundaries" + write_i(values.n3, 10) + write_i(nz, 10));
        status = raster_status_failed;
        return;
    }
    bool opened = false;
    long long bytes = 4 * count_of(ncol, nrow, nz);
    int result = write_whole(file_name, count_of(ncol, nrow, nz), values.values.data(), opened);
    if (!opened) {
        status = raster_status_failed;
        return;
    }
    const char* outcome = result == 0 ? " successfully" : " failed";
    log_free(FreeLine() << "Write " << bytes << " bytes to " << trim_right(file_name) << outcome);
    if (result != 0) status = raster_status_failed;
}

std::string ornax_home_prefixed_path(const std::string& home, const std::string& value,
                                     std::string& note) {
    note.clear();
    const std::string prefixed = home + value;
    if (home.empty() || value.empty()) return prefixed;
    const bool leads =
        value.compare(0, home.size(), home) == 0 &&
        (value.size() == home.size() || home.back() == '/' || value[home.size()] == '/');
    if (leads) {
        note = "\"" + value + "\" already begins with HOME_DIR (" + home + "): used as written";
        return value;
    }
    std::error_code error;
    if (!std::filesystem::exists(prefixed, error) && std::filesystem::exists(value, error)) {
        note = "\"" + prefixed + "\" (HOME_DIR + value) does not exist but \"" + value +
               "\" does: used as written";
        return value;
    }
    return prefixed;
}
