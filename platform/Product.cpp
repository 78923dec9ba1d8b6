#include "platform/Product.h"

namespace riffo {

// The build passes the version to this file alone, so a new version
// recompiles one file.
const char* ProgramVersion() { return RIFFOSCOPE_VERSION; }

const char16_t* ProgramRelease() { return u"" RIFFOSCOPE_RELEASE; }

}  // namespace riffo
