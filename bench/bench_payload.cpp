// The benchmarks' sample payload: about 2 MB of members in a scratch folder, made once per run.
#include "bench_payload.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <system_error>

namespace bench {
namespace fs = std::filesystem;
namespace {

std::uint32_t Next(std::uint32_t& x) {
  x ^= x << 13;
  x ^= x >> 17;
  x ^= x << 5;
  return x;
}

void Write(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(),
                                              static_cast<std::streamsize>(bytes.size()));
}

struct Scratch {
  Scratch() {
    std::string pattern = (fs::temp_directory_path() / "zorvan-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    root = pattern;
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }
  fs::path root;
};

Scratch& TheScratch() {
  static Scratch scratch;
  return scratch;
}

std::string TextLikeBytes(std::size_t size) {
  static const char* const kWords[] = {
      "Function ", "End If\r\n", "Dim ", "g_halvern", " = ", "WScript.Echo ", "Call ",
      "LogMsg \"", "\"\r\n", "Set objFso = ", "CreateObject(", "\"Scripting.FileSystemObject\")",
      "If Not ", " Then\r\n", "For Each ", " In ", "Next\r\n", "strPath", "& \"\\\" &",
      "RETVAL_PROBLEMS_DETECTED", "Vyx/", "quarantine", "ZAVService", "    ", "\r\n"};
  std::string text;
  text.reserve(size + 64);
  std::uint32_t x = 0x9e3779b9u;
  while (text.size() < size) {
    text += kWords[Next(x) % (sizeof kWords / sizeof kWords[0])];
    if (Next(x) % 8 == 0) text += std::to_string(Next(x) % 100000);
  }
  text.resize(size);
  return text;
}

}  // namespace

std::string ArchiveLikeBytes(std::size_t size) {
  std::string bytes(size, '\0');
  std::uint32_t x = 0x2545f491u;
  for (char& c : bytes) c = static_cast<char>(Next(x) >> 24);
  return bytes;
}

const fs::path& ScratchDir() { return TheScratch().root; }

const fs::path& SamplePayloadDir() {
  static const fs::path dir = [] {
    fs::path d = TheScratch().root / "payload";
    fs::create_directories(d);
    std::string goBat = "Mendrel.exe /halvern:true /useZorvanCid:true > \"../Zorvan Fix Script Log.txt\"\r\n";
    std::string readme = TextLikeBytes(3279);
    Write(d / "go.bat", goBat);
    Write(d / "Readme.txt", readme);
    Write(d / "Mendrel.exe", TextLikeBytes(kPayloadBytes - goBat.size() - readme.size()));
    Write(d / "payload.members", "Mendrel.exe\ngo.bat\nReadme.txt\n");
    return d;
  }();
  return dir;
}

}  // namespace bench
