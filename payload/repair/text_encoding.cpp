// Conversions between wide text and UTF-16LE or single-byte file contents.
#include "text_encoding.h"

#include <cstdint>

namespace repair {
namespace {

void PutUnit(std::string& out, std::uint32_t unit) {
  out.push_back(static_cast<char>(unit & 0xFF));
  out.push_back(static_cast<char>((unit >> 8) & 0xFF));
}

}  // namespace

std::string EncodeUtf16Le(const std::wstring& text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (wchar_t ch : text) {
    auto c = static_cast<std::uint32_t>(ch);
    if constexpr (sizeof(wchar_t) == 4) {
      if (c > 0xFFFF && c <= 0x10FFFF) {
        c -= 0x10000;
        PutUnit(out, 0xD800 + (c >> 10));
        PutUnit(out, 0xDC00 + (c & 0x3FF));
        continue;
      }
    }
    PutUnit(out, c & 0xFFFF);
  }
  return out;
}

std::wstring DecodeUtf16Le(const std::string& bytes) {
  std::wstring out;
  out.reserve(bytes.size() / 2);
  const std::size_t units = bytes.size() / 2;
  auto unitAt = [&bytes](std::size_t i) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[2 * i])) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[2 * i + 1])) << 8);
  };
  for (std::size_t i = 0; i < units; ++i) {
    std::uint32_t u = unitAt(i);
    if constexpr (sizeof(wchar_t) == 4) {
      if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
        std::uint32_t low = unitAt(i + 1);
        if (low >= 0xDC00 && low <= 0xDFFF) {
          out.push_back(static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00)));
          ++i;
          continue;
        }
      }
    }
    out.push_back(static_cast<wchar_t>(u));
  }
  return out;
}

std::wstring WidenAnsi(const std::string& bytes) {
  std::wstring out;
  out.reserve(bytes.size());
  for (char b : bytes) out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(b)));
  return out;
}

std::string NarrowAnsi(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t ch : text) {
    auto c = static_cast<std::uint32_t>(ch);
    out.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
  }
  return out;
}

}  // namespace repair
