// What the benchmark programs share: a clock reading and a Host that keeps quiet.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "base/host.h"
#include "base/null_host.h"
#include "page/page_header.h"
#include "source/data_source.h"

namespace pagerake::bench {

// Seconds since `t0` on the steady clock.
inline double SecondsSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The number after "key:" on its line of a /proc file of this process ("/proc/self/status":
// "VmRSS", "VmHWM" in KiB; "/proc/self/io": "syscr", "rchar"); −1 when absent.
inline int64_t ProcFigure(const char* file, const char* key) {
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key, 0) == 0) return std::atoll(line.c_str() + std::strlen(key) + 1);
  }
  return -1;
}
inline int64_t StatusKiB(const char* key) { return ProcFigure("/proc/self/status", key); }

// An image file as a whole-disk data source, set up by hand (no window state).
inline DataSource ImageSource(const std::string& path) {
  DataSource s;
  s.sourceChosen = true;
  s.devicePath = path;
  s.sourceSectors = static_cast<int64_t>(std::filesystem::file_size(path) / kSectorSize);
  s.sourceEnd = s.sourceSectors;
  return s;
}

// A data page header at `at`: page `pageId` of file `fileId`, plausible to the scan.
inline void PutDataPageHeader(uint8_t* at, uint32_t pageId, uint16_t fileId) {
  PageHeader h;
  h.headerVersion = 1;
  h.pageType = kPageTypeData;
  h.freeData = 200;
  h.slotCount = 1;
  h.pageId = pageId;
  h.fileId = fileId;
  EncodePageHeader(h, at);
}

// A Host that shows nothing and cancels every dialog. Message boxes are printed to stderr (except
// `expected`, the message a successful run ends with) and answered with `answer`.
class QuietHost : public NullHost {
 public:
  explicit QuietHost(MessageResult answer = MessageResult::kOk, std::string expected = "")
      : answer_(answer), expected_(std::move(expected)) {}
  MessageResult ShowMessage(const std::string& text, const std::string&, MessageIcon,
                            MessageButtons) override {
    if (text != expected_) std::fprintf(stderr, "message: %s\n", text.c_str());
    return answer_;
  }

 private:
  MessageResult answer_;
  std::string expected_;
};

}  // namespace pagerake::bench
