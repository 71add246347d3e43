#include "fragments/random_source.h"

#include <chrono>

namespace pagerake {

SeededRandomSource::SeededRandomSource() {
  std::random_device device;
  const auto now = static_cast<uint64_t>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count());
  std::seed_seq seed{device(), device(), static_cast<uint32_t>(now),
                     static_cast<uint32_t>(now >> 32)};
  engine_.seed(seed);
}

uint32_t SeededRandomSource::Uniform(uint32_t maxInclusive) {
  return std::uniform_int_distribution<uint32_t>(0, maxInclusive)(engine_);
}

}  // namespace pagerake
