#include "cli/interrupt_watch.h"

#include <ctime>

namespace pagerake::cli {

InterruptWatch::InterruptWatch(Session& session) {
  sigemptyset(&signals_);
  sigaddset(&signals_, SIGINT);
  pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
  watcher_ = std::thread([this, &session] {
    // Looks for a Ctrl-C ten times a second until the command is done with the session.
    const timespec tick{0, 100'000'000};
    while (!done_.load()) {
      if (sigtimedwait(&signals_, nullptr, &tick) != SIGINT) continue;
      interrupted_ = true;
      session.scanStopped = true;  // STOP
      session.closing = true;      // an analysis ends at its next step
    }
  });
}

InterruptWatch::~InterruptWatch() {
  done_ = true;
  watcher_.join();
}

}  // namespace pagerake::cli
