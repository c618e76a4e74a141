// The gzip stage: compresses what it is given into one gzip member in a file, with a stored
// file name, maximum compression, "unknown" operating system and a fixed time, and keeps the
// CRC-32 of the bytes it wrote.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include <zlib.h>

#include "byte_sink.h"

namespace packer {

// The gzip header's modification time: the same fixed moment as the tar headers'.
inline constexpr std::uint32_t kGzipTime = 1262304000;
inline constexpr int kGzipOsUnknown = 255;

class GzipFile : public ByteSink {
 public:
  GzipFile() = default;
  ~GzipFile() override;
  GzipFile(const GzipFile&) = delete;
  GzipFile& operator=(const GzipFile&) = delete;

  // Creates (or truncates) `path` and starts a gzip member whose header names `storedName`.
  // False on failure, with Error() saying why.
  [[nodiscard]] bool Open(const std::filesystem::path& path, const std::string& storedName);
  // Compresses `size` more bytes into the file.
  [[nodiscard]] bool Write(const void* data, std::size_t size) override;
  // Ends the member (deflate data and trailer) and closes the file; true when every byte
  // reached the file.
  [[nodiscard]] bool Finish();

  // CRC-32 (zlib's crc32 from 0) and count of the bytes written to the file so far.
  std::uint32_t FileCrc() const { return fileCrc_; }
  std::uint64_t FileBytes() const { return fileBytes_; }
  const std::string& Error() const { return error_; }

 private:
  bool Deflate(int flush);
  bool Fail(std::string why);
  void Release();

  std::FILE* file_ = nullptr;
  z_stream stream_{};
  bool streamOpen_ = false;
  gz_header header_{};
  std::string storedName_;  // header_.name points into it until the header is written
  std::uint32_t fileCrc_ = 0;
  std::uint64_t fileBytes_ = 0;
  std::string error_;
  unsigned char out_[64 * 1024];
};

}  // namespace packer
