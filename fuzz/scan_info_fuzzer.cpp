// Scan-info files: the input is the file. ReadScanInfoFile decodes every line and turns it into a
// fragment record; what it accepts must survive being written as a line and read again, and the
// indexes built over the table must find every record.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fragments/page_access.h"
#include "fragments/scan_info_codec.h"
#include "fragments/scan_info_file.h"
#include "fuzz/fuzz_support.h"
#include "scan/fragment_table.h"

namespace {

bool SameRecord(const pagerake::FragmentRecord& a, const pagerake::FragmentRecord& b) {
  return a.sn == b.sn && a.fsec == b.fsec && a.esec == b.esec && a.sizeKB == b.sizeKB &&
         a.beginPage == b.beginPage && a.endPage == b.endPage && a.memo == b.memo &&
         a.shown == b.shown && a.fileId == b.fileId;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pagerake;
  static fuzz::MemFile file("scaninfo");  // for the life of the process
  file.Assign(data, size);

  // The codec alone: any text without the bytes 0 and FF (the sums modulo 255 cannot tell them
  // apart; a line holds neither, its text being UTF-8) survives encoding and decoding, whatever
  // the start value.
  const std::string_view text(reinterpret_cast<const char*>(data), size < 256 ? size : 256);
  if (text.find_first_of(std::string_view("\0\xff", 2)) == std::string_view::npos) {
    const uint8_t startValue = size > 0 ? data[size - 1] : 0;
    const std::optional<std::string> back =
        DecodeLine(EncodeLine(text, kScanInfoKey, startValue), kScanInfoKey);
    if (!back || *back != text) std::abort();
  }

  FragmentTable table;
  const ScanInfoReadResult result = ReadScanInfoFile(file.path(), table);
  if (result.status != ScanInfoReadStatus::kRead) {
    if (result.status == ScanInfoReadStatus::kBadLine) (void)BadLineMessage(result);
    return 0;
  }
  for (size_t i = 0; i < table.size(); ++i) {
    const std::optional<FragmentRecord> again = ParseFragmentLine(table.Line(i));
    if (!again || !SameRecord(*again, table[i])) std::abort();
  }
  const PageOrderIndex order = BuildPageOrderIndex(table);
  if (order.size() != table.size()) std::abort();
  (void)ExpectedContentFileSize(table);
  FragmentOffsetIndex offsets;
  offsets.Build(table);
  for (const FragmentRecord& r : table) {
    if (offsets.Find(r.fsec) < 0) std::abort();
  }
  return 0;
}
