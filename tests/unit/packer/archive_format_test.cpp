// The archive the packer writes: GNU tar inside one gzip member, as the host tar and gzip read
// it and as the launcher's reader expects it, and its checksum file.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include "packer_test_support.h"
#include "payload_packer.h"

namespace packer_test {
namespace {

struct MemberRow {
  std::string name;
  std::size_t size;
};

struct ShapeCase {
  const char* label;
  std::vector<MemberRow> members;
  std::size_t tarBlocks;  // expected length of the uncompressed tar in blocks
};

void PrintTo(const ShapeCase& c, std::ostream* os) { *os << c.label; }

class PackedShapeTest : public ScratchTest, public ::testing::WithParamInterface<ShapeCase> {
 protected:
  // Writes the case's members with a payload.members list in table order and packs them.
  void PackCase() {
    std::string list;
    unsigned seed = 1;
    for (const MemberRow& m : GetParam().members) {
      WriteBytes(scratch_ / "in" / m.name, SampleBytes(m.size, seed++));
      list += m.name + "\n";
    }
    WriteBytes(scratch_ / "in" / "payload.members", list);
    packer::PackOutcome outcome =
        packer::PackPayload(scratch_ / "in", scratch_ / "payload.tar.gz", scratch_ / "payload.crc");
    ASSERT_EQ(outcome.error, "");
    EXPECT_EQ(outcome.memberCount, GetParam().members.size());
  }
};

TEST_P(PackedShapeTest, HostTarListsAndExtractsIdenticalBytes) {
  ASSERT_NO_FATAL_FAILURE(PackCase());
  auto [listStatus, listing] = RunCommand("tar -tzf " + Quote(scratch_ / "payload.tar.gz"));
  ASSERT_EQ(listStatus, 0) << listing;
  std::string expected;
  for (const MemberRow& m : GetParam().members) expected += m.name + "\n";
  EXPECT_EQ(listing, expected);

  fs::create_directories(scratch_ / "out");
  auto [status, output] = RunCommand("tar -xzf " + Quote(scratch_ / "payload.tar.gz") + " -C " +
                                     Quote(scratch_ / "out"));
  ASSERT_EQ(status, 0) << output;
  for (const MemberRow& m : GetParam().members) {
    SCOPED_TRACE(m.name);
    EXPECT_TRUE(SameBytes(scratch_ / "out" / m.name, scratch_ / "in" / m.name));
  }
}

TEST_P(PackedShapeTest, WritesGnuHeadersLongNameRecordsAndWholeRecords) {
  ASSERT_NO_FATAL_FAILURE(PackCase());
  std::string tar = Gunzip(ReadBytes(scratch_ / "payload.tar.gz"));
  EXPECT_EQ(tar.size(), GetParam().tarBlocks * 512);
  TarReading reading = ReadTar(tar);
  EXPECT_GE(reading.trailingZeroBlocks, 2u);
  ASSERT_EQ(reading.entries.size(), GetParam().members.size());
  for (std::size_t i = 0; i < reading.entries.size(); ++i) {
    const MemberRow& m = GetParam().members[i];
    const TarEntry& e = reading.entries[i];
    SCOPED_TRACE(m.name);
    EXPECT_EQ(e.name, m.name);
    EXPECT_EQ(e.typeflag, '0');
    EXPECT_EQ(e.longNameRecord, m.name.size() >= 100);
    EXPECT_TRUE(e.data == ReadBytes(scratch_ / "in" / m.name)) << "member data";
  }
}

// Block counts: one header per member, ceil(size / 512) data blocks, for a name of 100 bytes or
// more a long-name header and ceil((length + 1) / 512) blocks of name, then at least two zero
// blocks, rounded up to 20 blocks.
INSTANTIATE_TEST_SUITE_P(
    Packer, PackedShapeTest,
    ::testing::Values(
        ShapeCase{"Sizes", {{"empty.txt", 0}, {"one_block.bin", 512}, {"two_blocks.bin", 1024},
                            {"odd.bin", 1000}, {"tiny.txt", 1}}, 20},
        ShapeCase{"LastMemberEndsTwoBlocksBeforeRecordEnd", {{"a.bin", 17 * 512}}, 20},
        ShapeCase{"LastMemberEndsOneBlockBeforeRecordEnd", {{"a.bin", 18 * 512}}, 40},
        ShapeCase{"LastMemberEndsAtRecordEnd", {{"a.bin", 19 * 512}}, 40},
        ShapeCase{"NameLengths", {{NameOfLength(99), 10}, {NameOfLength(100), 10},
                                  {NameOfLength(150), 10}, {NameOfLength(511), 10},
                                  {NameOfLength(600), 10}}, 40},
        ShapeCase{"Subfolders", {{"docs/a.txt", 5}, {"docs/deeper/b.txt", 700}, {"go.bat", 100}},
                  20},
        ShapeCase{"NoMembers", {}, 20}),
    [](const ::testing::TestParamInfo<ShapeCase>& info) { return std::string(info.param.label); });

struct GzipCase {
  const char* archiveName;
  const char* storedName;
};

class GzipWrapperTest : public ScratchTest, public ::testing::WithParamInterface<GzipCase> {};

TEST_P(GzipWrapperTest, HeaderFieldsTrailerAndChecksumFile) {
  WriteBytes(scratch_ / "in" / "go.bat", "Mendrel.exe /halvern:true\r\n");
  WriteBytes(scratch_ / "in" / "Readme.txt", SampleBytes(3000, 7));
  fs::path archive = scratch_ / GetParam().archiveName;
  packer::PackOutcome outcome =
      packer::PackPayload(scratch_ / "in", archive, scratch_ / "payload.crc");
  ASSERT_EQ(outcome.error, "");

  std::string gz = ReadBytes(archive);
  std::string stored = GetParam().storedName;
  ASSERT_GT(gz.size(), 10 + stored.size() + 1 + 8);
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(gz[i]); };
  auto le32 = [&](std::size_t i) {
    return std::uint32_t{byte(i)} | std::uint32_t{byte(i + 1)} << 8 |
           std::uint32_t{byte(i + 2)} << 16 | std::uint32_t{byte(i + 3)} << 24;
  };
  EXPECT_EQ(byte(0), 0x1f);
  EXPECT_EQ(byte(1), 0x8b);
  EXPECT_EQ(byte(2), 8) << "CM deflate";
  EXPECT_EQ(byte(3), 0x08) << "FLG: FNAME only";
  EXPECT_EQ(le32(4), 1262304000u) << "MTIME";
  EXPECT_EQ(byte(8), 2) << "XFL maximum compression";
  EXPECT_EQ(byte(9), 255) << "OS unknown";
  EXPECT_EQ(gz.substr(10, stored.size() + 1), stored + '\0');

  std::string tar = Gunzip(gz);
  EXPECT_EQ(le32(gz.size() - 8),
            crc32(0, reinterpret_cast<const Bytef*>(tar.data()), static_cast<uInt>(tar.size())))
      << "trailer CRC of the tar";
  EXPECT_EQ(le32(gz.size() - 4), tar.size()) << "trailer ISIZE";
  EXPECT_EQ(outcome.tarBytes, tar.size());

  auto [status, output] = RunCommand("gzip -t " + Quote(archive));
  EXPECT_EQ(status, 0) << output;

  std::string crcFile = ReadBytes(scratch_ / "payload.crc");
  std::uint32_t crc = static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(gz.data()), static_cast<uInt>(gz.size())));
  ASSERT_EQ(crcFile.size(), 4u);
  EXPECT_EQ(crcFile, std::string({static_cast<char>(crc), static_cast<char>(crc >> 8),
                                  static_cast<char>(crc >> 16), static_cast<char>(crc >> 24)}))
      << "crc32 of the archive, little-endian";
  EXPECT_EQ(outcome.crc, crc);
  EXPECT_EQ(outcome.archiveBytes, gz.size());
}

INSTANTIATE_TEST_SUITE_P(Packer, GzipWrapperTest,
                         ::testing::Values(GzipCase{"payload.tar.gz", "payload.tar"},
                                           GzipCase{"other.tar.gz", "other.tar"},
                                           GzipCase{"payload.bin", "payload.bin"}));

}  // namespace
}  // namespace packer_test
