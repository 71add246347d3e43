// POSIX: SIGINT blocked and taken with sigtimedwait. The mask stays as it is when this goes: a
// Ctrl-C that comes after it is still kept pending rather than killing a command that is saving.
#include <pthread.h>
#include <signal.h>

#include <ctime>

#include "source/console_interrupt.h"

namespace pagerake {
namespace {

sigset_t InterruptSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  return signals;
}

}  // namespace

ConsoleInterrupt::ConsoleInterrupt() {
  const sigset_t signals = InterruptSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

ConsoleInterrupt::~ConsoleInterrupt() = default;

bool ConsoleInterrupt::Wait(std::chrono::milliseconds timeout) {
  const sigset_t signals = InterruptSignals();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timeout);
  const timespec wait{static_cast<time_t>(seconds.count()),
                      static_cast<long>((timeout - seconds).count() * 1000000)};
  return sigtimedwait(&signals, nullptr, &wait) == SIGINT;
}

void ConsoleInterrupt::Wake(std::thread& waiter) {
  // Blocked in that thread: its wait takes it at once, or its next one does.
  pthread_kill(waiter.native_handle(), SIGINT);
}

}  // namespace pagerake
