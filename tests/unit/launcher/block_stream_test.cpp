// The block stream: wrappers zlib recognises, where a stream ends, and the cancel test.
#include <gtest/gtest.h>

#include "extraction/block_stream.h"
#include "launcher_rig.h"

namespace launcher::testing {
namespace {

struct Reads {
  std::vector<int> results;  // every ReadBlock result up to the first non-zero one
  std::uint32_t consumed = 0;
};

Reads ReadAll(Rig& rig, const std::string& archive) {
  const PayloadView view{reinterpret_cast<const unsigned char*>(archive.data()),
                         static_cast<std::uint32_t>(archive.size())};
  BlockStream stream;
  Reads reads;
  EXPECT_EQ(OpenBlockStream(rig.state, stream, view), Z_OK);
  for (;;) {
    reads.results.push_back(ReadBlock(rig.state, stream));
    if (reads.results.back() != Z_OK) break;
  }
  reads.consumed = ConsumedBytes(stream);
  CloseBlockStream(stream);
  return reads;
}

std::vector<int> ZerosThen(std::size_t zeros, int last) {
  std::vector<int> results(zeros, Z_OK);
  results.push_back(last);
  return results;
}

TEST(BlockStreamTest, WhereTheStreamEnds) {
  const std::string tar = CarriedMembers().Bytes();  // 20 blocks
  ASSERT_EQ(tar.size(), 10240u);
  const std::string gzip = Compress(tar, Wrapper::kGzip, "payload.tar");
  struct Case {
    const char* name;
    std::string archive;
    std::vector<int> results;
    std::uint32_t consumed;
  };
  const Case cases[] = {
      {"gzip: the last block comes with the end", gzip, ZerosThen(19, Z_STREAM_END),
       static_cast<std::uint32_t>(gzip.size())},
      {"zlib wrapper", Compress(tar, Wrapper::kZlib), ZerosThen(19, Z_STREAM_END), 0},
      {"partial last block", Compress(tar.substr(0, 10000)), ZerosThen(19, Z_STREAM_END), 0},
      {"raw deflate fails at the first read", Compress(tar, Wrapper::kRaw), {Z_DATA_ERROR}, 0},
      {"empty archive", "", {Z_BUF_ERROR}, 0},
      {"cut short", gzip.substr(0, gzip.size() / 2), {}, 0},
      {"second gzip member never read", gzip + Compress(Noise(5000)), ZerosThen(19, Z_STREAM_END),
       static_cast<std::uint32_t>(gzip.size())},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    const Reads reads = ReadAll(rig, c.archive);
    if (c.results.empty()) {  // ends early: a failure before the block count is reached
      EXPECT_LT(reads.results.size(), 20u);
      EXPECT_EQ(reads.results.back(), Z_BUF_ERROR);
    } else {
      EXPECT_EQ(reads.results, c.results);
    }
    if (c.consumed != 0) {
      EXPECT_EQ(reads.consumed, c.consumed);
    }
    EXPECT_LE(reads.consumed, c.archive.size());
    EXPECT_EQ(rig.allocator.live, 0);
  }
}

TEST(BlockStreamTest, CancelRefusesEveryReadWithoutTouchingTheStream) {
  Rig rig;
  rig.Launch();
  const std::string archive = Compress(CarriedMembers().Bytes());
  const PayloadView view{reinterpret_cast<const unsigned char*>(archive.data()),
                         static_cast<std::uint32_t>(archive.size())};
  BlockStream stream;
  ASSERT_EQ(OpenBlockStream(rig.state, stream, view), Z_OK);
  ASSERT_EQ(ReadBlock(rig.state, stream), Z_OK);
  const std::uint32_t consumed = ConsumedBytes(stream);
  RequestCancel(rig.state);
  EXPECT_EQ(ReadBlock(rig.state, stream), -1);
  EXPECT_EQ(ReadBlock(rig.state, stream), -1);
  EXPECT_EQ(ConsumedBytes(stream), consumed);
  EXPECT_EQ(rig.Log(), LogText({"Operation cancelled by user.", "Operation cancelled by user."}));
  CloseBlockStream(stream);
  EXPECT_EQ(rig.allocator.live, 0);
}

// Whole runs over the wrappers the launcher accepts.
TEST(BlockStreamTest, RunsOverZlibWrapperAndConcatenatedMembers) {
  const std::string tar = CarriedMembers().Bytes();
  for (const std::string& archive :
       {Compress(tar, Wrapper::kZlib), Compress(tar) + Compress(Noise(3000, 9))}) {
    Rig rig;
    rig.Install(archive);
    EXPECT_EQ(rig.Run(), 0u);
    EXPECT_EQ(rig.WorkFile("Readme.txt"), "Read me.\r\n");
  }
}

}  // namespace
}  // namespace launcher::testing
