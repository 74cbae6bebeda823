#include "archives/ZipDlls.h"

#include "archives/Zip.h"
#include "platform/Library.h"

namespace ZipDlls {
namespace {

// Process-wide: every TZip shares the one loaded library.
platform::LibraryHandle g_library = nullptr;
UnzDllExecFunc g_exec = nullptr;
GetUnzDllVersionFunc g_version = nullptr;

void Forget() {
  platform::FreeLibrary(g_library);
  g_library = nullptr;
  g_exec = nullptr;
  g_version = nullptr;
}

}  // namespace

bool LoadUnzipLibrary(const std::string& dllDirectory) {
  if (g_library) return true;
  // The platform's library search stands in for the system's when no folder is given.
  const std::string path = dllDirectory.empty()
                               ? std::string(kUnzipLibraryName)
                               : ZipUnit::AddBackslash(dllDirectory) + kUnzipLibraryName;
  g_library = platform::LoadLibrary(path);
  if (!g_library) return false;
  g_exec = reinterpret_cast<UnzDllExecFunc>(platform::GetProcAddress(g_library, "UnzDllExec"));
  g_version = reinterpret_cast<GetUnzDllVersionFunc>(
      platform::GetProcAddress(g_library, "GetUnzDllVersion"));
  if (!g_exec || !g_version) {
    Forget();
    return false;
  }
  if (g_version() < static_cast<uint32_t>(kUnzipParamsVersion)) {
    Forget();
    throw ZipException("Error - invalid version of ZipDll.dll or UnzDll.dll");
  }
  return true;
}

void UnloadUnzipLibrary() {
  if (g_library) Forget();
}

bool UnzipLibraryLoaded() {
  return g_library != nullptr;
}

int32_t UnzDllExec(UnzipParams* params) {
  return g_exec(params);
}

}  // namespace ZipDlls
