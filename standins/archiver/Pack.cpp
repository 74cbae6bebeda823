// archive.exe -c SCRIPT -a OUT.vka -r ROOT: packs the files the TOC script lists, stored under
// their paths relative to ROOT. Everything is streamed in small chunks, so a file of any size
// packs in constant memory.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <set>

#include "VkaFormat.h"

namespace vka {
namespace {

struct Script {
  Toc toc;
  int defcompression = 0;
  std::vector<std::string> files;
};

// The value of key="value" in a script line; empty when absent.
std::string Attribute(const std::string& line, const std::string& key) {
  const std::string tag = key + "=\"";
  size_t at = line.find(tag);
  if (at == std::string::npos) return {};
  at += tag.size();
  size_t end = line.find('"', at);
  return end == std::string::npos ? std::string() : line.substr(at, end - at);
}

bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

bool ReadScript(const std::string& path, Script& script) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    Fail("cannot open script " + path);
    return false;
  }
  enum { kHeader, kSettings, kFiles, kDone } phase = kHeader;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (phase == kFiles) {
      if (line == "TOCEnd")
        phase = kDone;
      else
        script.files.push_back(line);
    } else if (StartsWith(line, "Archive ")) {
      script.toc.archiveName = Attribute(line, "name");
    } else if (StartsWith(line, "TOCStart ")) {
      script.toc.tocName = Attribute(line, "name");
      script.toc.alias = Attribute(line, "alias");
    } else if (StartsWith(line, "FileSettingsStart")) {
      script.defcompression = std::atoi(Attribute(line, "defcompression").c_str());
      phase = kSettings;
    } else if (line == "FileSettingsEnd" && phase == kSettings) {
      phase = kFiles;
    } else if (phase == kDone) {
      Fail("unexpected line after TOCEnd: " + line);
      return false;
    }
  }
  if (phase != kDone) {
    Fail("script " + path + " has no complete TOC");
    return false;
  }
  return true;
}

std::string RealPath(const std::string& path) {
  char buffer[PATH_MAX];
  return realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

// The file's path relative to root, or empty when it lies outside.
std::string RelativeTo(const std::string& rootReal, const std::string& file) {
  const size_t slash = file.find_last_of('/');
  const std::string dir = slash == std::string::npos ? std::string(".")
                          : slash == 0               ? std::string("/")
                                                     : file.substr(0, slash);
  const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
  const std::string dirReal = RealPath(dir);
  if (dirReal.empty() || name.empty() || name == "." || name == "..") return {};
  const std::string prefix = rootReal + "/";
  const std::string full = (dirReal == "/" ? dirReal : dirReal + "/") + name;
  if (full.size() <= prefix.size() || full.compare(0, prefix.size(), prefix) != 0) return {};
  return full.substr(prefix.size());
}

// Appends one file's payload to out; fills sizes and CRC.
bool AddPayload(int in, int out, Entry& entry) {
  std::vector<unsigned char> buffer(kChunk), packed(kChunk);
  z_stream z{};
  if (entry.method == kDeflated && deflateInit(&z, Z_DEFAULT_COMPRESSION) != Z_OK) return false;
  uLong crc = crc32(0, nullptr, 0);
  bool ok = true;
  for (;;) {
    ssize_t n = read(in, buffer.data(), buffer.size());
    if (n < 0) {
      ok = false;
      break;
    }
    crc = crc32(crc, buffer.data(), static_cast<uInt>(n));
    entry.size += static_cast<uint64_t>(n);
    if (entry.method == kStored) {
      if (n == 0) break;
      if (!WriteAll(out, buffer.data(), static_cast<size_t>(n))) {
        ok = false;
        break;
      }
      entry.packedSize += static_cast<uint64_t>(n);
      continue;
    }
    z.next_in = buffer.data();
    z.avail_in = static_cast<uInt>(n);
    const int flush = n == 0 ? Z_FINISH : Z_NO_FLUSH;
    int rc;
    do {
      z.next_out = packed.data();
      z.avail_out = static_cast<uInt>(packed.size());
      rc = deflate(&z, flush);
      size_t have = packed.size() - z.avail_out;
      if (rc == Z_STREAM_ERROR || !WriteAll(out, packed.data(), have)) {
        ok = false;
        break;
      }
      entry.packedSize += have;
    } while (z.avail_out == 0);
    if (!ok || n == 0) break;
  }
  if (entry.method == kDeflated) deflateEnd(&z);
  entry.crc = static_cast<uint32_t>(crc);
  return ok;
}

}  // namespace

int Pack(const std::string& scriptPath, const std::string& output, const std::string& root) {
  Script script;
  if (!ReadScript(scriptPath, script)) return 1;
  const std::string rootReal = RealPath(root);
  if (rootReal.empty()) {
    Fail("root folder " + root + " not found");
    return 1;
  }
  struct stat st;
  if (lstat(output.c_str(), &st) == 0) {
    Fail(output + " exists already; not overwritten");
    return 1;
  }
  std::string temp = output + ".partXXXXXX";
  int out = mkstemp(temp.data());
  if (out < 0) {
    Fail("cannot create " + output);
    return 1;
  }
  // mkstemp makes the file private; the archive is the user's, with a new file's usual rights.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(out, 0666 & ~mask);
  script.toc.entries.clear();
  bool ok = WriteAll(out, EncodeHeader(0, 0).data(), kHeaderSize);
  uint64_t offset = kHeaderSize;
  std::set<std::string> seen;
  for (const std::string& file : script.files) {
    if (!ok) break;
    Entry entry;
    entry.path = RelativeTo(rootReal, file);
    entry.method = script.defcompression == 1 ? kDeflated : kStored;
    entry.offset = offset;
    if (entry.path.empty() || !seen.insert(entry.path).second) {
      Fail(file + " is not a distinct file under " + root);
      ok = false;
      break;
    }
    int in = open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0 || fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
      Fail(file + " is not a readable regular file");
      if (in >= 0) close(in);
      ok = false;
      break;
    }
    ok = AddPayload(in, out, entry);
    close(in);
    if (!ok) Fail("cannot pack " + file);
    offset += entry.packedSize;
    script.toc.entries.push_back(entry);
  }
  if (ok) {
    const std::string table = EncodeTable(script.toc);
    const std::string header =
        EncodeHeader(offset, static_cast<uint32_t>(script.toc.entries.size()));
    ok = WriteAll(out, table.data(), table.size()) &&
         pwrite(out, header.data(), header.size(), 0) == static_cast<ssize_t>(header.size());
    if (!ok) Fail("cannot write " + output);
  }
  if (close(out) != 0) ok = false;
  // link() refuses an existing name, so a file that appeared meanwhile is not replaced either.
  if (ok && link(temp.c_str(), output.c_str()) != 0) {
    // A file system without hard links: rename, after a last look for an existing file.
    const bool noLinks = errno != EEXIST;
    if (!noLinks || lstat(output.c_str(), &st) == 0 || rename(temp.c_str(), output.c_str()) != 0) {
      Fail("cannot create " + output);
      ok = false;
    }
  }
  unlink(temp.c_str());
  return ok ? 0 : 1;
}

}  // namespace vka
