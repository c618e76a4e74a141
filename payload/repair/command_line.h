// The repair program's command line: reading the named options into the run state, checking
// them, and the help text.
#pragma once

#include <string>
#include <vector>

#include "run_context.h"

namespace repair {

// Handles the options in command-line order ("/name" or "/name:value", names in any letter
// case), printing each option's lines. False, before any option is handled, when an argument
// does not begin with "/"; false at an unrecognised name, after printing it.
bool ParseArgumentList(RunContext& run, const std::vector<std::wstring>& arguments);

// Checks the options in order and settles g_cid, g_zorvanCid and g_password; the first failing
// check prints its message and gives false.
bool ValidateArguments(RunContext& run);

// Prints the 23 lines of the help text.
void DisplayHelp(RunContext& run);

}  // namespace repair
