// The run log: one new file per run, written line by line with a UTC prefix, unbuffered.
#include "shell/run_log.h"

namespace launcher {
namespace {

// Appends value as exactly `digits` decimal digits, zero-padded.
void AppendDigits(std::string* out, int value, int digits) {
  std::string field(static_cast<std::size_t>(digits), '0');
  unsigned v = static_cast<unsigned>(value);
  for (int i = digits - 1; i >= 0; --i) {
    field[static_cast<std::size_t>(i)] = static_cast<char>('0' + v % 10);
    v /= 10;
  }
  *out += field;
}

}  // namespace

std::string RunLogFileName(const UtcTime& t) {
  std::string name = "Zorvan Fix Log_";
  AppendDigits(&name, t.year, 4);
  AppendDigits(&name, t.month, 2);
  AppendDigits(&name, t.day, 2);
  AppendDigits(&name, t.hour, 2);
  AppendDigits(&name, t.minute, 2);
  AppendDigits(&name, t.second, 2);
  name += ".txt";
  return name;
}

std::string RunLogPrefix(const UtcTime& t) {
  std::string prefix;
  AppendDigits(&prefix, t.year, 4);
  prefix += '-';
  AppendDigits(&prefix, t.month, 2);
  prefix += '-';
  AppendDigits(&prefix, t.day, 2);
  prefix += 'T';
  AppendDigits(&prefix, t.hour, 2);
  prefix += ':';
  AppendDigits(&prefix, t.minute, 2);
  prefix += ':';
  AppendDigits(&prefix, t.second, 2);
  prefix += "Z: ";
  return prefix;
}

std::string RunLogHex(std::uint32_t value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text = "0x";
  for (int shift = 28; shift >= 0; shift -= 4) text += kDigits[(value >> shift) & 0xFu];
  return text;
}

FileRef OpenRunLog(LauncherState& state) {
  const std::string name = RunLogFileName(state.platform.UtcNow());
  state.runLogFile = state.platform.OpenFile(name, FileMode::kWriteCreateAlways);
  return state.runLogFile;
}

void LogWrite(LauncherState& state, std::string_view text) {
  if (state.runLogFile == kInvalidHandle) return;
  const std::size_t end = text.find('\0');
  if (end != std::string_view::npos) text = text.substr(0, end);
  std::uint32_t written = 0;
  (void)state.platform.WriteFile(state.runLogFile, text.data(),
                                 static_cast<std::uint32_t>(text.size()), &written);
}

void LogLine(LauncherState& state, std::string_view text) {
  LogWrite(state, RunLogPrefix(state.platform.UtcNow()));
  LogWrite(state, text);
  LogWrite(state, "\r\n");
}

void LogValueLine(LauncherState& state, std::string_view text, std::uint32_t value) {
  LogWrite(state, RunLogPrefix(state.platform.UtcNow()));
  LogWrite(state, text);
  LogWrite(state, RunLogHex(value));
  LogWrite(state, ".");
  LogWrite(state, "\r\n");
}

}  // namespace launcher
