// pack-payload PAYLOAD_DIR OUT_TAR_GZ OUT_CRC: the command-line front of the payload packer.
#include <cstdio>

#include "payload_packer.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr,
                 "usage: pack-payload PAYLOAD_DIR OUT_TAR_GZ OUT_CRC\n"
                 "Packs the files of PAYLOAD_DIR, in the order of its payload.members file (one\n"
                 "name a line) or, without one, every regular file in byte-wise name order, into\n"
                 "a GNU tar in one gzip member, and writes its CRC-32 as 4 little-endian bytes.\n"
                 "Headers carry mode 0644, owner 0, and the fixed time 2010-01-01 00:00:00 UTC.\n");
    return 2;
  }
  packer::PackOutcome outcome = packer::PackPayload(argv[1], argv[2], argv[3]);
  if (!outcome.error.empty()) {
    std::fprintf(stderr, "pack-payload: %s\n", outcome.error.c_str());
    return 1;
  }
  std::printf("pack-payload: %zu members, %llu bytes of tar, %llu bytes of archive, crc 0x%08x\n",
              outcome.memberCount, static_cast<unsigned long long>(outcome.tarBytes),
              static_cast<unsigned long long>(outcome.archiveBytes), outcome.crc);
  return 0;
}
