#include "WorkflowFixture.h"

#include <zlib.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <stdexcept>

namespace wftest {

std::vector<std::string> WorkflowTest::Tree(const std::string& folder, const std::string& sub) {
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

void WriteZip(const std::string& path, const Files& files) {
  archive* a = archive_write_new();
  archive_write_set_format_zip(a);
  if (archive_write_open_filename(a, path.c_str()) != ARCHIVE_OK)
    throw std::runtime_error("cannot write " + path);
  for (const auto& [name, data] : files) {
    archive_entry* e = archive_entry_new();
    archive_entry_set_pathname(e, name.c_str());
    archive_entry_set_filetype(e, AE_IFREG);
    archive_entry_set_perm(e, 0644);
    archive_entry_set_size(e, static_cast<la_int64_t>(data.size()));
    archive_write_header(a, e);
    archive_write_data(a, data.data(), data.size());
    archive_entry_free(e);
  }
  archive_write_close(a);
  archive_write_free(a);
}

Files DesertFiles(const std::string& base) {
  return {
      {base + ".vkb", "VKB scenario of " + base + std::string(3000, 'v')},
      {base + ".info", "HeaderInfo\r\n{\r\n  MaxPlayers = 4,\r\n}\r\n"},
      {base + ".scar", "-- script\r\n"},
      {base + ".tga", "loading image"},
      {base + "_map_base.tga", "map base"},
      {base + "_map_slots.tga", "map slots"},
      {base + "_mm.tga", "minimap"},
      {base + "_tml.tga", "tml"},
      {base + "_tty.tga", "tty"},
  };
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

// A container written by hand, for entries the packer would never make.
std::string Container(const std::string& path, const std::string& data, uint32_t crc) {
  auto le = [](uint64_t v, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
    return s;
  };
  auto text = [&](const std::string& t) { return le(t.size(), 2) + t; };
  const uint64_t tableOffset = 32 + data.size();
  std::string out =
      "VVKA" + le(1, 2) + le(0, 2) + le(tableOffset, 8) + le(1, 4) + std::string(12, '\0');
  out += data;
  out += text("a") + text("a") + text("Data") + text(path) + le(0, 1) + le(0, 1) + le(32, 8) +
         le(data.size(), 8) + le(data.size(), 8) + le(crc, 4);
  return out;
}

uint32_t Crc(const std::string& s) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

}  // namespace wftest
