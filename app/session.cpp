#include "app/session.h"

namespace pagerake {

Session::~Session() {
  // A running scan stops at its next position; a waiting one stops at its first; an analysis at
  // its next step.
  scanStopped = true;
  closing = true;
  jobs.JoinAll();
}

FragmentTable Session::FragmentTableSnapshot() const {
  std::lock_guard<std::mutex> lock(fragmentTableMutex);
  return fragmentTable;
}

}  // namespace pagerake
