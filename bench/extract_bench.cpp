// Extraction time against the number of entries: stored RAR 5 packages through TRAR and stored
// ZIP packages through TZip, both over the bundled stand-in libraries and both flat into one
// folder as the conversion extracts. Prints the best of N rounds for a small and a ten times
// larger package of each kind and the ratio large / small (linear work gives about 10).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "RarWriter.h"
#include "ZipWriter.h"
#include "archives/RAR.h"
#include "archives/Zip.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string EntryName(int i) {
  char name[48];
  std::snprintf(name, sizeof name, "Map%d/image_%06d.tga", i % 7, i);
  return name;
}

std::string WriteRarPackage(const std::string& folder, int entries) {
  std::vector<rartest::Item> items;
  items.reserve(entries);
  for (int i = 0; i < entries; ++i) items.push_back({EntryName(i), std::string(16, 'r')});
  return rartest::SaveVolumes(rartest::WriteRar5(items), folder, "pkg" + std::to_string(entries))
      .front();
}

std::string WriteZipPackage(const std::string& folder, int entries) {
  std::vector<ziptest::ZipEntry> items;
  items.reserve(entries);
  for (int i = 0; i < entries; ++i) items.push_back(ziptest::FileEntry(EntryName(i), "zip data"));
  const std::string path = folder + "/pkg" + std::to_string(entries) + ".zip";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  const std::string bytes = ziptest::BuildZip(items);
  if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) std::abort();
  std::fclose(file);
  return path;
}

bool ExtractRar(const std::string& archive, const std::string& out) {
  TRAR rar;
  rar.SetDllName(std::string(VV_PROGRAM_DIR) + "/libunrar-standin.so");
  return rar.OpenArchiveFile(archive) && rar.Extract(out, false, nullptr);
}

bool ExtractZip(const std::string& archive, const std::string& out, int entries) {
  const std::string current = platform::CurrentFolder();
  TZip zip;
  zip.SetShowProgressDialog(false);
  zip.SetExtractDir(out);
  zip.SetZipFileName(archive);
  const bool ok = zip.Extract() == entries;
  platform::SetCurrentFolder(current);  // TZip leaves it in the extraction folder
  return ok;
}

// Best time of rounds extractions into a fresh folder each; negative when one failed.
double Best(int rounds, const std::string& work,
            const std::function<bool(const std::string&)>& run) {
  double best = 1e9;
  for (int round = 0; round < rounds; ++round) {
    const std::string out = work + "/out";
    platform::DeleteTree(out);
    platform::CreateDir(out);
    const auto start = Clock::now();
    if (!run(out)) return -1;
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  platform::DeleteTree(work + "/out");
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const int rarSmall = argc > 2 ? std::atoi(argv[2]) : 10000;
  // A ZIP without ZIP64 counts at most 65,535 entries: its large package holds 65,000.
  const int zipSmall = argc > 3 ? std::atoi(argv[3]) : 6500;
  const char* base = std::getenv("TMPDIR");
  const std::string work =
      std::string(base && *base ? base : "/tmp") + "/extract_bench_" + std::to_string(getpid());
  platform::CreateDir(work);
  platform::SetProgramFolder(VV_PROGRAM_DIR);  // where TZip finds the stand-in unzip library

  bool ok = true;
  for (const bool rar : {true, false}) {
    const int small = rar ? rarSmall : zipSmall;
    double times[2] = {0, 0};
    for (int k = 0; k < 2 && ok; ++k) {
      const int entries = small * (k == 0 ? 1 : 10);
      const std::string archive =
          rar ? WriteRarPackage(work, entries) : WriteZipPackage(work, entries);
      times[k] = Best(rounds, work, [&](const std::string& out) {
        return rar ? ExtractRar(archive, out) : ExtractZip(archive, out, entries);
      });
      platform::DeleteFile(archive);
      ok = times[k] >= 0;
      if (ok) std::printf("%s %d entries: %.3f s\n", rar ? "TRAR" : "TZip", entries, times[k]);
    }
    if (ok)
      std::printf("%s ratio %dx / %d: %.2f\n", rar ? "TRAR" : "TZip", small * 10, small,
                  times[1] / times[0]);
  }
  platform::DeleteTree(work);
  if (!ok) std::fprintf(stderr, "an extraction failed\n");
  return ok ? 0 : 1;
}
