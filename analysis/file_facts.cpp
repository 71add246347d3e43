#include "analysis/file_facts.h"

#include <algorithm>
#include <array>
#include <string>

#include "analysis/page_zero.h"
#include "page/page_content.h"
#include "page/page_header.h"

namespace pagerake {
namespace {

constexpr int32_t kNamePage = 32;

void Mess(Host& host, const std::string& text) {
  host.ShowMessage(text, "mess", MessageIcon::kInformation, MessageButtons::kOk);
}

}  // namespace

// Steps 3 and 4: the file's size from page 0 (false when there is none) and its name from page 32.
bool ReadFileFacts(const AnalysisInput& in, AnalysisResults& results) {
  PageMapReader& r = in.reader;
  std::array<uint8_t, kPageSize> page{};
  if (!r.pages.ReadFragmentSectors(r.source, in.startSector, 0, kSectorsPerPage, page.data())) {
    Mess(r.host, "read disk error");
    return false;
  }
  // The size only as far as page 0 can be trusted (file_size.h).
  const int16_t fileId = FileIdOfStart(in);
  const std::optional<int64_t> size = SettlePageZero(page.data(), r, in.table, in.order,
                                                     results.firstFragmentPages, fileId,
                                                     results.sizeFacts);
  if (!size) {
    Mess(r.host, "get fileinfo1 error");
    return false;
  }
  results.targetFileSizePages = static_cast<int32_t>(*size);
  if (results.sizeFacts.mended) {
    r.host.AddMemoLine(Memo::kAnalysis, "0页在接缝处修复后通过校验");
  } else if (!results.sizeFacts.verified) {
    r.host.AddMemoLine(Memo::kAnalysis,
                       "0页未通过校验,其记录的大小" +
                           std::to_string(results.sizeFacts.recordedPages.value_or(0)) +
                           "页暂不采信,按找到的页面计" + std::to_string(*size) + "页");
  }
  results.targetFileName = kNoFileName;
  results.lsnBound.reset();
  if (in.rules.lsnBound && results.firstFragmentPages > kBootPage &&
      r.pages.ReadFragmentSectors(r.source, in.startSector, int64_t{kBootPage} * kSectorsPerPage,
                                  kSectorsPerPage, page.data())) {
    results.lsnBound = LsnBoundOfBootPage(page.data());
  }
  if (results.firstFragmentPages <= kNamePage) return true;
  if (!r.pages.ReadFragmentSectors(r.source, in.startSector, int64_t{kNamePage} * kSectorsPerPage,
                                   kSectorsPerPage, page.data())) {
    r.host.Tell("read disk error");
    return true;
  }
  RestoreTornBits(page.data());
  if (const std::optional<std::string> name = ReadRecordedFileName(page.data())) {
    results.targetFileName = *name;
  } else {
    r.host.Tell("get fileinfo2 error");
  }
  return true;
}

bool ReadHeadlessFacts(const AnalysisInput& in, int32_t begin, AnalysisResults& results) {
  PageMapReader& r = in.reader;
  const int16_t fileId = FileIdOfStart(in);
  FileSizeFacts& facts = results.sizeFacts;
  facts = {};
  facts.sourcePages = ReadableEnd(r.source) / kSectorsPerPage;
  facts.source = SizeSource::kRecoveredPages;
  for (const PageOrderEntry& e : in.order) {
    if (e.fileId == fileId) facts.seenEnd = std::max<int64_t>(facts.seenEnd, e.endPage);
  }
  facts.pages = ProvisionalFileSize(facts);
  results.targetFileSizePages = static_cast<int32_t>(facts.pages);
  results.targetFileName = kNoFileName;
  results.lsnBound.reset();
  r.host.AddMemoLine(Memo::kAnalysis, "无文件头数据库,从页面" + std::to_string(begin) +
                                          "开始,按找到的页面计" + std::to_string(facts.pages) +
                                          "页");
  std::array<uint8_t, kPageSize> page{};
  const int64_t at = kNamePage - begin;
  if (at >= 0 && at < results.firstFragmentPages &&
      r.pages.ReadFragmentSectors(r.source, in.startSector, at * kSectorsPerPage,
                                  kSectorsPerPage, page.data())) {
    RestoreTornBits(page.data());
    if (const std::optional<std::string> name = ReadRecordedFileName(page.data())) {
      results.targetFileName = *name;
    }
  }
  return true;
}

}  // namespace pagerake
