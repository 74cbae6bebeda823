#include "platform/TextFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/Exceptions.h"
#include "platform/Paths.h"

namespace platform {
namespace {

std::string IoErrorMessage(const char* action, const std::string& path, int error) {
  return std::string("Cannot ") + action + " file \"" + path + "\": " + std::strerror(error);
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

void WriteAndClose(FILE* file, const std::string& path, const std::vector<std::string>& lines) {
  const std::string text = JoinLines(lines);
  bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  int error = errno;
  if (std::fclose(file) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (!ok) throw EInOutError(IoErrorMessage("write", path, error));
}

}  // namespace

void WriteTextLines(const std::string& path, const std::vector<std::string>& lines) {
  std::string resolved = ResolvePath(path);
  FILE* file = std::fopen(resolved.c_str(), "wb");
  if (!file) throw EInOutError(IoErrorMessage("write", path, errno));
  WriteAndClose(file, path, lines);
}

void WriteNewTextFile(const std::string& path, const std::vector<std::string>& lines) {
  const int fd =
      open(ResolvePath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) throw EInOutError(IoErrorMessage("write", path, errno));
  FILE* file = fdopen(fd, "wb");
  if (!file) {
    const int error = errno;
    close(fd);
    throw EInOutError(IoErrorMessage("write", path, error));
  }
  WriteAndClose(file, path, lines);
}

std::vector<std::string> ReadTextLines(const std::string& path) {
  std::string resolved = ResolvePath(path);
  FILE* file = std::fopen(resolved.c_str(), "rb");
  if (!file) throw EInOutError(IoErrorMessage("read", path, errno));
  std::string text;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  bool failed = std::ferror(file) != 0;
  int error = errno;
  std::fclose(file);
  if (failed) throw EInOutError(IoErrorMessage("read", path, error));

  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
  return lines;
}

}  // namespace platform
