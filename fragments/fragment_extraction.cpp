#include "fragments/fragment_extraction.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "base/io_buffer.h"
#include "fragments/output_guard.h"
#include "fragments/page_sink.h"
#include "page/page_content.h"
#include "page/page_header.h"
#include "source/utf8_path.h"

namespace pagerake {
namespace {

using PageBuffer = std::array<uint8_t, kPageSize>;

// Pages in a row: sizeKB / 8 rounded to the nearest integer (in 64 bits: sizeKB may be INT32_MAX).
int64_t RowPages(const FragmentRow& row) { return (int64_t{row.sizeKB} + 4) / 8; }

// Writes the `got` pages that a short batch delivered, then stops.
WriteStop ShortBatch(PageSink& sink, const IoBuffer& batch, int32_t got) {
  if (WriteStop s = sink.Write(batch.data(), int64_t{got} * kPageSize)) return s;
  return "read disk error";
}

// The ticked rows of the list, in list order.
std::vector<const FragmentRow*> TickedRows(const FragmentListModel& list) {
  std::vector<const FragmentRow*> ticked;
  for (const FragmentRow& row : list.rows) {
    if (row.checked) ticked.push_back(&row);
  }
  return ticked;
}

// The combined file. The last page of each fragment is held back until the next fragment has
// been looked at, so that the tail repair can still change it without seeking back.
WriteStop WriteCombined(const std::vector<const FragmentRow*>& ticked, PageAccess& pages,
                   const DataSource& source, int16_t sectorsPerCluster, PageSink& sink) {
  IoBuffer batch(static_cast<size_t>(kBatchPages) * kPageSize, IoBuffer::kUninitialized);
  PageBuffer lastPage{};
  bool lastPending = false;
  std::vector<uint8_t> lead(kLeadBlockBytes);
  auto flush = [&]() -> WriteStop {
    if (!lastPending) return std::nullopt;
    lastPending = false;
    return sink.Write(lastPage.data(), kPageSize);
  };
  int64_t lastEnd = 0;
  for (size_t k = 0; k < ticked.size(); ++k) {
    const FragmentRow& row = *ticked[k];
    // 1. Zero pages for the page numbers missing since the previous fragment.
    if (k > 0 && row.beginPage > lastEnd) {
      if (WriteStop s = flush()) return s;
      if (WriteStop s = sink.WriteZeroPages(row.beginPage - lastEnd)) return s;
    }
    // 2. The tail repair, when this fragment begins where the previous one ended.
    if (k > 0 && lastPending && sectorsPerCluster > 0 && sectorsPerCluster < 16 &&
        row.beginPage == lastEnd) {
      if (!pages.ReadLeadBlock(source, row.fsec, lead.data())) {
        flush();
        return "read disk error";
      }
      RepairPageTail(lastPage.data(), lead.data(), sectorsPerCluster);
    }
    if (WriteStop s = flush()) return s;
    // 3. The fragment's pages, read in batches; its last page is held back.
    const int64_t count = RowPages(row);
    for (int64_t p = 0; p < count; p += kBatchPages) {
      const auto n = static_cast<int32_t>(std::min<int64_t>(kBatchPages, count - p));
      const int32_t got = ReadPageBatch(pages, source, row.fsec, p, n, batch);
      if (got < n) return ShortBatch(sink, batch, got);
      const bool last = p + n == count;
      if (WriteStop s = sink.Write(batch.data(), int64_t{last ? n - 1 : n} * kPageSize)) return s;
      if (last) {
        std::memcpy(lastPage.data(), batch.data() + int64_t{n - 1} * kPageSize, kPageSize);
        lastPending = true;
      }
    }
    lastEnd = row.endPage;
  }
  return flush();
}

// One fragment into its own file.
WriteStop WriteFragmentFile(const FragmentRow& row, PageAccess& pages, const DataSource& source,
                       PageSink& sink) {
  IoBuffer batch(static_cast<size_t>(kBatchPages) * kPageSize, IoBuffer::kUninitialized);
  const int64_t count = RowPages(row);
  for (int64_t p = 0; p < count; p += kBatchPages) {
    const auto n = static_cast<int32_t>(std::min<int64_t>(kBatchPages, count - p));
    const int32_t got = ReadPageBatch(pages, source, row.fsec, p, n, batch);
    if (got < n) return ShortBatch(sink, batch, got);
    if (WriteStop s = sink.Write(batch.data(), int64_t{n} * kPageSize)) return s;
  }
  return std::nullopt;
}

// The first ticked row that begins before the end page of the ticked row before it.
std::optional<int32_t> FirstOutOfOrder(const std::vector<const FragmentRow*>& ticked) {
  for (size_t k = 1; k < ticked.size(); ++k) {
    if (ticked[k]->beginPage < ticked[k - 1]->endPage) return ticked[k]->beginPage;
  }
  return std::nullopt;
}

// Shows `message` as an error and marks the result failed.
ExtractionResult Failed(Host& host, const std::string& message) {
  host.Tell(message, MessageIcon::kError);
  ExtractionResult result;
  result.failed = true;
  return result;
}

// The combined file once its name is known: refusal, creation, pages, "保存完毕".
ExtractionResult WriteCombinedFile(const std::vector<const FragmentRow*>& ticked,
                                   PageAccess& pages, const DataSource& source,
                                   int16_t sectorsPerCluster, const std::string& path,
                                   Host& host) {
  if (const auto refusal = OutputRefusal(path, source, pages)) return Failed(host, *refusal);
  PageSink sink(path);
  if (!sink.Create()) return Failed(host, "error,无法创建文件");
  WriteStop stop = WriteCombined(ticked, pages, source, sectorsPerCluster, sink);
  // Pages before one that cannot be read are kept, as they were written; a failed write keeps
  // nothing.
  WriteStop closed = sink.Close();
  if (!stop) stop = std::move(closed);
  if (stop) return Failed(host, *stop);
  host.Tell("保存完毕");
  return {false, 1};
}

std::optional<std::string> OrderMessage(const std::vector<const FragmentRow*>& ticked) {
  if (const auto page = FirstOutOfOrder(ticked)) {
    return "error,pageid not connectted:" + std::to_string(*page);
  }
  return std::nullopt;
}

}  // namespace

ExtractionResult ExtractCombinedTo(const FragmentListModel& list, PageAccess& pages,
                                   const DataSource& source, int16_t sectorsPerCluster,
                                   bool checkOrder, const std::string& path, Host& host) {
  const std::vector<const FragmentRow*> ticked = TickedRows(list);
  if (checkOrder) {
    if (const auto message = OrderMessage(ticked)) return Failed(host, *message);
  }
  return WriteCombinedFile(ticked, pages, source, sectorsPerCluster, path, host);
}

ExtractionResult ExtractSeparateTo(const FragmentListModel& list, PageAccess& pages,
                                   const DataSource& source, const std::string& folder,
                                   Host& host) {
  ExtractionResult result;
  for (const FragmentRow* row : TickedRows(list)) {
    const std::string path = PathUtf8(Utf8Path(folder) / (std::to_string(row->fsec) + ".hex"));
    if (const auto refusal = OutputRefusal(path, source, pages)) return Failed(host, *refusal);
    PageSink sink(path);
    if (!sink.Create()) return Failed(host, "error,无法创建文件" + path);
    WriteStop stop = WriteFragmentFile(*row, pages, source, sink);
    WriteStop closed = sink.Close();
    if (!stop) stop = std::move(closed);
    if (stop) return Failed(host, *stop);
    ++result.filesWritten;
  }
  host.Tell("保存完毕");
  return result;
}

bool RepairPageTail(uint8_t* lastPage, const uint8_t* lead, int16_t sectorsPerCluster) {
  if (sectorsPerCluster <= 0) return false;
  // The 15 sectors in front of the next fragment end where a full page ending there would end.
  PageBuffer image{};
  std::memcpy(image.data() + kPageSize - kLeadBlockBytes, lead, kLeadBlockBytes);
  PageBuffer original;
  std::memcpy(original.data(), lastPage, kPageSize);
  const int variants = static_cast<int>(std::lround(16.0 / sectorsPerCluster));
  const int clusterBytes = sectorsPerCluster * kSectorSize;
  for (int j = 0; j < variants; ++j) {
    const int from = std::max(kPageSize - j * clusterBytes, kPageSize - kLeadBlockBytes);
    std::memcpy(lastPage + from, image.data() + from, kPageSize - from);
    if (VerifyPage(lastPage)) return true;
  }
  std::memcpy(lastPage, original.data(), kPageSize);
  return false;
}

ExtractionResult ExtractCheckedFragments(const FragmentListModel& list, PageAccess& pages,
                                         const DataSource& source, int16_t sectorsPerCluster,
                                         Host& host) {
  const auto ask = [&host](const char* question) {
    return host.ShowMessage(question, "数据文件类型选择", MessageIcon::kQuestion,
                            MessageButtons::kYesNo) == MessageResult::kYes;
  };
  if (ask("组合保存成一个文件选是，保存为多个文件选否")) {
    // Combined: the order check comes before the file is chosen.
    const std::vector<const FragmentRow*> ticked = TickedRows(list);
    if (ask("判断页号重复选是，不判断则选否")) {
      if (const auto message = OrderMessage(ticked)) return Failed(host, *message);
    }
    const auto path = host.ChooseSaveFile({"组合文件", "noname", ""});
    if (!path) return {};
    return WriteCombinedFile(ticked, pages, source, sectorsPerCluster, *path, host);
  }
  const auto folder = host.ChooseFolder("保存目录");
  if (!folder) return {};
  return ExtractSeparateTo(list, pages, source, *folder, host);
}

}  // namespace pagerake
