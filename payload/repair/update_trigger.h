// Asking the auto-update product for an immediate update.
#pragma once

#include "run_context.h"

namespace repair {

// Calls the update client's UpdateNow(0, 1); a failure prints the error's lines and gives false.
bool UpdateNow(RunContext& run);

}  // namespace repair
