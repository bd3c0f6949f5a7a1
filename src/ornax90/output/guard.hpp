// Guards of a region run's publication: no output may replace one of the run's inputs,
// the outputs of an earlier run that this run does not write are removed when this run
// publishes, and the texts of the run record are kept valid UTF-8 whatever bytes a path
// holds.
#pragma once

#include <string>
#include <vector>

#include "ornax90/output/run_info.hpp"

// Every file a region run publishes: in `output_dir` (empty: the working directory) the
// raster, VRT and GrADS descriptor of each listed variable and of region_qc, the two
// quicklook maps (EDAY.png only when EDAY is listed), the pixel dump and run_info.json;
// the line diagnostic testMETtemp15.bin in the working directory.
std::vector<std::string> ornax_region_published_files(const std::string& output_dir,
                                                      const std::vector<std::string>& names);

// True when the two paths name one file: the same device and inode when both exist (hard
// links and symbolic links included), else the same path once made absolute and
// resolved as far as it exists.
bool ornax_same_file(const std::string& a, const std::string& b);

// Refuses outputs that are inputs: status 3, with a failure naming the output and the
// input (and its role), when any of `outputs` is the same file as any of `inputs`.
void ornax_check_outputs_not_inputs(const std::vector<std::string>& outputs,
                                    const std::vector<Ornaxrunfiletype>& inputs, int& status);

// After a publication: removes from `output_dir` every output of an earlier run that this
// run did not write (a variable's NAME.bin, .vrt, .ctl or .png, NAME one of the 42
// variables or region_qc), each removal logged, never a file that is one of `inputs`.
// removed receives their count.
void ornax_remove_earlier_outputs(const std::string& output_dir,
                                  const std::vector<std::string>& written,
                                  const std::vector<Ornaxrunfiletype>& inputs, int& removed);

// The text as valid UTF-8: every byte that is not part of a valid UTF-8 sequence becomes
// the four characters \xNN (NN its two lower-case hex digits), as Python's
// "backslashreplace" writes it.
std::string ornax_utf8_safe(const std::string& text);
