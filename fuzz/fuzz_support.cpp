#include "fuzz/fuzz_support.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace pagerake::fuzz {
namespace {

[[noreturn]] void Die(const char* what) {
  std::perror(what);
  std::abort();
}

}  // namespace

MemFile::MemFile(const char* name) : fd_(::memfd_create(name, MFD_CLOEXEC)) {
  if (fd_ < 0) Die("memfd_create");
  path_ = "/proc/self/fd/" + std::to_string(fd_);
}

MemFile::~MemFile() { ::close(fd_); }

void MemFile::Clear(int64_t size) {
  if (::ftruncate(fd_, 0) != 0 || ::ftruncate(fd_, size) != 0) Die("ftruncate");
}

void MemFile::WriteAt(int64_t offset, const uint8_t* bytes, size_t count) {
  while (count > 0) {
    const ssize_t n = ::pwrite(fd_, bytes, count, offset);
    if (n <= 0) Die("pwrite");
    bytes += n;
    count -= static_cast<size_t>(n);
    offset += n;
  }
}

DataSource ImageSource(const MemFile& file, int64_t sectors) {
  DataSource source;
  source.sourceChosen = true;
  source.devicePath = file.path();
  source.sourceSectors = sectors;
  source.sourceEnd = sectors;
  return source;
}

}  // namespace pagerake::fuzz
