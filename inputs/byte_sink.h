// Where the packer's stages hand their bytes on: the tar writer to the gzip stage, the gzip
// stage to its file.
#pragma once

#include <cstddef>

namespace packer {

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Takes `size` bytes; false when they could not be passed on (the sink keeps why).
  [[nodiscard]] virtual bool Write(const void* data, std::size_t size) = 0;
};

}  // namespace packer
