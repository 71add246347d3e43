#include "tests/support/run_cli.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>

extern char** environ;

namespace pagerake::testing {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The process's environment without its language variables, and `language` instead.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& language) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    if (name != "LANGUAGE" && name != "LC_ALL" && name != "LC_MESSAGES" && name != "LANG") {
      env.push_back(entry);
    }
  }
  env.insert(env.end(), language.begin(), language.end());
  return env;
}

}  // namespace

CliResult RunCliWithLanguage(const std::vector<std::string>& language,
                             const std::vector<std::string>& args) {
  CliProcess process(args, "", {}, language);
  return process.Wait();
}

CliResult RunCli(const std::vector<std::string>& args, const std::string& input) {
  CliProcess process(args, input);
  return process.Wait();
}

CliProcess::CliProcess(const std::vector<std::string>& args, const std::string& input,
                       const std::vector<std::string>& wrapper,
                       const std::vector<std::string>& language) {
  std::string pattern = (std::filesystem::temp_directory_path() / "pagerake-cli-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return;
  dir_ = pattern;
  outPath_ = dir_ + "/out";
  errPath_ = dir_ + "/err";
  const std::string inPath = dir_ + "/in";
  std::ofstream(inPath, std::ios::binary) << input;
  std::vector<std::string> argv = wrapper;
  argv.push_back(PAGERAKE_CLI_PATH);
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargv;
  for (auto& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<std::string> env = EnvironmentWith(language);
  std::vector<char*> cenv;
  for (auto& e : env) cenv.push_back(e.data());
  cenv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, cargv[0], &actions, nullptr, cargv.data(), cenv.data()) == 0) pid_ = pid;
  posix_spawn_file_actions_destroy(&actions);
}

CliProcess::~CliProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  std::error_code ec;
  if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
}

bool CliProcess::WaitForError(const std::string& text, double seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (ReadAll(errPath_).find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    usleep(20000);
  }
  return true;
}

void CliProcess::Signal(int signal) {
  if (pid_ > 0) kill(pid_, signal);
}

CliResult CliProcess::Wait() {
  CliResult result;
  int status = 0;
  if (pid_ > 0 && waitpid(pid_, &status, 0) == pid_) {
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  pid_ = -1;
  result.out = ReadAll(outPath_);
  result.err = ReadAll(errPath_);
  return result;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "pagerake-XXXXXX").string();
  if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace pagerake::testing
