// The daily ASCII snow-and-ice grid: a text header, then one character per cell, one grid
// row a line (0 outside the map, 1 sea, 2 land, 3 sea or lake ice, 4 snow), with the
// cells' latitudes and longitudes in separate little-endian float32 files of the same
// cell order.
#pragma once

#include <string>
#include <vector>

struct ImsGrid {
    int ncols = 0, nrows = 0;
    int header_lines = 0;
    std::vector<float> codes;  // nrows lines of ncols, in the file's order
};

// Reads the grid; status 3 with error naming the file and line of the first fault.
void read_ims_ascii(const std::string& file, ImsGrid& grid, std::string& error, int& status);

// Reads n little-endian float32 values (a latitude or longitude file of the grid).
void read_float32_file(const std::string& file, std::size_t n, std::vector<float>& values,
                       std::string& error, int& status);

// The data day of a file named "imsYYYYDDD_..."; from 2014 day 336 (version 1.3 on) the
// name carries the day after the data day. false when the name has no such date.
bool ims_data_day(const std::string& file, int& year, int& doy);
