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

// The language variables the tests run pagerake-cli with: Chinese, the program's own texts,
// which the tests compare. The variables of the test's own environment are not passed on.
inline const std::vector<std::string> kChineseTexts = {"LANGUAGE=zh_CN"};
// English, for the tests of the commands that only speak the command line's own texts.
inline const std::vector<std::string> kEnglishTexts = {"LANGUAGE=en"};

// Runs pagerake-cli with `args` (no shell involved); standard input holds `input`.
CliResult RunCli(const std::vector<std::string>& args, const std::string& input = "");
// The same with the language variables `language` ("LANG=en_US.UTF-8", ...) instead.
CliResult RunCliWithLanguage(const std::vector<std::string>& language,
                             const std::vector<std::string>& args);

// pagerake-cli running in the background, for tests that act while it runs (Ctrl-C). Standard
// output and error go to files that the test can read as they grow.
class CliProcess {
 public:
  // `wrapper`, when given, is a command that runs pagerake-cli (strace and its options): the
  // process started is then the wrapper's, found on the PATH.
  explicit CliProcess(const std::vector<std::string>& args, const std::string& input = "",
                      const std::vector<std::string>& wrapper = {},
                      const std::vector<std::string>& language = kChineseTexts);
  ~CliProcess();  // kills the process if it still runs
  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;

  bool started() const { return pid_ > 0; }
  int pid() const { return pid_; }
  // Waits until standard error holds `text`, up to `seconds`; false when it never does.
  bool WaitForError(const std::string& text, double seconds);
  // Sends `signal` (SIGINT for Ctrl-C).
  void Signal(int signal);
  // Waits for the process to end and returns what it printed.
  CliResult Wait();

 private:
  std::string outPath_;
  std::string errPath_;
  std::string dir_;
  int pid_ = -1;
};

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
