// The catalog of a database file read from its own pages: the system base tables the server
// keeps its metadata in, followed from the boot page.
//
//   boot page (9), page offset 612   the first page of sysallocunits (4-byte page id, 2-byte file)
//   sysallocunits (unit 7 << 16)     one row per allocation unit: its id, kind (1 in-row data,
//                                    2 LOB, 3 row overflow), the rowset that owns it, its first
//                                    page, root page and first IAM page
//   syscolpars (rowset of object 41) one row per column of every table, system ones too: object
//                                    id, column id, name, type, length, precision, scale,
//                                    collation, status (bit 0 set: NOT NULL)
//   sysrowsets (rowset 5 << 16)      one row per rowset (a partition of a heap or index): the
//                                    object and index it belongs to, the rows it holds
//   sysschobjs (rowset of object 34) one row per object: id, name, schema id, type ("U " a table)
//   sysclsobjs (rowset of object 64) schemas among other things (class 50): id and name
//
// Only sysallocunits and syscolpars are read with a layout known in advance; every other system
// table is read with the layout its own syscolpars rows give, so that the columns later versions
// add do not move what is read.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "database/page_lookup.h"
#include "database/table_layout.h"
#include "database/unit_pages.h"

namespace pagerake {

struct TableUnit {
  uint64_t id = 0;
  uint8_t kind = 0;  // 1 in-row data, 2 LOB data, 3 row-overflow data
  int64_t firstPage = 0;
  int64_t rootPage = 0;
  int64_t firstIam = 0;
};

inline constexpr uint8_t kUnitInRow = 1;
inline constexpr uint8_t kUnitLob = 2;
inline constexpr uint8_t kUnitRowOverflow = 3;

struct CatalogTable {
  int32_t objectId = 0;
  std::string schema;
  std::string name;
  std::vector<TableColumn> columns;  // in column id order
  bool heap = true;                  // rows kept in a heap (index 0), else a clustered index
  // The rows the catalog counts over the table's partitions; nothing when it does not say.
  std::optional<int64_t> catalogRows;
  int compression = 0;               // 0 none, 1 row, 2 page
  std::vector<TableUnit> units;      // of the heap or clustered index, every partition
  std::string layoutProblem;         // why its records cannot be read, when they cannot

  // "schema.name"
  std::string QualifiedName() const { return schema + "." + name; }
};

// The catalog's row for one file of the database (sysprufiles, object 24): much of what the file's
// header page (page 0) records of it. Sizes in pages; LSNs and GUIDs as stored. Files of SQL
// Server 2005 keep only the file's id and names (sysfiles1, object 8); the rest is then zero.
struct CatalogFile {
  int32_t fileId = 0;
  bool whole = false;  // read from sysprufiles; false for sysfiles1's id and names alone
  int32_t groupId = 0;
  int32_t status = 0;
  bool percentGrowth = false;  // growth is a percentage (status bit 0x20)
  int32_t sizePages = 0;
  int32_t maxSizePages = 0;  // -1: unlimited
  int32_t growth = 0;        // pages, or percent where the status says so
  std::vector<uint8_t> logicalName;  // UTF-16LE, as stored
  std::vector<uint8_t> physicalName; // UTF-16LE, as stored
  std::array<uint8_t, 16> fileGuid{};
  std::array<uint8_t, 16> diffBaseGuid{};
  std::array<uint8_t, 10> createLsn{};
  std::array<uint8_t, 10> backupLsn{};
  std::array<uint8_t, 10> diffBaseLsn{};
  std::array<uint8_t, 10> redoStartLsn{};
  std::array<uint8_t, 10> firstUpdateLsn{};
};

struct Catalog {
  // The database version the boot page records (611 = SQL Server 2005, ...); 0 when the boot
  // page is missing.
  int version = 0;
  // The earliest version whose system tables have the columns this file's have (611, 655 for
  // sysrowsets.cmprlevel, 706 for sysschobjs.status2): what a file without its boot page is.
  int columnsVersion = 0;
  std::vector<CatalogTable> tables;  // the user tables, by schema and name
  std::vector<CatalogFile> files;    // the database's files, by file id
  // What could not be read, in English, one line each (a system table's pages missing, ...).
  std::vector<std::string> problems;
};

// The catalog, or nothing with the reason when the file does not give one (a version before SQL
// Server 2005, sysallocunits or syscolpars unreadable). Without the boot page, sysallocunits'
// pages are found by their headers.
std::optional<Catalog> ReadCatalog(PageLookup& lookup, UnitPages& units, std::string& why);

// Calls `f(pageNumber, slot, page, parts)` for every used slot on the data pages of `unit`, in
// page order (then those found by their headers; `parts` is nothing for a record that does not
// split), each page read once. Returns the unit's pages.
template <typename F>
UnitPageList ForEachUnitRecord(UnitPages& units, const TableUnit& unit, F&& f) {
  return units.Pages(unit.id, unit.firstIam, kPageTypeData, kPageTypeData,
                     [&](int64_t number, const uint8_t* page) {
                       const int slots = SlotCount(page);
                       for (int slot = 0; slot < slots; ++slot) {
                         const auto bytes = SlotBytes(page, slot);
                         if (bytes && bytes->empty()) continue;
                         f(number, slot, page, bytes ? SplitRecord(*bytes) : std::nullopt);
                       }
                     });
}

}  // namespace pagerake
