// One report line as the host collects it from a module.
#pragma once

#include <cstdint>
#include <string>

namespace riffo {

struct TCustomReport {
  int32_t Module = 0;      // module identifier (a single bit; 0 the host)
  int32_t ReportType = 0;  // 0 None, 1 Info, 2 Warning, 3 Error
  std::u16string ReportMessage;
  int32_t StreamID = -1;  // negative: the line concerns no stream
};

}  // namespace riffo
