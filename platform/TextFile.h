#pragma once
// Text files as the program writes them: 8-bit, no byte-order mark, every line ended by CR LF,
// created or truncated on each write. Failures raise EInOutError.
#include <string>
#include <vector>

namespace platform {

void WriteTextLines(const std::string& path, const std::vector<std::string>& lines);
// The same for a file that must be new: created exclusively and never through a symbolic link,
// so a name that anything stands under (a planted link included) makes it raise.
void WriteNewTextFile(const std::string& path, const std::vector<std::string>& lines);
// Lines without their ends (CR LF, LF or CR); raises EInOutError when the file cannot be read.
std::vector<std::string> ReadTextLines(const std::string& path);

}  // namespace platform
