// archive.exe -a IN.vka -e FOLDER: unpacks every entry under FOLDER with its relative path.
// Entries that would land outside FOLDER are refused; folders are walked without following
// links, and existing files are never overwritten. Payloads stream in small chunks.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "VkaFormat.h"

namespace vka {
namespace {

inline constexpr uint64_t kMaxTableBytes = 64ull << 20;

bool ReadExact(int fd, void* data, size_t size, uint64_t offset) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    ssize_t n = pread(fd, p, size, static_cast<off_t>(offset));
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

uint64_t Le(const unsigned char* p, int width) {
  uint64_t v = 0;
  for (int i = 0; i < width; ++i) v |= static_cast<uint64_t>(p[i]) << (8 * i);
  return v;
}

// Opens (creating as needed) the folders of path below base; returns the innermost folder's
// descriptor and leaves the last component in name. Links are never followed.
int OpenParent(int base, const std::string& path, std::string& name) {
  int dir = dup(base);
  size_t start = 0;
  for (;;) {
    size_t slash = path.find('/', start);
    if (slash == std::string::npos) {
      name = path.substr(start);
      return dir;
    }
    const std::string part = path.substr(start, slash - start);
    mkdirat(dir, part.c_str(), 0755);
    int next = openat(dir, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    close(dir);
    if (next < 0) return -1;
    dir = next;
    start = slash + 1;
  }
}

// Copies (inflating when needed) one payload into out and checks size and CRC.
bool CopyPayload(int in, int out, const Entry& e) {
  std::vector<unsigned char> buffer(kChunk), plain(kChunk);
  z_stream z{};
  if (e.method == kDeflated && inflateInit(&z) != Z_OK) return false;
  uLong crc = crc32(0, nullptr, 0);
  uint64_t done = 0, read = 0;
  bool ok = true, ended = e.method == kStored;
  while (ok && read < e.packedSize) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(kChunk, e.packedSize - read));
    if (!ReadExact(in, buffer.data(), n, e.offset + read)) {
      ok = false;
      break;
    }
    read += n;
    if (e.method == kStored) {
      crc = crc32(crc, buffer.data(), static_cast<uInt>(n));
      done += n;
      ok = WriteAll(out, buffer.data(), n);
      continue;
    }
    z.next_in = buffer.data();
    z.avail_in = static_cast<uInt>(n);
    while (ok && z.avail_in > 0 && !ended) {
      z.next_out = plain.data();
      z.avail_out = static_cast<uInt>(plain.size());
      int rc = inflate(&z, Z_NO_FLUSH);
      if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) ok = false;
      size_t have = plain.size() - z.avail_out;
      crc = crc32(crc, plain.data(), static_cast<uInt>(have));
      done += have;
      if (done > e.size) ok = false;
      if (ok) ok = WriteAll(out, plain.data(), have);
      if (rc == Z_STREAM_END) ended = true;
      if (rc == Z_BUF_ERROR && have == 0) break;
    }
  }
  if (e.method == kDeflated) inflateEnd(&z);
  return ok && ended && done == e.size && static_cast<uint32_t>(crc) == e.crc;
}

}  // namespace

int Unpack(const std::string& input, const std::string& folder) {
  int in = open(input.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st;
  if (in < 0 || fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    Fail("cannot open " + input);
    if (in >= 0) close(in);
    return 1;
  }
  const uint64_t fileSize = static_cast<uint64_t>(st.st_size);
  unsigned char header[kHeaderSize];
  Toc toc;
  std::string reason;
  if (!ReadExact(in, header, kHeaderSize, 0) || std::memcmp(header, kMagic, 4) != 0) {
    reason = "not a VKA archive";
  } else if (Le(header + 4, 2) != kVersion) {
    reason = "unsupported version";
  } else {
    const uint64_t tableOffset = Le(header + 8, 8);
    const uint64_t count = Le(header + 16, 4);
    if (tableOffset < kHeaderSize || tableOffset > fileSize ||
        fileSize - tableOffset > kMaxTableBytes || count > kMaxEntries) {
      reason = "damaged header";
    } else {
      std::string table(fileSize - tableOffset, '\0');
      if (!ReadExact(in, table.data(), table.size(), tableOffset)) {
        reason = "cannot read the table of contents";
      } else if (DecodeTable(table, static_cast<uint32_t>(count), toc, reason)) {
        for (const Entry& e : toc.entries) {
          if (!SafeRelativePath(e.path)) {
            reason = "entry " + e.path + " would land outside " + folder;
          } else if (e.offset < kHeaderSize || e.offset > tableOffset ||
                     e.packedSize > tableOffset - e.offset) {
            reason = "entry " + e.path + " lies outside the data area";
          }
          if (!reason.empty()) break;
        }
      }
    }
  }
  if (!reason.empty()) {
    Fail(input + ": " + reason);
    close(in);
    return 1;
  }
  mkdir(folder.c_str(), 0755);
  int base = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (base < 0) {
    Fail("cannot open folder " + folder);
    close(in);
    return 1;
  }
  int status = 0;
  for (const Entry& e : toc.entries) {
    std::string name;
    int dir = OpenParent(base, e.path, name);
    if (dir < 0) {
      Fail("cannot create the folders of " + e.path);
      status = 1;
      continue;
    }
    int out = openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (out < 0) {
      Fail(e.path + (errno == EEXIST ? " exists already; not overwritten" : ": cannot create"));
      close(dir);
      status = 1;
      continue;
    }
    bool ok = CopyPayload(in, out, e);
    if (close(out) != 0) ok = false;
    if (!ok) {
      Fail(e.path + ": damaged data");
      unlinkat(dir, name.c_str(), 0);
      status = 1;
    }
    close(dir);
  }
  close(base);
  close(in);
  return status;
}

}  // namespace vka
