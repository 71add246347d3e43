// Ctrl-C at the console as a request to stop instead of the end of the process. A command that
// runs a job asks now and then whether one came (or waits for one in a thread of its own) and
// stops the job itself, so that what was found so far is still printed and saved.
//
// POSIX: SIGINT is blocked in the calling thread and taken synchronously by Wait, so construct
// this before any thread starts: threads inherit the blocked mask. Windows: a console control
// handler takes Ctrl-C and Ctrl-Break. One at a time in a process.
#pragma once

#include <chrono>
#include <cstdint>
#include <thread>

namespace pagerake {

class ConsoleInterrupt {
 public:
  ConsoleInterrupt();
  ~ConsoleInterrupt();
  ConsoleInterrupt(const ConsoleInterrupt&) = delete;
  ConsoleInterrupt& operator=(const ConsoleInterrupt&) = delete;

  // Waits up to `timeout` for a Ctrl-C (zero: only looks). True when one came; it is then taken,
  // so that the next Wait waits for another.
  bool Wait(std::chrono::milliseconds timeout);
  // Ends a Wait that `waiter` runs, or the next one it starts, at once, with true as for a
  // Ctrl-C: the waiter tells the two apart by its own state.
  void Wake(std::thread& waiter);

 private:
  [[maybe_unused]] intptr_t event_ = 0;  // Windows: the event the handler sets
};

}  // namespace pagerake
