// `ornax_ingest satellite`: command line, output folder and manifest.
#include "ingest/satellite/command.hpp"

#include <cstdlib>
#include <sstream>

#include "ingest/common/support.hpp"
#include "ingest/common/manifest.hpp"
#include "ingest/satellite/convert.hpp"
#include "ingest/satellite/isolated_reads.hpp"

namespace {

std::vector<std::string> split_list(const std::string& text) {
    std::vector<std::string> items;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ','))
        if (!item.empty()) items.push_back(item);
    return items;
}

std::string joined(int argc, char** argv) {
    std::string text = "ornax_ingest";
    for (int i = 0; i < argc; ++i) text += std::string(" ") + argv[i];
    return text;
}

// Options into the request; status 3 with error for a bad value.
void read_request(const IngestArgs& a, SatelliteRequest& rq, std::string& error, int& status) {
    status = ingest_status_failed;
    if (!a.has("grid") || !a.has("out") || a.positional.size() < 3) {
        error = "satellite needs --grid, --out, YEAR, DOY and at least one LST file";
        return;
    }
    ingest_read_grid(a.value("grid"), rq.grid, error, status);
    if (status != 0) return;
    ingest_parse_int(a.positional[0], "YEAR", 1900, 2100, rq.year, error, status);
    if (status == 0)
        ingest_parse_int(a.positional[1], "DOY", 1, ingest_days_in_year(rq.year), rq.doy, error,
                         status);
    if (status != 0) return;
    rq.lst_files.assign(a.positional.begin() + 2, a.positional.end());
    rq.insolation_files = split_list(a.value("insolation"));
    rq.insolation_variable = a.value("insolation-var", "DSR");
    int minutes = 30;
    ingest_parse_int(a.value("tolerance", "30"), "--tolerance (minutes)", 1, 180, minutes, error,
                     status);
    if (status != 0) return;
    rq.tolerance_s = minutes * 60.0;
    if (a.has("resample")) {
        rq.resampling_given = true;
        if (!parse_resampling(a.value("resample"), rq.resampling)) {
            error = "--resample " + a.value("resample") + ": nearest, average, bilinear or mode";
            status = ingest_status_failed;
            return;
        }
    }
    if (a.has("met-root")) {
        rq.met_root = a.value("met-root");
        if (!a.has("met-grid")) {
            error = "--met-root needs --met-grid, the domain file of the forecast rasters' grid";
            status = ingest_status_failed;
            return;
        }
        ingest_read_grid(a.value("met-grid"), rq.met_grid, error, status);
        if (status != 0) return;
    }
    if (!rq.insolation_files.empty() && !rq.met_root.empty()) {
        error = "give either --insolation or --met-root, not both";
        status = ingest_status_failed;
    }
}

}  // namespace

// The rasters and manifest.json in a staged folder renamed into place at the end.
int satellite_write_outputs(const std::string& out_dir, bool replace, const std::string& grid_name,
                            const std::string& command, const SatelliteRequest& rq,
                            const SatelliteResult& out) {
    std::string error;
    int st = 0;
    IngestManifest manifest("satellite", command);
    for (const auto* files : {&rq.lst_files, &rq.insolation_files})
        for (const std::string& f : *files) {
            manifest.add_source(f, error, st);
            if (st != 0) break;
        }
    std::vector<IngestSource> sources;
    for (const auto* files : {&rq.lst_files, &rq.insolation_files})
        for (const std::string& f : *files) sources.push_back({f, "scan", true});
    if (st == 0) ingest_check_output_not_sources(out_dir, sources, error, st);
    StagedDir dir;
    if (st == 0) dir.open(out_dir, error, st);
    for (const auto& [name, values] : out.rasters) {
        if (st != 0) break;
        ingest_write_raster(dir.path() / (name + ".bin"), values, rq.grid.ncols, rq.grid.nrows, 1,
                            error, st);
        manifest.add_counts(name + ".bin", ingest_count_values(values, rq.grid.spare_value));
    }
    if (st == 0) {
        nlohmann::json& doc = manifest.document();
        for (auto it = out.manifest.begin(); it != out.manifest.end(); ++it)
            if (it.key() != "conversions") doc[it.key()] = it.value();
        for (const auto& c : out.manifest["conversions"]) manifest.add_conversion(c);
        doc["grid"] = grid_name;
        doc["day"] = {{"year", rq.year}, {"doy", rq.doy}};
        manifest.write(dir.path() / "manifest.json", error, st);
    }
    if (st == 0) dir.commit(replace, error, st);
    if (st != 0) {
        ingest_message(error);
        return ingest_exit_failure;
    }
    ingest_message("satellite: " + std::to_string(out.rasters.size()) + " rasters written to " +
                   out_dir);
    return ingest_exit_ok;
}

void ingest_satellite_usage(std::FILE* stream) {
    std::fprintf(
        stream,
        "Usage: ornax_ingest satellite --grid SAT_DOMAIN_FILE|W,E,S,N,STEP --out DIR [options] "
        "YEAR DOY "
        "LST_FILE...\n"
        "  Geostationary land-surface-temperature scans (ABI level-2 LST, NetCDF-4) into\n"
        "  DIR/trad1.bin, trad2.bin (K), tloc1.bin, tloc2.bin (local standard hours),\n"
        "  theta.bin (view zenith, deg) and, with an insolation source, sdn1.bin, sdn2.bin\n"
        "  (W m-2), with DIR/manifest.json. Per cell, the good-quality scan nearest each\n"
        "  morning target (sunrise + 1.5 h, solar noon - 1.5 h) within the tolerance.\n"
        "Options:\n"
        "  --tolerance MIN        largest distance of a scan from a target (default 30)\n"
        "  --resample METHOD      nearest|average|bilinear|mode (default: nearest onto a\n"
        "                         finer grid, average of the valid pixels onto a coarser)\n"
        "  --insolation F1,F2...  insolation scans (ABI-style NetCDF, W m-2)\n"
        "  --insolation-var NAME  their variable (default DSR)\n"
        "  --met-root DIR --met-grid DOMAIN_FILE\n"
        "                         insolation from the forecast shortwave (swdn.bin) that\n"
        "                         `ornax_ingest forecast` wrote under DIR/YYYYDDD/\n"
        "  --replace              replace an existing DIR\n");
}

int ingest_satellite_run(int argc, char** argv) {
    IngestArgs a;
    std::string error;
    int st = 0;
    ingest_parse_args(argc, argv, 1,
                      {"grid", "out", "tolerance", "resample", "insolation", "insolation-var",
                       "met-root", "met-grid"},
                      {"replace"}, a, error, st);
    SatelliteRequest rq;
    if (st == 0) read_request(a, rq, error, st);
    if (st != 0) {
        ingest_message(error);
        return ingest_exit_usage;
    }
    ingest_message("satellite: " + std::to_string(rq.lst_files.size()) + " scans onto " +
                   std::to_string(rq.grid.ncols) + " x " + std::to_string(rq.grid.nrows) +
                   " cells");
    SatelliteResult out;
    prepare_satellite_isolated(rq, out, error, st);
    if (st != 0) {
        ingest_message(error);
        return ingest_exit_failure;
    }
    for (const std::string& note : out.notes) ingest_message(note);
    return satellite_write_outputs(a.value("out"), a.has("replace"), a.value("grid"),
                                   joined(argc, argv), rq, out);
}
