// The launcher on the in-memory machine.
#include "launcher_rig.h"

#include <cstdlib>

#include "fakes/launcher/fake_launcher_machine.h"

namespace launcher::testing {

void* CountingAllocator::Alloc(void* opaque, unsigned items, unsigned size) {
  auto* self = static_cast<CountingAllocator*>(opaque);
  if (++self->calls == self->failAt) return nullptr;
  ++self->live;
  return std::calloc(items, size);
}

void CountingAllocator::Release(void* opaque, void* address) {
  auto* self = static_cast<CountingAllocator*>(opaque);
  --self->live;
  std::free(address);
}

std::string LogText(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += kPrefix + line + "\r\n";
  return text;
}

std::string Narrow(const std::wstring& wide) {
  std::string text;
  for (wchar_t c : wide) text += c < 128 ? static_cast<char>(c) : '?';
  return text;
}

TarBuilder CarriedMembers() {
  TarBuilder tar;
  tar.Member("Mendrel.vbs", std::string("\xff\xfe") + Noise(1500, 7))
      .Member("go.bat", "Mendrel.exe /halvern:true > \"../Zorvan Fix Script Log.txt\"\r\n")
      .Member("Readme.txt", "Read me.\r\n")
      .PadToRecord();
  return tar;
}

Rig::Rig(bool silent) {
  state.silentMode = silent;
  machine.hasMainWindow = !silent;
  state.hooks.inflateAllocator = {&CountingAllocator::Alloc, &CountingAllocator::Release,
                                  &allocator};
}

void Rig::Install(const std::string& archive) {
  machine.SetResource(kPayloadResource, archive);
  machine.SetResource(kChecksumResource, ChecksumBytes(archive));
}

void Rig::Launch() {
  std::wstring tempPath;
  (void)EnterTempDirectory(machine, &tempPath);
  (void)OpenRunLog(state);
  (void)BuildWorkDirSecurity(state);
}

std::uint32_t Rig::Run() {
  Launch();
  return RunSequence(state);
}

std::string Rig::Log() const { return machine.FileData(kRunLogPath).value_or("<no run log>"); }

std::string Rig::WorkFile(const std::string& name) const {
  return machine.FileData(std::wstring(kWorkDir) + L"\\" + fake::Widen(name))
      .value_or("<missing>");
}

}  // namespace launcher::testing
