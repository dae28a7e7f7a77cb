// The tests' stand-in for a started program: run_probe NAME REPORT FIFO.
//
// Appends to REPORT what it was given, as lines:
//   "start NAME <pid> <ppid> <session id>"
//   "SigBlk: <hex>", "SigIgn: <hex>" (from its own status)
//   "fd <n> <target>" for every descriptor it has open
//   "ready"
// then opens FIFO for reading, which waits for the test to open it for
// writing, reads it to its end and exits.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  std::string out = "start " + std::string(argv[1]) + " " + std::to_string(::getpid()) + " " +
                    std::to_string(::getppid()) + " " + std::to_string(::getsid(0)) + "\n";
  {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
      if (line.rfind("SigBlk:", 0) == 0 || line.rfind("SigIgn:", 0) == 0) out += line + "\n";
  }
  if (DIR* d = ::opendir("/proc/self/fd")) {
    while (dirent* e = ::readdir(d)) {
      if (e->d_name[0] == '.') continue;
      const int fd = std::atoi(e->d_name);
      if (fd == ::dirfd(d)) continue;
      char target[512] = {};
      const ssize_t n = ::readlink(("/proc/self/fd/" + std::string(e->d_name)).c_str(), target, sizeof target - 1);
      out += "fd " + std::to_string(fd) + " " + std::string(target, n > 0 ? n : 0) + "\n";
    }
    ::closedir(d);
  }
  out += "ready\n";
  const int report = ::open(argv[2], O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (report < 0 || ::write(report, out.data(), out.size()) != static_cast<ssize_t>(out.size())) return 3;
  ::close(report);

  const int fifo = ::open(argv[3], O_RDONLY | O_CLOEXEC);
  if (fifo < 0) return 4;
  char buf[64];
  while (::read(fifo, buf, sizeof buf) > 0) {
  }
  ::close(fifo);
  return 0;
}
