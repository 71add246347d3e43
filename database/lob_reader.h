// Values kept out of their row: text, ntext and image, the (max) types when they outgrow the row,
// and variable-length columns pushed off a full row (row overflow). The row holds a pointer; the
// value lies in blob fragments, records of kind 4 on text pages, linked as a tree.
//
// In the row (a complex variable-length column):
//   16 bytes            a text pointer (text, ntext, image): 8-byte timestamp, then the row id
//                       (page 4, file 2, slot 2) of the value's root fragment
//   byte 0 = 2, 24 b.   a row-overflow pointer: 12-byte header, then one link
//   byte 0 = 4, 12+12n  an inline root of a (max) value: 12-byte header (type, level at 1), then
//                       n links
//   a link              4 bytes: the value's length up to the link's end; 8 bytes: its row id
//
// A blob fragment (record offsets): 0 status (kind 4), 2 record length (2 bytes), 4 blob id
// (8 bytes), 12 fragment type (2 bytes), then by type:
//   0 small root    14 length (2 bytes), 20 the data
//   2 internal      14 max links, 16 links, 18 level (2 bytes each); from 20, links of 16 bytes:
//                   8 bytes the value's length up to the link's end, 8 bytes row id
//   3 data          14 the data, to the record's end
//   4, 5 root       14 max links, 16 links, 18 level; from 24, links of 12 bytes (as in the row)
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "database/page_lookup.h"
#include "database/record.h"
#include "database/unit_pages.h"

namespace pagerake {

class LobReader {
 public:
  explicit LobReader(PageLookup& lookup) : lookup_(lookup) {}

  // The value a complex column points at (`textPointer`: the column is of a type kept as a LOB
  // by text pointer: text, ntext, image). Nothing, with the reason in English, when a fragment is
  // missing or does not hold together.
  std::optional<std::vector<uint8_t>> Read(std::span<const uint8_t> pointer, bool textPointer,
                                           std::string& why);

 private:
  struct Link {
    uint64_t end = 0;  // the value's length up to this link's end
    RowId row;
  };
  bool Fragment(const RowId& row, std::vector<uint8_t>& fragment, std::string& why);
  bool Append(const RowId& row, uint64_t limit, int depth, std::vector<uint8_t>& out,
              std::string& why);
  bool AppendLinks(const std::vector<Link>& links, int depth, std::vector<uint8_t>& out,
                   std::string& why);

  PageLookup& lookup_;
  int64_t pageNumber_ = -1;
  bool pageHeld_ = false;
  PageBytes page_{};
  int64_t visits_ = 0;
};

}  // namespace pagerake
