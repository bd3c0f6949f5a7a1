// Example region sources: writes, from the example generator's fields, the files a user
// has for one day of a region in their own formats (forecast-model GRIB2 of the day and
// the next, geostationary surface-temperature scans in NetCDF-4, GeoTIFF leaf area, land
// cover, snow and soil-resistance correction, the land-cover class table), for
// `ornax_ingest region` to turn into a region folder.
//
// Usage: ornax_make_region_sources [-o DIR] [-c NCOLS] [-r NROWS] [-s SEED] [-y YEAR]
//                                  [-d DOY] [-w WEST] [-S SOUTH]
// The run grid is NCOLS x NROWS pixels at 0.05 deg from the south-west corner (WEST,
// SOUTH); the recipe that names these files gives the same grid and day.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "region_gen/sources.hpp"
#include "ornax90/type_kinds.hpp"

int main(int argc, char** argv) {
    std::string out = "examples/region/sources";
    int ncols = 100, nrows = 60, seed = 7, year = 2019, doy = 200;
    int west_h = -10000, south_h = 3400;
    bool ok = true;
    for (int i = 1; i < argc && ok; i += 2) {
        const std::string key = argv[i];
        if (i + 1 >= argc) {
            ok = false;
            break;
        }
        const char* v = argv[i + 1];
        if (key == "-o")
            out = v;
        else if (key == "-c")
            ncols = std::atoi(v);
        else if (key == "-r")
            nrows = std::atoi(v);
        else if (key == "-s")
            seed = std::atoi(v);
        else if (key == "-y")
            year = std::atoi(v);
        else if (key == "-d")
            doy = std::atoi(v);
        else if (key == "-w")
            west_h = static_cast<int>(std::lround(std::atof(v) * 100.0));
        else if (key == "-S")
            south_h = static_cast<int>(std::lround(std::atof(v) * 100.0));
        else
            ok = false;
    }
    ok = ok && ncols >= 8 && nrows >= 6 && doy >= 1 && doy <= 366 && year >= 1900 && year <= 2100 &&
         west_h % 5 == 0 && south_h % 5 == 0 && west_h > -17800 && west_h + ncols * 5 < 17800 &&
         south_h > -5800 && south_h + nrows * 5 < 8800;
    if (!ok) {
        std::fprintf(stderr,
                     "Usage: %s [-o DIR] [-c NCOLS>=8] [-r NROWS>=6] [-s SEED] [-y YEAR] "
                     "[-d DOY] [-w WEST] [-S SOUTH]\n  grid corners are multiples of 0.05 deg\n",
                     argv[0]);
        return 2;
    }
    const RegionSpec spec =
        make_region_spec(west_h, south_h, ncols, nrows, static_cast<unsigned>(seed), year, doy);
    std::string error;
    int status = 0;
    write_example_sources(out, spec, error, status);
    if (status != 0) {
        std::fprintf(stderr, "ornax_make_region_sources: %s\n", error.c_str());
        return ornax_status_failure;
    }
    std::printf("Sources of a %d x %d pixel region (seed %d, %04d day %03d) written to %s\n", ncols,
                nrows, seed, year, doy, out.c_str());
    return 0;
}
