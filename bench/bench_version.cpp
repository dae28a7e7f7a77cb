// Cost of reading the program's product version from its own file (the
// start-up's ds_GetFileVersionInfo), on the real program file: the median
// time of a call and the peak resident memory the calls added.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "syslib/version.h"

int main() {
  using Clock = std::chrono::steady_clock;
  const std::string program = VELORN_EXE;
  rusage before{};
  ::getrusage(RUSAGE_SELF, &before);
  std::vector<double> us;
  std::string version;
  for (int i = 0; i < 200; ++i) {
    const auto t0 = Clock::now();
    version = syslib::ds_GetFileVersionInfo("ProductVersion", 0, &program);
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
  rusage after{};
  ::getrusage(RUSAGE_SELF, &after);
  std::sort(us.begin(), us.end());
  std::printf("bench_version: \"%s\" from %s: median %.1f us, worst %.1f us, peak memory +%ld kB\n", version.c_str(),
              program.c_str(), us[us.size() / 2], us.back(), after.ru_maxrss - before.ru_maxrss);
  return version.empty() ? 1 : 0;
}
