// The tar walk shared by both passes, and what each pass does with a regular-file member.
#include "extraction/tar_passes.h"

#include <algorithm>
#include <cstring>

#include "extraction/work_directory.h"
#include "shell/progress.h"
#include "shell/run_log.h"

namespace launcher {
namespace {

constexpr std::size_t kNameOffset = 0, kNameLength = 100;
constexpr std::size_t kSizeOffset = 124, kSizeDigits = 11;
constexpr std::size_t kTypeOffset = 156;

// The codes and texts that tell the passes apart.
struct PassTraits {
  Pass pass;
  std::uint32_t streamCode, headerCode, longNameCode, afterLongNameCode, openCode, dataCode;
  const char* openFailure;
};
constexpr PassTraits kExtraction{
    Pass::kExtraction,     kResultExtractStream,        kResultExtractHeader,
    kResultExtractLongName, kResultExtractAfterLongName, kResultExtractOpen,
    kResultExtractData,    "Failed to open file."};
constexpr PassTraits kVerification{
    Pass::kVerification,   kResultVerifyStream,         kResultVerifyHeader,
    kResultVerifyLongName, kResultVerifyAfterLongName,  kResultVerifyOpen,
    kResultVerifyData,     "Failed to open file for verification."};

// Releases the pass's inflate state on every return.
class StreamCloser {
 public:
  explicit StreamCloser(BlockStream& stream) : stream_(stream) {}
  ~StreamCloser() { CloseBlockStream(stream_); }
  StreamCloser(const StreamCloser&) = delete;
  StreamCloser& operator=(const StreamCloser&) = delete;

 private:
  BlockStream& stream_;
};

// The open member file of a pass; closed when the member ends or the pass fails.
class MemberFile {
 public:
  explicit MemberFile(Platform& platform) : platform_(platform) {}
  ~MemberFile() { Close(); }
  MemberFile(const MemberFile&) = delete;
  MemberFile& operator=(const MemberFile&) = delete;

  bool Open(const std::string& name, FileMode mode) {
    file_ = platform_.OpenFile(name, mode);
    return file_ != kInvalidHandle;
  }
  bool IsOpen() const { return file_ != kInvalidHandle; }
  FileRef Get() const { return file_; }
  void Close() {
    if (file_ == kInvalidHandle) return;
    (void)platform_.CloseFile(file_);
    file_ = kInvalidHandle;
  }

 private:
  Platform& platform_;
  FileRef file_ = kInvalidHandle;
};

std::uint32_t Fail(LauncherState& state, const char* line, std::uint32_t code) {
  LogLine(state, line);
  return code;
}

// What the extraction pass does with a member's bytes and its end: 0 or a result code.
struct Writer {
  static constexpr FileMode kMode = FileMode::kWriteCreateAlways;
  std::uint32_t Bytes(LauncherState& state, MemberFile& file, const unsigned char* data,
                      std::uint32_t count) {
    std::uint32_t written = 0;
    if (!state.platform.WriteFile(file.Get(), data, count, &written) || written < count) {
      file.Close();
      return Fail(state, "Can't write to file.", kResultExtractWrite);
    }
    return 0;
  }
  std::uint32_t End(LauncherState&, MemberFile&) { return 0; }
};

// What the verification pass does with them: read back, compare, and check for extra bytes.
struct Comparer {
  static constexpr FileMode kMode = FileMode::kReadOpenExisting;
  unsigned char buffer[kBlockSize];
  std::uint32_t Bytes(LauncherState& state, MemberFile& file, const unsigned char* data,
                      std::uint32_t count) {
    std::uint32_t read = 0;
    if (!state.platform.ReadFile(file.Get(), buffer, count, &read) || read < count) {
      file.Close();
      return Fail(state, "Extraction failure.", kResultVerifyRead);
    }
    if (std::memcmp(buffer, data, count) != 0) {
      file.Close();
      return Fail(state, "Verification failure.", kResultVerifyMismatch);
    }
    return 0;
  }
  std::uint32_t End(LauncherState& state, MemberFile& file) {
    std::uint32_t read = 0;
    if (!state.platform.ReadFile(file.Get(), buffer, 1, &read)) {
      file.Close();
      return Fail(state, "File too long.", kResultVerifyExtraRead);
    }
    if (read != 0) {
      file.Close();
      return Fail(state, "File too long.", kResultVerifyTooLong);
    }
    return 0;
  }
};

// The walk common to both passes, from the first header read to the end of the stream.
template <typename Handler>
std::uint32_t Walk(LauncherState& state, BlockStream& stream, std::uint32_t divisor,
                   const PassTraits& traits, Handler& handler) {
  for (;;) {
    const int header = ReadBlock(state, stream);
    ReportProgress(state, ConsumedBytes(stream), divisor, traits.pass);
    if (header == Z_STREAM_END) return 0;
    if (header != Z_OK) return Fail(state, "Extraction failure.", traits.headerCode);

    std::string name;
    if (stream.block[kTypeOffset] == 'L') {
      name = ReadLongName(state, stream);
      if (name.empty()) return Fail(state, "Failed to read long filename.", traits.longNameCode);
      if (ReadBlock(state, stream) != Z_OK) {
        return Fail(state, "Missing file after long filename.", traits.afterLongNameCode);
      }
    } else {
      const char* field = reinterpret_cast<const char*>(stream.block + kNameOffset);
      name.assign(field, kNameLength);
    }
    name.resize(std::strlen(name.c_str()));
    if (name.empty()) continue;

    LogLine(state, name);
    std::uint32_t size = ParseOctalSize(stream.block);
    const char typeflag = static_cast<char>(stream.block[kTypeOffset]);

    MemberFile file(state.platform);
    if (typeflag == '0') {
      if (IsHostileMemberName(name)) return Fail(state, traits.openFailure, traits.openCode);
      (void)CreatePathDirectories(state, name);
      if (!file.Open(name, Handler::kMode)) {
        return Fail(state, traits.openFailure, traits.openCode);
      }
    }
    while (size != 0) {
      if (ReadBlock(state, stream) != Z_OK) {
        file.Close();
        return Fail(state, "Extraction failure.", traits.dataCode);
      }
      if (file.IsOpen()) {
        const std::uint32_t count = std::min(size, kBlockSize);
        if (const std::uint32_t code = handler.Bytes(state, file, stream.block, count)) {
          return code;
        }
      }
      if (size <= kBlockSize) break;
      size -= kBlockSize;
    }
    if (file.IsOpen()) {
      if (const std::uint32_t code = handler.End(state, file)) return code;
    }
  }
}

}  // namespace

std::uint32_t ParseOctalSize(const unsigned char* header) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < kSizeDigits; ++i) {
    const unsigned char digit = header[kSizeOffset + i];
    if (digit == 0) break;
    value = value * 8u + static_cast<std::uint32_t>(digit - '0');
  }
  return value;
}

std::string ReadLongName(LauncherState& state, BlockStream& stream) {
  std::uint32_t count = ParseOctalSize(stream.block);
  std::string text;
  while (count != 0) {
    if (ReadBlock(state, stream) != Z_OK) return std::string();
    text.append(reinterpret_cast<const char*>(stream.block), std::min(count, kBlockSize));
    if (count <= kBlockSize) break;
    count -= kBlockSize;
  }
  return text;
}

bool IsHostileMemberName(std::string_view name) {
  if (name.empty()) return false;
  if (name.front() == '/' || name.front() == '\\') return true;
  if (name.find(':') != std::string_view::npos) return true;
  std::size_t begin = 0;
  while (begin <= name.size()) {
    std::size_t end = name.find_first_of("/\\", begin);
    if (end == std::string_view::npos) end = name.size();
    const std::string_view component = name.substr(begin, end - begin);
    // Windows drops trailing dots and spaces of a component, so ". ." and "..." climb like "..".
    const bool dotsAndSpaces = !component.empty() &&
                               component.find_first_not_of(". ") == std::string_view::npos;
    if (dotsAndSpaces && std::count(component.begin(), component.end(), '.') >= 2) return true;
    begin = end + 1;
  }
  return false;
}

std::uint32_t ExtractPass(LauncherState& state, BlockStream& stream, const PayloadView& view) {
  LogLine(state, "Extracting files:");
  StreamCloser closer(stream);
  if (OpenBlockStream(state, stream, view) != Z_OK) {
    return Fail(state, "Extraction failure.", kExtraction.streamCode);
  }
  Writer writer;
  return Walk(state, stream, ProgressDivisor(view.length), kExtraction, writer);
}

std::uint32_t VerifyPass(LauncherState& state, BlockStream& stream, const PayloadView& view) {
  StreamCloser closer(stream);
  const int opened = OpenBlockStream(state, stream, view);
  LogLine(state, "Verifying files:");
  if (opened != Z_OK) return Fail(state, "Extraction failure.", kVerification.streamCode);
  Comparer comparer;
  return Walk(state, stream, ProgressDivisor(view.length), kVerification, comparer);
}

}  // namespace launcher
