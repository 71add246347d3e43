// Job control: the two long jobs of the program (the scan and the analysis of one database file)
// run on a thread of their own, one at a time, so the window stays usable and a scan can be
// stopped.
//
// JobSemaphore has one slot: a job that is started while another runs waits for it, it is not
// refused. TMyThread is one job's thread: it takes the slot, runs the job's body and gives the
// slot back. JobRunner starts TMyThreads and keeps them until they have ended, so that whoever
// owns it (the Session) can stop waiting only when no job thread is left: closing the window
// stops a running job and waits for it before any state is freed.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pagerake {

// JobKind: what a job thread runs ("scan" or "anlys").
enum class JobKind { kNone, kScan, kAnalysis };

// "scan", "anlys", or "" for kNone.
const char* JobKindName(JobKind kind);

class JobSemaphore {
 public:
  // Waits, without time limit, until the slot is free, and takes it.
  void Acquire();
  // Gives the slot back.
  void Release();

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  bool taken_ = false;
};

class JobRunner {
 public:
  JobRunner() = default;
  // Waits for every job thread (see JoinAll).
  ~JobRunner();
  JobRunner(const JobRunner&) = delete;
  JobRunner& operator=(const JobRunner&) = delete;

  // Starts a TMyThread at once. It waits for the semaphore's slot, runs `body` with the kind it
  // was started for (the value at this call, whatever is started later), and gives the slot back.
  void Start(JobKind kind, std::function<void(JobKind)> body);

  // True when no job thread is running or waiting.
  bool Idle() const;
  // Waits up to `timeout` for every job thread to end; true when none is left.
  bool WaitIdle(std::chrono::milliseconds timeout);
  // Waits for every job thread to end and joins it. Callers ask running jobs to stop first.
  void JoinAll();

 private:
  // TMyThread: one job on its own thread. Ended threads are joined at the next Start or JoinAll.
  struct TMyThread {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> ended;
  };

  void ReapEnded();  // joins the threads that have ended; mu_ held

  JobSemaphore semaphore_;
  mutable std::mutex mu_;
  std::condition_variable idle_;
  int running_ = 0;  // started and not yet ended
  std::vector<TMyThread> threads_;
};

}  // namespace pagerake
