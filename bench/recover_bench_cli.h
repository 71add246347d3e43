// recover_bench's whole-process part: pagerake-cli recover against cat of the same image, and
// the comparison of a written file with its original.
#pragma once

#include <string>

#include "bench/synthetic_disk.h"

namespace pagerake::bench {

// Prints how `c` came out under `what`; true when the file is right.
bool ReportComparison(const char* what, const Comparison& c);

// pagerake-cli recover IMAGE as a whole process against the physical work of the same job (cat
// IMAGE, then dd of the original with conv=fsync), in turn, `rounds` times after an untimed one;
// `target`: the ratio printed beside it. True unless its output is wrong. The SHA-256 recover
// prints is taken while the file is written, so it is inside the figure.
bool CliAgainstCat(const std::string& image, const std::string& original, const std::string& dir,
                   const testing::WholeFile& file, int rounds, bool keep, double target);

}  // namespace pagerake::bench
