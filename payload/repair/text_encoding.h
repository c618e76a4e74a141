// Conversions between the program's wide text and the byte forms of the files it reads and
// writes: UTF-16 little-endian (side files, scanner logs) and single-byte ANSI text
// (configuration files). wchar_t is UTF-16 on Windows and UTF-32 elsewhere; both are handled.
#pragma once

#include <string>

namespace repair {

// The text as UTF-16LE bytes, without a byte-order mark. Characters beyond U+FFFF become
// surrogate pairs.
std::string EncodeUtf16Le(const std::wstring& text);

// UTF-16LE bytes (without a byte-order mark) as text; an odd last byte is dropped, a lone
// surrogate is kept as it is.
std::wstring DecodeUtf16Le(const std::string& bytes);

// Single-byte text as wide text, each byte standing for the character of the same value.
std::wstring WidenAnsi(const std::string& bytes);

// Wide text as single-byte text; characters above U+00FF become '?'.
std::string NarrowAnsi(const std::wstring& text);

}  // namespace repair
