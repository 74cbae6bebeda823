// archive.exe -a IN.vka -e FOLDER: unpacks every entry under FOLDER with its relative path.
// Entries that would land outside FOLDER are refused; folders are walked without following
// links, and existing files are never overwritten. Payloads stream in small chunks.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "Io.h"
#include "VkaFormat.h"
#include "platform/LittleEndian.h"

namespace vka {
namespace {

inline constexpr uint64_t kMaxTableBytes = 64ull << 20;

// Copies (inflating when needed) one payload into out and checks size and CRC.
bool CopyPayload(io::Input& in, io::Output& out, const Entry& e) {
  std::vector<unsigned char> buffer(kChunk), plain(kChunk);
  z_stream z{};
  if (e.method == kDeflated && inflateInit(&z) != Z_OK) return false;
  uLong crc = crc32(0, nullptr, 0);
  uint64_t done = 0, read = 0;
  bool ok = true, ended = e.method == kStored;
  while (ok && read < e.packedSize) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(kChunk, e.packedSize - read));
    if (!in.ReadAt(buffer.data(), n, e.offset + read)) {
      ok = false;
      break;
    }
    read += n;
    if (e.method == kStored) {
      crc = crc32(crc, buffer.data(), static_cast<uInt>(n));
      done += n;
      ok = out.Write(buffer.data(), n);
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
      if (ok) ok = out.Write(plain.data(), have);
      if (rc == Z_STREAM_END) ended = true;
      if (rc == Z_BUF_ERROR && have == 0) break;
    }
  }
  if (e.method == kDeflated) inflateEnd(&z);
  return ok && ended && done == e.size && static_cast<uint32_t>(crc) == e.crc;
}

// Payloads are written back to back: entries that share bytes would let a small archive
// unpack to any size. Empty payloads take no room and may sit anywhere.
std::string OverlappingPayload(const std::vector<Entry>& entries) {
  std::vector<const Entry*> byOffset;
  for (const Entry& e : entries)
    if (e.packedSize > 0) byOffset.push_back(&e);
  std::sort(byOffset.begin(), byOffset.end(),
            [](const Entry* a, const Entry* b) { return a->offset < b->offset; });
  for (size_t i = 1; i < byOffset.size(); ++i)
    if (byOffset[i]->offset < byOffset[i - 1]->offset + byOffset[i - 1]->packedSize)
      return "entries " + byOffset[i - 1]->path + " and " + byOffset[i]->path +
             " share payload bytes";
  return {};
}

}  // namespace

int Unpack(const std::string& input, const std::string& folder) {
  io::Input in;
  if (!in.Open(input, false)) {
    Fail("cannot open " + input);
    return 1;
  }
  const uint64_t fileSize = in.Size();
  unsigned char header[kHeaderSize];
  Toc toc;
  std::string reason;
  if (!in.ReadAt(header, kHeaderSize, 0) || std::memcmp(header, kMagic, 4) != 0) {
    reason = "not a VKA archive";
  } else if (platform::GetLe(header + 4, 2) != kVersion) {
    reason = "unsupported version";
  } else {
    const uint64_t tableOffset = platform::GetLe(header + 8, 8);
    const uint64_t count = platform::GetLe(header + 16, 4);
    if (tableOffset < kHeaderSize || tableOffset > fileSize ||
        fileSize - tableOffset > kMaxTableBytes || count > kMaxEntries) {
      reason = "damaged header";
    } else {
      std::string table(fileSize - tableOffset, '\0');
      if (!in.ReadAt(table.data(), table.size(), tableOffset)) {
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
        if (reason.empty()) reason = OverlappingPayload(toc.entries);
      }
    }
  }
  if (!reason.empty()) {
    Fail(input + ": " + reason);
    return 1;
  }
  io::Folder base;
  if (!base.OpenOrCreate(folder)) {
    Fail("cannot open folder " + folder);
    return 1;
  }
  // Each entry stops at its declared size, so the declared total bounds what is written.
  uint64_t total = 0;
  for (const Entry& e : toc.entries)
    total = e.size > UINT64_MAX - total ? UINT64_MAX : total + e.size;
  if (const uint64_t free = io::FreeBytes(folder); total > free) {
    Fail(input + ": it unpacks to " + std::to_string(total) + " bytes, more than the " +
         std::to_string(free) + " free in " + folder);
    return 1;
  }
  int status = 0;
  for (const Entry& e : toc.entries) {
    std::string name;
    io::Folder dir;
    if (!base.OpenParent(e.path, dir, name)) {
      Fail("cannot create the folders of " + e.path);
      status = 1;
      continue;
    }
    io::Output out;
    bool exists = false;
    if (!out.CreateIn(dir, name, exists)) {
      Fail(e.path + (exists ? " exists already; not overwritten" : ": cannot create"));
      status = 1;
      continue;
    }
    bool ok = CopyPayload(in, out, e);
    if (!out.Close()) ok = false;
    if (!ok) {
      Fail(e.path + ": damaged data");
      out.Discard();
      status = 1;
    }
  }
  return status;
}

}  // namespace vka
