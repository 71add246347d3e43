// Ctrl-C for a command that runs several stages on one Session: taken by a watcher thread of its
// own (see source/console_interrupt.h), which stops what the Session runs (the scan at its
// next position, an analysis at its next step) and remembers that the user asked to stop. The
// command looks at interrupted() between its stages.
#pragma once

#include <atomic>
#include <thread>

#include "app/session.h"
#include "source/console_interrupt.h"

namespace pagerake::cli {

class InterruptWatch {
 public:
  // Takes Ctrl-C from the console from here on (on POSIX for every thread started later too)
  // and starts watching: a Ctrl-C stops what `session` runs. Construct it right after the Session
  // and before any job starts; it ends watching before the Session goes.
  explicit InterruptWatch(Session& session);
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  bool interrupted() const { return interrupted_.load(); }

 private:
  ConsoleInterrupt console_;
  std::atomic<bool> interrupted_{false};
  std::atomic<bool> done_{false};
  std::thread watcher_;
};

}  // namespace pagerake::cli
