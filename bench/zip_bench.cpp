// Directory read of a ZIP archive with 65,535 entries: TZip against `bsdtar -tf` on the same file,
// best of N rounds each, printed as the ratio ours / bsdtar.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "ZipWriter.h"
#include "archives/Zip.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// Runs bsdtar -tf on the archive with its output discarded; false when it failed.
bool RunBsdtar(const std::string& archive) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  const char* argv[] = {"bsdtar", "-tf", archive.c_str(), nullptr};
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, "bsdtar", &actions, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const char* base = std::getenv("TMPDIR");
  const std::string archive = std::string(base && *base ? base : "/tmp") + "/zip_bench_" +
                              std::to_string(getpid()) + ".zip";

  std::vector<ziptest::ZipEntry> entries;
  entries.reserve(65535);
  for (int i = 0; i < 65535; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "maps/map%04d/image_%05d.tga", i / 100, i);
    entries.push_back(ziptest::FileEntry(name, std::string(16, static_cast<char>('a' + i % 26))));
  }
  {
    const std::string bytes = ziptest::BuildZip(entries);
    std::ofstream(archive, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    std::printf("archive: %zu entries, %.1f MB\n", entries.size(), bytes.size() / 1e6);
  }

  double ours = 1e9, reference = 1e9;
  size_t listed = 0;
  for (int round = 0; round < rounds; ++round) {
    auto start = Clock::now();
    {
      TZip zip;
      zip.SetZipFileName(archive);
      listed = zip.Directory().size();
    }
    ours = std::min(ours, Seconds(start));
    start = Clock::now();
    if (!RunBsdtar(archive)) {
      std::fprintf(stderr, "bsdtar -tf failed (is libarchive-tools installed?)\n");
      std::remove(archive.c_str());
      return 1;
    }
    reference = std::min(reference, Seconds(start));
  }
  std::remove(archive.c_str());
  if (listed != entries.size()) {
    std::fprintf(stderr, "TZip listed %zu entries\n", listed);
    return 1;
  }
  std::printf("TZip directory read:  %8.2f ms (best of %d)\n", ours * 1e3, rounds);
  std::printf("bsdtar -tf:           %8.2f ms (best of %d)\n", reference * 1e3, rounds);
  std::printf("ratio ours / bsdtar:  %8.3f\n", ours / reference);
  return 0;
}
