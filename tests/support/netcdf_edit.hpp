// Helpers that derive NetCDF files from a real one in place: a copy with an attribute
// changed or removed, or one value of a variable changed, through the NetCDF library.
#pragma once

#include <netcdf.h>

#include <filesystem>
#include <functional>
#include <string>

namespace netcdf_edit {

// Copies `from` to `to` and applies `edit` to the copy opened for writing (in define mode).
// False when the copy or an edit fails.
inline bool derive(const std::string& from, const std::string& to,
                   const std::function<bool(int nc)>& edit) {
    std::error_code ec;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) return false;
    int nc = -1;
    if (nc_open(to.c_str(), NC_WRITE, &nc) != NC_NOERR) return false;
    const bool ok = nc_redef(nc) == NC_NOERR && edit(nc);
    return nc_close(nc) == NC_NOERR && ok;
}

inline int var_id(int nc, const char* name) {
    int id = -1;
    return nc_inq_varid(nc, name, &id) == NC_NOERR ? id : -1;
}

inline bool delete_att(int nc, const char* var, const char* att) {
    return nc_del_att(nc, var_id(nc, var), att) == NC_NOERR;
}

// A float attribute (the type the file stores it in is kept by NetCDF's conversion).
inline bool set_att(int nc, const char* var, const char* att, double value) {
    nc_type type = NC_FLOAT;
    std::size_t length = 0;
    if (nc_inq_att(nc, var_id(nc, var), att, &type, &length) != NC_NOERR) type = NC_FLOAT;
    return nc_put_att_double(nc, var_id(nc, var), att, type, 1, &value) == NC_NOERR;
}

// Adds `shift` to the scalar double variable `var`.
inline bool shift_scalar(int nc, const char* var, double shift) {
    if (nc_enddef(nc) != NC_NOERR) return false;
    double value = 0.0;
    const int id = var_id(nc, var);
    if (nc_get_var_double(nc, id, &value) != NC_NOERR) return false;
    value += shift;
    return nc_put_var_double(nc, id, &value) == NC_NOERR && nc_redef(nc) == NC_NOERR;
}

}  // namespace netcdf_edit
