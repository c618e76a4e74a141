// Conversions between wide text and UTF-16LE or single-byte file contents.
#include <gtest/gtest.h>

#include "text_encoding.h"

namespace repair {
namespace {

std::wstring Emoji() {
  if constexpr (sizeof(wchar_t) == 4) return std::wstring(1, static_cast<wchar_t>(0x1F600));
  return std::wstring{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
}

TEST(TextEncoding, Utf16LeRoundTripsEveryPlane) {
  const std::wstring text = L"A\u00E9\u4E2D\u3042" + Emoji();
  const std::string bytes = EncodeUtf16Le(text);
  EXPECT_EQ(bytes, std::string("A\0\xE9\0\x2D\x4E\x42\x30\x3D\xD8\x00\xDE", 12));
  EXPECT_EQ(DecodeUtf16Le(bytes), text);
  EXPECT_EQ(DecodeUtf16Le(bytes + "Z"), text);  // an odd last byte is dropped
}

TEST(TextEncoding, SingleByteTextMapsByteValues) {
  EXPECT_EQ(WidenAnsi("caf\xE9\x80"), L"caf\u00E9\u0080");
  EXPECT_EQ(NarrowAnsi(L"caf\u00E9 \u4E2D"), "caf\xE9 ?");
}

}  // namespace
}  // namespace repair
