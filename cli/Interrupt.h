// Ctrl+C for the commands that run long: the first one asks the run to stop
// (what has finished is kept and written), a second one ends the program at
// once with exit status 130.
#pragma once

namespace riffo::cli {

void InstallInterruptHandler();
bool Interrupted();

}  // namespace riffo::cli
