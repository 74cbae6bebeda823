// Stand-in for the game's archiving tool, with its two command lines:
//   archive.exe -c SCRIPT -a OUT.vka -r ROOT   pack the files the TOC script lists
//   archive.exe -a IN.vka -e FOLDER            unpack every file under FOLDER
// Exit code 0 on success, 1 on failure, 2 on bad usage.
#include <cstdio>
#include <string>

#include "VkaFormat.h"

int main(int argc, char** argv) {
  std::string script, archive, root, folder;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    std::string* target = arg == "-c"   ? &script
                          : arg == "-a" ? &archive
                          : arg == "-r" ? &root
                          : arg == "-e" ? &folder
                                        : nullptr;
    if (!target || i + 1 >= argc || !target->empty()) {
      target = nullptr;
      std::fprintf(stderr,
                   "usage: archive.exe -c SCRIPT -a OUT.vka -r ROOT\n"
                   "       archive.exe -a IN.vka -e FOLDER\n");
      return 2;
    }
    *target = argv[++i];
  }
  if (!script.empty() && !archive.empty() && !root.empty() && folder.empty())
    return vka::Pack(script, archive, root);
  if (!archive.empty() && !folder.empty() && script.empty() && root.empty())
    return vka::Unpack(archive, folder);
  std::fprintf(stderr,
               "usage: archive.exe -c SCRIPT -a OUT.vka -r ROOT\n"
               "       archive.exe -a IN.vka -e FOLDER\n");
  return 2;
}
