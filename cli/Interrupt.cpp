#include "cli/Interrupt.h"

#include <signal.h>
#include <unistd.h>

#include <csignal>

#include "cli/CliCommand.h"

namespace riffo::cli {

namespace {

volatile std::sig_atomic_t gInterrupts = 0;

extern "C" void OnInterrupt(int) {
  if (gInterrupts > 0) ::_exit(EXIT_INTERRUPTED);  // the second Ctrl+C: no more waiting
  gInterrupts = 1;
}

}  // namespace

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a waiting poll() returns and sees the request
  ::sigaction(SIGINT, &action, nullptr);
}

bool Interrupted() { return gInterrupts != 0; }

}  // namespace riffo::cli
