#include "export/sha256.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace rova {
namespace {

// The first 32 bits of the fractional parts of the cube roots of the first
// 64 primes.
constexpr std::array<std::uint32_t, 64> kRound = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

// The first 32 bits of the fractional parts of the square roots of the
// first eight primes.
constexpr std::array<std::uint32_t, 8> kInitial = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                                   0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

constexpr std::uint32_t rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

// Folds one 64-byte block into the hash state.
void compress(std::array<std::uint32_t, 8>& h, const unsigned char* block) {
  std::array<std::uint32_t, 64> w;
  for (int t = 0; t < 16; ++t)
    w[t] = std::uint32_t(block[4 * t]) << 24 | std::uint32_t(block[4 * t + 1]) << 16 |
           std::uint32_t(block[4 * t + 2]) << 8 | std::uint32_t(block[4 * t + 3]);
  for (int t = 16; t < 64; ++t) {
    std::uint32_t s0 = rotr(w[t - 15], 7) ^ rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
    std::uint32_t s1 = rotr(w[t - 2], 17) ^ rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
    w[t] = w[t - 16] + s0 + w[t - 7] + s1;
  }
  std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
  for (int t = 0; t < 64; ++t) {
    std::uint32_t sum1 = rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25);
    std::uint32_t choose = (e & f) ^ (~e & g);
    std::uint32_t t1 = hh + sum1 + choose + kRound[t] + w[t];
    std::uint32_t sum0 = rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22);
    std::uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
    std::uint32_t t2 = sum0 + majority;
    hh = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  h[0] += a;
  h[1] += b;
  h[2] += c;
  h[3] += d;
  h[4] += e;
  h[5] += f;
  h[6] += g;
  h[7] += hh;
}

}  // namespace

Sha256::Sha256() : state_(kInitial) {}

void Sha256::update(std::string_view bytes) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t n = bytes.size();
  length_ += n;
  // Fill a started block first, then whole blocks straight from the input.
  if (held_ > 0) {
    const std::size_t take = std::min(n, sizeof block_ - held_);
    std::copy(data, data + take, block_ + held_);
    held_ += take;
    data += take;
    n -= take;
    if (held_ < sizeof block_) return;
    compress(state_, block_);
    held_ = 0;
  }
  for (; n >= 64; data += 64, n -= 64) compress(state_, data);
  std::copy(data, data + n, block_);
  held_ = n;
}

std::string Sha256::hex() const {
  std::array<std::uint32_t, 8> h = state_;
  // The tail: the held bytes, a 1 bit, zeros up to 56 bytes modulo 64,
  // and the message length in bits as a 64-bit big-endian number.
  unsigned char tail[128] = {};
  std::copy(block_, block_ + held_, tail);
  tail[held_] = 0x80;
  const std::size_t tailLength = held_ < 56 ? 64 : 128;
  const std::uint64_t bits = length_ * 8;
  for (int i = 0; i < 8; ++i)
    tail[tailLength - 1 - i] = static_cast<unsigned char>(bits >> (8 * i));
  for (std::size_t i = 0; i < tailLength; i += 64) compress(h, tail + i);

  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(64);
  for (std::uint32_t word : h)
    for (int shift = 28; shift >= 0; shift -= 4) out += kHex[(word >> shift) & 0xf];
  return out;
}

std::string sha256Hex(const std::string& bytes) {
  Sha256 sum;
  sum.update(bytes);
  return sum.hex();
}

}  // namespace rova
