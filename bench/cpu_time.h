// CPU time for the benchmarks: this process's and that of its ended (reaped) children, where
// LibreOffice runs started per conversion are counted.
#pragma once

#include <sys/resource.h>

inline double CpuSeconds() {
  double total = 0;
  for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
    rusage usage{};
    getrusage(who, &usage);
    total += usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  }
  return total;
}
