// Extraction of a large RAR archive: TRAR over the bundled UnRAR stand-in against `bsdtar -xf`
// on the same file, best of N rounds each, printed as the ratio ours / bsdtar. Without an
// archive argument it writes one (stored entries, RAR 5) into $TMPDIR.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "RarWriter.h"
#include "archives/RAR.h"
#include "platform/Files.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

bool RunBsdtar(const std::string& archive, const std::string& folder) {
  const char* argv[] = {"bsdtar", "-xf", archive.c_str(), "-C", folder.c_str(), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, "bsdtar", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
    return false;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Files of pseudo-random bytes in a few folders, as a map package might hold them.
std::string WriteBenchArchive(const std::string& folder, int files, size_t fileSize) {
  std::mt19937_64 random(42);
  std::vector<rartest::Item> items;
  for (int i = 0; i < files; ++i) {
    std::string data(fileSize, '\0');
    for (size_t at = 0; at + 8 <= data.size(); at += 8) {
      const uint64_t word = random();
      std::copy_n(reinterpret_cast<const char*>(&word), 8, data.data() + at);
    }
    items.push_back({"maps/map" + std::to_string(i % 4) + "/file" + std::to_string(i) + ".bin",
                     std::move(data)});
  }
  return rartest::SaveVolumes(rartest::WriteRar5(items), folder, "rar_bench").front();
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const char* base = std::getenv("TMPDIR");
  const std::string work =
      std::string(base && *base ? base : "/tmp") + "/rar_bench_" + std::to_string(getpid());
  platform::CreateDir(work);
  const bool own = argc <= 2;
  const std::string archive = own ? WriteBenchArchive(work, 24, 4 << 20) : argv[2];
  std::printf("archive: %s, %.1f MB\n", archive.c_str(), platform::FileSize(archive) / 1e6);

  double ours = 1e9, reference = 1e9;
  bool ok = true;
  for (int round = 0; round < rounds && ok; ++round) {
    const std::string mine = work + "/ours", theirs = work + "/bsdtar";
    platform::DeleteTree(mine);
    platform::DeleteTree(theirs);
    platform::CreateDir(mine);
    platform::CreateDir(theirs);
    auto start = Clock::now();
    {
      TRAR rar;
      rar.SetDllName(std::string(VV_PROGRAM_DIR) + "/libunrar-standin.so");
      ok = rar.OpenArchiveFile(archive) && rar.Extract(mine, true, nullptr);
    }
    ours = std::min(ours, Seconds(start));
    start = Clock::now();
    ok = RunBsdtar(archive, theirs) && ok;
    reference = std::min(reference, Seconds(start));
  }
  platform::DeleteTree(work + "/ours");
  platform::DeleteTree(work + "/bsdtar");
  if (own) platform::DeleteFile(archive);
  platform::RemoveDir(work);
  if (!ok) {
    std::fprintf(stderr, "an extraction failed (is libarchive-tools installed?)\n");
    return 1;
  }
  std::printf("TRAR %.1f ms, bsdtar -xf %.1f ms, ratio %.3f\n", ours * 1e3, reference * 1e3,
              ours / reference);
  return 0;
}
