// Which validation modules a run uses: every module found (the default), or
// the ones named with --modules, so that a batch that wants only one kind of
// check does not pay for the others.
#pragma once

#include <cstdint>
#include <string>

#include "host/MediaValidationSession.h"

namespace riffo::cli {

// A comma-separated list of module names as the reports show them
// ("Sonolint,Loudlint"), in any letter case, into a mask of module kinds.
// False with a reason for an empty list or an unknown name.
bool ParseModuleList(const std::string& text, uint32_t& kinds, std::string& error);

// The names of the kinds in a mask from ParseModuleList that the session did
// not load, joined by ", "; empty when every named module is there. The
// default mask (every kind) asks for no module in particular.
std::string MissingModules(const TMediaValidationSession& session, uint32_t kinds);

}  // namespace riffo::cli
