// A RandomSource for tests: hands out the values it was given, in order, then repeats the last.
#pragma once

#include <algorithm>
#include <deque>

#include "fragments/random_source.h"

namespace pagerake::testing {

class FixedRandom : public RandomSource {
 public:
  explicit FixedRandom(std::deque<uint32_t> values) : values_(std::move(values)) {}
  uint32_t Uniform(uint32_t maxInclusive) override {
    const uint32_t v = values_.empty() ? last_ : values_.front();
    if (!values_.empty()) values_.pop_front();
    last_ = v;
    return std::min(v, maxInclusive);
  }

 private:
  std::deque<uint32_t> values_;
  uint32_t last_ = 0;
};

}  // namespace pagerake::testing
