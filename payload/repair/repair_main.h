// The repair program's main flow: options, validation and the main sequence.
#pragma once

#include <string>
#include <vector>

#include "platform/repair_platform.h"

namespace repair {

// Runs the whole program against the platform and returns the process exit code
// (RETVAL_NO_PROBLEMS_FOUND 0 or RETVAL_PROBLEMS_DETECTED 1). `arguments` are the command-line
// arguments after the program name, as the system split them.
int Main(Platform& platform, const std::vector<std::wstring>& arguments);

}  // namespace repair
