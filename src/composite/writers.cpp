// Raster files of composites and gap-filled days: little-endian float32 rasters, each
// with the VRT the daily outputs have, and the quicklook map of a window's ET.
#include <filesystem>
#include <system_error>

#include "ornax90/output/quicklook.hpp"
#include "ornax90/ORNAX_run_mod.hpp"
#include "composite/writers.hpp"
#include "composite/vocabulary.hpp"
#include "composite/days.hpp"
#include "composite/gapfill.hpp"
#include "composite/window.hpp"
#include "ornax90/file_io_mod.hpp"
#include "ornax90/type_kinds.hpp"
#include "ornax90/output/sidecars.hpp"

namespace {

namespace fs = std::filesystem;

bool make_folder(const fs::path& folder, std::string& why) {
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) why = "cannot make the folder " + folder.string() + ": " + error.message();
    return !error;
}

// NAME.bin and NAME.vrt in dir; why names the file that failed.
bool write_raster_and_vrt(const std::string& dir, const Ornaxcompositevarinfotype& info,
                          const Ornaxcompositegridtype& grid, const std::vector<float>& values,
                          int year, int doy, std::string& why) {
    int status = 0;
    ornax_composite_write_raster(dir, info.var.name, values, status);
    if (status != 0) {
        why = "cannot write " + (fs::path(dir) / (info.var.name + ".bin")).string();
        return false;
    }
    ornax_write_raster_vrt(dir, grid.grid, info.var, grid.grid.spare_value, year, doy, status);
    if (status != 0) {
        why = "cannot write " + (fs::path(dir) / (info.var.name + ".vrt")).string();
        return false;
    }
    return true;
}

}  // namespace

void ornax_composite_write_raster(const std::string& dir, const std::string& name,
                                  const std::vector<float>& values, int& status) {
    std::string bytes(values.size() * 4, '\0');
    raster_encode_le(values.data(), values.size(), reinterpret_cast<unsigned char*>(bytes.data()));
    ornax_publish_text_file((fs::path(dir) / (name + ".bin")).string(), bytes, status);
}

void ornax_composite_write_window(const std::string& out_dir,
                                  const Ornaxcompositewindowtype& window,
                                  const Ornaxcompositegridtype& grid,
                                  const std::vector<std::vector<float>>& rasters, std::string& why,
                                  int& status) {
    status = ornax_status_failure;
    const fs::path folder = fs::path(out_dir) / window.label();
    if (!make_folder(folder, why)) return;
    const std::vector<Ornaxcompositevarinfotype>& vars = ornax_composite_variables();
    for (std::size_t k = 0; k < vars.size(); ++k)
        if (!write_raster_and_vrt(folder.string(), vars[k], grid, rasters[k], window.first_year,
                                  window.first_doy, why))
            return;
    const Ornaxcompositevarinfotype& mm = vars[1];
    const std::string title = mm.var.name + " evapotranspiration, " +
                              ornax_calendar_date(window.first_year, window.first_doy) + " to " +
                              ornax_calendar_date(window.last_year, window.last_doy);
    const fs::path map = folder / (mm.var.name + ".png");
    int st = 0;
    ornax_write_value_quicklook(map.string(), rasters[1], grid.grid, grid.grid.spare_value, title,
                                mm.var.units, st);
    if (st != 0) {
        why = "cannot write " + map.string();
        return;
    }
    status = 0;
}

void ornax_composite_write_filled_day(const std::string& out_dir, const Ornaxcompositedaytype& day,
                                      const Ornaxcompositegridtype& grid,
                                      const Ornaxfilleddaytype& filled, std::string& why,
                                      int& status) {
    status = ornax_status_failure;
    const fs::path folder = fs::path(out_dir) / "daily" / ornax_day_folder(day.year, day.doy);
    if (!make_folder(folder, why)) return;
    std::vector<float> flags(filled.flag.begin(), filled.flag.end());
    const std::vector<float>* rasters[] = {&filled.et, &filled.ratio, &flags, &filled.distance};
    const std::vector<Ornaxcompositevarinfotype>& vars = ornax_filled_day_variables();
    for (std::size_t k = 0; k < vars.size(); ++k)
        if (!write_raster_and_vrt(folder.string(), vars[k], grid, *rasters[k], day.year, day.doy,
                                  why))
            return;
    status = 0;
}
