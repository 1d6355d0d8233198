// SHA-256 with Windows' BCrypt (the CNG primitives in bcrypt.dll), on the Windows build.
#include <windows.h>
// bcrypt.h after windows.h, which it expects.
#include <bcrypt.h>

#include <stdexcept>

#include "host/sha256.h"

namespace host {

namespace {

// The SHA-256 provider, opened once. It is never closed: closing it from a static destructor
// would run at process exit, when bcrypt.dll may be gone already; one handle a load of the
// plugin is what it costs.
BCRYPT_ALG_HANDLE Provider() {
  static const BCRYPT_ALG_HANDLE provider = [] {
    BCRYPT_ALG_HANDLE opened = nullptr;
    if (!BCRYPT_SUCCESS(
            BCryptOpenAlgorithmProvider(&opened, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
      return static_cast<BCRYPT_ALG_HANDLE>(nullptr);
    }
    return opened;
  }();
  return provider;
}

}  // namespace

std::string Sha256Hex(std::string_view bytes) {
  unsigned char digest[32];
  const BCRYPT_ALG_HANDLE provider = Provider();
  if (provider == nullptr ||
      !BCRYPT_SUCCESS(BCryptHash(provider, nullptr, 0,
                                 reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                                 static_cast<ULONG>(bytes.size()), digest, sizeof digest))) {
    throw std::runtime_error("SHA-256 failed in BCrypt");
  }
  return DigestHex(digest, sizeof digest);
}

}  // namespace host
