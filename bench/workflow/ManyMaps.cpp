// One package holding many tiny maps, converted by varevudov-cli: 1,000 maps against 4,000 in
// the same run. The work per map is the same, so the CPU time (front end and every archive.exe
// it ran) should grow with the number of maps, a ratio near 4 (goal: at most 5).
//   many-maps BIN_FOLDER [SMALL [LARGE]]
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "ZipWriter.h"

namespace {

namespace fs = std::filesystem;

double ChildCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// CPU seconds of converting one package of `maps` maps (a VKB file, an info file and a loading
// image each) in a program folder of its own under root.
double Convert(const fs::path& bin, const fs::path& root, int maps) {
  const fs::path prog = root / ("prog" + std::to_string(maps));
  const fs::path out = root / ("out" + std::to_string(maps));
  fs::create_directories(prog);
  fs::create_directories(out);
  fs::permissions(prog, fs::perms::owner_all);
  // A copy: the program finds its folder through its own path.
  fs::copy_file(bin / "varevudov-cli", prog / "varevudov-cli");
  for (const char* name : {"archive.exe", "libunrar-standin.so", "libUnzDll-standin.so"})
    fs::create_symlink(bin / name, prog / name);
  ziptest::Files files;
  for (int i = 0; i < maps; ++i) {
    const std::string name = "map" + std::to_string(i);
    files.push_back({name + ".vkb", "scenario " + name});
    files.push_back({name + ".info", "HeaderInfo\r\nMaxPlayers = 2\r\n"});
    files.push_back({name + ".tga", "loading " + name});
  }
  const fs::path package = root / ("many" + std::to_string(maps) + ".zip");
  ziptest::WriteZip(package, files);

  const double before = ChildCpuSeconds();
  std::fflush(stdout);  // or the child's copy of the buffer is written again
  const pid_t pid = fork();
  if (pid == 0) {
    if (!freopen("/dev/null", "w", stdout)) _exit(127);
    const std::string cli = prog / "varevudov-cli";
    execl(cli.c_str(), cli.c_str(), "--target", out.c_str(), package.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  const double seconds = ChildCpuSeconds() - before;
  size_t made = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(out)) ++made;
  std::printf("%5d maps: %7.2f CPU-s, %zu archives, exit %d\n", maps, seconds, made,
              WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: many-maps BIN_FOLDER [SMALL [LARGE]]\n");
    return 2;
  }
  const int small = argc > 2 ? std::atoi(argv[2]) : 1000;
  const int large = argc > 3 ? std::atoi(argv[3]) : 4000;
  char pattern[] = "/tmp/many-maps-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const fs::path root = pattern;
  const double a = Convert(argv[1], root, small);
  const double b = Convert(argv[1], root, large);
  std::printf("ratio %d / %d maps: %.2f (linear: %.2f, goal at most %.2f)\n", large, small, b / a,
              static_cast<double>(large) / small, 1.25 * large / small);
  fs::remove_all(root);
  return 0;
}
