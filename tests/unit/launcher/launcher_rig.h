// The launcher on the in-memory machine: state, payload installation, the entry routine's
// preparation, the run log's text, and a counting inflate allocator that can fail.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "fakes/launcher/fake_launcher_machine.h"
#include "shell/launcher.h"
#include "test_archive.h"

namespace launcher::testing {

// Counts zlib's live allocations; fails the allocation number `failAt` (1-based) when set.
struct CountingAllocator {
  int live = 0;
  int calls = 0;
  int failAt = 0;
  static void* Alloc(void* opaque, unsigned items, unsigned size);
  static void Release(void* opaque, void* address);
};

// The run log name and line prefix at the machine's fixed clock (2012-09-25 18:02:50 UTC).
inline constexpr char kPrefix[] = "2012-09-25T18:02:50Z: ";
inline constexpr wchar_t kRunLogPath[] =
    L"C:\\Users\\admin\\AppData\\Local\\Temp\\Zorvan Fix Log_20120925180250.txt";
inline constexpr wchar_t kWorkDir[] = L"C:\\Users\\admin\\AppData\\Local\\Temp\\zorvan_temp";

// Lines as the run log holds them: prefix, text, CR LF each.
std::string LogText(const std::vector<std::string>& lines);

// A wide path as ASCII text for messages (other characters become '?').
std::string Narrow(const std::wstring& wide);

// The three members of the carried payload, with short contents.
TarBuilder CarriedMembers();

struct Rig {
  explicit Rig(bool silent = true);

  // FILE 104 = archive, FILE 105 = its checksum.
  void Install(const std::string& archive);
  void InstallTar(const TarBuilder& tar) { Install(Compress(tar.Bytes())); }
  // What the entry routine does before the worker: temporary directory, run log, security.
  void Launch();
  // Launch, then RunSequence.
  std::uint32_t Run();
  std::string Log() const;
  std::string WorkFile(const std::string& name) const;  // contents, or "<missing>"

  fake::FakeLauncherMachine machine;
  LauncherState state{machine};
  CountingAllocator allocator;
};

}  // namespace launcher::testing
