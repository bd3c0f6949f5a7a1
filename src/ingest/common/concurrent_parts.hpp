// Parts of a conversion run side by side, each on a thread of its own, their messages given
// out afterwards in the parts' order, so that the screen and the log read the same as when
// the parts run one after the other.
#pragma once

#include <functional>
#include <vector>

// Runs every part (each returns an exit code) and puts its code in codes[i]. Each part's
// messages (ingest_message, ingest_log_only, the model library's log lines and GDAL's error
// lines) are kept while it runs and then given out part by part, up to the first part whose
// code is not 0: the messages of the parts after it are dropped, as if they had not run.
// The last part runs on the calling thread, the others on threads of their own. With
// side_by_side false, or when no thread can be started, the parts run in turn on the
// calling thread (each part after the first failing one is not run then).
void ingest_run_parts(const std::vector<std::function<int()>>& parts, bool side_by_side,
                      std::vector<int>& codes);
