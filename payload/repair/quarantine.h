// The anti-virus product's quarantine list and the forced deletion of a file.
#pragma once

#include <string>

#include "run_context.h"

namespace repair {

// Common application data + "\Zorvan\Zorvan Anti-Virus\Config", or "" when no folder is there.
std::wstring GetQuarantineXmlPath(RunContext& run);

// Deletes "Quarantine.xml" in the quarantine folder. False when the folder is missing or the
// file stays; true when it was deleted or was not there. Prints what it did.
bool DeleteQuarantineFile(RunContext& run);

// Deletes the file, read-only or not; true when no file is at the path afterwards.
bool DeleteNamedFile(RunContext& run, const std::wstring& path);

}  // namespace repair
