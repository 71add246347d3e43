#include "fragments/staged_file.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>

#include "source/file_names.h"
#include "source/file_storage.h"
#include "source/utf8_path.h"

namespace pagerake {
namespace {

namespace fs = std::filesystem;

// What the system said of the last failed open (the C library leaves it in errno).
std::string LastSystemReason() {
  const int error = errno;
  return error != 0 ? std::generic_category().message(error) : "unknown error";
}

bool Exists(const fs::path& p) {
  std::error_code ec;
  return fs::symlink_status(p, ec).type() != fs::file_type::not_found;
}

// Eight hex digits that set this writer's temporary names apart from those of others.
std::string RandomTag() {
  std::random_device device;
  char text[9];
  std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(device()));
  return text;
}

}  // namespace

std::optional<std::string> CreateTemporaryFile(const std::string& folder, const std::string& tag,
                                               std::string& reason) {
  const fs::path dir = Utf8Path(folder.empty() ? "." : folder);
  for (int n = 0; n < 100000; ++n) {
    const fs::path candidate = dir / (".pagerake-" + tag + "-" + std::to_string(n) + ".part");
    if (Exists(candidate)) continue;
    errno = 0;
    std::ofstream file(candidate, std::ios::binary);
    if (!file) {
      reason = LastSystemReason();
      return std::nullopt;
    }
    return PathUtf8(candidate);
  }
  reason = "no free temporary name";
  return std::nullopt;
}

StagedFile::StagedFile(std::string path) : path_(std::move(path)) {}

StagedFile::~StagedFile() { Discard(); }

bool StagedFile::Begin() {
  // 1. What is there now: a device or pipe is written in place, a folder is no file.
  const fs::path path = Utf8Path(path_);
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (fs::is_directory(status)) {
    reason_ = std::make_error_code(std::errc::is_a_directory).message();
    return false;
  }
  if (fs::exists(status) && !fs::is_regular_file(status)) {
    inPlace_ = true;
    writePath_ = path_;
    return true;
  }
  // 2. A link is followed, so that the file it points to is replaced and the link stays.
  fs::path target = path;
  if (fs::is_symlink(fs::symlink_status(path, ec))) {
    const fs::path resolved = fs::weakly_canonical(path, ec);
    if (!ec) target = resolved;
  }
  // 3. A file that is there must be writable, as it had to be when it was written in place.
  if (fs::exists(status)) {
    errno = 0;
    std::ofstream probe(target, std::ios::binary | std::ios::app);
    if (!probe) {
      reason_ = LastSystemReason();
      return false;
    }
  }
  // 4. The temporary file beside it.
  const fs::path folder = target.parent_path();
  const auto temporary = CreateTemporaryFile(PathUtf8(folder), RandomTag(), reason_);
  if (!temporary) return false;
  target_ = PathUtf8(target);
  writePath_ = *temporary;
  pending_ = true;
  return true;
}

bool StagedFile::Commit() {
  if (inPlace_) return true;
  if (!pending_) {
    reason_ = "nothing was written";
    return false;
  }
  // The bytes reach the storage before the name does, so that not even a machine that stops
  // right after the rename can leave an incomplete file under it.
  if (!FlushFileToStorage(writePath_, reason_)) {
    Discard();
    return false;
  }
  if (!MoveOnto(writePath_, target_, reason_)) {
    Discard();
    return false;
  }
  pending_ = false;
  // The new name itself; should this fail, the complete file is there under it all the same.
  (void)FlushFolderToStorage(PathUtf8(Utf8Path(target_).parent_path()));
  return true;
}

void StagedFile::Discard() {
  if (!pending_) return;
  std::error_code ec;
  fs::remove(Utf8Path(writePath_), ec);
  pending_ = false;
}

std::string StagedFile::CommitFailureMessage() const {
  return "error,无法保存文件:" + path_ + "(" + reason_ + ")";
}

}  // namespace pagerake
