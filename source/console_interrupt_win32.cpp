// Windows: a console control handler sets an event that Wait waits for. The handler runs in a
// thread the system starts and is handed no context, so it finds the event by its name, which the
// process id makes this process's own.
#include <windows.h>

#include <string>

#include "source/console_interrupt.h"

namespace pagerake {
namespace {

std::wstring EventName() {
  return L"Local\\pagerake-interrupt-" + std::to_wstring(GetCurrentProcessId());
}

BOOL WINAPI OnConsoleControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;  // closing, logoff: the default
  HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, EventName().c_str());
  if (event == nullptr) return FALSE;
  SetEvent(event);
  CloseHandle(event);
  return TRUE;
}

HANDLE AsHandle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

}  // namespace

ConsoleInterrupt::ConsoleInterrupt() {
  // Auto-reset: a Wait that sees it takes it.
  event_ = reinterpret_cast<intptr_t>(CreateEventW(nullptr, FALSE, FALSE, EventName().c_str()));
  if (event_ != 0) SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

ConsoleInterrupt::~ConsoleInterrupt() {
  if (event_ == 0) return;
  SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  CloseHandle(AsHandle(event_));
}

bool ConsoleInterrupt::Wait(std::chrono::milliseconds timeout) {
  if (event_ == 0) {
    Sleep(static_cast<DWORD>(timeout.count()));
    return false;
  }
  return WaitForSingleObject(AsHandle(event_), static_cast<DWORD>(timeout.count())) ==
         WAIT_OBJECT_0;
}

void ConsoleInterrupt::Wake(std::thread& /*waiter*/) {
  if (event_ != 0) SetEvent(AsHandle(event_));
}

}  // namespace pagerake
