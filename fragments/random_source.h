// Where a saved scan takes its random values from: the start value of every encoded line and the
// key of the content file. Tests give a source of fixed values; the program uses a generator
// seeded from the system's entropy source and the clock.
#pragma once

#include <cstdint>
#include <random>

namespace pagerake {

class RandomSource {
 public:
  virtual ~RandomSource() = default;
  // A value from 0 to `maxInclusive`, each equally likely.
  virtual uint32_t Uniform(uint32_t maxInclusive) = 0;
};

class SeededRandomSource : public RandomSource {
 public:
  SeededRandomSource();
  uint32_t Uniform(uint32_t maxInclusive) override;

 private:
  std::mt19937 engine_;
};

}  // namespace pagerake
