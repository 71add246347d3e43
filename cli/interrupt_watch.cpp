#include "cli/interrupt_watch.h"

namespace pagerake::cli {

InterruptWatch::InterruptWatch(Session& session) {
  watcher_ = std::thread([this, &session] {
    // Waits for a Ctrl-C until the command is done with the session (which wakes it); a tick
    // now and then all the same.
    while (!done_.load()) {
      if (!console_.Wait(std::chrono::seconds(1)) || done_.load()) continue;
      interrupted_ = true;
      session.scanStopped = true;  // STOP
      session.closing = true;      // an analysis ends at its next step
    }
  });
}

InterruptWatch::~InterruptWatch() {
  done_ = true;
  console_.Wake(watcher_);
  watcher_.join();
}

}  // namespace pagerake::cli
