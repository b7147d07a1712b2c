// SHA-256 digest of a byte string, so the run's metadata can name exactly
// which input file it was made from. Written from the definition of the
// Secure Hash Standard (FIPS 180-4); it needs nothing but the standard
// library and handles inputs of any length held in memory.
#pragma once

#include <string>

namespace rova {

// The SHA-256 digest of `bytes` as 64 lower-case hexadecimal digits.
std::string sha256Hex(const std::string& bytes);

}  // namespace rova
