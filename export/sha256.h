// SHA-256 digest of a byte string, so the run's metadata can name exactly
// which input file it was made from. Written from the definition of the
// Secure Hash Standard (FIPS 180-4); it needs nothing but the standard
// library and handles inputs of any length held in memory.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace rova {

// SHA-256 of bytes given in pieces: the same sum as of the pieces joined.
class Sha256 {
 public:
  Sha256();
  void update(std::string_view bytes);
  // Lower-case hex of the sum of everything given so far.
  std::string hex() const;

 private:
  std::array<std::uint32_t, 8> state_;
  unsigned char block_[64] = {};
  std::size_t held_ = 0;           // bytes of block_ in use
  std::uint64_t length_ = 0;       // bytes given in all
};

// The SHA-256 digest of `bytes` as 64 lower-case hexadecimal digits.
std::string sha256Hex(const std::string& bytes);

}  // namespace rova
