// What every validation module object shares on the plug-in side: one
// reference count and QueryInterface over the four interfaces the host asks
// for, and no video windows (the modules check audio). The worker each
// module object drives is served through a TCommandMailbox.
#pragma once

#include <atomic>
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

}  // namespace riffo
