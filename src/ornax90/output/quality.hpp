// Quality flags of a region run's pixels: the bit of each input, the named values, and the
// one table of the flags with their meanings, labels and map colours that the quality
// raster, the screen, the log, run_info.json, the quicklook maps and the exports use.
//
// A pixel starts at 127 (1 + every input bit) and loses the bit of each input found
// present and possible; 1 stays until the core ran, so 0 means computed.
#pragma once

#include <array>
#include <string>
#include <vector>

inline constexpr int ornax_qc_computed = 0;
inline constexpr int ornax_qc_inputs_present = 1;  // every input present: the core may run
inline constexpr int ornax_qc_land = 2;
inline constexpr int ornax_qc_satellite = 4 + 8 + 64;
inline constexpr int ornax_qc_meteorology = 16;
inline constexpr int ornax_qc_vegetation = 32;
// not land, snow, or no observation time: 1 + every input bit
inline constexpr int ornax_qc_all_missing = 127;
// inputs all present and possible, but the two observation times do not fit the morning
// the method assumes (see ornax_check_observation_times)
inline constexpr int ornax_qc_observation_times = 129;
// every pixel of a line whose inputs could not be prepared
inline constexpr int ornax_qc_failed_line = 255;
// largest value a quality raster holds
inline constexpr int ornax_qc_max = ornax_qc_failed_line;

// One value of the quality raster.
struct Ornaxqualityflaginfotype {
    int value = 0;
    std::string meaning;                    // one word with underscores (CF flag_meanings)
    std::string label;                      // short text for legends and the README
    std::array<unsigned char, 3> colour{};  // RGB of the quicklook map
};

// The quality flags a region run can write, in increasing order.
const std::vector<Ornaxqualityflaginfotype>& ornax_quality_flags();
// True for a value a quality raster may hold: a listed flag, or 1 plus the bits of the
// inputs that were missing (any odd whole number up to 127).
bool ornax_quality_flag_valid(float value);
// The label of a listed flag ("line failed as a whole"), or "missing inputs" for another
// valid value.
std::string ornax_quality_flag_label(int flag);
