// Second file unit pool, used by the forecast-model forcing readers. Its log unit is
// never opened, so its messages go to the standard error stream.
#pragma once

inline constexpr int vesk_unit_first = 313;
inline constexpr int vesk_unit_last = 499;

extern int vesk_logunit;  // 0: the standard error stream

// Unit pool 313..499: lowest free unit first; -1 when the pool is exhausted.
int vesk_get_next_unit_number();
// Closes the unit's stream (if any) and marks the unit free.
void vesk_release_unit_number(int unit);
