#include "VkaFormat.h"

#include <cstring>

#include "platform/DeviceNames.h"
#include "platform/LittleEndian.h"

namespace vka {
namespace {

void Put16(std::string& out, uint16_t v) {
  platform::AppendLe(out, v, 2);
}
void Put32(std::string& out, uint32_t v) {
  platform::AppendLe(out, v, 4);
}
void Put64(std::string& out, uint64_t v) {
  platform::AppendLe(out, v, 8);
}
void PutText(std::string& out, const std::string& text) {
  Put16(out, static_cast<uint16_t>(text.size()));
  out += text.substr(0, 0xFFFF);
}

class Reader {
 public:
  explicit Reader(const std::string& bytes) : bytes_(bytes) {}
  bool Get(uint64_t& v, int width) {
    if (bytes_.size() - pos_ < static_cast<size_t>(width)) return false;
    v = platform::GetLe(bytes_.data() + pos_, width);
    pos_ += width;
    return true;
  }
  bool GetText(std::string& text) {
    uint64_t len;
    if (!Get(len, 2) || bytes_.size() - pos_ < len) return false;
    text = bytes_.substr(pos_, len);
    pos_ += len;
    return true;
  }
  bool AtEnd() const { return pos_ == bytes_.size(); }

 private:
  const std::string& bytes_;
  size_t pos_ = 0;
};

}  // namespace

std::string EncodeHeader(uint64_t tableOffset, uint32_t count) {
  std::string out(kMagic, 4);
  Put16(out, kVersion);
  Put16(out, 0);
  Put64(out, tableOffset);
  Put32(out, count);
  out.append(kHeaderSize - out.size(), '\0');
  return out;
}

std::string EncodeTable(const Toc& toc) {
  std::string out;
  PutText(out, toc.archiveName);
  PutText(out, toc.tocName);
  PutText(out, toc.alias);
  for (const Entry& e : toc.entries) {
    PutText(out, e.path);
    out.push_back(static_cast<char>(e.method));
    out.push_back('\0');
    Put64(out, e.offset);
    Put64(out, e.packedSize);
    Put64(out, e.size);
    Put32(out, e.crc);
  }
  return out;
}

bool DecodeTable(const std::string& bytes, uint32_t count, Toc& toc, std::string& reason) {
  Reader in(bytes);
  if (!in.GetText(toc.archiveName) || !in.GetText(toc.tocName) || !in.GetText(toc.alias)) {
    reason = "table of contents is truncated";
    return false;
  }
  toc.entries.clear();
  for (uint32_t i = 0; i < count; ++i) {
    Entry e;
    uint64_t method, reserved, crc;
    if (!in.GetText(e.path) || !in.Get(method, 1) || !in.Get(reserved, 1) || !in.Get(e.offset, 8) ||
        !in.Get(e.packedSize, 8) || !in.Get(e.size, 8) || !in.Get(crc, 4)) {
      reason = "entry table is truncated";
      return false;
    }
    if (method != kStored && method != kDeflated) {
      reason = "unknown compression method in entry " + e.path;
      return false;
    }
    e.method = static_cast<uint8_t>(method);
    e.crc = static_cast<uint32_t>(crc);
    toc.entries.push_back(std::move(e));
  }
  if (!in.AtEnd()) {
    reason = "unexpected bytes after the entry table";
    return false;
  }
  return true;
}

bool SafeRelativePath(const std::string& path) {
  if (path.empty() || path.front() == '/') return false;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    for (unsigned char c : part)
      if (c < 0x20 || c == 0x7F || c == '\\') return false;
#ifdef _WIN32
    // Windows would read these as a drive, a stream, a device or another name.
    if (part.find_first_of("<>:\"|?*") != std::string::npos || part.back() == ' ' ||
        part.back() == '.' || platform::IsWindowsDeviceName(part))
      return false;
#endif
    start = end + 1;
  }
  return true;
}

void Fail(const std::string& message) {
  std::fprintf(stderr, "archive.exe: %s\n", message.c_str());
}

}  // namespace vka
