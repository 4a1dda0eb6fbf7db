// Runs a piece of code in a child process under a memory cap: a watchdog in the child ends it
// as soon as its resident memory grows by more than the cap (rlimits don't work under
// AddressSanitizer, which reserves terabytes of address space).
#pragma once
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <thread>

#if defined(__SANITIZE_ADDRESS__)
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace vltest {

struct TCapped {
  bool Finished = false;     // the code returned (no crash, no cap, no time-out)
  bool OverCap = false;      // the watchdog stopped it
  int64_t PeakGrowthKB = 0;  // highest resident growth seen, in KB
};

// Resident set of this process in KB.
inline int64_t ResidentKB() {
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (!f) return 0;
  long pages = 0, resident = 0;
  if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
  std::fclose(f);
  return int64_t(resident) * (sysconf(_SC_PAGESIZE) / 1024);
}

// Highest resident set of this process so far, in KB.
inline int64_t PeakResidentKB() {
  FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return 0;
  char line[256];
  long kb = 0;
  while (std::fgets(line, sizeof line, f))
    if (std::sscanf(line, "VmHWM: %ld", &kb) == 1) break;
  std::fclose(f);
  return kb;
}

// Runs fn() in a forked child; the child is stopped when its resident memory grows by more
// than capMB or when it runs past seconds.
template <class Fn>
TCapped RunCapped(int64_t capMB, Fn&& fn, unsigned seconds = 120) {
  int fds[2];
  TCapped r;
  if (pipe(fds) != 0) return r;
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    alarm(seconds);
    // Start the peak afresh at the child's own resident set.
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
      std::fputs("5", f);
      std::fclose(f);
    }
    const int64_t base = ResidentKB();
    std::atomic<int64_t> peak{0};
    std::atomic<bool> done{false};
    std::thread watch([&] {
      while (!done) {
        int64_t g = PeakResidentKB() - base;
        if (g > peak) peak = g;
        if (g > capMB * 1024) {
          int64_t msg[2] = {2, g};
          (void)!write(fds[1], msg, sizeof msg);
          _exit(3);
        }
        usleep(2000);
      }
    });
    fn();
    done = true;
    watch.join();
    int64_t g = PeakResidentKB() - base;
    int64_t msg[2] = {1, g > peak ? g : int64_t(peak)};
    (void)!write(fds[1], msg, sizeof msg);
    _exit(0);
  }
  close(fds[1]);
  int64_t msg[2] = {0, 0};
  ssize_t n = read(fds[0], msg, sizeof msg);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (n == ssize_t(sizeof msg)) {
    r.Finished = msg[0] == 1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    r.OverCap = msg[0] == 2;
    r.PeakGrowthKB = msg[1];
  }
  return r;
}

// Memory the program holds, in KB: what the allocator has handed out and not had back (the
// sanitizer keeps freed blocks resident a while, so its count is the one to go by), else the
// resident set.
inline int64_t HeldKB() {
#if defined(__SANITIZE_ADDRESS__)
  return int64_t(__sanitizer_get_current_allocated_bytes() / 1024);
#else
  return ResidentKB();
#endif
}

}  // namespace vltest
