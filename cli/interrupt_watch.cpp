#include "cli/interrupt_watch.h"

#include <ctime>

namespace pagerake::cli {

InterruptWatch::InterruptWatch(Session& session) {
  sigemptyset(&signals_);
  sigaddset(&signals_, SIGINT);
  pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
  watcher_ = std::thread([this, &session] {
    // Waits for a Ctrl-C until the command is done with the session (which wakes it with one of
    // its own); a tick now and then all the same.
    const timespec tick{1, 0};
    while (!done_.load()) {
      if (sigtimedwait(&signals_, nullptr, &tick) != SIGINT || done_.load()) continue;
      interrupted_ = true;
      session.scanStopped = true;  // STOP
      session.closing = true;      // an analysis ends at its next step
    }
  });
}

InterruptWatch::~InterruptWatch() {
  done_ = true;
  pthread_kill(watcher_.native_handle(), SIGINT);  // blocked there: taken by its wait at once
  watcher_.join();
}

}  // namespace pagerake::cli
