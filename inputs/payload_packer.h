// The payload packer: the members of a payload folder -> GNU tar -> one gzip member -> the
// archive file and its 4-byte checksum file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace packer {

struct PackOutcome {
  std::string error;            // empty on success
  std::uint32_t crc = 0;        // zlib crc32 (from 0) of the archive file's bytes
  std::uint64_t archiveBytes = 0;
  std::uint64_t tarBytes = 0;   // length of the uncompressed tar
  std::size_t memberCount = 0;
};

// The name stored in the gzip header for an archive written to `archive`: its file name
// without a trailing ".gz" ("payload.tar.gz" -> "payload.tar").
[[nodiscard]] std::string StoredNameFor(const std::filesystem::path& archive);

// Packs the members of `payloadDir` (see ListMembers for which and in which order) into
// `archive` (gzip of a GNU tar) and writes its CRC-32 as 4 little-endian bytes to `crcFile`.
// Identical members give byte-identical files: names, sizes and contents are all that is taken
// from the folder. Members are streamed; memory use does not grow with their size. On failure
// neither output file is left behind and `error` says what went wrong.
[[nodiscard]] PackOutcome PackPayload(const std::filesystem::path& payloadDir,
                                      const std::filesystem::path& archive,
                                      const std::filesystem::path& crcFile);

}  // namespace packer
