// Stand-ins for the Slurm commands, for running the cluster recipes without a Slurm: srun,
// scontrol, sbatch and sinfo on a PATH of their own, answering from STUB_* variables and
// recording what they were asked.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/shell.hpp"

namespace slurm_stub_test {

namespace fs = std::filesystem;

inline const fs::path kCluster = fs::path(ORNAX_SOURCE_DIR) / "examples" / "cluster";

inline std::string quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

// Runs `command` with stdout and stderr into `out`; returns the exit status.
inline int run(const std::string& command, const fs::path& out) {
    return shell_test::shell_status(command + " > " + quoted(out) + " 2>&1");
}

inline void write_file(const fs::path& path, const std::string& text, bool executable = false) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
    if (executable) fs::permissions(path, fs::perms::owner_all, fs::perm_options::add);
}

// Writes the stand-ins into DIR/stub-bin and returns that folder.
//   srun: --mpi=list offers none, pmi2 and (STUB_PMIX set) pmix; else writes its arguments
//     to STUB_RECORD.
//   scontrol: show config (STUB_MPI_DEFAULT, STUB_MAX_ARRAY), show job (Command=
//     STUB_COMMAND, StdOut=STUB_STDOUT when set), show partition NAME (partition "batch":
//     STUB_NODES nodes, MaxTime STUB_MAX_TIME, State STUB_STATE).
//   sinfo: the partition "batch" (the default) with STUB_CPUS CPUs per node.
//   sbatch: appends its arguments as one line to STUB_SBATCH and prints a job id.
inline fs::path write_stubs(const fs::path& dir) {
    const fs::path bin = dir / "stub-bin";
    write_file(bin / "srun",
               "#!/bin/sh\n"
               "if [ \"$1\" = --mpi=list ]; then\n"
               "    printf 'MPI plugin types are...\\n\\tnone\\n\\tpmi2\\n'\n"
               "    [ -z \"$STUB_PMIX\" ] || printf '\\tpmix\\n'\n"
               "    exit 0\n"
               "fi\n"
               "printf '%s\\n' \"$*\" > \"$STUB_RECORD\"\n",
               true);
    write_file(bin / "scontrol",
               "#!/bin/sh\n"
               "case \"$1 $2\" in\n"
               "'show config') printf 'MpiDefault              = %s\\nMaxArraySize            = "
               "%s\\n' \"${STUB_MPI_DEFAULT:-none}\" \"${STUB_MAX_ARRAY:-1001}\" ;;\n"
               "'show job') printf '   Command=%s DATA CONFIG\\n' \"$STUB_COMMAND\"\n"
               "    [ -z \"$STUB_STDOUT\" ] || printf '   StdOut=%s\\n' \"$STUB_STDOUT\" ;;\n"
               "'show partition') [ \"$3\" = batch ] || exit 1\n"
               "    printf 'PartitionName=batch\\n   State=%s TotalNodes=%s MaxNodes=UNLIMITED "
               "MaxTime=%s\\n' \"${STUB_STATE:-UP}\" \"${STUB_NODES:-4}\" "
               "\"${STUB_MAX_TIME:-1-00:00:00}\" ;;\n"
               "*) exit 1 ;;\n"
               "esac\n",
               true);
    write_file(bin / "sinfo",
               "#!/bin/sh\n"
               "case \"$*\" in *%P*) echo 'batch*' ;; *%c*) echo \"${STUB_CPUS:-16}\" ;; esac\n",
               true);
    write_file(bin / "sbatch",
               "#!/bin/sh\n"
               "printf '%s\\n' \"$*\" >> \"$STUB_SBATCH\"\n"
               "n=$(wc -l < \"$STUB_SBATCH\")\n"
               "echo $((100 + n))\n",
               true);
    return bin;
}

}  // namespace slurm_stub_test
