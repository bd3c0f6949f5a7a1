// The boundary-layer table of the core state, written entry by entry on demand: the run
// initialisation starts it (ornax_start_pbl_table), the physics reads entries as it needs
// them, and a table built whole (ornax_get_pbl_table) is the same arithmetic run to the end.
#pragma once

#include <vector>

#include "ornax90/ORNAX_data_mod.hpp"

// Writes the entries of a started table up to `entries` (at most the table size).
void lanes_extend_pbl_table(Ornaxpbltable& build, int entries, std::vector<float>& integral,
                            std::vector<float>& height);

// Entry j (1-based, 1..table size) of the state's table, written first if need be.
struct Ornaxpblentry {
    float integral = 0.0f;  // K m
    float height = 0.0f;    // m
};
inline Ornaxpblentry lanes_pbl_table_entry(Ornaxdailyvartype& state, int j) {
    if (j > state.pbl_build.built) {
        lanes_extend_pbl_table(state.pbl_build, j, state.pbl_integral, state.pbl_height);
    }
    const std::size_t n = static_cast<std::size_t>(j - 1);
    return {state.pbl_integral[n], state.pbl_height[n]};
}
