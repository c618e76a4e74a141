// Reading a run log back in tests: its lines without prefixes, the failure lines among them, and
// the run log's number form written independently of the launcher's own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace launcher::testing {

// The texts of the log's lines, each without its 22-character prefix and CR LF.
std::vector<std::string> LineTexts(const std::string& log);
// True when the line is one that a failing step writes.
bool IsFailureLine(const std::string& text);
// True when `text` is the line that goes with result code `code`.
bool IsLineOfCode(std::uint32_t code, const std::string& text);
// "0x" + 8 lower-case hex digits.
std::string Hex(std::uint32_t value);
// Every result code the worker sequence can return.
bool IsWorkerResultCode(std::uint32_t code);

}  // namespace launcher::testing
