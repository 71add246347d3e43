#include "app/job_control.h"

namespace pagerake {

const char* JobKindName(JobKind kind) {
  switch (kind) {
    case JobKind::kScan: return "scan";
    case JobKind::kAnalysis: return "anlys";
    case JobKind::kNone: break;
  }
  return "";
}

void JobSemaphore::Acquire() {
  std::unique_lock<std::mutex> lock(mu_);
  cv_.wait(lock, [this] { return !taken_; });
  taken_ = true;
}

void JobSemaphore::Release() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    taken_ = false;
  }
  cv_.notify_one();
}

JobRunner::~JobRunner() { JoinAll(); }

void JobRunner::Start(JobKind kind, std::function<void(JobKind)> body) {
  std::lock_guard<std::mutex> lock(mu_);
  ReapEnded();
  auto ended = std::make_shared<std::atomic<bool>>(false);
  ++running_;
  // Execute: take the slot, run the job, give the slot back; then the thread ends.
  std::thread thread([this, kind, ended, body = std::move(body)] {
    semaphore_.Acquire();
    body(kind);
    semaphore_.Release();
    std::lock_guard<std::mutex> guard(mu_);
    ended->store(true);
    --running_;
    idle_.notify_all();
  });
  threads_.push_back({std::move(thread), std::move(ended)});
}

void JobRunner::ReapEnded() {
  for (auto it = threads_.begin(); it != threads_.end();) {
    if (it->ended->load()) {
      it->thread.join();
      it = threads_.erase(it);
    } else {
      ++it;
    }
  }
}

bool JobRunner::Idle() const {
  std::lock_guard<std::mutex> lock(mu_);
  return running_ == 0;
}

bool JobRunner::WaitIdle(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mu_);
  return idle_.wait_for(lock, timeout, [this] { return running_ == 0; });
}

void JobRunner::JoinAll() {
  std::vector<TMyThread> threads;
  {
    std::unique_lock<std::mutex> lock(mu_);
    idle_.wait(lock, [this] { return running_ == 0; });
    threads.swap(threads_);
  }
  for (TMyThread& t : threads) t.thread.join();
}

}  // namespace pagerake
