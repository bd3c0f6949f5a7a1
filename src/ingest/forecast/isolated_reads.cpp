// The GRIB2 files of a conversion read in a child process.
#include "ingest/forecast/isolated_reads.hpp"

#include "ingest/common/isolated_read.hpp"
#include "ingest/common/support.hpp"

void pack_forecast_read(const ForecastStore& store, const ForecastReadSummary& summary,
                        IsolatedBytes& out) {
    const ForecastGrid& g = summary.grid;
    out.put(static_cast<std::int64_t>(g.ni));
    out.put(static_cast<std::int64_t>(g.nj));
    out.put(g.lat_first);
    out.put(g.lat_last);
    out.put(g.lon_first);
    out.put(g.dlon);
    out.put(static_cast<std::int64_t>(g.global_lon));
    out.put(summary.shifts);
    out.put(static_cast<std::int64_t>(summary.fields_read));
    out.put(static_cast<std::int64_t>(summary.fields_used));
    out.put(static_cast<std::int64_t>(summary.fields_off_axis));
    out.put(static_cast<std::int64_t>(store.duplicates));
    out.put(static_cast<std::int64_t>(store.conflicts.size()));
    for (const std::string& c : store.conflicts) out.put(c);
    out.put(static_cast<std::int64_t>(store.all().size()));
    for (const auto& [key, f] : store.all()) {
        out.put(f.variable);
        out.put(f.pressure);
        out.put(static_cast<std::int64_t>(f.reference));
        out.put(static_cast<std::int64_t>(f.start));
        out.put(static_cast<std::int64_t>(f.end));
        out.put(f.source);
        out.put(f.precision);
        out.put(f.cells);
    }
}

bool unpack_forecast_read(IsolatedBytes& in, ForecastStore& store, ForecastReadSummary& summary) {
    ForecastGrid& g = summary.grid;
    std::int64_t conflicts = 0, fields = 0;
    in.get(g.ni);
    in.get(g.nj);
    in.get(g.lat_first);
    in.get(g.lat_last);
    in.get(g.lon_first);
    in.get(g.dlon);
    in.get(g.global_lon);
    in.get(summary.shifts);
    in.get(summary.fields_read);
    in.get(summary.fields_used);
    in.get(summary.fields_off_axis);
    in.get(store.duplicates);
    in.get(conflicts);
    for (std::int64_t i = 0; i < conflicts; ++i) {
        std::string c;
        if (!in.get(c)) return false;
        store.conflicts.push_back(std::move(c));
    }
    if (!in.get(fields)) return false;
    for (std::int64_t i = 0; i < fields; ++i) {
        StoredField f;
        in.get(f.variable);
        in.get(f.pressure);
        in.get(f.reference);
        in.get(f.start);
        in.get(f.end);
        in.get(f.source);
        in.get(f.precision);
        if (!in.get(f.cells)) return false;
        store.add(std::move(f));  // keys are distinct: nothing is compared again
    }
    return in.complete();
}

void forecast_read_files_isolated(const std::vector<std::string>& files,
                                  const Spatialinfodata& common, std::int64_t keep_from,
                                  std::int64_t keep_to, ForecastStore& store,
                                  ForecastReadSummary& summary, std::string& error, int& status) {
    IsolatedBytes result;
    const auto work = [&](IsolatedBytes& out, std::string& err, int& st) {
        ForecastStore here;
        ForecastReadSummary read;
        forecast_read_files(files, common, keep_from, keep_to, here, read, err, st);
        if (st == 0) pack_forecast_read(here, read, out);
    };
    ingest_isolated_read("ecCodes", files.empty() ? std::string("no file") : files.front(), work,
                         result, error, status);
    if (status != 0) return;
    if (!unpack_forecast_read(result, store, summary)) {
        error = "the fields read from " + files.front() + " came back incomplete";
        status = ingest_status_failed;
    }
}
