// The digest seam against the standard's own test vectors, fed whole and in pieces.
#include "source/sha256.h"

#include <string>

#include <gtest/gtest.h>

namespace pagerake {
namespace {

std::string Digest(const std::string& text, size_t piece) {
  Sha256 sha;
  for (size_t at = 0; at < text.size(); at += piece) {
    const std::string part = text.substr(at, piece);
    sha.Update(reinterpret_cast<const uint8_t*>(part.data()), part.size());
  }
  return sha.Hex().value_or("(failed)");
}

TEST(Sha256, KnownDigestsWholeAndInPieces) {
  const std::string million(1000000, 'a');
  struct Case {
    std::string text;
    const char* digest;
  };
  const Case cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {million, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const Case& c : cases) {
    for (const size_t piece : {size_t{1} << 20, size_t{7}, size_t{64}}) {
      if (c.text.size() > 100000 && piece < 64) continue;
      EXPECT_EQ(Digest(c.text, piece), c.digest) << c.text.size() << " bytes in " << piece;
    }
  }
}

}  // namespace
}  // namespace pagerake
