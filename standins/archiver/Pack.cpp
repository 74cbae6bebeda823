// archive.exe -c SCRIPT -a OUT.vka -r ROOT: packs the files the TOC script lists, stored under
// their paths relative to ROOT. Everything is streamed in small chunks, so a file of any size
// packs in constant memory.
#include <zlib.h>

#include <cstdlib>
#include <set>

#include "Io.h"
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

// The script's lines without their line ends.
bool ReadLines(const std::string& path, std::vector<std::string>& lines) {
  io::Input in;
  if (!in.Open(path, false)) return false;
  std::string text;
  std::vector<char> buffer(kChunk);
  for (long long n; (n = in.Read(buffer.data(), buffer.size())) != 0;) {
    if (n < 0) return false;
    text.append(buffer.data(), static_cast<size_t>(n));
  }
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(io::ScriptText(line));
    start = end + 1;
  }
  return true;
}

bool ReadScript(const std::string& path, Script& script) {
  std::vector<std::string> lines;
  if (!ReadLines(path, lines)) {
    Fail("cannot open script " + path);
    return false;
  }
  enum { kHeader, kSettings, kFiles, kDone } phase = kHeader;
  for (const std::string& line : lines) {
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

// Appends one file's payload to out; fills sizes and CRC.
bool AddPayload(io::Input& in, io::Output& out, Entry& entry) {
  std::vector<unsigned char> buffer(kChunk), packed(kChunk);
  z_stream z{};
  if (entry.method == kDeflated && deflateInit(&z, Z_DEFAULT_COMPRESSION) != Z_OK) return false;
  uLong crc = crc32(0, nullptr, 0);
  bool ok = true;
  for (;;) {
    const long long n = in.Read(buffer.data(), buffer.size());
    if (n < 0) {
      ok = false;
      break;
    }
    crc = crc32(crc, buffer.data(), static_cast<uInt>(n));
    entry.size += static_cast<uint64_t>(n);
    if (entry.method == kStored) {
      if (n == 0) break;
      if (!out.Write(buffer.data(), static_cast<size_t>(n))) {
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
      if (rc == Z_STREAM_ERROR || !out.Write(packed.data(), have)) {
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
  const std::string rootReal = io::FolderPath(root);
  if (rootReal.empty()) {
    Fail("root folder " + root + " not found");
    return 1;
  }
  if (io::Exists(output)) {
    Fail(output + " exists already; not overwritten");
    return 1;
  }
  io::Output out;
  std::string why;
  // Until the end the header has no table: that marks a file that is still being written.
  if (!out.CreateTemporaryFor(output, EncodeHeader(0, 0), why)) {
    Fail("cannot create " + output + (why.empty() ? std::string() : ": " + why));
    return 1;
  }
  script.toc.entries.clear();
  bool ok = true;
  uint64_t offset = kHeaderSize;
  std::set<std::string> seen;
  for (const std::string& file : script.files) {
    if (!ok) break;
    Entry entry;
    entry.path = io::RelativeTo(rootReal, file);
    entry.method = script.defcompression == 1 ? kDeflated : kStored;
    entry.offset = offset;
    if (entry.path.empty() || !seen.insert(entry.path).second) {
      Fail(file + " is not a distinct file under " + root);
      ok = false;
      break;
    }
    io::Input in;
    if (!in.Open(file, true)) {
      Fail(file + " is not a readable regular file");
      ok = false;
      break;
    }
    ok = AddPayload(in, out, entry);
    if (!ok) Fail("cannot pack " + file);
    offset += entry.packedSize;
    script.toc.entries.push_back(entry);
  }
  if (ok) {
    const std::string table = EncodeTable(script.toc);
    const std::string header =
        EncodeHeader(offset, static_cast<uint32_t>(script.toc.entries.size()));
    ok = out.Write(table.data(), table.size()) && out.WriteAt(header.data(), header.size(), 0);
    if (!ok) Fail("cannot write " + output);
  }
  if (!out.Close()) ok = false;
  if (ok && !out.Publish()) {
    Fail("cannot create " + output);
    ok = false;
  }
  return ok ? 0 : 1;
}

}  // namespace vka
