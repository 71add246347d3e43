#include <openssl/evp.h>

#include <cstdio>

#include "source/sha256.h"

namespace pagerake {

struct Sha256::State {
  EVP_MD_CTX* ctx = nullptr;
  bool ok = false;
  ~State() { EVP_MD_CTX_free(ctx); }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  state_->ctx = EVP_MD_CTX_new();
  state_->ok = state_->ctx != nullptr &&
               EVP_DigestInit_ex(state_->ctx, EVP_sha256(), nullptr) == 1;
}

Sha256::~Sha256() = default;

void Sha256::Update(const uint8_t* bytes, size_t count) {
  if (state_->ok && count > 0) state_->ok = EVP_DigestUpdate(state_->ctx, bytes, count) == 1;
}

std::optional<std::string> Sha256::Hex() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (!state_->ok || EVP_DigestFinal_ex(state_->ctx, digest, &length) != 1) return std::nullopt;
  state_->ok = false;
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    char two[3];
    std::snprintf(two, sizeof two, "%02x", digest[i]);
    hex += two;
  }
  return hex;
}

}  // namespace pagerake
