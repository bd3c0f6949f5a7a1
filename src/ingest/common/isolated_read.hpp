// Reading untrusted files in a child process: a library that crashes, spins or eats memory
// on a corrupt source ends only the child, and the converter refuses the file instead. The
// child runs the reading, packs its results into bytes and hands them back through a pipe,
// with the messages it gave; a signal, the time limit or the memory limit becomes an error
// naming the library, the file and what happened.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Limits of one isolated reading. seconds: longest time one file may take (0: none);
// memory_mb: address space the child may add to what the converter already holds (0:
// none). in_process: read in the converter itself (no protection; for measurements).
struct IsolationLimits {
    double seconds = 120.0;
    long memory_mb = 4096;
    bool in_process = false;
};

// The limits every later isolated reading uses (set once from the command line).
void ingest_set_isolation_limits(const IsolationLimits& limits);
IsolationLimits ingest_isolation_limits();

// Results of a reading as bytes, written in one order and read back in the same order.
class IsolatedBytes {
public:
    void put(std::int64_t value);
    void put(double value);
    void put(const std::string& text);
    void put(const std::vector<float>& values);
    void put(const std::vector<double>& values);
    // (std::int64_t is long on the systems the converter runs on: a long is read as one.)
    // Each get fails (false, and every later one too) when the bytes run out.
    bool get(std::int64_t& value);
    bool get(int& value);
    bool get(bool& value);
    bool get(double& value);
    bool get(std::string& text);
    bool get(std::vector<float>& values);
    bool get(std::vector<double>& values);
    bool complete() const { return good_ && at_ == bytes_.size(); }
    std::size_t left() const { return good_ ? bytes_.size() - at_ : 0; }
    // The bytes not read yet, moved (not copied) into bytes of their own.
    IsolatedBytes rest();
    std::string& bytes() { return bytes_; }

private:
    bool take(void* out, std::size_t n);
    std::string bytes_;
    std::size_t at_ = 0;
    bool good_ = true;
};

// The reading run in the child: fills `out` and sets status (0, or 3 with error).
using IsolatedWork = std::function<void(IsolatedBytes& out, std::string& error, int& status)>;

// Runs work in a child process under the current limits and gives back its bytes in
// `result`. library names the decoder in messages ("ecCodes", "GDAL", "NetCDF"), file the
// first file read (ingest_isolated_reading names the next ones). The child's messages
// (ingest_message, ingest_log_only, GDAL's lines) are given out here, in their order.
// GDAL errors at CE_Failure reported in the child turn a success into a refusal naming
// the file and GDAL's text. status 3 with error when the work failed, the child was ended
// by a signal ("ecCodes crashed (signal 11, Segmentation fault) reading FILE"), took
// longer than the time limit on one file ("timed out after N s"), ran out of memory or
// could not be started.
void ingest_isolated_read(const std::string& library, const std::string& file,
                          const IsolatedWork& work, IsolatedBytes& result, std::string& error,
                          int& status);

// Whether this process may start a library's worker threads (GDAL's warper on every core):
// false in a child whose parent had started them before the fork, as they do not exist in
// the child and a pool that counts on them never completes a job.
bool ingest_library_threads_usable();
// Notes that a library's worker threads were started in this process.
void ingest_note_library_threads();

// Called by a reading (in the child) when it starts on another file: that file is named
// in a refusal and has the whole time limit. Does nothing outside an isolated reading.
void ingest_isolated_reading(const std::string& file);
