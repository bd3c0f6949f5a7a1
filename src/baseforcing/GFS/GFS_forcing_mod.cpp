// Forecast-model (GFS) forcing store: set-up and release of its land mask.
#include "baseforcing/GFS/GFS_forcing_mod.hpp"

#include <cstdint>
#include <cstdio>
#include <new>

#include "ornax90/ORNAX_log_mod.hpp"
#include "core/VESK_log_mod.hpp"

void vesk_write_line(const std::string& text) {
    std::FILE* stream = ornax_unit_stream(vesk_logunit);
    if (stream == nullptr) stream = stderr;
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

void vesk_write_named_line(const std::string& text, const std::string& readable) {
    if (ornax_logunit != 0) ornax_log_msg(text);
    vesk_write_line(readable);
}

void gfs_init(Gfs_struc_block& store, int& status) {
    status = 0;
    const std::int64_t cells = static_cast<std::int64_t>(store.nlon) * store.nlat;
    if (store.nlon < 0 || store.nlat < 0) {
        vesk_write_line("Allocate GFS land error");
        status = ornax_status_failure;
        return;
    }
    try {
        store.land.assign(static_cast<std::size_t>(cells), 0);
    } catch (const std::bad_alloc&) {
        vesk_write_line("Allocate GFS land error");
        status = ornax_status_failure;
        return;
    }
    store.land_allocated = true;
}

void gfs_finalize(Gfs_struc_block& store, int& status) {
    // Only the land mask is ever allocated; nothing to report for the rest.
    if (store.land_allocated) {
        std::vector<int>().swap(store.land);
        store.land_allocated = false;
    }
    status = 0;
}
