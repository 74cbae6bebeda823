#pragma once
// Run-time loading of libraries by their Windows names. On POSIX the name "X.dll" is looked for
// as X.dll or libX.so in the program folder (a user's own copy comes first, as on Windows),
// then as the system's libX.so / libX.so.N, and last as our bundled stand-in libX-standin.so in
// the program folder or, failing that, where the stand-ins were installed.
#include <string>

namespace platform {

using LibraryHandle = void*;

LibraryHandle LoadLibrary(const std::string& name);  // nullptr when not found or not loadable
void* GetProcAddress(LibraryHandle library, const char* name);
void FreeLibrary(LibraryHandle library);
std::string LoadedLibraryPath(LibraryHandle library);  // the file that was loaded, for messages

// Test seam: whether step 2 (the system's libraries) is taken; on unless a test turns it off to
// see the program folder's rules alone on a machine that has the real library installed.
void SetSystemLibrarySearch(bool enabled);

}  // namespace platform
