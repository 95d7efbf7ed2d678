#include "digest/md5.h"

#include <cstring>

namespace catpack {

namespace {

inline std::uint32_t rotateLeft(std::uint32_t value, int bits) {
  return (value << bits) | (value >> (32 - bits));
}

inline std::uint32_t loadWord(const unsigned char* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// The four round functions, each folded into one step; G and I are written
// so that the compiler needs no extra temporary.
#define MD5_STEP_F(a, b, c, d, word, constant, shift) \
  a += ((d ^ (b & (c ^ d))) + (word) + (constant));   \
  a = rotateLeft(a, shift) + b
#define MD5_STEP_G(a, b, c, d, word, constant, shift)               \
  a += (((b & d) + (c & ~d)) + (word) + (constant));               \
  a = rotateLeft(a, shift) + b
#define MD5_STEP_H(a, b, c, d, word, constant, shift) \
  a += ((b ^ c ^ d) + (word) + (constant));          \
  a = rotateLeft(a, shift) + b
#define MD5_STEP_I(a, b, c, d, word, constant, shift) \
  a += ((c ^ (b | ~d)) + (word) + (constant));       \
  a = rotateLeft(a, shift) + b

// Processes `blocks` whole 64-byte blocks straight from `input`.
void processBlocks(std::uint32_t state[4], const unsigned char* input, std::size_t blocks) {
  std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (; blocks > 0; --blocks, input += 64) {
    std::uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = loadWord(input + 4 * i);
    const std::uint32_t a0 = a, b0 = b, c0 = c, d0 = d;

    MD5_STEP_F(a, b, c, d, x[0], 0xd76aa478u, 7);
    MD5_STEP_F(d, a, b, c, x[1], 0xe8c7b756u, 12);
    MD5_STEP_F(c, d, a, b, x[2], 0x242070dbu, 17);
    MD5_STEP_F(b, c, d, a, x[3], 0xc1bdceeeu, 22);
    MD5_STEP_F(a, b, c, d, x[4], 0xf57c0fafu, 7);
    MD5_STEP_F(d, a, b, c, x[5], 0x4787c62au, 12);
    MD5_STEP_F(c, d, a, b, x[6], 0xa8304613u, 17);
    MD5_STEP_F(b, c, d, a, x[7], 0xfd469501u, 22);
    MD5_STEP_F(a, b, c, d, x[8], 0x698098d8u, 7);
    MD5_STEP_F(d, a, b, c, x[9], 0x8b44f7afu, 12);
    MD5_STEP_F(c, d, a, b, x[10], 0xffff5bb1u, 17);
    MD5_STEP_F(b, c, d, a, x[11], 0x895cd7beu, 22);
    MD5_STEP_F(a, b, c, d, x[12], 0x6b901122u, 7);
    MD5_STEP_F(d, a, b, c, x[13], 0xfd987193u, 12);
    MD5_STEP_F(c, d, a, b, x[14], 0xa679438eu, 17);
    MD5_STEP_F(b, c, d, a, x[15], 0x49b40821u, 22);

    MD5_STEP_G(a, b, c, d, x[1], 0xf61e2562u, 5);
    MD5_STEP_G(d, a, b, c, x[6], 0xc040b340u, 9);
    MD5_STEP_G(c, d, a, b, x[11], 0x265e5a51u, 14);
    MD5_STEP_G(b, c, d, a, x[0], 0xe9b6c7aau, 20);
    MD5_STEP_G(a, b, c, d, x[5], 0xd62f105du, 5);
    MD5_STEP_G(d, a, b, c, x[10], 0x02441453u, 9);
    MD5_STEP_G(c, d, a, b, x[15], 0xd8a1e681u, 14);
    MD5_STEP_G(b, c, d, a, x[4], 0xe7d3fbc8u, 20);
    MD5_STEP_G(a, b, c, d, x[9], 0x21e1cde6u, 5);
    MD5_STEP_G(d, a, b, c, x[14], 0xc33707d6u, 9);
    MD5_STEP_G(c, d, a, b, x[3], 0xf4d50d87u, 14);
    MD5_STEP_G(b, c, d, a, x[8], 0x455a14edu, 20);
    MD5_STEP_G(a, b, c, d, x[13], 0xa9e3e905u, 5);
    MD5_STEP_G(d, a, b, c, x[2], 0xfcefa3f8u, 9);
    MD5_STEP_G(c, d, a, b, x[7], 0x676f02d9u, 14);
    MD5_STEP_G(b, c, d, a, x[12], 0x8d2a4c8au, 20);

    MD5_STEP_H(a, b, c, d, x[5], 0xfffa3942u, 4);
    MD5_STEP_H(d, a, b, c, x[8], 0x8771f681u, 11);
    MD5_STEP_H(c, d, a, b, x[11], 0x6d9d6122u, 16);
    MD5_STEP_H(b, c, d, a, x[14], 0xfde5380cu, 23);
    MD5_STEP_H(a, b, c, d, x[1], 0xa4beea44u, 4);
    MD5_STEP_H(d, a, b, c, x[4], 0x4bdecfa9u, 11);
    MD5_STEP_H(c, d, a, b, x[7], 0xf6bb4b60u, 16);
    MD5_STEP_H(b, c, d, a, x[10], 0xbebfbc70u, 23);
    MD5_STEP_H(a, b, c, d, x[13], 0x289b7ec6u, 4);
    MD5_STEP_H(d, a, b, c, x[0], 0xeaa127fau, 11);
    MD5_STEP_H(c, d, a, b, x[3], 0xd4ef3085u, 16);
    MD5_STEP_H(b, c, d, a, x[6], 0x04881d05u, 23);
    MD5_STEP_H(a, b, c, d, x[9], 0xd9d4d039u, 4);
    MD5_STEP_H(d, a, b, c, x[12], 0xe6db99e5u, 11);
    MD5_STEP_H(c, d, a, b, x[15], 0x1fa27cf8u, 16);
    MD5_STEP_H(b, c, d, a, x[2], 0xc4ac5665u, 23);

    MD5_STEP_I(a, b, c, d, x[0], 0xf4292244u, 6);
    MD5_STEP_I(d, a, b, c, x[7], 0x432aff97u, 10);
    MD5_STEP_I(c, d, a, b, x[14], 0xab9423a7u, 15);
    MD5_STEP_I(b, c, d, a, x[5], 0xfc93a039u, 21);
    MD5_STEP_I(a, b, c, d, x[12], 0x655b59c3u, 6);
    MD5_STEP_I(d, a, b, c, x[3], 0x8f0ccc92u, 10);
    MD5_STEP_I(c, d, a, b, x[10], 0xffeff47du, 15);
    MD5_STEP_I(b, c, d, a, x[1], 0x85845dd1u, 21);
    MD5_STEP_I(a, b, c, d, x[8], 0x6fa87e4fu, 6);
    MD5_STEP_I(d, a, b, c, x[15], 0xfe2ce6e0u, 10);
    MD5_STEP_I(c, d, a, b, x[6], 0xa3014314u, 15);
    MD5_STEP_I(b, c, d, a, x[13], 0x4e0811a1u, 21);
    MD5_STEP_I(a, b, c, d, x[4], 0xf7537e82u, 6);
    MD5_STEP_I(d, a, b, c, x[11], 0xbd3af235u, 10);
    MD5_STEP_I(c, d, a, b, x[2], 0x2ad7d2bbu, 15);
    MD5_STEP_I(b, c, d, a, x[9], 0xeb86d391u, 21);

    a += a0;
    b += b0;
    c += c0;
    d += d0;
  }
  state[0] = a;
  state[1] = b;
  state[2] = c;
  state[3] = d;
}

#undef MD5_STEP_F
#undef MD5_STEP_G
#undef MD5_STEP_H
#undef MD5_STEP_I

constexpr std::uint32_t lowCountLimit = 1u << 29;

}  // namespace

void md5Init(Md5Context& context) {
  context.countLow = 0;
  context.countHigh = 0;
  context.state[0] = 0x67452301u;
  context.state[1] = 0xefcdab89u;
  context.state[2] = 0x98badcfeu;
  context.state[3] = 0x10325476u;
}

void md5Update(Md5Context& context, const void* bytes, std::uint32_t length) {
  const unsigned char* input = static_cast<const unsigned char*>(bytes);
  const std::uint32_t used = context.countLow & 63;
  const std::uint32_t low = context.countLow + (length & (lowCountLimit - 1));
  context.countHigh += (length >> 29) + (low >> 29);
  context.countLow = low & (lowCountLimit - 1);

  if (used != 0) {
    const std::uint32_t room = 64 - used;
    if (length < room) {
      std::memcpy(context.pending + used, input, length);
      return;
    }
    std::memcpy(context.pending + used, input, room);
    processBlocks(context.state, context.pending, 1);
    input += room;
    length -= room;
  }
  const std::size_t blocks = length / 64;
  processBlocks(context.state, input, blocks);
  input += blocks * 64;
  std::memcpy(context.pending, input, length % 64);
}

Md5Digest md5Final(Md5Context& context) {
  const std::uint64_t bitLength = (static_cast<std::uint64_t>(context.countHigh) << 32) |
                                  (static_cast<std::uint64_t>(context.countLow) << 3);
  const std::uint32_t used = context.countLow & 63;
  unsigned char padding[72] = {0x80};
  const std::uint32_t padLength = (used < 56 ? 56 : 120) - used;
  unsigned char lengthBytes[8];
  for (int i = 0; i < 8; ++i) lengthBytes[i] = static_cast<unsigned char>(bitLength >> (8 * i));
  md5Update(context, padding, padLength);
  md5Update(context, lengthBytes, 8);

  Md5Digest digest;
  for (int word = 0; word < 4; ++word) {
    for (int i = 0; i < 4; ++i) {
      digest[4 * word + i] = static_cast<unsigned char>(context.state[word] >> (8 * i));
    }
  }
  std::memset(&context, 0, sizeof context);
  return digest;
}

Md5Digest md5OfStream(std::FILE* stream) {
  Md5Context context;
  md5Init(context);
  unsigned char piece[1000];
  for (;;) {
    const std::size_t got = std::fread(piece, 1, sizeof piece, stream);
    if (got == 0) break;
    md5Update(context, piece, static_cast<std::uint32_t>(got));
  }
  return md5Final(context);
}

Md5Digest md5OfBuffer(const void* bytes, std::uint32_t length) {
  Md5Context context;
  md5Init(context);
  md5Update(context, bytes, length);
  return md5Final(context);
}

std::string md5ToHex(const Md5Digest& digest) {
  static const char digits[] = "0123456789abcdef";
  std::string text(32, '0');
  for (std::size_t i = 0; i < digest.size(); ++i) {
    text[2 * i] = digits[digest[i] >> 4];
    text[2 * i + 1] = digits[digest[i] & 15];
  }
  return text;
}

std::string md5HexOfStream(std::FILE* stream) { return md5ToHex(md5OfStream(stream)); }

std::string md5HexOfBuffer(const void* bytes, std::uint32_t length) {
  return md5ToHex(md5OfBuffer(bytes, length));
}

}  // namespace catpack
