// The detection-data files in the anti-virus product's folder: tests for them and writing the
// carried file that fixes the false positive.
#pragma once

#include <string>

#include "run_context.h"

namespace repair {

// True when a file is at installFolder + "\" + fileName.
bool IdeExists(RunContext& run, const std::wstring& installFolder, const std::wstring& fileName);

// True when a file is at the path (verbose line "tulov-ek.ide is present." then).
bool CheckIfUpdatedIdeExists(RunContext& run, const std::wstring& path);

// Writes the carried fixing file to the path, replacing any file there; a failure prints
// "Failed to write the IDE that fixes the issue to " + path and the error's lines.
bool WriteGoodIde(RunContext& run, const std::wstring& path);

// Creates or replaces the file with exactly the bytes.
Status SaveArray(RunContext& run, const std::wstring& path, const std::string& bytes);

}  // namespace repair
