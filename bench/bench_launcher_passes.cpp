// Benchmarks of the launcher's two archive passes over a 2 MB payload, through the in-memory
// machine behind its seam: inflate, tar walk, one write or one read-and-compare per block.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <string>

#include "bench_payload.h"
#include "extraction/block_stream.h"
#include "extraction/tar_passes.h"
#include "fakes/launcher/fake_launcher_machine.h"
#include "payload_packer.h"
#include "shell/launcher.h"

namespace bench {
namespace {
namespace fs = std::filesystem;

// The sample payload packed once: the archive bytes as the launcher finds them in its image.
const std::string& PackedSampleArchive() {
  static const std::string archive = [] {
    const auto path = ScratchDir() / "passes.tar.gz";
    packer::PackOutcome outcome =
        packer::PackPayload(SamplePayloadDir(), path, ScratchDir() / "passes.crc");
    if (!outcome.error.empty()) return std::string();
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }();
  return archive;
}

// A machine whose current directory is an empty work directory, with the run log open.
struct PassesBench {
  PassesBench() : state(machine) {
    machine.AddDirectory(workDir);
    (void)machine.ChangeDirectoryNarrow("zorvan_temp");
    (void)launcher::OpenRunLog(state);
    const std::string& archive = PackedSampleArchive();
    view.data = reinterpret_cast<const unsigned char*>(archive.data());
    view.length = static_cast<std::uint32_t>(archive.size());
  }
  const std::wstring workDir =
      std::wstring(launcher::fake::FakeLauncherMachine::kDefaultTempPath) + L"zorvan_temp";
  launcher::fake::FakeLauncherMachine machine;
  launcher::LauncherState state;
  launcher::BlockStream stream;
  launcher::PayloadView view;
};

void BM_ExtractPass2MB(benchmark::State& st) {
  PassesBench b;
  if (b.view.length == 0) return st.SkipWithError("the sample payload could not be packed");
  for (auto _ : st) {
    if (std::uint32_t code = launcher::ExtractPass(b.state, b.stream, b.view); code != 0) {
      st.SkipWithError(("ExtractPass returned " + std::to_string(code)).c_str());
      break;
    }
  }
  // The passes must have done the real work: the largest member is in the work directory.
  auto written = b.machine.FileData(b.workDir + L"\\Mendrel.exe");
  if (!written || written->size() != fs::file_size(SamplePayloadDir() / "Mendrel.exe")) {
    st.SkipWithError("ExtractPass did not write Mendrel.exe");
  }
  st.SetBytesProcessed(static_cast<std::int64_t>(st.iterations() * kPayloadBytes));
  st.counters["archive_bytes"] = b.view.length;
}
BENCHMARK(BM_ExtractPass2MB)->Unit(benchmark::kMillisecond);

void BM_VerifyPass2MB(benchmark::State& st) {
  PassesBench b;
  if (b.view.length == 0) return st.SkipWithError("the sample payload could not be packed");
  if (launcher::ExtractPass(b.state, b.stream, b.view) != 0) {
    return st.SkipWithError("ExtractPass failed");
  }
  for (auto _ : st) {
    if (std::uint32_t code = launcher::VerifyPass(b.state, b.stream, b.view); code != 0) {
      st.SkipWithError(("VerifyPass returned " + std::to_string(code)).c_str());
      break;
    }
  }
  st.SetBytesProcessed(static_cast<std::int64_t>(st.iterations() * kPayloadBytes));
}
BENCHMARK(BM_VerifyPass2MB)->Unit(benchmark::kMillisecond);

// Both passes as a run does them: extract into the work directory, then verify.
void BM_ExtractAndVerify2MB(benchmark::State& st) {
  PassesBench b;
  if (b.view.length == 0) return st.SkipWithError("the sample payload could not be packed");
  for (auto _ : st) {
    std::uint32_t code = launcher::ExtractPass(b.state, b.stream, b.view);
    if (code == 0) code = launcher::VerifyPass(b.state, b.stream, b.view);
    if (code != 0) {
      st.SkipWithError(("the passes returned " + std::to_string(code)).c_str());
      break;
    }
  }
  st.SetBytesProcessed(static_cast<std::int64_t>(st.iterations() * kPayloadBytes));
}
BENCHMARK(BM_ExtractAndVerify2MB)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace bench
