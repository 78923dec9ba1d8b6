#include "modulekit/ModuleObject.h"

namespace riffo {

HRESULT TModuleObject::QueryInterface(const IID& iid, void** object) {
  if (object == nullptr) return E_INVALIDARG;
  *object = nullptr;
  if (iid == IID_IUnknown || iid == IID_IQuorvexControl) {
    *object = static_cast<IQuorvexControl*>(this);
  } else if (iid == IID_IQuorvexVideoControl) {
    *object = static_cast<IQuorvexVideoControl*>(this);
  } else if (iid == IID_IQuorvexReportSet) {
    *object = static_cast<IQuorvexReportSet*>(this);
  } else if (iid == IID_IQuorvexReset) {
    *object = static_cast<IQuorvexReset*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

uint32_t TModuleObject::AddRef() { return FRefCount.fetch_add(1, std::memory_order_relaxed) + 1; }

uint32_t TModuleObject::Release() {
  const uint32_t count = FRefCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (count == 0) delete this;
  return count;
}

HRESULT TModuleObject::GetVideoWindowsCount(uint32_t* count) {
  if (count != nullptr) *count = 0;
  return E_NOTIMPL;
}

HRESULT TModuleObject::GetVideoWindow(uint32_t /*index*/, IVideoWindow** videoWindow) {
  if (videoWindow != nullptr) *videoWindow = nullptr;
  return E_NOTIMPL;
}

}  // namespace riffo
