// MD5 message digest (RFC 1321) of buffers and streams, and its text form of
// 32 lowercase hexadecimal digits.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

namespace catpack {

using Md5Digest = std::array<unsigned char, 16>;

// Running state of one digest.
struct Md5Context {
  std::uint32_t countLow;   // bytes so far, modulo 2^29
  std::uint32_t countHigh;  // bytes so far, divided by 2^29
  std::uint32_t state[4];   // the chaining words A, B, C, D
  unsigned char pending[64];
};

// Sets the start values and a byte count of 0.
void md5Init(Md5Context& context);

// Feeds `length` bytes.
void md5Update(Md5Context& context, const void* bytes, std::uint32_t length);

// Pads, gives the digest and clears the context to zero.
Md5Digest md5Final(Md5Context& context);

// Digest of everything that can still be read from `stream`, read in pieces
// of 1000 bytes; the stream is neither opened nor closed here.
Md5Digest md5OfStream(std::FILE* stream);

// Digest of `length` bytes.
Md5Digest md5OfBuffer(const void* bytes, std::uint32_t length);

// The 32-digit lowercase hexadecimal text of a digest.
std::string md5ToHex(const Md5Digest& digest);

std::string md5HexOfStream(std::FILE* stream);
std::string md5HexOfBuffer(const void* bytes, std::uint32_t length);

}  // namespace catpack
