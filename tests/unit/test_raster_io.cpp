// Binary raster files: layout, byte order, line and whole-array reading and writing.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "ornax90/file_io_mod.hpp"
#include "support/raster.hpp"

using raster_test::LogCapture;
using raster_test::ScratchDir;

namespace {

// Raw little-endian bytes of a file.
std::vector<unsigned char> file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

float value_at(const std::vector<unsigned char>& bytes, std::size_t offset) {
    float value = 0.0f;
    raster_decode_le(bytes.data() + offset, 1, &value);
    return value;
}

// Writes `count` values v(i) = first + i as a raster file.
void write_sequence(const std::string& path, int count, float first) {
    std::vector<float> values(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        values[static_cast<std::size_t>(i)] = first + static_cast<float>(i);
    std::vector<unsigned char> bytes(values.size() * 4);
    raster_encode_le(values.data(), values.size(), bytes.data());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

TEST(RasterLayout, RecordsAndOffsetsOfLayeredRasters) {
    // 3 layers of 100 lines: line 7 of layer 3 is record 207, at byte 8240 with 10 columns.
    EXPECT_EQ(raster_record_3d(100, 7, 3), 207);
    EXPECT_EQ(raster_record_offset(207, 10), 8240);
    // 4-d, nz = 2, nt = 3, nrow = 5: line 4 of layer 2 of step 3 is record 29.
    EXPECT_EQ(raster_record_4d(5, 2, 4, 2, 3), 29);
    EXPECT_EQ(raster_record_4d(5, 2, 1, 1, 1), 1);
    // Offsets beyond 2 GiB must not wrap.
    EXPECT_EQ(raster_record_offset(100000, 10000), 3999960000LL);
}

TEST(RasterLayout, LittleEndianWhateverTheHost) {
    const unsigned char one[4] = {0x00, 0x00, 0x80, 0x3F};
    float value = 0.0f;
    raster_decode_le(one, 1, &value);
    EXPECT_EQ(value, 1.0f);
    unsigned char bytes[8];
    const float pair[2] = {-2.5f, 1.0f};
    raster_encode_le(pair, 2, bytes);
    EXPECT_EQ(bytes[0], 0x00);
    EXPECT_EQ(bytes[3], 0xC0);  // -2.5 is 0xC0200000
    EXPECT_EQ(bytes[2], 0x20);
    EXPECT_EQ(bytes[6], 0x80);
    EXPECT_EQ(bytes[7], 0x3F);
}

TEST(RasterLineReader, ReadsBytesAsLittleEndianFromFile) {
    ScratchDir dir;
    std::string path = dir.file("one.bin");
    raster_test::write_text(path, std::string("\x00\x00\x80\x3F\x00\x00\x00\x40", 8));
    std::vector<float> line;
    int status = -1;
    read_2d_real_by_line(path + "     ", 2, 1, 1, 0, line, status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(line.size(), 2u);
    EXPECT_EQ(line[0], 1.0f);
    EXPECT_EQ(line[1], 2.0f);
}

TEST(RasterLineReader, ImageWrittenWholeReadsBackLineByLine) {
    ScratchDir dir;
    std::string path = dir.file("image.bin");
    Real2dArray image;
    image.allocate(7, 4);
    for (int n = 1; n <= 4; ++n)
        for (int c = 1; c <= 7; ++c) image(c, n) = 100.0f * n + c + 0.25f;
    int status = -1;
    write_out_2d_real(image, 7, 4, path, status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(std::filesystem::file_size(path), 7u * 4u * 4u);
    for (int n = 1; n <= 4; ++n) {
        std::vector<float> line;
        read_2d_real_by_line(path, 7, 4, n, 0, line, status);
        ASSERT_EQ(status, 0);
        for (int c = 1; c <= 7; ++c) EXPECT_EQ(line[static_cast<std::size_t>(c - 1)], image(c, n));
    }
    Real2dArray whole;
    read_2d_real_by_col_row(path, 7, 4, 0, whole, status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(whole.values, image.values);
}

TEST(RasterLineReader, ShortFileFailsOnlyBeyondItsEnd) {
    ScratchDir dir;
    LogCapture log(dir);
    std::string path = dir.file("short.bin");
    write_sequence(path, 3 * 5 + 2, 1.0f);  // three whole lines of 5 and a partial fourth
    std::vector<float> line;
    int status = -1;
    read_2d_real_by_line(path, 5, 10, 3, 0, line, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(line[0], 11.0f);
    EXPECT_FALSE(log.contains("read error!"));
    read_2d_real_by_line(path, 5, 10, 4, 0, line, status);
    EXPECT_NE(status, 0);
    EXPECT_EQ(line[0], 11.0f) << "a failed read must not leave part of a record behind";
    EXPECT_TRUE(log.contains(" File " + path + " read error!"));
    read_2d_real_by_line(path, 5, 10, 9, 0, line, status);
    EXPECT_NE(status, 0);
}

TEST(RasterLineReader, MissingFileIsOpenFailureAndNotCreated) {
    ScratchDir dir;
    LogCapture log(dir);
    std::string path = dir.file("absent.bin");
    std::vector<float> line{7.0f};
    int status = 0;
    read_2d_real_by_line(path, 4, 4, 1, 0, line, status);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(line, std::vector<float>{7.0f});
    EXPECT_TRUE(log.contains(" File " + path + " open error!"));
    Real2dArray layers;
    read_3d_real_by_line(path, 4, 4, 2, 1, -999.0f, layers, status);
    EXPECT_EQ(status, 3);
    EXPECT_FALSE(std::filesystem::exists(path)) << "reading must never create a file";
}

TEST(RasterLayeredReader, ThreeDLineOfEveryLayer) {
    ScratchDir dir;
    std::string path = dir.file("cube.bin");
    const int ncol = 10, nrow = 100, nz = 3;
    Real3dArray cube;
    cube.allocate(ncol, nrow, nz);
    for (int k = 1; k <= nz; ++k)
        for (int n = 1; n <= nrow; ++n)
            for (int c = 1; c <= ncol; ++c) cube(c, n, k) = 10000.0f * k + 10.0f * n + c;
    int status = -1;
    write_out_3d_real(cube, ncol, nrow, nz, path, status);
    ASSERT_EQ(status, 0);
    // The first value of line 7 of layer 3 lies at byte 8240.
    EXPECT_EQ(value_at(file_bytes(path), 8240), cube(1, 7, 3));
    Real2dArray line;
    read_3d_real_by_line(path, ncol, nrow, nz, 7, 0.0f, line, status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(line.n1, ncol);
    ASSERT_EQ(line.n2, nz);
    for (int k = 1; k <= nz; ++k)
        for (int c = 1; c <= ncol; ++c) EXPECT_EQ(line(c, k), cube(c, 7, k));
    Real3dArray whole;
    read_3d_real_by_col_row(path, ncol, nrow, nz, 0, whole, status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(whole.values, cube.values);
}

TEST(RasterLayeredReader, MissingLayerIsReportedAndOthersStillRead) {
    ScratchDir dir;
    LogCapture log(dir);
    std::string path = dir.file("two_layers.bin");
    write_sequence(path, 4 * 3 * 2, 0.0f);  // ncol 4, nrow 3, only 2 of 3 layers present
    Real2dArray line;
    int status = 0;
    read_3d_real_by_line(path, 4, 3, 3, 2, 0.0f, line, status);
    EXPECT_NE(status, 0);
    EXPECT_EQ(line(1, 1), 4.0f);   // record 2
    EXPECT_EQ(line(4, 2), 19.0f);  // record 5
    EXPECT_TRUE(log.contains("read error!"));
    EXPECT_TRUE(log.contains("at pline/zloop"));
}

TEST(RasterLayeredReader, FourDLineRecordsAndFill) {
    ScratchDir dir;
    std::string path = dir.file("hyper.bin");
    const int ncol = 3, nrow = 5, nz = 2, nt = 3;
    // Each value holds its record number times 10 plus its column.
    std::vector<float> values(static_cast<std::size_t>(ncol * nrow * nz * nt));
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<float>((i / ncol + 1) * 10 + i % ncol + 1);
    std::vector<unsigned char> bytes(values.size() * 4);
    raster_encode_le(values.data(), values.size(), bytes.data());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    Real3dArray line;
    int status = -1;
    read_4d_real_by_line(path, ncol, nrow, nz, nt, 4, -1.0f, line, status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(line(1, 2, 3), 291.0f);  // record 29
    EXPECT_EQ(line(3, 1, 1), 43.0f);   // record 4
    Real4dArray whole;
    read_4d_real_by_col_row(path, ncol, nrow, nz, nt, -1.0f, whole, status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(whole(2, 4, 2, 3), 292.0f);
}

TEST(RasterLayeredReader, FourDMissingFileLeavesFillAndTellsTheScreen) {
    ScratchDir dir;
    std::string path = dir.file("none.bin");
    Real3dArray line;
    line.allocate(1, 1, 1, 5.0f);
    int status = 0;
    ::testing::internal::CaptureStdout();
    read_4d_real_by_line(path, 4, 5, 2, 3, 1, -9999.0f, line, status);
    std::string screen = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 3);
    ASSERT_EQ(line.values.size(), 24u);
    for (float v : line.values) EXPECT_EQ(v, -9999.0f);
    EXPECT_NE(screen.find(" File" + path + "open error!"), std::string::npos) << screen;
    Real4dArray whole;
    ::testing::internal::CaptureStdout();
    read_4d_real_by_col_row(path, 2, 2, 1, 1, -1.0f, whole, status);
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 3);
    EXPECT_EQ(whole.values, std::vector<float>(4, -1.0f));
}

TEST(RasterWriter, ExtentMismatchWritesNothing) {
    ScratchDir dir;
    LogCapture log(dir);
    std::string path = dir.file("wrong.bin");
    Real2dArray image;
    image.allocate(10, 5, 1.0f);
    int status = 0;
    write_out_2d_real(image, 5, 10, path, status);
    EXPECT_EQ(status, 3);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(log.contains("Unmatched boundary, write failed."));
    Real3dArray cube;
    cube.allocate(2, 3, 4);
    write_out_3d_real(cube, 2, 3, 5, path, status);
    EXPECT_EQ(status, 3);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(log.contains("Unmatched data boundaries         4         5"));
}

TEST(RasterWriter, WholeWriteReplacesAndReports) {
    ScratchDir dir;
    LogCapture log(dir);
    std::string path = dir.file("cube.bin");
    write_sequence(path, 1000, 0.0f);  // an older, longer file is replaced
    Real3dArray cube;
    cube.allocate(2, 2, 2, 3.0f);
    int status = -1;
    write_out_3d_real(cube, 2, 2, 2, path, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(std::filesystem::file_size(path), 32u);
    EXPECT_TRUE(log.contains(" bytes to " + path + " successfully"));
    write_out_3d_real(cube, 2, 2, 2, dir.file("no/such/dir.bin"), status);
    EXPECT_EQ(status, 3);
    EXPECT_TRUE(log.contains("in opening " + dir.file("no/such/dir.bin")));
}

TEST(RasterLineWriter, LinesInAnyOrderLandAtTheirRecords) {
    ScratchDir dir;
    LogCapture log(dir);
    std::string path = dir.file("out.bin");
    write_sequence(path, 100, 0.0f);  // replaced on open
    const int unit = 301, ncol = 4;
    int status = -1;
    raster_open_output(unit, path, status);
    ASSERT_EQ(status, 0);
    for (int record : {3, 1, 2}) {
        std::vector<float> line(ncol, static_cast<float>(record));
        write_out_2d_real_line(line, ncol, 3, unit, record, status);
        EXPECT_EQ(status, 0);
    }
    std::vector<float> wrong(ncol + 1, 9.0f);
    write_out_2d_real_line(wrong, ncol, 3, unit, 2, status);
    EXPECT_EQ(status, 3);
    EXPECT_TRUE(log.contains("Write           16 error"));
    raster_close_output(unit, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(std::filesystem::file_size(path), 3u * ncol * 4u);
    std::vector<float> line;
    for (int n = 1; n <= 3; ++n) {
        read_2d_real_by_line(path, ncol, 3, n, 0, line, status);
        ASSERT_EQ(status, 0);
        EXPECT_EQ(line, std::vector<float>(ncol, static_cast<float>(n)));
    }
    // Writing to a unit that is no longer open fails.
    write_out_2d_real_line(line, ncol, 3, unit, 1, status);
    EXPECT_EQ(status, 3);
}

TEST(RasterUnits, EveryRoutineGivesItsUnitBack) {
    ScratchDir dir;
    LogCapture log(dir);
    int before = ornax_get_next_unit_number();
    ornax_release_unit_number(before);
    std::string path = dir.file("u.bin");
    Real2dArray image;
    image.allocate(2, 2, 1.0f);
    int status = 0;
    write_out_2d_real(image, 2, 2, path, status);
    std::vector<float> line;
    read_2d_real_by_line(path, 2, 2, 1, 0, line, status);
    read_2d_real_by_line(path, 2, 2, 5, 0, line, status);
    read_2d_real_by_line(dir.file("x.bin"), 2, 2, 1, 0, line, status);
    Real2dArray layers;
    read_3d_real_by_line(path, 2, 2, 3, 1, 0.0f, layers, status);
    int after = ornax_get_next_unit_number();
    ornax_release_unit_number(after);
    EXPECT_EQ(before, after);
}

TEST(RasterLayeredReader, LineOutsideTheLayerIsAReadFailure) {
    ScratchDir dir;
    LogCapture log(dir);
    std::string path = dir.file("small.bin");
    write_sequence(path, 2 * 3 * 2, 1.0f);  // ncol 2, nrow 3, nz 2
    Real2dArray line;
    int status = 0;
    // Line 4 of layer 1 would be record 4, which is line 1 of layer 2.
    read_3d_real_by_line(path, 2, 3, 2, 4, 0.0f, line, status);
    EXPECT_NE(status, 0);
    EXPECT_NE(line(1, 1), 7.0f);
    Real3dArray timed;
    ::testing::internal::CaptureStdout();
    read_4d_real_by_line(path, 2, 3, 2, 1, 0, -5.0f, timed, status);
    ::testing::internal::GetCapturedStdout();
    EXPECT_NE(status, 0);
    EXPECT_EQ(timed.values, std::vector<float>(4, -5.0f));
    // Negative counts neither crash nor read.
    Real2dArray image;
    read_2d_real_by_col_row(path, -2, -3, 0, image, status);
    EXPECT_NE(status, 0);
    EXPECT_TRUE(image.values.empty());
}

// A raster held open for a run reads the same values, statuses and messages as one opened
// for every read, also from several threads at once, and uses no unit of the pool.
TEST(RasterHeldInput, HeldReadsMatchReadsThatOpenTheFile) {
    ScratchDir dir;
    LogCapture log(dir);
    const std::string path = dir.file("held.bin");
    write_sequence(path, 5 * 3 + 2, 1.0f);  // three whole lines of 5 and a partial fourth
    RasterInputFiles held;
    held.hold(path + "   ");  // trailing blanks of a name field
    held.hold(dir.file("absent.bin"));
    ASSERT_EQ(held.size(), 1u);
    EXPECT_GE(held.fd(path), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.file("absent.bin")));
    const int unit = ornax_get_next_unit_number();
    ornax_release_unit_number(unit);
    for (int line : {1, 3, 2, 4, 9, 0}) {
        std::vector<float> direct(5, -1.0f), through(5, -1.0f);
        int direct_status = -1, held_status = -1;
        read_2d_real_by_line(path, 5, 4, line, 0, direct, direct_status);
        read_2d_real_by_line(&held, path, 5, 4, line, 0, through, held_status);
        EXPECT_EQ(held_status, direct_status) << "line " << line;
        EXPECT_EQ(through, direct) << "line " << line;
    }
    EXPECT_EQ(ornax_get_next_unit_number(), unit) << "held reads take no unit";
    ornax_release_unit_number(unit);
    std::vector<float> values;
    int status = 0;
    read_2d_real_by_line(&held, dir.file("absent.bin"), 5, 4, 1, 0, values, status);
    EXPECT_EQ(status, 3);
    EXPECT_TRUE(log.contains(" File " + dir.file("absent.bin") + " open error!"));

    std::vector<std::thread> readers;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t)
        readers.emplace_back([&, t] {
            std::vector<float> v;
            for (int n = 0; n < 200; ++n) {
                const int line = (n + t) % 3 + 1;
                int st = 0;
                read_2d_real_by_line(&held, path, 5, 4, line, 0, v, st);
                if (st != 0 || v[0] != static_cast<float>(5 * (line - 1) + 1)) ++wrong;
            }
        });
    for (std::thread& reader : readers) reader.join();
    EXPECT_EQ(wrong.load(), 0);
}

// A band of lines read in one go holds, line after line, what line-by-line reads give; a
// band reaching past the last line or a layer the file lacks fails.
TEST(RasterLayeredReader, BandOfLinesMatchesLineByLineReads) {
    ScratchDir dir;
    const std::string path = dir.file("band.bin");
    const int ncol = 4, nrow = 5, nz = 3;
    write_sequence(path, ncol * nrow * nz, 0.0f);
    struct Case {
        int first, nlines, layers_in_file;
        bool read;
    };
    const Case cases[] = {{1, 5, 3, true},  {2, 3, 3, true},  {5, 1, 3, true},
                          {4, 3, 3, false}, {0, 2, 3, false}, {1, 2, 2, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.first << " +" << c.nlines << " of " << c.layers_in_file);
        write_sequence(path, ncol * nrow * c.layers_in_file, 0.0f);
        Real2dArray band;
        int status = -1;
        read_3d_real_by_lines(nullptr, path, ncol, nrow, nz, c.first, c.nlines, band, status);
        EXPECT_EQ(status == 0, c.read);
        if (!c.read) continue;
        for (int n = 0; n < c.nlines; ++n) {
            Real2dArray line;
            read_3d_real_by_line(path, ncol, nrow, nz, c.first + n, 0.0f, line, status);
            ASSERT_EQ(status, 0);
            for (int k = 1; k <= nz; ++k)
                for (int col = 1; col <= ncol; ++col)
                    EXPECT_EQ(band(n * ncol + col, k), line(col, k));
        }
    }
}
