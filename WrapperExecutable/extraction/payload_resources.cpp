// Payload resources and their integrity check; nothing is copied, freed or unlocked.
#include "extraction/payload_resources.h"

#include <zlib.h>

#include "shell/run_log.h"

namespace launcher {
namespace {

std::uint32_t NoResources(LauncherState& state, std::uint32_t code) {
  LogLine(state, "No resources!");
  return code;
}

}  // namespace

std::uint32_t OpenPayload(LauncherState& state, PayloadView* view) {
  Platform& platform = state.platform;

  const ResourceRef archive = platform.FindFileResource(kPayloadResource);
  if (archive == 0) return NoResources(state, kResultNoPayload);
  const LoadedResource archiveLoaded = platform.LoadResource(archive);
  const std::uint32_t archiveLength = platform.ResourceSize(archive);
  if (archiveLoaded == 0) return NoResources(state, kResultPayloadNotLoaded);
  const unsigned char* archiveData = platform.LockResource(archiveLoaded);
  if (archiveData == nullptr) return NoResources(state, kResultPayloadNoData);

  const ResourceRef checksum = platform.FindFileResource(kChecksumResource);
  if (checksum == 0) return NoResources(state, kResultNoChecksum);
  const LoadedResource checksumLoaded = platform.LoadResource(checksum);
  const std::uint32_t checksumLength = platform.ResourceSize(checksum);
  if (checksumLength != 4 || checksumLoaded == 0) return NoResources(state, kResultChecksumSize);
  const unsigned char* stored = platform.LockResource(checksumLoaded);
  if (stored == nullptr) return NoResources(state, kResultChecksumNoData);

  const std::uint32_t expected = std::uint32_t{stored[0]} | std::uint32_t{stored[1]} << 8 |
                                 std::uint32_t{stored[2]} << 16 | std::uint32_t{stored[3]} << 24;
  const std::uint32_t actual =
      static_cast<std::uint32_t>(crc32(0L, archiveData, static_cast<uInt>(archiveLength)));
  if (actual != expected) {
    LogLine(state, "Checksum failed on resource.");
    return kResultChecksumMismatch;
  }
  view->data = archiveData;
  view->length = archiveLength;
  return kResultSuccess;
}

}  // namespace launcher
