#include "fragments/scan_info_file.h"

#include <algorithm>
#include <cstdint>
#include <fstream>

#include "fragments/content_file_writer.h"
#include "fragments/fragment_filter.h"
#include "fragments/option_text.h"
#include "fragments/output_guard.h"
#include "fragments/scan_info_codec.h"
#include "fragments/staged_file.h"
#include "page/page_header.h"
#include "source/utf8_path.h"

namespace pagerake {
namespace {

constexpr int16_t kDefaultSectorsPerCluster = 8;
constexpr uint32_t kMaxContentKey = 2147483646;

constexpr char kNotARecord[] = "不是碎片记录(应为9个以“|”结尾的字段)";
constexpr char kOutOfRange[] = "数字不能描述碎片(页数或扇区超出范围)";

// Whether a record's numbers can describe a fragment on a source: a start sector and size that
// are not negative, its sectors (fsec + 16 × pages) within 64 bits and its pages (beginPage +
// pages) within 32 bits. Every line a scan writes passes; a damaged line that fails would make
// later page and sector arithmetic overflow.
bool DescribesAFragment(const FragmentRecord& r) {
  if (r.sizeKB < 0 || r.fsec < 0) return false;
  const int64_t pages = r.Pages();
  return r.fsec <= INT64_MAX - pages * kSectorsPerPage &&
         int64_t{r.beginPage} + pages <= INT32_MAX;
}

// A fragment record from a decoded line: exactly nine "|"-terminated fields, numbers where
// numbers belong, numbers that describe a fragment. Nothing, with the reason, otherwise.
std::optional<FragmentRecord> RecordFromLine(std::string_view line, std::string& reason) {
  reason = kNotARecord;
  if (line.empty() || line.back() != '|' ||
      std::count(line.begin(), line.end(), '|') != fragment_field::kCount) {
    return std::nullopt;
  }
  std::optional<FragmentRecord> r = ParseFragmentLine(line);
  if (!r) return std::nullopt;
  if (!DescribesAFragment(*r)) {
    reason = kOutOfRange;
    return std::nullopt;
  }
  r->shown = TrimSpaces(GetField(line, fragment_field::kShown)) != "N";
  return r;
}

const char* FaultReason(LineFault fault) {
  switch (fault) {
    case LineFault::kEmpty: return "空行";
    case LineFault::kOddLength: return "长度为奇数";
    case LineFault::kNotHex: return "含有非十六进制字符";
    case LineFault::kNone: break;
  }
  return "";
}

}  // namespace

bool WriteScanInfoFile(const std::string& path, const FragmentTable& table, RandomSource& random) {
  StagedFile staged(path);
  if (!staged.Begin()) return false;
  std::ofstream out(Utf8Path(staged.writePath()), std::ios::binary | std::ios::trunc);
  if (!out) return false;
  std::string block;
  for (size_t i = 0; i < table.size(); ++i) {
    const auto start = static_cast<uint8_t>(random.Uniform(255));
    block += EncodeLine(table.Line(i), kScanInfoKey, start);
    block += "\r\n";
    if (block.size() >= (1u << 20)) {
      if (!out.write(block.data(), static_cast<std::streamsize>(block.size()))) return false;
      block.clear();
    }
  }
  out.write(block.data(), static_cast<std::streamsize>(block.size()));
  out.close();
  return out && staged.Commit();
}

ScanInfoReadResult ReadScanInfoFile(const std::string& path, FragmentTable& table) {
  ScanInfoReadResult result;
  std::ifstream in(Utf8Path(path), std::ios::binary);
  if (!in) return result;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0) return result;
  std::string text(static_cast<size_t>(size), '\0');
  in.seekg(0);
  if (!in.read(text.data(), size)) return result;

  FragmentTable loaded;
  loaded.Reserve(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
  size_t lineNo = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    const size_t next = end == std::string::npos ? text.size() : end + 1;
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++lineNo;
    start = next;

    LineFault fault = LineFault::kNone;
    const std::optional<std::string> decoded = DecodeLine(line, kScanInfoKey, &fault);
    std::optional<FragmentRecord> record;
    std::string reason;
    if (decoded) record = RecordFromLine(*decoded, reason);
    if (!record) {
      result.status = ScanInfoReadStatus::kBadLine;
      result.badLine = lineNo;
      result.badReason = decoded ? reason : FaultReason(fault);
      return result;
    }
    loaded.Append(std::move(*record));
  }
  table.Swap(loaded);
  result.status = ScanInfoReadStatus::kRead;
  return result;
}

std::string BadLineMessage(const ScanInfoReadResult& result) {
  return "error,扫描信息文件第" + std::to_string(result.badLine) + "行无法解码:" +
         result.badReason;
}

namespace {

// Writes the scan-info file to `path`; false after telling why not.
bool SaveInfoPart(const std::string& path, const FragmentTable& table, const DataSource& source,
                  const PageAccess& pages, RandomSource& random, Host& host) {
  if (const auto refusal = OutputRefusal(path, source, pages)) {
    host.Tell(*refusal, MessageIcon::kError);
    return false;
  }
  if (!WriteScanInfoFile(path, table, random)) {
    host.Tell("error,无法创建文件", MessageIcon::kError);
    return false;
  }
  return true;
}

// Writes the content file to `path` and tells "success"; false after telling why not.
bool SaveContentPart(const std::string& path, const FragmentTable& table,
                     const DataSource& source, const PageAccess& pages, int16_t sectorsPerCluster,
                     RandomSource& random, Host& host, FreeSpaceBitmap* usedClusters) {
  auto fail = [&host](const std::string& message) {
    host.Tell(message, MessageIcon::kError);
    return false;
  };
  if (const auto refusal = OutputRefusal(path, source, pages)) return fail(*refusal);
  // Each file is written under a temporary name and takes its own once it is whole.
  StagedFile content(path);
  if (!content.Begin()) return fail("error,无法创建文件");
  std::ofstream out(Utf8Path(content.writePath()), std::ios::binary | std::ios::trunc);
  if (!out) return fail("error,无法创建文件");
  const uint32_t key = random.Uniform(kMaxContentKey);
  std::vector<size_t> splitEnds;
  switch (WriteFragmentContent(out, table, source, key, sectorsPerCluster, host, &splitEnds)) {
    case ContentWriteStatus::kReadFailed:
      // What was read up to the sector that failed is kept, without trailer, as before.
      out.close();
      if (out) (void)content.Commit();
      return fail("read disk error");
    case ContentWriteStatus::kWriteFailed: return fail("error,写入文件失败:" + path);
    case ContentWriteStatus::kDone: break;
  }
  out.close();
  if (!out) return fail("error,写入文件失败:" + path);
  if (!content.Commit()) return fail(content.CommitFailureMessage());
  // Where clusters are smaller than a page, the sectors around split last pages go beside it, so
  // that their tails can still be looked for once the medium is gone.
  if (sectorsPerCluster > 0 && sectorsPerCluster < kSectorsPerPage && !splitEnds.empty()) {
    const std::string sparePath = SpareSectorsPath(path);
    if (const auto refusal = OutputRefusal(sparePath, source, pages)) return fail(*refusal);
    StagedFile staged(sparePath);
    if (!staged.Begin()) return fail("error,写入文件失败:" + sparePath);
    std::ofstream spare(Utf8Path(staged.writePath()), std::ios::binary | std::ios::trunc);
    if (!spare ||
        WriteSpareSectors(spare, SpareSectorRuns(table, splitEnds, ReadableEnd(source)), source,
                          key, ExpectedContentFileSize(table), source.dataStart, host,
                          usedClusters) != SpareWriteStatus::kDone) {
      return fail("error,写入文件失败:" + sparePath);
    }
    spare.close();
    if (!spare) return fail("error,写入文件失败:" + sparePath);
    if (!staged.Commit()) return fail(staged.CommitFailureMessage());
  }
  host.Tell("success");
  return true;
}

// Loads the scan-info file at `path` into the state (table, list, sectors per cluster); false
// after telling why not, with the state as it was.
bool LoadInfoPart(const ScanInfoState& state, const std::string& path, Host& host) {
  const ScanInfoReadResult read = ReadScanInfoFile(path, state.table);
  if (read.status != ScanInfoReadStatus::kRead) {
    host.Tell(read.status == ScanInfoReadStatus::kBadLine ? BadLineMessage(read)
                                                          : "error,无法打开文件",
              MessageIcon::kError);
    return false;
  }
  RefreshFragmentList(state.table, state.list);
  const std::optional<int32_t> spc = ParseInt32Text(state.sectorsPerClusterText);
  state.sectorsPerCluster = (spc && *spc >= INT16_MIN && *spc <= INT16_MAX)
                                ? static_cast<int16_t>(*spc)
                                : kDefaultSectorsPerCluster;
  return true;
}

// Opens the content file at `path` for page access; false after telling why not.
bool OpenContentPart(const ScanInfoState& state, const std::string& path, Host& host) {
  const ContentOpenResult opened = state.pages.OpenContentFile(path, state.table);
  switch (opened.status) {
    case ContentOpenStatus::kCannotOpen:
      host.Tell("error,无法打开文件", MessageIcon::kError);
      return false;
    case ContentOpenStatus::kSizeMismatch:
      host.Tell("error,碎片内容文件与扫描信息不符:应为" + std::to_string(opened.expectedSize) +
                    "字节,实际为" + std::to_string(opened.actualSize) + "字节",
                MessageIcon::kError);
      return false;
    case ContentOpenStatus::kOpened: break;
  }
  if (opened.spare == SpareOpenStatus::kMismatch) {
    host.Tell("尾部扇区文件与碎片内容文件不符,已忽略(尾部搜索不可用):" + SpareSectorsPath(path),
              MessageIcon::kWarning);
  }
  if (TrimSpaces(state.sectorsPerClusterText).empty()) {
    state.sectorsPerCluster = opened.sectorsPerCluster;
    state.sectorsPerClusterText = std::to_string(opened.sectorsPerCluster);
  }
  return true;
}

}  // namespace

SaveScanInfoResult SaveScanInfo(const FragmentTable& table, const DataSource& source,
                                const PageAccess& pages, int16_t sectorsPerCluster,
                                RandomSource& random, Host& host,
                                FreeSpaceBitmap* usedClusters) {
  SaveScanInfoResult result;
  // 1. The scan-info file.
  if (const auto path = host.ChooseSaveFile(
          {"保存扫描信息,请注意别保存到原数据所在盘，防止覆盖", "", ""})) {
    result.infoSaved = SaveInfoPart(*path, table, source, pages, random, host);
    result.failed = !result.infoSaved;
    if (result.failed) return result;
  }
  // 2. The content file, if wanted.
  if (host.ShowMessage("已经保存了扫描信息。是否需要保存所有碎片的内容", "保存碎片内容",
                       MessageIcon::kQuestion, MessageButtons::kYesNo) != MessageResult::kYes) {
    return result;
  }
  const auto path = host.ChooseSaveFile(
      {"保存所有碎片的内容,请注意别保存到原数据所在盘，防止覆盖", "spcontent", ""});
  if (!path) return result;
  result.contentSaved =
      SaveContentPart(*path, table, source, pages, sectorsPerCluster, random, host, usedClusters);
  result.failed = !result.contentSaved;
  return result;
}

SaveScanInfoResult SaveScanInfoFiles(const std::optional<std::string>& infoPath,
                                     const std::optional<std::string>& contentPath,
                                     const FragmentTable& table, const DataSource& source,
                                     const PageAccess& pages, int16_t sectorsPerCluster,
                                     RandomSource& random, Host& host,
                                     FreeSpaceBitmap* usedClusters) {
  SaveScanInfoResult result;
  if (infoPath) {
    result.infoSaved = SaveInfoPart(*infoPath, table, source, pages, random, host);
    result.failed = !result.infoSaved;
    if (result.failed) return result;
  }
  if (contentPath) {
    result.contentSaved =
        SaveContentPart(*contentPath, table, source, pages, sectorsPerCluster, random, host,
                        usedClusters);
    result.failed = !result.contentSaved;
  }
  return result;
}

OpenScanInfoResult OpenScanInfo(const ScanInfoState& state, Host& host) {
  OpenScanInfoResult result;
  // 1. The scan-info file: decoded whole into a new table before anything changes.
  if (const auto path = host.ChooseOpenFile({"", "", ""})) {
    result.tableLoaded = LoadInfoPart(state, *path, host);
    result.failed = !result.tableLoaded;
    if (result.failed) return result;
  }
  // 2. The page-order index, also when no file was chosen.
  state.pageOrder = BuildPageOrderIndex(state.table);
  // 3. The content file, if wanted.
  if (host.ShowMessage("已经打开了扫描信息。是否需要打开所有碎片的内容文件", "打开碎片内容",
                       MessageIcon::kQuestion, MessageButtons::kYesNo) != MessageResult::kYes) {
    return result;
  }
  const auto path = host.ChooseOpenFile({"", "", ""});
  if (!path) return result;
  result.contentOpened = OpenContentPart(state, *path, host);
  result.failed = !result.contentOpened;
  return result;
}

OpenScanInfoResult OpenScanInfoFiles(const ScanInfoState& state,
                                     const std::optional<std::string>& infoPath,
                                     const std::optional<std::string>& contentPath, Host& host) {
  OpenScanInfoResult result;
  if (infoPath) {
    result.tableLoaded = LoadInfoPart(state, *infoPath, host);
    result.failed = !result.tableLoaded;
    if (result.failed) return result;
  }
  state.pageOrder = BuildPageOrderIndex(state.table);
  if (contentPath) {
    result.contentOpened = OpenContentPart(state, *contentPath, host);
    result.failed = !result.contentOpened;
  }
  return result;
}

}  // namespace pagerake
