// What every validation module object shares on the plug-in side: one
// reference count and QueryInterface over the four interfaces the host asks
// for, no video windows (the modules check audio), and the bounded wait for
// a worker's answer to a posted command.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "contract/QuorvexControlInterface.h"

namespace riffo {

class TModuleObject : public IQuorvexControl,
                      public IQuorvexVideoControl,
                      public IQuorvexReportSet,
                      public IQuorvexReset {
public:
  TModuleObject(const TModuleObject&) = delete;
  TModuleObject& operator=(const TModuleObject&) = delete;

  // IUnknown, shared by the four interfaces; the last Release deletes the
  // object.
  HRESULT QVX_CALL QueryInterface(const IID& iid, void** object) override;
  uint32_t QVX_CALL AddRef() override;
  uint32_t QVX_CALL Release() override;

  // IQuorvexVideoControl: E_NOTIMPL, no windows.
  HRESULT QVX_CALL GetVideoWindowsCount(uint32_t* count) override;
  HRESULT QVX_CALL GetVideoWindow(uint32_t index, IVideoWindow** videoWindow) override;

protected:
  // Made with one reference, for the caller.
  TModuleObject() = default;
  virtual ~TModuleObject() = default;

private:
  std::atomic<uint32_t> FRefCount{1};
};

enum class TCommandWait { Done, Failed, TimedOut };

// Posts a command to a module worker and waits for its answer, in steps of
// at most a millisecond (an answer wakes the wait at once). The limit
// (milliseconds) also bounds the wait for the worker's mailbox to become
// free, so a worker still busy with a command that timed out cannot block
// the host for ever; in each pass the limit is checked before the status.
// The worker offers MailboxEmpty() and WaitForAnswer(milliseconds); post()
// posts the command and status() reads the worker's status.
template <typename Worker, typename Post, typename Status>
TCommandWait WaitForWorker(Worker& worker, Post post, Status status, int32_t doneStatus,
                           int32_t failedStatus, int32_t limitMS) {
  using TClock = std::chrono::steady_clock;
  constexpr std::chrono::milliseconds step{1};
  const TClock::time_point deadline = TClock::now() + std::chrono::milliseconds(limitMS);
  while (!worker.MailboxEmpty()) {
    worker.WaitForAnswer(step);
    if (TClock::now() > deadline) return TCommandWait::TimedOut;
  }
  post();
  for (;;) {
    worker.WaitForAnswer(step);
    if (TClock::now() > deadline) return TCommandWait::TimedOut;
    const int32_t now = status();
    if (now == doneStatus) return TCommandWait::Done;
    if (now == failedStatus) return TCommandWait::Failed;
  }
}

}  // namespace riffo
