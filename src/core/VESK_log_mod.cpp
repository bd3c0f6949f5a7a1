// Second file unit pool.
#include "core/VESK_log_mod.hpp"

#include <array>
#include <cstdio>
#include <mutex>

#include "ornax90/ORNAX_log_mod.hpp"
#include "utils/fixed_text.hpp"

int vesk_logunit = 0;

namespace {
std::array<int, vesk_unit_last - vesk_unit_first + 1> iou{};  // 1 = in use
std::mutex pool_mutex;                                        // guards iou
}  // namespace

int vesk_get_next_unit_number() {
    {
        std::lock_guard<std::mutex> lock(pool_mutex);
        for (int unit = vesk_unit_first; unit <= vesk_unit_last; ++unit) {
            int& flag = iou[unit - vesk_unit_first];
            if (flag != 1) {
                flag = 1;
                return unit;
            }
        }
    }
    std::fprintf(stderr, " VESK_file Units Mod: Ran out of Unit numbers\n");
    return -1;
}

void vesk_release_unit_number(int unit) {
    const bool in_pool = unit >= vesk_unit_first && unit <= vesk_unit_last;
    bool flagged = false;
    {
        std::lock_guard<std::mutex> lock(pool_mutex);
        flagged = in_pool && iou[unit - vesk_unit_first] == 1;
    }
    if (!flagged) {
        FreeLine line;
        line << "file unit release error: " << unit << "is not flaggged as in use";
        std::fprintf(stderr, "%s\n", line.str().c_str());
    }
    ornax_unit_close(unit);
    std::lock_guard<std::mutex> lock(pool_mutex);
    if (in_pool) iou[unit - vesk_unit_first] = 0;
}
