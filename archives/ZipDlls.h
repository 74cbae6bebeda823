#pragma once
// The process-wide binding of the unzip library: one handle and two entry points, shared by
// every TZip, empty until the first Extract needs them.
#include <cstdint>
#include <string>

#include "archives/UnzipParams.h"

namespace ZipDlls {

inline constexpr const char* kUnzipLibraryName = "UnzDll.dll";

// True when the library is (or already was) loaded and bound. Raises ZipException when the
// library is older than the block it would be handed.
bool LoadUnzipLibrary(const std::string& dllDirectory);
void UnloadUnzipLibrary();
bool UnzipLibraryLoaded();
// Calls the bound UnzDllExec; the library must be loaded.
int32_t UnzDllExec(UnzipParams* params);

}  // namespace ZipDlls
