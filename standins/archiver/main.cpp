// Stand-in for the game's archiving tool, with its two command lines:
//   archive.exe -c SCRIPT -a OUT.vka -r ROOT   pack the files the TOC script lists
//   archive.exe -a IN.vka -e FOLDER            unpack every file under FOLDER
// Exit code 0 on success, 1 on failure, 2 on bad usage.
// The Windows build takes its arguments as UTF-16 and works in UTF-8 like the POSIX one.
#include <cstdio>
#include <string>
#include <vector>

#include "VkaFormat.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

int Run(const std::vector<std::string>& argv) {
  const int argc = static_cast<int>(argv.size());
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

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
    std::string arg(size > 0 ? static_cast<size_t>(size) : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, arg.data(), size, nullptr, nullptr);
    arg.resize(arg.size() - 1);
    args.push_back(arg);
  }
  return Run(args);
}
#else
int main(int argc, char** argv) {
  return Run(std::vector<std::string>(argv, argv + argc));
}
#endif
