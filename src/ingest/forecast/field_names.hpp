// The names the GRIB library gives a field (short name, units, parameter id), resolved once
// per kind of field. The library finds them by matching the field's coded keys against its
// parameter tables, which costs more than reading and decoding the message; fields of one
// kind (the same coded parameter, level, statistics and tables: every step of a forecast)
// get the names the first of them got.
#pragma once

#include <eccodes.h>

#include <string>

struct GribFieldNames {
    std::string short_name;  // "" when the library has none
    std::string units;
    long param_id = 0;
};

// The names of the field of handle h, as codes_get_string / codes_get_long give them.
// Thread-safe.
void grib_field_names(codes_handle* h, GribFieldNames& names);

// The same names read from the library directly (no reuse), for comparison.
void grib_field_names_direct(codes_handle* h, GribFieldNames& names);
