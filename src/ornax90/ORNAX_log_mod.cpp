// Run log and file unit pool.
#include "ORNAX_log_mod.hpp"

#include <algorithm>
#include <array>
#include <chrono>
#include <ctime>
#include <iostream>
#include <map>

#include "fixed_text_mod.hpp"

int ornax_logunit = 0;
std::int16_t ornax_debug = 0;

namespace {

std::array<int, ornax_unit_last - ornax_unit_first + 1> iou{};  // 1 = in use
std::map<int, std::FILE*> unit_streams;                         // open streams by unit number
thread_local std::string* log_capture = nullptr;  // this thread's lines go here when set

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
    status = 3;
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
    if (log_capture != nullptr) {
        log_capture->append(line);
        log_capture->push_back('\n');
        return;
    }
    std::FILE* log = ornax_unit_stream(ornax_logunit);
    if (log == nullptr) log = stderr;  // no run log open
    std::fwrite(line.data(), 1, line.size(), log);
    std::fputc('\n', log);
    std::fflush(log);
}

void ornax_log_capture(std::string* buffer) { log_capture = buffer; }

void ornax_log_write_lines(std::string_view text) {
    if (text.empty()) return;
    std::FILE* log = ornax_unit_stream(ornax_logunit);
    if (log == nullptr) log = stderr;  // no run log open
    std::fwrite(text.data(), 1, text.size(), log);
    std::fflush(log);
}

void ornax_log_close() {
    if (ornax_unit_stream(ornax_logunit) == nullptr) return;  // no run log open
    ornax_log_plain(" Close the log file");
    ornax_release_unit_number(ornax_logunit);
    ornax_logunit = 0;
}

int ornax_get_next_unit_number() {
    for (int unit = ornax_unit_first; unit <= ornax_unit_last; ++unit) {
        int& flag = iou[unit - ornax_unit_first];
        if (flag != 1) {
            flag = 1;
            return unit;
        }
    }
    ornax_log_plain(" ORNAX_file Units Mod: Ran out of Unit numbers");
    return -1;
}

void ornax_release_unit_number(int unit) {
    bool in_pool = unit >= ornax_unit_first && unit <= ornax_unit_last;
    if (!in_pool || iou[unit - ornax_unit_first] != 1) {
        FreeLine line;
        line << "file unit release error: " << unit << "is not flaggged as in use";
        std::cout << line.str() << std::endl;
    }
    ornax_unit_close(unit);
    if (in_pool) iou[unit - ornax_unit_first] = 0;
}

std::FILE* ornax_unit_open(int unit, const std::string& path, const char* mode) {
    // The -1 of an exhausted pool (or any unit below 1) makes the open fail, so that two
    // callers without a unit never share one stream.
    if (unit < 1) return nullptr;
    ornax_unit_close(unit);
    std::FILE* stream = std::fopen(path.c_str(), mode);
    if (stream != nullptr) unit_streams[unit] = stream;
    return stream;
}

std::FILE* ornax_unit_stream(int unit) {
    auto found = unit_streams.find(unit);
    return found == unit_streams.end() ? nullptr : found->second;
}

void ornax_unit_close(int unit) {
    auto found = unit_streams.find(unit);
    if (found == unit_streams.end()) return;
    std::fclose(found->second);
    unit_streams.erase(found);
}
