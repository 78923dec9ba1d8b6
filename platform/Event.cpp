#include "platform/Event.h"

namespace riffo {

void TAutoResetEvent::Set() {
  {
    std::lock_guard<std::mutex> hold(FLock);
    FSignalled = true;
  }
  FCondition.notify_one();
}

bool TAutoResetEvent::Wait(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> hold(FLock);
  if (!FCondition.wait_for(hold, timeout, [this] { return FSignalled; })) return false;
  FSignalled = false;  // auto-reset: the one woken waiter consumes the signal
  return true;
}

}  // namespace riffo
