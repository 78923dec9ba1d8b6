// The module library's one export. Everything else is linked in with hidden
// visibility, so this is the only symbol the host can resolve.
#include "contract/QuorvexControlInterface.h"
#include "platform/DebugTrace.h"
#include "platform/Guard.h"
#include "sonolint/SonolintClass.h"

QVX_EXPORT int32_t QVX_CALL GetQuorvexControl(riffo::IQuorvexControl** control) {
  if (control == nullptr) return -1;
  *control = nullptr;
  return riffo::Guarded(u"dgn: Error in GetQuorvexControl - cannot load Sonolint module.", -1, [&] {
    *control = riffo::TSonolint::CreateInstance();
    return *control != nullptr ? 0 : -1;
  });
}
