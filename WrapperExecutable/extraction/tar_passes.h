// The two walks of the tar archive: ExtractPass writes every regular-file member into the work
// directory, VerifyPass reads each back and compares it with the archive byte for byte.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "extraction/block_stream.h"
#include "extraction/payload_resources.h"
#include "shell/launcher.h"

namespace launcher {

// The member size from a header block: octal digits at offsets 124..134, stopping at the first
// NUL, in wrapping unsigned 32-bit arithmetic.
std::uint32_t ParseOctalSize(const unsigned char* header);
// With a long-name record's header in stream.block: its data (NUL bytes included), or an empty
// text when a block read fails.
std::string ReadLongName(LauncherState& state, BlockStream& stream);
// True for a member name that could reach outside the work directory: absolute ('/' or '\'
// first), holding a ':' (drive letters, alternate streams), or with a '..' component (a
// component of dots and spaces only, with two dots or more) under either separator.
bool IsHostileMemberName(std::string_view name);

// Opens the stream, then writes every regular-file member. Returns 0 at the end of the stream,
// or 1018 to 1024 after writing the run-log line. The inflate state is released on return.
std::uint32_t ExtractPass(LauncherState& state, BlockStream& stream, const PayloadView& view);
// Opens the stream afresh, then compares every regular-file member with the file on disk.
// Returns 0 at the end of the stream, or 1025 to 1034 after writing the run-log line. The
// inflate state is released on return.
std::uint32_t VerifyPass(LauncherState& state, BlockStream& stream, const PayloadView& view);

}  // namespace launcher
