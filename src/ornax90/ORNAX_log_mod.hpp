// Run log and file unit pool of the model and its drivers.
//
// The run log is a text file opened once at start-up; every message goes in as one
// time-stamped line. File units are small integers handed out from a pool; a unit is
// bound to an open C stream while its file is in use and closed when it is released.
// The log, the screen lines and the pool may be used from several threads at once; a
// thread working on one line of a region gathers its messages and the driver writes them
// in line order (Ornaxmessagebuffer), so the log reads the same whatever the thread count.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "ornax90/type_kinds.hpp"

inline constexpr int ornax_unit_first = 13;       // first unit of the ornax pool
inline constexpr int ornax_unit_last = 299;       // last unit of the ornax pool
inline constexpr int ornax_message_length = 300;  // composed messages are cut here

extern int ornax_logunit;  // unit of the open run log (0 while no log is open)
extern std::int16_t ornax_debug;

// Opens the run log "ORNAX-YYYYMMDD-Thhhmmm.log" in the working directory (appending
// when a log of that name exists). log_file_name receives the name; status 0 or 3.
void ornax_log_open(std::string& log_file_name, int& status);
// Writes " YYYY-MM-DDThh:mm:ss.sss " followed by the message with trailing blanks
// removed; without an open log the line goes to the standard error stream.
void ornax_log_msg(std::string_view message);
// Writes a plain line (no time stamp) to the run log, or to standard error when no log is open.
void ornax_log_plain(std::string_view line);
// Writes the message like ornax_log_msg and keeps it as a cause of the run's failure: the
// main program shows the causes on the standard error stream when the run fails.
void ornax_log_failure(std::string_view message);
// The same with the cause the standard error stream shows worded apart from the log line
// (where the log's own text glues a name to a word).
void ornax_log_failure(std::string_view log_line, std::string_view cause);
// Causes kept so far (the first few of the process), oldest first.
std::vector<std::string> ornax_failure_causes();
// Forgets the causes kept so far.
void ornax_clear_failure_causes();
// Writes " Close the log file", closes the log and releases its unit.
void ornax_log_close();

// Unit pool 13..299: lowest free unit first; -1 when the pool is exhausted.
int ornax_get_next_unit_number();
// Closes the unit's stream (if any) and marks the unit free.
void ornax_release_unit_number(int unit);

// Streams bound to units (shared by both pools).
// Opens path with the C mode string on the unit (closing what the unit had open); nullptr
// on failure and for a unit below 1, such as the -1 of an exhausted pool.
std::FILE* ornax_unit_open(int unit, const std::string& path, const char* mode);
// Stream bound to the unit, nullptr when none.
std::FILE* ornax_unit_stream(int unit);
// Closes the unit's stream, if one is open; the pool flag is left as it is.
void ornax_unit_close(int unit);

// Time stamp of the wall clock, "YYYY-MM-DDThh:mm:ss.sss".
std::string ornax_time_stamp();

// Writes one line on the screen (standard output), or into the calling thread's message
// buffer while one is capturing. A line that cannot be written is a screen failure only.
void ornax_screen_line(std::string_view line);
// A write to the standard output failed (a closed pipe, a full device) with the system's
// error number: the first one of the process is logged; the run goes on.
void ornax_note_screen_failure(int error_number);
// Appends text to a file (created when missing), or defers the append into the calling
// thread's message buffer while one is capturing. A file that cannot be opened prints
// "Error in opening the output file:" and the path on the screen; status 0 or 3.
void ornax_append_text(const std::string& path, const std::string& text, int& status);

// ---- Messages gathered by one piece of work and written later, in order ----

// Log lines (stamped when they were composed), failure causes (stamped when released),
// screen lines and file appends, in the order they were made.
struct Ornaxmessagebuffer {
    enum class Channel { log, failure, screen, append };
    struct Entry {
        Channel channel = Channel::log;
        std::string path;  // file of an append
        std::string text;
    };
    std::vector<Entry> entries;
};

// While an object lives, the log lines, screen lines and appends of the thread that made
// it go into `buffer` instead of out. Objects nest: the newest one captures.
class OrnaxMessageCapture {
public:
    explicit OrnaxMessageCapture(Ornaxmessagebuffer& buffer);
    ~OrnaxMessageCapture();
    OrnaxMessageCapture(const OrnaxMessageCapture&) = delete;
    OrnaxMessageCapture& operator=(const OrnaxMessageCapture&) = delete;

private:
    Ornaxmessagebuffer* previous_;
};

// Sends the entries of a buffer on, in order, as if they were being written now (so they
// land in the calling thread's capture when there is one).
void ornax_release_messages(const Ornaxmessagebuffer& buffer);
