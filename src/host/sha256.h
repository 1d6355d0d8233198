// SHA-256 of a byte string, as the journal's chain needs it: a well-kept implementation of the
// platform's (OpenSSL's libcrypto on Linux, Windows' BCrypt on the Windows build), one file per
// platform, chosen by the build.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace host {

// The SHA-256 digest of `bytes` as 64 lower-case hexadecimal characters. Any thread; no state
// is kept between calls. Throws std::runtime_error only when the platform's implementation
// itself fails (it does not for any input; an out-of-memory may).
std::string Sha256Hex(std::string_view bytes);

// A digest's bytes as lower-case hexadecimal, two characters a byte. For the platform files.
inline std::string DigestHex(const unsigned char* digest, std::size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex(size * 2, '0');
  for (std::size_t i = 0; i < size; ++i) {
    hex[2 * i] = kDigits[digest[i] >> 4];
    hex[2 * i + 1] = kDigits[digest[i] & 0x0F];
  }
  return hex;
}

}  // namespace host
