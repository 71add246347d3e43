// Which pages taken among other fragments the report still names: by the rival's bytes, by the
// check's verdict on the page and on its rival, and, for pages taken with no rival to compare, by
// the run they came in.
#include "app/file_evidence.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "assembly/written_pages.h"

namespace pagerake {
namespace {

// One page of a made-up file: how it was written and what the check says of it.
enum Kind { kTied, kLoose, kRefuted, kFreePage, kZeroFree, kZeroUnknown };

constexpr uint16_t kRead = kFactFromFragment | kFactOwnPage | kFactTornBits | kFactVerified;
constexpr uint16_t kNoRival = kFactChosen | kFactRivalNone;
constexpr uint16_t kDiffers = kFactChosen | kFactRivalUnsettled;

MdfWriteResult Written(const std::vector<std::pair<Kind, uint16_t>>& pages) {
  MdfWriteResult w;
  w.check.pages = static_cast<int64_t>(pages.size());
  for (const auto& [kind, chosen] : pages) {
    const bool zero = kind == kZeroFree || kind == kZeroUnknown;
    w.facts.push_back(static_cast<uint16_t>((zero ? kFactZero | kFactFromFragment : kRead) | chosen));
    w.check.standing.push_back(kind == kTied      ? PageStanding::kTied
                               : kind == kRefuted ? PageStanding::kRefuted
                                                  : PageStanding::kUnknown);
    w.check.unallocated.push_back(kind == kFreePage || kind == kZeroFree);
  }
  return w;
}

TEST(JudgeWrittenFile, NamesTheChoicesNothingSettles) {
  struct Case {
    const char* what;
    std::vector<std::pair<Kind, uint16_t>> pages;
    std::vector<int64_t> named;
  };
  const Case cases[] = {
      {"a run the check confirms carries its unallocated pages",
       {{kTied, kNoRival}, {kFreePage, kNoRival}, {kZeroFree, kNoRival}, {kTied, 0}}, {}},
      {"but not a zero page the PFS says nothing of",
       {{kTied, kNoRival}, {kZeroUnknown, kNoRival}}, {1}},
      {"nor where a page of the run is refuted",
       {{kTied, kNoRival}, {kFreePage, kNoRival}, {kRefuted, kNoRival}}, {1, 2}},
      {"nor a run with no page confirmed", {{kFreePage, kNoRival}, {kZeroFree, kNoRival}}, {0, 1}},
      {"runs are apart", {{kTied, kNoRival}, {kTied, 0}, {kFreePage, kNoRival}}, {2}},
      {"a rival that differs stays a doubt", {{kTied, kDiffers}, {kLoose, kDiffers}}, {0, 1}},
      {"unless the check refutes it and confirms the page",
       {{kTied, kDiffers | kFactRivalRefuted}, {kLoose, kDiffers | kFactRivalRefuted}}, {1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const bool rule : {true, false}) {
      Session session;
      session.rules.confirmedChoices = rule;
      const FileEvidence f = JudgeWrittenFile(session, Written(c.pages));
      std::vector<int64_t> all;
      for (size_t p = 0; p < c.pages.size(); ++p) {
        if (c.pages[p].second & kFactChosen) all.push_back(static_cast<int64_t>(p));
      }
      EXPECT_EQ(f.choicePages, rule ? c.named : all);
      EXPECT_EQ(f.choicesConfirmed + static_cast<int64_t>(f.choicePages.size()),
                static_cast<int64_t>(all.size()));
    }
  }
}

}  // namespace
}  // namespace pagerake
