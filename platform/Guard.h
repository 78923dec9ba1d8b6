// The system's failure convention in one place: an operation runs its body,
// any exception that escapes is caught here, one trace line is written and the
// operation's failure value is returned. Nothing ever propagates to the caller.
//
//   return riffo::Guarded(u"dgn: Error in TWAVCommonChunk.LoadFile call...",
//                         E_FAIL, [&] { ...; return S_OK; });
#pragma once

#include <string_view>
#include <utility>

#include "platform/DebugTrace.h"

namespace riffo {

template <typename Result, typename Body>
Result Guarded(std::u16string_view traceLine, Result failure, Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    DebugTrace(traceLine);
    return failure;
  }
}

// For operations without a result (destructors, event handlers).
template <typename Body>
void GuardedVoid(std::u16string_view traceLine, Body&& body) noexcept {
  try {
    std::forward<Body>(body)();
  } catch (...) {
    DebugTrace(traceLine);
  }
}

}  // namespace riffo
