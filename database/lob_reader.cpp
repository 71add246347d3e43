#include "database/lob_reader.h"

#include "page/byte_order.h"

namespace pagerake {
namespace {

constexpr int kMaxDepth = 8;
constexpr int64_t kMaxVisits = 1 << 20;
// A value is not built past this many bytes (the types hold at most 2 GiB; a pointer chain
// claiming more than this in one value is read as damaged rather than trusted with memory).
constexpr uint64_t kMaxValueBytes = uint64_t{256} << 20;

constexpr uint16_t kSmallRoot = 0;
constexpr uint16_t kInternal = 2;
constexpr uint16_t kData = 3;
constexpr uint16_t kRootOld = 4;
constexpr uint16_t kRoot = 5;
constexpr uint8_t kRowOverflowPointer = 2;
constexpr uint8_t kInlineRoot = 4;
constexpr size_t kTextPointerBytes = 16;
constexpr size_t kPointerHeader = 12;
constexpr size_t kLinkBytes = 12;
constexpr size_t kInternalLinkBytes = 16;

std::string RowText(const RowId& row) {
  return "page " + std::to_string(row.page) + " slot " + std::to_string(row.slot);
}

}  // namespace

bool LobReader::Fragment(const RowId& row, std::vector<uint8_t>& fragment, std::string& why) {
  if (++visits_ > kMaxVisits) {
    why = "the value's fragments link to each other without end";
    return false;
  }
  if (row.file != 1) {
    why = "a fragment of the value lies in another file (file " + std::to_string(row.file) + ")";
    return false;
  }
  if (pageNumber_ != row.page) {
    pageNumber_ = row.page;
    pageHeld_ = FetchPage(lookup_, row.page, page_);
  }
  if (!pageHeld_) {
    why = "the value's fragment at " + RowText(row) + " is on a missing page";
    return false;
  }
  const std::optional<std::span<const uint8_t>> bytes = SlotBytes(page_.data(), row.slot);
  if (!bytes || bytes->size() < 14 || static_cast<RecordKind>(((*bytes)[0] >> 1) & 7) !=
                                           RecordKind::kBlobFragment) {
    why = "no fragment of the value at " + RowText(row);
    return false;
  }
  const size_t length = LoadLe16(bytes->data() + 2);
  if (length < 14 || length > bytes->size()) {
    why = "the fragment at " + RowText(row) + " runs past its page";
    return false;
  }
  fragment.assign(bytes->begin(), bytes->begin() + static_cast<std::ptrdiff_t>(length));
  return true;
}

bool LobReader::AppendLinks(const std::vector<Link>& links, int depth, std::vector<uint8_t>& out,
                            std::string& why) {
  const size_t base = out.size();
  for (const Link& link : links) {
    if (link.end > kMaxValueBytes || link.end < out.size() - base) {
      why = "the value's links give lengths that do not add up";
      return false;
    }
    if (!Append(link.row, link.end - (out.size() - base), depth + 1, out, why)) return false;
    if (out.size() - base != link.end) {
      why = "the fragment at " + RowText(link.row) + " does not hold the length its link gives";
      return false;
    }
  }
  return true;
}

bool LobReader::Append(const RowId& row, uint64_t limit, int depth, std::vector<uint8_t>& out,
                       std::string& why) {
  if (depth > kMaxDepth) {
    why = "the value's tree of fragments is deeper than any the server builds";
    return false;
  }
  std::vector<uint8_t> f;
  if (!Fragment(row, f, why)) return false;
  const uint16_t type = LoadLe16(f.data() + 12);
  auto appendData = [&](size_t from, size_t count) {
    count = std::min<uint64_t>(count, limit);
    out.insert(out.end(), f.begin() + static_cast<std::ptrdiff_t>(from),
               f.begin() + static_cast<std::ptrdiff_t>(from + count));
    return true;
  };
  std::vector<Link> links;
  switch (type) {
    case kData:
      return appendData(14, f.size() - 14);
    case kSmallRoot: {
      if (f.size() < 20) break;
      const size_t length = LoadLe16(f.data() + 14);
      if (20 + length > f.size()) break;
      return appendData(20, length);
    }
    case kInternal:
    case kRootOld:
    case kRoot: {
      if (f.size() < 20) break;
      const size_t count = LoadLe16(f.data() + 16);
      const size_t first = type == kInternal ? 20 : 24;
      const size_t stride = type == kInternal ? kInternalLinkBytes : kLinkBytes;
      if (first + count * stride > f.size()) break;
      for (size_t i = 0; i < count; ++i) {
        const uint8_t* l = f.data() + first + i * stride;
        const uint64_t end = stride == kLinkBytes ? LoadLe32(l) : LoadLe64(l);
        links.push_back({end, ReadRowId(l + stride - 8)});
      }
      return AppendLinks(links, depth, out, why);
    }
    default:
      why = "the fragment at " + RowText(row) + " is of a kind not read (" +
            std::to_string(type) + ")";
      return false;
  }
  why = "the fragment at " + RowText(row) + " is cut short";
  return false;
}

std::optional<std::vector<uint8_t>> LobReader::Read(std::span<const uint8_t> pointer,
                                                    bool textPointer, std::string& why) {
  visits_ = 0;
  std::vector<uint8_t> out;
  if (textPointer) {
    if (pointer.size() != kTextPointerBytes) {
      why = "the text pointer is " + std::to_string(pointer.size()) + " bytes, not 16";
      return std::nullopt;
    }
    if (!Append(ReadRowId(pointer.data() + 8), kMaxValueBytes, 0, out, why)) return std::nullopt;
    return out;
  }
  if (pointer.size() < kPointerHeader + kLinkBytes ||
      (pointer.size() - kPointerHeader) % kLinkBytes != 0 ||
      (pointer[0] != kRowOverflowPointer && pointer[0] != kInlineRoot)) {
    why = "the pointer to the value kept out of the row is of a kind not read";
    return std::nullopt;
  }
  std::vector<Link> links;
  for (size_t at = kPointerHeader; at < pointer.size(); at += kLinkBytes) {
    links.push_back({LoadLe32(pointer.data() + at), ReadRowId(pointer.data() + at + 4)});
  }
  if (!AppendLinks(links, 0, out, why)) return std::nullopt;
  return out;
}

}  // namespace pagerake
