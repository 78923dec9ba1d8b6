#include "platform/Processors.h"

#include <sched.h>
#include <unistd.h>

namespace riffo {

std::vector<int> UsableProcessors() {
  std::vector<int> processors;
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0) {
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
      if (CPU_ISSET(cpu, &set)) processors.push_back(cpu);
  } else {
    // More processors than a cpu_set_t holds: every online one.
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    for (long cpu = 0; cpu < online && cpu < CPU_SETSIZE; ++cpu)
      processors.push_back(static_cast<int>(cpu));
  }
  if (processors.empty()) processors.push_back(0);
  return processors;
}

unsigned UsableProcessorCount() { return static_cast<unsigned>(UsableProcessors().size()); }

bool KeepOnProcessor(int processor) {
  if (processor < 0 || processor >= CPU_SETSIZE) return false;
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(processor, &set);
  return ::sched_setaffinity(0, sizeof set, &set) == 0;
}

}  // namespace riffo
