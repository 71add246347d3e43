// SHA-256 of a stream of bytes, for the digest that the report of a recovered file records. The
// system's library does the work (OpenSSL here, the Windows cryptography API there), so this is
// only the seam between the writer and it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace pagerake {

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  // Adds `count` bytes. A failure of the library is kept and makes Hex() return nothing.
  void Update(const uint8_t* bytes, size_t count);
  // The digest of everything added, as 64 lower-case hex digits; nothing when the library failed.
  // Ends the stream: call once.
  std::optional<std::string> Hex();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace pagerake
