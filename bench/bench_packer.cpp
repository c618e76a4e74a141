// Benchmarks of the build side: packing a 2 MB payload, and the checksum over a 2 MB archive
// (the launcher computes the same crc32 once per run before it unpacks anything).
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <string>

#include "bench_payload.h"
#include "payload_packer.h"

namespace bench {
namespace {

void BM_PackPayload2MB(benchmark::State& state) {
  const auto& in = SamplePayloadDir();
  const auto archive = ScratchDir() / "payload.tar.gz";
  const auto crc = ScratchDir() / "payload.crc";
  packer::PackOutcome outcome;
  for (auto _ : state) {
    outcome = packer::PackPayload(in, archive, crc);
    if (!outcome.error.empty()) {
      state.SkipWithError(outcome.error.c_str());
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kPayloadBytes));
  state.counters["archive_bytes"] = static_cast<double>(outcome.archiveBytes);
  state.counters["tar_bytes"] = static_cast<double>(outcome.tarBytes);
}
BENCHMARK(BM_PackPayload2MB)->Unit(benchmark::kMillisecond);

void BM_Crc32Archive2MB(benchmark::State& state) {
  const std::string archive = ArchiveLikeBytes(kPayloadBytes);
  for (auto _ : state) {
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(archive.data()),
                      static_cast<uInt>(archive.size()));
    benchmark::DoNotOptimize(crc);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * archive.size()));
}
BENCHMARK(BM_Crc32Archive2MB)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace bench
