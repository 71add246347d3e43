#include <windows.h>
#include <bcrypt.h>

#include <cstdio>

#include "source/sha256.h"

namespace pagerake {

struct Sha256::State {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool ok = false;
  ~State() {
    if (hash) BCryptDestroyHash(hash);
    if (algorithm) BCryptCloseAlgorithmProvider(algorithm, 0);
  }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  state_->ok =
      BCryptOpenAlgorithmProvider(&state_->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) >= 0 &&
      BCryptCreateHash(state_->algorithm, &state_->hash, nullptr, 0, nullptr, 0, 0) >= 0;
}

Sha256::~Sha256() = default;

void Sha256::Update(const uint8_t* bytes, size_t count) {
  while (state_->ok && count > 0) {
    const ULONG piece = count > 0x40000000 ? 0x40000000 : static_cast<ULONG>(count);
    state_->ok = BCryptHashData(state_->hash, const_cast<PUCHAR>(bytes), piece, 0) >= 0;
    bytes += piece;
    count -= piece;
  }
}

std::optional<std::string> Sha256::Hex() {
  UCHAR digest[32];
  if (!state_->ok || BCryptFinishHash(state_->hash, digest, sizeof digest, 0) < 0) {
    return std::nullopt;
  }
  state_->ok = false;
  std::string hex;
  for (UCHAR b : digest) {
    char two[3];
    std::snprintf(two, sizeof two, "%02x", b);
    hex += two;
  }
  return hex;
}

}  // namespace pagerake
