#pragma once
// Where the program lives and how names of existing files are found. The program was designed
// for a file system that ignores case; on POSIX every path naming an existing file or folder is
// resolved component by component (exact match first, else the one entry that matches ignoring
// ASCII case).
#include <string>

namespace platform {

// Folder of the running executable, without a trailing separator. Tests may point it elsewhere.
std::string ProgramFolder();
void SetProgramFolder(const std::string& folder);  // empty: back to the executable's folder

// Resolves every existing component of path case-insensitively. Components that do not exist
// (and everything after them) keep the spelling given, so the result can name a new file.
std::string ResolvePath(const std::string& path);

std::string CurrentFolder();
bool SetCurrentFolder(const std::string& folder);

}  // namespace platform
