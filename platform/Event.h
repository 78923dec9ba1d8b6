// An auto-reset event: Set wakes one waiter and resets itself.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace riffo {

class TAutoResetEvent {
public:
  void Set();
  // True when signalled within the timeout (the signal is consumed).
  bool Wait(std::chrono::milliseconds timeout);

private:
  std::mutex FLock;
  std::condition_variable FCondition;
  bool FSignalled = false;
};

}  // namespace riffo
