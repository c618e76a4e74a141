// The payload inside the executable: resources FILE 104 (the gzip tar archive) and FILE 105
// (its CRC-32, 4 bytes little-endian), found, mapped and checked once per run.
#pragma once

#include <cstdint>

#include "shell/launcher.h"

namespace launcher {

// The archive in the mapped image: read-only, valid until the process ends.
struct PayloadView {
  const unsigned char* data = nullptr;
  std::uint32_t length = 0;
};

// Finds, loads and locks both resources and compares zlib's crc32 (from 0) of the archive with
// the stored checksum. Returns 0 with *view filled, or 1008 to 1014 after writing the run-log
// line ("No resources!" or "Checksum failed on resource.").
std::uint32_t OpenPayload(LauncherState& state, PayloadView* view);

}  // namespace launcher
