// The processors this process may run on, and keeping a process on one.
#pragma once

#include <vector>

namespace riffo {

// The processors the process may run on, in ascending order: the affinity
// set, which a cpuset, `taskset` or a cluster's job slot may make smaller
// than the machine. Never empty (processor 0 when the set cannot be read).
std::vector<int> UsableProcessors();

// The number of processors in UsableProcessors().
unsigned UsableProcessorCount();

// Keeps the calling thread, and every thread and program it starts from now
// on, on the one processor. False when the system refuses.
bool KeepOnProcessor(int processor);

}  // namespace riffo
