// peak-memory PROGRAM ARGS...: runs the program and prints, on standard error, the largest
// resident set of it and of every descendant it waited for (getrusage of the children), in KiB.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdio>

extern char** environ;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: peak-memory PROGRAM ARGS...\n");
    return 2;
  }
  pid_t pid;
  if (posix_spawnp(&pid, argv[1], nullptr, nullptr, argv + 1, environ) != 0) {
    std::perror("peak-memory");
    return 2;
  }
  int status = 0;
  waitpid(pid, &status, 0);
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  std::fprintf(stderr, "peak resident memory: %ld KiB\n", usage.ru_maxrss);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
