// memprep_measure CMD [ARGS...]: runs CMD with its standard output and error passed on, and
// prints on standard error, after them, one line "WALL_US CPU_US PEAK_KB": the wall time,
// the user + system time of CMD (microseconds, from the kernel's accounting) and its peak
// resident memory. Exits with CMD's status (1 when it could not run, or ended by a signal).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: memprep_measure CMD [ARGS...]\n");
    return 2;
  }
  const auto t0 = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid < 0) return 1;
  if (pid == 0) {
    ::execvp(argv[1], argv + 1);
    std::perror(argv[1]);
    ::_exit(127);
  }
  int status = 0;
  rusage ru{};
  if (::wait4(pid, &status, 0, &ru) != pid) return 1;
  const auto t1 = std::chrono::steady_clock::now();
  const long long wall = std::chrono::duration_cast<std::chrono::microseconds>(t1 - t0).count();
  const long long cpu = (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000000LL +
                        ru.ru_utime.tv_usec + ru.ru_stime.tv_usec;
  std::fprintf(stderr, "%lld %lld %ld\n", wall, cpu, ru.ru_maxrss);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
