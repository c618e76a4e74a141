// The run log: its file name, its line prefix and number form, and the raw writer under LogLine
// and LogValueLine (declared with the rest of the launcher's API in launcher.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "shell/launcher.h"

namespace launcher {

// "Zorvan Fix Log_" + YYYYMMDDHHMMSS + ".txt".
std::string RunLogFileName(const UtcTime& time);
// "YYYY-MM-DDTHH:MM:SSZ: " (22 characters).
std::string RunLogPrefix(const UtcTime& time);
// "0x" + eight lower-case hexadecimal digits, most significant first.
std::string RunLogHex(std::uint32_t value);

// Writes the bytes of text up to its first NUL with one write call to state.runLogFile; the
// result of the write is ignored. Nothing is written when the run log is not open.
void LogWrite(LauncherState& state, std::string_view text);

}  // namespace launcher
