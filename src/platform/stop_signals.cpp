#include "platform/stop_signals.h"

#include <signal.h>

namespace platform {

void EndOnStopSignals() {
  // Nothing the game holds needs saving on the way out: the record table is only ever replaced
  // whole by a rename. So the signals keep their default action, which ends the process in any
  // state, instead of becoming a quit request that a blocked or modal loop might never read.
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  sigaction(SIGTERM, &dfl, nullptr);
  struct sigaction now {};
  if (sigaction(SIGINT, nullptr, &now) == 0 && now.sa_handler != SIG_IGN) {
    sigaction(SIGINT, &dfl, nullptr);
  }
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGTERM);
  sigaddset(&stops, SIGINT);
  sigprocmask(SIG_UNBLOCK, &stops, nullptr);
}

}  // namespace platform
