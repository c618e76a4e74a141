// The payload archive as a sequence of 512-byte tar blocks, inflated on the fly from the mapped
// image; every block read first honours a cancel request.
#pragma once

#include <cstdint>

#include <zlib.h>

#include "extraction/payload_resources.h"
#include "shell/launcher.h"

namespace launcher {

inline constexpr std::uint32_t kBlockSize = 512;

struct BlockStream {
  z_stream zs{};                    // zero-filled once; zlib owns all but the fields we set
  unsigned char block[kBlockSize]{};  // the one block buffer, reused for every block
  const unsigned char* start = nullptr;
  bool open = false;                // an inflate state exists and must be released
};

// Points the stream at the whole archive and creates a fresh inflate state (window bits 47:
// gzip or zlib wrapper). Returns zlib's status: Z_OK, or a failure such as Z_MEM_ERROR.
int OpenBlockStream(LauncherState& state, BlockStream& stream, const PayloadView& view);
// Reads the next block into stream.block. Returns 0 (a full block), 1 (Z_STREAM_END: the data
// has ended; whatever this call wrote is not to be used), -1 (cancelled: "Operation cancelled by
// user." has been logged and the stream was not touched), or zlib's failure status unchanged.
int ReadBlock(LauncherState& state, BlockStream& stream);
// Compressed bytes consumed so far: 0 up to the archive length.
std::uint32_t ConsumedBytes(const BlockStream& stream);
// Releases the inflate state (inflateEnd) if one exists; the stream can be opened again.
void CloseBlockStream(BlockStream& stream);

}  // namespace launcher
