#pragma once
// Text files as the program writes them: 8-bit, no byte-order mark, every line ended by CR LF,
// created or truncated on each write. Failures raise EInOutError.
#include <string>
#include <vector>

namespace platform {

void WriteTextLines(const std::string& path, const std::vector<std::string>& lines);
// Lines without their ends (CR LF, LF or CR); raises EInOutError when the file cannot be read.
std::vector<std::string> ReadTextLines(const std::string& path);

}  // namespace platform
