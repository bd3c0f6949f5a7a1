// Example region generator: writes a complete, physically coherent region data set of one
// or more days (configuration files, class table, land, vegetation, snow, satellite,
// insolation and forecast-model rasters, forecast land mask and a sparse UMD land-cover
// raster).
//
// Usage: ornax_make_region [-o DIR] [-c NCOLS] [-r NROWS] [-s SEED] [-y YEAR] [-d DOY]
//                          [-n DAYS] [-w WEST] [-S SOUTH]
// With -n DAYS the days DOY, DOY+1, ... (into the next year after its last day) each get
// their dated inputs, and clouds that move from day to day hide the second surface
// temperature of about a fifth of the pixels; the configuration gives the first day.
// The run grid is NCOLS x NROWS pixels at 0.05 deg; the forecast grid is 0.25 deg and
// covers the run grid with whole degrees. Run the model from DIR with HOME_DIR=DIR:
//     cd DIR && HOME_DIR=$PWD ornax.x -r0 config/region.cfg YEAR DOY
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "region_gen/fields.hpp"
#include "region_gen/files.hpp"
#include "region_gen/rasters.hpp"
#include "ornax90/type_kinds.hpp"

namespace {

struct Options {
    std::string out = "examples/region/generated";
    int ncols = 100, nrows = 60, seed = 7, year = 2019, doy = 200, days = 1;
    int west_h = -10000, south_h = 3400;  // south-west corner, hundredths of a degree
};

bool parse_options(int argc, char** argv, Options& opt) {
    for (int i = 1; i < argc; i += 2) {
        const std::string key = argv[i];
        if (i + 1 >= argc) return false;
        const char* v = argv[i + 1];
        if (key == "-o")
            opt.out = v;
        else if (key == "-c")
            opt.ncols = std::atoi(v);
        else if (key == "-r")
            opt.nrows = std::atoi(v);
        else if (key == "-s")
            opt.seed = std::atoi(v);
        else if (key == "-y")
            opt.year = std::atoi(v);
        else if (key == "-d")
            opt.doy = std::atoi(v);
        else if (key == "-n")
            opt.days = std::atoi(v);
        else if (key == "-w")
            opt.west_h = static_cast<int>(std::lround(std::atof(v) * 100.0));
        else if (key == "-S")
            opt.south_h = static_cast<int>(std::lround(std::atof(v) * 100.0));
        else
            return false;
    }
    return opt.days >= 1 && opt.days <= 366 && opt.ncols >= 8 && opt.nrows >= 6 && opt.doy >= 1 &&
           opt.doy <= 366 && opt.west_h % 5 == 0 && opt.south_h % 5 == 0 && opt.west_h > -17900 &&
           opt.west_h + opt.ncols * 5 < 17900 && opt.south_h > -5800 &&
           opt.south_h + opt.nrows * 5 < 8800;
}

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    if (!parse_options(argc, argv, opt)) {
        std::fprintf(stderr,
                     "Usage: %s [-o DIR] [-c NCOLS>=8] [-r NROWS>=6] [-s SEED] [-y YEAR] "
                     "[-d DOY] [-n DAYS] [-w WEST] [-S SOUTH]\n"
                     "  grid corners are multiples of 0.05 deg\n",
                     argv[0]);
        return 2;
    }
    const RegionSpec spec = make_region_spec(opt.west_h, opt.south_h, opt.ncols, opt.nrows,
                                             static_cast<unsigned>(opt.seed), opt.year, opt.doy);
    int status = 0;
    // the later days first: the first day's configuration and manifest are written last
    RegionSpec day = spec;
    day.clouds = opt.days > 1;
    std::vector<RegionSpec> days;
    for (int k = 0; k < opt.days; ++k) {
        days.push_back(day);
        int next_year = 0, next_doy = 0;
        day.next_day(next_year, next_doy);
        day.year = next_year;
        day.doy = next_doy;
    }
    for (int k = opt.days - 1; k >= 0 && status == 0; --k)
        write_example_region(opt.out, days[static_cast<std::size_t>(k)], status);
    if (status != 0) {
        std::fprintf(stderr, "ornax_make_region: could not write the region under %s\n",
                     opt.out.c_str());
        return ornax_status_failure;
    }
    std::printf("Region of %d x %d pixels (seed %d, %04d day %03d", opt.ncols, opt.nrows, opt.seed,
                opt.year, opt.doy);
    if (opt.days > 1) std::printf(", %d days", opt.days);
    std::printf(") written to %s\n", opt.out.c_str());
    return 0;
}
