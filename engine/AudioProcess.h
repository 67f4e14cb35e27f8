// CAudioProcess: runs the external tools, builds their command lines, and holds the per-tool
// operation workers and the merge steps.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CAudioProcess {
public:
    // ---- Tool runner and command-line catalogue ------------------------------------------------

    // ---- Operation workers and merge -----------------------------------------------------------
};
