#include "TestSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>

#include "platform/Paths.h"

namespace vvtest {

void InstallStandins(const std::string& folder, Install how, bool withArchiver) {
  namespace fs = std::filesystem;
  for (const char* name : {"archive.exe", "libUnzDll-standin.so", "libunrar-standin.so"}) {
    if (!withArchiver && std::string(name) == "archive.exe") continue;
    const fs::path from = fs::path(ProgramDir()) / name, to = fs::path(folder) / name;
    if (!fs::exists(from)) continue;
    if (how == Install::Copy)
      fs::copy_file(from, to);
    else
      symlink(from.c_str(), to.c_str());
  }
}

ScopedProgramFolder::ScopedProgramFolder(const std::string& folder, Install how, bool withArchiver)
    : previousCurrent_(platform::CurrentFolder()) {
  InstallStandins(folder, how, withArchiver);
  platform::SetProgramFolder(folder);
}

ScopedProgramFolder::~ScopedProgramFolder() {
  platform::SetProgramFolder("");
  platform::SetCurrentFolder(previousCurrent_);
}

int RunProgram(const std::vector<std::string>& argv, const std::string& folder,
               const std::string& outputFile) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  const std::string out = outputFile.empty() ? "/dev/null" : outputFile;
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> Tree(const std::string& folder, const std::string& sub) {
  std::vector<std::string> out;
  DIR* dir = opendir((sub.empty() ? folder : folder + "/" + sub).c_str());
  if (!dir) return out;
  while (dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    const std::string rel = sub.empty() ? name : sub + "/" + name;
    struct stat st;
    if (lstat((folder + "/" + rel).c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      auto inner = Tree(folder, rel);
      out.insert(out.end(), inner.begin(), inner.end());
    } else {
      out.push_back(rel);
    }
  }
  closedir(dir);
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace vvtest
