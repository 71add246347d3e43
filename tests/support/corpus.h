// Where the real database files live, and a skip with a clear reason when they are not there.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace pagerake::testing {

// The corpus folder: $PAGERAKE_CORPUS, or ../shared/corpus beside the source tree.
std::filesystem::path CorpusDir();

// The corpus's r*.mdf files in name order; empty when the folder is absent.
std::vector<std::filesystem::path> CorpusFiles();

// Every .mdf file of the corpus, versions/ included, in path order.
std::vector<std::filesystem::path> AllCorpusFiles();

}  // namespace pagerake::testing

#define PAGERAKE_REQUIRE_CORPUS()                                                        \
  do {                                                                                   \
    if (::pagerake::testing::CorpusFiles().empty())                                      \
      GTEST_SKIP() << "corpus of real database files not found at "                      \
                   << ::pagerake::testing::CorpusDir() << " (set PAGERAKE_CORPUS)";      \
  } while (0)
