// pagerake-cli inspect: one row per 8192-byte page of a data file or of extracted pages, with the
// header facts, the protection, whether the page verifies and which header tests accept it. What
// a recovery engineer runs to see whether a recovered file is sound.
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "app/translation.h"
#include "cli/command.h"
#include "cli/help_formatter.h"
#include "page/byte_order.h"
#include "page/page_content.h"
#include "page/page_header.h"
#include "page/page_structure.h"
#include "source/utf8_path.h"

namespace pagerake::cli {
namespace {

struct InspectOptions {
  std::string file;
  std::optional<int64_t> page;
  bool json = false;
};

struct PageRow {
  int64_t position = 0;
  PageHeader header;
  PageProtection protection = PageProtection::kNone;
  bool zero = false;
  bool verified = false;
  bool sound = false;  // IsStructurallySound; not asked of zero pages
  bool plausible = false;
  bool fileHeader = false;
  bool pfs = false;
  bool next = false;
};

// The facts of one page at `position`. `fileId` is the file's id as page 0 gave it, or the page's
// own when page 0 is not a file header page; the PFS and next-page tests compare against it.
PageRow InspectPage(const uint8_t* page, int64_t position, int16_t fileId) {
  PageRow row;
  row.position = position;
  row.header = DecodePageHeader(page);
  row.protection = ProtectionOf(page);
  row.zero = IsZeroPage(page);
  row.verified = VerifyPage(page);
  row.sound = !row.zero && IsStructurallySound(page);
  int16_t scratch = fileId;
  row.plausible = IsPlausiblePage(page, PlausibleMode::kKeepFileId, scratch);
  row.fileHeader = IsFileHeaderPage(page, scratch);
  row.pfs = IsPfsPage(page, fileId);
  row.next = position > 0 && position <= INT32_MAX &&
             IsNextPage(page, static_cast<int32_t>(position), fileId);
  return row;
}

std::string AcceptedTests(const PageRow& r) {
  std::string out;
  auto add = [&out](bool on, const char* name) {
    if (!on) return;
    if (!out.empty()) out += ',';
    out += name;
  };
  add(r.plausible, "plausible");
  add(r.fileHeader, "file-header");
  add(r.pfs, "pfs");
  add(r.next, "next");
  return out.empty() ? "-" : out;
}

class PageFile {
 public:
  // Opens for reading only; the message says why not.
  bool Open(const std::string& path, std::string& error) {
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(Utf8Path(path), ec);
    if (ec) {
      error = Format(Tr("cannot open %s: %s"), path.c_str(), ec.message().c_str());
      return false;
    }
    if (std::filesystem::is_directory(status)) {
      error = Format(Tr("cannot inspect %s: it is a folder"), path.c_str());
      return false;
    }
    errno = 0;
    in_.open(Utf8Path(path), std::ios::binary);
    if (!in_) {
      error = Format(Tr("cannot open %s: %s"), path.c_str(), std::strerror(errno));
      return false;
    }
    in_.seekg(0, std::ios::end);
    size_ = in_.tellg();
    if (!in_ || size_ < 0) {
      error = Format(Tr("cannot read the size of %s"), path.c_str());
      return false;
    }
    return true;
  }
  int64_t size() const { return size_; }
  // Reads page `index` into `buf`; false on a read error or a short page.
  bool ReadPage(int64_t index, uint8_t* buf) {
    in_.clear();
    return in_.seekg(index * kPageSize).read(reinterpret_cast<char*>(buf), kPageSize).good();
  }

 private:
  std::ifstream in_;
  int64_t size_ = -1;
};

nlohmann::json RowJson(const PageRow& r) {
  return {{"position", r.position},          {"page_id", r.header.pageId},
          {"file_id", r.header.fileId},      {"page_type", r.header.pageType},
          {"object_id", r.header.objectId},  {"protection", ProtectionName(r.protection)},
          {"verified", r.verified},          {"zero", r.zero},
          {"structure", r.zero ? nlohmann::json(nullptr) : nlohmann::json(r.sound ? "ok" : "bad")},
          {"tests", AcceptedTests(r)}};
}

void PrintRow(const PageRow& r) {
  std::printf("%10lld %10u %6u %4u %11u %-9s %-3s %-9s %s\n", static_cast<long long>(r.position),
              r.header.pageId, r.header.fileId, r.header.pageType, r.header.objectId,
              r.zero ? "zero" : ProtectionName(r.protection), r.verified ? "yes" : "no",
              r.zero ? "-" : r.sound ? "ok" : "bad", AcceptedTests(r).c_str());
}

int RunInspect(const InspectOptions& o) {
  PageFile file;
  std::string error;
  if (!file.Open(o.file, error)) {
    std::fprintf(stderr, "pagerake-cli: %s\n", error.c_str());
    return kExitBadInput;
  }
  const int64_t pages = file.size() / kPageSize;
  const int64_t partial = file.size() % kPageSize;
  if (o.page && (*o.page < 0 || *o.page >= pages)) {
    std::fprintf(stderr, Tr("pagerake-cli: page %lld is outside %s (%lld whole pages)\n").c_str(),
                 static_cast<long long>(*o.page), o.file.c_str(), static_cast<long long>(pages));
    return kExitBadInput;
  }

  // 1. The file's own facts: its id, its size (page 0) and its recorded name (page 32), read
  //    after the torn bits are put back.
  std::array<uint8_t, kPageSize> buf{};
  int16_t fileId = 1;
  std::optional<int32_t> sizePages;
  std::optional<std::string> recordedName;
  bool readFailed = false;
  if (pages > 0 && file.ReadPage(0, buf.data())) {
    fileId = static_cast<int16_t>(LoadLe16(buf.data() + header_offset::kFileId));
    RestoreTornBits(buf.data());
    sizePages = ReadFileSizePages(buf.data());
  }
  if (pages > 32 && file.ReadPage(32, buf.data())) {
    RestoreTornBits(buf.data());
    recordedName = ReadRecordedFileName(buf.data());
  }

  // 2. One row per page.
  const int64_t first = o.page.value_or(0);
  const int64_t last = o.page ? *o.page + 1 : pages;
  int64_t verified = 0, failed = 0, unprotected = 0;
  nlohmann::json rows = nlohmann::json::array();
  if (!o.json) {
    std::printf("%10s %10s %6s %4s %11s %-9s %-3s %-9s %s\n", "position", "pageId", "fileId",
                "type", "objectId", "protect", "ok", "structure", "tests");
  }
  for (int64_t pos = first; pos < last; ++pos) {
    if (!file.ReadPage(pos, buf.data())) {
      std::fprintf(stderr, Tr("pagerake-cli: cannot read page %lld of %s\n").c_str(),
                   static_cast<long long>(pos), o.file.c_str());
      readFailed = true;
      break;
    }
    const PageRow row = InspectPage(buf.data(), pos, fileId);
    (row.verified ? verified : failed)++;
    if (!row.zero && row.protection == PageProtection::kNone) ++unprotected;
    if (o.json) {
      rows.push_back(RowJson(row));
    } else {
      PrintRow(row);
    }
  }

  // 3. The summary.
  if (o.json) {
    nlohmann::json doc = {{"file", o.file},
                          {"pages", rows},
                          {"file_size_pages", sizePages ? nlohmann::json(*sizePages) : nullptr},
                          {"recorded_name", recordedName ? nlohmann::json(*recordedName) : nullptr},
                          {"verified_pages", verified},
                          {"failed_pages", failed},
                          {"unprotected_pages", unprotected},
                          {"trailing_bytes", partial}};
    std::printf("%s\n", doc.dump(2).c_str());
  } else {
    if (pages > 0) {
      if (sizePages) {
        std::printf(Tr("page 0: file size %d pages%s\n").c_str(), *sizePages,
                    *sizePages == pages ? "" : Tr(" (differs from the file's page count)").c_str());
      } else {
        std::printf("%s\n", Tr("page 0: no file size recorded").c_str());
      }
    }
    if (pages > 32) {
      std::printf(Tr("page 32: recorded name %s\n").c_str(),
                  recordedName ? recordedName->c_str() : Tr("(none found)").c_str());
    }
    std::printf(Tr("%lld pages, %lld verified, %lld failed (%lld of them without protection)\n")
                    .c_str(),
                static_cast<long long>(last - first), static_cast<long long>(verified),
                static_cast<long long>(failed), static_cast<long long>(unprotected));
  }
  if (partial != 0) {
    std::fprintf(stderr,
                 Tr("pagerake-cli: %s is not a whole number of 8192-byte pages: %lld trailing "
                    "bytes after page %lld were not read\n")
                     .c_str(),
                 o.file.c_str(), static_cast<long long>(partial), static_cast<long long>(pages));
    return kExitBadInput;
  }
  return readFailed ? kExitBadInput : kExitOk;
}

}  // namespace

void AddInspectCommand(CLI::App& app, Action& action) {
  auto options = std::make_shared<InspectOptions>();
  CLI::App* cmd = app.add_subcommand(
      "inspect", "List every 8192-byte page of a data file or of extracted pages, with its header "
                 "facts, protection, verification and the header tests that accept it");
  cmd->add_option("FILE", options->file, "data file (.mdf) or extracted pages (.hex)")->required();
  cmd->add_option("--page", options->page, "show only the page at this position");
  cmd->add_flag("--json", options->json, "print one JSON document instead of a table");
  cmd->callback([options, &action] { action = [options] { return RunInspect(*options); }; });
}

}  // namespace pagerake::cli
