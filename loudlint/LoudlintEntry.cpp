// The module library's one export. Everything else is linked in with hidden
// visibility, so this is the only symbol the host can resolve.
#include "contract/QuorvexControlInterface.h"
#include "loudlint/LoudlintClass.h"
#include "platform/Guard.h"

QVX_EXPORT int32_t QVX_CALL GetQuorvexControl(riffo::IQuorvexControl** control) {
  if (control == nullptr) return -1;
  *control = nullptr;
  return riffo::Guarded(u"dgn: Error in GetQuorvexControl - cannot load Loudlint module.", -1, [&] {
    *control = riffo::TLoudlint::CreateInstance();
    return *control != nullptr ? 0 : -1;
  });
}
