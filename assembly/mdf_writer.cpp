#include "assembly/mdf_writer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "assembly/rival_pages.h"
#include "assembly/sector_owners.h"
#include "assembly/tail_search.h"
#include "assembly/written_pages.h"
#include "database/consistency_check.h"
#include "base/io_buffer.h"
#include "fragments/fragment_extraction.h"
#include "fragments/output_guard.h"
#include "fragments/page_sink.h"
#include "page/page_content.h"
#include "page/page_header.h"

namespace pagerake {
namespace {

using PageBuffer = std::array<uint8_t, kPageSize>;

int64_t RowPages(const FragmentRow& row) { return (int64_t{row.sizeKB} + 4) / 8; }

// How many pages the evidence is kept for: the pages the rows hold and the allocation pages mark
// allocated, and a verified page 0's size. An unverified size decides no memory: the pages past
// what was found are zeros if the file is padded to it.
int64_t CheckedPages(const MdfInput& in) {
  int64_t pages = in.highestAllocated + 1;
  for (const FragmentRow& row : in.rows) {
    pages = std::max({pages, int64_t{row.endPage}, row.beginPage + RowPages(row)});
  }
  if (!in.sizeFacts || in.sizeFacts->verified) {
    pages = std::max<int64_t>(pages, in.targetFileSizePages);
  }
  return pages;
}

// The pages of the rows in page order. The last page written is held back until the next row has
// been looked at, so that the junction repair can still change it without seeking back.
class MdfAssembler {
 public:
  MdfAssembler(const MdfInput& in, PageSink& sink, Host& host, MdfWriteResult& result)
      : in_(in), sink_(sink), host_(host), result_(result) {}

  // 1. to 7. Every row, then the padding; the message that stopped it (a failed write).
  WriteStop Run() {
    const size_t n = in_.rows.size();
    for (size_t s = 0; s < n; ++s) {
      if (n >= 2) host_.SetGauge(static_cast<int>(std::lround(100.0 * s / (n - 1))));
      host_.ProcessEvents();
      if (WriteStop stop = Row(in_.rows[s])) return stop;
    }
    if (WriteStop stop = Release()) return stop;
    // The size: from page 0 as written when it verifies, else from what was found (file_size.h).
    int64_t size = in_.targetFileSizePages;
    if (in_.sizeFacts) {
      result_.size = *in_.sizeFacts;
      size = DecideFileSize(result_.size, written_.pageZero(), next_, in_.highestAllocated);
    } else {
      result_.size.pages = std::max<int64_t>(size, next_);
    }
    if (next_ < size) {
      result_.zeroPages += size - next_;
      if (WriteStop stop = Zeros(size - next_)) return stop;
    }
    return std::nullopt;
  }

  WrittenPages& written() { return written_; }

  // The check's verdict on the written file, with what it says of the rivals the analysis passed
  // over.
  ConsistencyReport Judge() {
    ConsistencyReport report = written_.Judge();
    if (rivals_) {
      for (const int64_t page : rivals_->RivalsRefuted(report)) {
        written_.Mark(page, kFactRivalRefuted);
      }
    }
    return report;
  }

 private:
  WriteStop Row(const FragmentRow& row) {
    const int64_t count = RowPages(row);
    const int64_t begin = row.beginPage;
    // Pages an earlier row already wrote stay as they are.
    const int64_t skip = std::clamp<int64_t>(next_ - begin, 0, count);
    if (skip > 0) {
      result_.overlappingPages += skip;
      host_.AddMemoLine(Memo::kAssembly, "重叠页面" + std::to_string(begin) + "-" +
                                             std::to_string(begin + skip - 1) +
                                             ",已取前面碎片的页面");
    }
    // A hole: zero pages up to this row.
    if (begin > next_) {
      follow_ = {true, row.fsec, begin - next_};
      if (WriteStop stop = Release()) return stop;
      result_.zeroPages += begin - next_;
      if (WriteStop stop = Zeros(begin - next_)) return stop;
      next_ = begin;
    }
    // A junction: the previous page may have been cut at a cluster boundary.
    if (pending_ && skip == 0 && begin == next_ && in_.sectorsPerCluster > 0 &&
        in_.sectorsPerCluster < 16) {
      follow_ = {true, row.fsec, 0};
      PageBuffer asRead;
      std::memcpy(asRead.data(), last_.data(), kPageSize);
      const bool lead = in_.pages.ReadLeadBlock(in_.source, row.fsec, lead_.data());
      if (!lead) {
        host_.Tell("read disk error ,leftpage");
      } else if (!VerifyPage(last_.data()) && Mend([this] {
                   return RepairPageTail(last_.data(), lead_.data(), in_.sectorsPerCluster);
                 }, in_.rules.checkedMends)) {
        ++result_.repairedPages;
        lastFacts_ |= kFactMendedJunction;
      } else if (in_.rules.tailSearch && lastEndsRow_ &&
                 int64_t{DecodePageHeader(last_.data()).pageId} == lastPage_ &&
                 Mend([this] {
                   return MendUnprotectedAtJunction(last_.data(), lead_.data(),
                                                    in_.sectorsPerCluster);
                 }, in_.rules.checkedMends)) {
        ++result_.tailsFound;
        lastFacts_ |= kFactMendedTail;
        host_.AddMemoLine(Memo::kAssembly, "尾部搜索修复页面" + std::to_string(lastPage_));
      }
      if (lead && in_.rules.settledTails && lastEndsRow_) {
        PageBuffer only;
        Settle(tailPlaces_.Fit(asRead.data(), lastSector_, lastRowFsec_, row.fsec, lead_.data(),
                               in_.sectorsPerCluster, only.data()),
               only);
      }
    }
    // The row's pages, in batches; the last one is held back.
    for (int64_t p = skip; p < count; p += kBatchPages) {
      const auto want = static_cast<int32_t>(std::min<int64_t>(kBatchPages, count - p));
      int32_t got = ReadPageBatch(in_.pages, in_.source, row.fsec, p, want, batch_);
      while (got < want) {  // a page that cannot be read: zeros, named in the memo
        ++result_.unreadablePages;
        result_.unreadablePageNumbers.push_back(begin + p + got);
        host_.AddMemoLine(Memo::kAssembly,
                          "read disk error,页面" + std::to_string(begin + p + got));
        const int32_t from = got + 1;
        if (from >= want) break;
        const int32_t more = ReadPageBatch(in_.pages, in_.source, row.fsec, p + from,
                                           want - from, scratch_);
        std::memcpy(batch_.data() + int64_t{from} * kPageSize, scratch_.data(),
                    static_cast<size_t>(want - from) * kPageSize);
        got = from + more;
      }
      if (WriteStop stop = Put(batch_.data(), want)) return stop;
      lastPage_ = begin + p + want - 1;
      lastSector_ = row.fsec + (p + want - 1) * int64_t{kSectorsPerPage};
      lastRowFsec_ = row.fsec;
      lastEndsRow_ = p + want == count;
    }
    result_.pagesFromFragments += count - skip;
    next_ = std::max(next_, begin + count);
    return std::nullopt;
  }

  // Appends `pages` pages, keeping the last one back.
  WriteStop Put(const uint8_t* pages, int32_t count) {
    if (count <= 0) return std::nullopt;
    if (WriteStop stop = Release()) return stop;
    if (WriteStop stop = Emit(pages, count - 1, 0)) return stop;
    std::memcpy(last_.data(), pages + int64_t{count - 1} * kPageSize, kPageSize);
    pending_ = true;
    lastFacts_ = 0;
    return std::nullopt;
  }

  WriteStop Release() {
    if (!pending_) return std::nullopt;
    pending_ = false;
    if (lastEndsRow_) {
      if (follow_.valid && follow_.gapPages > 0 && in_.rules.settledTails) SettleAcrossHole();
      SearchTail();
      if (in_.sectorsPerCluster < kSectorsPerPage) lastFacts_ |= kFactRowEnd;
    }
    follow_.valid = false;
    return Emit(last_.data(), 1, lastFacts_);
  }

  // Pages to the file, and past the evidence on their way; the pages that could not be read,
  // zeros in the batch, are marked so.
  WriteStop Emit(const uint8_t* pages, int64_t count, uint16_t lastFacts) {
    if (count <= 0) return std::nullopt;
    const int64_t first = sink_.written() / kPageSize;
    written_.Pages(first, pages, count, lastFacts);
    if (rivals_) {
      for (int64_t i = 0; i < count; ++i) {
        const uint16_t facts =
            rivals_->Judge(first + i, pages + i * kPageSize, in_.pages, in_.source);
        if (facts != 0) written_.Mark(first + i, facts);
      }
    }
    const std::vector<int64_t>& unreadable = result_.unreadablePageNumbers;
    while (unreadableSeen_ < unreadable.size() && unreadable[unreadableSeen_] < first + count) {
      written_.Mark(unreadable[unreadableSeen_++], kFactUnreadable);
    }
    return sink_.Write(pages, count * kPageSize);
  }

  WriteStop Zeros(int64_t count) {
    written_.Zeros(sink_.written() / kPageSize, count);
    return sink_.WriteZeroPages(count);
  }

  // Runs a mend of the held page. A mend that only torn bits (or nothing) vouch for is taken only
  // when `checked` is off or the mended page's records hold; otherwise the page goes back to how
  // it was read, and is named.
  template <typename MendFn>
  bool Mend(MendFn mend, bool checked) {
    PageBuffer before;
    std::memcpy(before.data(), last_.data(), kPageSize);
    if (!mend()) return false;
    if (!checked || ProtectionOf(last_.data()) == PageProtection::kChecksum ||
        RecordLayoutHolds(last_.data())) {
      return true;
    }
    std::memcpy(last_.data(), before.data(), kPageSize);
    lastFacts_ |= kFactMendRefused;
    host_.AddMemoLine(Memo::kAssembly, "页面" + std::to_string(lastPage_) +
                                           "的修复未通过一致性检查,保留原样");
    return false;
  }

  // The held page, cut where its row ends, with a hole of zero pages behind it: its tail, if it
  // was cut, lies in front of the hole's pages, which lie in front of the next row.
  void SettleAcrossHole() {
    const PageBuffer asRead = last_;
    PageBuffer only;
    Settle(tailPlaces_.FitBehindHole(in_.pages, asRead.data(), lastSector_, lastRowFsec_,
                                     follow_.fsec - follow_.gapPages * kSectorsPerPage,
                                     in_.sectorsPerCluster, only.data()),
           only);
  }

  // Takes `only`, as whole, where it alone fits of the held page's tails (`fit` 1: TailsThatFit).
  void Settle(int fit, const PageBuffer& only) {
    if (fit != 1) return;
    if (only != last_) {
      last_ = only;
      if (!(lastFacts_ & kFactMendedJunction)) ++result_.repairedPages;
      lastFacts_ = (lastFacts_ & ~kFactMendRefused) | kFactMendedJunction;
      host_.AddMemoLine(Memo::kAssembly,
                        "页面" + std::to_string(lastPage_) + "取连接处唯一相符的页尾");
    }
    lastFacts_ |= kFactTailSettled;
  }

  // Marks the sectors the scan's fragments hold as pages, and those in clusters in use, as not to
  // be looked through.
  void ForgetClaimed(int64_t first, std::vector<uint8_t>& known) {
    if (in_.usedClusters) ForgetUsedClusters(*in_.usedClusters, in_.source, first, known);
    if (!in_.fragments) return;
    if (!claimedBuilt_) {
      claimed_ = ClaimedSectorRuns(*in_.fragments);
      claimedBuilt_ = true;
    }
    pagerake::ForgetClaimed(claimed_, first, known);
  }

  // A row's last page that still fails its check: its tail may lie elsewhere near it.
  // In a saved scan the window is what the spare-sector file kept around the fragment's end; the
  // next fragment's lead block (three pieces) is the one the junction read.
  void SearchTail() {
    if (!in_.rules.tailSearch || in_.sectorsPerCluster <= 0 ||
        in_.sectorsPerCluster >= kSectorsPerPage || VerifyPage(last_.data())) {
      return;
    }
    const PageHeader h = DecodePageHeader(last_.data());
    if (h.headerVersion != 1 || int64_t{h.pageId} != lastPage_) return;
    TailWindow w = TailWindowAround(lastSector_, ReadableEnd(in_.source));
    if (w.count == 0) return;
    if (window_.size() < static_cast<size_t>(w.count) * kSectorSize) {
      window_ = IoBuffer(static_cast<size_t>(w.count) * kSectorSize, IoBuffer::kUninitialized);
    }
    if (!in_.pages.ReadTailWindow(in_.source, w.first, w.count, window_.data(), known_)) return;
    ForgetClaimed(w.first, known_);
    w.data = window_.data();
    w.known = known_.data();
    // The sectors in front of the next row's fragment.
    NextFragment next{follow_.fsec, follow_.gapPages, {}};
    next.front.first = std::max<int64_t>(0, follow_.fsec - kHoleReachSectors);
    next.front.count = static_cast<int32_t>(follow_.fsec - next.front.first);
    const bool withNext =
        follow_.valid && next.front.count > 0 &&
        in_.pages.ReadTailWindow(in_.source, next.front.first, next.front.count, front_.data(),
                                 frontKnown_);
    if (withNext) {
      ForgetClaimed(next.front.first, frontKnown_);
      next.front.data = front_.data();
      next.front.known = frontKnown_.data();
    }
    if (Mend([&] {
          return SearchPageTail(last_.data(), w, lastSector_, in_.sectorsPerCluster,
                                in_.pages.ClusterBase(in_.source), withNext ? &next : nullptr);
        }, in_.rules.checkedMends)) {
      ++result_.tailsFound;
      lastFacts_ |= kFactMendedTail;
      host_.AddMemoLine(Memo::kAssembly, "尾部搜索修复页面" + std::to_string(lastPage_));
    }
  }

  const MdfInput& in_;
  PageSink& sink_;
  Host& host_;
  MdfWriteResult& result_;
  int64_t next_ = 0;  // the page number the next page written has
  PageBuffer last_{};
  bool pending_ = false;
  uint16_t lastFacts_ = 0;     // what the held page's mends did
  WrittenPages written_{CheckedPages(in_)};
  std::unique_ptr<RivalPages> rivals_ =
      in_.choices && !in_.choices->empty()
          ? std::make_unique<RivalPages>(*in_.choices, in_.fragments, CheckedPages(in_))
          : nullptr;
  size_t unreadableSeen_ = 0;  // of the unreadable pages, those marked in the evidence
  int64_t lastPage_ = -1;      // the held-back page's number
  int64_t lastSector_ = 0;     // and the sector it was read from
  int64_t lastRowFsec_ = -1;   // and where its row's fragment starts
  TailPlaces tailPlaces_{in_.fragments, in_.usedClusters, in_.source};
  bool lastEndsRow_ = false;   // it is its row's last page
  std::array<uint8_t, kLeadBlockBytes> lead_{};
  // The row after the held page, once it is known (a junction or a hole in front of it).
  struct Follow {
    bool valid = false;
    int64_t fsec = 0;
    int64_t gapPages = 0;
  } follow_;
  IoBuffer window_;  // the tail search's window, made when first needed
  std::vector<uint8_t> known_;
  IoBuffer front_{static_cast<size_t>(kHoleReachSectors) * kSectorSize, IoBuffer::kUninitialized};
  std::vector<uint8_t> frontKnown_;
  std::vector<SectorRun> claimed_;  // the fragments' pages, made when first needed
  bool claimedBuilt_ = false;
  IoBuffer batch_{static_cast<size_t>(kBatchPages) * kPageSize, IoBuffer::kUninitialized};
  IoBuffer scratch_{static_cast<size_t>(kBatchPages) * kPageSize, IoBuffer::kUninitialized};
};

}  // namespace

std::string ProposedMdfName(const std::string& targetFileName) {
  const size_t slash = targetFileName.rfind('\\');
  return slash == std::string::npos ? targetFileName : targetFileName.substr(slash + 1);
}

MdfWriteResult WriteMdfTo(const MdfInput& in, const std::string& path, Host& host) {
  MdfWriteResult result;
  if (in.rows.empty() || (in.rows.front().beginPage != 0 && !in.headless)) return result;
  if (const auto refusal = OutputRefusal(path, in.source, in.pages)) {
    host.Tell(*refusal, MessageIcon::kError);
    return result;
  }
  PageSink sink(path);
  if (!sink.Create()) {
    host.Tell("error,无法创建文件");
    return result;
  }
  sink.HashWritten();
  MdfAssembler assembler(in, sink, host, result);
  WriteStop stop = assembler.Run();
  WriteStop closed = sink.Close();
  result.sha256 = sink.Digest();
  // The evidence for every page, from what went out: the file is not read again.
  result.check = assembler.Judge();
  result.facts = assembler.written().facts();
  if (!stop) stop = std::move(closed);
  if (stop) {
    host.Tell(*stop, MessageIcon::kError);
    return result;
  }
  if (result.unreadablePages > 0) {
    host.Tell("read disk error,共" + std::to_string(result.unreadablePages) +
                  "页无法读取,已写入零页(见日志)",
              MessageIcon::kWarning);
  }
  result.written = true;
  result.path = path;
  host.AddMemoLine(Memo::kAssembly, "组合完毕");
  return result;
}

MdfWriteResult CreateMdf(const MdfInput& in, const std::string& targetFileName, Host& host) {
  host.ClearMemo(Memo::kAssembly);
  if (in.rows.empty() || in.rows.front().beginPage != 0) return {};
  const auto path = host.ChooseSaveFile(
      {"保存MDF文件,请注意别保存到原数据所在盘，防止覆盖", ProposedMdfName(targetFileName), ""});
  if (!path) return {};
  return WriteMdfTo(in, *path, host);
}

}  // namespace pagerake
