#include "app/session.h"

namespace pagerake {

Session::~Session() {
  // A running scan stops at its next position; a waiting one stops at its first.
  scanStopped = true;
  jobs.JoinAll();
}

}  // namespace pagerake
