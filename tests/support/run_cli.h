// Runs pagerake-cli (the binary built with the tests) and captures what it printed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pagerake::testing {

struct CliResult {
  int exitCode = -1;
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs pagerake-cli with `args` (no shell involved), standard input empty.
CliResult RunCli(const std::vector<std::string>& args);

// A fresh empty folder under the system's temp folder, removed with its content on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Writes `bytes` to `path`, replacing it. False when it cannot.
bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace pagerake::testing
