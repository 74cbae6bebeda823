// Writes the fuzz target's seed corpus into the folder given as the only argument.
#include <cstdio>
#include <fstream>

#include "TgaTestWriter.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  for (const auto& [name, bytes] : tgatest::SeedCorpus()) {
    std::ofstream out(std::string(argv[1]) + "/" + name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    if (!out) return 1;
  }
  return 0;
}
