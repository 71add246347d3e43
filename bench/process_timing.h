// Timing our own code stage by stage and other programs beside it: a stage's wall and CPU time
// and the bytes it read and wrote, a program run as a whole process (its wall and CPU time),
// medians of repeated runs, and the settling between runs that write.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "bench/bench_support.h"

extern char** environ;

namespace pagerake::bench {

// Wall, user and system seconds of one run; for a process run whole, also the bytes it read
// (rchar) and its peak resident memory.
struct RunTimes {
  double wall = 0, user = 0, sys = 0;
  int64_t rchar = 0;
  int64_t peakBytes = 0;
};

inline double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// This process's CPU time so far (every thread, ended ones too).
inline RunTimes OwnCpuTimes() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return {0, Seconds(u.ru_utime), Seconds(u.ru_stime)};
}

// Runs a program (looked up on PATH) with its standard output to `stdoutPath` and its errors
// discarded; its times, the bytes it read (rchar of /proc/PID/io, read after it ended and before
// it is reaped) and its peak memory, or nothing when it could not be started or did not exit
// with 0.
inline std::optional<RunTimes> RunProcess(std::vector<std::string> args,
                                          const std::string& stdoutPath = "/dev/null") {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const auto t0 = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    std::fprintf(stderr, "cannot start %s\n", argv[0]);
    return std::nullopt;
  }
  siginfo_t info{};
  (void)::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT);
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const int64_t rchar = ProcFigure(("/proc/" + std::to_string(pid) + "/io").c_str(), "rchar");
  int status = 0;
  rusage u{};
  if (::wait4(pid, &status, 0, &u) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s failed\n", argv[0]);
    return std::nullopt;
  }
  return RunTimes{wall, Seconds(u.ru_utime), Seconds(u.ru_stime), rchar,
                  static_cast<int64_t>(u.ru_maxrss) * 1024};
}

inline double MBps(int64_t bytes, double seconds) {
  return static_cast<double>(bytes) / 1e6 / seconds;
}

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n == 0 ? 0.0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

inline double Least(const std::vector<double>& v) {
  return v.empty() ? 0.0 : *std::min_element(v.begin(), v.end());
}

inline double Most(const std::vector<double>& v) {
  return v.empty() ? 0.0 : *std::max_element(v.begin(), v.end());
}

// Removes `path` (a file or a folder; nothing when empty) and writes dirty data back, so that the
// next run pays for nothing an earlier one left.
inline void Settle(const std::string& path = "") {
  std::error_code ec;
  if (!path.empty()) std::filesystem::remove_all(path, ec);
  ::sync();
}

// One stage's figures: wall time, CPU time of every thread, bytes read and written.
struct Stage {
  const char* name = "";
  double wall = 0, user = 0, sys = 0;
  int64_t read = 0, written = 0;
};

// Measures one stage of this process: Start before it, Stop after it.
class StageClock {
 public:
  void Start() {
    t0_ = std::chrono::steady_clock::now();
    cpu0_ = OwnCpuTimes();
    read0_ = ProcFigure("/proc/self/io", "rchar");
    written0_ = ProcFigure("/proc/self/io", "wchar");
  }
  Stage Stop(const char* name) const {
    const RunTimes cpu = OwnCpuTimes();
    return {name, SecondsSince(t0_), cpu.user - cpu0_.user, cpu.sys - cpu0_.sys,
            ProcFigure("/proc/self/io", "rchar") - read0_,
            ProcFigure("/proc/self/io", "wchar") - written0_};
  }

 private:
  std::chrono::steady_clock::time_point t0_;
  RunTimes cpu0_;
  int64_t read0_ = 0, written0_ = 0;
};

// The times of one program (or stage) over repeated rounds.
struct Timed {
  std::vector<double> wall, user, sys;
  void Add(const RunTimes& t) {
    wall.push_back(t.wall);
    user.push_back(t.user);
    sys.push_back(t.sys);
  }
  void Print(const char* name, int64_t bytes) const {
    std::printf("    %-11s %.3f s (%5.0f MB/s; best %.3f s, %5.0f MB/s; user %.3f s, sys %.3f s)\n",
                name, Median(wall), MBps(bytes, Median(wall)), Least(wall),
                MBps(bytes, Least(wall)), Median(user), Median(sys));
  }
};

}  // namespace pagerake::bench
