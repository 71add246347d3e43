#include "database/page_claims.h"

#include <optional>

#include "database/allocation_pages.h"
#include "page/byte_order.h"
#include "page/page_header.h"

namespace pagerake {
namespace {

// The unit an IAM gives pages to, as a page of it names it. Files created by SQL Server 2000
// give the data pages of a clustered index index id 0 while its IAM carries 1.
bool CarriesIamUnit(const PageRelations& page, AllocationUnit iam) {
  if (page.unit == iam) return true;
  return page.unit.objectId == iam.objectId && iam.indexId == 1 && page.unit.indexId == 0 &&
         page.type == kPageTypeData;
}

}  // namespace

void ForEachPageClaim(const uint8_t* page, int64_t number, int limit,
                      const std::function<void(const PageClaim&)>& f) {
  const PageRelations r = ReadPageRelations(page);
  if (r.version != 1 || r.pageId != number || limit <= 0) return;
  int made = 0;
  const auto claim = [&](int64_t other, ClaimKind kind, uint8_t level) {
    if (made >= limit || other <= 0 || other == number) return;
    ++made;
    f(PageClaim{other, kind, r.unit, level, static_cast<uint32_t>(number)});
  };
  if (IsObjectPageType(r.type)) {
    if (r.prevPage != 0 && r.prevFile == r.fileId) claim(r.prevPage, ClaimKind::kPrevious, r.level);
    if (r.nextPage != 0 && r.nextFile == r.fileId) claim(r.nextPage, ClaimKind::kNext, r.level);
  }
  if (r.type == kPageTypeIndex && r.level > 0) {
    for (int slot = 0; slot < r.slotCount && made < limit; ++slot) {
      const std::optional<ChildPointer> child = IndexChildAt(page, slot);
      if (child && child->fileId == r.fileId) {
        claim(child->pageId, ClaimKind::kIndexChild, static_cast<uint8_t>(r.level - 1));
      }
    }
  }
  if (r.type == kPageTypeIam) {
    const std::optional<IamPageView> iam = DecodeIamPage(page);
    if (!iam) return;
    for (const int32_t single : iam->singles) claim(single, ClaimKind::kIamSingle, 0);
    ForEachIamExtent(*iam, [&](int64_t first) { claim(first, ClaimKind::kIamExtent, 0); });
  }
}

ClaimVerdict JudgeClaim(const PageClaim& claim, const uint8_t* other) {
  const PageRelations o = ReadPageRelations(other);
  // A page that is not at its place (zeros, leftover bytes) tells nothing of the claimant.
  if (o.version != 1 || o.pageId != claim.page) return ClaimVerdict::kSilent;
  const bool object = IsObjectPageType(o.type);
  switch (claim.kind) {
    case ClaimKind::kPrevious:
    case ClaimKind::kNext: {
      const uint32_t back = claim.kind == ClaimKind::kPrevious ? o.nextPage : o.prevPage;
      return object && o.unit == claim.unit && o.level == claim.level && back == claim.from
                 ? ClaimVerdict::kBorneOut
                 : ClaimVerdict::kBroken;
    }
    case ClaimKind::kIndexChild:
      return object && o.unit == claim.unit && o.level == claim.level ? ClaimVerdict::kBorneOut
                                                                      : ClaimVerdict::kBroken;
    case ClaimKind::kIamSingle:
      return CarriesIamUnit(o, claim.unit) ? ClaimVerdict::kBorneOut : ClaimVerdict::kBroken;
    case ClaimKind::kIamExtent:
      // A page of an extent given to a unit may not be allocated yet and still hold what an
      // earlier owner left: only its agreement speaks.
      return CarriesIamUnit(o, claim.unit) ? ClaimVerdict::kBorneOut : ClaimVerdict::kSilent;
  }
  return ClaimVerdict::kSilent;
}

}  // namespace pagerake
