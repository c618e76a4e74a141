// The payload packer: the members of a payload folder -> GNU tar -> one gzip member -> the
// archive file and its 4-byte checksum file.
#include "payload_packer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>
#include <vector>

#include "gzip_file.h"
#include "member_list.h"
#include "tar_writer.h"

namespace packer {
namespace fs = std::filesystem;
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::string WriteError(const GzipFile& gzip) {
  return gzip.Error().empty() ? "cannot write the archive" : gzip.Error();
}

// Copies the member's bytes into the tar; the file must still have the size it was listed with.
std::string CopyMember(const Member& member, TarWriter& tar, GzipFile& gzip,
                       std::vector<unsigned char>& buffer) {
  FilePtr in(std::fopen(member.source.c_str(), "rb"));
  if (!in) return "cannot open member " + member.name + ": " + std::strerror(errno);
  if (!tar.BeginMember(member.name, member.size)) return WriteError(gzip);
  std::uint64_t left = member.size;
  while (left != 0) {
    std::size_t want = left < buffer.size() ? static_cast<std::size_t>(left) : buffer.size();
    std::size_t got = std::fread(buffer.data(), 1, want, in.get());
    if (got == 0) {
      return std::ferror(in.get()) ? "cannot read member " + member.name
                                   : "member shrank while being packed: " + member.name;
    }
    if (!tar.WriteData(buffer.data(), got)) return WriteError(gzip);
    left -= got;
  }
  if (std::fgetc(in.get()) != EOF) return "member grew while being packed: " + member.name;
  if (!tar.EndMember()) return WriteError(gzip);
  return {};
}

std::string WriteCrcFile(const fs::path& path, std::uint32_t crc) {
  const unsigned char bytes[4] = {
      static_cast<unsigned char>(crc), static_cast<unsigned char>(crc >> 8),
      static_cast<unsigned char>(crc >> 16), static_cast<unsigned char>(crc >> 24)};
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return "cannot create " + path.string() + ": " + std::strerror(errno);
  bool ok = std::fwrite(bytes, 1, 4, f) == 4;
  ok = (std::fclose(f) == 0) && ok;
  if (!ok) return "cannot write " + path.string();
  return {};
}

std::string Pack(const fs::path& payloadDir, const fs::path& archive, const fs::path& crcFile,
                 PackOutcome* outcome) {
  if (SameFile(archive, crcFile)) return "the archive and the checksum file are one file";
  MemberList list = ListMembers(payloadDir, {archive, crcFile});
  if (!list.error.empty()) return list.error;

  auto gzip = std::make_unique<GzipFile>();
  if (!gzip->Open(archive, StoredNameFor(archive))) return WriteError(*gzip);
  TarWriter tar(*gzip);
  std::vector<unsigned char> buffer(64 * 1024);
  for (const Member& m : list.members) {
    if (std::string why = CopyMember(m, tar, *gzip, buffer); !why.empty()) return why;
  }
  if (!tar.Finish()) return WriteError(*gzip);
  if (!gzip->Finish()) return WriteError(*gzip);

  outcome->crc = gzip->FileCrc();
  outcome->archiveBytes = gzip->FileBytes();
  outcome->tarBytes = tar.BytesWritten();
  outcome->memberCount = list.members.size();
  return WriteCrcFile(crcFile, outcome->crc);
}

}  // namespace

std::string StoredNameFor(const fs::path& archive) {
  std::string name = archive.filename().string();
  if (name.size() > 3 && name.compare(name.size() - 3, 3, ".gz") == 0) name.resize(name.size() - 3);
  return name;
}

PackOutcome PackPayload(const fs::path& payloadDir, const fs::path& archive,
                        const fs::path& crcFile) {
  PackOutcome outcome;
  outcome.error = Pack(payloadDir, archive, crcFile, &outcome);
  if (!outcome.error.empty()) {
    std::error_code ignored;
    fs::remove(archive, ignored);
    fs::remove(crcFile, ignored);
    outcome = PackOutcome{outcome.error};
  }
  return outcome;
}

}  // namespace packer
