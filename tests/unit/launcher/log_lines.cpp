// Reading a run log back in tests.
#include "log_lines.h"

#include <cstdio>
#include <map>

namespace launcher::testing {
namespace {

constexpr char kExitCodeLine[] =
    "Failed to retrieve the exit code for the Setup program! Error code (for "
    "GetExitCodeProcess): ";
constexpr char kSetupFailedLine[] = "Setup program failed with code ";

bool StartsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}

const std::map<std::uint32_t, std::string>& FixedLines() {
  static const std::map<std::uint32_t, std::string> lines = {
      {1002, "Could not get temporary path."},
      {1008, "No resources!"},
      {1009, "No resources!"},
      {1010, "No resources!"},
      {1011, "No resources!"},
      {1012, "No resources!"},
      {1013, "No resources!"},
      {1014, "Checksum failed on resource."},
      {1015, "Cannot clear output directory."},
      {1016, "Cannot create output directory."},
      {1017, "Cannot change to output directory."},
      {1018, "Extraction failure."},
      {1019, "Extraction failure."},
      {1020, "Failed to read long filename."},
      {1021, "Missing file after long filename."},
      {1022, "Failed to open file."},
      {1023, "Extraction failure."},
      {1024, "Can't write to file."},
      {1025, "Extraction failure."},
      {1026, "Extraction failure."},
      {1027, "Failed to read long filename."},
      {1028, "Missing file after long filename."},
      {1029, "Failed to open file for verification."},
      {1030, "Extraction failure."},
      {1031, "Extraction failure."},
      {1032, "Verification failure."},
      {1033, "File too long."},
      {1034, "File too long."},
      {1039, "Cannot clear output directory after setup."},
  };
  return lines;
}

}  // namespace

std::vector<std::string> LineTexts(const std::string& log) {
  std::vector<std::string> texts;
  std::size_t start = 0;
  while (start < log.size()) {
    std::size_t end = log.find("\r\n", start);
    if (end == std::string::npos) end = log.size();
    texts.push_back(log.substr(start, end - start).substr(std::min<std::size_t>(22, end - start)));
    start = end + 2;
  }
  return texts;
}

bool IsFailureLine(const std::string& text) {
  if (StartsWith(text, kExitCodeLine) || StartsWith(text, kSetupFailedLine)) return true;
  if (text == "Failed to run setup program." || text == "Operation cancelled by user.") {
    return true;
  }
  for (const auto& [code, line] : FixedLines()) {
    if (text == line) return true;
  }
  return false;
}

bool IsLineOfCode(std::uint32_t code, const std::string& text) {
  if (code >= 100 && code <= 142) return text == kSetupFailedLine + Hex(code) + ".";
  if (code == 1038) {
    return text == "Failed to run setup program." || StartsWith(text, kExitCodeLine) ||
           StartsWith(text, kSetupFailedLine);
  }
  const auto it = FixedLines().find(code);
  return it != FixedLines().end() && it->second == text;
}

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(value));
  return text;
}

bool IsWorkerResultCode(std::uint32_t code) {
  return code == 0 || (code >= 100 && code <= 142) || code == 1038 ||
         FixedLines().count(code) != 0;
}

}  // namespace launcher::testing
