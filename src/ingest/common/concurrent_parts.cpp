// Each part's thread captures its messages: the converters' own lines in a thread-local
// list (support.cpp), the model library's lines in its message buffer, GDAL's error lines
// through a handler of that thread.
#include "ingest/common/concurrent_parts.hpp"

#include <cpl_error.h>

#include <cstdio>
#include <future>
#include <string>
#include <system_error>

#include "ingest/common/support.hpp"
#include "ornax90/ORNAX_log_mod.hpp"

namespace {

struct PartMessages {
    IngestMessageList lines;  // ingest messages and GDAL lines, in the order they came
    Ornaxmessagebuffer library;
};

void keep_gdal_line(CPLErr level, CPLErrorNum number, const char* text) {
    auto* kept = static_cast<IngestMessageList*>(CPLGetErrorHandlerUserData());
    if (kept == nullptr || level == CE_Debug) return;
    // the text GDAL's own handler writes on the standard error
    const std::string line = (level == CE_Warning ? "Warning " : "ERROR ") +
                             std::to_string(static_cast<int>(number)) + ": " + text;
    kept->push_back({IngestMessageKind::raw, line});
}

int run_kept(const std::function<int()>& part, PartMessages& kept) {
    IngestMessageCapture capture(kept.lines);
    OrnaxMessageCapture library(kept.library);
    CPLPushErrorHandlerEx(keep_gdal_line, &kept.lines);
    int code = ingest_exit_failure;
    try {
        code = part();
    } catch (const std::exception& error) {
        kept.lines.push_back(
            {IngestMessageKind::message, std::string("conversion stopped: ") + error.what()});
    }
    CPLPopErrorHandler();
    return code;
}

void give_out(const PartMessages& kept) {
    for (const auto& [kind, text] : kept.lines) {
        if (kind == IngestMessageKind::message)
            ingest_message(text);
        else if (kind == IngestMessageKind::log_only)
            ingest_log_only(text);
        else
            ingest_raw_line(text);
    }
    ornax_release_messages(kept.library);
}

}  // namespace

void ingest_run_parts(const std::vector<std::function<int()>>& parts, bool side_by_side,
                      std::vector<int>& codes) {
    codes.assign(parts.size(), ingest_exit_ok);
    std::vector<PartMessages> kept(parts.size());
    std::vector<std::future<int>> running;
    // the calling thread takes the last part: the satellite scans of a region, which the
    // NetCDF library reads with the HDF5 library, whose error reports that library silences
    // on the thread that set it up (the calling one) but prints on any other
    const std::size_t last = parts.size() - 1;
    if (side_by_side && parts.size() > 1) {
        try {
            for (std::size_t i = 0; i < last; ++i)
                running.push_back(std::async(std::launch::async, run_kept, std::cref(parts[i]),
                                             std::ref(kept[i])));
        } catch (const std::system_error&) {
            // no thread: those started finish, the rest run here below
        }
    }
    if (running.empty()) {
        for (std::size_t i = 0; i < parts.size(); ++i) {
            codes[i] = parts[i]();
            if (codes[i] != 0) return;
        }
        return;
    }
    for (std::size_t i = running.size(); i < parts.size(); ++i)
        codes[i] = run_kept(parts[i], kept[i]);
    for (std::size_t i = 0; i < running.size(); ++i) codes[i] = running[i].get();
    for (std::size_t i = 0; i < parts.size(); ++i) {
        give_out(kept[i]);
        if (codes[i] != 0) return;
    }
}
