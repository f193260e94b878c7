// Runs a program to its end, its output discarded, stopped under ptrace as
// it exits so that its peak resident memory (VmHWM) can be read there: the
// rusage of a child would also count the memory of the large process that
// spawned it. Linux only, like the benches that use it.
#pragma once

#include <string>
#include <vector>

namespace zelvan_tts {

struct TracedRun {
    bool ok = false;       // ran and exited with 0
    double ms = -1;        // wall time, fork to exit
    double peak_mib = -1;  // VmHWM at exit
    double cpu_ms = -1;    // user and system time
};

TracedRun traced_run(std::vector<std::string> args);

}  // namespace zelvan_tts
