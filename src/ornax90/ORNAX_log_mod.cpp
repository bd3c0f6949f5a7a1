// Run log and file unit pool.
#include "ornax90/ORNAX_log_mod.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <iostream>
#include <map>
#include <mutex>

#include "utils/fixed_text.hpp"

int ornax_logunit = 0;
std::int16_t ornax_debug = 0;

namespace {

std::array<int, ornax_unit_last - ornax_unit_first + 1> iou{};  // 1 = in use
std::map<int, std::FILE*> unit_streams;                         // open streams by unit number
std::mutex pool_mutex;                                          // guards iou and unit_streams
std::mutex output_mutex;  // one writer at a time on the log, the screen and appended files

// Buffer that captures the calling thread's messages, if any.
thread_local Ornaxmessagebuffer* capture = nullptr;

bool captured(Ornaxmessagebuffer::Channel channel, std::string_view text,
              const std::string& path = {}) {
    if (capture == nullptr) return false;
    capture->entries.push_back({channel, path, std::string(text)});
    return true;
}

constexpr std::size_t failure_causes_kept = 16;
std::mutex failure_guard;              // causes may come from several threads
std::vector<std::string> failure_log;  // causes of the run's failure, oldest first

struct WallClock {
    std::tm tm{};
    int millis = 0;
};

WallClock read_wall_clock() {
    auto now = std::chrono::system_clock::now();
    std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    WallClock clock;
    localtime_r(&seconds, &clock.tm);
    auto since_epoch = now.time_since_epoch();
    clock.millis = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(since_epoch).count() % 1000);
    return clock;
}

}  // namespace

std::string ornax_time_stamp() {
    WallClock clock = read_wall_clock();
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03d",
                  clock.tm.tm_year + 1900, clock.tm.tm_mon + 1, clock.tm.tm_mday, clock.tm.tm_hour,
                  clock.tm.tm_min, clock.tm.tm_sec, clock.millis);
    return buffer;
}

void ornax_log_open(std::string& log_file_name, int& status) {
    ornax_logunit = ornax_get_next_unit_number();
    WallClock clock = read_wall_clock();
    char name[64];
    std::snprintf(name, sizeof name, "ORNAX-%04d%02d%02d-T%02dh%02dm.log", clock.tm.tm_year + 1900,
                  clock.tm.tm_mon + 1, clock.tm.tm_mday, clock.tm.tm_hour, clock.tm.tm_min);
    log_file_name = name;
    status = ornax_status_failure;
    if (ornax_logunit < ornax_unit_first) return;  // pool exhausted
    // Appending keeps the lines of an earlier run started in the same minute.
    if (ornax_unit_open(ornax_logunit, log_file_name, "a") != nullptr) status = 0;
}

void ornax_log_msg(std::string_view message) {
    // A composed message is cut at its field length before the trailing blanks go.
    std::string text =
        trim_right(message.substr(0, std::min<std::size_t>(message.size(), ornax_message_length)));
    std::string line(1, ' ');
    line += ornax_time_stamp();
    line += ' ';
    line += text;
    ornax_log_plain(line);
}

void ornax_log_plain(std::string_view line) {
    if (captured(Ornaxmessagebuffer::Channel::log, line)) return;
    std::FILE* log = ornax_unit_stream(ornax_logunit);
    if (log == nullptr) log = stderr;  // no run log open
    std::lock_guard<std::mutex> lock(output_mutex);
    std::fwrite(line.data(), 1, line.size(), log);
    std::fputc('\n', log);
    std::fflush(log);
}

void ornax_screen_line(std::string_view line) {
    if (captured(Ornaxmessagebuffer::Channel::screen, line)) return;
    bool written = false;
    {
        std::lock_guard<std::mutex> lock(output_mutex);
        written = std::fwrite(line.data(), 1, line.size(), stdout) == line.size();
        written = std::fputc('\n', stdout) != EOF && written;
        written = std::fflush(stdout) == 0 && written;
    }
    if (!written) ornax_note_screen_failure(errno);
}

void ornax_note_screen_failure(int error_number) {
    static std::atomic<bool> noted = false;
    if (noted.exchange(true)) return;
    ornax_log_msg(std::string("Cannot write to the standard output (") +
                  std::strerror(error_number != 0 ? error_number : EIO) +
                  "): the screen lines are lost from here on; computing and publishing go on");
}

void ornax_append_text(const std::string& path, const std::string& text, int& status) {
    status = 0;
    if (captured(Ornaxmessagebuffer::Channel::append, text, path)) return;
    const int unit = ornax_get_next_unit_number();
    std::FILE* stream = unit < 0 ? nullptr : ornax_unit_open(unit, path, "a");
    if (stream == nullptr) {
        ornax_screen_line("Error in opening the output file:" + path);
        status = ornax_status_failure;
    } else {
        std::lock_guard<std::mutex> lock(output_mutex);
        if (std::fwrite(text.data(), 1, text.size(), stream) != text.size() ||
            std::fflush(stream) != 0)
            status = ornax_status_failure;
    }
    if (unit >= 0) ornax_release_unit_number(unit);
}

OrnaxMessageCapture::OrnaxMessageCapture(Ornaxmessagebuffer& buffer) : previous_(capture) {
    capture = &buffer;
}

OrnaxMessageCapture::~OrnaxMessageCapture() {
    capture = previous_;
}

void ornax_release_messages(const Ornaxmessagebuffer& buffer) {
    for (const Ornaxmessagebuffer::Entry& entry : buffer.entries) {
        switch (entry.channel) {
            case Ornaxmessagebuffer::Channel::log: ornax_log_plain(entry.text); break;
            case Ornaxmessagebuffer::Channel::failure: ornax_log_failure(entry.text); break;
            case Ornaxmessagebuffer::Channel::screen: ornax_screen_line(entry.text); break;
            case Ornaxmessagebuffer::Channel::append: {
                int status = 0;
                ornax_append_text(entry.path, entry.text, status);
                break;
            }
        }
    }
}

void ornax_log_close() {
    if (ornax_unit_stream(ornax_logunit) == nullptr) return;  // no run log open
    ornax_log_plain(" Close the log file");
    ornax_release_unit_number(ornax_logunit);
    ornax_logunit = 0;
}

int ornax_get_next_unit_number() {
    {
        std::lock_guard<std::mutex> lock(pool_mutex);
        for (int unit = ornax_unit_first; unit <= ornax_unit_last; ++unit) {
            int& flag = iou[unit - ornax_unit_first];
            if (flag != 1) {
                flag = 1;
                return unit;
            }
        }
    }
    ornax_log_plain(" ORNAX_file Units Mod: Ran out of Unit numbers");
    return -1;
}

void ornax_release_unit_number(int unit) {
    const bool in_pool = unit >= ornax_unit_first && unit <= ornax_unit_last;
    bool flagged = false;
    {
        std::lock_guard<std::mutex> lock(pool_mutex);
        flagged = in_pool && iou[unit - ornax_unit_first] == 1;
    }
    if (!flagged) {
        FreeLine line;
        line << "file unit release error: " << unit << "is not flaggged as in use";
        std::cout << line.str() << std::endl;
    }
    ornax_unit_close(unit);
    std::lock_guard<std::mutex> lock(pool_mutex);
    if (in_pool) iou[unit - ornax_unit_first] = 0;
}

std::FILE* ornax_unit_open(int unit, const std::string& path, const char* mode) {
    // The -1 of an exhausted pool (or any unit below 1) makes the open fail, so that two
    // callers without a unit never share one stream.
    if (unit < 1) return nullptr;
    ornax_unit_close(unit);
    std::FILE* stream = std::fopen(path.c_str(), mode);
    if (stream != nullptr) {
        std::lock_guard<std::mutex> lock(pool_mutex);
        unit_streams[unit] = stream;
    }
    return stream;
}

std::FILE* ornax_unit_stream(int unit) {
    std::lock_guard<std::mutex> lock(pool_mutex);
    auto found = unit_streams.find(unit);
    return found == unit_streams.end() ? nullptr : found->second;
}

void ornax_unit_close(int unit) {
    std::FILE* stream = nullptr;
    {
        std::lock_guard<std::mutex> lock(pool_mutex);
        auto found = unit_streams.find(unit);
        if (found == unit_streams.end()) return;
        stream = found->second;
        unit_streams.erase(found);
    }
    std::fclose(stream);
}

void ornax_log_failure(std::string_view message) {
    if (captured(Ornaxmessagebuffer::Channel::failure, message)) return;
    ornax_log_msg(message);
    std::string text = trim_right(message);  // whole, even where the log line is cut
    const std::size_t first = text.find_first_not_of(' ');
    text.erase(0, first == std::string::npos ? text.size() : first);
    std::lock_guard<std::mutex> lock(failure_guard);
    if (failure_log.size() < failure_causes_kept) failure_log.push_back(text);
}

void ornax_log_failure(std::string_view log_line, std::string_view cause) {
    if (captured(Ornaxmessagebuffer::Channel::failure, log_line)) return;
    ornax_log_msg(log_line);
    std::lock_guard<std::mutex> lock(failure_guard);
    if (failure_log.size() < failure_causes_kept) failure_log.push_back(std::string(cause));
}

std::vector<std::string> ornax_failure_causes() {
    std::lock_guard<std::mutex> lock(failure_guard);
    return failure_log;
}

void ornax_clear_failure_causes() {
    std::lock_guard<std::mutex> lock(failure_guard);
    failure_log.clear();
}
