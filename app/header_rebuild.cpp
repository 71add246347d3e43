#include "app/header_rebuild.h"

#include <fstream>
#include <vector>

#include "app/database_tables.h"
#include "database/file_header_page.h"
#include "page/byte_order.h"
#include "source/file_storage.h"
#include "source/sha256.h"
#include "source/utf8_path.h"

namespace pagerake {
namespace {

constexpr uint16_t kProtectionBits = 0x0300;
constexpr int64_t kBootPage = 9;

// The protection the database's pages carry: the boot page's, else the first protected page's.
uint16_t ProtectionOfFile(PageLookup& lookup) {
  PageBytes page;
  if (FetchPage(lookup, kBootPage, page)) return LoadLe16(page.data() + 4) & kProtectionBits;
  for (int64_t n = 1; n < lookup.PageCount(); ++n) {
    if (FetchPage(lookup, n, page) && (LoadLe16(page.data() + 4) & kProtectionBits) != 0) {
      return LoadLe16(page.data() + 4) & kProtectionBits;
    }
  }
  return 0;
}

std::optional<std::string> DigestOf(const std::string& path) {
  std::ifstream in(Utf8Path(path), std::ios::binary);
  if (!in) return std::nullopt;
  Sha256 sha;
  std::vector<char> block(size_t{1} << 20);
  while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
    sha.Update(reinterpret_cast<const uint8_t*>(block.data()), static_cast<size_t>(in.gcount()));
  }
  if (in.bad()) return std::nullopt;
  return sha.Hex();
}

}  // namespace

bool RebuildHeaderPage(MdfWriteResult& w, std::string& why) {
  PageBytes page;
  {
    FilePageLookup lookup;
    if (!lookup.Open(w.path, why)) return false;
    UnitPages units(lookup);
    const std::optional<Catalog> catalog = ReadCatalog(lookup, units, why);
    if (!catalog) return false;
    const HeaderPageSource source{&*catalog, w.size.pages, ProtectionOfFile(lookup)};
    if (!BuildFileHeaderPage(source, page.data())) {
      why = "the catalog holds no row for the file";
      return false;
    }
  }
  bool written = false;
  {
    std::fstream out(Utf8Path(w.path), std::ios::in | std::ios::out | std::ios::binary);
    out.write(reinterpret_cast<const char*>(page.data()), static_cast<std::streamsize>(page.size()));
    written = static_cast<bool>(out.flush());
  }
  std::string reason;
  if (!written || !FlushFileToStorage(w.path, reason)) {
    why = "cannot write page 0 into " + w.path + (reason.empty() ? "" : ": " + reason);
    return false;
  }
  w.sha256 = DigestOf(w.path);
  w.headerRebuilt = true;
  return true;
}

}  // namespace pagerake
