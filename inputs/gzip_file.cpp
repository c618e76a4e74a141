// The gzip stage: compresses what it is given into one gzip member in a file, with a stored
// file name, maximum compression, "unknown" operating system and a fixed time, and keeps the
// CRC-32 of the bytes it wrote.
#include "gzip_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace packer {

GzipFile::~GzipFile() { Release(); }

void GzipFile::Release() {
  if (streamOpen_) deflateEnd(&stream_);
  streamOpen_ = false;
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

bool GzipFile::Fail(std::string why) {
  if (error_.empty()) error_ = std::move(why);
  Release();
  return false;
}

bool GzipFile::Open(const std::filesystem::path& path, const std::string& storedName) {
  file_ = std::fopen(path.c_str(), "wb");
  if (file_ == nullptr) return Fail("cannot create " + path.string() + ": " + std::strerror(errno));
  // Window bits 15 + 16: a gzip wrapper. Level 9 makes deflate write the extra flags 2.
  if (deflateInit2(&stream_, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    return Fail("cannot start compression");
  }
  streamOpen_ = true;
  storedName_ = storedName;
  header_.time = kGzipTime;
  header_.os = kGzipOsUnknown;
  header_.name = reinterpret_cast<Bytef*>(storedName_.data());
  if (deflateSetHeader(&stream_, &header_) != Z_OK) return Fail("cannot set the gzip header");
  return true;
}

bool GzipFile::Deflate(int flush) {
  // As long as deflate fills the whole output buffer it may have more to give.
  int status;
  do {
    stream_.next_out = out_;
    stream_.avail_out = sizeof out_;
    status = deflate(&stream_, flush);
    if (status == Z_STREAM_ERROR) return Fail("compression failed");
    std::size_t produced = sizeof out_ - stream_.avail_out;
    if (produced != 0) {
      if (std::fwrite(out_, 1, produced, file_) != produced) {
        return Fail(std::string("cannot write the archive: ") + std::strerror(errno));
      }
      fileCrc_ = static_cast<std::uint32_t>(crc32(fileCrc_, out_, static_cast<uInt>(produced)));
      fileBytes_ += produced;
    }
  } while (stream_.avail_out == 0);
  if (flush == Z_FINISH && status != Z_STREAM_END) return Fail("compression did not end");
  return true;
}

bool GzipFile::Write(const void* data, std::size_t size) {
  if (!streamOpen_) return Fail("archive not open");
  const unsigned char* p = static_cast<const unsigned char*>(data);
  while (size != 0) {
    std::size_t chunk = std::min<std::size_t>(size, std::numeric_limits<uInt>::max());
    stream_.next_in = const_cast<Bytef*>(p);
    stream_.avail_in = static_cast<uInt>(chunk);
    if (!Deflate(Z_NO_FLUSH)) return false;
    p += chunk;
    size -= chunk;
  }
  return true;
}

bool GzipFile::Finish() {
  if (!streamOpen_) return Fail("archive not open");
  stream_.next_in = nullptr;
  stream_.avail_in = 0;
  if (!Deflate(Z_FINISH)) return false;
  deflateEnd(&stream_);
  streamOpen_ = false;
  std::FILE* f = file_;
  file_ = nullptr;
  if (std::fflush(f) != 0 || std::ferror(f) != 0) {
    std::fclose(f);
    return Fail(std::string("cannot write the archive: ") + std::strerror(errno));
  }
  if (std::fclose(f) != 0) return Fail(std::string("cannot close the archive: ") + std::strerror(errno));
  return true;
}

}  // namespace packer
