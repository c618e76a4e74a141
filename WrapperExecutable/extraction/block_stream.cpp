// Block stream over zlib's inflate. All input is available from the start, so inflate fills a
// whole block or reports the end of the stream in the call that writes the last bytes.
#include "extraction/block_stream.h"

#include "shell/progress.h"
#include "shell/run_log.h"

namespace launcher {

int OpenBlockStream(LauncherState& state, BlockStream& stream, const PayloadView& view) {
  CloseBlockStream(stream);
  const InflateAllocator& allocator = state.hooks.inflateAllocator;
  stream.zs.zalloc = allocator.alloc;
  stream.zs.zfree = allocator.release;
  stream.zs.opaque = allocator.opaque;
  stream.start = view.data;
  // zlib never writes through next_in; the cast only meets its non-const field.
  stream.zs.next_in = const_cast<Bytef*>(view.data);
  stream.zs.avail_in = view.length;
  stream.zs.next_out = stream.block;
  stream.zs.avail_out = 0;
  const int status = inflateInit2(&stream.zs, 47);
  stream.open = status == Z_OK;
  return status;
}

int ReadBlock(LauncherState& state, BlockStream& stream) {
  if (state.hooks.beforeBlockRead) state.hooks.beforeBlockRead();
  if (CancelRequested(state)) {
    LogLine(state, "Operation cancelled by user.");
    return -1;
  }
  stream.zs.next_out = stream.block;
  stream.zs.avail_out = kBlockSize;
  return inflate(&stream.zs, Z_NO_FLUSH);
}

std::uint32_t ConsumedBytes(const BlockStream& stream) {
  if (stream.start == nullptr || stream.zs.next_in == nullptr) return 0;
  return static_cast<std::uint32_t>(stream.zs.next_in - stream.start);
}

void CloseBlockStream(BlockStream& stream) {
  if (!stream.open) return;
  inflateEnd(&stream.zs);
  stream.open = false;
}

}  // namespace launcher
