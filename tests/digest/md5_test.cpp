// Expected digests were computed with md5sum.
#include "digest/md5.h"

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace catpack {
namespace {

std::string hexOf(const std::string& bytes) {
  return md5HexOfBuffer(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

// The bytes (7i + 3) mod 256 for i from 0.
std::string sequence(std::size_t length) {
  std::string bytes(length, '\0');
  for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((i * 7 + 3) & 0xFF);
  return bytes;
}

TEST(Md5, MatchesTheReferenceSuite) {
  const std::pair<const char*, const char*> suite[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& [text, digest] : suite) EXPECT_EQ(hexOf(text), digest) << text;
}

const std::pair<std::size_t, const char*> blockEdges[] = {
    {55, "52c0e574e1198de5fe3f8f11440dcb1b"},   {56, "46c9907fc908ee68b1e7b8e71286a518"},
    {63, "a62f6d59e837867693f042f5b8f5a236"},   {64, "7160b8fb5e9e4023d549c3971fbaeead"},
    {65, "70bd662e7aefbda85a0f7244167b7897"},   {1000, "10046f077f2082ac19676b8079f1cb1a"},
    {1001, "974f1c55640d1ec9df6035704aa3332b"}, {3 * 1024 * 1024 + 17, "a9a3d18cac8c95d4bdeae2d821be2e00"},
};

TEST(Md5, MatchesAroundBlockAndPieceEdges) {
  for (const auto& [length, digest] : blockEdges) EXPECT_EQ(hexOf(sequence(length)), digest) << length;
}

TEST(Md5, GivesTheSameDigestWhateverTheSplitOfTheInput) {
  const std::string bytes = sequence(1001);
  const std::vector<std::vector<std::size_t>> splits = {
      {1}, {3}, {55}, {63}, {64}, {65}, {127}, {1, 63}, {7, 64, 129}, {0, 1000},
  };
  for (const std::vector<std::size_t>& pieces : splits) {
    Md5Context context;
    md5Init(context);
    std::size_t at = 0;
    for (std::size_t turn = 0; at < bytes.size(); ++turn) {
      const std::size_t piece = std::min(pieces[turn % pieces.size()], bytes.size() - at);
      md5Update(context, bytes.data() + at, static_cast<std::uint32_t>(piece));
      at += piece;
    }
    EXPECT_EQ(md5ToHex(md5Final(context)), "974f1c55640d1ec9df6035704aa3332b") << pieces[0];
  }
}

TEST(Md5, FinalClearsTheContext) {
  Md5Context context;
  md5Init(context);
  md5Update(context, "abc", 3);
  md5Final(context);
  const unsigned char* raw = reinterpret_cast<const unsigned char*>(&context);
  for (std::size_t i = 0; i < sizeof context; ++i) ASSERT_EQ(raw[i], 0) << i;
}

TEST(Md5, StreamDigestEqualsBufferDigest) {
  for (const auto& [length, digest] : blockEdges) {
    const std::string bytes = sequence(length);
    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::rewind(stream);
    EXPECT_EQ(md5HexOfStream(stream), digest) << length;
    std::fclose(stream);
  }
}

TEST(Md5, HexTextIsLowercaseWithLeadingZeros) {
  Md5Digest digest{};
  digest[0] = 0x0A;
  digest[15] = 0xF1;
  EXPECT_EQ(md5ToHex(digest), "0a0000000000000000000000000000f1");
  EXPECT_EQ(md5ToHex(Md5Digest{}), std::string(32, '0'));
}

}  // namespace
}  // namespace catpack
