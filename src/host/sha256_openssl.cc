// SHA-256 with OpenSSL's libcrypto (EVP), on Linux.
#include <openssl/evp.h>

#include <memory>
#include <stdexcept>

#include "host/sha256.h"

namespace host {

namespace {

struct ContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

}  // namespace

std::string Sha256Hex(std::string_view bytes) {
  std::unique_ptr<EVP_MD_CTX, ContextFree> context(EVP_MD_CTX_new());
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1 ||
      EVP_DigestUpdate(context.get(), bytes.data(), bytes.size()) != 1 ||
      EVP_DigestFinal_ex(context.get(), digest, &size) != 1) {
    throw std::runtime_error("SHA-256 failed in libcrypto");
  }
  return DigestHex(digest, size);
}

}  // namespace host
