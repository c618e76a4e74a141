// The benchmarks' sample payload: about 2 MB of members in a scratch folder, made once per run.
#pragma once

#include <filesystem>
#include <string>

namespace bench {

inline constexpr std::size_t kPayloadBytes = 2 * 1024 * 1024;

// A folder holding "Mendrel.exe" (text-like bytes that compress roughly as program text does),
// "go.bat" and "Readme.txt", kPayloadBytes in all, with its payload.members list. Removed when
// the program ends.
const std::filesystem::path& SamplePayloadDir();

// A scratch folder for outputs, removed when the program ends.
const std::filesystem::path& ScratchDir();

// `size` bytes that look like compressed data (no structure to exploit).
std::string ArchiveLikeBytes(std::size_t size);

}  // namespace bench
