#include "platform/Library.h"

#include <dlfcn.h>
#include <link.h>

#include <vector>

#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Strings.h"

namespace platform {
namespace {

void* Open(const std::string& file) {
  return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
}

// A file of the program folder, found case-insensitively; empty when there is none.
std::string InProgramFolder(const std::string& name) {
  std::string path = ResolvePath(JoinPath(ProgramFolder(), name));
  return FileExists(path) ? path : std::string();
}

bool g_systemSearch = true;

}  // namespace

void SetSystemLibrarySearch(bool enabled) {
  g_systemSearch = enabled;
}

LibraryHandle LoadLibrary(const std::string& name) {
  if (name.empty()) return nullptr;
  if (name.find(kPathDelim) != std::string::npos) return Open(ResolvePath(name));

  std::string stem = SameText(ExtractFileExt(name), ".dll") ? ChangeFileExt(name, "") : name;
  // 1. A user's own copy beside the program, under the Windows name or the POSIX one.
  for (const std::string& local : {name, "lib" + stem + ".so"}) {
    std::string path = InProgramFolder(local);
    if (!path.empty())
      if (void* handle = Open(path)) return handle;
  }
  // 2. The system's library, unversioned or with a major version.
  if (g_systemSearch) {
    if (void* handle = Open("lib" + stem + ".so")) return handle;
    for (int major = 9; major >= 0; --major)
      if (void* handle = Open("lib" + stem + ".so." + std::to_string(major))) return handle;
  }
  // 3. Our bundled stand-in: a copy in the program folder, else the installed one.
  std::string standin = FindProgramFile("lib" + stem + "-standin.so");
  return standin.empty() ? nullptr : Open(standin);
}

void* GetProcAddress(LibraryHandle library, const char* name) {
  return library ? dlsym(library, name) : nullptr;
}

void FreeLibrary(LibraryHandle library) {
  if (library) dlclose(library);
}

std::string LoadedLibraryPath(LibraryHandle library) {
  link_map* map = nullptr;
  if (!library || dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name)
    return std::string();
  return map->l_name;
}

}  // namespace platform
